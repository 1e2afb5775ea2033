// The F0, level and resampling steps over one hour of 48 kHz, each run
// through the step as a process runs it. Items are input samples, so
// items_per_second / 48000 is the real-time factor on one core. The signal
// is speech-like: 1.2 s of a voiced sound (a pulse train gliding between
// 100 and 200 Hz through two formant resonators) then 0.3 s of silence,
// over and over. Compare with filter/biquad4_1h_48k (four second-order
// sections over an hour) measured in the same run. Beside the resampler,
// sox's rate effect (very high quality) on one minute of the same signal,
// timed as a whole process including reading and writing raw files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/process/f0step.h"
#include "engine/process/levelstep.h"
#include "engine/process/procregistry.h"
#include "engine/process/resamplestep.h"

namespace {

using namespace tessal;

constexpr std::size_t rate = 48000, hour = 3600;

const tsinglearr& speechlike(std::size_t seconds) {
    static tsinglearr x;
    if (x.size() < seconds * rate) {
        const double pi = std::numbers::pi;
        x.assign(seconds * rate, 0.0f);
        double phase = 0, y1 = 0, y2 = 0, z1 = 0, z2 = 0;
        const double r1 = std::exp(-pi * 80.0 / rate), c1 = 2 * r1 * std::cos(2 * pi * 700.0 / rate);
        const double r2 = std::exp(-pi * 120.0 / rate), c2 = 2 * r2 * std::cos(2 * pi * 1200.0 / rate);
        for (std::size_t j = 0; j < x.size(); ++j) {
            const double t = std::fmod(static_cast<double>(j) / rate, 1.5);
            double e = 0;
            if (t < 1.2) {
                const double f = 150 + 50 * std::sin(2 * pi * t / 1.2);
                phase += f / rate;
                if (phase >= 1) phase -= 1, e = 1;
            }
            const double a = e + c1 * y1 - r1 * r1 * y2;
            y2 = y1, y1 = a;
            const double b = a + c2 * z1 - r2 * r2 * z2;
            z2 = z1, z1 = b;
            x[j] = static_cast<float>(b);
        }
        float peak = 0;
        for (float v : x) peak = std::max(peak, std::fabs(v));
        for (float& v : x) v *= 0.5f / peak;
    }
    return x;
}

void run(benchmark::State& state, tprocstep& step, std::size_t seconds) {
    tdocument doc;
    tfixedprompter prompter(tanswer::ok);
    tprocenv env(doc, prompter);
    const tsinglearr& x = speechlike(seconds);
    for (auto _ : state) {
        state.PauseTiming();
        step.inarr.assign(1, tsinglearr(x.begin(), x.begin() + seconds * rate));
        step.props.assign(1, default_channelproperties(rate));
        state.ResumeTiming();
        step.run_process(env);
        benchmark::DoNotOptimize(step.outarr[0].data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * seconds * rate));
}

void f0_hour(benchmark::State& state) {
    tf0 s;
    s.algorithm = static_cast<int>(state.range(0));
    run(state, s, hour);
}
BENCHMARK(f0_hour)->Name("steps/f0_1h_48k")->ArgName("algorithm")->Arg(0)->Arg(1)->Arg(2)
    ->Unit(benchmark::kMillisecond)->Iterations(1);

void level_hour(benchmark::State& state) {
    textractlevel s;
    // 0: RMS level, 1: A-weighted fast sound level, 2: moving RMS 10 ms,
    // 3: C-weighted impulse sound level.
    const int k = static_cast<int>(state.range(0));
    s.extractmode = k == 1 ? 3 : k == 3 ? 4 : 1;
    s.weighting = k == 1 ? 1 : k == 3 ? 3 : 0;
    s.detectmode = k == 2 ? 2 : 0;
    run(state, s, hour);
}
BENCHMARK(level_hour)->Name("steps/level_1h_48k")->ArgName("mode")->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)->Iterations(1);

void resample_hour(benchmark::State& state) {
    tresample s(44100);
    s.method = static_cast<int>(state.range(0));
    run(state, s, state.range(1));
}
// 48 kHz to 44.1 kHz by each method over one minute, the sinc over an hour.
BENCHMARK(resample_hour)->Name("steps/resample_to44k1_48k")->ArgNames({"method", "seconds"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {60}})->Args({2, 3600})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

// sox rate -v, 48 kHz to 44.1 kHz, one minute of the same signal.
void sox_rate(benchmark::State& state) {
    if (std::system("sox --version >/dev/null 2>&1") != 0) {
        state.SkipWithError("sox is not installed");
        return;
    }
    const std::string a = "/tmp/tessal_bench_sox_in.raw", b = "/tmp/tessal_bench_sox_out.raw";
    const tsinglearr& x = speechlike(60);
    std::ofstream(a, std::ios::binary).write(reinterpret_cast<const char*>(x.data()), 60 * rate * 4);
    const std::string raw = " -t raw -e floating-point -b 32 -c 1 ";
    const std::string cmd = "sox" + raw + "-r 48000 " + a + raw + "-r 44100 " + b + " rate -v";
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("sox failed");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::remove(a.c_str());
    std::remove(b.c_str());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 60 * rate));
}
BENCHMARK(sox_rate)->Name("steps/sox_rate_v_to44k1_1min_48k")->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
