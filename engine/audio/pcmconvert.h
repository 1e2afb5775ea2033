// Sample conversion and buffer sizing shared by playback and recording.
#pragma once

#include <cstdint>
#include <random>

#include "engine/dsp/arrays.h"

namespace tessal {

// The program's dither source: two uniform numbers in [0, 1) per sample.
class tditherrandom {
public:
    explicit tditherrandom(std::uint32_t seed = 5489u) : fgen(seed) {}
    double next() { return std::uniform_real_distribution<double>(0.0, 1.0)(fgen); }

private:
    std::mt19937 fgen;
};

// A scaled sample (full scale 32766) to 16 bits. Without dither: clipped
// to the 16-bit range, rounded to nearest, ties to even. With dither: limited
// to [-32766, 32765], then round(x + u1 - u2) (triangular, +-1 step).
std::int16_t to_int16(double x, bool dither, tditherrandom& rnd);

// Samples per playback buffer for a total rate: 2^round(log2(sftot *
// 0.046439909297052154)), at least 256 (about 46.4 ms).
int play_chunk_samples(int sftot);
// Samples per recording buffer: 2^trunc(log2(sftot / 20)), at least 128.
int record_chunk_samples(int sftot);

// A packed 24-bit sample's value, and the packing of a value.
inline std::int32_t int24_value(const tint24& t) {
    std::int32_t v = t.b[0] | (t.b[1] << 8) | (t.b[2] << 16);
    return (v & 0x800000) ? v - 0x1000000 : v;
}
inline tint24 make_int24(std::int32_t v) {
    return tint24{{static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF),
                   static_cast<std::uint8_t>((v >> 16) & 0xFF)}};
}

}  // namespace tessal
