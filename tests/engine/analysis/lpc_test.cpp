// Linear prediction against independent truth: the coefficients an AR
// process was generated with, the normal equations solved by Gaussian
// elimination, a sinusoid's frequency, and the autocorrelation matching
// property (the autocorrelation method's model spectrum integrates back to
// the autocorrelation it was fitted to).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "engine/analysis/lpc.h"

using namespace tessal;

namespace {

constexpr double pi = std::numbers::pi;

// A(z) with resonances at (f, bw) pairs, fs = 1: the product of the
// sections 1 - 2 r cos(w) z^-1 + r^2 z^-2.
std::vector<double> poly_from_resonances(const std::vector<std::pair<double, double>>& res) {
    std::vector<double> a{1.0};
    for (auto [f, bw] : res) {
        const double r = std::exp(-pi * bw), c = -2 * r * std::cos(2 * pi * f);
        std::vector<double> next(a.size() + 2, 0.0);
        for (std::size_t i = 0; i < a.size(); ++i) {
            next[i] += a[i];
            next[i + 1] += c * a[i];
            next[i + 2] += r * r * a[i];
        }
        a = next;
    }
    return a;
}

std::vector<double> ar_process(const std::vector<double>& a, std::size_t n, double sigma, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0, sigma);
    std::vector<double> x(n + 1000, 0.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        double v = g(rng);
        for (std::size_t k = 1; k < a.size() && k <= i; ++k) v -= a[k] * x[i - k];
        x[i] = v;
    }
    return {x.begin() + 1000, x.end()};  // past the start-up
}

// The normal equations R a = -r solved by elimination with partial pivoting.
std::vector<double> solve_normal_equations(const std::vector<double>& r, int p) {
    std::vector<std::vector<double>> m(p, std::vector<double>(p + 1));
    for (int i = 0; i < p; ++i) {
        for (int j = 0; j < p; ++j) m[i][j] = r[std::abs(i - j)];
        m[i][p] = -r[i + 1];
    }
    for (int c = 0; c < p; ++c) {
        int best = c;
        for (int i = c + 1; i < p; ++i)
            if (std::abs(m[i][c]) > std::abs(m[best][c])) best = i;
        std::swap(m[c], m[best]);
        for (int i = c + 1; i < p; ++i) {
            const double f = m[i][c] / m[c][c];
            for (int j = c; j <= p; ++j) m[i][j] -= f * m[c][j];
        }
    }
    std::vector<double> a(p + 1, 0.0);
    a[0] = 1;
    for (int i = p - 1; i >= 0; --i) {
        double s = m[i][p];
        for (int j = i + 1; j < p; ++j) s -= m[i][j] * a[j + 1];
        a[i + 1] = s / m[i][i];
    }
    return a;
}

}  // namespace

// An AR(4) process (resonances at 0.05 and 0.2 of the sampling rate) from
// unit-variance noise: both methods give back the generating polynomial and
// the noise's power as the error, from floats and from doubles.
TEST(Lpc, BothMethodsRecoverAnAutoregressiveProcess) {
    const std::vector<double> truth = poly_from_resonances({{0.05, 0.01}, {0.2, 0.03}});
    const std::vector<double> x = ar_process(truth, 200000, 1.0, 7);
    const std::vector<float> xf(x.begin(), x.end());
    for (const tlpc& m : {lpc_burg(x.data(), x.size(), 4), lpc_autocorrelation(x.data(), x.size(), 4),
                          lpc_burg(xf.data(), xf.size(), 4), lpc_autocorrelation(xf.data(), xf.size(), 4)}) {
        ASSERT_EQ(m.a.size(), 5u);
        EXPECT_EQ(m.a[0], 1.0);
        for (int k = 1; k <= 4; ++k) EXPECT_NEAR(m.a[k], truth[k], 0.01) << "k=" << k;
        EXPECT_NEAR(m.error, 1.0, 0.02);
    }
    // A higher order than the process needs adds coefficients near 0.
    const tlpc high = lpc_burg(x.data(), x.size(), 8);
    for (int k = 5; k <= 8; ++k) EXPECT_NEAR(high.a[k], 0.0, 0.02);
}

// Levinson-Durbin and elimination solve the same Toeplitz system; the final
// error is r0 + sum a_k r_k.
TEST(Lpc, LevinsonDurbinSolvesTheNormalEquations) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> x(300);
    for (double& v : x) v = u(rng);
    for (std::size_t i = 1; i < x.size(); ++i) x[i] += 0.9 * x[i - 1];
    const int p = 12;
    std::vector<double> r(p + 1, 0.0);
    for (int k = 0; k <= p; ++k)
        for (std::size_t i = 0; i + k < x.size(); ++i) r[k] += x[i] * x[i + k];
    const tlpc m = levinson_durbin(r.data(), p);
    const std::vector<double> ref = solve_normal_equations(r, p);
    for (int k = 0; k <= p; ++k) EXPECT_NEAR(m.a[k], ref[k], 1e-9) << "k=" << k;
    double e = 0;
    for (int k = 0; k <= p; ++k) e += ref[k] * r[k];
    EXPECT_NEAR(m.error, e, 1e-9 * r[0]);
    const tlpc viaframe = lpc_autocorrelation(x.data(), x.size(), p);
    for (int k = 0; k <= p; ++k) EXPECT_NEAR(viaframe.a[k], ref[k], 1e-9);
    EXPECT_NEAR(viaframe.error, e / x.size(), 1e-9 * r[0]);
}

// The autocorrelation method matches r[0..p]: the model's spectrum
// error/|A|^2 averaged over frequency is r0/n, and weighted by cos(w) it is
// r1/n. This pins the error's scale, which the envelope's gain rests on.
TEST(Lpc, ModelSpectrumIntegratesToTheSignalsPower) {
    const std::vector<double> x = ar_process(poly_from_resonances({{0.1, 0.02}}), 4000, 0.3, 11);
    const tlpc m = lpc_autocorrelation(x.data(), x.size(), 6);
    double r0 = 0, r1 = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        r0 += x[i] * x[i];
        if (i + 1 < x.size()) r1 += x[i] * x[i + 1];
    }
    r0 /= x.size(), r1 /= x.size();
    const int steps = 20000;
    double p0 = 0, p1 = 0;
    for (int i = 0; i < steps; ++i) {
        const double f = (i + 0.5) / steps;  // fs = 1, the whole circle
        const double s = std::pow(10.0, lpc_power_db(m, f, 1.0) / 10);
        p0 += s / steps;
        p1 += s * std::cos(2 * pi * f) / steps;
    }
    EXPECT_NEAR(p0, r0, 1e-6 * r0);
    EXPECT_NEAR(p1, r1, 1e-6 * r0);
}

// A record of a sinusoid of twenty periods: order 2 places the pole pair
// near its frequency (a1 = -2 cos w with a2 near 1) for Burg. (Burg's
// frequency estimate of a short record depends on the phase, Chen and
// Stegen 1974: at 3.5 periods it is off by up to 4 %.)
TEST(Lpc, BurgFindsASinusoidsFrequency) {
    for (double f : {0.03, 0.11, 0.37}) {
        const std::size_t n = static_cast<std::size_t>(20 / f);
        std::vector<double> x(n);
        for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(2 * pi * f * i + 0.4);
        const tlpc m = lpc_burg(x.data(), n, 2);
        EXPECT_NEAR(m.a[2], 1.0, 1e-2) << f;
        EXPECT_NEAR(std::acos(-m.a[1] / (2 * std::sqrt(m.a[2]))) / (2 * pi), f, 0.01 * f) << f;
        EXPECT_GE(m.error, 0.0);
        EXPECT_LT(m.error, 1e-3);
    }
}

// Inputs without a model: silence, too few samples, order 0, a constant.
TEST(Lpc, DegenerateInputsGiveAFlatModel) {
    const std::vector<float> zeros(100, 0.0f), three{1.0f, 2.0f, 3.0f}, dc(50, 2.0f);
    for (auto fn : {+[](const float* x, std::size_t n, int p) { return lpc_burg(x, n, p); },
                    +[](const float* x, std::size_t n, int p) { return lpc_autocorrelation(x, n, p); }}) {
        tlpc m = fn(zeros.data(), zeros.size(), 10);
        ASSERT_EQ(m.a.size(), 11u);
        EXPECT_EQ(m.a[0], 1.0);
        for (int k = 1; k <= 10; ++k) EXPECT_EQ(m.a[k], 0.0);
        EXPECT_EQ(m.error, 0.0);
        m = fn(three.data(), three.size(), 10);
        ASSERT_EQ(m.a.size(), 11u);
        for (double v : m.a) EXPECT_TRUE(std::isfinite(v));
        EXPECT_TRUE(std::isfinite(m.error));
        m = fn(three.data(), three.size(), 0);
        ASSERT_EQ(m.a.size(), 1u);
        EXPECT_NEAR(m.error, 14.0 / 3.0, 1e-12);
        m = fn(dc.data(), dc.size(), 4);
        for (double v : m.a) EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(m.error, 0.0);
        EXPECT_TRUE(std::isfinite(lpc_power_db(m, 100, 1000)));
        m = fn(nullptr, 0, 3);
        EXPECT_EQ(m.a.size(), 4u);
        EXPECT_EQ(m.error, 0.0);
    }
}
