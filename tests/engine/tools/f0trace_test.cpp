// "Trace from F0" in the engine: on synthetic vowels whose every cycle's F0
// is known (a glide, then a second vowel after a pause), the trace's lag
// is the true period to a sample or two, it has no band exactly where the
// vowels are silent, and the extraction along it gives the true F0 to 1 %;
// the strip's lag range as the tracker's F0 range, and a cancelled run.
#include "engine/tools/f0trace.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/process/synthvowel.h"
#include "engine/process/tworksig.h"
#include "engine/tools/correlogramchannels.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::make_vowel;
using tessal::testing::tvowel;
using tessal::testing::tvowelparams;

namespace {

constexpr double fs = 16000;

// Two vowels one after the other, each between 0.25 s of noise: a glide
// from 110 to 170 Hz, then a vibrato around 220 Hz.
struct tpair {
    tvowel a, b;
    tsinglearr x;
    double split = 0;  // where b starts, s
    double f0_at(double t) const { return t < split ? a.f0_at(t) : b.f0_at(t - split); }
    // Within 20 ms of a voicing edge, neither voiced nor silent.
    bool near_edge(double t) const {
        for (double e : {a.start.front(), a.start.back(), split + b.start.front(), split + b.start.back()})
            if (std::fabs(t - e) < 0.02) return true;
        return false;
    }
};

tpair vowels() {
    const std::vector<std::pair<double, double>> formants = {{700, 80}, {1200, 90}, {2600, 120}};
    tvowelparams p;
    p.name = "glide";
    p.fs = fs;
    p.voiced = 0.8;
    p.f0 = [](double t) { return 110 + 75 * t; };
    p.jitter = 0.002;
    p.snrdb = 35;
    p.formants = formants;
    tvowelparams q = p;
    q.name = "vibrato";
    q.voiced = 0.6;
    q.seed = 2;
    q.f0 = [](double t) { return 220 * (1 + 0.03 * std::sin(2 * std::numbers::pi * 5 * t)); };
    tpair r{make_vowel(p), make_vowel(q), {}, 0};
    r.split = r.a.x.size() / fs;
    r.x = r.a.x;
    r.x.insert(r.x.end(), r.b.x.begin(), r.b.x.end());
    return r;
}

tf0acsettings range(double lo, double hi) {
    tf0acsettings ac;
    ac.minf0 = lo;
    ac.maxf0 = hi;
    return ac;
}

}  // namespace

// The trace of a slice starting 0.1 s in (the times are the channel's),
// with the correlogram's default range of 50..1000 Hz.
TEST(F0Trace, LagsAreThePeriodsAndGapsTheSilences) {
    const tpair v = vowels();
    const std::size_t from = static_cast<std::size_t>(0.1 * fs);
    const tworksig x(tsinglearr(v.x.begin() + static_cast<long>(from), v.x.end()));
    std::vector<TTracePoint> trace;
    ASSERT_TRUE(trace_from_f0(x, fs, from / fs, range(50, 1000), 0.5, trace));
    ASSERT_FALSE(trace.empty());
    int points = 0, cuts = 0;
    double worst = 0;
    for (std::size_t i = 0; i < trace.size(); ++i) {
        const TTracePoint& p = trace[i];
        if (i > 0) {
            EXPECT_GT(p.t, trace[i - 1].t);
        }
        if (p.cut) {
            ++cuts;
            EXPECT_FALSE(i > 0 && trace[i - 1].cut) << "two cuts in a row at " << p.t;
            continue;
        }
        ++points;
        // A band of +-25 % around the frame's F0, as a point drawn there.
        const double f = (p.fmin + p.fmax) / 2;
        EXPECT_NEAR(p.fmax / p.fmin, 1.25 / 0.75, 1e-9);
        if (v.near_edge(p.t)) continue;
        const double truth = v.f0_at(p.t);
        ASSERT_GT(truth, 0) << "a point in silence at " << p.t;
        worst = std::max(worst, std::fabs(fs / f - fs / truth));
    }
    EXPECT_LE(worst, 1.5) << "samples of lag";
    // About one point per 10 ms of voicing; a cut before, between and after
    // the vowels.
    EXPECT_NEAR(points, 140, 8);
    EXPECT_EQ(cuts, 3);
    // The trace has a band wherever a vowel is voiced and none in the
    // silences, before and after the slice's frames too.
    for (double t = 0; t < v.x.size() / fs + 0.2; t += 0.005) {
        if (v.near_edge(t)) continue;
        double lo = 0, hi = 0;
        EXPECT_EQ(trace_band(trace, t, lo, hi), v.f0_at(t) > 0) << "at " << t << " s";
    }
}

// "Extract F0/T0" along the trace: within 1 % of the true F0 of the cycles
// its window covers, -1 in the silences.
TEST(F0Trace, ExtractionAlongTheTraceGivesTheTrueF0) {
    const tpair v = vowels();
    tdocument doc;
    tchannel& ch = doc.create_channel(0);
    ch.sampfreq = ch.orgsampfreq = fs;
    ch.set_name("v");
    ch.set_samples(tsinglearr(v.x));
    ch.set_fsd(1);
    std::vector<TTracePoint> trace;
    ASSERT_TRUE(trace_from_f0(tworksig(tsinglearr(v.x)), fs, 0, range(50, 1000), 0.5, trace));
    tessal::testing::tscriptedprompter prompter;
    tf0settings e;
    e.keeprate = false;
    e.skip = 80;  // 5 ms
    tf0targets targets;
    const tcorrelogramsettings s;  // 10 ms fixed window
    const tf0channels r = make_f0_channels(doc, 0, trace, s, e, targets, 1000, prompter);
    ASSERT_EQ(r.outcome, tf0channels::toutcome::done);
    const tsinglearr f0 = doc.channel(r.channels.at(0)).samples_array();
    int voiced = 0, silent = 0;
    double worst = 0;
    for (std::size_t k = 0; k < f0.size(); ++k) {
        const double t = k * 80 / fs;
        // The window reaches 10 ms plus a period past t: the truth at its
        // middle, away from the edges it would straddle.
        const double mid = t + 0.0085;
        if (v.near_edge(t) || v.near_edge(mid) || v.near_edge(t + 0.02)) continue;
        const double truth = v.f0_at(mid);
        if (truth > 0 && v.f0_at(t) > 0) {
            ++voiced;
            worst = std::max(worst, std::fabs(f0[k] - truth) / truth);
        } else if (truth == 0 && v.f0_at(t) == 0) {
            ++silent;
            EXPECT_EQ(f0[k], -1) << "at " << t << " s";
        }
    }
    EXPECT_GT(voiced, 240);
    EXPECT_GT(silent, 150);
    EXPECT_LT(worst, 0.01);
}

// A strip's lag range as F0: the ends of a frequency axis, the periods'
// frequencies on a time axis (a top standing in for lag 0), the top kept
// below half the rate, and ranges the tracker cannot take refused.
TEST(F0Trace, TheStripsLagRangeIsTheF0Range) {
    tcorrelogramsettings freq, time;
    time.fvertaxistype = 0;
    double lo = 0, hi = 0;
    std::string err;
    ASSERT_TRUE(correlogram_f0_range(freq, 50, 1000, 16000, lo, hi, err));
    EXPECT_EQ(lo, 50);
    EXPECT_EQ(hi, 1000);
    ASSERT_TRUE(correlogram_f0_range(time, 2.5, 10, 16000, lo, hi, err));
    EXPECT_DOUBLE_EQ(lo, 100);
    EXPECT_DOUBLE_EQ(hi, 400);
    ASSERT_TRUE(correlogram_f0_range(time, 0, 20, 16000, lo, hi, err));
    EXPECT_DOUBLE_EQ(lo, 50);
    EXPECT_DOUBLE_EQ(hi, 1000);
    ASSERT_TRUE(correlogram_f0_range(freq, 50, 10000, 8000, lo, hi, err));
    EXPECT_DOUBLE_EQ(hi, 3600);
    EXPECT_FALSE(correlogram_f0_range(freq, 0.2, 1000, 16000, lo, hi, err));
    EXPECT_NE(err.find("from 1 Hz up"), std::string::npos) << err;
    EXPECT_FALSE(correlogram_f0_range(freq, 5000, 9000, 8000, lo, hi, err));
    EXPECT_FALSE(correlogram_f0_range(time, 0, 0, 16000, lo, hi, err));
}

// Silence gives no trace; a progress that answers false stops the tracker
// and leaves the trace as it was.
TEST(F0Trace, SilenceGivesNoTraceAndCancellingKeepsTheOld) {
    std::vector<TTracePoint> trace = {{false, 0.5, 100, 200, 0}};
    const std::vector<TTracePoint> old = trace;
    const tworksig silence(tsinglearr(static_cast<std::size_t>(fs), 0.0f));
    ASSERT_TRUE(trace_from_f0(silence, fs, 0, range(50, 1000), 0.5, trace));
    EXPECT_TRUE(trace.empty());
    const tpair v = vowels();
    trace = old;
    int calls = 0;
    EXPECT_FALSE(trace_from_f0(tworksig(tsinglearr(v.x)), fs, 0, range(50, 1000), 0.5, trace, [&](double) {
        ++calls;
        return false;
    }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(trace, old);
}
