// Drawing the signal view. waveform_columns/S: the pixel columns of a
// 1-hour 48 kHz channel in 1920 columns over a visible span of S seconds,
// by the mode the view would choose (raw samples at 1 and 10 s, the
// min/max cache with its coarser levels from 60 s up). waveform_scan/S: the
// same columns by scanning every sample, the reference. view_paint/S: a
// full repaint (every waveform layer rebuilt, then all overlays) of an
// 8-channel 1-hour 48 kHz document in a 1920x1080 main window on the
// offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "engine/core/tdocument.h"
#include "engine/view/viewrange.h"
#include "engine/view/waveformcolumns.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/view/signalpanel.h"

namespace {

using namespace tessal;

constexpr double sf = 48000;
constexpr double hour = 3600;
constexpr int ncols = 1920;

// A slowly modulated tone with noise, cheap to make for 172.8 M samples.
void fill(tchannel& ch, unsigned seed) {
    ch.sampfreq = sf;
    tsinglearr x(static_cast<std::size_t>(hour * sf));
    double c = 1, s = 0;
    const double w = 2 * M_PI * 180 / sf, cw = std::cos(w), sw = std::sin(w);
    for (std::size_t k = 0; k < x.size(); ++k) {
        double nc = c * cw - s * sw;
        s = c * sw + s * cw;
        c = nc;
        if ((k & 4095) == 0) {  // keep the oscillator on the unit circle
            double r = std::hypot(c, s);
            c /= r;
            s /= r;
        }
        seed = seed * 1664525u + 1013904223u;
        double env = 0.3 + 0.2 * std::sin(k * (2 * M_PI / (sf * 7)));
        x[k] = static_cast<float>(env * s + 0.05 * ((seed >> 8) / double(1 << 24) - 0.5));
    }
    ch.set_samples(std::move(x));
    ch.set_fsd(1);
    ch.sigcachedirty = true;
    ch.fix_sigcache();
}

struct tonechannel {
    tchannel ch{nullptr, 0};
    tminmaxpyramid pyramid;
    tonechannel() {
        fill(ch, 1);
        pyramid.build(ch.sigcache);
    }
};

tonechannel& onechannel() {
    static tonechannel c;
    return c;
}

tcolumnmap span_map(double span) {
    double lo = (hour - span) / 2;
    return {lo, span / (ncols - 1), ncols};
}

void waveform_columns(benchmark::State& state) {
    tonechannel& c = onechannel();
    const double span = static_cast<double>(state.range(0));
    const tcolumnmap map = span_map(span);
    const tdrawmode mode = choose_drawmode(span, sf, ncols, true, false);
    // Raw mode copies the samples in view (and one on either side) out of
    // the channel as the drawing does; that copy is timed with the columns.
    const long long n = c.ch.sample_count();
    const long long a = std::clamp<long long>(static_cast<long long>(std::floor(map.time(0) * sf)) - 1, 0, n);
    const long long b =
        std::clamp<long long>(static_cast<long long>(std::ceil(map.time(ncols - 1) * sf)) + 2, a, n);
    for (auto _ : state) {
        std::vector<twavecolumn> cols;
        if (mode == tdrawmode::cache) {
            cols = cache_columns(c.ch.sigcache, 0, sf, map, &c.pyramid);
        } else {
            const tsinglearr v = c.ch.samples_array(a, b);
            cols = raw_columns(v.data(), v.size(), a, sf, map, false, 0, 0);
        }
        benchmark::DoNotOptimize(cols.data());
    }
    state.SetLabel(mode == tdrawmode::cache ? "cache" : "raw");
}

// Every sample of every column, no cache.
void waveform_scan(benchmark::State& state) {
    tonechannel& c = onechannel();
    const tcolumnmap map = span_map(static_cast<double>(state.range(0)));
    const long long n = c.ch.sample_count();
    for (auto _ : state) {
        std::vector<twavecolumn> cols(ncols);
        long long b = std::llround(map.time(0) * sf);
        for (int x = 1; x < ncols; ++x) {
            long long e = std::llround(map.time(x) * sf);
            float lo = c.ch.sample(b), hi = lo;
            c.ch.for_each_chunk(b, std::min(e + 1, n), [&](const float* s, std::size_t m, std::int64_t) {
                for (std::size_t i = 0; i < m; ++i) {
                    lo = std::min(lo, s[i]);
                    hi = std::max(hi, s[i]);
                }
            });
            cols[x] = {lo, hi, true};
            b = e;
        }
        benchmark::DoNotOptimize(cols.data());
    }
}

struct tpaintfixture {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<TMainWindow> w;
    tpaintfixture() {
        static int argc = 1;
        static char name[] = "tessal-bench";
        static char* argv[] = {name, nullptr};
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (!QApplication::instance()) app = std::make_unique<QApplication>(argc, argv);
        w = std::make_unique<TMainWindow>();
        w->first_activation({});
        tdocument& doc = w->document();
        doc.set_totnchans(8);
        // One channel is generated; the others copy its samples.
        fill(doc.channel(0), 1);
        for (int i = 1; i < 8; ++i) {
            tchannel& ch = doc.channel(i);
            ch.sampfreq = sf;
            ch.adopt_samples(doc.channel(0).samples_slice(0, doc.channel(0).sample_count()));
            ch.set_fsd(1);
            ch.sigcachedirty = true;
        }
        fix_xaxis(doc, true);
        w->resize(1920, 1080);
        w->show();
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        w->repaint();  // first paint builds the caches and their coarser levels
    }
};

tpaintfixture& paintfixture() {
    static tpaintfixture f;
    return f;
}

void view_paint(benchmark::State& state) {
    tpaintfixture& f = paintfixture();
    tdocument& doc = f.w->document();
    const double span = static_cast<double>(state.range(0));
    doc.xaxis.set_hilovalues((hour + span) / 2, (hour - span) / 2);
    doc.theglobal.set_selection(hour / 2 - span / 10, hour / 2 + span / 10);
    doc.channel(0).add_label(hour / 2, span / 20, "label", "manual");
    f.w->repaint();
    for (auto _ : state) {
        doc.theglobal.invalidate_paintboxes(true);
        f.w->repaint();
    }
    state.SetLabel(std::to_string(f.w->signalpanel()->width()) + " px panel");
    doc.channel(0).labels.clear();
}

}  // namespace

BENCHMARK(waveform_columns)->Arg(1)->Arg(10)->Arg(60)->Arg(600)->Arg(3600)->Unit(benchmark::kMillisecond);
BENCHMARK(waveform_scan)->Arg(1)->Arg(10)->Arg(60)->Arg(600)->Arg(3600)->Unit(benchmark::kMillisecond);
BENCHMARK(view_paint)->Arg(1)->Arg(10)->Arg(60)->Arg(600)->Arg(3600)->Unit(benchmark::kMillisecond);
