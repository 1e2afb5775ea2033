// What several benchmarks work on: a recording of two noisy sines, and four
// formant-like filter sections (poles and zeros by frequency and
// bandwidth), as an inverse filter or a vowel model uses.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/dsp/tfiltersection.h"

namespace tessal::bench {

// One minute of a speech-like glottal source at `fs`: voiced for 1.6 s of
// every 2 s, F0 gliding between 85 and 260 Hz, each cycle's flow open for 60%
// of it as a raised cosine; the flow's derivative with a little noise (more
// in the unvoiced gaps). The benchmarks shape it with their own resonators.
inline std::vector<double> speechlike_source(double fs) {
    const double pi = 3.14159265358979323846;
    const std::size_t m = static_cast<std::size_t>(fs * 60);
    std::vector<double> y(m, 0.0);
    std::mt19937 rng(5);
    std::normal_distribution<double> g(0, 1);
    double phase = 0, prev = 0;
    for (std::size_t j = 0; j < m; ++j) {
        const double t = j / fs, within = std::fmod(t, 2.0);
        const bool voiced = within < 1.6;
        const double f0 = 85 + 175 * (0.5 + 0.5 * std::sin(2 * pi * t / 7.3)) * (0.8 + 0.2 * std::sin(2 * pi * within));
        phase = std::fmod(phase + f0 / fs, 1.0);
        const double flow = voiced && phase < 0.6 ? 0.5 - 0.5 * std::cos(2 * pi * phase / 0.6) : 0.0;
        y[j] = (flow - prev) * fs / 400 + (voiced ? 0.002 : 0.02) * g(rng);
        prev = flow;
    }
    return y;
}

// `y` repeated to `n` samples, scaled to a peak of 0.5.
inline tsinglearr looped_to(const std::vector<double>& y, std::size_t n) {
    double peak = 0;
    for (double v : y) peak = std::max(peak, std::fabs(v));
    tsinglearr s(n);
    for (std::size_t j = 0; j < n; ++j) s[j] = static_cast<float>(0.5 * y[j % y.size()] / peak);
    return s;
}

inline std::array<TFilterSection, 4> formant_sections(double rate) {
    const double f0[4] = {500, 1500, 2500, 3500}, bw[4] = {60, 90, 120, 150};
    std::array<TFilterSection, 4> sections;
    for (int s = 0; s < 4; ++s) {
        sections[s].SetSampFreq(rate);
        sections[s].SetUseF0BW(true);
        sections[s].SetPoleF0(f0[s]);
        sections[s].SetPoleBW(bw[s]);
        sections[s].SetZeroF0(f0[s] * 1.1);
        sections[s].SetZeroBW(bw[s] * 2);
    }
    return sections;
}

// Two channels of `frames` samples: sines of amplitude 0.5 and 0.3 in
// noise of deviation 0.05 drawn from `seed`.
inline std::vector<tsinglearr> noisy_stereo(std::size_t frames, unsigned seed) {
    std::vector<tsinglearr> c(2, tsinglearr(frames));
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    for (std::size_t i = 0; i < frames; ++i) {
        c[0][i] = 0.5f * std::sin(i * 0.01f) + noise(rng);
        c[1][i] = 0.3f * std::sin(i * 0.0173f) + noise(rng);
    }
    return c;
}

}  // namespace tessal::bench
