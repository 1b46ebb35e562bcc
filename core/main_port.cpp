// main_port.cpp -- the main input port, found by the device's name.
//
// Windows numbers MIDI inputs in the order it finds them, so the stored index
// alone opens the wrong device, or none, once instruments are plugged in
// another order. The name kept beside the index finds the device again.
#include "core/main_port.h"

#include "core/plugin.h"
#include "core/text.h"
#include "midi/mailbox.h"
#include "ui/dialogs.h"

// Set when the device watch closed the main port because its device went.
static bool closedWithItsDevice = false;

bool mainPortWentWithItsDevice() { return closedWithItsDevice; }

void resetMainPort() { closedWithItsDevice = false; }

void followChosenDevice() {
    closedWithItsDevice = false;
    if (pluginSettings.midiDevice < 0) {
        pluginSettings.midiDeviceName[0] = '\0';
        return;
    }
    deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), pluginSettings.midiDeviceName);
}

void openMainPortAtStart() {
    if (pluginSettings.midiDevice < 0) return;
    bool named = pluginSettings.midiDeviceName[0] != '\0';
    int32_t device = pluginSettings.midiDevice;
    if (named) device = findInputDevice(pluginSettings.midiDeviceName, device);
    if (device >= 0) mainInputPort = openInputPort(static_cast<uint32_t>(device), mainDataHandler, 0);
    if (mainInputPort == nullptr) {
        platformMessageBox(pluginRecord.hostWindow, "Could not open MIDI device");
        return;
    }
    pluginSettings.midiDevice = device;
    // A file from before names were kept: the next save adds this one.
    if (!named) followChosenDevice();
}

void mainDeviceListChanged() {
    // The dialogs own the main port while they are open.
    if (configDialogIsOpen()) return;
    const char* name = pluginSettings.midiDeviceName;
    if (pluginSettings.midiDevice < 0 || name[0] == '\0') return;
    // With a device and a name, a non-null handle is an open port: every path
    // that closes it either sets midiDevice to none or opens anew (the
    // dialogs), or clears it (below); init leaves it null when it failed.
    if (mainInputPort != nullptr) {
        char current[kDeviceNameCapacity];
        deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), current);
        if (textEquals(current, name)) return;
        // Gone, or another device now has its index. A port that will not
        // close stays the main port, for quit to close: forgotten, it could
        // still call into the module after the host has unloaded it. Nothing
        // else is opened meanwhile; the next change tries again.
        if (!closeGoneInputPort(mainInputPort)) return;
        mainInputPort = nullptr;
        closedWithItsDevice = true;
    }
    int32_t found = findInputDevice(name, pluginSettings.midiDevice);
    if (found < 0) return;
    // Opened silently: the user was told at start, and is not asked again
    // each time a device comes or goes.
    InputPort port = openInputPort(static_cast<uint32_t>(found), mainDataHandler, 0);
    if (port == nullptr) return;
    mainInputPort = port;
    pluginSettings.midiDevice = found;
    closedWithItsDevice = false;
}
