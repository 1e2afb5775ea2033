// Formant analysis over one hour of 16 kHz speech-like signal, on one core:
// the whole analysis as tessal-cli formants runs it (resampling to 11 kHz,
// frames, tracking), and its parts. The counter "realtime" is the hours of
// signal analysed per hour (goal: at least 20). Beside them, as references
// measured in the same run: the resampling alone, and the floor of the
// frame work, Burg's recursion of order 10 over every 550-sample window
// without the window, the roots or the tracking.
// The signal: a minute of vowels (a glottal pulse per cycle through five
// formants that glide between /a/ and /i/, F0 between 85 and 260 Hz, 1.6 s
// voiced and 0.4 s of breath noise in turn) repeated sixty times.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "benchsignals.h"

#include "engine/analysis/lpc.h"
#include "engine/process/resamplestep.h"
#include "engine/tools/formants.h"

namespace {

using namespace tessal;

constexpr std::size_t rate = 16000, seconds = 3600;

const tsinglearr& one_hour() {
    static const tsinglearr x = [] {
        const double pi = std::numbers::pi, fs = rate;
        std::vector<double> y = bench::speechlike_source(fs);
        const std::size_t m = y.size();
        // Time-varying resonators: /a/ (800, 1200) to /i/ (300, 2300) and back
        // every 3 s; F3-F5 fixed.
        const double fa[5] = {800, 1200, 2800, 3600, 4500}, fi[5] = {300, 2300, 3000, 3700, 4500};
        const double bw[5] = {80, 90, 120, 150, 200};
        for (int k = 0; k < 5; ++k) {
            double y1 = 0, y2 = 0;
            for (std::size_t j = 0; j < m; ++j) {
                const double mix = 0.5 - 0.5 * std::cos(2 * pi * (j / fs) / 6);
                const double f = fa[k] + mix * (fi[k] - fa[k]);
                const double r = std::exp(-pi * bw[k] / fs), c = 2 * r * std::cos(2 * pi * f / fs);
                const double o = (1 - c + r * r) * y[j] + c * y1 - r * r * y2;
                y2 = y1, y1 = o, y[j] = o;
            }
        }
        return bench::looped_to(y, rate * seconds);
    }();
    return x;
}

void set_counters(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rate * seconds));
    state.counters["realtime"] = benchmark::Counter(static_cast<double>(seconds), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Formants(benchmark::State& state) {
    const tsinglearr& x = one_hour();
    for (auto _ : state) {
        const tformanttracks t = formants(x.data(), x.size(), rate, {});
        benchmark::DoNotOptimize(t.f.data());
    }
    set_counters(state);
}

void BM_FormantFrames(benchmark::State& state) {
    const tsinglearr& x = one_hour();
    for (auto _ : state) {
        const auto frames = formant_frames(x.data(), x.size(), rate, {});
        benchmark::DoNotOptimize(frames.data());
    }
    set_counters(state);
}

void BM_FormantTracking(benchmark::State& state) {
    const auto frames = formant_frames(one_hour().data(), one_hour().size(), rate, {});
    for (auto _ : state) {
        const tformanttracks t = track_formants(frames, {});
        benchmark::DoNotOptimize(t.f.data());
    }
    set_counters(state);
}

// Reference: the resampler alone, 16 to 11 kHz.
void BM_FormantsReferenceResample(benchmark::State& state) {
    const tsinglearr& x = one_hour();
    const tresample r(11000);
    for (auto _ : state) {
        const tsinglearr y = r.resample(x.data(), x.size(), rate);
        benchmark::DoNotOptimize(y.data());
    }
    set_counters(state);
}

// Reference: Burg of order 10 over every window (550 samples at 11 kHz,
// 10 ms apart) of the signal taken as it is.
void BM_FormantsReferenceBurgOnly(benchmark::State& state) {
    const tsinglearr& x = one_hour();
    const std::size_t N = 550, hop = rate / 100;
    for (auto _ : state) {
        double sum = 0;
        for (std::size_t s = 0; s + N <= x.size(); s += hop) sum += lpc_burg(x.data() + s, N, 10).error;
        benchmark::DoNotOptimize(sum);
    }
    set_counters(state);
}

}  // namespace

BENCHMARK(BM_Formants)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FormantFrames)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FormantTracking)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FormantsReferenceResample)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FormantsReferenceBurgOnly)->Unit(benchmark::kSecond)->Iterations(1);
