// The measurement pass over one hour of one channel at 48 kHz (noise, the
// whole hour selected), with the A and C weighting shown and without it,
// beside the reference: a plain cascade of four second-order sections over
// the same samples, one sample at a time. Items are samples, so
// items_per_second compares directly; the ratio pass/reference is the
// figure to watch.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/measurements/measurementpass.h"
#include "engine/dsp/tfiltersection.h"
#include "benchsignals.h"

namespace {

using namespace tessal;

constexpr std::size_t rate = 48000, seconds = 3600, count = rate * seconds;

const std::vector<float>& hour_of_noise() {
    static const std::vector<float> samples = [] {
        std::vector<float> v(count);
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (auto& x : v) x = u(rng);
        return v;
    }();
    return samples;
}

void measurement_pass(benchmark::State& state, bool weighted) {
    tdocument doc;
    tchannel& ch = doc.create_channel(0);
    ch.sampfreq = rate;
    ch.set_fsd(1);
    ch.dbreference = 1;
    ch.set_samples(hour_of_noise());
    doc.selectmode = selall;
    doc.showmeasurement.fill(false);
    for (int i : {0, 1, 2, 3, 21, 26, 31}) doc.showmeasurement[i] = true;
    doc.showmeasurement[28] = doc.showmeasurement[29] = weighted;
    doc.theglobal.set_selection(0, static_cast<double>(seconds));
    tweightingfilters filters;
    for (auto _ : state) {
        run_measurement_pass(doc, filters, nullptr);
        benchmark::DoNotOptimize(ch.rmsA);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}

void biquad_cascade_reference(benchmark::State& state) {
    const std::vector<float>& in = hour_of_noise();
    std::array<TFilterSection, 4> sections = bench::formant_sections(rate);
    for (auto _ : state) {
        double acc = 0;
        for (std::size_t i = 0; i < count; ++i) {
            double y = in[i];
            for (auto& s : sections) y = s.filter(y);
            acc += y * y;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}

BENCHMARK_CAPTURE(measurement_pass, weighted, true)
    ->Name("measure/pass_AC_1h_48k")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(measurement_pass, plain, false)
    ->Name("measure/pass_plain_1h_48k")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(biquad_cascade_reference)
    ->Name("measure/reference_biquad4_1h_48k")->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
