// window.cpp -- the 50 ms window and the worker's busy mark.
#include "midi/window.h"

#include <atomic>

// Tick at which the last message passed; written by the worker, read by the
// main data handler too.
static std::atomic<uint32_t> lastAcceptedTick{0};
// 1 from the worker's wake-up until it waits again.
static std::atomic<uint32_t> workerBusy{0};

bool insideWindow(uint32_t now) { return now - lastAcceptedTick.load() < kAcceptWindowMs; }

void restartWindow(uint32_t now) { lastAcceptedTick.store(now); }

uint32_t windowRemainingMs(uint32_t now) {
    uint32_t since = now - lastAcceptedTick.load();
    return since >= kAcceptWindowMs ? 0 : kAcceptWindowMs - since;
}

void setWorkerBusy(bool busy) { workerBusy.store(busy ? 1 : 0); }

bool workerWouldDrop(uint32_t now) { return workerBusy.load() == 0 && insideWindow(now); }

void resetWindow() {
    lastAcceptedTick.store(0);
    workerBusy.store(0);
}
