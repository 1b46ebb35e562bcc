// dialogs.h -- the configuration dialog and the autodetect dialog it runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "midi/outcome.h"
#include "platform/midi_input.h"
#include "platform/platform.h"

const uint32_t kDialogOk = 1;
const uint32_t kDialogCancel = 2;

// Runs the configuration dialog modally, owned by the host window, and
// returns when it closes. While one is open, a second call does nothing.
void showConfigDialog();

// The configuration dialog's window, remembered at its initialisation (not
// cleared when it ends) so that the autodetect dialog can set its two lists.
extern WindowRef configDialogWindow;

// The devices a drop-down lists: the inputs, or the outputs.
struct DeviceFunctions {
    uint32_t (*count)();
    void (*name)(uint32_t index, char* name);
    int32_t (*find)(const char* name, int32_t preferredIndex);
};
extern const DeviceFunctions kInputDevices, kOutputDevices;
// Fills the drop-down with "None", then every device (list index = device
// index + 1), and last, when the chosen device is named but not connected,
// "NAME (not connected)"; selects the chosen device where its name now is
// (without a name, at its index). Returns the entry of the device that is
// not connected, -1 for none.
int32_t fillDeviceList(WindowRef dialog, uint32_t controlId, const DeviceFunctions& devices, int32_t device,
                       const char* name);

// Selects in the configuration dialog's device list the entry with this
// device name, preferredEntry when it has it; with no such entry, none. An
// empty name (a device whose name cannot be read) selects preferredEntry.
void selectListedDevice(const char* name, int32_t preferredEntry);

// The line that says what the last message did (IDC_LIVE_LINE): started as
// a dialog opens, saying what the plug-in listens to, then brought up to date
// by the dialog's timer. `second`, unless null, is shown on a line under it.
struct LiveLine {
    LineState seen;
    bool heard;  // a message was shown; before one, what the plug-in listens to, kept up to date
    char first[320];
    char shown[480];
};
void startLiveLine(WindowRef dialog, LiveLine* line, const char* second = nullptr);
void updateLiveLine(WindowRef dialog, LiveLine* line, const char* second = nullptr);

// Runs the Bindings dialog modally, owned by the configuration dialog.
void runBindingsDialog(WindowRef configDialog);

// Asks, modally, for one of the entries (its index; -1 for Cancel), or for a
// name (`name` holds the one proposed, then the one typed, maybe empty; false for Cancel).
int32_t runPickDialog(WindowRef owner, const char* prompt, const char* const* entries, uint32_t count);
bool runNameDialog(WindowRef owner, const char* prompt, char* name, size_t capacity);

// The device chosen in the open configuration dialog's list when it is not
// the one in use (OK or Apply not pressed yet): its name, true. False when
// the dialog is not open, or its choice is the device in use or "None".
bool deviceChosenNotApplied(char* name);

// Quit: every dialog of the plug-in that is open ends as its Cancel would
// (the autodetect dialog's ports closed, Learn stopped, nothing written), and
// none of them opens a port, writes the settings or shows a message after.
void endOpenDialogs();
void endBindingsDialog();
WindowRef bindingsDialogWindow();  // null while it is not open
// The system's devices changed: the open Bindings dialog's Controller list
// says again which controllers are connected, its Lights list lists the
// outputs there are, and its status line says again what Learn listens to.
void bindingsDevicesChanged();
void endAutodetectDialog();

// Runs the autodetect dialog modally, owned by the host window. Its state
// exists once, so while one is open a second call does nothing.
void runAutodetectDialog();

// The detection handler given to every port the autodetect dialog opens,
// with the device index as instance value. Runs on the driver's thread.
void MIDI_CALLBACK detectionHandler(MidiCallbackPort port, unsigned int message, MidiParam instance,
                                    MidiParam param1, MidiParam param2);

// The latest detection: device and channel packed in one word, so that a
// reader never pairs the device of one key press with the channel of another.
const uint32_t kNoDetection = 0xFFFFFFFFu;
inline uint32_t packDetection(uint32_t device, uint32_t channel) { return (device << 4) | (channel & 0x0Fu); }
inline int32_t detectedDevice(uint32_t word) { return word == kNoDetection ? -1 : static_cast<int32_t>(word >> 4); }
inline int32_t detectedChannel(uint32_t word) {
    return word == kNoDetection ? -1 : static_cast<int32_t>(word & 0x0Fu);
}
extern std::atomic<uint32_t> latestDetection;
