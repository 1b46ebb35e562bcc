// window.cpp -- the devices' 50 ms windows and the worker's busy mark.
#include "midi/window.h"

#include <atomic>

// Tick at which each device's last message passed; written by the worker,
// read by the main data handler too.
static std::atomic<uint32_t> lastAcceptedTick[kMaxDevices];
// 1 from the worker's wake-up until it waits again.
static std::atomic<uint32_t> workerBusy{0};

bool insideWindow(uint32_t now, uint32_t device) {
    return device < kMaxDevices && now - lastAcceptedTick[device].load() < kAcceptWindowMs;
}

void restartWindow(uint32_t now, uint32_t device) {
    if (device < kMaxDevices) lastAcceptedTick[device].store(now);
}

uint32_t windowRemainingMs(uint32_t now, uint32_t device) {
    if (device >= kMaxDevices) return 0;
    uint32_t since = now - lastAcceptedTick[device].load();
    return since >= kAcceptWindowMs ? 0 : kAcceptWindowMs - since;
}

void setWorkerBusy(bool busy) { workerBusy.store(busy ? 1 : 0); }

bool workerWouldDrop(uint32_t now, uint32_t device) { return workerBusy.load() == 0 && insideWindow(now, device); }

void resetWindow() {
    for (std::atomic<uint32_t>& tick : lastAcceptedTick) tick.store(0);
    workerBusy.store(0);
}
