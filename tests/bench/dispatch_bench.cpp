// dispatch_bench.cpp -- the worker's own time per message, on the fake
// platform: the 50 ms window, the bindings and the rules, for a message that
// matches nothing (the longest path through a full table), with no bindings
// against 128. Prints figures; never fails.
#include <benchmark/benchmark.h>

#include "core/plugin.h"
#include "midi/bindings.h"
#include "midi/dispatch.h"
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

}  // namespace

BENCHMARK_MAIN();
