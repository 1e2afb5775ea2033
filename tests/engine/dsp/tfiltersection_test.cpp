// The filter sections against their analytic transfer functions (pole and
// zero positions, analogue prototypes through the prewarped bilinear map),
// closed-form impulse responses, state kept across calls, and the design
// rules: limits, failures, derived pole and zero descriptions.
#include "engine/dsp/tfiltersection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace tessal {
namespace {

using cplx = std::complex<double>;
constexpr double pi = std::numbers::pi;
constexpr double fs = 16000.0;

// The frequency response at f Hz measured as the DTFT of the impulse
// response (long enough for every section here to have died out).
template <typename Section>
cplx measured_response(Section s, double f, std::size_t length = 8000) {
    s.reset();
    const double omega = 2 * pi * f / s.GetSampFreq();
    cplx sum = 0;
    for (std::size_t n = 0; n < length; ++n) {
        const double h = s.filter(n == 0 ? 1.0 : 0.0);
        sum += h * std::polar(1.0, -omega * static_cast<double>(n));
    }
    return sum;
}

void expect_same_response(cplx measured, cplx expected, double f) {
    EXPECT_NEAR(std::abs(measured), std::abs(expected), 1e-9 * std::max(1.0, std::abs(expected)))
        << "f=" << f;
    if (std::abs(expected) > 1e-6) {
        EXPECT_NEAR(std::remainder(std::arg(measured) - std::arg(expected), 2 * pi), 0.0, 1e-8)
            << "f=" << f;
    }
}

const std::vector<double> probe_freqs = {0.0, 50.0, 400.0, 999.0, 1000.0, 2500.0, 6000.0, 7999.0};

// The analogue prototype's variable at f for a corner f0: the bilinear map
// with prewarping gives s/w0 = i tan(pi f / fs) / tan(pi f0 / fs).
cplx warped_s(double f, double f0) { return cplx(0, std::tan(pi * f / fs) / std::tan(pi * f0 / fs)); }

std::vector<double> noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> x(n);
    for (auto& v : x) v = u(rng);
    return x;
}

TEST(TFilterSection, DefaultsPassTheSignalTimesGain) {
    const auto x = noise(200, 1);
    for (tfiltertype t : {tfiltertype::ftnone, tfiltertype::ftpole, tfiltertype::ftzero,
                          tfiltertype::ftboth}) {
        TFilterSection s;
        EXPECT_EQ(s.GetFilterType(), tfiltertype::ftboth);
        s.SetFilterType(t);
        s.SetGain(2.5);
        for (double v : x) EXPECT_EQ(s.filter(v), 2.5 * v);
    }
}

TEST(TFilterSection, PoleAndZeroPairsMatchTheirPositions) {
    TFilterSection s;
    s.SetUseF0BW(true);
    s.SetPoleF0(700);
    s.SetPoleBW(120);
    s.SetZeroF0(2300);
    s.SetZeroBW(300);
    s.SetGain(0.7);
    // Poles at exp(-pi B / fs +- i 2 pi F0 / fs), likewise the zeros, each
    // pair scaled to unity gain at z = 1.
    const cplx p = std::exp(cplx(-pi * 120 / fs, 2 * pi * 700 / fs));
    const cplx q = std::exp(cplx(-pi * 300 / fs, 2 * pi * 2300 / fs));
    auto pair_at = [](cplx root, cplx z) { return (1.0 - root / z) * (1.0 - std::conj(root) / z); };
    for (double f : probe_freqs) {
        const cplx z = std::polar(1.0, 2 * pi * f / fs);
        const cplx poles = pair_at(p, 1.0) / pair_at(p, z);
        const cplx zeros = pair_at(q, z) / pair_at(q, 1.0);
        expect_same_response(measured_response(s, f), 0.7 * poles * zeros, f);

        TFilterSection pole_only = s, zero_only = s;
        pole_only.SetFilterType(tfiltertype::ftpole);
        zero_only.SetFilterType(tfiltertype::ftzero);
        expect_same_response(measured_response(pole_only, f), 0.7 * poles, f);
        expect_same_response(measured_response(zero_only, f), 0.7 * zeros, f);
    }
}

TEST(TFilterSection, ImpulseResponsesHaveTheirClosedForms) {
    // A pole pair r e^(+-i theta): h[n] = a0 r^n sin((n + 1) theta) / sin theta.
    const double r = 0.95, theta = 0.3;
    TFilterSection s;
    s.SetFilterType(tfiltertype::ftpole);
    s.Seta0(0.2);
    s.Seta1(2 * r * std::cos(theta));
    s.Seta2(-r * r);
    for (int n = 0; n < 300; ++n)
        EXPECT_NEAR(s.filter(n == 0), 0.2 * std::pow(r, n) * std::sin((n + 1) * theta) / std::sin(theta),
                    1e-12);
    // Zeros only: gain b0 [1, b1, b2, 0, ...].
    TFilterSection z;
    z.SetFilterType(tfiltertype::ftzero);
    z.Setb0(0.5);
    z.Setb1(-0.4);
    z.Setb2(0.3);
    z.SetGain(2);
    const double expected[] = {1.0, -0.4, 0.3, 0.0, 0.0};
    for (int n = 0; n < 5; ++n) EXPECT_DOUBLE_EQ(z.filter(n == 0 ? 1.0 : 0.0), expected[n]);
}

TEST(TFilterSection, CoefficientsGiveBackTheirPoleAndZeroDescription) {
    TFilterSection designed;
    designed.SetUseF0BW(true);
    designed.SetPoleF0(700);
    designed.SetPoleBW(120);
    designed.SetZeroF0(3100);
    designed.SetZeroBW(45);
    TFilterSection raw;
    raw.Seta1(designed.Geta1());
    raw.Seta2(designed.Geta2());
    raw.Setb1(designed.Getb1());
    raw.Setb2(designed.Getb2());
    EXPECT_NEAR(raw.GetPoleF0(), 700, 1e-9);
    EXPECT_NEAR(raw.GetPoleBW(), 120, 1e-9);
    EXPECT_NEAR(raw.GetZeroF0(), 3100, 1e-9);
    EXPECT_NEAR(raw.GetZeroBW(), 45, 1e-9);
    // Two real poles (or none) are no complex pair.
    raw.Seta1(1.5);
    raw.Seta2(-0.5);
    EXPECT_EQ(raw.GetPoleF0(), 0.0);
    EXPECT_EQ(raw.GetPoleBW(), 0.0);
    raw.Setb2(0.0);
    EXPECT_EQ(raw.GetZeroF0(), 0.0);
    EXPECT_EQ(raw.GetZeroBW(), 0.0);
}

TEST(TFilterSection, DesignRulesAndFailures) {
    TFilterSection s;
    // Frequency setters are ignored until UseF0BW is on.
    s.SetPoleF0(500);
    s.SetPoleBW(100);
    EXPECT_EQ(s.GetPoleF0(), 0.0);
    EXPECT_EQ(s.Geta1(), 0.0);
    s.SetUseF0BW(true);
    s.SetPoleF0(500);
    s.SetPoleBW(100);
    s.SetZeroF0(1500);
    s.SetZeroBW(200);
    // ... and coefficients belong to the design while it is on.
    const double a1 = s.Geta1();
    s.Seta1(0.123);
    EXPECT_EQ(s.Geta1(), a1);
    EXPECT_NEAR(s.Geta0() / (1 - s.Geta1() - s.Geta2()), 1.0, 1e-14);
    EXPECT_NEAR(s.Getb0() * (1 + s.Getb1() + s.Getb2()), 1.0, 1e-14);

    // A zero sampling frequency gives the neutral coefficients.
    s.SetSampFreq(0);
    EXPECT_EQ(s.Geta0(), 1.0);
    EXPECT_EQ(s.Geta1(), 0.0);
    EXPECT_EQ(s.Geta2(), 0.0);
    EXPECT_EQ(s.Getb0(), 1.0);
    EXPECT_EQ(s.Getb1(), 0.0);
    EXPECT_EQ(s.Getb2(), 0.0);
    // A new sampling frequency redesigns from the stored frequencies.
    s.SetSampFreq(fs);
    EXPECT_EQ(s.Geta1(), a1);
    // A zero pair at 0 Hz with no bandwidth cannot be scaled to unity there.
    s.SetZeroF0(0);
    s.SetZeroBW(0);
    EXPECT_EQ(s.Getb0(), 1.0);
    EXPECT_EQ(s.Getb1(), 0.0);
}

TEST(TLPFilterSection, LowPassAndHighPassMatchTheirAnaloguePrototypes) {
    for (double q : {0.5, 0.7071, 1.0, 4.0}) {
        for (double f0 : {150.0, 1000.0, 5000.0}) {
            TLPFilterSection lp;
            THPFilterSection hp;
            lp.SetF0(f0);
            lp.SetQ(q);
            hp.SetQ(q);
            hp.SetF0(f0);
            for (double f : probe_freqs) {
                const cplx sv = warped_s(f, f0);
                const cplx den = sv * sv + sv / q + 1.0;
                expect_same_response(measured_response(lp, f), 1.0 / den, f);
                expect_same_response(measured_response(hp, f), sv * sv / den, f);
            }
            EXPECT_NEAR(std::abs(measured_response(hp, fs / 2)), 1.0, 1e-9);
        }
    }
    TLPFilterSection lp;
    EXPECT_EQ(lp.GetF0(), 1000.0);
    EXPECT_EQ(lp.GetQ(), 1.0);
    lp.SetQ(4);
    EXPECT_EQ(lp.Getbw(), 250.0);
    // A constant settles to itself through the low-pass section.
    double y = 0;
    for (int n = 0; n < 2000; ++n) y = lp.filter(3.0);
    EXPECT_NEAR(y, 3.0, 1e-12);
}

TEST(TLPFilterSection, NewSampFreqRedesignsAndFailuresKeepTheCoefficients) {
    TLPFilterSection a, b;
    a.SetSampFreq(44100);
    b.SetSampFreq(44100);
    b.SetF0(1000);  // the same design reached another way
    EXPECT_EQ(a.Geta1(), b.Geta1());
    for (double f : {500.0, 3000.0}) {
        const cplx sv = cplx(0, std::tan(pi * f / 44100) / std::tan(pi * 1000 / 44100));
        expect_same_response(measured_response(a, f), 1.0 / (sv * sv + sv + 1.0), f);
    }
    THPFilterSection hp;
    const double a1 = hp.Geta1(), b0 = hp.Getb0();
    hp.SetF0(0);
    hp.SetSampFreq(0);
    hp.SetQ(0);
    EXPECT_EQ(hp.Geta1(), a1);
    EXPECT_EQ(hp.Getb0(), b0);
    TLPFilterSection lp;
    const double lpa1 = lp.Geta1();
    lp.SetSampFreq(0);
    EXPECT_EQ(lp.Geta1(), lpa1);
    EXPECT_TRUE(std::isfinite(lp.filter(1.0)));
}

TEST(TRealFilterSection, MatchesItsAnaloguePoleAndZero) {
    for (bool hf : {false, true}) {
        for (auto [fz, fp] : {std::pair{300.0, 2000.0}, std::pair{3000.0, 150.0}}) {
            TRealFilterSection s;
            s.SetUnityGainAtHF(hf);
            s.SetFZero(fz);
            s.SetFPole(fp);
            s.SetGain(1.5);
            // (1 + s/wz) / (1 + s/wp), scaled by wz/wp... for unity at high
            // frequencies, where it tends to wp/wz.
            const double tz = std::tan(pi * fz / fs), tp = std::tan(pi * fp / fs);
            for (double f : probe_freqs) {
                const double tf = std::tan(pi * f / fs);
                cplx h = cplx(1, tf / tz) / cplx(1, tf / tp);
                if (hf) h *= tz / tp;
                expect_same_response(measured_response(s, f), 1.5 * h, f);
            }
        }
    }
}

TEST(TRealFilterSection, ImpulseResponseSettlingAndLimits) {
    TRealFilterSection s;
    s.SetFZero(200);
    s.SetFPole(900);
    // h[0] = b0 a0, h[n] = b0 a0 (a1 + b1) a1^(n-1).
    const double a0 = s.Geta0(), a1 = s.Geta1(), b0 = s.Getb0(), b1 = s.Getb1();
    EXPECT_NEAR(s.filter(1.0), b0 * a0, 1e-15);
    for (int n = 1; n < 100; ++n) EXPECT_NEAR(s.filter(0.0), b0 * a0 * (a1 + b1) * std::pow(a1, n - 1), 1e-14);

    s.reset();
    double y = 0;
    for (int n = 0; n < 5000; ++n) y = s.filter(-2.0);
    EXPECT_NEAR(y, -2.0, 1e-12);
    s.SetUnityGainAtHF(true);
    s.reset();
    for (int n = 0; n < 5000; ++n) y = s.filter(n % 2 ? 1.0 : -1.0);
    EXPECT_NEAR(y, 1.0, 1e-9);

    s.SetFPole(9000);
    EXPECT_DOUBLE_EQ(s.GetFPole(), fs / 2.0001);
    s.SetFZero(-9000);
    EXPECT_DOUBLE_EQ(s.GetFZero(), -fs / 2.0001);
    s.SetFZero(9000);
    EXPECT_DOUBLE_EQ(s.GetFZero(), fs / 2.0001);
    EXPECT_TRUE(std::isfinite(s.Geta1()) && std::isfinite(s.Getb1()));

    // A sampling frequency of 0 leaves frequencies and coefficients alone;
    // a real one redesigns them.
    TRealFilterSection r;
    r.SetFZero(300);
    const double rb1 = r.Getb1();
    r.SetSampFreq(0);
    EXPECT_EQ(r.GetFZero(), 300.0);
    EXPECT_EQ(r.Getb1(), rb1);
    r.SetSampFreq(8000);
    TRealFilterSection fresh;
    fresh.SetSampFreq(8000);
    fresh.SetFZero(300);
    EXPECT_EQ(r.Getb1(), fresh.Getb1());
    EXPECT_EQ(r.Geta1(), fresh.Geta1());
}

// Filtering in pieces, with filter() or filter_arr(), equals one long call;
// reset makes the next output depend on the next input only.
template <typename Section>
void expect_state_carried(Section s) {
    const auto x = noise(3000, 7);
    std::vector<double> whole(x.size()), pieces(x.size());
    Section one = s;
    one.filter_arr(x.data(), whole.data(), x.size());
    Section split = s;
    std::size_t i = 0;
    for (std::size_t len : {1u, 2u, 500u, 37u}) {
        split.filter_arr(x.data() + i, pieces.data() + i, len);
        i += len;
    }
    for (; i < x.size(); ++i) pieces[i] = split.filter(x[i]);
    EXPECT_EQ(whole, pieces);

    std::vector<float> xf(x.begin(), x.end()), yf(x.size());
    Section f = s;
    f.filter_arr(xf.data(), yf.data(), xf.size());
    Section g = s;
    for (std::size_t k = 0; k < xf.size(); ++k)
        EXPECT_EQ(yf[k], static_cast<float>(g.filter(xf[k])));
    // In place.
    f.reset();
    std::vector<float> inplace = xf;
    f.filter_arr(inplace.data(), inplace.data(), inplace.size());
    EXPECT_EQ(inplace, yf);

    Section fresh = s;
    one.reset();
    for (std::size_t k = 0; k < 50; ++k) EXPECT_EQ(one.filter(x[k]), fresh.filter(x[k]));
}

TEST(FilterSections, StateCarriesAcrossCallsAndResets) {
    TFilterSection general;
    general.SetUseF0BW(true);
    general.SetPoleF0(800);
    general.SetPoleBW(90);
    general.SetZeroF0(2000);
    general.SetZeroBW(150);
    expect_state_carried(general);
    TFilterSection zeros = general;
    zeros.SetFilterType(tfiltertype::ftzero);
    expect_state_carried(zeros);
    TLPFilterSection lp;
    lp.SetQ(3);
    expect_state_carried(lp);
    expect_state_carried(THPFilterSection{});
    TRealFilterSection real;
    real.SetFPole(100);
    expect_state_carried(real);
}

}  // namespace
}  // namespace tessal
