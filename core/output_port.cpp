// output_port.cpp -- the lights' output port, found by its device's name.
#include "core/output_port.h"

#include "core/bindings_section.h"
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/text.h"
#include "midi/lights.h"
#include "midi/ports.h"

// The open output; null while none is. The worker has it through the
// hand-over (midi/lights.h) while it is open.
static MidiOutRef outputPort = nullptr;
// The last try to open the chosen output failed although it was there.
static bool openFailed = false;

bool outputIsOpen() { return outputPort != nullptr; }

void resetOutputPort() {
    outputPort = nullptr;
    openFailed = false;
}

// The output at midiOutDevice has just been chosen: its name is the one to
// follow from now on (empty for none).
static void followChosenOutput() {
    pluginSettings.midiOutDeviceName[0] = '\0';
    if (pluginSettings.midiOutDevice >= 0) {
        outputDeviceName(static_cast<uint32_t>(pluginSettings.midiOutDevice), pluginSettings.midiOutDeviceName);
    }
}

static bool openOutput(int32_t device) {
    MidiOutRef port = device >= 0 ? openOutputPort(static_cast<uint32_t>(device)) : nullptr;
    openFailed = device >= 0 && port == nullptr;
    if (port == nullptr) return false;
    outputPort = port;
    attachLightsPort(port);
    return true;
}

// Takes the output back from the worker and closes it; with `darken`, every
// light goes dark first (the device is still there to be told).
static void closeOutput(bool darken) {
    if (outputPort == nullptr) return;
    detachLightsPort();
    if (darken) {
        Binding bindings[kMaxBindings];
        uint32_t count = bindingsInEffect(bindings);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t kind = lightKind(bindings[i]);
            if (kind != kLightNone && kind != kLightVolume) {
                platformMidiOutSend(outputPort, lightMessage(bindings[i], bindings[i].dark));
            }
        }
    }
    closeOutputPort(outputPort);
    outputPort = nullptr;
}

void openOutputAtStart() {
    int32_t device = pluginSettings.midiOutDevice;
    if (device < 0) return;
    bool named = pluginSettings.midiOutDeviceName[0] != '\0';
    if (named) device = findOutputDevice(pluginSettings.midiOutDeviceName, device);
    if (!openOutput(device)) {
        platformMessageBox(pluginRecord.hostWindow, "Could not open MIDI output device");
        return;
    }
    pluginSettings.midiOutDevice = device;
    if (!named) followChosenOutput();
}

void outputDeviceListChanged() {
    // The dialogs own the choice while they are open.
    if (configDialogIsOpen()) return;
    const char* name = pluginSettings.midiOutDeviceName;
    if (pluginSettings.midiOutDevice < 0 || name[0] == '\0') return;
    if (outputPort != nullptr) {
        char current[kDeviceNameCapacity];
        outputDeviceName(static_cast<uint32_t>(pluginSettings.midiOutDevice), current);
        if (textEquals(current, name)) return;
        closeOutput(false);
    }
    reopenOutput();
}

bool chooseOutput(int32_t device) {
    closeOutput(true);
    pluginSettings.midiOutDevice = device < 0 ? -1 : device;
    followChosenOutput();
    if (device < 0 || openOutput(device)) return true;
    pluginSettings.midiOutDevice = -1;
    pluginSettings.midiOutDeviceName[0] = '\0';
    return false;
}

void reopenOutput() {
    const char* name = pluginSettings.midiOutDeviceName;
    if (outputPort != nullptr || pluginSettings.midiOutDevice < 0 || name[0] == '\0') return;
    int32_t device = findOutputDevice(name, pluginSettings.midiOutDevice);
    if (openOutput(device)) pluginSettings.midiOutDevice = device;
}

void closeOutputAtQuit() { closeOutput(true); }

void describeLights(char* out, size_t capacity) {
    out[0] = '\0';
    appendText(out, capacity, "Lights: ");
    if (pluginSettings.midiOutDevice < 0) {
        appendText(out, capacity, "none chosen");
        return;
    }
    const char* name = pluginSettings.midiOutDeviceName;
    appendText(out, capacity, name);
    // The device watch leaves the output alone while the dialogs are open: an
    // open output whose device went meanwhile hears nothing.
    char current[kDeviceNameCapacity];
    outputDeviceName(static_cast<uint32_t>(pluginSettings.midiOutDevice), current);
    if (outputPort == nullptr || !textEquals(current, name)) {
        bool present = findOutputDevice(name, pluginSettings.midiOutDevice) >= 0;
        appendText(out, capacity, !present ? " is not connected" : openFailed ? " could not be opened" : ", not open yet");
        return;
    }
    Binding bindings[kMaxBindings];
    uint32_t count = bindingsInEffect(bindings), lighting = 0;
    for (uint32_t i = 0; i < count; ++i) lighting += lightKind(bindings[i]) != kLightNone ? 1 : 0;
    char number[12];
    formatDecimal(static_cast<int32_t>(lighting), number);
    appendText(out, capacity, " (");
    appendText(out, capacity, lighting == 0 ? "no binding lights" : number);
    appendText(out, capacity, lighting == 0 ? ")" : lighting == 1 ? " binding)" : " bindings)");
}
