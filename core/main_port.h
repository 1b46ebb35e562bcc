// main_port.h -- the main input port follows the configured device by its
// name: at start, and whenever the system's list of devices changes.
#pragma once

// Init's opening of the configured device. With a name known, the device at
// the stored index is used when it has that name, else the first device that
// has it, whose index becomes midiDevice once it is open; when no device has
// it, nothing is opened (even if another device sits at the stored index).
// Without a name, the stored index is opened as it is. A device that cannot
// be found or opened shows "Could not open MIDI device", and the settings
// stay as they are, to be saved unchanged and tried again.
void openMainPortAtStart();

// The device at midiDevice has just been chosen (and opened), or none: its
// name is the one to follow from now on (empty for none).
void followChosenDevice();

// True while the main port is closed because its device went away: there is
// then nothing for the dialogs to close, and nothing to tell the user.
bool mainPortWentWithItsDevice();

// The system's list of devices changed. While no dialog of the plug-in is
// open and a named device is configured: a main port whose device has gone
// or moved is closed, and a closed one is opened again, silently, wherever
// the named device now is.
void mainDeviceListChanged();

// Back to the state at module load; for tests.
void resetMainPort();
