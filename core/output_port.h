// output_port.h -- the output the lights go to: the MIDI output device chosen
// in the Bindings dialog, found by its name as the input is, at start,
// whenever the system's list of devices changes, and when the dialog chooses
// it. The worker sends to it (midi/lights.h); only the user-interface thread
// opens and closes it.
#pragma once

#include <cstddef>
#include <cstdint>

// Init: opens the chosen output, by its name wherever Windows numbered it;
// "Could not open MIDI output device" once when it cannot be opened (away, or
// held elsewhere), and the choice is kept, to be opened when it comes back.
// Nothing without a chosen output.
void openOutputAtStart();

// The system's list of devices changed. While no dialog of the plug-in is
// open: an output whose device has gone or moved is closed (nothing can be
// sent to a device that is not there), and a closed one opened again,
// silently, where its name now is.
void outputDeviceListChanged();

// The Bindings dialog's OK: the output at `device` (-1 for none) becomes the
// one; the lights of the old one go dark and it is closed first. False when
// the new one cannot be opened: there is none then.
bool chooseOutput(int32_t device);
// OK kept the chosen output: opened now, silently, if it is not open and can
// be (it came back, or was let go while the dialogs were open).
void reopenOutput();

// True while an output is open.
bool outputIsOpen();

// Quit: every light dark, and the output closed; nothing is sent after.
void closeOutputAtQuit();

// "Lights: Pad Out (3 bindings)", "Lights: none chosen", "Lights: Pad Out is
// not connected": where the lights go and how many bindings light, or why
// none do.
void describeLights(char* out, size_t capacity);

// Back to the state at module load; for tests.
void resetOutputPort();
