// A plain cascade of four second-order sections, one sample at a time, over
// one hour of signal at 48 kHz (a one-second block of noise filtered 3600
// times, so memory stays small). Items are samples: items_per_second is the
// throughput later filter-heavy passes are compared against.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/dsp/tfiltersection.h"
#include "benchsignals.h"

namespace {

using tessal::TFilterSection;

void biquad_cascade_hour(benchmark::State& state) {
    constexpr std::size_t rate = 48000, seconds = 3600;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> block(rate), out(rate);
    for (auto& v : block) v = u(rng);

    std::array<TFilterSection, 4> sections = tessal::bench::formant_sections(rate);
    for (auto _ : state) {
        for (std::size_t sec = 0; sec < seconds; ++sec) {
            for (std::size_t i = 0; i < rate; ++i) {
                double y = block[i];
                for (auto& s : sections) y = s.filter(y);
                out[i] = static_cast<float>(y);
            }
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * rate * seconds));
}

BENCHMARK(biquad_cascade_hour)->Name("filter/biquad4_1h_48k")->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
