// encoders.h -- endless knobs and jog wheels: the steps each one counts
// between its actions.
//
// A jog wheel sends far more than twenty messages a second, and the 50 ms
// window lets one message through every 50 ms. So that no step is lost, the
// main data handler adds every knob message's steps into the knob's slot (one
// table read, one atomic add); the worker acts on a knob's sum with the next
// message of that knob the window lets through, or as soon as the window
// ends, whichever comes first. A knob acts at most once every 50 ms; acting
// on a knob's sum when the window ends does not restart the window, so that
// a knob turning leaves the keys and pads their turn.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "midi/bindings.h"

// Knobs whose every step is counted; a binding beyond them acts on the steps
// of the messages the window lets through.
const uint32_t kMaxEncoderSlots = 64;
// A knob acts at most once in this long.
const uint32_t kKnobActionMs = 50;

// User-interface thread, with every table it publishes: which controllers are
// endless knobs, each with a slot of its own. Steps counted so far are let go.
void publishEncoders(const Binding* bindings, uint32_t count);

// Main data handler: adds the message's steps to its knob's slot; false when
// the message is not from a knob that has a slot. *wasEmpty tells whether the
// slot held no steps before (the worker then needs to hear of it).
bool countEncoderSteps(ShortMessage message, bool* wasEmpty);
// Any thread: whether the message comes from a knob that has a slot.
bool isKnobMessage(ShortMessage message);

// ---- The worker ---------------------------------------------------------------------
// The knob's slot; -1 when it has none.
int32_t encoderSlot(const BindingSource& source);
// Whether the knob in the slot may act at `now`: it last acted 50 ms ago or
// more, or never.
bool knobDue(uint32_t slot, uint32_t now);
// The steps the slot holds, taken, and the knob marked as acting at `now`.
int32_t takeKnobSteps(uint32_t slot, uint32_t now);
// The steps are let go (Learn took the knob).
void dropKnobSteps(uint32_t slot);
// The first slot from `from` on that holds steps; its knob in *source; -1
// for none.
int32_t pendingKnob(uint32_t from, BindingSource* source);
// How long until a knob with steps may act: 0 when one may now, kWaitForever
// when none holds steps. `window` is how long until the 50 ms window ends.
uint32_t knobWaitMs(uint32_t now, uint32_t window);

// Back to no knobs; for tests.
void resetEncoders();
