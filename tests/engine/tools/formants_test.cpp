// Formant analysis against independent truth: the resonances an LPC
// polynomial was built from (F = arg z fs / 2 pi, B = -ln|z| fs / pi), the
// resonators of synthetic LF vowels at 16 and 44.1 kHz, white noise's known
// level for the model's spectrum, and hand-made candidate frames for the
// tracker (a broad spurious pole below F1, a missing candidate, a jump).
#include "engine/tools/formants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "lfvowel.h"

namespace tessal {
namespace {

constexpr double pi = std::numbers::pi;

std::vector<float> vowel(double fs, double f0, const std::vector<testing::tresonance>& formants,
                         double duration = 0.6) {
    testing::tlfcycle c;
    c.T0 = 1 / f0;
    const testing::tvowel v = testing::make_vowel(fs, duration, {c}, formants);
    double peak = 0;
    for (double x : v.mic) peak = std::max(peak, std::abs(x));
    std::vector<float> out(v.mic.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<float>(0.5 * v.mic[i] / peak);
    return out;
}

TEST(FormantCandidates, RootsOfAKnownPolynomial) {
    const double fs = 11000;
    // A(z) from three resonances, multiplied out as second-order sections.
    const std::vector<std::pair<double, double>> res{{500, 60}, {1500, 100}, {2500, 150}};
    tlpc m;
    m.a = {1.0};
    for (auto [f, b] : res) {
        const double r = std::exp(-pi * b / fs), c = -2 * r * std::cos(2 * pi * f / fs);
        std::vector<double> next(m.a.size() + 2, 0.0);
        for (std::size_t i = 0; i < m.a.size(); ++i) {
            next[i] += m.a[i];
            next[i + 1] += c * m.a[i];
            next[i + 2] += r * r * m.a[i];
        }
        m.a = next;
    }
    const auto c = lpc_formants(m, fs, 50, 5450);
    ASSERT_EQ(c.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(c[i].f, res[i].first, 1e-6);
        EXPECT_NEAR(c[i].bw, res[i].second, 1e-6);
    }
    // The band limits leave out what lies outside them.
    EXPECT_EQ(lpc_formants(m, fs, 600, 2000).size(), 1u);
}

// Steady vowels: every frame's F1-F3 near the resonators' frequencies, at
// both rates and for low and high F0 (the harmonics are 100 to 220 Hz
// apart, so an LPC peak can sit a few per cent off a resonance).
TEST(FormantFrames, SteadyVowelsAtTwoRates) {
    const std::vector<testing::tresonance> a{{750, 80}, {1200, 90}, {2700, 120}, {3600, 150}, {4500, 200}};
    for (double fs : {16000.0, 44100.0})
        for (double f0 : {100.0, 220.0}) {
            const std::vector<float> x = vowel(fs, f0, a);
            const tformanttracks tr = formants(x.data(), x.size(), fs, {});
            ASSERT_GT(tr.frames(), 40u);
            for (std::size_t k = 0; k < tr.frames(); ++k)
                for (int i = 0; i < 3; ++i) {
                    EXPECT_NEAR(tr.F(k, i), a[i].f, 0.06 * a[i].f) << fs << " " << f0 << " t=" << tr.times[k];
                    EXPECT_GT(tr.B(k, i), 0);
                    EXPECT_LT(tr.B(k, i), 600);
                }
        }
}

TEST(FormantFrames, FrameTimesAreCentredWholeWindows) {
    tformantsettings s;  // window 0.025 s: 0.05 s of signal per frame
    // 1 s at 10 kHz: floor((1 - 0.05) / 0.01) + 1 = 96 frames, centred.
    const auto t = formant_frame_times(10000, 10000, s);
    ASSERT_EQ(t.size(), 96u);
    EXPECT_NEAR(t.front(), 0.025, 1e-12);
    EXPECT_NEAR(t.back(), 0.975, 1e-12);
    EXPECT_TRUE(formant_frame_times(499, 10000, s).empty());
    EXPECT_EQ(formant_frame_times(500, 10000, s).size(), 1u);
    // Silence and too little signal give no candidates and no crash.
    const std::vector<float> zeros(8000, 0.0f);
    const tformanttracks tr = formants(zeros.data(), zeros.size(), 16000, s);
    ASSERT_GT(tr.frames(), 0u);
    for (double f : tr.f) EXPECT_TRUE(std::isnan(f));
    EXPECT_EQ(formants(zeros.data(), 100, 16000, s).frames(), 0u);
}

TEST(FormantFrames, SettingsFaults) {
    EXPECT_EQ(formant_settings_fault({}), "");
    tformantsettings s;
    s.nformants = 0;
    EXPECT_NE(formant_settings_fault(s), "");
    s = {};
    s.maxformant = 50;
    EXPECT_NE(formant_settings_fault(s), "");
    s = {};
    s.step = 0;
    EXPECT_NE(formant_settings_fault(s), "");
    EXPECT_EQ(formants(nullptr, 0, 16000, s).frames(), 0u);
}

// White noise of variance v at 16 kHz has the density v per sample at
// every frequency: the model spectrum (resampled to 11 kHz, pre-emphasised,
// windowed, all taken back out) lies at 10 log10 v below the resampler's
// corner.
TEST(FormantModel, WhiteNoiseLevel) {
    const double fs = 16000, sigma = 0.1;
    std::mt19937 rng(5);
    std::normal_distribution<float> g(0, static_cast<float>(sigma));
    std::vector<float> x(32000);
    for (float& v : x) v = g(rng);
    const tformantsettings s;
    const tformantsignal sig = formant_signal(x.data(), x.size(), fs, s);
    EXPECT_EQ(sig.fs, 11000);
    double mean = 0;
    int count = 0;
    for (double t = 0.2; t < 1.8; t += 0.1) {
        const tformantmodel m = formant_model_at(sig, t, s);
        for (double f = 200; f <= 4500; f += 100) mean += formant_model_db(m, f), ++count;
    }
    mean /= count;
    EXPECT_NEAR(mean, 20 * std::log10(sigma), 1.0);
    EXPECT_EQ(formant_model_db(formant_model_at(sig, 1.0, s), 6000), -400);
}

// Hand-made candidates: the tracker keeps the slots on their tracks.
TEST(FormantTracking, SpuriousMissingAndSteadyCandidates) {
    tformantsettings s;
    s.nformants = 3;
    s.maxformant = 3300;  // references 550, 1650, 2750
    std::vector<tformantframe> frames;
    for (int k = 0; k < 30; ++k) {
        tformantframe fr;
        fr.time = 0.01 * k;
        fr.candidates = {{700, 80}, {1200, 90}, {2600, 120}};
        if (k >= 5 && k < 10) fr.candidates.insert(fr.candidates.begin(), {150, 400});  // broad, low
        if (k == 15) fr.candidates.erase(fr.candidates.begin() + 1);                      // F2 lost
        if (k >= 20) fr.candidates[1].f = 1200 + 10 * (k - 20);                           // F2 glides
        frames.push_back(fr);
    }
    const tformanttracks tr = track_formants(frames, s);
    ASSERT_EQ(tr.frames(), 30u);
    for (std::size_t k = 0; k < 30; ++k) {
        EXPECT_EQ(tr.F(k, 0), 700) << k;
        if (k == 15) EXPECT_TRUE(std::isnan(tr.F(k, 1)));
        else EXPECT_EQ(tr.F(k, 1), k >= 20 ? 1200 + 10 * (k - 20.0) : 1200) << k;
        EXPECT_EQ(tr.F(k, 2), 2600) << k;
        EXPECT_EQ(tr.B(k, 2), 120) << k;
    }
    // Sorting alone would have put the spurious pole into F1.
    EXPECT_TRUE(track_formants({}, s).times.empty());
}

// A noisy /u/ (F1 350, F2 900 Hz): noise widens the low pole to several
// hundred hertz and F2 lies far below its reference. The weak F1 and the
// low F2 still fill their slots; dropping F1, moving F2 down into its slot
// and leaving F2 empty loses both formants. A very broad pole at the
// bottom (B several times F) is still left out.
TEST(FormantTracking, BroadLowFirstFormantKeepsItsSlot) {
    const tformantsettings s;  // 5 formants, ceiling 5500: references 550, 1650, ...
    std::vector<tformantframe> frames;
    for (int k = 0; k < 20; ++k) {
        tformantframe fr;
        fr.time = 0.01 * k;
        const double wobble = 30.0 * (k % 3 - 1);
        fr.candidates = {{300 + wobble, 600 + 5 * wobble}, {890 - wobble, 200}, {2700, 500}, {3700, 500}, {4600, 300}};
        if (k >= 10) fr.candidates.insert(fr.candidates.begin(), {90, 900});
        frames.push_back(fr);
    }
    const tformanttracks tr = track_formants(frames, s);
    ASSERT_EQ(tr.frames(), 20u);
    for (std::size_t k = 0; k < tr.frames(); ++k) {
        const std::size_t j = k >= 10 ? 1 : 0;  // the spurious pole comes first from frame 10 on
        EXPECT_EQ(tr.F(k, 0), frames[k].candidates[j].f) << k;
        EXPECT_EQ(tr.F(k, 1), frames[k].candidates[j + 1].f) << k;
        EXPECT_EQ(tr.F(k, 2), 2700) << k;
    }
}

// A noisy /i/ (F2 2300 Hz, nearer F3's reference than F2's) with four
// candidates for five slots: the empty slot is the top one, not a gap at F2
// that would move F2 to F4 each one slot up.
TEST(FormantTracking, MissingTopFormantLeavesNoGap) {
    const tformantsettings s;
    std::vector<tformantframe> frames;
    for (int k = 0; k < 20; ++k)
        frames.push_back({0.01 * k, {{335, 140}, {2300 + 10.0 * (k % 2), 450}, {3160, 650}, {4500, 500}}});
    const tformanttracks tr = track_formants(frames, s);
    for (std::size_t k = 0; k < tr.frames(); ++k) {
        EXPECT_EQ(tr.F(k, 1), frames[k].candidates[1].f) << k;
        EXPECT_EQ(tr.F(k, 3), 4500) << k;
        EXPECT_TRUE(std::isnan(tr.F(k, 4))) << k;
    }
}

}  // namespace
}  // namespace tessal
