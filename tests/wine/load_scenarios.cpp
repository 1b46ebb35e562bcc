// load_scenarios.cpp -- load and races through the real path: a flood of
// MIDI, and quit while the worker is held in a slow send, many times over.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/wine/host_support.h"

using namespace host;

namespace {

int envInt(const char* name, int fallback) {
    const char* text = getenv(name);
    return text != nullptr ? atoi(text) : fallback;
}

// Wine reports no process memory counters; the process is a Linux process,
// so read its data size (heap and anonymous mappings, in bytes) from /proc.
SIZE_T privateBytes() {
    std::string status = readFile("Z:\\proc\\self\\status");
    size_t at = status.find("VmData:");
    return at == std::string::npos ? 0 : static_cast<SIZE_T>(strtoul(status.c_str() + at + 7, nullptr, 10)) * 1024;
}

// Wine reports no handle count either. The system hands out the lowest free
// handle slot, so the value of a new handle grows exactly when handles leak.
DWORD handleCount() {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(probe) / 4);
}

// ---- A flood of 10,000 messages a second ----------------------------------------------

void floodScenario() {
    int seconds = envInt("NOTEWICK_FLOOD_SECONDS", 5);
    writeSettings(0, 0);
    check(load() != nullptr && init() == 0, "the plug-in starts");
    pump(200);
    take();
    startFlood();
    DWORD started = GetTickCount();
    pump(1000);  // warm-up: the first second's allocations are not growth
    SIZE_T memoryBefore = privateBytes();
    DWORD handlesBefore = handleCount();
    pump(static_cast<DWORD>(seconds - 1) * 1000);
    SIZE_T memoryAfter = privateBytes();
    DWORD handlesAfter = handleCount();
    DWORD quitStarted = GetTickCount();
    quit();  // while the flood goes on
    DWORD quitTook = GetTickCount() - quitStarted;
    long sent = stopFlood();
    std::vector<Received> got = take();
    unload();

    std::vector<int> perSecond(static_cast<size_t>(seconds) + 2, 0);
    for (const Received& r : got) {
        size_t second = std::min<size_t>((r.tick - started) / 1000, perSecond.size() - 1);
        ++perSecond[second];
    }
    int most = *std::max_element(perSecond.begin(), perSecond.end());
    printf("flood: %ld messages in %d s, %zu accepted, at most %d in one second; "
           "data %+ld bytes (of %lu), lowest free handle slot %+ld (at %lu) over the last %d s; quit took %lu ms\n",
           sent, seconds, got.size(), most, static_cast<long>(memoryAfter) - static_cast<long>(memoryBefore),
           static_cast<unsigned long>(memoryBefore), static_cast<long>(handlesAfter) - static_cast<long>(handlesBefore),
           static_cast<unsigned long>(handlesBefore), seconds - 1,
           static_cast<unsigned long>(quitTook));
    // A busy machine (other tests in parallel) slows the flooding thread; a
    // fifth of its rate is still a hundred times what the window lets through.
    check(sent >= static_cast<long>(seconds) * kFloodRate / 5, "the flood ran at 2,000 a second or more",
          std::to_string(sent));
    // The arrival second can differ from the acceptance tick by a send's time.
    check(most <= 21, "at most 20 accepted per second", std::to_string(most));
    check(got.size() >= static_cast<size_t>(seconds) * 15, "the worker keeps up with the latest message",
          std::to_string(got.size()));
    check(handlesAfter <= handlesBefore + 2, "no growth in handles",
          std::to_string(handlesBefore) + " -> " + std::to_string(handlesAfter));
    check(memoryAfter <= memoryBefore + 256 * 1024, "no growth in memory",
          std::to_string(memoryBefore) + " -> " + std::to_string(memoryAfter));
    check(quitTook < 2000, "quit stays prompt", std::to_string(quitTook) + " ms");
}

// ---- Quit while the worker is blocked in a slow send ------------------------------------

void quitTrials() {
    int trials = envInt("NOTEWICK_QUIT_TRIALS", 100);
    writeSettings(0, 0);
    setCommandDelayMs(40);
    int slow = 0, alive = 0;
    DWORD slowest = 0;
    for (int trial = 0; trial < trials; ++trial) {
        if (load() == nullptr) {
            check(false, "the plug-in loads");
            return;
        }
        int before = threadCount();
        init();
        midiSend(0, midiNoteOn(0, 71, 90));  // B: four slow sends
        DWORD waited = GetTickCount();
        while (take().empty() && GetTickCount() - waited < 2000) pump(1);
        // Quit at a different point of the send sequence each time.
        pump(static_cast<DWORD>(trial % 5) * 15);
        DWORD started = GetTickCount();
        quit();
        DWORD took = GetTickCount() - started;
        slowest = std::max(slowest, took);
        if (took >= 2000) ++slow;
        if (threadCount() != before) ++alive;
        unload();
        pump(5);
        take();
    }
    printf("quit during a slow send: %d trials, %d slow, %d with the worker still running, slowest %lu ms\n",
           trials, slow, alive, static_cast<unsigned long>(slowest));
    check(slow == 0, "quit never hangs");
    check(alive == 0, "the worker has always ended before quit returns");
}

const ScenarioRegistration registrations[] = {
    {"load_flood", floodScenario},
    {"load_quit_trials", quitTrials},
};

}  // namespace
