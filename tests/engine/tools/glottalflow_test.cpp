// Glottal-flow parameters: per-cycle NAQ, AQ and OQ of LF-model pulses,
// snapping onto the MDR peaks of a 16-bit vowel from rough drags, periods
// that are not one cycle, SQ only where it means something, the selection
// error, hand-set extremes, SQ of a triangle, and the result lines and log
// row.
#include "engine/tools/glottalflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "lfvowel.h"

namespace tessal {
namespace {

using testing::make_vowel;
using testing::tlfcycle;
using testing::tvowel;

// At 96 kHz: the MDR is read from the first difference, and the sample
// that straddles the excitation instant averages in some of the return phase
// (which recovers by dt/ta, 5 to 10 % per sample at 44.1 kHz for these
// pulses), so at 44.1 kHz the steepest pulse's NAQ comes out 2.1 % high.
TEST(GlottalFlowTruth, PerCycleMeasuresOfLFPulses) {
    const double fs = 96000;
    const std::vector<tlfcycle> cycles = {{0.0085, 0.45, 0.60, 0.020, 0.70, 1.0},
                                          {0.0081, 0.40, 0.55, 0.030, 0.68, 1.2},
                                          {0.0089, 0.48, 0.62, 0.015, 0.72, 0.9},
                                          {0.0083, 0.42, 0.58, 0.025, 0.75, 1.1},
                                          {0.0095, 0.50, 0.66, 0.010, 0.74, 0.8}};
    const tvowel v = make_vowel(fs, 0.6, cycles, {});
    const double at = 0.2;
    const long long base = std::llround(at * fs);
    tglottalflow g;
    g.cursortime = at;
    g.load_samples(fs, [&](int i) { return v.flow[static_cast<std::size_t>(base + i)]; });

    std::printf("cycle  NAQ model  NAQ meas  AQ model [ms]  AQ meas  OQ model  OQ meas\n");
    int measured = 0;
    for (std::size_t k = 0; k + 1 < v.pulses.size(); ++k) {
        const double te0 = v.cyclestart[k] + v.pulses[k].te - at;
        const double te1 = v.cyclestart[k + 1] + v.pulses[k + 1].te - at;
        const double prevstart = v.cyclestart[k] - at;
        if (prevstart < 0.001 || te1 > (glottal_seglen - 20) / fs) continue;
        // Dragged from just after one minimum to just before the next.
        g.mark_period(te0 + 3 / fs, te1 - 3 / fs);
        ASSERT_FALSE(g.selectionerror);
        // Closed phase: closure of this cycle to the next opening.
        g.mark_closed(v.cyclestart[k] + v.pulses[k].tc - at, v.cyclestart[k + 1] - at);
        const double period = te1 - te0;
        const double up = v.pulses[k].peakflow();
        const double ee = cycles[k % cycles.size()].Ee;
        const double naq = up / (ee * period), aq = up / ee;
        const double oq = 1 - (v.cyclestart[k + 1] - (v.cyclestart[k] + v.pulses[k].tc)) / period;
        std::printf("%5zu  %9.4f  %8.4f  %13.4f  %7.4f  %8.4f  %7.4f\n", k, naq, g.naq, aq * 1000,
                    g.aq * 1000, oq, 1 - g.cq);
        EXPECT_NEAR(g.t0, period, 1.0 / fs);
        EXPECT_NEAR(g.naq, naq, 0.02 * naq);
        EXPECT_NEAR(g.aq, aq, 0.02 * aq);
        EXPECT_NEAR(1 - g.cq, oq, 0.05 * oq);
        EXPECT_NEAR(g.loflow, 0.0, 1e-6 * up);
        ++measured;
    }
    EXPECT_GE(measured, 10);
}

// A vowel at F0 120 Hz from LF pulses (NAQ 0.102, CQ 0.44) stored as 16-bit
// samples at 44.1 kHz, as a WAVE file holds it: the quantization steps make
// the derivative rough, with small local minima everywhere.
struct tquantizedvowel {
    const double fs = 44100;
    const tlfcycle cycle{1 / 120.0, 0.31, 0.47, 0.010, 0.56, 1.0};
    tvowel v = make_vowel(fs, 0.5, {cycle}, {});
    // Peak flow at 5 % of full scale: about 1600 steps, so the derivative
    // on the flank before a peak has flat pairs of samples.
    double scale = 0.05 / v.pulses[0].peakflow();
    tglottalflow load(double at) const {
        tglottalflow g;
        g.cursortime = at;
        const long long base = std::llround(at * fs);
        g.load_samples(fs, [&](int i) {
            const std::size_t k = static_cast<std::size_t>(base + i);
            return k < v.flow.size() ? std::round(v.flow[k] * scale * 32768) / 32768 : 0.0;
        });
        return g;
    }
    // MDR instant of cycle k, s from `at`.
    double te(std::size_t k, double at) const { return v.cyclestart[k] + v.pulses[k].te - at; }
    double naq() const { return v.pulses[0].peakflow() / (cycle.Ee * cycle.T0); }
};

TEST(GlottalFlowTruth, RoughDragsOnA16BitVowelSnapOntoTheMDRPeaks) {
    const tquantizedvowel q;
    ASSERT_NEAR(q.naq(), 0.102, 0.0005);
    const double at = 0.1;
    tglottalflow g = q.load(at);
    const double mdr = q.cycle.Ee * q.scale;
    for (std::size_t k : {13u, 14u, 20u}) {
        const double te0 = q.te(k, at), te1 = q.te(k + 1, at);
        for (double off : {-0.0004, 0.0, 0.0004, 0.0025}) {
            g.mark_period(te0 + off, te1 + off);
            SCOPED_TRACE(::testing::Message() << "cycle " << k << ", drag off by " << off * 1000 << " ms");
            ASSERT_TRUE(g.period_ok());
            EXPECT_LE(std::abs(g.periodstartpos - te0 * q.fs), 1.0);
            EXPECT_LE(std::abs(g.periodendpos - te1 * q.fs), 1.0);
            EXPECT_NEAR(g.t0, q.cycle.T0, 1.5 / q.fs);
            EXPECT_NEAR(g.mdr, mdr, 0.03 * mdr);
            EXPECT_NEAR(g.naq, q.naq(), 0.03 * q.naq());
            EXPECT_FALSE(g.selectionerror);
        }
    }
    // Any 8.5 ms span snaps onto the peaks that bound it, wherever it starts.
    g.mark_period(0.005, 0.0135);
    ASSERT_TRUE(g.period_ok());
    EXPECT_NEAR(g.mdr, mdr, 0.03 * mdr);
    EXPECT_NEAR(g.naq, q.naq(), 0.03 * q.naq());
}

TEST(GlottalFlowMarks, PeriodsThatAreNotOneCycleAreRefused) {
    const tquantizedvowel q;
    const double at = 0.1;
    tglottalflow g = q.load(at);
    tpreferences p;
    const double te0 = q.te(14, at), te1 = q.te(15, at), te2 = q.te(16, at);

    g.mark_period(te0, te0);  // a click
    EXPECT_FALSE(g.period_ok());
    EXPECT_EQ(g.periodstate, tperiodstate::click);
    EXPECT_EQ(g.line1(p), "Keep the button down and drag to the next MDR peak to mark a period");
    EXPECT_EQ(g.line2(p), "");
    EXPECT_EQ(g.line3(p), "");
    EXPECT_EQ(g.t0, 0.0);
    EXPECT_EQ(g.naq, 0.0);

    g.mark_period(te0 - 0.0004, te2 - 0.0004);  // two cycles
    EXPECT_EQ(g.periodstate, tperiodstate::severalcycles);
    EXPECT_EQ(g.line1(p), "More than one cycle between the marks: drag in the lower panel from one MDR peak to the next");
    EXPECT_EQ(g.period_problem(), "more than one cycle between the marks");
    EXPECT_EQ(g.line2(p), "");

    // 2 ms inside the closed phase: no peak to snap onto.
    const double closed = q.v.cyclestart[15] - at - 0.0025;
    g.mark_period(closed, closed + 0.002);
    EXPECT_EQ(g.periodstate, tperiodstate::nocycle);
    EXPECT_EQ(g.line1(p), "No full cycle between the marks: drag in the lower panel from one MDR peak to the next");
    EXPECT_EQ(g.mdr, 0.0);

    // Half a cycle from a peak: both ends land on the same peak.
    g.mark_period(te0 - 0.001, te0 + 0.003);
    EXPECT_FALSE(g.period_ok());

    g.mark_period(te0, te1);
    EXPECT_TRUE(g.period_ok());
    EXPECT_EQ(g.period_problem(), "");
    EXPECT_EQ(g.line2(p).substr(0, 3), "T0=");
}

// SQ = opening time (previous opening to flow peak) over closing time
// (peak to closure): tp / (tc - tp) for these pulses. It is given only for
// a closed phase inside the period, and does not depend on where the
// segment starts.
TEST(GlottalFlowMarks, SpeedQuotientOnlyFromAClosedPhaseInThePeriod) {
    const tquantizedvowel q;
    const double sqmodel = q.cycle.tp / (q.cycle.tc - q.cycle.tp);
    tpreferences p;
    for (double at : {0.1, 0.1037}) {
        SCOPED_TRACE(at);
        tglottalflow g = q.load(at);
        g.mark_period(q.te(20, at), q.te(21, at));
        ASSERT_TRUE(g.period_ok());
        EXPECT_FALSE(g.sqvalid);
        EXPECT_EQ(g.sq, 0.0);
        EXPECT_EQ(g.line3(p), "Click and drag in the upper panel to mark the closed phase");
        const std::string row = g.datarow(p);
        EXPECT_EQ(row.substr(row.size() - 5), "\t\t\t\t\t");  // TC, CQ, OQ, SQ empty
        EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 17);

        // The closed phase of the previous cycle lies outside the period.
        const double c0 = q.v.cyclestart[20] + q.cycle.tc * q.cycle.T0 - at;
        g.mark_closed(c0 - q.cycle.T0, q.v.cyclestart[20] - at);
        EXPECT_FALSE(g.closedvalid);
        EXPECT_FALSE(g.sqvalid);
        EXPECT_EQ(g.line3(p), "Click and drag in the upper panel inside the marked period to mark the closed phase");

        g.mark_closed(c0, q.v.cyclestart[21] - at);
        EXPECT_TRUE(g.sqvalid);
        EXPECT_NEAR(g.sq, sqmodel, 0.04 * sqmodel);  // the flat top of the quantized peak
        EXPECT_NEAR(g.cq, 0.44, 0.01);
        EXPECT_NE(g.line3(p).find(", SQ="), std::string::npos);
    }
}

// A train of symmetric triangles: 30 samples up, 30 down, 40 closed.
tglottalflow triangles() {
    tglottalflow g;
    g.load_samples(10000, [](int i) {
        const int p = i % 100;
        if (p < 30) return p / 30.0;
        if (p < 60) return (60 - p) / 30.0;
        return 0.0;
    });
    return g;
}

TEST(GlottalFlowMarks, TriangleSnapsAndHasSymmetryOne) {
    tglottalflow g = triangles();
    // The falling edges start at samples 31, 131, ...: the first difference
    // turns negative there.
    EXPECT_EQ(g.snap(0.0131), 131);
    g.mark_period(0.0131, 0.0231);
    EXPECT_EQ(g.periodstartpos, 131);
    EXPECT_EQ(g.periodendpos, 231);
    EXPECT_EQ(g.periodnegpos, 31);
    EXPECT_DOUBLE_EQ(g.t0, 0.01);
    EXPECT_DOUBLE_EQ(g.f0, 100);
    EXPECT_NEAR(g.mdr, 1.0 / 30 * 10000, 1e-9);
    EXPECT_DOUBLE_EQ(g.ptp, 1.0);
    EXPECT_DOUBLE_EQ(g.hiflowtime, 0.0130);
    g.mark_closed(0.0160, 0.0200);
    EXPECT_NEAR(g.sq, 1.0, 1e-12);
    EXPECT_NEAR(g.cq, 0.4, 1e-12);
    tpreferences p;
    EXPECT_EQ(g.line3(p), "TC=4 ms, CQ=40 %, OQ=60 %, SQ=1");
    g.unit = "l/s";
    EXPECT_EQ(g.line2(p).substr(0, 33), "T0=10 ms, ptp=1 l/s, MDR=333.33 l");
    EXPECT_NE(g.line1(p).find("F0=100 Hz ("), std::string::npos);
}

TEST(GlottalFlowMarks, SelectionErrorAndFrozenExtremes) {
    tglottalflow g = triangles();
    g.unit = "l/s";
    tpreferences p;
    EXPECT_EQ(g.line3(p), "");  // nothing marked yet
    g.mark_period(0.0031, 0.0131);
    EXPECT_TRUE(g.selectionerror);
    EXPECT_EQ(g.line2(p), "Select a MDR peak further to the right to allow a full period before it!");
    EXPECT_EQ(g.line3(p), "Click and drag in the upper panel to mark the closed phase");
    EXPECT_FALSE(g.line1(p).empty());

    g.mark_period(0.0131, 0.0231);
    EXPECT_FALSE(g.selectionerror);
    g.set_extremes(0.9, 0.1);
    EXPECT_DOUBLE_EQ(g.loflow, 0.1);
    EXPECT_DOUBLE_EQ(g.hiflow, 0.9);
    g.mark_closed(0.016, 0.02);  // a recompute keeps the hand-set extremes
    EXPECT_NEAR(g.ptp, 0.8, 1e-12);
    g.mark_period(0.0131, 0.0231);  // a new period finds them again
    EXPECT_DOUBLE_EQ(g.ptp, 1.0);
}

TEST(GlottalFlowMarks, LogHeadingAndRow) {
    tglottalflow g = triangles();
    g.unit = "l/s";
    g.filename = "v.wav";
    g.channelname = "flow";
    g.cursortime = 1.0;
    g.mark_period(0.0131, 0.0231);
    g.mark_closed(0.016, 0.02);
    EXPECT_EQ(g.heading(),
              "File name\tChannel name\tTime [s]\tT0 [ms]\tF0 [Hz]\tNote\tptp [l/s]\tmin [l/s]\tmax [l/s]\t"
              "MDR [l/s/s]\tAQ [ms]\tNAQ\tH1/H2 [dB]\tTC [ms]\tCQ\tOQ\tSQ\t");
    tpreferences p;
    const std::string row = g.datarow(p);
    EXPECT_EQ(row.substr(0, 30), "v.wav\tflow\t1.013\t10\t100\tG2 +35");
    EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 17);
    EXPECT_NE(row.find("\t0.4\t0.6\t1\t"), std::string::npos);
}

TEST(GlottalFlowMarks, NoChannel) {
    tglottalflow g;
    g.clear();
    g.mark_period(0.01, 0.02);
    tpreferences p;
    EXPECT_EQ(g.line1(p), "");
    EXPECT_EQ(g.sampfreq, -1.0);
}

}  // namespace
}  // namespace tessal
