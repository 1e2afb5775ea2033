// The xy-plot over an hour of two channels (flow-like and pressure-like
// signals, 10 kHz each, 36 million sample pairs) into an 800 x 600 plot.
//
// xyplot_hour/lines, xyplot_hour/points: the window's way, one pass over
// the samples into the pixel grid (xy_raster), then drawn by the pixel.
//
// qpainter_hour/lines, qpainter_hour/points: the reference, the plain way
// of drawing an xy-plot: every sample pair mapped by the axes and drawn with
// QPainter into a QImage, a line to each point whose pixel differs from the
// previous one, or a 2 x 2 square on each point.
//
// Items per second are sample pairs.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <numbers>
#include <random>

#include "engine/analysis/xyplot.h"
#include "engine/core/taxis.h"
#include "engine/core/tchannel.h"

namespace {

using namespace tessal;

constexpr int plotw = 800, ploth = 600;
constexpr double rate = 10000;
constexpr long long hour = static_cast<long long>(3600 * rate);

struct txysetup {
    tchannel flow{nullptr, 0}, pressure{nullptr, 1};
    TAxis xaxis, yaxis;
    txysetup() {
        flow.sampfreq = pressure.sampfreq = rate;
        tsinglearr f(static_cast<std::size_t>(hour)), pr(static_cast<std::size_t>(hour));
        std::mt19937 rng(5);
        std::normal_distribution<float> noise(0.0f, 0.002f);
        for (long long i = 0; i < hour; ++i) {
            // A voice-like 5 Hz syllable rhythm whose size drifts slowly.
            const double t = static_cast<double>(i) / rate;
            const double a = 1 + 0.3 * std::sin(2 * std::numbers::pi * 0.013 * t);
            const double ph = 2 * std::numbers::pi * 5 * t;
            pr[static_cast<std::size_t>(i)] = static_cast<float>(a * (0.5 + 0.4 * std::sin(ph))) + noise(rng);
            f[static_cast<std::size_t>(i)] = static_cast<float>(0.8 * a * std::sin(ph - 0.6)) + noise(rng);
        }
        pressure.set_samples(std::move(pr));
        flow.set_samples(std::move(f));
        xaxis.SetPosition(taxisposition::posunder);
        yaxis.SetPosition(taxisposition::posleft);
        xaxis.SetWidth(plotw);
        xaxis.SetHeight(20);
        yaxis.SetWidth(40);
        yaxis.SetHeight(ploth);
        xaxis.set_hilovalues(1.2, -1.2);
        yaxis.set_hilovalues(1.2, -0.2);
    }
};

const txysetup& xysetup() {
    static const txysetup s;
    return s;
}

void xyplot_hour(benchmark::State& state) {
    const txysetup& su = xysetup();
    const bool lines = state.range(0) == 0;
    const txyrange r = xy_range(su.pressure, su.flow, txyspan::entire, 0, 0, 0, 0);
    QImage img(plotw, ploth, QImage::Format_RGB32);
    for (auto _ : state) {
        const std::vector<std::uint8_t> grid =
            xy_raster(su.pressure, su.flow, r, su.xaxis, su.yaxis, plotw, ploth, lines);
        img.fill(Qt::white);
        for (int y = 0; y < ploth; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            const std::uint8_t* g = grid.data() + static_cast<std::size_t>(y) * plotw;
            for (int x = 0; x < plotw; ++x)
                if (g[x]) row[x] = 0xFF000000u;
        }
        benchmark::DoNotOptimize(img.bits());
    }
    state.SetItemsProcessed(state.iterations() * (r.last - r.first + 1));
}
BENCHMARK(xyplot_hour)->Arg(0)->Arg(1)->ArgName("points")->Unit(benchmark::kMillisecond)->UseRealTime();

void qpainter_hour(benchmark::State& state) {
    const txysetup& su = xysetup();
    const bool lines = state.range(0) == 0;
    const txyrange r = xy_range(su.pressure, su.flow, txyspan::entire, 0, 0, 0, 0);
    QImage img(plotw, ploth, QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setPen(Qt::black);
        p.setBrush(Qt::black);
        int px = -1, py = -1;
        for (long long i = r.first; i <= r.last; ++i) {
            const int x = su.xaxis.value_to_pixel(su.pressure.sample(i));
            const int y = su.yaxis.value_to_pixel(su.flow.sample(i));
            if (lines) {
                if (x == px && y == py) continue;
                if (px >= 0) p.drawLine(px, py, x, y);
            } else {
                p.fillRect(x - 1, y - 1, 2, 2, Qt::black);
            }
            px = x;
            py = y;
        }
        p.end();
        benchmark::DoNotOptimize(img.bits());
    }
    state.SetItemsProcessed(state.iterations() * (r.last - r.first + 1));
}
BENCHMARK(qpainter_hour)->Arg(0)->Arg(1)->ArgName("points")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
