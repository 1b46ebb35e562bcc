// main_port.cpp -- the main input port, found by the device's name.
//
// Windows numbers MIDI inputs in the order it finds them, so the stored index
// alone opens the wrong device, or none, once instruments are plugged in
// another order. The name kept beside the index finds the device again.
#include "core/main_port.h"

#include "core/plugin.h"
#include "core/text.h"
#include "midi/mailbox.h"

// True while the configured device has no open port and nothing is to be
// closed or reported for it: its device went (or was away at start), or a
// dialog closed the port and could not open it again. False again as soon as
// a port is open, and while init's failure to open the device is still to be
// reported by the first close.
static bool closedQuietly = false;

// True while the configuration dialog runs (user-interface thread only).
static bool configDialogOpen = false;

bool configDialogIsOpen() { return configDialogOpen; }

void setConfigDialogOpen(bool open) { configDialogOpen = open; }

void resetMainPort() {
    closedQuietly = false;
    configDialogOpen = false;
}

void followChosenDevice() {
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
        // A named device that is away has no port to close: the dialogs say
        // nothing about it, and the watch opens it when it comes.
        closedQuietly = named && device < 0;
        platformMessageBox(pluginRecord.hostWindow, "Could not open MIDI device");
        return;
    }
    pluginSettings.midiDevice = device;
    // A file from before names were kept: the next save adds this one.
    if (!named) followChosenDevice();
}

bool closeMainPort(WindowRef owner) {
    if (pluginSettings.midiDevice < 0 || closedQuietly) return true;
    bool closed = false;
    // A null port (init could not open the device) fails to close, and says so.
    if (!closeInputPort(mainInputPort, &closed)) platformMessageBox(owner, "Error Closing MIDI Device");
    if (!closed) return false;
    mainInputPort = nullptr;
    closedQuietly = true;
    return true;
}

bool openMainPort(int32_t device) {
    InputPort port = device >= 0 ? openInputPort(static_cast<uint32_t>(device), mainDataHandler, 0) : nullptr;
    if (port == nullptr) return false;
    mainInputPort = port;
    closedQuietly = false;
    return true;
}

void reopenMainPort() {
    if (pluginSettings.midiDevice < 0 || mainInputPort != nullptr) return;
    const char* name = pluginSettings.midiDeviceName;
    int32_t device = name[0] == '\0' ? pluginSettings.midiDevice : findInputDevice(name, pluginSettings.midiDevice);
    // Silent either way: the user chose nothing new.
    if (openMainPort(device)) pluginSettings.midiDevice = device;
}

void mainDeviceListChanged() {
    // The dialogs own the main port while they are open.
    if (configDialogIsOpen()) return;
    const char* name = pluginSettings.midiDeviceName;
    if (pluginSettings.midiDevice < 0 || name[0] == '\0') return;
    if (mainInputPort != nullptr) {
        char current[kDeviceNameCapacity];
        deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), current);
        if (textEquals(current, name)) return;
        // Gone, or another device now has its index. A port that will not
        // close stays the main port, for quit to close: forgotten, it could
        // still call into the module after the host has unloaded it. Nothing
        // else is opened meanwhile; the next change tries again.
        bool closed = false;
        closeInputPort(mainInputPort, &closed);
        if (!closed) return;
        mainInputPort = nullptr;
        closedQuietly = true;
    }
    reopenMainPort();
}
