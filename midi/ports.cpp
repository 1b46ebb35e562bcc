// ports.cpp -- open and close MIDI input ports.
#include "midi/ports.h"

#include <cstdint>

#include "core/text.h"

uint32_t countInputDevices() { return platformMidiInCount(); }

void deviceName(uint32_t deviceIndex, char* name) {
    for (uint32_t i = 0; i < kDeviceNameCapacity; ++i) name[i] = '\0';
    if (!platformMidiInName(deviceIndex, name, kDeviceNameCapacity)) name[0] = '\0';
    name[kDeviceNameCapacity - 1] = '\0';
}

int32_t findInputDevice(const char* name, int32_t preferredIndex) {
    if (name[0] == '\0') return -1;
    uint32_t count = countInputDevices();
    char candidate[kDeviceNameCapacity];
    if (preferredIndex >= 0 && static_cast<uint32_t>(preferredIndex) < count) {
        deviceName(static_cast<uint32_t>(preferredIndex), candidate);
        if (textEquals(candidate, name)) return preferredIndex;
    }
    // Device indexes fit in 31 bits: the system counts them in a few dozen.
    for (uint32_t i = 0; i < count && i <= INT32_MAX; ++i) {
        deviceName(i, candidate);
        if (textEquals(candidate, name)) return static_cast<int32_t>(i);
    }
    return -1;
}

InputPort openInputPort(uint32_t deviceIndex, MidiDataHandler dataHandler, uint32_t instanceValue) {
    MidiPortRef port = nullptr;
    if (platformMidiInOpen(&port, deviceIndex, dataHandler, instanceValue) != 0 || port == nullptr) return nullptr;
    if (platformMidiInStart(port) != 0) {
        // NOTE: nobody else ever learns this handle, so close it here or the
        // device stays held until the player exits.
        platformMidiInClose(port);
        return nullptr;
    }
    return port;
}

bool closeGoneInputPort(InputPort port) {
    if (port == nullptr) return false;
    platformMidiInStop(port);
    return platformMidiInClose(port) == 0;
}

bool closeInputPort(InputPort port) {
    if (port == nullptr) return false;
    if (platformMidiInStop(port) != 0) return false;
    return platformMidiInClose(port) == 0;
}
