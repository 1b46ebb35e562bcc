// encoders.h -- endless knobs and jog wheels: the steps each one counts
// between the worker's actions.
//
// A jog wheel sends far more than twenty messages a second, and the 50 ms
// window lets one message through every 50 ms. So that no step is lost, the
// main data handler adds every knob message's steps into the knob's slot (one
// table read, one atomic add); the worker acts on a knob's sum with the next
// message of that knob the window lets through, or as soon as the window
// ends, whichever comes first. The player still gets at most one action per
// knob every 50 ms.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "midi/bindings.h"

// Knobs whose every step is counted; a binding beyond them acts on the steps
// of the messages the window lets through.
const uint32_t kMaxEncoderSlots = 64;

// User-interface thread, with every table it publishes: which controllers are
// endless knobs, each with a slot of its own. Steps counted so far are let go.
void publishEncoders(const Binding* bindings, uint32_t count);

// Main data handler: adds the message's steps to its knob's slot; false when
// the message is not from a knob that has a slot. *wasEmpty tells whether the
// slot held no steps before (the worker then needs to hear of it).
bool countEncoderSteps(ShortMessage message, bool* wasEmpty);

// Worker: the steps the knob's slot holds, taken (the slot is empty after);
// false when the knob has no slot.
bool takeEncoderSteps(const BindingSource& source, int32_t* steps);
// Worker: the next slot that holds steps, from `from` on: its knob's source
// and the steps, taken; -1 when none does.
int32_t takePendingEncoder(uint32_t from, BindingSource* source, int32_t* steps);
// Worker: whether any slot holds steps.
bool encoderStepsPending();

// Back to no knobs; for tests.
void resetEncoders();
