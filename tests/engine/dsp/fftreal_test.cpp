// tfftreal, the real-input transform under TFFT, on both of its paths (the
// plain bit-reversed placement below small_points complex points, the tiled
// placement with the first four stages in registers from there on): against
// a direct DFT in long double, against an analytic
// spectrum at 2^20 points, and a round trip through TFFT's complex
// transform, which is a separate radix-2 code.
#include "engine/dsp/fftkernels.h"
#include "engine/dsp/tfft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace tessal {
namespace {

using ld = long double;
constexpr ld pi_l = std::numbers::pi_v<long double>;

struct block {
    std::vector<double> x, win;
    double mean = 0;
    std::size_t w = 0;
    ld value(std::size_t j) const {
        if (j >= w) return 0;
        return (static_cast<ld>(x[j]) - mean) * (win.empty() ? 1.0L : static_cast<ld>(win[j]));
    }
};

block random_block(std::size_t n, std::size_t w, bool windowed, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    block b;
    b.w = w;
    b.x.resize(w);
    for (double& v : b.x) v = 0.4 + u(rng);
    if (windowed) {
        b.win.resize(w);
        for (std::size_t i = 0; i < w; ++i)
            b.win[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                            static_cast<double>(w));
        b.mean = 0.4;
    }
    (void)n;
    return b;
}

// cos and sin of 2 pi t / n for t < n, in long double.
struct circle {
    std::vector<ld> c, s;
    explicit circle(std::size_t n) : c(n), s(n) {
        for (std::size_t t = 0; t < n; ++t) {
            const ld a = 2 * pi_l * static_cast<ld>(t) / static_cast<ld>(n);
            c[t] = std::cos(a);
            s[t] = std::sin(a);
        }
    }
};

// sum over j < n of value(j) e^(+i 2 pi j k / n), in long double.
std::complex<ld> direct_bin(const block& b, const circle& e, std::size_t n, std::size_t k) {
    ld sr = 0, si = 0;
    std::size_t t = 0;  // j k mod n
    for (std::size_t j = 0; j < std::min(n, b.w); ++j) {
        const ld v = b.value(j);
        sr += v * e.c[t];
        si += v * e.s[t];
        t = (t + k) & (n - 1);
    }
    return {sr, si};
}

int log2_of(std::size_t n) {
    int k = 0;
    while ((std::size_t{1} << k) < n) ++k;
    return k;
}

// The given bins (or all when empty) to 1e-12 of the largest |X|.
void expect_matches_direct(std::size_t n, const block& b, std::vector<std::size_t> bins,
                           double scale = 1.0) {
    tfftreal fft;
    fft.resize(log2_of(n));
    ASSERT_EQ(fft.size(), n);
    std::vector<double> re(n, 7.0), im(n, 7.0);
    fft.forward({b.x.data(), b.win.empty() ? nullptr : b.win.data(), b.mean, b.w}, re.data(),
                im.data(), scale);
    if (bins.empty())
        for (std::size_t k = 0; k < n; ++k) bins.push_back(k);
    const circle e(n);
    ld largest = 0, worst = 0;
    for (std::size_t k : bins) {
        const std::complex<ld> ref = direct_bin(b, e, n, k) * static_cast<ld>(scale);
        largest = std::max(largest, std::abs(ref));
        worst = std::max(worst, std::abs(ref - std::complex<ld>(re[k], im[k])));
    }
    EXPECT_LT(worst, 1e-12L * largest + 1e-14L) << "n=" << n << " w=" << b.w;
}

TEST(tfftreal, EverySizeOfBothPathsMatchesDirectDft) {
    std::mt19937 rng(5);
    // Every bin up to 2^13 points: the smallest sizes, the last size of the
    // plain placement, the first of the tiled one (a single tile, then two,
    // four, ...), each with the levels beyond the first four odd and even.
    for (std::size_t n = 2; n <= 8192; n *= 2) {
        SCOPED_TRACE(n);
        expect_matches_direct(n, random_block(n, n, false, rng), {});
        expect_matches_direct(n, random_block(n, n, true, rng), {}, 1.0 / static_cast<double>(n));
        // Zero padded, the window's end inside a row of the matrix.
        if (n >= 8) expect_matches_direct(n, random_block(n, n - n / 4 - 3, true, rng), {});
    }
    ASSERT_EQ(tfftreal::small_points, 256u);  // the sizes above cross it
}

TEST(tfftreal, LargeSizesMatchDirectDftOnSpotBins) {
    std::mt19937 rng(9);
    // Sizes whose butterflies run in level-1 blocks only, in level-2 blocks
    // as well (from 2^12 complex points), and over the whole array (beyond
    // 2^16 complex points), with odd and even numbers of stages.
    for (std::size_t n : {std::size_t{1} << 14, std::size_t{1} << 15, std::size_t{1} << 17,
                          std::size_t{1} << 18, std::size_t{1} << 19, std::size_t{1} << 20}) {
        std::vector<std::size_t> bins = {0, 1, 2, n / 4, n / 2 - 1, n / 2, n / 2 + 1, n - 1};
        std::uniform_int_distribution<std::size_t> pick(0, n - 1);
        for (int j = 0; j < 6; ++j) bins.push_back(pick(rng));
        expect_matches_direct(n, random_block(n, n, true, rng), bins);
        expect_matches_direct(n, random_block(n, n - 1001, false, rng), bins);
    }
}

// x[j] = cos(2 pi k0 j / n + phi) + a at 2^20 points: X[0] = a n,
// X[+-k0] = (n / 2) e^(-+i phi), zero elsewhere, for every bin.
TEST(tfftreal, CosineAt2To20PointsGivesItsTwoBinsExactly) {
    const std::size_t n = std::size_t{1} << 20, k0 = 12345;
    const double phi = 0.7, a = 0.25;
    block b;
    b.w = n;
    b.x.resize(n);
    for (std::size_t j = 0; j < n; ++j) {
        const ld t = 2 * pi_l * static_cast<ld>((static_cast<unsigned long long>(k0) * j) % n) /
                     static_cast<ld>(n);
        b.x[j] = static_cast<double>(std::cos(t + phi) + a);
    }
    tfftreal fft;
    fft.resize(20);
    std::vector<double> re(n), im(n);
    fft.forward({b.x.data(), nullptr, 0.0, n}, re.data(), im.data(), 1.0 / static_cast<double>(n));
    double worst = 0;
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> want = 0;
        if (k == 0) want = a;
        if (k == k0) want = 0.5 * std::polar(1.0, -phi);
        if (k == n - k0) want = 0.5 * std::polar(1.0, phi);
        worst = std::max(worst, std::abs(std::complex<double>(re[k], im[k]) - want));
    }
    EXPECT_LT(worst, 1e-13);
}

// The real transform through TFFT, then back through TFFT's complex one:
// with X = (1/N) sum x e^(+i...), (1/N) sum conj(X) e^(+i...) = conj(x) / N.
TEST(tfftreal, RoundTripThroughTheComplexTransform) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (std::size_t n : {std::size_t{64}, std::size_t{256}, std::size_t{512}, std::size_t{2048},
                          std::size_t{4096}, std::size_t{1} << 16, std::size_t{1} << 17,
                          std::size_t{1} << 20}) {
        std::vector<double> x(n);
        for (double& v : x) v = u(rng);
        TFFT fwd;
        fwd.SetWindow(TFFTWindow::rectangle);
        fwd.Setremovedc(false);
        fwd.SetInRe(x);
        std::vector<double> xr = fwd.GetOutRe(), xi = fwd.GetOutIm();
        for (double& v : xi) v = -v;
        TFFT inv;
        inv.SetWindow(TFFTWindow::rectangle);
        inv.Setremovedc(false);
        inv.Setignoreinim(false);
        inv.SetInRe(xr);
        inv.SetInIm(xi);
        const auto& yr = inv.GetOutRe();
        const auto& yi = inv.GetOutIm();
        double worst = 0;
        for (std::size_t j = 0; j < n; ++j) {
            worst = std::max(worst, std::fabs(yr[j] * static_cast<double>(n) - x[j]));
            worst = std::max(worst, std::fabs(yi[j] * static_cast<double>(n)));
        }
        EXPECT_LT(worst, 1e-12) << "n=" << n;
    }
}

}  // namespace
}  // namespace tessal
