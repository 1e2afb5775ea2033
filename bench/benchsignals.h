// What several benchmarks work on: a recording of two noisy sines, and four
// formant-like filter sections (poles and zeros by frequency and
// bandwidth), as an inverse filter or a vowel model uses.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/dsp/tfiltersection.h"

namespace tessal::bench {

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
