// IEEE 754 half precision (binary16) for 16-bit float WAVE files.
//
// half_to_float is exact; infinities and NaNs stay infinities and NaNs.
// float_to_half rounds the mantissa to 10 bits by adding half a unit and
// truncating (ties go away from zero), also when the value lands in the
// subnormal range. Anything whose exponent is too large, infinities included,
// becomes the largest finite half 65504 with its sign (0x7BFF / 0xFBFF):
// a recording must never acquire infinities by being saved. NaN stays NaN.
// Values below half the smallest subnormal become a signed zero.
#pragma once

#include <cstdint>

namespace tessal {

float half_to_float(std::uint16_t h);
std::uint16_t float_to_half(float x);

// One unit in the last place of the half that x falls in: 2^(e-25) for a
// normal half of biased exponent e, 2^-24 in the subnormal range and below.
float half_ulp(float x);

// float_to_half after adding (u - 0.5) units in the last place of the half,
// with u uniform in [0, 1): dither of one step before the rounding.
std::uint16_t float_to_half_dithered(float x, float u);

}  // namespace tessal
