// Spectra as the spectrum window computes them.
//
// spectrum_frame/N: the cursor moved, so one frame of each of N shown
// channels (44.1 kHz, Blackman, 50 Hz: 3528 samples in a 4096-point FFT)
// is computed again through the per-channel frame slots. The budget it is
// read against is one display frame at 60 Hz, 16.7 ms.
//
// spectrum_drag/N: the same as the window sees it: the time cursor moves,
// the window's plot repaints (N frames computed, N curves drawn on the grid)
// on the offscreen platform.
//
// ltas/3600 beside fftw_ltas/3600: the long-term average spectrum of an
// hour at 44.1 kHz (90000 frames with 50 % overlap), ours through TFFT and
// the same frames, window and averaging through an FFTW real-input plan
// (FFTW_MEASURE) as the reference.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "engine/analysis/spectrum.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/fftwindows.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/settings/tmainsettings.h"
#include "gui/spectrum/tspectrumwindow.h"
#include "gui/widgets/tplotpanel.h"

#include <QApplication>
#include <cstdlib>
#include <memory>

namespace {

using namespace tessal;

constexpr double fs = 44100;

template <class Samples>
void fill_noise(Samples& x, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, 0.1f);
    for (float& v : x) v = g(rng);
}

// n channels of a minute of noise, each from its own seed.
void noise_channels(tdocument& doc, int n) {
    doc.set_totnchans(n);
    for (int c = 0; c < n; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = fs;
        tsinglearr x(static_cast<std::size_t>(60 * fs));
        fill_noise(x, 7 + c);
        ch.set_samples(std::move(x));
    }
}

void spectrum_frame(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    tdocument doc;
    noise_channels(doc, n);
    tspectrumframes frames(doc.theglobal);
    const tspectrumsettings s;  // Blackman, 50 Hz
    double t = 1.0;
    for (auto _ : state) {
        t += 0.001;  // the cursor moves by a pixel's worth
        if (t > 59) t = 1.0;
        for (int c = 0; c < n; ++c) benchmark::DoNotOptimize(frames.frame(doc.channel(c), c, s, t).mag.data());
    }
}
BENCHMARK(spectrum_frame)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

void spectrum_drag(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "tessal-bench";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static std::unique_ptr<QApplication> app;
    if (!QApplication::instance()) app = std::make_unique<QApplication>(argc, argv);
    const int n = static_cast<int>(state.range(0));
    tmainsettings::set_writes_allowed(false);  // the user's settings stay as they are
    auto w = std::make_unique<TMainWindow>();
    w->first_activation({});
    tdocument& doc = w->document();
    noise_channels(doc, n);
    for (int c = 0; c < n; ++c) doc.channel(c).showspectrum = true;
    doc.theglobal.channels_changed();
    w->windows().show("spectrum");
    auto* win = dynamic_cast<tspectrumwindow*>(w->windows().window("spectrum"));
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QWidget* canvas = win->plot()->canvas();
    double t = 1.0;
    for (auto _ : state) {
        t += 0.001;
        if (t > 59) t = 1.0;
        doc.theglobal.set_timecursor(t);
        canvas->repaint();
    }
    state.SetLabel(std::to_string(canvas->width()) + "x" + std::to_string(canvas->height()) + " px plot");
}
BENCHMARK(spectrum_drag)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

const std::vector<float>& hour() {
    static const std::vector<float> x = [] {
        std::vector<float> v(static_cast<std::size_t>(3600 * fs));
        fill_noise(v, 11);
        return v;
    }();
    return x;
}

void ltas(benchmark::State& state) {
    const auto& x = hour();
    const tsampleview v{x.data(), static_cast<long long>(x.size()), 0, fs};
    tspectrumworkspace ws;
    tspectrum out;
    for (auto _ : state) {
        ws.ltas(v, tspectrumsettings{}, 0, static_cast<double>(state.range(0)), out);
        benchmark::DoNotOptimize(out.mag.data());
    }
    state.counters["frames"] = static_cast<double>(out.frames);
}
BENCHMARK(ltas)->Arg(3600)->Unit(benchmark::kMillisecond)->Iterations(2);

void fftw_ltas(benchmark::State& state) {
    const auto& x = hour();
    const long long N = 3528, M = 4096, hop = N / 2;
    std::vector<double> win(static_cast<std::size_t>(N));
    for (long long i = 0; i < N; ++i)
        win[static_cast<std::size_t>(i)] = fft_window_value(TFFTWindow::Blackman, static_cast<std::size_t>(i), N);
    double* in = fftw_alloc_real(static_cast<std::size_t>(M));
    fftw_complex* out = fftw_alloc_complex(static_cast<std::size_t>(M / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(M), in, out, FFTW_MEASURE);
    std::vector<double> acc(static_cast<std::size_t>(M / 2 + 1));
    const long long p2 = static_cast<long long>(state.range(0) * fs);
    long long frames = 0;
    for (auto _ : state) {
        std::fill(acc.begin(), acc.end(), 0.0);
        frames = 0;
        for (long long p = 0; p < p2; p += hop, ++frames) {
            const long long start = p - N / 2;
            double mean = 0;
            for (long long i = 0; i < N; ++i) {
                const long long j = start + i;
                in[i] = j >= 0 && j < static_cast<long long>(x.size()) ? x[static_cast<std::size_t>(j)] * std::numbers::sqrt2 : 0;
                mean += in[i];
            }
            mean /= static_cast<double>(N);
            double wmean = 0;
            for (long long i = 0; i < N; ++i) {
                in[i] = (in[i] - mean) * win[static_cast<std::size_t>(i)];
                wmean += in[i];
            }
            wmean /= static_cast<double>(M);
            for (long long i = 0; i < M; ++i) in[i] = (i < N ? in[i] : 0.0) - wmean;
            fftw_execute(plan);
            for (long long k = 0; k <= M / 2; ++k)
                acc[static_cast<std::size_t>(k)] += (out[k][0] * out[k][0] + out[k][1] * out[k][1]) / double(N * N);
        }
        for (double& a : acc) a = std::sqrt(a / static_cast<double>(frames));
        benchmark::DoNotOptimize(acc.data());
    }
    state.counters["frames"] = static_cast<double>(frames);
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}
BENCHMARK(fftw_ltas)->Arg(3600)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
