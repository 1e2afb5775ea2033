// The level step: RMS of steady sines against their true level, the slow,
// fast and impulse time weightings against the tone-burst responses of the
// sound level meter standards (IEC 61672-1 for fast and slow, IEC 60651
// for impulse) within class 1 tolerances, A and C weighted levels of tones
// against the measurement pass, the peak follower, the moving RMS with a
// fixed and a channel-controlled window, the form and the list texts.
#include "engine/measurements/measurementpass.h"
#include "engine/process/levelstep.h"
#include "processfixture.h"

namespace tessal::testing {
namespace {

const double pi = std::numbers::pi;

std::pair<tsinglearr, tchannelproperties> run_level(textractlevel& step, const tsinglearr& x, double fs,
                                                    tdocument* doc = nullptr) {
    return run_alone(step, x, fs, [](tchannelproperties& p) {
        p.yunit = "Pa";
        p.dbreference = 2e-5;
        p.fsd = 20;
    }, doc);
}

double db(double a) { return 20 * std::log10(a); }

TEST(Level, RmsOfASteadySineReadsItsTrueLevel) {
    const double fs = 48000;
    for (double f : {100.0, 1000.0, 7000.0}) {
        const tsinglearr x = sine(96000, 0.5, f, fs);
        textractlevel s;
        s.lpfilter.SetF0(f / 50);
        auto [y, p] = run_level(s, x, fs);
        const double truth = db(0.5 / std::sqrt(2) / 2e-5);
        for (std::size_t j = 48000; j < y.size(); j += 997) ASSERT_NEAR(y[j], truth, 0.05) << f << " " << j;
        EXPECT_EQ(p.yunit, "dB");
        EXPECT_EQ(p.dbreference, 1.0);
        EXPECT_EQ(p.name, "mic RMS level re 0.00002 Pa");
        // Zero phase: settled from the first sample on.
        s.zerophase = true;
        auto [z, q] = run_level(s, x, fs);
        for (std::size_t j = 2000; j < z.size() - 2000; j += 997) ASSERT_NEAR(z[j], truth, 0.05) << f << " " << j;
    }
    // Amplitude, full-scale reference, and a silent signal.
    textractlevel a;
    a.extractmode = 0;
    auto [y, p] = run_level(a, sine(48000, 1, 1000, 48000), 48000);
    EXPECT_NEAR(y[40000], std::sqrt(0.5), 0.002);
    EXPECT_EQ(p.yunit, "Pa");
    EXPECT_EQ(p.name, "mic RMS amplitude");
    textractlevel z;
    z.referenceid = 1;
    auto [q, r] = run_level(z, tsinglearr(100, 0.0f), 48000);
    EXPECT_TRUE(std::isfinite(q[50]));
    EXPECT_LT(q[50], -5000);
    EXPECT_EQ(r.name, "mic RMS level re 20 Pa");
}

// The largest level during a tone burst of `ms` milliseconds (starting at
// 0.5 s), relative to the steady level of the same tone.
double burst_response(int mode, double freq, double ms) {
    const double fs = 48000;
    tsinglearr steady = sine(static_cast<int>(fs * 6), 1, freq, fs);
    tsinglearr burst(steady.size(), 0.0f);
    const std::size_t from = static_cast<std::size_t>(0.5 * fs), len = static_cast<std::size_t>(ms / 1000 * fs);
    // Whole cycles of the tone, from a zero crossing.
    for (std::size_t j = 0; j < len; ++j) burst[from + j] = steady[j];
    textractlevel s;
    s.extractmode = mode;
    auto [a, p] = run_level(s, steady, fs);
    auto [b, q] = run_level(s, burst, fs);
    const double ref = a[a.size() - 1];
    return *std::max_element(b.begin(), b.end()) - ref;
}

TEST(Level, TimeWeightingsMeetTheToneBurstResponses) {
    struct tcase {
        int mode;
        double freq, ms, want, below, above;
    };
    // Fast (3) and slow (2): IEC 61672-1 4 kHz bursts; impulse (4): IEC
    // 60651 2 kHz single bursts; class 1 tolerances.
    for (const tcase& c : std::vector<tcase>{{3, 4000, 200, -1.0, 0.5, 0.5},
                                             {3, 4000, 2, -18.0, 1.5, 1.0},
                                             {3, 4000, 0.25, -27.0, 3.0, 1.0},
                                             {2, 4000, 200, -7.4, 0.5, 0.5},
                                             {2, 4000, 2, -27.0, 1.5, 1.0},
                                             {4, 2000, 20, -3.6, 1.5, 1.5},
                                             {4, 2000, 5, -8.8, 2.0, 2.0},
                                             {4, 2000, 2, -12.6, 2.0, 2.0}}) {
        const double r = burst_response(c.mode, c.freq, c.ms);
        EXPECT_GE(r, c.want - c.below) << c.mode << " " << c.ms << " ms";
        EXPECT_LE(r, c.want + c.above) << c.mode << " " << c.ms << " ms";
        std::printf("time weighting %d, %g Hz burst of %g ms: %.2f dB (standard %.1f dB)\n", c.mode, c.freq, c.ms, r, c.want);
    }
    // The slow level of a step to a constant c reaches sqrt(1 - 1/e) c one
    // second after the step; steady sines read their RMS by all three.
    const double fs = 8000;
    textractlevel s;
    s.extractmode = 2;
    auto [y, p] = run_level(s, tsinglearr(16000, 0.5f), fs);
    EXPECT_NEAR(std::pow(10, y[8000] / 20) * 2e-5, std::sqrt(1 - std::exp(-1.0)) * 0.5, 1e-3);
    EXPECT_EQ(p.name, "mic slow sound level re 0.00002 Pa");
    for (int mode : {2, 3, 4}) {
        textractlevel t;
        t.extractmode = mode;
        auto [z, q] = run_level(t, sine(48000 * 8, 1, 1000, 48000), 48000);
        const double level = z.back() - db(std::sqrt(0.5) / 2e-5);
        std::printf("time weighting %d, steady 1 kHz sine: %.3f dB re its RMS\n", mode, level);
        EXPECT_NEAR(level, 0, 0.05) << mode;
    }
}

TEST(Level, WeightedLevelsOfTonesEqualTheMeasurementPass) {
    for (double fs : {48000.0, 22050.0}) {
        for (int w : {1, 3}) {
            for (double f : {50.0, 100.0, 1000.0, 4000.0, 8000.0}) {
                if (f >= fs / 2) continue;
                const tsinglearr x = sine(static_cast<int>(3 * fs), 0.7, f, fs);
                tdocument doc;
                doc.set_totnchans(1);
                tchannel& ch = doc.channel(0);
                ch.sampfreq = fs;
                ch.set_samples(x);
                tweightingfilters filters;
                measure_channel(ch, 2.0, 3.0, true, 0, filters);
                const double want = db((w == 1 ? ch.rmsA : ch.rmsC) / 2e-5);
                // A moving RMS over 0.1 s (whole cycles) in the steady part.
                textractlevel s;
                s.weighting = w;
                s.detectmode = 2;
                s.winduration = 0.1;
                auto [y, p] = run_level(s, x, fs);
                EXPECT_NEAR(y[static_cast<std::size_t>(2.5 * fs)], want, 0.01) << fs << " " << w << " " << f;
                EXPECT_EQ(p.yunit, w == 1 ? "dBA" : "dBC");
                // The chain's gain at 1 kHz is within a few hundredths of a dB
                // of unity.
                if (f == 1000) {
                    EXPECT_NEAR(want, db(0.7 / std::sqrt(2) / 2e-5), 0.05);
                }
            }
        }
    }
}

TEST(Level, PeakFollowerAndHold) {
    const double fs = 10000;
    const tsinglearr x = sine(10000, 0.8, 100, fs);
    textractlevel s;
    s.extractmode = 0;
    s.detectmode = 1;
    s.peakmode = 0;
    s.lpfilter.SetF0(5);
    auto [y, p] = run_level(s, x, fs);
    for (std::size_t j = 100; j < y.size(); ++j) {
        ASSERT_GE(y[j], x[j] - 1e-6);
        ASSERT_LE(y[j], 0.8f + 1e-6);
        ASSERT_GT(y[j], 0.8 * std::exp(-2 * pi * 5 * 0.01) - 0.01);
    }
    EXPECT_EQ(p.name, "mic +peak amplitude");
    s.hold = true;
    s.peakmode = 1;
    auto [h, q] = run_level(s, x, fs);
    // The negative peaks (0.8 at 75 + 100 k) are held until the negated
    // signal rises above the decayed hold again, which it then follows.
    int held = 0;
    for (std::size_t j = 80; j < 9900; ++j) {
        const bool holds = std::fabs(h[j] - 0.8) < 1e-4;
        ASSERT_TRUE(holds || h[j] == -x[j]) << j;
        held += holds;
    }
    EXPECT_GT(held, 0.6 * 9820);
    EXPECT_EQ(q.name, "mic -peak hold amplitude");
    EXPECT_EQ(s.get_procname(), "-Peak hold ampl. (5 Hz)");
}

TEST(Level, MovingRmsOverAFixedOrChannelControlledWindow) {
    const double fs = 10000;
    const tsinglearr x = sine(10000, 1, 100, fs);
    textractlevel s;
    s.extractmode = 0;
    s.detectmode = 2;
    s.winduration = 0.02;
    auto [y, p] = run_level(s, x, fs);
    for (std::size_t j = 200; j < 9800; ++j) ASSERT_NEAR(y[j], std::sqrt(0.5), 1e-5) << j;
    EXPECT_EQ(p.name, "mic moving average 20 ms amplitude");
    EXPECT_EQ(s.get_procname(), "Moving avg ampl. 20 ms");
    // A window longer than twice the signal holds all of it everywhere.
    s.winduration = 3;
    auto [w, pw] = run_level(s, x, fs);
    EXPECT_NEAR(w[0], std::sqrt(0.5 / 3), 1e-4);
    EXPECT_NEAR(w[9999], std::sqrt(0.5 / 3), 1e-4);
    s.winduration = 0.02;
    // Channel 1 holds the period 0.01 s (mode 1) or the frequency 100 Hz
    // (mode 2): one period is the smallest number above 1 ms.
    tdocument doc;
    doc.set_totnchans(2);
    doc.channel(1).sampfreq = 1000;
    for (int mode : {1, 2}) {
        doc.channel(1).set_samples(tsinglearr(1000, mode == 1 ? 0.01f : 100.0f));
        s.windowmode = mode;
        s.windurchanno = 1;
        auto [z, q] = run_level(s, x, fs, &doc);
        for (std::size_t j = 100; j < 9900; ++j) ASSERT_NEAR(z[j], std::sqrt(0.5), 1e-5) << mode << " " << j;
        EXPECT_EQ(s.get_procname(), mode == 1 ? "Moving avg ampl. (T: ch 1)" : "Moving avg ampl. (1/T: ch 1)");
    }
    // A missing channel stops the run.
    s.windurchanno = 5;
    EXPECT_THROW(run_level(s, x, fs, &doc), EProcessError);

    // The period from a channel sampled 100 times faster than the signal (a
    // million samples, read in many buffers): 0.01 s in the first half, 0.02
    // s after. Both windows hold whole cycles, so the moving RMS is the
    // sine's throughout; and the result equals the one with the same control
    // sampled at the signal's own rate.
    s.windowmode = 1;
    s.windurchanno = 1;
    auto period = [](double t) { return t < 0.5 ? 0.01f : 0.02f; };
    doc.channel(1).sampfreq = 100 * fs;
    tsinglearr fast(1000000);
    for (std::size_t k = 0; k < fast.size(); ++k) fast[k] = period(k / (100 * fs));
    doc.channel(1).set_samples(fast);
    auto [z, q] = run_level(s, x, fs, &doc);
    for (std::size_t j = 300; j < 9700; ++j) ASSERT_NEAR(z[j], std::sqrt(0.5), 1e-5) << j;
    doc.channel(1).sampfreq = fs;
    tsinglearr slow(10000);
    for (std::size_t j = 0; j < slow.size(); ++j) slow[j] = period(j / fs);
    doc.channel(1).set_samples(slow);
    EXPECT_EQ(run_level(s, x, fs, &doc).first, z);
}

TEST(Level, FormAndListTexts) {
    textractlevel s;
    EXPECT_EQ(s.get_procname(), "RMS level (50 Hz)");
    auto f = s.settings_form();
    EXPECT_EQ(f->caption, "Extract amplitude or level");
    EXPECT_FALSE(f->field("duration").enabled);
    f->set_index("detect", 2);
    EXPECT_TRUE(f->field("duration").enabled);
    EXPECT_FALSE(f->field("cutoff").enabled);
    f->set_index("weighting", 1);
    f->set_text("duration", "25");
    s.apply_form(*f);
    EXPECT_EQ(s.weighting, 1);
    EXPECT_DOUBLE_EQ(s.winduration, 0.025);
    EXPECT_EQ(s.get_procname(), "Moving avg A-weighted level 25 ms");
    f->set_index("extract", 3);
    f->set_index("weighting", 2);
    s.apply_form(*f);
    EXPECT_EQ(s.get_procname(), "Fast sound level C-weighted");
    f->set_text("cutoff", "0");
    EXPECT_THROW(s.apply_form(*f), EProcessError);
    EXPECT_EQ(s.weighting, 3);
}

}  // namespace
}  // namespace tessal::testing
