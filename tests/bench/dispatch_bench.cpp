// dispatch_bench.cpp -- the worker's own time per message, on the fake
// platform: the 50 ms window, the bindings and the rules, for a message that
// matches nothing (the longest path through a full table), with no bindings
// against 128; and a key-map key from the MIDI callback through the worker's
// whole wake-up, with no controller against 8 configured and idle (each with
// a shift button, pads with Hold and Double lines, and knobs). Built twice:
// dispatch_bench_baseline has the gestures compiled out (NOTEWICK_NO_GESTURES),
// the baseline for what they cost when nothing uses them. Prints figures;
// never fails.
#include <benchmark/benchmark.h>

#include "core/plugin.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
#include "midi/mailbox.h"
#include "tests/fake/fake_platform.h"

namespace {

void workerPerMessage(benchmark::State& state) {
    fake::reset();
    resetPluginState();
    static Binding bindings[kMaxBindings];
    uint32_t count = static_cast<uint32_t>(state.range(0));
    for (uint32_t i = 0; i < count; ++i) {
        bindings[i] = Binding{BindingSource{kSourceController, static_cast<uint8_t>(i), 9}, kActionVolume};
    }
    // An empty table is searched too, as for a section that binds nothing:
    // the figures compare a full table with an empty one.
    Binding other{BindingSource{kSourceNote, 1, 15}, kActionStop};
    publishBindings(&other, 1);
    publishBindings(bindings, count);
    uint32_t now = 0;
    // Controller 7 on channel 5: no binding, no rule; every one passes the window.
    const ShortMessage message = 0xB4 | (7u << 8) | (100u << 16);
    for (auto _ : state) benchmark::DoNotOptimize(dispatchMessage(message, now += 50));
    state.SetLabel(std::to_string(count) + " bindings");
}
BENCHMARK(workerPerMessage)->Arg(0)->Arg(kMaxBindings);

// The configured device binds nothing; each added controller has a shift
// button, a pad with Hold and Double lines, a plain pad and two knobs, and
// sends nothing.
void configure(uint32_t controllers) {
    fake::reset();
    resetPluginState();
    messageMailbox.wakeEvent.store(platformCreateEvent());
    for (uint32_t device = 1; device <= controllers; ++device) {
        auto source = [](uint8_t kind, uint8_t number, uint8_t encoder, uint8_t shift, uint8_t gesture) {
            return BindingSource{kind, number, 9, encoder, shift, gesture};
        };
        const Binding table[] = {
            {source(kSourceNote, 40, kNotEncoder, 0, kGesturePress), kActionShift},
            {source(kSourceNote, 36, kNotEncoder, 0, kGesturePress), kActionPlayPause},
            {source(kSourceNote, 36, kNotEncoder, 0, kGestureHold), kActionStop},
            {source(kSourceNote, 36, kNotEncoder, 0, kGestureDouble), kActionNext},
            {source(kSourceNote, 37, kNotEncoder, 0, kGesturePress), kActionPrevious},
            {source(kSourceController, 16, kEncoderTwos, 0, kGesturePress), kActionTrack},
            {source(kSourceController, 17, kEncoderTwos, 0, kGesturePress), kActionVolume},
        };
        publishBindings(table, sizeof table / sizeof table[0], device);
    }
}

// E4 on channel 1 (Pause, by the key map) 100 ms after the last, from the
// callback through the worker's wake-up; the player's sends are the fake's.
void workerPerKey(benchmark::State& state) {
    configure(static_cast<uint32_t>(state.range(0)));
    uint32_t tick = 1000, n = 0;
    const ShortMessage key = 0x90 | (64u << 8) | (90u << 16);
    for (auto _ : state) {
        fake::setTick(tick += 100);
        mainDataHandler(nullptr, kMidiInData, 0, key, 0);
        benchmark::DoNotOptimize(dispatchWakeUp());
        if (++n % 4096 == 0) fake::clearSends();
    }
    state.SetLabel(std::to_string(state.range(0)) + " controllers idle");
}
BENCHMARK(workerPerKey)->Arg(0)->Arg(kMaxControllers);

// The callback alone, for the same key (its slot emptied between).
void callbackPerKey(benchmark::State& state) {
    configure(static_cast<uint32_t>(state.range(0)));
    uint32_t tick = 1000;
    const ShortMessage key = 0x90 | (64u << 8) | (90u << 16);
    for (auto _ : state) {
        fake::setTick(tick += 100);
        mainDataHandler(nullptr, kMidiInData, 0, key, 0);
        benchmark::DoNotOptimize(takeSignalledMessage());
    }
    state.SetLabel(std::to_string(state.range(0)) + " controllers idle");
}
BENCHMARK(callbackPerKey)->Arg(0)->Arg(kMaxControllers);

}  // namespace

BENCHMARK_MAIN();
