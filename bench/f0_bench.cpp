// The F0 step over one hour of 48 kHz speech-like signal (items are
// samples): autocorrelation with path tracking (algorithm 4) as a process
// runs it, and its frames alone; beside them, as references measured in the
// same run, multiple peak picking (algorithm 2) over the same hour and the
// floor of the path tracker's frame work, the two real FFTs of 4096 points
// per 10 ms frame that it cannot do without.
// The signal: a minute of vowels (a glottal pulse per cycle through three
// formants, F0 gliding between 85 and 260 Hz, 1.6 s voiced and 0.4 s of
// breath noise in turn) repeated sixty times.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "benchsignals.h"

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/fftkernels.h"
#include "engine/process/f0step.h"

namespace {

using namespace tessal;

constexpr std::size_t rate = 48000, seconds = 3600;

const tsinglearr& one_hour() {
    static const tsinglearr x = [] {
        const double pi = std::numbers::pi, fs = rate;
        std::vector<double> y = bench::speechlike_source(fs);
        for (auto [f, b] : {std::pair{700.0, 90.0}, {1200.0, 110.0}, {2500.0, 170.0}}) {
            const double r = std::exp(-pi * b / fs), c = 2 * r * std::cos(2 * pi * f / fs);
            double y1 = 0, y2 = 0;
            for (double& v : y) {
                const double o = (1 - c + r * r) * v + c * y1 - r * r * y2;
                y2 = y1, y1 = o, v = o;
            }
        }
        return bench::looped_to(y, rate * seconds);
    }();
    return x;
}

void run_f0(benchmark::State& state, int algorithm) {
    tdocument doc;
    tfixedprompter prompter(tanswer::ok);
    tprocenv env(doc, prompter);
    tf0 step;
    step.algorithm = algorithm;
    const tsinglearr& x = one_hour();
    for (auto _ : state) {
        state.PauseTiming();
        step.inarr.assign(1, x);
        step.props.assign(1, default_channelproperties(rate));
        state.ResumeTiming();
        step.run_process(env);
        benchmark::DoNotOptimize(step.outarr[0].size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rate * seconds));
}

void ac_frames(benchmark::State& state) {
    tf0 step;
    step.algorithm = 4;
    const tworksig x(one_hour());
    std::size_t voiced = 0;
    for (auto _ : state) {
        const tf0acframes fr = step.ac_frames(x, rate);
        voiced = 0;
        for (float f : fr.f0) voiced += f > 0;
        benchmark::DoNotOptimize(voiced);
    }
    state.counters["voiced_share"] = static_cast<double>(voiced) / (seconds * 100.0);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rate * seconds));
}

// Two real transforms of 4096 points per 10 ms frame over the hour: the
// frame's spectrum and the autocorrelation from its power.
void fft_floor(benchmark::State& state) {
    tfftreal fft;
    fft.resize(12);
    const std::size_t n = 4096, w = 2880, frames = seconds * 100;
    std::vector<double> x(w), re(n), im(n), p(n);
    const tsinglearr& s = one_hour();
    for (auto _ : state) {
        for (std::size_t i = 0; i < frames; ++i) {
            const float* src = s.data() + i * 480;
            for (std::size_t k = 0; k < w; ++k) x[k] = src[k];
            fft.forward({x.data(), nullptr, 0.0, w}, re.data(), im.data(), 1.0);
            for (std::size_t k = 0; k < n; ++k) p[k] = re[k] * re[k] + im[k] * im[k];
            fft.forward({p.data(), nullptr, 0.0, n}, re.data(), im.data(), 1.0);
            benchmark::DoNotOptimize(re[100]);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rate * seconds));
}

BENCHMARK_CAPTURE(run_f0, ac, 4)->Name("f0/ac_step_1h_48k")->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(ac_frames)->Name("f0/ac_frames_1h_48k")->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(fft_floor)->Name("f0/ref_two_ffts_4096_per_frame_1h")->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(run_f0, multi, 2)->Name("f0/ref_multi_step_1h_48k")->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
