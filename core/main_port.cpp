// main_port.cpp -- the main input port, found by the device's name.
//
// Windows numbers MIDI inputs in the order it finds them, so the stored index
// alone opens the wrong device, or none, once instruments are plugged in
// another order. The name kept beside the index finds the device again.
#include "core/main_port.h"

#include "core/followed_port.h"
#include "core/plugin.h"
#include "core/text.h"
#include "midi/gestures.h"
#include "midi/mailbox.h"
#include "midi/sysex_buffers.h"

// The configured device's input, followed by its name.
static FollowedPort mainPort = {&pluginSettings.midiDevice, pluginSettings.midiDeviceName, &mainInputPort,
                                kConfiguredDevice, false, false};

// A port a dialog could not close, left for quit.
static InputPort strayPort = nullptr;

// True while the configured device has no open port and nothing is to be
// closed or reported for it: its device went (or was away at start), or a
// dialog closed the port and could not open it again. False again as soon as
// a port is open, and while init's failure to open the device is still to be
// reported by the first close.
static bool closedQuietly = false;

// True while the configuration dialog runs (user-interface thread only).
static bool configDialogOpen = false;

bool mainPortOpenFailed() { return mainPort.openFailed; }

bool mainPortWaiting() {
    return !configDialogOpen && pluginSettings.midiDevice >= 0 && pluginSettings.midiDeviceName[0] != '\0' &&
           followedWaiting(mainPort);
}

bool configDialogIsOpen() { return configDialogOpen; }

void setConfigDialogOpen(bool open) { configDialogOpen = open; }

void resetMainPort() {
    closedQuietly = false;
    mainPort.openFailed = false;
    strayPort = nullptr;
    configDialogOpen = false;
    resetSysexBuffers();
    resetLendingPorts();
}

void followChosenDevice() {
    if (pluginSettings.midiDevice < 0) {
        pluginSettings.midiDeviceName[0] = '\0';
        return;
    }
    deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), pluginSettings.midiDeviceName);
}

void configuredDeviceName(char* name) {
    name[0] = '\0';
    appendText(name, kDeviceNameCapacity, pluginSettings.midiDeviceName);
    if (name[0] == '\0' && pluginSettings.midiDevice >= 0) {
        deviceName(static_cast<uint32_t>(pluginSettings.midiDevice), name);
    }
}

void openMainPortAtStart() {
    if (pluginSettings.midiDevice < 0) return;
    bool named = pluginSettings.midiDeviceName[0] != '\0';
    int32_t device = whereIsFollowed(mainPort);
    if (!openFollowed(&mainPort, device)) {
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

void closeMainPort(WindowRef owner) {
    if (pluginSettings.midiDevice < 0 || closedQuietly) return;
    bool closed = false;
    // A null port (init could not open the device) fails to close, and says so.
    bool failed = !closeInputPort(mainInputPort, &closed);
    forgetHeld(kConfiguredDevice);
    if (failed) platformMessageBox(owner, "Error Closing MIDI Device");
    // One that would not close is kept for quit to try again: forgotten, it
    // could call into the module after the host has unloaded it.
    if (!closed) {
        if (strayPort != nullptr) closeInputPort(strayPort);
        strayPort = mainInputPort;
    }
    mainInputPort = nullptr;
    closedQuietly = true;
}

bool closeMainPortAtQuit() {
    bool mainClosed = true, strayClosed = true;
    forgetHeld(kConfiguredDevice);
    closeInputPort(mainInputPort, &mainClosed);  // a null port simply fails to close
    closeInputPort(strayPort, &strayClosed);
    return mainClosed && strayClosed;
}

bool openMainPort(int32_t device) {
    if (!openFollowed(&mainPort, device)) return false;
    closedQuietly = false;
    return true;
}

void reopenMainPort() {
    if (pluginSettings.midiDevice < 0 || mainInputPort != nullptr) return;
    int32_t device = whereIsFollowed(mainPort);
    // Silent either way: the user chose nothing new.
    if (!openMainPort(device)) return;
    pluginSettings.midiDevice = device;
    // A device from before names were kept, opened at last: followed by its
    // name from now on, as init does.
    if (pluginSettings.midiDeviceName[0] == '\0') followChosenDevice();
}

void mainDeviceListChanged() {
    if (pluginSettings.midiDevice < 0) return;
    // Gone, or another device now has its index. A port that will not close
    // stays the main port, for quit to close: forgotten, it could still call
    // into the module after the host has unloaded it. Nothing else is opened
    // meanwhile; the next change tries again.
    if (mainInputPort != nullptr) {
        if (followedStillThere(mainPort)) return;
        if (!closeFollowed(&mainPort)) return;
        closedQuietly = true;
    }
    // The dialogs own the main port while they are open: one whose device
    // went is closed even then (its handle never hears again, not even once
    // the device is back at the same number and name), and it is opened
    // again when they are done, or by their OK or Apply.
    if (configDialogIsOpen()) return;
    // A device from before names were kept is tried again only by the
    // dialogs: its number alone may now be another device.
    if (pluginSettings.midiDeviceName[0] != '\0') reopenMainPort();
}
