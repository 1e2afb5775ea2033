// The correlation curve and the correlogram's column cost as a worker runs
// them: the curve of a 100 Hz sine (r = 1 at the 10 ms period, -1 at half
// of it) comes out the same with a progress hook, the progress rises, and
// answering false stops it early with nothing kept; the cost of a column is
// the sum of the windows its rows correlate, counted here by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "engine/analysis/correlation.h"
#include "engine/analysis/correlogram.h"

using namespace tessal;

namespace {

std::vector<float> sine(double fs, double f, std::size_t n) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<float>(std::sin(2 * std::numbers::pi * f * double(i) / fs));
    return x;
}

}  // namespace

TEST(CorrelationJob, ProgressRisesAndTheCurveIsTheSame) {
    const double fs = 8000;
    const std::vector<float> x = sine(fs, 100, 16000);
    const tsampleview v(x.data(), static_cast<long long>(x.size()), 0, fs);
    std::vector<double> seen;
    std::vector<double> r;
    ASSERT_TRUE(correlation_at(v, 0.5, 0.1, 100, r, [&](double f) {
        seen.push_back(f);
        return true;
    }));
    ASSERT_EQ(r.size(), 800u);
    EXPECT_EQ(r, correlation_at(v, 0.5, 0.1, 100));
    EXPECT_NEAR(r[80], 1, 1e-5);   // 10 ms
    EXPECT_NEAR(r[40], -1, 1e-5);  // 5 ms
    // 4000 samples a lag: a look every 250 lags, rising from 0.
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
    EXPECT_LT(seen.back(), 1);
}

TEST(CorrelationJob, AnsweringFalseStopsEarly) {
    const double fs = 8000;
    const std::vector<float> x = sine(fs, 100, 16000);
    const tsampleview v(x.data(), static_cast<long long>(x.size()), 0, fs);
    int looks = 0;
    std::vector<double> r{1, 2, 3};
    EXPECT_FALSE(correlation_at(v, 0.5, 0.1, 100, r, [&](double) { return ++looks < 2; }));
    EXPECT_EQ(looks, 2);
    EXPECT_TRUE(r.empty());
}

TEST(CorrelationJob, ColumnCostCountsTheRowsWindows) {
    const double fs = 1000;
    tcorrelogramsettings s;
    s.fvertaxistype = 0;  // rows in ms: 1 ms is one lag at 1 kHz
    s.ffixedcorrlength = 0.05;  // 50 samples
    const std::vector<double> rows{0, 2, 5, 10, 40};
    // Fixed: every row up to the largest lag (10) correlates 50 samples.
    EXPECT_EQ(correlogram_column_cost(s, 10, rows, fs), 4 * 50.0);
    // Proportional with factor 3: 3 x lag for lags 0, 2, 5, 10; 40 is past.
    s.fwinlengthmode = 1;
    s.fwinlengthfactor = 3;
    EXPECT_EQ(correlogram_column_cost(s, 10, rows, fs), 3.0 * (0 + 2 + 5 + 10));
    // A short fixed window still costs its 16 samples.
    s.fwinlengthmode = 0;
    s.ffixedcorrlength = 0.001;
    EXPECT_EQ(correlogram_column_cost(s, 100, rows, fs), 5 * 16.0);
}
