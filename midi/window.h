// window.h -- the 50 ms window: a message that comes fewer than 50 ms after
// the last accepted one is dropped, whatever it is.
//
// The dispatch worker moves the window and marks itself busy or waiting; the
// main data handler reads both to decide whether a message is worth waking
// the worker for. Both sides meet only here.
#pragma once

#include <cstdint>

const uint32_t kAcceptWindowMs = 50;

// True when fewer than 50 ms have passed since the last accepted message.
// The unsigned tick difference holds across the tick's wrap every 49.7 days.
bool insideWindow(uint32_t now);

// The message taken at tick `now` passed: the window restarts there.
void restartWindow(uint32_t now);

// The worker marks itself busy from its wake-up until it waits again.
void setWorkerBusy(bool busy);

// True when a message arriving at tick `now` would be dropped as soon as the
// worker woke for it: the worker is waiting and the window has not passed. A
// busy worker reads the message later, when the window may have passed, so
// it must always be woken.
bool workerWouldDrop(uint32_t now);

// How long until the window ends: 0 when it has.
uint32_t windowRemainingMs(uint32_t now);

// Back to the state at module load: accepted at tick 0, worker waiting.
void resetWindow();
