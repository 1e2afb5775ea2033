// Synthetic vowels with a known F0 in every cycle: a Rosenberg glottal
// pulse per cycle (its derivative, as radiated), through a cascade of
// formant resonators, with cycle-to-cycle jitter, an F0 contour (steady,
// vibrato, glide) and white noise at a given SNR over the whole signal,
// between stretches of silence (noise only).
#pragma once

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/dsp/arrays.h"

namespace tessal::testing {

struct tvowel {
    std::string name;
    double fs = 16000;
    tsinglearr x;
    std::vector<double> start;  // cycle start times (s), one past the last
    double lead = 0;            // silence before and after the voiced part
    // The F0 of the cycle holding time t, 0 outside the voiced part.
    double f0_at(double t) const {
        if (start.size() < 2 || t < start.front() || t >= start.back()) return 0;
        std::size_t lo = 0, hi = start.size() - 1;
        while (hi - lo > 1) {
            const std::size_t m = (lo + hi) / 2;
            (start[m] <= t ? lo : hi) = m;
        }
        return 1 / (start[lo + 1] - start[lo]);
    }
};

struct tvowelparams {
    std::string name;
    std::function<double(double)> f0;  // over the voiced part's own time
    double jitter = 0;                 // relative standard deviation of each period
    double snrdb = 1e9;                // noise below the voiced part's power
    std::vector<std::pair<double, double>> formants;  // frequency, bandwidth
    double voiced = 1.0, lead = 0.25, fs = 16000;
    unsigned seed = 1;
    // Creak-like period doubling: cycles alternate between periods
    // (1 + doubling) T and (1 - doubling) T, and the shorter ones are
    // weaker by the factor (1 - 2 doubling).
    double doubling = 0;
};

inline tvowel make_vowel(const tvowelparams& s) {
    const double pi = std::numbers::pi;
    tvowel v;
    v.name = s.name;
    v.fs = s.fs;
    v.lead = s.lead;
    const std::size_t n = static_cast<std::size_t>((s.voiced + 2 * s.lead) * s.fs);
    std::vector<double> flow(n, 0.0);
    std::mt19937 rng(s.seed);
    std::normal_distribution<double> gauss(0, 1);
    double t = s.lead;
    bool odd = false;
    for (;;) {
        odd = !odd;
        const double T = 1 / s.f0(t - s.lead) * (1 + s.jitter * gauss(rng)) *
                         (1 + (odd ? s.doubling : -s.doubling));
        if (t + T > s.lead + s.voiced) break;
        v.start.push_back(t);
        const double amp = odd ? 1.0 : 1 - 2 * s.doubling;
        const double tp = 0.4 * T, tn = 0.16 * T;
        for (std::size_t j = static_cast<std::size_t>(std::ceil(t * s.fs)); j < n && j / s.fs < t + T; ++j) {
            const double u = j / s.fs - t;
            flow[j] = amp * (u <= tp ? 0.5 * (1 - std::cos(pi * u / tp)) : u <= tp + tn ? std::cos(pi * (u - tp) / (2 * tn)) : 0.0);
        }
        t += T;
    }
    if (!v.start.empty()) v.start.push_back(t);
    // Radiated: the derivative of the flow, through the formants.
    std::vector<double> y(n, 0.0);
    for (std::size_t j = 1; j < n; ++j) y[j] = (flow[j] - flow[j - 1]) * s.fs;
    for (auto [f, b] : s.formants) {
        const double r = std::exp(-pi * b / s.fs), c = 2 * r * std::cos(2 * pi * f / s.fs);
        const double g = 1 - c + r * r;
        double y1 = 0, y2 = 0;
        for (double& val : y) {
            const double o = g * val + c * y1 - r * r * y2;
            y2 = y1, y1 = o, val = o;
        }
    }
    double peak = 0, power = 0, count = 0;
    for (std::size_t j = 0; j < n; ++j) {
        peak = std::max(peak, std::fabs(y[j]));
        if (j / s.fs >= s.lead && j / s.fs < s.lead + s.voiced) power += y[j] * y[j], ++count;
    }
    const double scale = 0.5 / peak;
    const double sigma = std::sqrt(power / count) * scale * std::pow(10.0, -s.snrdb / 20);
    v.x.resize(n);
    for (std::size_t j = 0; j < n; ++j) v.x[j] = static_cast<float>(y[j] * scale + sigma * gauss(rng));
    return v;
}

}  // namespace tessal::testing
