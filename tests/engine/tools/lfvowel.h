// Synthetic vowels for the voice-source tests: Liljencrants-Fant glottal
// pulses (flow and flow derivative in closed form) through a cascade of
// formant resonators written here independently of the program's filter
// sections, with lip radiation as a first difference.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessal::testing {

struct tlfcycle {
    double T0 = 0.008;  // s
    double tp = 0.45, te = 0.6, ta = 0.02, tc = 0.7;  // fractions of T0
    double Ee = 1.0;    // magnitude of the negative derivative peak
};

// One LF pulse with its parameters solved: the open phase
// E0 e^{a t} sin(wg t) up to te, the exponential return phase to tc, zero
// flow change afterwards, and zero net flow over the cycle.
class tlfpulse {
public:
    explicit tlfpulse(const tlfcycle& c) : c_(c) {
        T0 = c.T0;
        tp = c.tp * T0, te = c.te * T0, ta = c.ta * T0, tc = c.tc * T0;
        wg = M_PI / tp;
        eps = 1.0 / ta;
        for (int i = 0; i < 200; ++i) eps = (1.0 - std::exp(-eps * (tc - te))) / ta;
        // Bisection on alpha for zero net flow.
        double lo = -20.0 / T0, hi = 2000.0 / T0;
        for (int i = 0; i < 200; ++i) {
            const double mid = 0.5 * (lo + hi);
            alpha = mid;
            E0 = -c.Ee / (std::exp(alpha * te) * std::sin(wg * te));
            if (flow(tc) > 0) lo = mid; else hi = mid;
        }
    }
    // Derivative and flow at t (0 <= t < T0).
    double der(double t) const {
        if (t < te) return E0 * std::exp(alpha * t) * std::sin(wg * t);
        if (t < tc) return -c_.Ee / (eps * ta) * (std::exp(-eps * (t - te)) - std::exp(-eps * (tc - te)));
        return 0.0;
    }
    double flow(double t) const {
        const double tt = std::min(t, te);
        const double open = E0 * (std::exp(alpha * tt) * (alpha * std::sin(wg * tt) - wg * std::cos(wg * tt)) + wg) /
                            (alpha * alpha + wg * wg);
        if (t <= te) return open;
        const double u = std::min(t, tc) - te;
        return open - c_.Ee / (eps * ta) * ((1.0 - std::exp(-eps * u)) / eps - u * std::exp(-eps * (tc - te)));
    }
    double peakflow() const { return flow(tp); }
    double T0, tp, te, ta, tc, wg, eps, alpha = 0, E0 = 0;

private:
    tlfcycle c_;
};

struct tvowel {
    double fs = 16000;
    std::vector<double> flow, der, mic;
    std::vector<double> cyclestart;  // s
    std::vector<tlfpulse> pulses;
    // The model's derivative and flow at any time.
    std::size_t cycle_at(double t) const {
        std::size_t c = 0;
        while (c + 1 < cyclestart.size() && t >= cyclestart[c + 1]) ++c;
        return c;
    }
    double der_at(double t) const {
        const std::size_t c = cycle_at(t);
        return t < 0 ? 0.0 : pulses[c].der(t - cyclestart[c]);
    }
};

struct tresonance {
    double f, bw;
};

// Cycles one after another from t = 0 for `duration` seconds, the cycle
// parameters taken in turn from `cycles`.
inline tvowel make_vowel(double fs, double duration, const std::vector<tlfcycle>& cycles,
                         const std::vector<tresonance>& formants) {
    tvowel v;
    v.fs = fs;
    const std::size_t n = static_cast<std::size_t>(duration * fs);
    v.flow.assign(n, 0.0);
    v.der.assign(n, 0.0);
    double start = 0;
    std::size_t k = 0;
    while (start < duration) {
        v.pulses.emplace_back(cycles[k++ % cycles.size()]);
        v.cyclestart.push_back(start);
        start += v.pulses.back().T0;
    }
    std::size_t c = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / fs;
        while (c + 1 < v.cyclestart.size() && t >= v.cyclestart[c + 1]) ++c;
        v.flow[i] = v.pulses[c].flow(t - v.cyclestart[c]);
        v.der[i] = v.pulses[c].der(t - v.cyclestart[c]);
    }
    // Lip radiation, then the tract: resonators y = A x + B y1 + C y2 with
    // unity gain at 0 Hz.
    v.mic.assign(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) v.mic[i] = (v.flow[i] - v.flow[i - 1]) * fs;
    for (const tresonance& r : formants) {
        const double C = -std::exp(-2.0 * M_PI * r.bw / fs);
        const double B = 2.0 * std::exp(-M_PI * r.bw / fs) * std::cos(2.0 * M_PI * r.f / fs);
        const double A = 1.0 - B - C;
        double y1 = 0, y2 = 0;
        for (double& x : v.mic) {
            const double y = A * x + B * y1 + C * y2;
            y2 = y1;
            y1 = y;
            x = y;
        }
    }
    return v;
}

inline double correlation(const double* a, const double* b, std::size_t n) {
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= n, mb /= n;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

// Half a second of a vowel at 125 Hz, then half a second at 200 Hz (T0 of
// 8 and 5 ms), the microphone signal scaled to a peak of 0.5: the known F0
// of the correlogram's extraction tests.
inline std::vector<float> two_pitch_vowel(double fs) {
    const std::vector<tresonance> formants{{700, 80}, {1200, 90}, {2600, 120}};
    tlfcycle a;
    a.T0 = 0.008;
    tlfcycle b;
    b.T0 = 0.005;
    std::vector<double> all = make_vowel(fs, 0.5, {a}, formants).mic;
    const std::vector<double> high = make_vowel(fs, 0.5, {b}, formants).mic;
    all.insert(all.end(), high.begin(), high.end());
    double peak = 0;
    for (double x : all) peak = std::max(peak, std::abs(x));
    std::vector<float> out(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) out[i] = static_cast<float>(0.5 * all[i] / peak);
    return out;
}

}  // namespace tessal::testing
