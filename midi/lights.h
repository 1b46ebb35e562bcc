// lights.h -- the controller shows what the player is doing: bindings whose
// action has a state light their pad or button, and a controller bound to
// Volume follows the player's volume (a motor fader, an LED ring).
//
// The dispatch worker does the work: while an output is open and a binding
// lights, it reads the player's state at most ten times a second and sends
// what changed. The user-interface thread opens and closes the output
// (core/output_port.h) and hands it over here. Without an output nothing is
// read, nothing is sent, and the worker waits as it always did. The MIDI
// callback never sends.
#pragma once

#include <cstdint>

#include "midi/bindings.h"
#include "platform/midi_output.h"

// What a binding's light shows; kLightNone for a binding without one.
enum LightKind : uint32_t {
    kLightNone,
    kLightPlaying,  // Play/Pause and Play
    kLightPaused,   // Pause
    kLightStopped,  // Stop
    kLightShuffle,
    kLightRepeat,
    kLightVolume,  // a controller bound to Volume: the volume, halved
    kLightShift,   // the shift button: lit while held
};
// Only notes and controllers light.
uint32_t lightKind(const Binding& binding);

// Whether the table's binding i leaves its control's light to another line:
// a pad's own line (no Shift, pressed) lights it whatever its Hold, Double or
// Shift lines show, and of those the first lights it when it has no own line.
bool lightGivesWay(const Binding* table, uint32_t count, uint32_t i);

// The player's state as the lights need it.
struct PlayerState {
    int32_t playing;  // request 104: 1 playing, 3 paused, else stopped
    int32_t shuffle;  // request 250: non-zero while on
    int32_t repeat;   // request 251
    int32_t volume;   // request 122 with -666: 0..255
    int32_t shift;    // the device's shift button is held
};
// The value the binding's control is sent for that state: lit or dark, or
// half the volume.
uint32_t lightValue(const Binding& binding, const PlayerState& player);
// The message that sends the value to the binding's control: a note-on with
// that velocity, or the controller with that value, on its own channel.
uint32_t lightMessage(const Binding& binding, uint32_t value);

// A controller bound to Volume is left alone for this long after its own
// last message, so that a fader in the user's hand is never pushed back.
const uint32_t kFaderHoldMs = 1000;
// The player is read at most this often.
const uint32_t kLightsPollMs = 100;

// ---- The user-interface thread ----------------------------------------------------
// Hands the worker the device's open output: every light is sent once, then
// changes.
void attachLightsPort(MidiOutRef port, uint32_t device = kConfiguredDevice);
// Takes the device's output back from the worker; once this returns, the
// worker sends nothing more to it. Null when none was attached.
MidiOutRef detachLightsPort(uint32_t device = kConfiguredDevice);
// The bindings changed, or an output: the worker looks again at once.
void lightsChanged();

// ---- The worker ---------------------------------------------------------------------
// How long the worker may wait before the lights need it (kWaitForever
// without an output or without a binding that lights).
uint32_t lightsWaitMs(uint32_t now);
// Reads the player, at most every kLightsPollMs for every device together,
// and sends each device's output what changed.
void updateLights(uint32_t now);
// Many controllers light a button themselves while it is pressed, or at
// each press, and so show the wrong state once let go. A lit control's
// press and release send its light again, once, at the next read: after a
// release, at once; after a press, once its release would have been seen
// (the 50 ms window may drop a quick one), kRelightMs on, and not before.
const uint32_t kRelightMs = 60;
void lightsControlPressed(ShortMessage message, uint32_t now, uint32_t device = kConfiguredDevice);
// A message from a bound controller of the device: a Volume fader is held
// off, and is where the hand left it.
void lightsControlMoved(uint32_t slot, uint32_t generation, uint32_t value, uint32_t now,
                        uint32_t device = kConfiguredDevice);

// Back to the state at module load; for tests.
void resetLights();
