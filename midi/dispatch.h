// dispatch.h -- the dispatch worker: the 50 ms window and the rules that turn
// MIDI messages into host commands.
#pragma once

#include <cstdint>

#include "core/types.h"

// The worker thread's body: waits on the mailbox's wake event, takes the
// latest message and dispatches it, until the first wake-up after quit has set
// the stop flag.
void runDispatchWorker();

// The window and the rules for one message taken at tick `now`; true when it
// passed the window (whether or not a rule then took it).
bool dispatchMessage(ShortMessage message, uint32_t now);

// The system-exclusive messages the driver gave back since the last call, in
// order, each at the tick it is taken: a Machine Control transport command
// passes the window and acts; any other does nothing and leaves the window as
// it is.
void dispatchLongData();

// Worker: once the window has ended, each endless knob with steps counted
// since its last action acts on their sum.
void actOnKnobSteps(uint32_t now);

// Asks the host whether it is playing, then sends Pause if it is, Play if not.
void playPauseToggle();

// The key map's action for a note (a BindingAction), by its place in the
// octave; the channel-16 button's for a controller, kActionNone for none.
uint32_t keyMapAction(uint32_t note);
uint32_t channel16Action(uint32_t controller);

// True when value is previous, previous + 1 or previous - 1.
bool isNearValue(int32_t previous, int32_t value);

// Back to the state at module load (window at tick 0, controller values 0).
void resetDispatchState();
