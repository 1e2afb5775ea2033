// Finding every glottal cycle without marking: the closure instants of an
// LF flow against the model's excitation instants (steady, varying and
// doubling F0, a pause, noise), and the measures of each found cycle
// against the model's NAQ and its closed phase computed from the model's
// flow itself.
#include "engine/tools/glottalcycles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "lfvowel.h"

namespace tessal {
namespace {

using testing::make_vowel;
using testing::tlfcycle;
using testing::tlfpulse;
using testing::tvowel;

tlfcycle cycle(double f0, double ta = 0.03) { return {1.0 / f0, 0.45, 0.6, ta, 0.7, 1.0}; }

std::vector<double> derivative(const std::vector<double>& x, double fs) {
    std::vector<double> d(x.size(), 0.0);
    for (std::size_t i = 1; i < x.size(); ++i) d[i] = (x[i] - x[i - 1]) * fs;
    return d;
}

// The model's excitation instants (the negative peak at te of each cycle)
// that lie inside the signal with room for the first difference.
std::vector<double> model_instants(const tvowel& v) {
    std::vector<double> t;
    const double end = static_cast<double>(v.flow.size() - 1) / v.fs;
    for (std::size_t c = 0; c < v.pulses.size(); ++c) {
        const double x = v.cyclestart[c] + v.pulses[c].te;
        if (x > 1.0 / v.fs && x < end) t.push_back(x);
    }
    return t;
}

// Every model instant is found within 1.5 samples and nothing else is.
void expect_instants(const tvowel& v, const std::vector<double>& flow, const char* what) {
    const std::vector<double> der = derivative(flow, v.fs);
    const std::vector<std::size_t> got = find_closures(der.data(), der.size(), v.fs);
    const std::vector<double> want = model_instants(v);
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR(static_cast<double>(got[k]) / v.fs, want[k], 1.5 / v.fs) << what << " instant " << k;
}

TEST(GlottalClosures, FoundAtTheModelsExcitationInstants) {
    for (double fs : {16000.0, 44100.0}) {
        for (double f0 : {90.0, 150.0, 220.0, 300.0}) {
            const tvowel v = make_vowel(fs, 0.4, {cycle(f0), cycle(f0 * 1.03), cycle(f0 * 0.97)}, {});
            expect_instants(v, v.flow, "steady");
        }
        // F0 gliding up an octave cycle by cycle, and a sudden octave jump.
        std::vector<tlfcycle> glide;
        for (int k = 0; k < 40; ++k) glide.push_back(cycle(100.0 * std::pow(2.0, k / 39.0)));
        const tvowel g = make_vowel(fs, 0.28, glide, {});
        expect_instants(g, g.flow, "glide");
        const tvowel j = make_vowel(fs, 0.2, {cycle(110), cycle(110), cycle(110), cycle(110), cycle(220),
                                              cycle(220), cycle(220), cycle(220)},
                                    {});
        expect_instants(j, j.flow, "octave jump");
    }
}

TEST(GlottalClosures, NoiseAndAPauseAddNoCycle) {
    const double fs = 16000;
    const tvowel v = make_vowel(fs, 0.5, {cycle(130), cycle(125)}, {});
    // A pause from one cycle start (the flow is at rest there) to another,
    // and noise whose first difference is 26 dB below the MDR (Ee = 1).
    const auto start_after = [&](double t) {
        return *std::find_if(v.cyclestart.begin(), v.cyclestart.end(), [&](double c) { return c >= t; });
    };
    const double q0 = start_after(0.2), q1 = start_after(0.35);
    std::vector<double> flow = v.flow;
    for (std::size_t i = 0; i < flow.size(); ++i)
        if (i / fs >= q0 && i / fs < q1) flow[i] = 0;
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.05 / (fs * std::sqrt(2.0)));
    for (double& x : flow) x += noise(rng);
    const std::vector<double> der = derivative(flow, fs);
    const std::vector<std::size_t> got = find_closures(der.data(), der.size(), fs);
    std::vector<double> want;
    for (double t : model_instants(v))
        if (t < q0 || t >= q1) want.push_back(t);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k] / fs, want[k], 1.5 / fs) << k;
    // No cycle spans the pause, and the first after it is not measured (its
    // previous period is the pause).
    const tcyclecount n = measure_cycles(flow, fs, 0, {}, [&](tglottalflow& g) {
        EXPECT_LT(g.t0, 0.0085) << "at " << g.starttime;
        EXPECT_FALSE(g.starttime > q1 && g.starttime < q1 + 0.009) << "at " << g.starttime;
    });
    EXPECT_EQ(n.found, static_cast<int>(want.size()) - 2);
    EXPECT_EQ(n.measured, n.found - 2);
}

// Where the model's flow rests (sampled every microsecond): within a tenth
// of its peak above zero and changing at most a tenth of Ee.
double model_closed_quotient(const tlfpulse& p, double Ee) {
    const double thr = 0.1 * p.peakflow();
    double closed = 0;
    for (double t = 0; t < p.T0; t += 1e-6)
        if (p.flow(t) <= thr && std::abs(p.der(t)) <= 0.1 * Ee) closed += 1e-6;
    return closed / p.T0;
}

TEST(GlottalCycles, EachCycleMeasuredAsTheModelSays) {
    for (double fs : {16000.0, 44100.0}) {
        for (double f0 : {100.0, 200.0}) {
            const tlfcycle c = cycle(f0, 0.05);
            const tvowel v = make_vowel(fs, 0.3, {c}, {});
            const tlfpulse& p = v.pulses[0];
            const double naq = p.peakflow() / (c.Ee * p.T0);
            const double cq = model_closed_quotient(p, c.Ee);
            int rows = 0;
            const tcyclecount n = measure_cycles(v.flow, fs, 1.5, {}, [&](tglottalflow& g) {
                ++rows;
                EXPECT_NEAR(g.t0, p.T0, 1.01 / fs);
                EXPECT_NEAR(g.naq, naq, 0.05 * naq) << fs << " Hz, F0 " << f0;
                ASSERT_TRUE(g.closedvalid);
                EXPECT_NEAR(g.cq, cq, 2.5 / (fs * p.T0)) << fs << " Hz, F0 " << f0;
                // The cycle starts at a model instant, in the time of the samples.
                const double k = (g.starttime - 1.5 - p.te) / p.T0;
                EXPECT_NEAR(k, std::round(k), 1.5 / (fs * p.T0));
            });
            // Every cycle after the first (which has no previous period) is measured.
            EXPECT_EQ(n.measured, rows);
            EXPECT_EQ(n.found, static_cast<int>(model_instants(v).size()) - 1);
            EXPECT_EQ(n.measured, n.found - 1);
        }
    }
}

TEST(GlottalCycles, NoClosedPhaseWhenTheFlowNeverRests) {
    // A raised-cosine flow rests (slope below a tenth of its steepest) for
    // about 3 % of the cycle around its minimum: no closed phase.
    const double fs = 16000, T = 0.008;
    std::vector<double> flow(static_cast<std::size_t>(0.3 * fs));
    for (std::size_t i = 0; i < flow.size(); ++i) flow[i] = 0.5 - 0.5 * std::cos(2 * M_PI * (i / fs) / T);
    const tcyclecount n = measure_cycles(flow, fs, 0, {}, [&](tglottalflow& g) {
        EXPECT_FALSE(g.closedvalid);
        EXPECT_EQ(g.cq, 0.0);
    });
    EXPECT_GT(n.measured, 30);
}

TEST(GlottalCycles, EmptyOrFlatInputFindsNothing) {
    EXPECT_TRUE(find_closures(nullptr, 0, 16000).empty());
    const std::vector<double> flat(1000, 0.5);
    EXPECT_TRUE(find_closures(flat.data(), flat.size(), 16000).empty());
    const tcyclecount n = measure_cycles(flat, 16000, 0, {}, [](tglottalflow&) { FAIL(); });
    EXPECT_EQ(n.found, 0);
    const std::vector<double> nan(1000, std::nan(""));
    EXPECT_TRUE(find_closures(nan.data(), nan.size(), 16000).empty());
}

}  // namespace
}  // namespace tessal
