// config_dialog.cpp -- the configuration dialog: the MIDI input device and
// channel, Apply while the player runs, and Autodetect.
//
// List index arithmetic: the device list holds "None" and then one entry per
// device (list index = device index + 1); the channel list holds "1" to "16"
// (list index = midiChannel). Neither is sorted.
#include "core/main_port.h"
#include "core/plugin.h"
#include "core/settings.h"
#include "core/text.h"
#include "midi/mailbox.h"
#include "platform/dialogs.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

WindowRef configDialogWindow = nullptr;
// True while the dialog runs (UI thread only).
static bool configDialogRunning = false;

static void onConfigInit(WindowRef dialog);
static void onConfigCommand(WindowRef dialog, uint32_t controlId);
static void onConfigNotify(WindowRef) {}

static const DialogHandlers configHandlers = {onConfigInit, onConfigCommand, onConfigNotify};

void showConfigDialog() {
    // A host may call again while the dialog is open: a second one would
    // take over the remembered window that autodetect writes to.
    if (configDialogRunning) return;
    configDialogRunning = true;
    platformRunDialog(pluginRecord.moduleInstance, IDD_CONFIG, pluginRecord.hostWindow, &configHandlers);
    configDialogRunning = false;
}

bool configDialogIsOpen() { return configDialogRunning; }

// The device list's index for a device; a stored index too large for the list
// gives no selection rather than an overflow.
static int32_t deviceListIndex(int32_t device) {
    int64_t index = static_cast<int64_t>(device) + 1;
    return index > INT32_MAX ? -1 : static_cast<int32_t>(index);
}

static void onConfigInit(WindowRef dialog) {
    configDialogWindow = dialog;
    platformListAdd(dialog, IDC_DEVICE, "None");
    uint32_t count = countInputDevices();
    for (uint32_t i = 0; i < count; ++i) {
        char name[kDeviceNameCapacity];
        deviceName(i, name);
        platformListAdd(dialog, IDC_DEVICE, name);
    }
    platformListSelect(dialog, IDC_DEVICE, deviceListIndex(pluginSettings.midiDevice));
    for (int32_t channel = 1; channel <= 16; ++channel) {
        char number[12];
        formatDecimal(channel, number);
        platformListAdd(dialog, IDC_CHANNEL, number);
    }
    platformListSelect(dialog, IDC_CHANNEL, pluginSettings.midiChannel.load());
}

// Closes the main port if a device is set. A failure is shown and the caller
// goes on; init's failed open leaves a device with no port, so that shows too.
static void closeMainPort(WindowRef dialog) {
    if (pluginSettings.midiDevice < 0) return;
    // Closed already when its device went away: nothing to close, and no
    // error to show for it.
    if (mainPortWentWithItsDevice()) return;
    if (!closeInputPort(mainInputPort)) platformMessageBox(dialog, "Error Closing MIDI Device");
}

// OK and Apply: close, take the selected device and open it, take the
// channel. The port is reopened also when the selection did not change.
static void applySettings(WindowRef dialog) {
    closeMainPort(dialog);
    // With no selection the index reads -1, giving -2, which is not "none":
    // the open then fails and the device becomes none.
    pluginSettings.midiDevice = platformListSelection(dialog, IDC_DEVICE) - 1;
    if (pluginSettings.midiDevice != -1) {
        mainInputPort = openInputPort(static_cast<uint32_t>(pluginSettings.midiDevice), mainDataHandler, 0);
        if (mainInputPort == nullptr) {
            platformMessageBox(dialog, "Error Opening MIDI Device");
            pluginSettings.midiDevice = -1;
        }
    }
    followChosenDevice();
    // The worker uses the new channel from its next message on; an empty
    // selection gives -1, which matches no channel rule.
    pluginSettings.midiChannel.store(platformListSelection(dialog, IDC_CHANNEL));
    // Written at once, so that a player that ends without quitting its
    // plug-ins keeps the choice.
    saveSettings();
}

static void autodetect(WindowRef dialog) {
    closeMainPort(dialog);
    if (pluginSettings.midiDevice >= 0) pluginSettings.midiDevice = -1;
    followChosenDevice();
    // The autodetect dialog is owned by the host window, which leaves this
    // dialog enabled; it takes no input meanwhile.
    WindowRef host = pluginRecord.hostWindow;
    bool hostWasEnabled = platformIsWindowEnabled(host);
    platformEnableWindow(dialog, false);
    runAutodetectDialog();
    // NOTE: ending the autodetect dialog enabled its owner, the host window,
    // which this dialog keeps disabled while it is open; and since this dialog
    // was still disabled then, the system made some other window active. Put
    // both back, or the player takes input under a modal dialog and this one
    // takes no keys until it is clicked.
    platformEnableWindow(host, hostWasEnabled);
    platformEnableWindow(dialog, true);
    platformActivateWindow(dialog);
}

static void onConfigCommand(WindowRef dialog, uint32_t controlId) {
    switch (controlId) {
        case kDialogOk:
            applySettings(dialog);
            platformEndDialog(dialog);
            break;
        case IDC_APPLY: applySettings(dialog); break;
        case kDialogCancel: platformEndDialog(dialog); break;  // a change already applied stands
        case IDC_AUTODETECT: autodetect(dialog); break;
        default: break;
    }
}
