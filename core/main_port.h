// main_port.h -- the main input port follows the configured device by its
// name: at start, whenever the system's list of devices changes, and when a
// dialog gives it back.
//
// mainInputPort is null whenever no port is open: every close that closes it
// clears it. Only the user-interface thread touches it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Init's opening of the configured device. With a name known, the device at
// the stored index is used when it has that name, else the first device that
// has it, whose index becomes midiDevice once it is open; when no device has
// it, nothing is opened (even if another device sits at the stored index).
// Without a name, the stored index is opened as it is. A device that cannot
// be found or opened shows "Could not open MIDI device", and the settings
// stay as they are, to be saved unchanged and tried again.
void openMainPortAtStart();

// A dialog closes the main port (OK, Apply, Autodetect). "Error Closing MIDI
// Device", owned by `owner`, when that fails, and when init could not open
// the stored device, so that there is no port to close. Nothing happens, and
// nothing is shown, when there is no device, or when the port is closed
// already (its device went, or a dialog closed it). A port that will not
// close is no longer the main port, but quit tries it again.
void closeMainPort(WindowRef owner);
// Quit: the main port, and one a dialog could not close. False when either
// is still open (its driver may call into the module after that).
bool closeMainPortAtQuit();

// A dialog opens `device` as the main port; false when it cannot be opened
// (no message: the dialog shows its own).
bool openMainPort(int32_t device);

// True when the last try to open the configured device failed although it
// was there (another program holds it); false once a port is open, and for a
// device that is away.
bool mainPortOpenFailed();
// True while a device is configured, its port is not open, and no dialog
// owns it: the retry timer tries it again.
bool mainPortWaiting();

// The configured device's name: the one it is followed by, or, without
// one, the name of the device at midiDevice (kDeviceNameCapacity bytes).
void configuredDeviceName(char* name);

// The device at midiDevice has just been chosen (and opened), or none: its
// name is the one to follow from now on (empty for none).
void followChosenDevice();

// Opens the configured device again, silently, where its name now is (by
// its index when it has no name), once a dialog that closed its port for a
// while is done with it. Nothing when a port is open or no device is set; a
// device that is away stays closed, for the device watch to open when it
// comes back.
void reopenMainPort();

// True from the configuration dialog's start until it has ended; the
// autodetect and Bindings dialogs run inside it. The dialogs own the main
// port meanwhile: the device watch only closes it when its device goes.
bool configDialogIsOpen();
void setConfigDialogOpen(bool open);

// The system's list of devices changed, or the retry timer fired. A main
// port whose device has gone or moved is closed, dialogs open or not: a
// device that left and came back, even at the same number and name, is a
// new port to open. While no dialog of the plug-in is open and a named
// device is configured, a closed one is opened again, silently, wherever the
// named device now is (also one another program held and has let go).
void mainDeviceListChanged();

// Back to the state at module load; for tests.
void resetMainPort();
