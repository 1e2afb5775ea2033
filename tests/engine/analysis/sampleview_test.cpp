// The sample view the analyses read through: over a channel (through its
// read_samples) and over floats it reads the same samples, with zeros
// outside them, checked index by index against the definition; a frame that
// reaches past both ends of a short channel gives, bit for bit, the spectrum,
// spectrogram column, correlation and correlogram column of the same
// samples explicitly padded with zeros; and cutting the channel's pieces
// small changes no result of any analysis.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

#include "engine/analysis/correlation.h"
#include "engine/analysis/correlogram.h"
#include "engine/analysis/spectrogram.h"
#include "engine/analysis/spectrum.h"
#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"

using namespace tessal;

namespace {

std::vector<float> noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> g(0.0f, 0.2f);
    std::vector<float> x(n);
    for (float& v : x) v = g(rng);
    return x;
}

// A voiced-like signal: a 150 Hz pulse-rich wave plus a little noise.
std::vector<float> voiced(std::size_t n, double fs, unsigned seed) {
    std::vector<float> x = noise(n, seed);
    for (std::size_t i = 0; i < n; ++i) {
        const double ph = 2 * std::numbers::pi * 150 * static_cast<double>(i) / fs;
        x[i] = static_cast<float>(0.05 * x[i] + 0.5 * std::sin(ph) + 0.25 * std::sin(2 * ph) +
                                  0.125 * std::sin(3 * ph));
    }
    return x;
}

tchannel& make_channel(tdocument& doc, const std::vector<float>& x, double fs, long long xshift) {
    tchannel& ch = doc.create_channel(0);
    ch.set_samples(tsinglearr(x.begin(), x.end()));
    ch.sampfreq = fs;
    ch.xshift = xshift;
    return ch;
}

// Row frequencies lo, lo + step, ... up to hi.
std::vector<double> rows(double lo, double hi, double step) {
    std::vector<double> f;
    for (double v = lo; v <= hi; v += step) f.push_back(v);
    return f;
}

}  // namespace

TEST(SampleView, ReadsTheSamplesAndZerosOutsideThem) {
    const std::vector<float> x = noise(1000, 3);
    const long long xshift = 37;
    tdocument doc;
    tchannel& ch = make_channel(doc, x, 8000, xshift);
    ch.set_chunk_limit(7);
    const tsampleview overchannel = sample_view(ch);
    const tsampleview overfloats(x.data(), static_cast<long long>(x.size()), xshift, 8000);
    EXPECT_EQ(overchannel.size(), 1000);
    EXPECT_EQ(overchannel.xshift(), xshift);
    EXPECT_EQ(overchannel.fs(), 8000);
    auto truth = [&](long long n) {
        const long long i = n - xshift;
        return i >= 0 && i < 1000 ? x[static_cast<std::size_t>(i)] : 0.0f;
    };
    // Starts before, inside and past the samples; lengths that stay inside,
    // cross one end, cross both, or lie wholly outside.
    for (long long start : {-3000LL, -500LL, -1LL, 0LL, 36LL, 37LL, 38LL, 500LL, 1036LL, 1037LL, 5000LL})
        for (long long N : {1LL, 2LL, 7LL, 100LL, 1001LL, 1100LL, 4000LL}) {
            std::vector<float> a(static_cast<std::size_t>(N), -9.0f), b(a);
            overchannel.read(start, N, a.data());
            overfloats.read(start, N, b.data());
            for (long long k = 0; k < N; ++k) {
                ASSERT_EQ(a[static_cast<std::size_t>(k)], truth(start + k)) << start << " + " << k;
                ASSERT_EQ(b[static_cast<std::size_t>(k)], truth(start + k)) << start << " + " << k;
            }
        }
    // Nothing asked, nothing written.
    float guard = -9.0f;
    overchannel.read(10, 0, &guard);
    EXPECT_EQ(guard, -9.0f);
    // An empty channel reads zeros.
    tdocument empty;
    tchannel& none = make_channel(empty, {}, 8000, 0);
    std::vector<float> z(5, -9.0f);
    sample_view(none).read(-2, 5, z.data());
    EXPECT_EQ(z, std::vector<float>(5, 0.0f));
}

// A short channel, shorter than the frames: every frame below reaches past
// its first and its last sample. The same samples with zeros written out on
// both sides (and the shift moved back by the lead) are the truth.
TEST(SampleView, FramesPastBothEndsEqualAnExplicitlyPaddedArray) {
    const double fs = 8000;
    const std::vector<float> x = voiced(300, fs, 5);
    const long long xshift = 4000;
    const long long pad = 3000;
    std::vector<float> padded(static_cast<std::size_t>(pad), 0.0f);
    padded.insert(padded.end(), x.begin(), x.end());
    padded.resize(padded.size() + static_cast<std::size_t>(pad), 0.0f);
    const tsampleview truth(padded.data(), static_cast<long long>(padded.size()), xshift - pad, fs);
    for (std::size_t limit : {std::size_t{0}, std::size_t{7}}) {
        tdocument doc;
        tchannel& ch = make_channel(doc, x, fs, xshift);
        ch.set_chunk_limit(limit);
        const tsampleview v = sample_view(ch);
        const double mid = static_cast<double>(xshift + 150) / fs;

        // Spectrum frame (N = 1600 at 20 Hz Blackman) at every window position.
        tspectrumsettings s;
        s.bw = 20;
        ASSERT_GT(spectrum_frame_length(s, fs), 300 + 2 * 300);
        for (int winpos = 0; winpos < 3; ++winpos) {
            s.winpos = winpos;
            const double t = winpos == 0 ? static_cast<double>(xshift - 100) / fs
                             : winpos == 2 ? static_cast<double>(xshift + 400) / fs
                                           : mid;
            tspectrumworkspace a, b;
            tspectrum fa, fb;
            a.frame(v, s, t, fa);
            b.frame(truth, s, t, fb);
            ASSERT_FALSE(fa.empty());
            EXPECT_EQ(fa.mag, fb.mag) << "winpos " << winpos << ", limit " << limit;
        }
        // The LTAS over a span wider than the channel.
        s.winpos = 1;
        tspectrumworkspace a, b;
        tspectrum la, lb;
        ASSERT_TRUE(a.ltas(v, s, mid - 0.05, mid + 0.05, la));
        ASSERT_TRUE(b.ltas(truth, s, mid - 0.05, mid + 0.05, lb));
        EXPECT_EQ(la.frames, lb.frames);
        EXPECT_EQ(la.mag, lb.mag);

        // Spectrogram column (N = 1600 at 10 Hz Hanning).
        tspectrogramsettings g;
        g.bw = 10;
        ASSERT_GT(spectrogram_frame_length(g, fs), 900);
        const std::vector<double> r = rows(0, 4000, 62.5);
        std::vector<float> ca(r.size()), cb(r.size());
        tspectrogramworkspace wa, wb;
        wa.column(v, g, mid, r.data(), static_cast<int>(r.size()), ca.data());
        wb.column(truth, g, mid, r.data(), static_cast<int>(r.size()), cb.data());
        EXPECT_EQ(ca, cb);
        const std::vector<double> times{mid - 0.01, mid, mid + 0.01};
        const tcolumnsamples cola = copy_column_samples(v, g, times);
        const tcolumnsamples colb = copy_column_samples(truth, g, times);
        EXPECT_EQ(cola.starts, colb.starts);
        EXPECT_EQ(cola.data, colb.data);

        // Correlation from before the channel to past it.
        const double t0 = static_cast<double>(xshift - 200) / fs;
        EXPECT_EQ(correlation_at(v, 0.05, t0, 20), correlation_at(truth, 0.05, t0, 20));

        // Correlogram column (a 50 ms window from before the channel).
        tcorrelogramsettings c;
        c.ffixedcorrlength = 0.05;
        const double tc = static_cast<double>(xshift - 50) / fs;
        const std::vector<double> cr = rows(60, 400, 10);
        const long long largest = correlogram_largest_lag(c, 60, 400, fs);
        std::vector<float> ka(cr.size()), kb(cr.size()), buf;
        correlogram_column(v, c, largest, tc, cr, ka.data(), buf);
        correlogram_column(truth, c, largest, tc, cr, kb.data(), buf);
        EXPECT_EQ(ka, kb);
    }
}

// The channel's pieces cut at every 7th or 1000th sample (as a block store
// may cut them after edits) change no result: each analysis reads the same
// as over the floats themselves.
TEST(SampleView, SmallPiecesChangeNoResult) {
    const double fs = 16000;
    const std::vector<float> x = voiced(16000, fs, 9);
    const long long xshift = 123;
    const tsampleview overfloats(x.data(), static_cast<long long>(x.size()), xshift, fs);

    tspectrumsettings s;
    tspectrumworkspace ws;
    tspectrum ltas0, frame0;
    ASSERT_TRUE(ws.ltas(overfloats, s, 0, 1.2, ltas0));
    ws.frame(overfloats, s, 0.5, frame0);
    tspectrogramsettings g;
    const std::vector<double> r = rows(0, 8000, 80);
    std::vector<double> times;
    for (int k = 0; k < 50; ++k) times.push_back(0.02 * k);
    tspectrogramstrip strip0;
    ASSERT_TRUE(compute_spectrogram(overfloats, g, times, r, strip0));
    const std::vector<double> corr0 = correlation_at(overfloats, 0.05, 0.5, 20);
    tcorrelogramsettings c;
    std::vector<TTracePoint> trace;
    add_trace_point(trace, {false, 0.0, 100, 200, 0});
    add_trace_point(trace, {false, 1.0, 100, 200, 0});
    tf0settings e;
    e.skip = 160;
    e.keeprate = false;
    tf0extraction f00;
    ASSERT_TRUE(extract_f0(overfloats, c, trace, e, f00));
    ASSERT_EQ(f00.f0t0.size(), 100u);
    EXPECT_NEAR(f00.f0t0[50], 150, 1.5);  // the wave's own F0

    for (std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
        tdocument doc;
        tchannel& ch = make_channel(doc, x, fs, xshift);
        ch.set_chunk_limit(limit);
        const tsampleview v = sample_view(ch);
        tspectrum l, f;
        ASSERT_TRUE(ws.ltas(v, s, 0, 1.2, l));
        EXPECT_EQ(l.mag, ltas0.mag) << "limit " << limit;
        ws.frame(v, s, 0.5, f);
        EXPECT_EQ(f.mag, frame0.mag) << "limit " << limit;
        tspectrogramstrip strip;
        ASSERT_TRUE(compute_spectrogram(v, g, times, r, strip, 2));  // two threads read the channel
        EXPECT_EQ(strip.levels, strip0.levels) << "limit " << limit;
        tspectrogramstrip fromcopy;
        ASSERT_TRUE(compute_spectrogram(copy_column_samples(v, g, times), g, r, fromcopy));
        EXPECT_EQ(fromcopy.levels, strip0.levels) << "limit " << limit;
        EXPECT_EQ(correlation_at(v, 0.05, 0.5, 20), corr0) << "limit " << limit;
        tf0extraction f0;
        ASSERT_TRUE(extract_f0(v, c, trace, e, f0));
        EXPECT_EQ(f0.f0t0, f00.f0t0) << "limit " << limit;
        EXPECT_EQ(f0.correlation, f00.correlation) << "limit " << limit;
        // A copy of a span reads as the channel does.
        long long first = 0, last = 0;
        ltas_sample_range(s, fs, 0.1, 0.5, first, last);
        const tsamplecopy copy = copy_samples(ch, first, last);
        EXPECT_EQ(copy.xshift, first);
        tspectrum lc;
        ASSERT_TRUE(ws.ltas(copy.view(), s, 0.1, 0.5, lc));
        ASSERT_TRUE(ws.ltas(v, s, 0.1, 0.5, l));
        EXPECT_EQ(lc.mag, l.mag) << "limit " << limit;
    }
}
