// The measurement pass against independent truth: A- and C-weighted levels
// of tones against the analytic weighting functions of IEC 61672-1 and its
// class 1 tolerances; statistics of sines and ramps against their closed
// forms and against a two-pass sum in long double; the weighting kernel
// against the filter sections run one sample at a time; the selection's
// sample range; the half-second countdown and the histogram.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/measurements/measurementpass.h"
#include "engine/measurements/measurements.h"

using namespace tessal;

namespace {

const double pi = 3.14159265358979323846;

// IEC 61672-1 frequency weightings (analytic, normalised at 1 kHz).
const double f1 = 20.598997, f2 = 107.65265, f3 = 737.86223, f4 = 12194.217;
double weight_C_dB(double f) {
    const double f_2 = f * f;
    const double rc = f4 * f4 * f_2 / ((f_2 + f1 * f1) * (f_2 + f4 * f4));
    return 20 * std::log10(rc) + 0.062;
}
double weight_A_dB(double f) {
    const double f_2 = f * f;
    const double ra = f4 * f4 * f_2 * f_2 /
                      ((f_2 + f1 * f1) * std::sqrt((f_2 + f2 * f2) * (f_2 + f3 * f3)) *
                       (f_2 + f4 * f4));
    return 20 * std::log10(ra) + 2.000;
}

// Class 1 acceptance limits of IEC 61672-1:2013 at the nominal third-octave
// frequencies 10 Hz .. 16 kHz (upper, lower; lower -inf where open).
const double inf = std::numeric_limits<double>::infinity();
struct tlimit {
    double up, down;
};
const tlimit class1[] = {
    {3.0, -inf}, {2.5, -inf}, {2.0, -4.0}, {2.0, -2.0}, {2.0, -1.5}, {1.5, -1.5}, {1.0, -1.0},
    {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0},
    {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {0.7, -0.7}, {0.7, -0.7},
    {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.0, -1.0}, {1.5, -1.5},
    {1.5, -2.0}, {1.5, -2.5}, {2.0, -3.0}, {2.0, -5.0}, {2.5, -16.0}};

struct tonefixture {
    tdocument doc;
    tchannel& ch;
    explicit tonefixture(double fs) : ch(doc.create_channel(0)) {
        ch.sampfreq = fs;
        ch.dbreference = 1;
        ch.set_fsd(1);
        doc.selectmode = selall;
        doc.showmeasurement.fill(false);
        doc.showmeasurement[28] = doc.showmeasurement[29] = true;
    }
    void tone(double f, double seconds, double amplitude = 1.0) {
        const std::size_t n = static_cast<std::size_t>(seconds * ch.sampfreq);
        tsinglearr x(n);
        for (std::size_t i = 0; i < n; ++i)
            x[i] = static_cast<float>(amplitude * std::sin(2 * pi * f * i / ch.sampfreq));
        ch.set_samples(std::move(x));
    }
    // Measures L..R the way the program does.
    void measure(double L, double R) {
        doc.theglobal.set_selection(L, R);
        tweightingfilters filters;
        run_measurement_pass(doc, filters, nullptr);
    }
};

// Uniform noise about `offset`, from a linear congruential sequence.
tsinglearr lcg_noise(std::size_t n, unsigned seed, float offset) {
    tsinglearr x(n);
    for (float& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v = offset + static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    return x;
}

long double twopass_sd(const std::vector<float>& x, std::size_t s, std::size_t e, bool posonly) {
    long double sum = 0, n = 0;
    for (std::size_t i = s; i <= e; ++i)
        if (!posonly || x[i] > 0) sum += x[i], n += 1;
    const long double mean = sum / n;
    long double q = 0;
    for (std::size_t i = s; i <= e; ++i)
        if (!posonly || x[i] > 0) q += (x[i] - mean) * (x[i] - mean);
    return std::sqrt(q / n);
}

}  // namespace

TEST(Weighting, TonesAt48kMatchTheAnalyticWeightingsWithinClass1) {
    tonefixture t(48000);
    int k = 0;
    double worst = 0;
    for (int band = -20; band <= 12; ++band, ++k) {
        const double f = 1000 * std::pow(10.0, band / 10.0);
        // Two seconds measured after one second in which the filters settle.
        t.tone(f, 3.5);
        t.measure(1.0, 3.0);
        const double A = 20 * std::log10(t.ch.rmsA / t.ch.rms);
        const double C = 20 * std::log10(t.ch.rmsC / t.ch.rms);
        const double dA = A - weight_A_dB(f), dC = C - weight_C_dB(f);
        SCOPED_TRACE("f = " + std::to_string(f) + " Hz, A " + std::to_string(A) + ", C " +
                     std::to_string(C));
        EXPECT_LE(dA, class1[k].up);
        EXPECT_GE(dA, class1[k].down);
        EXPECT_LE(dC, class1[k].up);
        EXPECT_GE(dC, class1[k].down);
        if (f <= 5100) {
            worst = std::max({worst, std::fabs(dA), std::fabs(dC)});
            EXPECT_NEAR(dA, 0.0, 0.5);
            EXPECT_NEAR(dC, 0.0, 0.5);
        }
        if (band == 0) {
            // The gains put 1 kHz at 0 dB.
            EXPECT_NEAR(A, 0.0, 0.05);
            EXPECT_NEAR(C, 0.0, 0.05);
        }
    }
    RecordProperty("worst_deviation_dB_up_to_5kHz", std::to_string(worst));
}

TEST(Weighting, RatesWithoutTheLowPassStillReadZeroAt1kHz) {
    for (double fs : {16000.0, 22050.0, 44100.0}) {
        tonefixture t(fs);
        t.tone(1000, 2.5);
        t.measure(1.0, 2.0);
        tweightingfilters f;
        f.set_rate(fs);
        EXPECT_EQ(f.uselowpass(), fs > 2 * 12194.2) << fs;
        EXPECT_NEAR(20 * std::log10(t.ch.rmsA / t.ch.rms), 0.0, 0.05) << fs;
        EXPECT_NEAR(20 * std::log10(t.ch.rmsC / t.ch.rms), 0.0, 0.05) << fs;
        // 100 Hz at a low rate: the A weighting's -19.1 dB within class 1.
        t.tone(100, 2.5);
        t.measure(1.0, 2.0);
        EXPECT_NEAR(20 * std::log10(t.ch.rmsA / t.ch.rms), weight_A_dB(100), 1.0) << fs;
    }
}

TEST(Weighting, KernelEqualsTheFilterSectionsRunSampleBySample) {
    // Noise with an offset, selection starting inside the signal so the
    // lead-in is real samples, and one starting at 0 where it is silence.
    tonefixture t(48000);
    const tsinglearr noise = lcg_noise(100000, 12345, 0.3f);
    t.ch.set_samples(noise);
    for (double L : {0.0, 0.7}) {
        const double R = 1.9;
        t.measure(L, R);
        tweightingfilters f;
        f.set_rate(48000);
        const long long s = std::llround(L * 48000), e = std::llround(R * 48000);
        long double a2 = 0, c2 = 0;
        for (long long i = s - 48000; i <= e; ++i) {
            const double x = i < 0 ? 0.0 : noise[i];
            const double c = f.weightfilter4.filter(f.weightfilter1.filter(x));
            const double a = f.weightfilter3.filter(f.weightfilter2.filter(c));
            if (i >= s) {
                a2 += (a * f.gainA()) * (a * f.gainA());
                c2 += (c * f.gainC()) * (c * f.gainC());
            }
        }
        const double n = static_cast<double>(e - s + 1);
        EXPECT_NEAR(t.ch.rmsA, std::sqrt(a2 / n), 1e-12 * t.ch.rmsA) << L;
        EXPECT_NEAR(t.ch.rmsC, std::sqrt(c2 / n), 1e-12 * t.ch.rmsC) << L;
    }
    // Without items 28 and 29 the chain does not run.
    t.doc.showmeasurement[28] = t.doc.showmeasurement[29] = false;
    t.measure(0.7, 1.9);
    EXPECT_EQ(t.ch.rmsA, 0.0);
    EXPECT_EQ(t.ch.rmsC, 0.0);
    EXPECT_GT(t.ch.rms, 0.0);
}

TEST(Statistics, NumbersDoNotDependOnHowTheSamplesArePieced) {
    // The same selection (lead-in from inside the signal, several 4096-sample
    // blocks, a short last one) measured with the channel handing its samples
    // over in pieces of 1, 7, 1000 and 4095 samples gives exactly the numbers
    // of the default pieces, weighted and not, with and without the low-pass.
    tonefixture t(48000);
    t.ch.set_samples(lcg_noise(60000, 777, 2.5f));
    t.doc.showmeasurement.fill(true);
    t.doc.measurementthreshold = 2.6;
    auto numbers = [&] {
        const tchannel& c = t.ch;
        return std::vector<double>{c.peak, c.sd, c.sdpos, c.rms, c.rmsA, c.rmsC, c.integral,
                                   c.avg, c.avgpos, c.avggt, c.ymax, c.ymin};
    };
    for (double fs : {48000.0, 8000.0}) {  // 8000 Hz: no low-pass in the chain
        t.ch.sampfreq = fs;
        for (auto [L, R] : {std::pair{13001.0, 41234.0}, std::pair{0.0, 59999.0}, std::pair{5.0, 9.0}}) {
            t.ch.set_chunk_limit(0);
            t.measure(L / fs, R / fs);
            const std::vector<double> whole = numbers();
            EXPECT_GT(whole[4], 0.0);
            for (std::size_t limit : {1u, 7u, 1000u, 4095u}) {
                t.ch.set_chunk_limit(limit);
                t.measure(L / fs, R / fs);
                EXPECT_EQ(numbers(), whole) << fs << " " << L << " " << limit;
            }
        }
    }
}

TEST(Statistics, SineWithOffsetMatchesClosedForms) {
    // 1000 + 0.5 sin over exactly 50 cycles: mean 1000, SD 0.5/sqrt 2, RMS
    // sqrt(1000^2 + 0.125); the spread survives the large offset.
    tonefixture t(8000);
    t.doc.showmeasurement.fill(false);
    const int n = 8000;
    tsinglearr x(n + 1);
    for (int i = 0; i <= n; ++i) x[i] = static_cast<float>(1000 + 0.5 * std::sin(2 * pi * 50 * i / 8000.0));
    t.ch.set_samples(x);
    // Samples 0..n-1: the selection's end index is inclusive.
    t.measure(0.0, (n - 1) / 8000.0);
    EXPECT_NEAR(t.ch.avg, 1000.0, 1e-5);
    EXPECT_NEAR(t.ch.sd, 0.5 / std::sqrt(2.0), 1e-5);
    EXPECT_NEAR(static_cast<double>(t.ch.sd), static_cast<double>(twopass_sd(x, 0, n - 1, false)),
                1e-9);
    EXPECT_NEAR(t.ch.rms, std::sqrt(1e6 + 0.125), 1e-6);
    EXPECT_NEAR(t.ch.integral, 1000.0 * n / 8000.0, 1e-4);
    EXPECT_NEAR(t.ch.ymax, 1000.5, 1e-4);
    EXPECT_NEAR(t.ch.ymin, 999.5, 1e-4);
    EXPECT_NEAR(t.ch.peak, 1000.5, 1e-4);
    EXPECT_NEAR(t.ch.avgpos, 1000.0, 1e-5);
    EXPECT_NEAR(static_cast<double>(t.ch.sdpos), static_cast<double>(twopass_sd(x, 0, n - 1, true)),
                1e-9);
}

TEST(Statistics, RampMatchesClosedFormsAcrossBlocks) {
    // x[i] = i - 1000 for 20001 samples (several blocks): every quantity has
    // a closed form.
    tonefixture t(1000);
    t.doc.showmeasurement.fill(false);
    const long long N = 20001;
    tsinglearr ramp(N);
    for (long long i = 0; i < N; ++i) ramp[i] = static_cast<float>(i - 1000);
    t.ch.set_samples(ramp);
    t.doc.measurementthreshold = 9000;
    t.measure(0.0, 1e9);  // clamped to the last sample
    const double mean = (N - 1) / 2.0 - 1000;
    EXPECT_DOUBLE_EQ(t.ch.avg, mean);
    EXPECT_NEAR(t.ch.sd, std::sqrt((N * N - 1) / 12.0), 1e-9 * t.ch.sd);
    double sumsq = 0;
    for (long long i = 0; i < N; ++i) sumsq += double(i - 1000) * double(i - 1000);
    EXPECT_NEAR(t.ch.rms, std::sqrt(sumsq / N), 1e-12 * t.ch.rms);
    EXPECT_DOUBLE_EQ(t.ch.integral, mean * N / 1000.0);
    EXPECT_EQ(t.ch.ymin, -1000);
    EXPECT_EQ(t.ch.ymax, 19000);
    EXPECT_EQ(t.ch.peak, 19000);
    // Positive samples 1..19000, those above 9000 are 9001..19000.
    EXPECT_DOUBLE_EQ(t.ch.avgpos, 9500.5);
    EXPECT_NEAR(t.ch.sdpos, std::sqrt((19000.0 * 19000.0 - 1) / 12.0), 1e-9 * t.ch.sdpos);
    EXPECT_DOUBLE_EQ(t.ch.avggt, 14000.5);
}

TEST(Statistics, SelectionCoversRoundedIndicesWithShiftAndClamps) {
    tonefixture t(100);
    t.doc.showmeasurement.fill(false);
    tsinglearr ramp(200);
    for (int i = 0; i < 200; ++i) ramp[i] = static_cast<float>(i);
    t.ch.set_samples(ramp);
    t.ch.xshift = 10;
    // 0.504 s -> round(50.4 - 10) = 40; 0.6 s -> 50: samples 40..50.
    t.measure(0.504, 0.6);
    EXPECT_DOUBLE_EQ(t.ch.avg, 45.0);
    EXPECT_DOUBLE_EQ(t.ch.integral, 495.0 / 100);
    // The cursors in either order; before the first sample clamps to 0.
    t.measure(0.6, -3.0);
    EXPECT_EQ(t.ch.ymin, 0);
    EXPECT_EQ(t.ch.ymax, 50);
    // No selection: the one sample at the cursor.
    t.measure(0.6, 0.6);
    EXPECT_EQ(t.ch.avg, 50);
    EXPECT_EQ(t.ch.sd, 0);
}

TEST(Statistics, AlternatingAndNegativeSelections) {
    tonefixture t(10);
    t.ch.set_samples({1, -1, 1, -1});
    t.measure(0, 0.3);
    EXPECT_EQ(t.ch.avg, 0);
    EXPECT_EQ(t.ch.rms, 1);
    EXPECT_EQ(t.ch.peak, 1);
    EXPECT_EQ(t.ch.avgpos, 1);
    EXPECT_EQ(t.ch.sdpos, 0);
    EXPECT_EQ(t.ch.sd, 1);
    EXPECT_EQ(t.ch.get_measurementvalue(30), "1");
    EXPECT_EQ(t.ch.get_measurementvalue(31), "0.00");

    t.ch.set_samples({-1, -2, -3, -4});
    t.measure(0, 0.3);
    EXPECT_EQ(t.ch.avg, -2.5);
    EXPECT_EQ(t.ch.peak, 4);
    EXPECT_DOUBLE_EQ(t.ch.sd, std::sqrt(1.25));
    EXPECT_DOUBLE_EQ(t.ch.rms, std::sqrt(7.5));
    // No positive sample, none above the threshold 0: no quotient.
    EXPECT_EQ(t.ch.get_measurementvalue(14), "-");
    EXPECT_EQ(t.ch.get_measurementvalue(15), "-");
    EXPECT_EQ(t.ch.get_measurementvalue(24), "-");
    EXPECT_EQ(t.ch.get_measurementvalue(23), "1.118");
}

TEST(Statistics, EmptyChannelsAndNonFiniteSamplesShowDashes) {
    tonefixture t(10);
    t.measure(0, 1);
    for (int item : {12, 13, 18, 20, 21, 23, 25, 26, 30, 31})
        EXPECT_EQ(t.ch.get_measurementvalue(item), "-") << item;

    t.ch.set_samples({1, std::numeric_limits<float>::quiet_NaN(), -3});
    t.measure(0, 1);
    EXPECT_EQ(t.ch.get_measurementvalue(25), "-");
    EXPECT_EQ(t.ch.get_measurementvalue(13), "-");
    EXPECT_EQ(t.ch.get_measurementvalue(28), "-");
    // The extremes of the finite samples are still known.
    EXPECT_EQ(t.ch.peak, 3);
    EXPECT_EQ(t.ch.ymax, 1);
}

TEST(Countdown, ThreeQuickMovesGiveOnePassHalfASecondAfterTheLast) {
    tdocument doc;
    doc.set_totnchans(1);
    doc.channel(0).sampfreq = 100;
    doc.channel(0).set_samples(tsinglearr(100, 0.5f));
    tmeasurements m(doc);
    std::vector<std::string> status;
    m.status = [&](const std::string& s) { status.push_back(s); };
    int passes = 0;
    auto tick = [&] { passes += m.tick() ? 1 : 0; };

    m.run_pass();
    status.clear();
    EXPECT_FALSE(doc.measurementdirty);
    // Moves at 0, 0.1 and 0.2 s with a timer tick between them.
    doc.theglobal.set_sel2cursor(0.2);
    tick();
    doc.theglobal.set_sel2cursor(0.4);
    tick();
    doc.theglobal.set_sel2cursor(0.6);
    for (int i = 0; i < 4; ++i) tick();
    EXPECT_EQ(passes, 0);
    EXPECT_TRUE(m.pending());
    tick();  // 0.5 s after the last move
    EXPECT_EQ(passes, 1);
    EXPECT_FALSE(doc.measurementdirty);
    EXPECT_DOUBLE_EQ(doc.channel(0).avg, 0.5);
    EXPECT_EQ(status, (std::vector<std::string>{"Calculating measurements for channel 0", "Done "}));
    for (int i = 0; i < 10; ++i) tick();
    EXPECT_EQ(passes, 1);

    // A flag set without the countdown (a sample edit) runs on the next tick.
    doc.channel(0).set_samples(tsinglearr(100, 2.0f));
    doc.measurementdirty = true;
    tick();
    EXPECT_EQ(passes, 2);
    EXPECT_DOUBLE_EQ(doc.channel(0).avg, 2.0);
    m.set_measurementdirty();
    for (int i = 0; i < 4; ++i) tick();
    EXPECT_EQ(passes, 2);
    tick();
    EXPECT_EQ(passes, 3);
}

TEST(Countdown, ChannelsJoiningTheEditSetAreMeasured) {
    tdocument doc;
    doc.set_totnchans(2);
    for (int i = 0; i < 2; ++i) {
        doc.channel(i).sampfreq = 10;
        doc.channel(i).set_samples(tsinglearr(10, float(i + 1)));
    }
    doc.selectmode = selmono;
    tmeasurements m(doc);
    m.run_pass();
    EXPECT_EQ(doc.channel(0).avg, 1);
    EXPECT_EQ(doc.channel(1).avg, 0);  // not in the edit set
    doc.selectmode = selall;
    EXPECT_TRUE(m.pending());
    EXPECT_TRUE(m.tick());
    EXPECT_EQ(doc.channel(1).avg, 2);
}

