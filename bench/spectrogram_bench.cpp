// Spectrogram strips as the spectrogram window computes them: a 60 s
// channel at 44.1 kHz shown 1600 pixels wide and 400 high, Hanning frames
// of 1024 samples (bandwidth 86.13 Hz) centred on each column.
//
// spectrogram_strip/T: the whole strip from the copies of the columns'
// frames on T threads (what a worker does); items per second are columns
// (frames) per second.
//
// fftw_strip/T: the same frames through FFTW real-input plans
// (FFTW_MEASURE, one per thread), windowed, turned into dB and mapped to the
// same rows in the same way: the reference pipeline.
//
// spectrogram_redraw: a full redraw of the one-minute view as the window
// does it: the frames copied, the strip computed on two threads, and its
// picture built.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "engine/analysis/spectrogram.h"

namespace {

using namespace tessal;

constexpr double fs = 44100;
constexpr int width = 1600, height = 400;
constexpr long long N = 1024;

struct tsetup {
    std::vector<float> sig;
    tspectrogramsettings s{2 * fs / N, TFFTWindow::Hanning};
    std::vector<double> times, rows;
    tsetup() {
        sig.resize(static_cast<std::size_t>(60 * fs));
        std::mt19937 rng(3);
        std::normal_distribution<float> g(0.0f, 0.1f);
        for (float& v : sig) v = g(rng);
        for (int x = 0; x < width; ++x) times.push_back(60.0 * x / (width - 1));
        for (int y = 0; y < height; ++y) rows.push_back(10000.0 * y / (height - 1));
    }
    tsampleview view() const { return {sig.data(), static_cast<long long>(sig.size()), 0, fs}; }
};

const tsetup& setup() {
    static const tsetup s;
    return s;
}

void spectrogram_strip(benchmark::State& state) {
    const tsetup& su = setup();
    const int threads = static_cast<int>(state.range(0));
    const tcolumnsamples cols = copy_column_samples(su.view(), su.s, su.times);
    if (cols.N != N) state.SkipWithError("frame length is not 1024");
    tspectrogramstrip strip;
    for (auto _ : state) {
        compute_spectrogram(cols, su.s, su.rows, strip, threads);
        benchmark::DoNotOptimize(strip.levels.data());
    }
    state.SetItemsProcessed(state.iterations() * width);
}
BENCHMARK(spectrogram_strip)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void fftw_strip(benchmark::State& state) {
    const tsetup& su = setup();
    const int threads = static_cast<int>(state.range(0));
    const tcolumnsamples cols = copy_column_samples(su.view(), su.s, su.times);
    std::vector<double> win(N);
    double wsum = 0;
    for (long long i = 0; i < N; ++i) {
        win[static_cast<std::size_t>(i)] = 0.5 * (1 - std::cos(2 * std::numbers::pi * i / (N - 1)));
        wsum += win[static_cast<std::size_t>(i)];
    }
    struct tplan {
        double* in;
        fftw_complex* out;
        fftw_plan plan;
        std::vector<double> db;
    };
    std::vector<tplan> plans(static_cast<std::size_t>(threads));
    for (tplan& p : plans) {
        p.in = fftw_alloc_real(N);
        p.out = fftw_alloc_complex(N / 2 + 1);
        p.plan = fftw_plan_dft_r2c_1d(static_cast<int>(N), p.in, p.out, FFTW_MEASURE);
        p.db.resize(N / 2 + 1);
    }
    std::vector<float> levels(static_cast<std::size_t>(width) * height);
    for (auto _ : state) {
        std::atomic<int> next{0};
        auto work = [&](tplan& p) {
            for (;;) {
                const int g = next.fetch_add(1);
                if (g * 10 >= width) return;
                for (int x = g * 10; x < std::min(width, g * 10 + 10); ++x) {
                    const float* d = cols.data.data() + static_cast<std::size_t>(x) * N;
                    double mean = 0;
                    for (long long i = 0; i < N; ++i) mean += d[i];
                    mean /= N;
                    for (long long i = 0; i < N; ++i)
                        p.in[i] = (d[i] - mean) * std::numbers::sqrt2 * win[static_cast<std::size_t>(i)];
                    fftw_execute(p.plan);
                    for (long long k = 0; k <= N / 2; ++k) {
                        const double a2 = (p.out[k][0] * p.out[k][0] + p.out[k][1] * p.out[k][1]) / (wsum * wsum);
                        p.db[static_cast<std::size_t>(k)] = a2 > 0 ? 10 * std::log10(a2) : -3250;
                    }
                    float* out = levels.data() + static_cast<std::size_t>(x) * height;
                    long long kprev = 0;
                    for (int y = 0; y < height; ++y) {
                        const double P = su.rows[static_cast<std::size_t>(y)] / fs * N;
                        const long long k = std::min(static_cast<long long>(P), N / 2 - 1);
                        double level;
                        if (k - kprev < 2) {
                            level = p.db[k] + (P - k) * (p.db[k + 1] - p.db[k]);
                        } else {
                            level = -100000;
                            for (long long j = kprev; j <= k; ++j) level = std::max(level, p.db[j]);
                        }
                        out[y] = static_cast<float>(level);
                        kprev = k;
                    }
                }
            }
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) pool.emplace_back(work, std::ref(plans[static_cast<std::size_t>(t)]));
        work(plans[0]);
        for (std::thread& t : pool) t.join();
        benchmark::DoNotOptimize(levels.data());
    }
    for (tplan& p : plans) {
        fftw_destroy_plan(p.plan);
        fftw_free(p.in);
        fftw_free(p.out);
    }
    state.SetItemsProcessed(state.iterations() * width);
}
BENCHMARK(fftw_strip)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void spectrogram_redraw(benchmark::State& state) {
    const tsetup& su = setup();
    tspectrogramstrip strip;
    std::vector<std::uint32_t> pixels;
    tspegpicture p;
    for (auto _ : state) {
        const tcolumnsamples cols = copy_column_samples(su.view(), su.s, su.times);
        compute_spectrogram(cols, su.s, su.rows, strip, 2);
        spectrogram_picture(strip, su.rows, p, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(spectrogram_redraw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
