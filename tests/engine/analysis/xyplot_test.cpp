// xy-plot: the span rules (rates, shifts, each "What to plot"), the pixel
// grid of a channel against itself (the diagonal), a circle from sine and
// cosine, and lines that join points far apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/analysis/xyplot.h"
#include "engine/core/taxis.h"
#include "engine/core/tchannel.h"

using namespace tessal;

namespace {

void fill(tchannel& ch, double fs, int n, double (*f)(int)) {
    ch.sampfreq = fs;
    tsinglearr x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(f(i));
    ch.set_samples(std::move(x));
}

void axes(TAxis& x, TAxis& y, int w, int h) {
    x.SetPosition(taxisposition::posunder);
    y.SetPosition(taxisposition::posleft);
    x.SetWidth(w);
    x.SetHeight(20);
    y.SetWidth(40);
    y.SetHeight(h);
    x.set_hilovalues(1, -1);
    y.set_hilovalues(1, -1);
}

}  // namespace

TEST(XyPlot, SpanRules) {
    tchannel a(nullptr, 0), b(nullptr, 1);
    fill(a, 100, 100, [](int i) { return i / 100.0; });
    fill(b, 100, 100, [](int i) { return -i / 100.0; });
    auto r = xy_range(a, b, txyspan::selection, 0.1, 0.2, 0, 0);
    EXPECT_EQ(r.first, 10);
    EXPECT_EQ(r.last, 20);
    r = xy_range(a, b, txyspan::window, 0, 0, -1, 0.5);
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, 50);
    b.xshift = 30;
    r = xy_range(a, b, txyspan::entire, 0, 0, 0, 0);
    EXPECT_EQ(r.first, 30);
    EXPECT_EQ(r.last, 99);
    EXPECT_TRUE(xy_range(a, b, txyspan::selection, 2, 3, 0, 0).empty());
    b.sampfreq = 200;
    EXPECT_TRUE(xy_range(a, b, txyspan::entire, 0, 0, 0, 0).empty());
}

TEST(XyPlot, RasterOfDiagonalCircleAndJumps) {
    const int W = 101, H = 101;
    TAxis xa, ya;
    axes(xa, ya, W, H);
    tchannel a(nullptr, 0);
    fill(a, 1000, 5000, [](int i) { return std::sin(i * 0.01) * 0.9; });
    auto px = xy_raster(a, a, xy_range(a, a, txyspan::entire, 0, 0, 0, 0), xa, ya, W, H, true);
    int off = 0, on = 0;
    for (int v = 0; v < H; ++v)
        for (int u = 0; u < W; ++u)
            if (px[v * W + u]) {
                ++on;
                off += std::abs(u - (W - 1 - v)) > 1;  // up and to the right
            }
    EXPECT_GT(on, 80);
    EXPECT_EQ(off, 0);

    // A circle of radius 0.8: every drawn pixel lies near it.
    tchannel s(nullptr, 0), c(nullptr, 1);
    fill(s, 1000, 7000, [](int i) { return 0.8 * std::sin(i * 0.001); });
    fill(c, 1000, 7000, [](int i) { return 0.8 * std::cos(i * 0.001); });
    for (bool lines : {true, false}) {
        px = xy_raster(c, s, xy_range(c, s, txyspan::entire, 0, 0, 0, 0), xa, ya, W, H, lines);
        int far = 0, n = 0;
        for (int v = 0; v < H; ++v)
            for (int u = 0; u < W; ++u)
                if (px[v * W + u]) {
                    ++n;
                    const double r = std::hypot(u - 50.0, v - 50.0);
                    far += std::abs(r - 40) > 2.5;
                }
        EXPECT_GT(n, 200);
        EXPECT_EQ(far, 0) << lines;
    }

    // Two points at opposite corners: lines join them, points do not.
    tchannel p(nullptr, 0), q(nullptr, 1);
    fill(p, 10, 2, [](int i) { return i ? 5.0 : -5.0; });  // clamped to the edges
    fill(q, 10, 2, [](int i) { return i ? 5.0 : -5.0; });
    const auto r = xy_range(p, q, txyspan::entire, 0, 0, 0, 0);
    px = xy_raster(p, q, r, xa, ya, W, H, true);
    EXPECT_EQ(px[50 * W + 50], 1);
    EXPECT_EQ(px[100 * W + 0], 1);
    EXPECT_EQ(px[0 * W + 100], 1);
    px = xy_raster(p, q, r, xa, ya, W, H, false);
    EXPECT_EQ(px[50 * W + 50], 0);
    EXPECT_EQ(px[100 * W + 0], 1);
}

// Drawn a slice at a time (as the window does for long spans), the grid is
// the one drawn at once: lines continue across the slices, points too, and
// a slice never draws past the span. The span is longer than the buffers the
// samples are read in, so lines also continue across those.
TEST(XyPlot, SlicesDrawTheSameGridAsOnePass) {
    const int W = 97, H = 83;
    TAxis xa, ya;
    axes(xa, ya, W, H);
    tchannel s(nullptr, 0), c(nullptr, 1);
    fill(s, 1000, 150000, [](int i) { return 0.95 * std::sin(i * 0.0137) * std::cos(i * 0.0011); });
    fill(c, 1000, 150000, [](int i) { return 1.3 * std::cos(i * 0.0071); });  // beyond the axis: clamped
    const txyrange r{1234, 149000};
    for (bool lines : {true, false}) {
        const auto whole = xy_raster(s, c, r, xa, ya, W, H, lines);
        for (long long slice : {1LL, 7LL, 1000LL, 17767LL, 100000LL}) {
            txyrasterizer g;
            g.begin(r, W, H, lines);
            int steps = 0;
            while (!g.step(s, c, xa, ya, slice)) {
                ++steps;
                ASSERT_GT(g.fraction(), 0.0);
                ASSERT_LT(g.fraction(), 1.0);
            }
            EXPECT_EQ(steps, (r.last - r.first + 1 + slice - 1) / slice - 1) << slice;
            EXPECT_DOUBLE_EQ(g.fraction(), 1.0);
            EXPECT_EQ(g.pixels(), whole) << "lines " << lines << ", slice " << slice;
        }
    }
    // Nothing to draw: done at once, an empty grid.
    txyrasterizer g;
    g.begin(txyrange{}, W, H, true);
    EXPECT_TRUE(g.done());
    EXPECT_TRUE(g.step(s, c, xa, ya, 10));
    EXPECT_EQ(g.pixels(), std::vector<std::uint8_t>(W * H, 0));
}

// ------------------------------------------------ computed by a worker

#include "engine/analysis/spectrum.h"

// A worker's grid, from slices of the channels' stores and copies of the
// axes, equals the grid drawn from the channels with the axes themselves.
TEST(XyRasterJob, SlicesAndAxisCopiesGiveTheSameGrid) {
    tchannel x(nullptr, 0), y(nullptr, 1);
    fill(x, 1000, 5000, [](int i) { return std::sin(i * 0.0123); });
    fill(y, 1000, 5000, [](int i) { return 0.5 * std::cos(i * 0.0271); });
    x.xshift = 30;
    y.xshift = 70;
    TAxis xa, ya;
    axes(xa, ya, 160, 120);
    ya.set_hilovalues(0.7, -0.9);
    const txyrange r = xy_range(x, y, txyspan::selection, 0.05, 4.8, 0, 0);
    ASSERT_FALSE(r.empty());
    const auto expect = xy_raster(x, y, r, xa, ya, 160, 120, true);
    TAxis xc, yc;
    copy_axis_mapping(xa, xc);
    copy_axis_mapping(ya, yc);
    for (double v : {-1.0, -0.3, 0.0, 0.42, 1.0}) {
        EXPECT_EQ(xc.value_to_pixel(v), xa.value_to_pixel(v));
        EXPECT_EQ(yc.value_to_pixel(v), ya.value_to_pixel(v));
    }
    const tsamplecopy xs = copy_samples(x, r.first, r.last + 1);
    const tsamplecopy ys = copy_samples(y, r.first, r.last + 1);
    txyrasterizer g;
    g.begin(r, 160, 120, true);
    int steps = 0;
    while (!g.step(xs.view(), ys.view(), xc, yc, 333)) ++steps;
    EXPECT_GT(steps, 5);
    EXPECT_EQ(g.pixels(), expect);
    // A logarithmic, reversed axis is copied as such.
    xa.set_hilovalues(1, 0.01);
    xa.SetLogarithmic(true);
    TAxis xl;
    copy_axis_mapping(xa, xl);
    EXPECT_TRUE(xl.GetLogarithmic());
    EXPECT_EQ(xl.value_to_pixel(0.1), xa.value_to_pixel(0.1));
}

namespace {

// Pearson's r the textbook way: means first, then the sums of products of
// deviations, all in long double.
double two_pass_r(const std::vector<float>& x, const std::vector<float>& y) {
    long double mx = 0, my = 0;
    for (std::size_t i = 0; i < x.size(); ++i) mx += x[i], my += y[i];
    mx /= x.size();
    my /= y.size();
    long double sxx = 0, syy = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
        sxy += (x[i] - mx) * (y[i] - my);
    }
    return static_cast<double>(sxy / std::sqrt(sxx * syy));
}

}  // namespace

// Spans of several read blocks, far from zero: the block-wise merge of the
// sums agrees with the two-pass r, and the extremes are the samples'.
TEST(XySummary, BlocksAgreeWithTwoPassR) {
    const std::size_t n = 200001;  // three blocks and a bit
    std::vector<float> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = static_cast<float>(1000 + std::sin(0.001 * static_cast<double>(i)));
        // Partly x, partly an unrelated wave: r well inside (-1, 1).
        y[i] = static_cast<float>(-500 + 0.5 * std::sin(0.001 * static_cast<double>(i)) +
                                  std::cos(0.0173 * static_cast<double>(i)));
    }
    const tsampleview xv(x.data(), static_cast<long long>(n), 0, 1000);
    const tsampleview yv(y.data(), static_cast<long long>(n), 0, 1000);
    const txysummary s = xy_summary(xv, yv, {0, static_cast<long long>(n) - 1});
    EXPECT_EQ(s.pairs, static_cast<long long>(n));
    const double want = two_pass_r(x, y);
    EXPECT_GT(want, 0.2);
    EXPECT_LT(want, 0.8);
    EXPECT_NEAR(s.r, want, 1e-9);
    EXPECT_EQ(s.xmin, *std::min_element(x.begin(), x.end()));
    EXPECT_EQ(s.ymax, *std::max_element(y.begin(), y.end()));
    // An exact line through the blocks: r = 1 (or -1 falling).
    std::vector<float> z(n);
    for (std::size_t i = 0; i < n; ++i) z[i] = -2 * x[i];
    EXPECT_NEAR(xy_summary(xv, tsampleview(z.data(), static_cast<long long>(n), 0, 1000),
                           {0, static_cast<long long>(n) - 1})
                    .r,
                -1, 1e-9);
    // A part of the span, and an empty one.
    const txysummary p = xy_summary(xv, yv, {70000, 70009});
    EXPECT_EQ(p.pairs, 10);
    EXPECT_EQ(p.xmin, *std::min_element(x.begin() + 70000, x.begin() + 70010));
    EXPECT_EQ(xy_summary(xv, yv, {}).pairs, 0);
    // A constant channel has no r.
    std::vector<float> c(n, 3.0f);
    EXPECT_EQ(xy_summary(tsampleview(c.data(), static_cast<long long>(n), 0, 1000), yv,
                         {0, static_cast<long long>(n) - 1})
                  .r,
              0);
}
