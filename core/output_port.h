// output_port.h -- each device's lights output: the MIDI output chosen for
// it in the Bindings dialog, found by its name as the inputs are, at start,
// whenever the system's list of devices changes (whether or not a dialog is
// open), on a slow timer while it is chosen and not open, and when the dialog
// chooses it. The configured device's is MIDIOutDevice and
// MIDIOutDeviceName; an added controller's its section's Output line. Each
// time an output opens, its device's set-up messages (a Setup line) are sent
// to it, then every light. The worker sends to it (midi/lights.h); only the
// user-interface thread opens and closes it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/types.h"
#include "platform/midi_output.h"

// Init: opens the device's chosen output, by its name wherever Windows
// numbered it; a box naming it once when it cannot be opened (away, or held
// elsewhere), and the choice is kept, to be opened when it can. Nothing
// without a chosen output.
void openOutputAtStart(uint32_t device = kConfiguredDevice);

// An added controller's output, by its name (empty for none), as its section
// says; opened when it can be. Its old output, if another, goes dark and is
// closed first. True when it was opened now (its set-up messages sent).
// `port` is the output it opens when another than the one named: the
// paired output of the port its bindings read (controllers.cpp), found at
// `at` first. The dialog goes on showing `name`.
bool followControllerOutput(uint32_t device, const char* name, const char* port = nullptr, int32_t at = -1);

// The system's list of devices changed, or the retry timer fired: for every
// device, an output whose device has gone or moved is closed (nothing can be
// sent to a device that is not there), and a closed one opened again,
// silently, where its name now is. Dialogs or not.
void outputDeviceListChanged();
// Whether some device's output is chosen and not open.
bool outputsWaiting();

// The Bindings dialog's OK: the output of that name (empty for none) becomes
// the device's, `at` its number when the dialog listed it; the lights of the
// old one go dark and it is closed first. The choice stays even when the new
// one cannot be opened now: false then, and it opens once it can.
bool chooseOutput(const char* name, int32_t at, uint32_t device = kConfiguredDevice);
// OK kept the chosen output: when it is open, its set-up messages and every
// light are sent again with `setUpAgain` (its Setup changed); when it is not,
// it is opened now, silently, if it can be.
void reopenOutput(uint32_t device, bool setUpAgain);
// Before a change of the device's bindings that reopenOutput(device, true)
// follows: the worker lets the open output be until it is set up again, so
// that its lights go once, after the set-up messages, not also before them.
void holdLightsForSetup(uint32_t device);

// The lights output open at the system's output `at`, whichever device's;
// null for none. Others may send a short message on it.
MidiOutRef lightsOutputAt(int32_t at);

// True while the device's output is open; its name (empty for none).
bool outputIsOpen(uint32_t device = kConfiguredDevice);
void chosenOutputName(uint32_t device, char* name);

// Quit, and a controller removed: every light dark, and the output closed;
// nothing is sent after.
void closeOutput(uint32_t device);
void closeOutputsAtQuit();

// The Lights line of the Bindings dialog, for the device, the output the
// dialog has chosen (`name`, empty for none), how many of the dialog's
// bindings light, and whether OK changes what lights: "Lights: Pad Out (3
// bindings)", "Lights: none chosen", "Lights: Pad Out is not connected: 3
// bindings light when it is", "Lights: Pad Out (3 bindings light after OK)";
// then, for the output in effect, whether its Setup line is not whole
// messages (none of it is sent), or could not be sent whole.
void describeLights(uint32_t device, const char* name, uint32_t lighting, bool pending, char* out, size_t capacity);

// A Setup line's room: a system-exclusive message as long as an output takes
// (kMostSysexBytes), written out with its blanks, and more besides.
const size_t kSetupTextCapacity = 4096;
const uint32_t kSetupMostBytes = 1280;

// The bytes of whole MIDI messages written in hex ("B0 7F 00 F0 00 20 29 02
// 0D 0E 01 F7"): short messages and system-exclusive ones; false when the
// text is anything else, or longer than capacity.
bool parseSetupBytes(const char* text, uint8_t* bytes, uint32_t capacity, uint32_t* length);

// Back to the state at module load; for tests.
void resetOutputPort();
