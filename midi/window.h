// window.h -- the 50 ms window: a message that comes fewer than 50 ms after
// the last accepted one from the same device is dropped, whatever it is.
// Each device has a window of its own, so that one device's messages never
// cost another's key press.
//
// The dispatch worker moves the windows and marks itself busy or waiting;
// the main data handler reads both to decide whether a message is worth
// waking the worker for. Both sides meet only here.
#pragma once

#include <cstdint>

#include "core/types.h"

const uint32_t kAcceptWindowMs = 50;

// True when fewer than 50 ms have passed since the device's last accepted
// message. The unsigned tick difference holds across the tick's wrap every
// 49.7 days.
bool insideWindow(uint32_t now, uint32_t device = kConfiguredDevice);

// The device's message taken at tick `now` passed: its window restarts there.
void restartWindow(uint32_t now, uint32_t device = kConfiguredDevice);

// The worker marks itself busy from its wake-up until it waits again.
void setWorkerBusy(bool busy);

// True when a message from the device arriving at tick `now` would be
// dropped as soon as the worker woke for it: the worker is waiting and the
// device's window has not passed. A busy worker reads the message later,
// when the window may have passed, so it must always be woken.
bool workerWouldDrop(uint32_t now, uint32_t device = kConfiguredDevice);

// How long until the device's window ends: 0 when it has.
uint32_t windowRemainingMs(uint32_t now, uint32_t device = kConfiguredDevice);

// Back to the state at module load: every device accepted at tick 0, the
// worker waiting.
void resetWindow();
