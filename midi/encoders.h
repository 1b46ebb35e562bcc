// encoders.h -- endless knobs and jog wheels: the steps each one counts
// between its actions.
//
// A jog wheel sends far more than twenty messages a second. So that no step
// is lost and no key press is lost to a knob, a knob's messages never enter
// the mailbox or the 50 ms window: the main data handler adds every knob
// message's steps into the knob's slot (one index look-up, one atomic add),
// and the worker acts on each knob's sum on its own schedule, at most once
// every 50 ms per knob. Keys, pads and faders act exactly as if no knob
// moved. Each device has its own knobs and slots.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "midi/bindings.h"

// Knobs whose steps are counted, per device; a knob bound beyond them acts
// on the steps of each message the window lets through, as any control.
const uint32_t kMaxEncoderSlots = 64;
// A knob acts at most once in this long.
const uint32_t kKnobActionMs = 50;

// User-interface thread, with every table it publishes for the device: which
// controllers are endless knobs, each with a slot of its own. Steps counted
// so far are let go.
void publishEncoders(const Binding* bindings, uint32_t count, uint32_t device = kConfiguredDevice);

// Main data handler: adds the message's steps to its knob's slot, the slot
// of its Shift line while the shift button is held (`shifted`) when it has
// one; false when the message is not from a knob of the device that has a
// slot. *wasEmpty tells whether the slot held no steps before (the worker
// then needs to hear of it). A knob that sends its place (absolute values)
// rather than steps is told from its values: its places count no step, and
// *wasEmpty is true for the first one let go, which the worker tells of.
bool countEncoderSteps(ShortMessage message, bool* wasEmpty, uint32_t device = kConfiguredDevice,
                       bool shifted = false);
// Any thread: whether the message comes from a knob of the device that has a slot.
bool isKnobMessage(ShortMessage message, uint32_t device = kConfiguredDevice);

// ---- The worker ---------------------------------------------------------------------
// The knob's slot (of its Shift line, for a source with shift); -1 when it has none.
int32_t encoderSlot(const BindingSource& source, uint32_t device = kConfiguredDevice);
// Whether the knob in the slot may act at `now`: it last acted 50 ms ago or
// more, or never.
bool knobDue(uint32_t slot, uint32_t now, uint32_t device = kConfiguredDevice);
// The steps the slot holds, taken, and the knob marked as acting at `now`.
int32_t takeKnobSteps(uint32_t slot, uint32_t now, uint32_t device = kConfiguredDevice);
// Whether the knob in the slot sent places that were let go since the last
// call (it is set to absolute values); the mark is taken.
bool takeKnobPlaces(uint32_t slot, uint32_t device = kConfiguredDevice);
// The steps are let go (Learn took the knob).
void dropKnobSteps(uint32_t slot, uint32_t device = kConfiguredDevice);
// The first slot of the device from `from` on that holds steps, or places
// let go; its knob in *source; -1 for none.
int32_t pendingKnob(uint32_t from, BindingSource* source, uint32_t device = kConfiguredDevice);
// The devices that may hold steps, or places let go, as bits (1 << device):
// those whose handler counted some since, and those left with some.
uint32_t knobDevices();
// The worker found no slot of the device holding any: it is left out until
// its handler counts again.
void knobDeviceIdle(uint32_t device);
// How long until a knob of any device with steps may act: 0 when one may
// now, kWaitForever when none holds steps.
uint32_t knobWaitMs(uint32_t now);

// Back to no knobs; for tests.
void resetEncoders();
