// Complex arithmetic, regression, sorting and quantiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "engine/dsp/numeric.h"
#include "engine/dsp/tcomplex.h"

using namespace tessal;

TEST(Complex, ArithmeticAgreesWithStdComplex) {
    tcomplex a{3, -4}, b{-1.5, 2};
    tcomplex p = cmul(a, b), q = cdiv(a, b);
    EXPECT_DOUBLE_EQ(p.re, 3 * -1.5 - (-4) * 2);
    EXPECT_DOUBLE_EQ(p.im, 3 * 2 + (-4) * -1.5);
    tcomplex back = cmul(q, b);
    EXPECT_NEAR(back.re, a.re, 1e-12);
    EXPECT_NEAR(back.im, a.im, 1e-12);
    EXPECT_DOUBLE_EQ(cabs(a), 5);
    EXPECT_DOUBLE_EQ(cabs2(a), 25);
    EXPECT_NEAR(clevel(cmake(10, 0)), 20, 1e-12);
    EXPECT_EQ(clevel(cmake(0, 0)), -1e100);
    EXPECT_TRUE(ciszero(cmake(0, -0.0)));
    tcomplex z = cpolar(2, M_PI / 2);
    EXPECT_NEAR(z.re, 0, 1e-15);
    EXPECT_NEAR(z.im, 2, 1e-15);
}

TEST(Complex, DivisionByAnInfinitePartGivesZero) {
    double inf = std::numeric_limits<double>::infinity();
    tcomplex r = cdiv(cmake(1, 1), cmake(inf, 0));
    EXPECT_EQ(r.re, 0);
    EXPECT_EQ(r.im, 0);
    r = cdiv(cmake(1, 1), cmake(1, -inf));
    EXPECT_EQ(r.re, 0);
    EXPECT_EQ(r.im, 0);
}

TEST(Regression, RecoversALineAndUsesTheShorterLength) {
    tsinglearr x{0, 1, 2, 3, 4}, y{1, 3, 5, 7, 9, 100};
    EXPECT_NEAR(regression_slope(x, y), 2, 1e-12);
    EXPECT_NEAR(regression_intercept(x, y), 1, 1e-12);
    EXPECT_TRUE(std::isnan(regression_slope({1, 1}, {2, 3})));
}

TEST(SortAndQuantile, SortsLikeStdSortAndInterpolates) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-1, 1);
    for (int n : {0, 1, 2, 17, 1000, 5000}) {
        tsinglearr a(n);
        for (float& v : a) v = d(rng);
        if (n > 100) std::fill(a.begin(), a.begin() + 50, 0.25f);  // many equal keys
        tsinglearr b = a;
        sort_singles(a);
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b);
    }
    tsinglearr s{1, 2, 4, 8};
    EXPECT_DOUBLE_EQ(quantile(s, 0.5), 3);
    EXPECT_DOUBLE_EQ(quantile(s, 1), 8);
    EXPECT_DOUBLE_EQ(quantile(s, 0), 1);
    EXPECT_DOUBLE_EQ(quantile({5}, 0.3), 5);
    EXPECT_DOUBLE_EQ(quantile({}, 0.3), -1);
}
