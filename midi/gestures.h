// gestures.h -- more from every pad: a shift button, long presses and double
// presses, each device's own.
//
//   Note 40 Channel 10=Shift              the device's shift button
//   Note 36 Channel 10=Play/Pause         a press (let go before the hold time)
//   Note 36 Channel 10 Hold=Stop          held for the hold time
//   Note 37 Channel 10 Double=Next        pressed twice within the double-press time
//   Shift Note 36 Channel 10=Play Entry 1 while the shift button is held
//
// The main data handler sees the shift button's press and release, and the
// presses and releases of a control that has Hold or Double lines, even
// inside the 50 ms window: they never enter the mailbox, and cost no key
// press. It stamps each with the MIDI input's time stamp (when the message
// arrived) and the tick. A message from any other control carries in its
// mailbox word whether the shift button was held when it arrived. The worker
// decides each gesture from the stamps, wakes for a decision when its time
// comes, and the action it makes goes to the player through the device's
// 50 ms window (dispatch.cpp): one that falls inside the window acts as soon
// as the window ends. A control without Hold or Double lines acts on its
// press exactly as always.
#pragma once

#include <cstdint>

#include "core/types.h"
#include "midi/bindings.h"

// In a mailbox word: the device's shift button was held when the message arrived.
const uint32_t kShiftFlag = 1u << 24;

// Controls with Hold or Double lines, per device.
const uint32_t kMaxGestureSlots = 32;

// The hold and double-press times: the settings HoldTime and DoublePressTime,
// kept within these bounds.
const uint32_t kDefaultHoldMs = 500, kLeastHoldMs = 150, kMostHoldMs = 5000;
const uint32_t kDefaultDoubleMs = 300, kLeastDoubleMs = 100, kMostDoubleMs = 1000;
// Sets both, each kept within its bounds (any thread; the worker reads them).
void setGestureTimes(int32_t holdMs, int32_t doubleMs);
uint32_t holdTimeMs();
uint32_t doublePressTimeMs();

// ---- The user-interface thread ----------------------------------------------------
// With every table published for the device: its shift button, and the
// controls that have Hold or Double lines, each with a slot. Held states are
// let go.
void publishGestures(const Binding* bindings, uint32_t count, uint32_t device = kConfiguredDevice);
// The device's port closed (unplugged, or closed by a dialog or quit): no
// control of it is held any more, and nothing it began acts.
void forgetHeld(uint32_t device);

// ---- The main data handler ------------------------------------------------------------
// Takes the message when it is the device's shift button's, or a press of a
// control that has Hold or Double lines in the layer the shift button makes
// now (or that press's release): true then, and the message goes no further
// than to the worker, which the caller wakes.
bool takeGestureMessage(ShortMessage message, uint32_t timestamp, uint32_t tick, uint32_t device);
// Whether the device's shift button is held now; whether the message is its.
bool shiftHeld(uint32_t device);
bool isShiftMessage(ShortMessage message, uint32_t device);

// ---- The worker ---------------------------------------------------------------------------
// What a gesture made, for the player: the control's message as it arrived
// (kShiftFlag with it when the shift button was held), and how it counts.
struct GestureAction {
    ShortMessage message;
    uint32_t gesture;  // kGesturePress: the control's press line (or the rules); else its Hold or Double line
};
// A moment a gesture says what it was: the events since the last call, and
// any hold or double press whose time has come at `now`, in the order they
// happened; each action that results goes to the device's queue. Only the
// devices with something new or pending are looked at: their bits (1 <<
// device) are the result.
uint32_t updateGestures(uint32_t now);
// The devices with a gesture being decided or an action waiting, as bits.
uint32_t gestureDevices();
// The device's oldest action, taken; false when none waits.
bool takeGestureAction(uint32_t device, GestureAction* action);
// Whether the device has an action waiting.
bool gestureActionWaiting(uint32_t device);
// How long until a gesture's time comes: kWaitForever when none waits. Looks
// at the gestures being decided alone.
uint32_t gestureWaitMs(uint32_t now);
// The device's shift button changed since the last call: its message (the
// press or the release) into *message, true.
bool shiftChanged(uint32_t device, ShortMessage* message);
// The presses the worker is deciding on, for the line: the device's latest
// one taken since the last call, true.
bool gestureBegan(uint32_t device, ShortMessage* message);

// Back to no shift button and no gestures; for tests.
void resetGestures();
