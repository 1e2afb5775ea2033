// The filter steps of processes over ten minutes of 48 kHz noise, each run
// through the step as a process runs it (on its input, in place; items are
// samples; compare items_per_second with filter/biquad4_1h_48k, the plain
// cascade of four second-order sections over a block in cache). The
// brick-wall low-pass kernel (window 40) runs as the direct 64-bit sum and,
// beside it, as the overlap-add of FFT blocks on TFFT that the step uses for
// long kernels.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/process/filtersteps.h"
#include "engine/process/procregistry.h"

namespace {

using namespace tessal;

constexpr std::size_t rate = 48000, seconds = 600;

const tsinglearr& ten_minutes() {
    static const tsinglearr x = [] {
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        tsinglearr s(rate * seconds);
        for (float& v : s) v = u(rng);
        return s;
    }();
    return x;
}

void run_step(benchmark::State& state, const char* procid) {
    tdocument doc;
    tfixedprompter prompter(tanswer::ok);
    tprocenv env(doc, prompter);
    auto step = create_step(find_procid(procid), nullptr, rate);
    if (auto* b = dynamic_cast<tlpbrick*>(step.get())) b->cornerfreq = 8000;  // "Decent", 40
    for (auto _ : state) {
        state.PauseTiming();
        step->inarr.assign(1, ten_minutes());
        step->props.assign(1, default_channelproperties(rate));
        state.ResumeTiming();
        step->run_process(env);
        benchmark::DoNotOptimize(step->outarr[0].data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rate * seconds));
}

// Filters x with kernel k each iteration, by overlap-add or the direct sum.
void filter_brick(benchmark::State& state, const tbrickkernel& k, const tsinglearr& x,
                  bool overlapadd) {
    tsinglearr y(x.size());
    for (auto _ : state) {
        if (overlapadd)
            brick_overlap_add(x.data(), x.size(), k, y.data());
        else
            brick_direct(x.data(), x.size(), k, y.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * x.size()));
}

void brick_ten_minutes(benchmark::State& state) {
    filter_brick(state, brick_kernel(8000 * 0.92, rate, 40, 2.0), ten_minutes(), state.range(0));
}

#define STEP_BENCH(id, iters)                                                        \
    BENCHMARK_CAPTURE(run_step, id, #id)                                             \
        ->Name("steps/" #id "_10min_48k")                                             \
        ->Unit(benchmark::kMillisecond)                                              \
        ->Iterations(iters)

STEP_BENCH(diff, 5);
STEP_BENCH(int, 5);
STEP_BENCH(lp2, 5);
STEP_BENCH(hp2, 5);
STEP_BENCH(polezero, 5);
STEP_BENCH(realpolezero, 5);
STEP_BENCH(slope, 2);
STEP_BENCH(lpbrick, 1);
// Direct sum and overlap-add by window size (10, 40, 160 sinc periods at
// 8000 Hz * 0.92: N = 65, 261 and 1043 taps a side), over one minute.
void brick_method(benchmark::State& state) {
    const tbrickkernel k = brick_kernel(8000 * 0.92, rate, static_cast<double>(state.range(0)), 2.0);
    const tsinglearr x(ten_minutes().begin(), ten_minutes().begin() + rate * 60);
    filter_brick(state, k, x, state.range(1));
}
BENCHMARK(brick_method)
    ->Name("steps/lpbrick_1min_48k")
    ->ArgNames({"window", "overlapadd"})
    ->ArgsProduct({{10, 40, 160}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(brick_ten_minutes)
    ->Name("steps/lpbrick_window40_10min_48k")
    ->ArgName("overlapadd")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
