// Value histograms against distributions known in closed form: a sine
// (arcsine law), a triangle wave and uniform noise (uniform), and Gaussian
// quantile ramps and noise, each through the three ways of adding samples
// to bins; the kernels keep the total time; the edges of the stretch and
// the value range; the "Log stats" text.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "engine/analysis/histogram.h"
#include "engine/core/tchannel.h"

using namespace tessal;

namespace {

constexpr double pi = std::numbers::pi;
const tbinning methods[] = {tbinning::nearest, tbinning::two_nearest, tbinning::pairs};
const tkernel kernels[] = {tkernel::rectangle, tkernel::triangle, tkernel::parabolic,
                           tkernel::hanning};

// Inverse of the standard normal distribution function, by bisection.
double normal_quantile(double p) {
    double a = -10, b = 10;
    for (int i = 0; i < 200; ++i) {
        const double m = (a + b) / 2;
        (0.5 * std::erfc(-m / std::sqrt(2.0)) < p ? a : b) = m;
    }
    return (a + b) / 2;
}

std::vector<double> hist(const std::vector<float>& x, double fs, double L, double R, double lo,
                         double hi, int nbins, tbinning m) {
    tchannel ch(nullptr, 0);
    ch.sampfreq = fs;
    ch.set_samples(tsinglearr(x.begin(), x.end()));
    return value_histogram(ch, L, R, lo, hi, nbins, m);
}

// Every statistic of `bins` against the quantile function q.
void expect_stats(const std::vector<double>& bins, double lo, double hi, double mean,
                  double (*q)(double), double tol, const char* what) {
    const thiststats st = bin_statistics(bins, lo, hi);
    EXPECT_NEAR(st.average, mean, tol / 4) << what;
    for (size_t p = 0; p < percentile_fractions.size(); ++p)
        EXPECT_NEAR(st.percentiles[p], q(percentile_fractions[p]), tol)
            << what << " p=" << percentile_fractions[p];
    EXPECT_EQ(st.median(), st.percentiles[4]);
}

double arcsine_q(double p) { return -0.8 * std::cos(pi * p); }
double uniform_q(double p) { return -0.6 + 1.2 * p; }
double gauss_q(double p) { return 0.2 * normal_quantile(p); }

}  // namespace

TEST(ValueHistogram, ClosedFormsForEveryMethod) {
    const double fs = 8000;
    const int n = 80000;
    std::vector<float> sine(n), tri(n), ramp(n);
    for (int k = 0; k < n; ++k) {
        const double t = k / fs;
        sine[k] = static_cast<float>(0.8 * std::sin(2 * pi * 97.3 * t));
        const double ph = std::fmod(t * 13.7, 1.0);  // triangle between -0.6 and 0.6
        tri[k] = static_cast<float>(ph < 0.5 ? -0.6 + 2.4 * ph : 1.8 - 2.4 * ph);
        ramp[k] = static_cast<float>(gauss_q((k + 0.5) / n));
    }
    const int nbins = 201;  // bins 0.01 wide on -1..1
    for (tbinning m : methods) {
        const double used = (m == tbinning::pairs ? n - 1 : n) / fs;
        using tq = double (*)(double);
        const std::tuple<const std::vector<float>*, tq, const char*> cases[] = {
            {&sine, arcsine_q, "sine"}, {&tri, uniform_q, "triangle"}, {&ramp, gauss_q, "gaussian"}};
        for (auto [x, q, name] : cases) {
            const auto bins = hist(*x, fs, 0, 100, -1, 1, nbins, m);
            const thiststats st = bin_statistics(bins, -1, 1);
            EXPECT_NEAR(st.total, used, 1e-9) << name << int(m);
            expect_stats(bins, -1, 1, 0, q, 0.016, name);
        }
        // The arcsine law peaks at the sine's extremes, the Gaussian at 0.
        const auto sb = hist(sine, fs, 0, 100, -1, 1, nbins, m);
        EXPECT_NEAR(std::abs(bin_statistics(sb, -1, 1).mode), 0.8, 0.021) << int(m);
        const auto gb = hist(ramp, fs, 0, 100, -1, 1, nbins, m);
        EXPECT_NEAR(bin_statistics(gb, -1, 1).mode, 0, 0.03) << int(m);
    }
}

TEST(ValueHistogram, NoiseSamplesFollowTheirLaw) {
    // Independent samples: the sample-wise methods see the law itself.
    std::mt19937_64 rng(17);
    const int n = 200000;
    std::vector<float> uni(n), gau(n);
    std::normal_distribution<double> nd(0, 0.2);
    for (int k = 0; k < n; ++k) {
        uni[k] = static_cast<float>(-0.6 + 1.2 * ((rng() >> 11) * 0x1.0p-53));
        gau[k] = static_cast<float>(nd(rng));
    }
    for (tbinning m : {tbinning::nearest, tbinning::two_nearest}) {
        expect_stats(hist(uni, 1000, 0, 1e9, -1, 1, 201, m), -1, 1, 0,
                     uniform_q, 0.015, "uniform noise");
        expect_stats(hist(gau, 1000, 0, 1e9, -1, 1, 201, m), -1, 1, 0,
                     gauss_q, 0.015, "gaussian noise");
    }
}

TEST(ValueHistogram, PairsFillEveryBinBetweenSamplesNearestLeavesGaps) {
    std::vector<float> x(8000);
    for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(0.8 * std::sin(2 * pi * k / 80.0));
    const int nbins = 20001;  // 0.0001 wide: far finer than the step between samples
    const auto near = hist(x, 8000, 0, 1, -1, 1, nbins, tbinning::nearest);
    const auto pairs = hist(x, 8000, 0, 1, -1, 1, nbins, tbinning::pairs);
    int gaps_near = 0, gaps_pairs = 0;
    for (int i = 10000 - 7900; i <= 10000 + 7900; ++i) {
        gaps_near += near[i] == 0;
        gaps_pairs += pairs[i] == 0;
    }
    EXPECT_GT(gaps_near, 10000);
    EXPECT_EQ(gaps_pairs, 0);
}

TEST(ValueHistogram, BinsDoNotDependOnHowTheSamplesArePieced) {
    // Every method over a stretch read in pieces of 1, 7 and 1000 samples
    // gives exactly the bins of the stretch added as one array (pairs across
    // piece ends included, in sample order).
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    tsinglearr x(12000);
    for (float& v : x) v = d(rng);
    tchannel ch(nullptr, 0);
    ch.sampfreq = 1000;
    ch.set_samples(x);
    for (tbinning m : methods) {
        std::vector<double> truth(301, 0.0);
        add_to_bins(truth, x.data() + 1500, 11001 - 1500 + 1, 1.0 / 1000, -1, 1, m);
        for (std::size_t limit : {0u, 1u, 7u, 1000u}) {
            ch.set_chunk_limit(limit);
            EXPECT_EQ(value_histogram(ch, 1.5, 11.001, -1, 1, 301, m), truth) << limit;
        }
    }
}

TEST(ValueHistogram, KernelsKeepTheTotalTime) {
    std::vector<float> x(40000);
    for (size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(0.5 * std::sin(2 * pi * k / 333.3));
    const double total = (x.size() - 1) / 10000.0;
    const auto bins = hist(x, 10000, 0, 10, -1, 1, 1000, tbinning::pairs);
    for (tkernel k : kernels)
        for (int W : {2, 3, 10, 50}) {
            const auto c = kernel_coefficients(k, W);
            double s = c[0];
            for (size_t i = 1; i < c.size(); ++i) s += 2 * c[i];
            EXPECT_NEAR(s, 1, 1e-12);
            double sum = 0;
            for (double v : smooth_bins(bins, k, W)) sum += v;
            EXPECT_NEAR(sum, total, 1e-9) << int(k) << " W=" << W;
        }
    // Triangle of width 2 is c = [1, 0]: nothing changes.
    EXPECT_EQ(smooth_bins(bins, tkernel::triangle, 2), bins);
    EXPECT_EQ(smooth_bins(bins, tkernel::none, 10), bins);
    // A rectangle of width 3 spreads one bin evenly over five.
    std::vector<double> one(9, 0.0);
    one[4] = 1;
    const auto r = smooth_bins(one, tkernel::rectangle, 3);
    for (int i = 2; i <= 6; ++i) EXPECT_NEAR(r[i], 0.2, 1e-15);
    EXPECT_EQ(r[1], 0);
}

TEST(ValueHistogram, StretchAndRangeEdges) {
    tchannel ch(nullptr, 0);
    ch.sampfreq = 10;
    ch.set_samples({0.1f, 0.2f, 0.3f, 5.0f, -0.001f});
    // Equal cursors: one sample for the sample-wise methods, nothing for pairs.
    for (tbinning m : {tbinning::nearest, tbinning::two_nearest})
        EXPECT_NEAR(bin_statistics(value_histogram(ch, 0.1, 0.1, 0, 1, 11, m), 0, 1).total, 0.1,
                    1e-12);
    EXPECT_EQ(bin_statistics(value_histogram(ch, 0.1, 0.1, 0, 1, 11, tbinning::pairs), 0, 1).total,
              0);
    // 5.0 and the value just below the range are not counted; nor any pair
    // reaching them.
    EXPECT_NEAR(bin_statistics(value_histogram(ch, 0, 1, 0, 1, 11, tbinning::nearest), 0, 1).total,
                0.4, 1e-12);  // -0.001 rounds onto bin 0
    EXPECT_NEAR(
        bin_statistics(value_histogram(ch, 0, 1, 0, 1, 11, tbinning::two_nearest), 0, 1).total,
        0.3, 1e-12);
    EXPECT_NEAR(bin_statistics(value_histogram(ch, 0, 1, 0, 1, 11, tbinning::pairs), 0, 1).total,
                0.2, 1e-12);
    // Time shift: the stretch is read in the channel's own indices.
    ch.xshift = 2;
    const auto b = value_histogram(ch, 0.2, 0.2, 0, 1, 11, tbinning::nearest);
    EXPECT_NEAR(b[1], 0.1, 1e-12);
    // Empty bins give no statistics.
    EXPECT_TRUE(std::isnan(bin_statistics(std::vector<double>(5, 0.0), 0, 1).average));
}

TEST(ValueHistogram, LogStatsText) {
    thistlogchannel a{"flow", "l/s", 0.5, 1.25, 0.002, std::nan(""), {}};
    a.stats.average = 0.125;
    a.stats.mode = 0.25;
    a.stats.percentiles = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    thistlogchannel b = a;
    b.name = "p";
    b.unit = "Pa";
    b.kernelwidth = 0.02;
    const thistlog log = histogram_stats_log({a, b}, {3, 5}, 5);
    EXPECT_EQ(log.heading,
              "Channel\tFrom [s]\tTo [s]\tBin width [l/s]\tKernel width [l/s]\tAvg [l/s]\t"
              "Mode [l/s]\tMedian [l/s]\tp25 [l/s]\tp75 [l/s]\t"
              "Channel\tFrom [s]\tTo [s]\tBin width [Pa]\tKernel width [Pa]\tAvg [Pa]\t"
              "Mode [Pa]\tMedian [Pa]\tp25 [Pa]\tp75 [Pa]");
    EXPECT_EQ(log.line, "flow\t0.5\t1.25\t0.002\t-\t0.125\t0.25\t5\t4\t6\t"
                        "p\t0.5\t1.25\t0.002\t0.02\t0.125\t0.25\t5\t4\t6");
    EXPECT_EQ(percentile_text(0.01), "1");
    EXPECT_EQ(percentile_text(0.95), "95");
}

TEST(ValueHistogram, StatisticsTextGoesWhereTheCurveIsLowAndAutoscaleLeavesItRoom) {
    // An arcsine-like curve: high at both ends, low in the middle.
    std::vector<double> col(200);
    for (int x = 0; x < 200; ++x) col[static_cast<std::size_t>(x)] = 1 / std::sqrt(1 - std::pow((x - 99.5) / 100, 2));
    double under = 0;
    const int x0 = stats_text_column(col, 60, under);
    EXPECT_NEAR(x0 + 30, 100, 1);  // centred on the minimum
    EXPECT_DOUBLE_EQ(under, std::max(col[static_cast<std::size_t>(x0)], col[static_cast<std::size_t>(x0 + 59)]));
    // A bell: the text goes to an edge (the left of two equal ones).
    for (int x = 0; x < 200; ++x) col[static_cast<std::size_t>(x)] = std::exp(-std::pow((x - 100) / 20.0, 2));
    EXPECT_EQ(stats_text_column(col, 50, under), 0);
    EXPECT_LT(under, 0.01);
    // Text wider than the box: the whole box.
    EXPECT_EQ(stats_text_column(col, 500, under), 0);
    EXPECT_DOUBLE_EQ(under, 1);
    EXPECT_EQ(stats_text_column({}, 10, under), 0);

    // Flat curve, text over the top 40 %: the curve stays under 60 % of the
    // height; a low curve under the text keeps the usual 5 % headroom.
    const double hi = histogram_autoscale_top(1, 1, 0.4);
    EXPECT_LE(1 / hi, 0.6);
    EXPECT_GT(1 / hi, 0.55);
    EXPECT_DOUBLE_EQ(histogram_autoscale_top(1, 0.1, 0.4), 1.05);
    // Text taller than three quarters of the box is counted as 0.75.
    EXPECT_NEAR(histogram_autoscale_top(1, 1, 0.95), 1.02 / 0.25, 1e-12);
}

// ------------------------------------------------ computed by a worker

#include <atomic>
#include <thread>

#include "engine/jobs/jobline.h"
#include "engine/store/samplestore.h"

namespace {

tsinglearr noise(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1, 1);
    tsinglearr a(n);
    for (std::size_t i = 0; i < n; ++i) a[i] = u(gen);
    return a;
}

}  // namespace

// A slice of the channel's store over value_histogram_span gives the same
// sums, bit for bit, as the channel read through its own pieces.
TEST(ValueHistogramJob, SliceGivesTheChannelsBins) {
    tchannel ch(nullptr, 0);
    ch.sampfreq = 1000;
    ch.xshift = 250;
    ch.set_samples(noise(300000, 3));
    for (tbinning m : methods) {
        const thistspan sp = value_histogram_span(ch, 0.9, 123.4);
        EXPECT_EQ(sp.first, 650);
        EXPECT_EQ(sp.last, 123151);
        const tsamplestore slice = ch.samples_slice(sp.first, sp.last);
        EXPECT_EQ(value_histogram(slice, ch.sampfreq, -0.8, 0.9, 777, m),
                  value_histogram(ch, 0.9, 123.4, -0.8, 0.9, 777, m));
        EXPECT_EQ(smooth_bins(value_histogram(slice, ch.sampfreq, -1, 1, 333, m), tkernel::hanning, 9),
                  smooth_bins(value_histogram(ch, 0.9, 123.4, -1, 1, 333, m), tkernel::hanning, 9));
    }
}

// A job sees the progress rise and, cancelled half way, the count stops
// there (at its next look) instead of running to the end.
TEST(ValueHistogramJob, ProgressRisesAndCancelStopsEarly) {
    const tsamplestore s = tsamplestore::from_array(noise(4000000, 5));
    tjobcontext::tflag flag;
    tjobcontext c(flag);
    std::vector<int> seen;
    std::atomic<bool> finished{false};
    bool cancelled = false;
    std::thread watcher([&] {
        while (!finished) {
            const int p = flag.permille.load();
            if (seen.empty() || seen.back() != p) seen.push_back(p);
            if (p >= 300) flag.cancel = true;
            std::this_thread::yield();
        }
    });
    try {
        // Pairs over 20000 bins: each pair spreads over thousands of them.
        value_histogram(s, 48000, -1, 1, 20000, tbinning::pairs, &c);
    } catch (const tjobcancelled&) {
        cancelled = true;
    }
    finished = true;
    watcher.join();
    EXPECT_TRUE(cancelled);
    EXPECT_LT(flag.permille.load(), 500);
    ASSERT_GE(seen.size(), 2u);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);

    // Uncancelled, the same count reports its part of a larger job.
    tjobcontext::tflag whole;
    tjobcontext c2(whole);
    const auto bins = value_histogram(s, 48000, -1, 1, 100, tbinning::nearest, &c2, 0.25, 0.5);
    EXPECT_GE(whole.permille.load(), 490);
    EXPECT_LE(whole.permille.load(), 500);
    EXPECT_EQ(bins, value_histogram(s, 48000, -1, 1, 100, tbinning::nearest));
    // The kernel looks too.
    tjobcontext::tflag stop;
    stop.cancel = true;
    tjobcontext c3(stop);
    EXPECT_THROW(smooth_bins(bins, tkernel::triangle, 5, &c3), tjobcancelled);
}
