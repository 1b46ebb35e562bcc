// dispatch.h -- the dispatch worker: the 50 ms window and the rules that turn
// MIDI messages into host commands.
#pragma once

#include <cstdint>

#include "core/types.h"

// The worker thread's body: waits on the mailbox's wake event, takes the
// latest message and dispatches it, until the first wake-up after quit has set
// the stop flag.
void runDispatchWorker();
// One wake-up's work, after the wait: the gestures whose time came, each
// device's message that signalled, system-exclusive data, knobs, lights.
// False when the stop flag is set (nothing is done then).
bool dispatchWakeUp();

// The device's window and the rules for one message of it taken at tick
// `now`; true when it passed the window (whether or not a rule then took
// it). The key map, the wheels and the channel-16 controllers are the
// configured device's; an added controller has its bindings only.
bool dispatchMessage(ShortMessage message, uint32_t now, uint32_t device = kConfiguredDevice);

// The system-exclusive messages the drivers gave back since the last call,
// each device's in order, each at the tick it is taken: a Machine Control
// transport command passes the device's window and acts; any other does
// nothing and leaves the window as it is. Transport commands act from every
// device.
void dispatchLongData();
void dispatchLongData(uint32_t device);

// Worker: the transport press the device's ports handed over (real-time,
// Mackie Control, HUI) acts through the device's window, as Machine
// Control's commands; the jog wheel's steps seek as a knob bound to Seek.
void dispatchTransport(uint32_t device, uint32_t now);

// Worker: the gestures' decisions whose time has come, and the actions they
// made, each through its device's window once the window lets it; the line
// tells of the shift button and of a press being decided on.
void actOnGestures(uint32_t now);

// Worker: each endless knob of each device with steps counted since its last
// action acts on their sum, at most every 50 ms; none acts while a key
// waits.
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
