// Half-precision conversion of 16-bit float WAVE files, against a direct
// evaluation of the binary16 definition: value = (-1)^s x 2^(e-15) x (1 + m/1024),
// subnormals 2^-14 x m/1024.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/formats/halffloat.h"

namespace tessal {
namespace {

double half_value(std::uint16_t h) {
    const int s = h >> 15, e = (h >> 10) & 0x1F, m = h & 0x3FF;
    const double v = e == 0 ? std::ldexp(m / 1024.0, -14) : std::ldexp(1 + m / 1024.0, e - 15);
    return s ? -v : v;
}

// The half nearest to x, found by bisecting the ordered positive halves;
// ties go away from zero, and everything above 65504 saturates there.
std::uint16_t nearest_half(double x) {
    const std::uint16_t sign = std::signbit(x) ? 0x8000 : 0;
    const double a = std::fabs(x);
    int lo = 0, hi = 0x7BFF;  // half_value(lo) <= a unless a is below it
    if (a >= half_value(0x7BFF)) return static_cast<std::uint16_t>(sign | 0x7BFF);
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        (half_value(static_cast<std::uint16_t>(mid)) <= a ? lo : hi) = mid;
    }
    const double dlo = a - half_value(static_cast<std::uint16_t>(lo));
    const double dhi = half_value(static_cast<std::uint16_t>(hi)) - a;
    return static_cast<std::uint16_t>(sign | (dhi <= dlo ? hi : lo));
}

TEST(HalfFloat, WideningIsExactForEveryHalf) {
    for (int i = 0; i < 65536; ++i) {
        const auto h = static_cast<std::uint16_t>(i);
        const int e = (h >> 10) & 0x1F;
        const float f = half_to_float(h);
        if (e == 31) {
            EXPECT_EQ(std::isnan(f), (h & 0x3FF) != 0) << i;
            EXPECT_EQ(std::isinf(f), (h & 0x3FF) == 0) << i;
            continue;
        }
        ASSERT_EQ(static_cast<double>(f), half_value(h)) << i;
        EXPECT_EQ(std::signbit(f), (h & 0x8000) != 0) << i;
        EXPECT_EQ(float_to_half(f), h) << i;  // and back unchanged
    }
}

TEST(HalfFloat, NarrowingRoundsToTheNearestHalf) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> expo(-27, 16.5);
    std::uniform_int_distribution<int> halfcode(0, 0x7BFE);
    int bad = 0;
    for (int i = 0; i < 4000; ++i) {
        // Random magnitudes over the whole range, and exact midpoints between halves.
        double x = std::exp2(expo(rng));
        if (i % 4 == 0) {
            const auto h = static_cast<std::uint16_t>(halfcode(rng));
            x = (half_value(h) + half_value(static_cast<std::uint16_t>(h + 1))) / 2;
        }
        if (i % 2) x = -x;
        const float f = static_cast<float>(x);
        bad += float_to_half(f) != nearest_half(f);
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(float_to_half(65519.0f), 0x7BFF);
    EXPECT_EQ(float_to_half(65520.0f), 0x7BFF);  // would round to infinity
    EXPECT_EQ(float_to_half(1e30f), 0x7BFF);
    EXPECT_EQ(float_to_half(-INFINITY), 0xFBFF);
    EXPECT_TRUE(std::isnan(half_to_float(float_to_half(NAN))));
    EXPECT_EQ(float_to_half(std::ldexp(1.0f, -25)), 0x0001);   // half the smallest subnormal: away from zero
    EXPECT_EQ(float_to_half(std::ldexp(0.99f, -25)), 0x0000);  // below it
    EXPECT_EQ(float_to_half(-1e-30f), 0x8000);
    EXPECT_EQ(float_to_half(std::ldexp(1023.5f, -24)), 0x0400);  // subnormal rounds up into the normals
}

TEST(HalfFloat, DitherAveragesToTheValueBetweenTwoHalves) {
    // 1 + 0.3 ulp: plain rounding always gives 1.0; dithered the mean is 1 + 0.3 ulp.
    const float ulp = half_ulp(1.0f);
    EXPECT_EQ(ulp, std::ldexp(1.0f, -10));
    EXPECT_EQ(half_ulp(1e-6f), std::ldexp(1.0f, -24));
    const float x = 1.0f + 0.3f * ulp;
    EXPECT_EQ(float_to_half(x), 0x3C00);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    double sum = 0;
    const int n = 100000;
    for (int i = 0; i < n; ++i) {
        const float y = half_to_float(float_to_half_dithered(x, u(rng)));
        ASSERT_TRUE(y == 1.0f || y == 1.0f + ulp) << y;
        sum += y;
    }
    EXPECT_NEAR((sum / n - 1.0) / ulp, 0.3, 0.01);
}

}  // namespace
}  // namespace tessal
