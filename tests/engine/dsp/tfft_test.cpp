// TFFT against a direct DFT of the same definition evaluated in long double,
// for every power-of-two size from 4 to 65536; window shapes against their
// formulas; DC removal; the derived outputs; size rules and error texts.
#include "engine/dsp/tfft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace tessal {
namespace {

using ld = long double;
constexpr ld pi_l = std::numbers::pi_v<long double>;

ld window_formula(TFFTWindow w, std::size_t i, std::size_t n) {
    const ld x = 2 * pi_l * static_cast<ld>(i) / static_cast<ld>(n - 1);
    switch (w) {
        case TFFTWindow::rectangle: return 1;
        case TFFTWindow::Bartlett: return 1 - std::fabs(2 * static_cast<ld>(i) / (n - 1) - 1);
        case TFFTWindow::Hamming: return 0.54L - 0.46L * std::cos(x);
        case TFFTWindow::Hanning: return 0.5L * (1 - std::cos(x));
        case TFFTWindow::Blackman: return 0.42L - 0.5L * std::cos(x) + 0.08L * std::cos(2 * x);
    }
    return 0;
}

struct config {
    TFFTWindow window = TFFTWindow::Hamming;
    bool removedc = true;
    bool ignoreim = true;
};

// The transform as defined, step by step, in long double: mean removal,
// windowing, zero padding, zero mean over all N, the sum with e^(+i...),
// division by W. Returns the requested bins.
std::vector<std::pair<ld, ld>> direct_dft(const std::vector<double>& xr,
                                          const std::vector<double>& xi, std::size_t n,
                                          const config& c, const std::vector<std::size_t>& bins) {
    const std::size_t w = xr.size();
    std::vector<ld> re(n, 0), im(n, 0);
    ld mr = 0, mi = 0;
    if (c.removedc) {
        for (std::size_t i = 0; i < w; ++i) mr += xr[i];
        mr /= w;
        if (!c.ignoreim) {
            for (std::size_t i = 0; i < w; ++i) mi += xi[i];
            mi /= w;
        }
    }
    for (std::size_t i = 0; i < w; ++i) {
        const ld win = window_formula(c.window, i, w);
        re[i] = (xr[i] - mr) * win;
        im[i] = c.ignoreim ? 0 : (xi[i] - mi) * win;
    }
    if (c.removedc) {
        ld sr = 0, si = 0;
        for (std::size_t i = 0; i < n; ++i) sr += re[i], si += im[i];
        for (std::size_t i = 0; i < n; ++i) re[i] -= sr / n, im[i] -= si / n;
    }
    std::vector<ld> cs(n), sn(n);
    for (std::size_t j = 0; j < n; ++j) {
        cs[j] = std::cos(2 * pi_l * j / n);
        sn[j] = std::sin(2 * pi_l * j / n);
    }
    std::vector<std::pair<ld, ld>> out;
    for (std::size_t k : bins) {
        ld sr = 0, si = 0;
        std::size_t t = 0;  // n k mod N
        for (std::size_t i = 0; i < n; ++i) {
            sr += re[i] * cs[t] - im[i] * sn[t];
            si += re[i] * sn[t] + im[i] * cs[t];
            t += k;
            if (t >= n) t -= n;
        }
        out.push_back({sr / w, si / w});
    }
    return out;
}

// Runs TFFT on the input and checks the given bins against the direct DFT
// to 1e-9 of the largest of them.
void expect_matches_dft(std::size_t n, std::size_t w, const config& c, std::mt19937& rng,
                        bool all_bins) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> xr(w), xi(w);
    for (std::size_t i = 0; i < w; ++i) xr[i] = 0.3 + u(rng), xi[i] = -0.2 + u(rng);

    TFFT fft;
    fft.SetWindow(c.window);
    fft.Setremovedc(c.removedc);
    fft.Setignoreinim(c.ignoreim);
    fft.SetInRe(xr);
    if (!c.ignoreim) fft.SetInIm(xi);
    ASSERT_EQ(fft.GetFFTSize(), n);
    ASSERT_EQ(fft.GetWindowSize(), w);
    const auto& re = fft.GetOutRe();
    const auto& im = fft.GetOutIm();
    ASSERT_EQ(re.size(), n);

    std::vector<std::size_t> bins;
    if (all_bins) {
        for (std::size_t k = 0; k < n; ++k) bins.push_back(k);
    } else {
        bins = {0, 1, n / 2 - 1, n / 2, n / 2 + 1, n - 1};
        std::uniform_int_distribution<std::size_t> pick(0, n - 1);
        for (int j = 0; j < 10; ++j) bins.push_back(pick(rng));
    }
    const auto ref = direct_dft(xr, xi, n, c, bins);
    ld largest = 0;
    for (const auto& [r, i] : ref) largest = std::max(largest, std::hypot(r, i));
    ld worst = 0;
    for (std::size_t j = 0; j < bins.size(); ++j) {
        const std::size_t k = bins[j];
        worst = std::max(worst, std::hypot(re[k] - ref[j].first, im[k] - ref[j].second));
    }
    // The floor covers windows that vanish (W = 2) up to double rounding.
    EXPECT_LT(worst, 1e-9L * largest + 1e-15L) << "N=" << n << " W=" << w;
}

TEST(TFFT, MatchesDirectDftForEveryPowerOfTwoSize) {
    std::mt19937 rng(1234);
    for (int k = 2; k <= 16; ++k) {
        const std::size_t n = std::size_t{1} << k;
        const bool all = n <= 4096;
        // Real input filling the block.
        expect_matches_dft(n, n, {TFFTWindow::Hamming, true, true}, rng, all);
        // Odd window shorter than N, padded, without DC removal.
        expect_matches_dft(n, n / 2 + 1 + (n > 4 ? n / 4 : 0), {TFFTWindow::Blackman, false, true},
                           rng, all);
        // Complex input.
        expect_matches_dft(n, n, {TFFTWindow::Hanning, true, false}, rng, all);
    }
}

TEST(TFFT, SmallestSizeAndEveryWindowMatchDirectDft) {
    std::mt19937 rng(99);
    for (TFFTWindow w : {TFFTWindow::rectangle, TFFTWindow::Bartlett, TFFTWindow::Hamming,
                         TFFTWindow::Hanning, TFFTWindow::Blackman}) {
        for (bool ignoreim : {true, false}) {
            expect_matches_dft(2, 2, {w, false, ignoreim}, rng, true);
            expect_matches_dft(64, 37, {w, true, ignoreim}, rng, true);
        }
    }
}

TEST(TFFT, WindowShapesFollowTheirFormulas) {
    for (TFFTWindow type : {TFFTWindow::rectangle, TFFTWindow::Bartlett, TFFTWindow::Hamming,
                            TFFTWindow::Hanning, TFFTWindow::Blackman}) {
        for (std::size_t w : {9u, 10u, 300u}) {
            TFFT fft;
            fft.SetWindow(type);
            fft.SetWindowSize(static_cast<std::int64_t>(w));
            const auto& win = fft.GetWin();
            ASSERT_EQ(win.size(), fft.GetFFTSize());
            for (std::size_t i = 0; i < w; ++i)
                EXPECT_NEAR(win[i], static_cast<double>(window_formula(type, i, w)), 1e-15);
            for (std::size_t i = w; i < win.size(); ++i) EXPECT_EQ(win[i], 0.0);
        }
    }
    TFFT fft;
    fft.SetWindow(TFFTWindow::Bartlett);
    fft.SetWindowSize(9);
    EXPECT_EQ(fft.GetWin()[4], 1.0);
    fft.SetWindowSize(10);
    for (std::size_t i = 0; i < 10; ++i) EXPECT_LT(fft.GetWin()[i], 1.0);
}

TEST(TFFT, SkewedWindowsRiseFlatAndFall) {
    const double left = 0.2, right = 0.7;
    const std::size_t w = 201;
    TFFT fft;
    fft.SetWindowSize(w);
    fft.Setwindowleftskew(left);
    fft.Setwindowrightskew(right);
    for (TFFTWindow type : {TFFTWindow::Hanning, TFFTWindow::Bartlett}) {
        fft.SetWindow(type);
        const auto& win = fft.GetWin();
        for (std::size_t i = 0; i + 1 < w; ++i) {
            const double frac = static_cast<double>(i) / (w - 1);
            double expected;
            if (frac < left) {  // the first half of a window of length left
                const double u = frac / left;
                expected = type == TFFTWindow::Hanning
                               ? 0.5 * (1 - std::cos(std::numbers::pi * u))
                               : u;
            } else if (frac <= right) {
                expected = 1.0;
            } else {  // the second half of a window of length 1 - right
                const double u = (frac - right) / (1 - right);
                expected = type == TFFTWindow::Hanning
                               ? 0.5 * (1 + std::cos(std::numbers::pi * u))
                               : 1 - u;
            }
            EXPECT_NEAR(win[i], expected, 1e-12) << static_cast<int>(type) << " i=" << i;
        }
        // The last sample closes the period, as in the unskewed window.
        EXPECT_NEAR(win[w - 1], 0.0, 1e-15);
    }
    // The skew warp with both skews 0.5 is the identity.
    for (int i = 0; i <= 1000; ++i) {
        const double x = 2 * std::numbers::pi * i / 1001.0;
        EXPECT_NEAR(fft_window_skew_phase(x, 0.5, 0.5), x, 1e-15);
    }
    // The middle skew is only stored.
    fft.SetWindow(TFFTWindow::Hamming);
    fft.Setwindowleftskew(0.5);
    fft.Setwindowrightskew(0.5);
    const tdoublearr before = fft.GetWin();
    fft.Setwindowskew(0.9);
    EXPECT_EQ(fft.Getwindowskew(), 0.9);
    EXPECT_EQ(fft.GetWin(), before);
}

TEST(TFFT, ConstantInputWithRemoveDcGivesZeroSpectrum) {
    for (bool ignoreim : {true, false}) {
        TFFT fft;
        fft.Setignoreinim(ignoreim);
        fft.SetInRe(tdoublearr(300, 0.1));
        if (!ignoreim) fft.SetInIm(tdoublearr(300, -7.3));
        EXPECT_EQ(fft.GetFFTSize(), 512u);
        for (double v : fft.GetOutRe()) EXPECT_EQ(v, 0.0);
        for (double v : fft.GetOutIm()) EXPECT_EQ(v, 0.0);
        for (double v : fft.GetOutdB()) EXPECT_EQ(v, -3250.0);
        for (double v : fft.GetOutPhase()) EXPECT_EQ(v, 0.0);
    }
    // Without it the level of bin 0 is that of the windowed mean.
    TFFT fft;
    fft.Setremovedc(false);
    fft.SetWindow(TFFTWindow::rectangle);
    fft.SetInRe(tdoublearr(256, 2.0));
    EXPECT_NEAR(fft.GetOutRe()[0], 2.0, 1e-15);
    EXPECT_NEAR(fft.GetOutdB()[0], 20 * std::log10(2.0), 1e-12);
}

TEST(TFFT, DelayedImpulseGivesKnownDerivedOutputs) {
    // Unit impulse at n = 0: 1 / W in every bin.
    TFFT fft;
    fft.Setremovedc(false);
    fft.SetWindow(TFFTWindow::rectangle);
    tdoublearr x(300, 0.0);
    x[0] = 1.0;
    fft.SetInRe(x);
    for (std::size_t k = 0; k < 512; ++k) {
        EXPECT_NEAR(fft.GetOutRe()[k], 1.0 / 300, 1e-17);
        EXPECT_NEAR(fft.GetOutIm()[k], 0.0, 1e-17);
    }
    // Impulse at n = 1: X[k] = e^(+i 2 pi k / N) / W.
    const std::size_t n = 64;
    x.assign(n, 0.0);
    x[1] = 1.0;
    fft.SetInRe(x);
    const auto& ph = fft.GetOutPhase();
    const auto& ab = fft.GetOutAbs();
    const auto& ab2 = fft.GetOutAbs2();
    const auto& db = fft.GetOutdB();
    const auto& cx = fft.GetOutComplex();
    for (std::size_t k = 0; k < n; ++k) {
        double angle = 2 * std::numbers::pi * k / n;
        if (angle > std::numbers::pi) angle -= 2 * std::numbers::pi;
        EXPECT_NEAR(ph[k], angle, 1e-13) << k;
        EXPECT_NEAR(ab[k], 1.0 / n, 1e-16);
        EXPECT_NEAR(ab2[k], 1.0 / (n * n), 1e-18);
        EXPECT_NEAR(db[k], -20 * std::log10(double(n)), 1e-12);
        EXPECT_EQ(cx[k].re, fft.GetOutRe()[k]);
        EXPECT_EQ(cx[k].im, fft.GetOutIm()[k]);
    }
    EXPECT_EQ(ph[n / 2], std::numbers::pi);  // the half-open end of (-pi, pi]
}

TEST(TFFT, OutputsFollowNewInputsAndSettings) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    tdoublearr a(128), b(128);
    for (auto& v : a) v = u(rng);
    for (auto& v : b) v = u(rng);
    TFFT fft;
    fft.SetInRe(a);
    const tdoublearr first = fft.GetOutdB();
    fft.SetInRe(b);
    const tdoublearr second = fft.GetOutdB();
    EXPECT_NE(first, second);
    fft.SetWindow(TFFTWindow::Blackman);
    EXPECT_NE(fft.GetOutdB(), second);
    fft.SetWindow(TFFTWindow::Hamming);
    EXPECT_EQ(fft.GetOutdB(), second);

    // 16-bit chunks are real input with zero imaginary part.
    tsmallintarr chunk(100);
    tdoublearr asdouble(100);
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<std::int16_t>(30000 * u(rng)), asdouble[i] = chunk[i];
    TFFT fromchunk, fromarr;
    fromchunk.Setignoreinim(false);
    fromchunk.SetInChunk(chunk);
    fromarr.SetInRe(asdouble);
    EXPECT_EQ(fromchunk.GetFFTSize(), 128u);
    for (std::size_t k = 0; k < 128; ++k) {
        EXPECT_NEAR(fromchunk.GetOutRe()[k], fromarr.GetOutRe()[k], 1e-9);
        EXPECT_NEAR(fromchunk.GetOutIm()[k], fromarr.GetOutIm()[k], 1e-9);
    }
}

TEST(TFFT, InputShorterThanALaterWindowIsZeroExtended) {
    tdoublearr x = {1, 2, 3, 4, 5, 6, 7, 8};
    TFFT fft;
    fft.SetWindow(TFFTWindow::rectangle);
    fft.Setremovedc(false);
    fft.SetInRe(x);
    fft.SetWindowSize(16);
    ASSERT_EQ(fft.GetFFTSize(), 16u);
    tdoublearr padded = x;
    padded.resize(16, 0.0);
    TFFT ref;
    ref.SetWindow(TFFTWindow::rectangle);
    ref.Setremovedc(false);
    ref.SetInRe(padded);
    for (std::size_t k = 0; k < 16; ++k) EXPECT_NEAR(fft.GetOutRe()[k], ref.GetOutRe()[k], 1e-15);
}

TEST(TFFT, SizeRules) {
    TFFT fft;
    EXPECT_EQ(fft.GetLogFFTSize(), 8);
    EXPECT_EQ(fft.GetFFTSize(), 256u);
    EXPECT_EQ(fft.GetWindowSize(), 256u);
    EXPECT_EQ(fft.GetWindow(), TFFTWindow::Hamming);
    EXPECT_TRUE(fft.Getremovedc());
    EXPECT_TRUE(fft.Getignoreinim());
    EXPECT_EQ(fft.Getwindowleftskew(), 0.5);
    EXPECT_EQ(fft.Getwindowrightskew(), 0.5);

    fft.SetFFTSize(256);
    EXPECT_EQ(fft.GetFFTSize(), 256u);
    fft.SetFFTSize(257);
    EXPECT_EQ(fft.GetFFTSize(), 512u);
    EXPECT_EQ(fft.GetLogFFTSize(), 9);
    fft.SetFFTSize(3);
    EXPECT_EQ(fft.GetFFTSize(), 4u);
    EXPECT_EQ(fft.GetWindowSize(), 4u);  // W never exceeds N

    fft.SetWindowSize(300);
    EXPECT_EQ(fft.GetFFTSize(), 512u);
    EXPECT_EQ(fft.GetWindowSize(), 300u);
    fft.SetWindowSize(100);
    EXPECT_EQ(fft.GetFFTSize(), 512u);

    fft.SetLogFFTSize(1);
    fft.SetLogFFTSize(21);
    EXPECT_EQ(fft.GetFFTSize(), 512u);
    fft.SetLogFFTSize(20);
    EXPECT_EQ(fft.GetFFTSize(), 1048576u);
    fft.SetLogFFTSize(2);
    EXPECT_EQ(fft.GetFFTSize(), 4u);
    EXPECT_EQ(fft.GetWindowSize(), 4u);

    fft.SetInRe(tdoublearr(1000, 1.0));
    EXPECT_EQ(fft.GetFFTSize(), 1024u);
    EXPECT_EQ(fft.GetWindowSize(), 1000u);
}

TEST(TFFT, SwappedInputTransformsLikeATakenOverOne) {
    tdoublearr x(300);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.1 * i) + 0.01 * i;
    TFFT a, b;
    a.SetInRe(x);
    tdoublearr buf = x;
    b.SwapInRe(buf);
    EXPECT_EQ(b.GetFFTSize(), 512u);
    EXPECT_EQ(b.GetWindowSize(), 300u);
    EXPECT_EQ(a.GetOutAbs2(), b.GetOutAbs2());
    // The caller gets the previous input's array back, and the next swap
    // marks the outputs dirty.
    tdoublearr y(300, 0.0);
    y[5] = 1;
    const double* ydata = y.data();
    b.SwapInRe(y);
    EXPECT_EQ(y, x);
    EXPECT_EQ(b.GetInRe().data(), ydata);
    a.SetInRe(b.GetInRe());
    EXPECT_EQ(a.GetOutAbs2(), b.GetOutAbs2());
}

TEST(TFFT, OutOfRangeSizesRaiseWithTheirTexts) {
    TFFT fft;
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const EFFTError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { fft.SetFFTSize(1); }), "FFT size out of range (1)");
    EXPECT_EQ(message([&] { fft.SetFFTSize(16777217); }), "FFT size out of range (16777217)");
    EXPECT_EQ(message([&] { fft.SetFFTSize(-5); }), "FFT size out of range (-5)");
    EXPECT_EQ(message([&] { fft.SetWindowSize(1); }), "Window size out of range");
    EXPECT_EQ(message([&] { fft.SetWindowSize(16777217); }), "Window size out of range");
    EXPECT_EQ(message([&] { fft.SetInRe(tdoublearr(1, 0.0)); }), "FFT size out of range (1)");
    EXPECT_EQ(message([&] { fft.SetInRe(tdoublearr()); }), "FFT size out of range (0)");
    // Nothing changed, and the transform still works.
    EXPECT_EQ(fft.GetFFTSize(), 256u);
    EXPECT_EQ(fft.GetOutRe().size(), 256u);
}

}  // namespace
}  // namespace tessal
