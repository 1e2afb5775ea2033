// Half-precision conversions (see halffloat.h), done on the bit patterns so
// that they behave the same on every compiler and need no hardware support.
#include "engine/formats/halffloat.h"

#include <bit>
#include <cmath>

namespace tessal {

float half_to_float(std::uint16_t h) {
    const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000) << 16;
    const std::uint32_t exp = (h >> 10) & 0x1F;
    std::uint32_t mant = h & 0x3FF;
    std::uint32_t bits;
    if (exp == 0x1F) {
        bits = sign | 0x7F800000 | (mant << 13);  // infinity, or NaN keeping its payload
    } else if (exp != 0) {
        bits = sign | ((exp + 112) << 23) | (mant << 13);
    } else if (mant == 0) {
        bits = sign;
    } else {
        // Subnormal half: normalise; every subnormal half is a normal float.
        int e = 113;
        while ((mant & 0x400) == 0) {
            mant <<= 1;
            --e;
        }
        bits = sign | (static_cast<std::uint32_t>(e) << 23) | ((mant & 0x3FF) << 13);
    }
    return std::bit_cast<float>(bits);
}

std::uint16_t float_to_half(float x) {
    const std::uint32_t f = std::bit_cast<std::uint32_t>(x);
    const auto sign = static_cast<std::uint16_t>((f >> 16) & 0x8000);
    const std::uint32_t absf = f & 0x7FFFFFFF;
    if (absf > 0x7F800000) {
        // NaN: keep the top payload bits, and make sure some mantissa bit stays set.
        return static_cast<std::uint16_t>(sign | 0x7E00 | ((absf >> 13) & 0x3FF));
    }
    const int e = static_cast<int>(absf >> 23) - 127 + 15;  // exponent rebiased for half
    if (e >= 31) return static_cast<std::uint16_t>(sign | 0x7BFF);
    if (e >= 1) {
        // Exponent and mantissa rounded together, so a carry raises the exponent.
        std::uint32_t h = (((static_cast<std::uint32_t>(e) << 23) | (absf & 0x7FFFFF)) + 4096) >> 13;
        if (h >= 0x7C00) h = 0x7BFF;
        return static_cast<std::uint16_t>(sign | h);
    }
    // Subnormal: the mantissa with its hidden bit, shifted to units of 2^-24.
    const int shift = 14 - e;
    if (shift > 24 || (absf >> 23) == 0) return sign;
    const std::uint32_t m = (absf & 0x7FFFFF) | 0x800000;
    const std::uint32_t h = (m + (1u << (shift - 1))) >> shift;  // 1024 becomes the smallest normal
    return static_cast<std::uint16_t>(sign | h);
}

float half_ulp(float x) {
    const std::uint32_t absf = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFF;
    const int e = static_cast<int>(absf >> 23) - 127 + 15;
    if (e < 1) return std::ldexp(1.0f, -24);
    return std::ldexp(1.0f, (e > 30 ? 30 : e) - 25);
}

std::uint16_t float_to_half_dithered(float x, float u) {
    if (!std::isfinite(x)) return float_to_half(x);
    return float_to_half(x + (u - 0.5f) * half_ulp(x));
}

}  // namespace tessal
