// Correlogram columns, traces and F0 extraction against analytic signals:
// rows of a 100 Hz sine's column read r = 1 at the period's row and r = -1
// above the largest lag; the trace band interpolates and stops at cuts; a
// trace file written and read back is identical (and writes the same bytes
// again), a damaged one gives a message; the extracted F0 of a synthetic
// vowel whose F0 glides from 120 to 180 Hz follows the true F0 within 1 %;
// the strip's picture from its colour table against a colour per pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <fstream>
#include <numbers>
#include <sstream>

#include "engine/analysis/correlogram.h"
#include "engine/analysis/spectrogram.h"
#include "support/tempdirtest.h"

using namespace tessal;

namespace {

tsampleview view_of(const std::vector<float>& x, double fs) {
    return {x.data(), static_cast<long long>(x.size()), 0, fs};
}

std::string slurp(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

TEST(Correlogram, ColumnRowsAndLargestLag) {
    const double fs = 44100;
    std::vector<float> x(44100);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(std::sin(2 * std::numbers::pi * 100 * n / fs));
    tcorrelogramsettings s;  // 10 ms fixed, frequency axis
    // Frequency axis from 50 Hz: lags up to 883 samples.
    EXPECT_EQ(correlogram_largest_lag(s, 50, 1000, fs), 883);
    std::vector<double> rows = {100, 200, 40};  // 441 samples, 220.5, above the largest lag
    std::vector<float> out(3), buf;
    correlogram_column(view_of(x, fs), s, 883, 0.2, rows, out.data(), buf);
    EXPECT_NEAR(out[0], 1, 1e-5);
    EXPECT_NEAR(out[1], -1, 1e-3);  // half a period (220.5 rounds to 220 or 221)
    EXPECT_EQ(out[2], -1);
    // Proportional mode, factor 1: the window equals the lag.
    s.fwinlengthmode = 1;
    correlogram_column(view_of(x, fs), s, 883, 0.2, rows, out.data(), buf);
    EXPECT_NEAR(out[0], 1, 1e-5);
    // Time axis in ms.
    s = {};
    s.fvertaxistype = 0;
    EXPECT_EQ(correlogram_row_lag(s, 10, fs), 441);
    EXPECT_EQ(correlogram_largest_lag(s, 0, 20, fs), 883);
}

TEST(Correlogram, TraceBandsAndCuts) {
    std::vector<TTracePoint> p;
    add_trace_point(p, {false, 1.0, 150, 250, 0});
    add_trace_point(p, {false, 0.0, 75, 125, 0});
    add_trace_point(p, {true, 2.0, 1, 1, 0});
    add_trace_point(p, {false, 3.0, 90, 110, 0});
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].t, 0.0);
    double lo = 0, hi = 0;
    ASSERT_TRUE(trace_band(p, 0.5, lo, hi));
    EXPECT_DOUBLE_EQ(lo, 112.5);
    EXPECT_DOUBLE_EQ(hi, 187.5);
    ASSERT_TRUE(trace_band(p, -1, lo, hi));
    EXPECT_EQ(lo, 75);
    EXPECT_FALSE(trace_band(p, 1.5, lo, hi));  // next point is a cut
    EXPECT_EQ(lo, -1);
    EXPECT_FALSE(trace_band(p, 2.5, lo, hi));
    ASSERT_TRUE(trace_band(p, 9, lo, hi));
    EXPECT_EQ(hi, 110);
    EXPECT_FALSE(trace_band({}, 0, lo, hi));
}

TEST(Correlogram, TraceEditsPickMoveAndCut) {
    // A strip 1000 px for 0..1 s; 100 px per 100 Hz, upwards.
    const auto tx = [](double t) { return t * 1000; };
    const auto fy = [](double f) { return 1000 - f; };
    std::vector<TTracePoint> p;
    add_trace_point(p, trace_point_at(0.2, 200, 0.5));  // band 150..250
    add_trace_point(p, trace_point_at(0.6, 100, 0.5));  // band 75..125
    EXPECT_EQ(p[0].fmin, 150);
    EXPECT_EQ(p[0].fmax, 250);
    int found = -1;
    EXPECT_EQ(hit_trace_point(p, tx, fy, 203, 752, 5, found), 0);  // 2 px beside fmax
    EXPECT_EQ(found, 2);
    EXPECT_EQ(hit_trace_point(p, tx, fy, 598, 925, 5, found), 1);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(hit_trace_point(p, tx, fy, 400, 800, 5, found), -1);  // between points
    EXPECT_EQ(hit_trace_point(p, tx, fy, 200, 800, 5, found), -1);  // the centre, no limit

    // Dragging fmax below fmin takes fmin along; moving past the next point
    // reorders the list and the point keeps being the one dragged.
    int i = move_trace_point(p, 0, 2, 0.3, 120);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(p[0].t, 0.3);
    EXPECT_EQ(p[0].fmax, 120);
    EXPECT_EQ(p[0].fmin, 120);
    i = move_trace_point(p, i, 1, 0.8, 90);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(p[0].t, 0.6);
    EXPECT_EQ(p[1].t, 0.8);
    EXPECT_EQ(p[1].fmin, 90);
    EXPECT_EQ(p[1].fmax, 120);

    cut_trace(p, 0.7);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_TRUE(p[1].cut);
    EXPECT_EQ(p[1].fmin, 1);
    double lo = 0, hi = 0;
    EXPECT_FALSE(trace_band(p, 0.65, lo, hi));
    EXPECT_EQ(hit_trace_point(p, tx, fy, 702, 0, 5, found), 1);  // a cut is hit by its time
    EXPECT_EQ(found, 0);

    EXPECT_DOUBLE_EQ(trace_frequency(0, 5), 200);  // 5 ms
    EXPECT_EQ(trace_frequency(1, 180), 180);
    EXPECT_EQ(trace_frequency(0, 0), 0);
}

class TraceFiles : public tessal::testing::ttempdirtest {};

TEST_F(TraceFiles, RoundTripAndDamage) {
    std::vector<TTracePoint> p;
    add_trace_point(p, {false, 0.12345, 90.125, 150.5, 0});
    add_trace_point(p, {true, 0.5, 1, 1, 0});
    add_trace_point(p, {false, 0.75, 100, 200.25, 0});
    const std::string a = path("a.ctr"), b = path("b.ctr");
    std::string err;
    ASSERT_TRUE(write_trace_file(a, p, "1.0", "/data/x.smp", 1, err)) << err;
    std::vector<TTracePoint> q;
    ASSERT_TRUE(read_trace_file(a, q, err)) << err;
    EXPECT_EQ(q, p);
    ASSERT_TRUE(write_trace_file(b, q, "1.0", "/data/x.smp", 1, err));
    EXPECT_EQ(slurp(a), slurp(b));
    EXPECT_NE(slurp(a).find("Time=0.12345"), std::string::npos);
    EXPECT_NE(slurp(a).find("Pointkind=3"), std::string::npos);
    // Without "Cut" a point kind of 3 makes a cut point.
    {
        std::ofstream f(b);
        f << "[Common]\nnPoints=1\n[Point0]\nTime=0.5\nMax=200\nMin=100\nPointkind=3\n";
    }
    ASSERT_TRUE(read_trace_file(b, q, err));
    ASSERT_EQ(q.size(), 1u);
    EXPECT_TRUE(q[0].cut);
    // Damaged files: a message, and the points kept as they were.
    const std::vector<TTracePoint> before = q;
    for (const char* text : {"hello\n", "[Common]\nnPoints=-4\n", "[Common]\nnPoints=3\n[Point0]\nTime=1\n"}) {
        std::ofstream(b) << text;
        err.clear();
        EXPECT_FALSE(read_trace_file(b, q, err)) << text;
        EXPECT_FALSE(err.empty());
        EXPECT_EQ(q, before);
    }
    EXPECT_FALSE(read_trace_file(path("none.ctr"), q, err));
}

// A time or frequency that is there but is no finite number is damage: the
// file is refused naming the point and the key, instead of the point being
// put at 0 s or 0 Hz. A key that is missing still reads as 0.
TEST_F(TraceFiles, ANumberThatIsNoNumberIsRefusedNamingThePoint) {
    const std::vector<TTracePoint> before = {{false, 0.25, 90, 150, 0}};
    for (const char* key : {"Time", "Max", "Min"}) {
        for (const char* v : {"nan", "-nan", "inf", "-inf", "1e999", "abc"}) {
            SCOPED_TRACE(std::string(key) + "=" + v);
            std::string text = "[Common]\nnPoints=2\n[Point0]\nTime=0.1\nMax=200\nMin=100\n"
                               "[Point1]\nTime=0.2\nMax=210\nMin=110\n";
            const std::string from = std::string("\n") + key + "=";
            const std::size_t at = text.find(from, text.find("[Point1]")) + from.size();
            text.replace(at, text.find('\n', at) - at, v);
            std::ofstream(path("bad.ctr")) << text;
            std::vector<TTracePoint> q = before;
            std::string err;
            EXPECT_FALSE(read_trace_file(path("bad.ctr"), q, err));
            EXPECT_NE(err.find(std::string("\"") + key + "\" of point 1"), std::string::npos) << err;
            EXPECT_EQ(q, before);
        }
    }
    std::ofstream(path("short.ctr")) << "[Common]\nnPoints=1\n[Point0]\nTime=0.3\nMax=200\n";
    std::vector<TTracePoint> q;
    std::string err;
    ASSERT_TRUE(read_trace_file(path("short.ctr"), q, err)) << err;
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].fmin, 0);
}

TEST(Correlogram, ExtractedF0FollowsAGlide) {
    const double fs = 16000, T = 1.0, f0 = 120, f1 = 180;
    std::vector<float> x(static_cast<std::size_t>(fs * T));
    // A vowel-like sound: 20 harmonics falling 6 dB per octave with a
    // formant-like lift near 700 Hz, on the instantaneous phase of the glide.
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = n / fs;
        const double phase = 2 * std::numbers::pi * (f0 * t + (f1 - f0) / (2 * T) * t * t);
        const double f = f0 + (f1 - f0) / T * t;
        double v = 0;
        for (int k = 1; k <= 20; ++k) {
            const double lift = 1 + 2 * std::exp(-std::pow((k * f - 700) / 200, 2));
            v += lift / k * std::sin(k * phase);
        }
        x[n] = static_cast<float>(0.1 * v);
    }
    std::vector<TTracePoint> trace;
    add_trace_point(trace, {false, 0.0, 90, 150, 0});   // 120 Hz +-25 %
    add_trace_point(trace, {false, 1.0, 135, 225, 0});  // 180 Hz +-25 %
    tcorrelogramsettings s;  // 10 ms, frequency axis: F0 in Hz
    tf0settings e;
    e.skip = 160;
    e.keeprate = false;
    tf0extraction out;
    ASSERT_TRUE(extract_f0(view_of(x, fs), s, trace, e, out));
    ASSERT_EQ(out.f0t0.size(), 100u);
    const double N = 0.010 * fs;
    for (std::size_t o = 0; o + 3 < out.f0t0.size(); ++o) {
        const double t = o * 160 / fs;
        // The period measured lies in the middle of the analysed stretch.
        const double tm = t + (N + fs / out.f0t0[o]) / 2 / fs;
        const double truth = f0 + (f1 - f0) / T * tm;
        EXPECT_NEAR(out.f0t0[o], truth, 0.01 * truth) << "at " << t << " s";
        EXPECT_GT(out.correlation[o], 0.9);
        EXPECT_GT(out.width[o], 0);
    }
    // A time axis gives T0 in seconds.
    s.fvertaxistype = 0;
    tf0extraction t0;
    ASSERT_TRUE(extract_f0(view_of(x, fs), s, trace, e, t0));
    EXPECT_NEAR(t0.f0t0[10] * out.f0t0[10], 1, 1e-12);
    // Thresholds: silence after 0.5 s is unvoiced (-1), correlation kept.
    for (std::size_t n = 8000; n < x.size(); ++n) x[n] = 0;
    e.thresholds = true;
    s.fvertaxistype = 1;
    ASSERT_TRUE(extract_f0(view_of(x, fs), s, trace, e, out));
    EXPECT_GT(out.f0t0[20], 100);
    EXPECT_EQ(out.f0t0[80], -1);
    EXPECT_EQ(out.width[80], -1);
    EXPECT_EQ(out.correlation[80], 0);
    // Progress is told in rising fractions below 1, and a false answer stops the run.
    e.keeprate = true;
    std::vector<double> told;
    ASSERT_TRUE(extract_f0(view_of(x, fs), s, trace, e, out, nullptr, [&](double f) {
        told.push_back(f);
        return true;
    }));
    ASSERT_GT(told.size(), 2u);
    for (std::size_t k = 1; k < told.size(); ++k) EXPECT_GT(told[k], told[k - 1]);
    EXPECT_GE(told.front(), 0.0);
    EXPECT_LT(told.back(), 1.0);
    int calls = 0;
    EXPECT_FALSE(extract_f0(view_of(x, fs), s, trace, e, out, nullptr, [&](double) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

// The picture's colours come from a table over the level axis; they match
// the colour of each level raised to the gamma one pixel at a time (the
// table's step moves no colour byte by more than 2), in every colour mode,
// for levels under, inside and over the axis, NaN and the -1 of rows past
// the largest lag; the top row of the picture is the strip's highest row.
TEST(Correlogram, PictureMatchesTheColourOfEachLevelRaisedToTheGamma) {
    tspectrogramstrip strip;
    strip.width = 61;
    strip.height = 7;
    strip.levels.resize(static_cast<std::size_t>(strip.width * strip.height));
    for (int x = 0; x < strip.width; ++x)
        for (int y = 0; y < strip.height; ++y)
            strip.levels[static_cast<std::size_t>(x * strip.height + y)] =
                static_cast<float>(-1.2 + 2.4 * (x * strip.height + y) / (strip.width * strip.height - 1.0));
    strip.levels[5] = std::numeric_limits<float>::quiet_NaN();
    const TColor channel = 0x2080C0;
    auto byte_gap = [](std::uint32_t a, std::uint32_t b) {
        int most = 0;
        for (int shift : {0, 8, 16, 24})
            most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
        return most;
    };
    for (int mode = 0; mode <= 4; ++mode)
        for (double gamma : {0.5, 1.0, 4.0})
            for (auto [lo, hi] : {std::pair{0.0, 1.0}, std::pair{-1.0, 1.0}, std::pair{0.3, 0.3}}) {
                std::vector<std::uint32_t> px;
                correlogram_picture(strip, lo, hi, gamma, mode, channel, px);
                ASSERT_EQ(px.size(), strip.levels.size());
                int worst = 0;
                for (int x = 0; x < strip.width; ++x)
                    for (int y = 0; y < strip.height; ++y) {
                        const double v = hi != lo ? (strip.at(x, y) - lo) / (hi - lo) : 0;
                        const double g = (v < 0 ? -1 : 1) * std::pow(std::fabs(v), gamma);
                        const std::uint32_t want = spectrogram_color(mode, g, channel);
                        const std::uint32_t got =
                            px[static_cast<std::size_t>((strip.height - 1 - y) * strip.width + x)];
                        worst = std::max(worst, byte_gap(want, got));
                    }
                EXPECT_LE(worst, 2) << "mode " << mode << " gamma " << gamma << " axis " << lo << ".." << hi;
            }
    // NaN and the levels under the axis are the weakest colour, those over
    // it the strongest.
    std::vector<std::uint32_t> px;
    correlogram_picture(strip, 0, 1, 4, 1, channel, px);
    EXPECT_EQ(px[static_cast<std::size_t>((strip.height - 1 - 5) * strip.width)], spectrogram_color(1, 0, channel));
    EXPECT_EQ(px[static_cast<std::size_t>((strip.height - 1) * strip.width)], spectrogram_color(1, 0, channel));
    EXPECT_EQ(px[static_cast<std::size_t>(strip.width - 1)], spectrogram_color(1, 1, channel));
}
