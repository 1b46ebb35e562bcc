// dispatch.h -- the dispatch worker: the 50 ms window and the four rules that
// turn MIDI messages into host commands.
#pragma once

#include <cstdint>

#include "core/types.h"

// Messages closer than this to the last accepted one are dropped.
const uint32_t kAcceptWindowMs = 50;

// The worker thread's body: waits on the mailbox's wake event, takes the
// latest message and dispatches it, until the first wake-up after quit has set
// the stop flag.
void runDispatchWorker();

// True when a message arriving at tick `now` would be dropped by the window
// as soon as the worker woke for it: the worker is waiting and fewer than
// 50 ms have passed since the last accepted message. The main data handler
// then leaves it in the slot without waking the worker, which spares a
// wake-up per message when an instrument floods the input.
bool workerWouldDrop(uint32_t now);

// The window and the rules for one message taken at tick `now`.
void dispatchMessage(ShortMessage message, uint32_t now);

// Asks the host whether it is playing, then sends Pause if it is, Play if not.
void playPauseToggle();

// True when value is previous, previous + 1 or previous - 1.
bool isNearValue(int32_t previous, int32_t value);

// Back to the state at module load (window at tick 0, controller values 0).
void resetDispatchState();
