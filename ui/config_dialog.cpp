// config_dialog.cpp -- the configuration dialog: the MIDI input device and
// channel, Apply while the player runs, and Autodetect.
//
// List index arithmetic: the device list holds "None" and then one entry per
// device (list index = device index + 1), and last, when the configured
// device is not connected, "NAME (not connected)" for it; the channel list
// holds "1" to "16" (list index = midiChannel). Neither is sorted. OK and
// Apply take a listed device by its name, since Windows may have numbered the
// devices anew while the dialog was open.
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/mailbox.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

WindowRef configDialogWindow = nullptr;

static void onConfigInit(WindowRef dialog);
static void onConfigCommand(WindowRef dialog, uint32_t controlId, uint32_t);
static void onConfigNotify(WindowRef) {}
static void onConfigTimer(WindowRef dialog);

static const DialogHandlers configHandlers = {onConfigInit, onConfigCommand, onConfigNotify, onConfigTimer};
// What the dialog's line has shown.
static LiveLine configLine;

static void onConfigTimer(WindowRef dialog) {
    if (!pluginHasQuit()) updateLiveLine(dialog, &configLine);
}

void showConfigDialog() {
    // A host may call again while the dialog is open: a second one would
    // take over the remembered window that autodetect writes to. After quit
    // nothing opens.
    if (configDialogIsOpen() || pluginHasQuit()) return;
    setConfigDialogOpen(true);
    platformRunDialog(pluginRecord.moduleInstance, IDD_CONFIG, pluginRecord.hostWindow, &configHandlers);
    setConfigDialogOpen(false);
}

// The configured device when it was not connected as the dialog opened: the
// list's last entry, "NAME (not connected)", stands for it. awayEntry is -1
// when there is no such entry.
static int32_t awayEntry = -1;
static int32_t awayDevice = -1;
static char awayName[kDeviceNameCapacity];

static void onConfigInit(WindowRef dialog) {
    configDialogWindow = dialog;
    awayEntry = fillDeviceList(dialog, IDC_DEVICE, kInputDevices, pluginSettings.midiDevice,
                               pluginSettings.midiDeviceName);
    if (awayEntry >= 0) {
        awayDevice = pluginSettings.midiDevice;
        awayName[0] = '\0';
        appendText(awayName, sizeof awayName, pluginSettings.midiDeviceName);
    }
    for (int32_t channel = 1; channel <= 16; ++channel) {
        char number[12];
        formatDecimal(channel, number);
        platformListAdd(dialog, IDC_CHANNEL, number);
    }
    platformListSelect(dialog, IDC_CHANNEL, pluginSettings.midiChannel.load());
    startLiveLine(dialog, &configLine);
    // The keyboard starts where the reading does.
    platformFocusControl(dialog, IDC_DEVICE);
}

bool deviceChosenNotApplied(char* name) {
    name[0] = '\0';
    WindowRef dialog = configDialogWindow;
    if (!configDialogIsOpen() || dialog == nullptr) return false;
    int32_t selected = platformListSelection(dialog, IDC_DEVICE);
    if (selected <= 0) return false;  // "None", or nothing
    if (selected == awayEntry) {
        appendText(name, kDeviceNameCapacity, awayName);
    } else {
        platformListText(dialog, IDC_DEVICE, selected, name, kDeviceNameCapacity);
    }
    char configured[kDeviceNameCapacity];
    configuredDeviceName(configured);
    return pluginSettings.midiDevice < 0 || !textEquals(name, configured);
}

void endOpenDialogs() {
    if (!configDialogIsOpen()) return;
    // A message box or question the dialogs show ends too: the code after it
    // finds the plug-in quit and does nothing more.
    platformEndBoxesOf(configDialogWindow);
    platformEndBoxesOf(bindingsDialogWindow());
    endAutodetectDialog();
    endBindingsDialog();
    if (configDialogWindow != nullptr) platformEndDialog(configDialogWindow);
}

// The name of the device listed at list index device + 1.
static void readListedDevice(uint32_t device, char* name, const void* dialog) {
    platformListText(const_cast<WindowRef>(dialog), IDC_DEVICE, static_cast<int32_t>(device) + 1, name,
                     kDeviceNameCapacity);
}

void selectListedDevice(const char* name, int32_t preferredEntry) {
    WindowRef dialog = configDialogWindow;
    // A name that cannot be read: as listed, unless that is the entry of the
    // device that is away.
    int32_t entry = preferredEntry == awayEntry ? -1 : preferredEntry;
    if (name[0] != '\0') {
        // Neither "None" nor the entry of a device that is away is a device's name.
        int32_t listed = platformListCount(dialog, IDC_DEVICE) - 1 - (awayEntry >= 0 ? 1 : 0);
        int32_t found = listed > 0 ? findByName(name, preferredEntry - 1, static_cast<uint32_t>(listed),
                                                readListedDevice, dialog)
                                   : -1;
        entry = found >= 0 ? found + 1 : -1;
        if (found < 0 && awayEntry >= 0 && textEquals(name, awayName)) entry = awayEntry;
    }
    platformListSelect(dialog, IDC_DEVICE, entry);
}

// The device a list entry stands for at this moment: found by the entry's
// name, at its listed index while the device there still has that name. -1
// for "None"; -2, which no open accepts, with no selection or for a device
// gone since the list was filled.
static int32_t listedDevice(WindowRef dialog, int32_t selected) {
    if (selected <= 0) return selected - 1;
    char name[kDeviceNameCapacity];
    readListedDevice(static_cast<uint32_t>(selected - 1), name, dialog);
    // A device whose name cannot be read is taken by its index.
    if (name[0] == '\0') return selected - 1;
    int32_t device = findInputDevice(name, selected - 1);
    return device >= 0 ? device : -2;
}

// OK and Apply: close, take the selected device and open it, take the
// channel. The port is reopened also when the selection did not change.
// The worker uses the new channel from its next message on; an empty
// selection gives -1, which matches no channel rule. Taken once the old port
// is closed and before the new one opens, so that the new device's first
// message is judged by the new channel.
static void takeChannel(WindowRef dialog) {
    pluginSettings.midiChannel.store(platformListSelection(dialog, IDC_CHANNEL));
}

static void applySettings(WindowRef dialog) {
    int32_t selected = platformListSelection(dialog, IDC_DEVICE);
    if (selected >= 0 && selected == awayEntry) {
        // The device that is not connected stays the one to follow, by the
        // index and name stored for it, with no port and no message; it is
        // opened as soon as it is back (now, if it is already). Only a port
        // Apply opened for another device meanwhile is closed.
        if (mainInputPort != nullptr) closeMainPort(dialog);
        // The player may quit while a message is up: nothing more then.
        if (pluginHasQuit()) return;
        takeChannel(dialog);
        pluginSettings.midiDevice = awayDevice;
        pluginSettings.midiDeviceName[0] = '\0';
        appendText(pluginSettings.midiDeviceName, kDeviceNameCapacity, awayName);
        reopenMainPort();
    } else {
        closeMainPort(dialog);
        if (pluginHasQuit()) return;
        takeChannel(dialog);
        // With no selection the device reads -2, which is not "none": the
        // open then fails and the device becomes none.
        pluginSettings.midiDevice = listedDevice(dialog, selected);
        if (pluginSettings.midiDevice != -1 && !openMainPort(pluginSettings.midiDevice)) {
            platformMessageBox(dialog, "Error Opening MIDI Device");
            pluginSettings.midiDevice = -1;
            platformListSelect(dialog, IDC_DEVICE, 0);  // the list shows the setting
        }
        followChosenDevice();
    }
    if (pluginHasQuit()) return;
    // Written at once, so that a player that ends without quitting its
    // plug-ins keeps the choice.
    if (!saveSettings()) platformMessageBox(dialog, "Could not save the settings");
    // The line says what the plug-in listens to now.
    startLiveLine(dialog, &configLine);
}

// The autodetect dialog listens on every device, the main one included, so
// the main port is closed while it runs, and opened again when it ends. What
// it detected goes into the lists only: OK or Apply then take it, and Cancel
// leaves the device in use as it was.
static void autodetect(WindowRef dialog) {
    closeMainPort(dialog);
    // The player may quit while "Error Closing MIDI Device" is up.
    if (pluginHasQuit()) return;
    // The autodetect dialog is owned by the host window, which leaves this
    // dialog enabled; it takes no input meanwhile.
    WindowRef host = pluginRecord.hostWindow;
    bool hostWasEnabled = platformIsWindowEnabled(host);
    platformEnableWindow(dialog, false);
    runAutodetectDialog();
    // Quit while the autodetect dialog was open ended both dialogs: nothing
    // is opened then.
    bool quit = pluginHasQuit();
    if (!quit) reopenMainPort();
    // NOTE: ending the autodetect dialog enabled its owner, the host window,
    // which this dialog keeps disabled while it is open; and since this dialog
    // was still disabled then, the system made some other window active. Put
    // both back, or the player takes input under a modal dialog and this one
    // takes no keys until it is clicked.
    platformEnableWindow(host, hostWasEnabled);
    platformEnableWindow(dialog, true);
    if (!quit) platformActivateWindow(dialog);
}

static void onConfigCommand(WindowRef dialog, uint32_t controlId, uint32_t) {
    // After quit the dialog only ends: it opens no port and writes nothing.
    if (pluginHasQuit()) {
        platformEndDialog(dialog);
        return;
    }
    switch (controlId) {
        case kDialogOk:
            applySettings(dialog);
            platformEndDialog(dialog);
            break;
        case IDC_APPLY: applySettings(dialog); break;
        case kDialogCancel: platformEndDialog(dialog); break;  // a change already applied stands
        case IDC_AUTODETECT: autodetect(dialog); break;
        case IDC_BINDINGS: runBindingsDialog(dialog); break;
        default: break;
    }
}
