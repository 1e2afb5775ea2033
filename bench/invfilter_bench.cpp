// One handle move in the Invira window: the element moved, the cascade
// rebuilt, both inverse-filtered outputs (flow and derivative, 18023 samples
// each with the lead-in) recomputed with the impulse response, and the
// spectra of both outputs over the whole 16384-sample segment and of the
// cascade computed, at 44.1 kHz with four inverse formants and one inverse
// zero. The budget is one frame of a 60 Hz display: 16.7 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "engine/tools/invfilter.h"

namespace {

using namespace tessal;

void invfilter_drag(benchmark::State& state) {
    const double fs = 44100;
    tinvfilter f;
    std::mt19937 rng(5);
    std::normal_distribution<double> n(0.0, 0.1);
    f.load_samples(fs, [&](int i) { return std::sin(2 * M_PI * 120 * i / fs) + n(rng); });
    for (double fr : {700.0, 1200.0, 2600.0, 3500.0}) f.add_element(false, fr, fr / 12);
    f.add_element(true, 4500, 300);
    f.rebuild_cascade();
    f.recompute_outputs();
    tinvspectrum a, b, c;
    int k = 0;
    for (auto _ : state) {
        // The second formant moves back and forth over 200 Hz.
        const double fr = 1100 + (k++ % 200);
        f.set_element(1, fr, fr / 12);
        f.rebuild_cascade();
        f.recompute_outputs();
        f.signal_spectrum(f.invflowarr, 0, invfilter_seglen + 1, a);
        f.signal_spectrum(f.invderarr, 0, invfilter_seglen + 1, b);
        f.filter_spectrum(c);
        benchmark::DoNotOptimize(a.db.data());
        benchmark::DoNotOptimize(b.db.data());
        benchmark::DoNotOptimize(c.db.data());
    }
    state.counters["frame_budget_ms"] = 1000.0 / 60.0;
}
BENCHMARK(invfilter_drag)->Unit(benchmark::kMillisecond);

}  // namespace
