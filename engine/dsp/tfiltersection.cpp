// The filter sections' designs and block loops; see tfiltersection.h.
#include "engine/dsp/tfiltersection.h"

#include <cmath>
#include <numbers>

namespace tessal {

namespace {

constexpr double pi = std::numbers::pi;

bool all_finite(double a, double b, double c) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

template <typename Section, typename T>
void run_block(Section& s, const T* in, T* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<T>(s.filter(in[i]));
}

}  // namespace

// ---- TFilterSection ----

void TFilterSection::filter_arr(const float* inarr, float* outarr, std::size_t nsamps) {
    run_block(*this, inarr, outarr, nsamps);
}
void TFilterSection::filter_arr(const double* inarr, double* outarr, std::size_t nsamps) {
    run_block(*this, inarr, outarr, nsamps);
}

void TFilterSection::design_pole() {
    const double r = std::exp(-pi * fpolebw / fsf);
    const double a2 = -std::exp(-2.0 * pi * fpolebw / fsf);
    const double a1 = 2.0 * r * std::cos(2.0 * pi * fpolef0 / fsf);
    const double a0 = 1.0 - a1 - a2;  // unity gain at 0 Hz
    if (fsf > 0 && all_finite(a0, a1, a2)) {
        fa0 = a0, fa1 = a1, fa2 = a2;
    } else {
        fa0 = 1.0, fa1 = 0.0, fa2 = 0.0;
    }
}

void TFilterSection::design_zero() {
    const double b2 = std::exp(-2.0 * pi * fzerobw / fsf);
    const double b1 = -2.0 * std::exp(-pi * fzerobw / fsf) * std::cos(2.0 * pi * fzerof0 / fsf);
    const double b0 = 1.0 / (1.0 + b1 + b2);  // unity gain at 0 Hz
    if (fsf > 0 && all_finite(b0, b1, b2)) {
        fb0 = b0, fb1 = b1, fb2 = b2;
    } else {
        fb0 = 1.0, fb1 = 0.0, fb2 = 0.0;
    }
}

// a2 = -r^2, a1 = 2 r cos(theta): B = -ln(r^2) fs / 2pi, F0 = theta fs / 2pi.
void TFilterSection::derive_pole() {
    const double bw = -std::log(-fa2) * fsf / (2.0 * pi);
    const double f0 = std::acos(fa1 / (2.0 * std::sqrt(-fa2))) * fsf / (2.0 * pi);
    if (std::isfinite(bw) && std::isfinite(f0)) {
        fpolebw = bw, fpolef0 = f0;
    } else {
        fpolebw = fpolef0 = 0.0;
    }
}

// b2 = r^2, b1 = -2 r cos(theta).
void TFilterSection::derive_zero() {
    const double bw = -std::log(fb2) * fsf / (2.0 * pi);
    const double f0 = std::acos(-fb1 / (2.0 * std::sqrt(fb2))) * fsf / (2.0 * pi);
    if (std::isfinite(bw) && std::isfinite(f0)) {
        fzerobw = bw, fzerof0 = f0;
    } else {
        fzerobw = fzerof0 = 0.0;
    }
}

void TFilterSection::Seta0(double v) {
    if (!fusef0bw) fa0 = v;
}
void TFilterSection::Seta1(double v) {
    if (fusef0bw) return;
    fa1 = v;
    derive_pole();
}
void TFilterSection::Seta2(double v) {
    if (fusef0bw) return;
    fa2 = v;
    derive_pole();
}
void TFilterSection::Setb0(double v) {
    if (!fusef0bw) fb0 = v;
}
void TFilterSection::Setb1(double v) {
    if (fusef0bw) return;
    fb1 = v;
    derive_zero();
}
void TFilterSection::Setb2(double v) {
    if (fusef0bw) return;
    fb2 = v;
    derive_zero();
}

void TFilterSection::SetPoleF0(double f) {
    if (!fusef0bw) return;
    fpolef0 = f;
    design_pole();
}
void TFilterSection::SetPoleBW(double b) {
    if (!fusef0bw) return;
    fpolebw = b;
    design_pole();
}
void TFilterSection::SetZeroF0(double f) {
    if (!fusef0bw) return;
    fzerof0 = f;
    design_zero();
}
void TFilterSection::SetZeroBW(double b) {
    if (!fusef0bw) return;
    fzerobw = b;
    design_zero();
}

void TFilterSection::SetSampFreq(double fs) {
    fsf = fs;
    if (!fusef0bw) return;
    if (fpolef0 != 0.0 && fpolebw != 0.0) design_pole();
    if (fzerof0 != 0.0 && fzerobw != 0.0) design_zero();
}

// ---- TLPFilterSection, THPFilterSection ----

bilinear_filter_section::bilinear_filter_section(bool highpass) : fhighpass(highpass) {
    design();
}

void bilinear_filter_section::filter_arr(const float* inarr, float* outarr, std::size_t nsamps) {
    run_block(*this, inarr, outarr, nsamps);
}
void bilinear_filter_section::filter_arr(const double* inarr, double* outarr,
                                         std::size_t nsamps) {
    run_block(*this, inarr, outarr, nsamps);
}

void bilinear_filter_section::design() {
    const double t = std::tan(pi * ff0 / fsf);
    const double p = 1.0 / (t * t);
    const double q = 1.0 / (t * fq);
    const double d = p + q + 1.0;
    const double a2 = -(p - q + 1.0) / d;
    const double a1 = -2.0 * (1.0 - p) / d;
    const double a0 = 1.0 - a1 - a2;
    const double b0 = fhighpass ? 0.25 * p : 0.25;
    if (!all_finite(a0, a1, a2) || !std::isfinite(b0)) return;
    fa0 = a0, fa1 = a1, fa2 = a2;
    fb0 = b0;
    fb1 = fhighpass ? -2.0 : 2.0;
    fb2 = 1.0;
}

void bilinear_filter_section::SetF0(double f) {
    ff0 = f;
    design();
}
void bilinear_filter_section::SetQ(double q) {
    fq = q;
    design();
}
void bilinear_filter_section::SetSampFreq(double fs) {
    fsf = fs;
    design();
}

// ---- TRealFilterSection ----

TRealFilterSection::TRealFilterSection() {
    design_zero();
    design_pole();
}

void TRealFilterSection::filter_arr(const float* inarr, float* outarr, std::size_t nsamps) {
    run_block(*this, inarr, outarr, nsamps);
}
void TRealFilterSection::filter_arr(const double* inarr, double* outarr, std::size_t nsamps) {
    run_block(*this, inarr, outarr, nsamps);
}

// Without a positive sampling frequency there is nothing to limit against;
// the frequencies and coefficients stay as they are.
void TRealFilterSection::design_zero() {
    if (!(fsf > 0)) return;
    const double limit = fsf / 2.0001;
    if (ffzero > limit) ffzero = limit;
    if (ffzero < -limit) ffzero = -limit;
    const double t = std::tan(pi * ffzero / fsf);
    const double b1 = (t - 1.0) / (t + 1.0);
    const double b0 = funitygainathf ? 1.0 / (1.0 - b1) : 1.0 / (1.0 + b1);
    if (!std::isfinite(b0) || !std::isfinite(b1)) return;
    fb0 = b0, fb1 = b1;
}

void TRealFilterSection::design_pole() {
    if (!(fsf > 0)) return;
    const double limit = fsf / 2.0001;
    if (ffpole > limit) ffpole = limit;
    const double t = std::tan(pi * ffpole / fsf);
    const double a1 = -(t - 1.0) / (t + 1.0);
    const double a0 = funitygainathf ? 1.0 + a1 : 1.0 - a1;
    if (!std::isfinite(a0) || !std::isfinite(a1)) return;
    fa0 = a0, fa1 = a1;
}

void TRealFilterSection::SetFZero(double f) {
    ffzero = f;
    design_zero();
}
void TRealFilterSection::SetFPole(double f) {
    ffpole = f;
    design_pole();
}
void TRealFilterSection::SetUnityGainAtHF(bool on) {
    funitygainathf = on;
    design_zero();
    design_pole();
}
void TRealFilterSection::SetSampFreq(double fs) {
    fsf = fs;
    design_zero();
    design_pole();
}

void highpass_both_ways(std::vector<double>& s, double fs, double hz) {
    THPFilterSection h;
    h.SetSampFreq(fs);
    h.SetF0(hz);
    h.reset();
    for (double& v : s) v = h.filter(v);
    h.reset();
    for (std::size_t i = s.size(); i-- > 0;) s[i] = h.filter(s[i]);
}

}  // namespace tessal
