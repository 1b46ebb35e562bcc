// ports.cpp -- open and close MIDI input and output ports.
#include "midi/ports.h"

#include <cstdint>

#include "core/text.h"
#include "midi/sysex_buffers.h"

uint32_t countInputDevices() { return platformMidiInCount(); }

// The name the reader gives, always terminated, empty when it cannot be read.
static void readName(bool (*reader)(uint32_t, char*, uint32_t), uint32_t deviceIndex, char* name) {
    for (uint32_t i = 0; i < kDeviceNameCapacity; ++i) name[i] = '\0';
    if (!reader(deviceIndex, name, kDeviceNameCapacity)) name[0] = '\0';
    name[kDeviceNameCapacity - 1] = '\0';
}

void deviceName(uint32_t deviceIndex, char* name) { readName(platformMidiInName, deviceIndex, name); }

int32_t findByName(const char* name, int32_t preferredIndex, uint32_t count, NameReader readName,
                   const void* context) {
    if (name[0] == '\0') return -1;
    char candidate[kDeviceNameCapacity];
    if (preferredIndex >= 0 && static_cast<uint32_t>(preferredIndex) < count) {
        readName(static_cast<uint32_t>(preferredIndex), candidate, context);
        if (textEquals(candidate, name)) return preferredIndex;
    }
    // Indexes fit in 31 bits: the system counts devices in a few dozen.
    for (uint32_t i = 0; i < count && i <= INT32_MAX; ++i) {
        readName(i, candidate, context);
        if (textEquals(candidate, name)) return static_cast<int32_t>(i);
    }
    return -1;
}

static void readDeviceName(uint32_t index, char* name, const void*) { deviceName(index, name); }

int32_t findInputDevice(const char* name, int32_t preferredIndex) {
    return findByName(name, preferredIndex, countInputDevices(), readDeviceName, nullptr);
}

// The open ports that were lent buffers, for quit to stop all at once; null
// where none is. User-interface thread only.
static InputPort lendingPorts[2 * kMaxDevices];

static void keepLending(InputPort port, const void* was) {
    for (InputPort& slot : lendingPorts) {
        if (slot == was) {
            slot = port;
            return;
        }
    }
}

InputPort openInputPort(uint32_t deviceIndex, MidiDataHandler dataHandler, uint32_t instanceValue,
                        bool lendBuffers) {
    MidiPortRef port = nullptr;
    if (platformMidiInOpen(&port, deviceIndex, dataHandler, instanceValue) != 0 || port == nullptr) return nullptr;
    // Lent before input starts, so that no message finds the driver without one.
    uint32_t lent = lendBuffers ? lendSysexBuffers(port, instanceValue) : 0;
    if (platformMidiInStart(port) != 0) {
        // NOTE: nobody else ever learns this handle, so close it here or the
        // device stays held until the player exits; with its buffers back first.
        if (lent != 0) {
            stopLendingSysexBuffers(port);
            platformMidiInReset(port);
            collectSysexBuffers(port);
        }
        platformMidiInClose(port);
        return nullptr;
    }
    if (lent != 0) keepLending(port, nullptr);
    return port;
}

void resetLendingPorts() {
    for (InputPort& slot : lendingPorts) slot = nullptr;
}

void stopAllInputPorts(uint32_t ms) {
    for (InputPort port : lendingPorts) {
        if (port == nullptr) continue;
        stopLendingSysexBuffers(port);
        platformMidiInStop(port);
        platformMidiInReset(port);
    }
    boundSysexWaits(ms);
}

bool closeInputPort(InputPort port, bool* closed) {
    if (port == nullptr) {
        if (closed != nullptr) *closed = true;
        return false;
    }
    // NOTE: the worker lends nothing more to a port being closed, from before
    // the stop on; the reset gives back what the driver holds, and midiInClose
    // would fail while it holds any.
    bool buffers = stopLendingSysexBuffers(port);
    bool stopped = platformMidiInStop(port) == 0;
    if (buffers) {
        platformMidiInReset(port);
        collectSysexBuffers(port);
    }
    bool wasClosed = platformMidiInClose(port) == 0;
    if (wasClosed) keepLending(nullptr, port);
    if (closed != nullptr) *closed = wasClosed;
    return stopped && wasClosed;
}

// ---- Outputs ------------------------------------------------------------------------

uint32_t countOutputDevices() { return platformMidiOutCount(); }

void outputDeviceName(uint32_t deviceIndex, char* name) { readName(platformMidiOutName, deviceIndex, name); }

static void readOutputName(uint32_t index, char* name, const void*) { outputDeviceName(index, name); }

int32_t findOutputDevice(const char* name, int32_t preferredIndex) {
    return findByName(name, preferredIndex, countOutputDevices(), readOutputName, nullptr);
}

MidiOutRef openOutputPort(uint32_t deviceIndex) {
    MidiOutRef port = nullptr;
    return platformMidiOutOpen(&port, deviceIndex) == 0 ? port : nullptr;
}

void closeOutputPort(MidiOutRef port) {
    if (port != nullptr) platformMidiOutClose(port);
}
