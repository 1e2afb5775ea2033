// The closed-phase criterion of the automatic inverse filter against a
// signal whose tract is known: an excitation that is exactly zero in the
// closed phases (a pulse at each closure, a smooth bump in the open phase)
// through two resonators written here. The exact inverse leaves no ripple;
// an estimate with its first formant mistuned leaves a ringing, and the
// refinement finds the resonators back.
#include "engine/tools/closedphase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tessal {
namespace {

struct tknown {
    std::vector<double> s;
    std::vector<std::size_t> gcis;
    std::vector<tformant> truth;
};

tknown known_signal(double fs, double f0) {
    tknown k;
    k.truth = {{false, 300, 60}, {false, 900, 90}};
    const std::size_t n = static_cast<std::size_t>(0.5 * fs);
    std::vector<double> e(n, 0.0);
    const double T = fs / f0;
    for (double g = 20; g + T < n; g += T * (1.0 + 0.01 * std::sin(g))) {
        const std::size_t at = static_cast<std::size_t>(g);
        k.gcis.push_back(at);
        e[at] = -1.0;
        // The open phase: a raised cosine over 0.45 ... 0.95 of the period.
        const std::size_t a = at + static_cast<std::size_t>(0.45 * T), b = at + static_cast<std::size_t>(0.95 * T);
        for (std::size_t i = a; i < b && i < n; ++i)
            e[i] += 0.02 * (1 - std::cos(2 * M_PI * static_cast<double>(i - a) / static_cast<double>(b - a)));
    }
    // All-pole resonators: the inverse of each zero pair exactly.
    k.s = e;
    for (const tformant& f : k.truth) {
        const double r = std::exp(-M_PI * f.bw / fs), c1 = -2 * r * std::cos(2 * M_PI * f.f0 / fs), c2 = r * r;
        double y1 = 0, y2 = 0;
        for (double& x : k.s) {
            const double y = x - c1 * y1 - c2 * y2;
            y2 = y1;
            y1 = y;
            x = y;
        }
    }
    return k;
}

TEST(ClosedPhase, TheExactInverseRestsAndAMistunedOneRings) {
    const double fs = 16000;
    const tknown k = known_signal(fs, 180);
    const tclosedphase cp;
    EXPECT_LT(closed_phase_ripple(k.s, cascade_polynomial(k.truth, fs), k.gcis, fs, cp), 1e-12);
    std::vector<tformant> off = k.truth;
    off[0].f0 = 330;
    EXPECT_GT(closed_phase_ripple(k.s, cascade_polynomial(off, fs), k.gcis, fs, cp), 1e-3);
    // Nothing to judge: no periods, or a filter longer than the signal.
    EXPECT_EQ(closed_phase_ripple(k.s, cascade_polynomial(k.truth, fs), {}, fs, cp), 1.0);
    EXPECT_EQ(closed_phase_ripple({1.0, 2.0}, cascade_polynomial(k.truth, fs), k.gcis, fs, cp), 1.0);
}

TEST(ClosedPhase, RefinementFindsTheTractAgainWithinTheGrid) {
    for (double fs : {16000.0, 44100.0}) {
        const tknown k = known_signal(fs, 180);
        // F1 10 % high and twice too narrow, F2 3 % low and too broad: what
        // a harmonic near F1 does to a linear-prediction estimate.
        std::vector<tformant> est = {{false, 330, 30}, {false, 873, 130}, {false, 5000, 300}};
        const std::vector<tformant> got = refine_formants(k.s, est, k.gcis, fs, tclosedphase{});
        ASSERT_EQ(got.size(), 3u);
        EXPECT_NEAR(got[0].f0, 300, 300 * 0.005) << fs;
        EXPECT_NEAR(got[0].bw, 60, 60 * 0.05) << fs;
        EXPECT_NEAR(got[1].f0, 900, 900 * 0.005) << fs;
        EXPECT_NEAR(got[1].bw, 90, 90 * 0.05) << fs;
        // At or above `below`: left as it was.
        EXPECT_EQ(got[2].f0, 5000);
        EXPECT_EQ(got[2].bw, 300);
        EXPECT_LT(closed_phase_ripple(k.s, cascade_polynomial(got, fs), k.gcis, fs, tclosedphase{}),
                  closed_phase_ripple(k.s, cascade_polynomial(est, fs), k.gcis, fs, tclosedphase{}));
    }
    // No periods to judge by, or no grid: the estimate unchanged.
    const tknown k = known_signal(16000, 180);
    const std::vector<tformant> est = {{false, 354, 30}};
    EXPECT_EQ(refine_formants(k.s, est, {}, 16000, tclosedphase{})[0].f0, 354);
    // A signal shorter than the cascade, or periods without a closed-phase
    // sample in it: nothing to judge by, the estimate as it was (in order).
    const std::vector<tformant> three = {{false, 900, 90}, {false, 330, 30}, {false, 2500, 100}};
    const std::vector<tformant> kept = refine_formants({0.1, 0.2, 0.3, 0.4, 0.5}, three, {0, 3}, 16000, tclosedphase{});
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].f0, 330);
    EXPECT_EQ(kept[1].f0, 900);
    EXPECT_EQ(kept[1].bw, 90);
    // Elements no grid can be laid around: left as they are.
    const std::vector<tformant> odd = {{false, 0, 50}, {false, 300, std::nan("")}, {false, 9000, 80}};
    const std::vector<tformant> same = refine_formants(k.s, odd, k.gcis, 16000, tclosedphase{});
    ASSERT_EQ(same.size(), 3u);
    EXPECT_EQ(same[0].f0, 0);
    EXPECT_EQ(same[2].f0, 9000);
    tformantrefine flat;
    flat.fstep = 1.0;
    EXPECT_EQ(refine_formants(k.s, est, k.gcis, 16000, tclosedphase{}, flat)[0].f0, 354);
}

}  // namespace
}  // namespace tessal
