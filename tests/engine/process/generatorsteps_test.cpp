// Generators run inside a process and saved to a channel: harmonic series
// against their tilt, noise against its RMS and a flat spectrum, impulses
// on their samples, ramps to their end values, babble as sums of rotations.
#include "engine/process/generatorsteps.h"

#include <atomic>
#include <numeric>

#include "processfixture.h"
#include "stepspectrum.h"

namespace tessal::testing {
namespace {

class tgentest : public tprocesstest {
protected:
    // Appends a save step into a new channel that keeps the step's FSD and
    // runs the process; the new channels follow those there were.
    tprocresult run_saved(int nout = 1) {
        auto& s = add<tsavechannel>("save");
        s.channo.assign(nout, -1);
        s.fsdmode = fsdkeep;
        return run();
    }
    tsinglearr last(int back = 0) { return doc.channel(doc.totnchans() - 1 - back).samples_array(); }
};

TEST_F(tgentest, HarmonicSeriesFollowsTheTiltAndOddOnly) {
    auto& s = add<tsinewave>("sine");
    s.sampfreq = 16384;
    s.freq = 1024;
    s.duration = 1;
    s.nharm = 5;
    s.tilt = -6;
    ASSERT_TRUE(run_saved().ok);
    ASSERT_EQ(last().size(), 16384u);
    const tdoublearr m = dft_magnitude(last(), 16384);
    for (int k = 1; k <= 5; ++k)  // amplitude a gives a * N / 2 in its bin
        EXPECT_NEAR(m[1024 * k] / 8192, std::pow(10.0, std::log2(k) * -6 / 20.0), 1e-4) << k;
    EXPECT_NEAR(m[2048] / m[1024], 0.5, 0.005);  // -6 dB/octave: about half
    EXPECT_EQ(doc.channel(0).name(), "Sine wave 1024 Hz");
    EXPECT_EQ(s.get_procname(), "Harmonic generator (1024 Hz), 1 s");

    s.oddonly = true;
    steps.pop_back();
    ASSERT_TRUE(run_saved().ok);
    const tdoublearr o = dft_magnitude(last(), 16384);
    EXPECT_LT(o[2048] / 8192, 1e-5);
    EXPECT_LT(o[4096] / 8192, 1e-5);
    EXPECT_NEAR(o[3072] / 8192, std::pow(10.0, std::log2(3) * -6 / 20.0), 1e-4);
}

TEST_F(tgentest, HarmonicAtHalfTheRateEntersWithHalfWeight) {
    auto& s = add<tsinewave>("sine");
    s.sampfreq = 8000;
    s.freq = 1000;
    s.phase = 90;  // so that the harmonic at 4000 Hz is (-1)^j, not 0
    s.duration = 1;
    s.nharm = 6;   // 5 and 6 lie above half the rate: left out
    s.tilt = 0;
    ASSERT_TRUE(run_saved().ok);
    double alt = 0;
    const tsinglearr& y = last();
    for (std::size_t j = 0; j < y.size(); ++j) alt += (j % 2 ? -1.0 : 1.0) * y[j];
    EXPECT_NEAR(alt / y.size(), 0.5, 1e-5);
    EXPECT_NEAR(y[0], 1 + 1 + 1 + 0.5, 1e-5);  // cos of every harmonic at j = 0
}

TEST_F(tgentest, SineFollowsAFrequencyChannelAndAddsToSignals) {
    make_channels(1, 2000);
    doc.channel(0).sampfreq = 10000;
    tsinglearr f(2000, 100.0f);
    for (int j = 500; j < 600; ++j) f[j] = -5;     // phase held
    for (int j = 600; j < 700; ++j) f[j] = 6000;   // above half: held, silent
    doc.channel(0).set_samples(std::move(f));
    add<tloadchannel>("load");
    auto& s = add<tsinewave>("sine");
    s.inputmode = 2;
    ASSERT_TRUE(run_saved().ok);
    const tsinglearr& y = last();
    ASSERT_EQ(y.size(), 2000u);
    auto theta = [](int j) {
        const int moving = std::min(j + 1, 500) + std::max(0, j + 1 - 700);
        return 2 * std::numbers::pi * 100 * moving / 10000;
    };
    for (int j : {0, 1, 37, 499})
        EXPECT_NEAR(y[j], std::sin(theta(j)), 1e-5) << j;
    EXPECT_NEAR(y[550], std::sin(theta(499)), 1e-5);
    EXPECT_EQ(y[650], 0.0f);
    for (int j : {700, 1234, 1999}) EXPECT_NEAR(y[j], std::sin(theta(j)), 1e-4) << j;
    EXPECT_EQ(doc.channel(1).name(), "ch0-> sine wave");

    s.inputmode = 3;
    s.freq = 250;
    steps.pop_back();
    ASSERT_TRUE(run_saved().ok);
    EXPECT_NEAR(last()[1], 100 + std::sin(2 * std::numbers::pi * 250 / 10000), 1e-4);
    EXPECT_EQ(s.get_procname(), "Add Sine wave (250 Hz)");
}

TEST_F(tgentest, NoiseHasItsRmsAndAFlatSpectrumPerOctave) {
    auto& n = add<tnoise>("noise");
    n.sampfreq = 44100;
    n.duration = 10;
    n.amplitude = 0.5;
    ASSERT_TRUE(run_saved().ok);
    const tsinglearr& y = last();
    ASSERT_EQ(y.size(), 441000u);
    double sum = 0, sum2 = 0;
    for (float v : y) {
        sum += v;
        sum2 += static_cast<double>(v) * v;
        ASSERT_LE(std::fabs(v), 0.5f);
    }
    EXPECT_NEAR(std::sqrt(sum2 / y.size()), 0.5 / std::sqrt(3.0), 0.002);
    EXPECT_NEAR(sum / y.size(), 0, 0.002);
    // Averaged periodogram, 4096-sample blocks; power per octave band.
    const std::size_t N = 4096;
    tdoublearr power(N / 2 + 1, 0.0);
    for (std::size_t b = 0; b + N <= y.size(); b += N) {
        const tdoublearr m = dft_magnitude(tsinglearr(y.begin() + b, y.begin() + b + N), N);
        for (std::size_t k = 0; k <= N / 2; ++k) power[k] += m[k] * m[k];
    }
    double all = 0;
    for (std::size_t k = 1; k < N / 2; ++k) all += power[k];
    all /= N / 2 - 1;
    for (std::size_t hi = N / 2; hi >= 16; hi /= 2) {  // 11-22 kHz down to 172-344 Hz
        double band = 0;
        for (std::size_t k = hi / 2; k < hi; ++k) band += power[k];
        band /= hi / 2;
        EXPECT_NEAR(10 * std::log10(band / all), 0, 0.5) << "band up to bin " << hi;
    }
    EXPECT_EQ(doc.channel(0).name(), "Noise");
    EXPECT_EQ(doc.channel(0).nbits, 32);
}

TEST_F(tgentest, NoiseTakesTheInputsLengthsOrAddsToThem) {
    make_channels(2, 300);
    add<tloadchannel>("load").channo = {0, 1};
    auto& n = add<tnoise>("noise");
    n.inputmode = 1;
    n.amplitude = 0.001;
    ASSERT_TRUE(run_saved(2).ok);
    EXPECT_EQ(last().size(), 300u);
    EXPECT_LT(std::fabs(last()[7]), 0.001f);
    n.inputmode = 2;
    steps.pop_back();
    ASSERT_TRUE(run_saved(2).ok);
    EXPECT_NEAR(last()[7], 2.0f, 0.001f);
    EXPECT_NEAR(last(1)[7], 1.0f, 0.001f);
    EXPECT_EQ(n.get_procname(), "Add noise");
}

TEST_F(tgentest, ImpulsesLandOnMultiplesOfTheirPeriod) {
    auto& p = add<timpulses>("impulses");
    p.sampfreq = 44100;
    p.duration = 1;
    p.amplitude = 0.75;
    EXPECT_EQ(p.get_procname(), "Impulses (10 Hz)");
    ASSERT_TRUE(run_saved().ok);
    const tsinglearr& y = last();
    ASSERT_EQ(y.size(), 44100u);
    for (std::size_t j = 0; j < y.size(); ++j)
        ASSERT_EQ(y[j], j % 4410 == 0 ? 0.75f : 0.0f) << j;
    p.freq = 441.3;
    EXPECT_EQ(p.get_procname(), "Impulses (441 Hz)");
    EXPECT_EQ(p.period(), 100);
    p.freq = 100000;  // above twice the rate: no period
    const tprocresult r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Impulses ("), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("twice the sampling rate"), std::string::npos) << r.error;
}

TEST_F(tgentest, RampsHitTheirEndValues) {
    auto& r = add<tramp>("ramp");
    ASSERT_TRUE(run_saved().ok);  // 0 to 20000 over 10 s at 44100 Hz
    EXPECT_EQ(last().size(), 441000u);
    EXPECT_EQ(last().front(), 0.0f);
    EXPECT_EQ(last().back(), 20000.0f);
    EXPECT_EQ(doc.channel(0).fsd(), 20000);
    EXPECT_EQ(doc.channel(0).name(), "Ramp (0 - 20000)");
    EXPECT_FLOAT_EQ(last()[220500], static_cast<float>(20000.0 * 220500 / 440999));
    (void)r;

    steps.clear();
    auto& e = add<texponential>("exponential");
    e.duration = 1;
    e.sampfreq = 1001;  // 1001 samples: the middle one is the geometric mean
    ASSERT_TRUE(run_saved().ok);
    EXPECT_FLOAT_EQ(last().front(), 20.0f);
    EXPECT_FLOAT_EQ(last().back(), 20000.0f);
    EXPECT_NEAR(last()[500], std::sqrt(20.0 * 20000), 1e-3);
    EXPECT_EQ(e.get_procname(), "Exponential (20 - 20000)");

    for (auto [a, b] : {std::pair{0.0, 5.0}, std::pair{-1.0, 5.0}}) {
        e.startvalue = a;
        e.endvalue = b;
        const tprocresult bad = run();
        EXPECT_FALSE(bad.ok);
        EXPECT_NE(bad.error.find("must not be 0 and must have the same sign"), std::string::npos);
    }
    e.startvalue = 1;
    e.duration = 0.0001;  // a single sample
    EXPECT_NE(run().error.find("at least two samples"), std::string::npos);
}

TEST_F(tgentest, BabbleIsASumOfRotations) {
    make_channels(1, 97);
    tsinglearr ramp(97);
    std::iota(ramp.begin(), ramp.end(), 0.0f);
    doc.channel(0).set_samples(std::move(ramp));
    add<tloadchannel>("load");
    auto& b = add<tbabble>("babble");
    b.nvoices = 1;
    ASSERT_TRUE(run_saved().ok);
    const tsinglearr& y = last();
    ASSERT_EQ(y.size(), 97u);
    const std::size_t o = static_cast<std::size_t>(y[0]);
    for (std::size_t j = 0; j < 97; ++j) ASSERT_EQ(y[j], static_cast<float>((j + o) % 97));
    EXPECT_EQ(doc.channel(1).name(), "ch0 Babble 1 voices");

    // Many voices report progress voice by voice, and a cancel stops them.
    b.nvoices = 1000;
    std::atomic<bool> cancel{false};
    int reports = 0;
    env.cancel = &cancel;
    env.onprogress = [&](int step, double f) {
        if (step == 1 && f > 0 && f < 1 && ++reports == 10) cancel = true;
    };
    EXPECT_TRUE(run().cancelled);
    EXPECT_EQ(reports, 10);
    env.cancel = nullptr;
    env.onprogress = nullptr;
    b.nvoices = 1;

    b.nvoices = 5;
    b.monotostereo = true;
    b.delayrange = 0.002;  // 2 samples at 1000 Hz
    steps.pop_back();
    ASSERT_TRUE(run_saved(2).ok);
    ASSERT_EQ(doc.totnchans(), 4);
    for (int side : {0, 1}) {
        const tsinglearr& s = last(side);
        // Every output sample is the sum of five rotated copies.
        EXPECT_DOUBLE_EQ(std::accumulate(s.begin(), s.end(), 0.0), 5.0 * 96 * 97 / 2);
    }
    EXPECT_EQ(doc.channel(2).name(), "ch0 Babble 5 voices, stereo 2 ms");
    EXPECT_EQ(b.get_procname(), "Babble 5 voices, stereo 2 ms");
}

TEST_F(tgentest, FormsRefuseImpossibleValuesAndShowFieldsByMode) {
    tsinewave s(44100);
    auto f = s.settings_form();
    EXPECT_EQ(f->caption, "Sine wave generator");
    EXPECT_TRUE(f->field("duration").visible);
    f->set_index("inputmode", 2);
    EXPECT_FALSE(f->field("duration").visible);
    EXPECT_FALSE(f->field("freq").visible);
    EXPECT_FALSE(f->field("delay").visible);
    f->set_index("inputmode", 3);
    EXPECT_TRUE(f->field("freq").visible);
    EXPECT_FALSE(f->field("adddelay").visible);
    f->set_index("inputmode", 0);
    f->set_text("duration", "-1");
    EXPECT_EQ(f->number_problem("duration"), "Duration must be a number from 0 to 10000000 s");
    try {
        s.apply_form(*f);
        FAIL();
    } catch (const EProcessError& e) {
        EXPECT_STREQ(e.what(), "Duration must be a number from 0 to 10000000 s");
    }
    EXPECT_EQ(s.duration, 10);  // unchanged
    f->set_text("duration", "2");
    f->set_text("nharm", "2.5");
    EXPECT_THROW(s.apply_form(*f), EProcessError);
    f->set_text("nharm", "3");
    f->set_text("tilt", "-3");
    s.apply_form(*f);
    EXPECT_EQ(s.duration, 2);
    EXPECT_EQ(s.nharm, 3);
    EXPECT_EQ(s.tilt, -3);

    // A process file holding what the form refuses stops the run, naming the step.
    auto& g = add<tsinewave>("sine");
    g.duration = -1;
    const tprocresult r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Sine generator (1000 Hz), -1 s: Duration must be a number from 0 to 10000000 s");

    tbabble b;
    auto bf = b.settings_form();
    EXPECT_EQ(bf->text("delayrange"), "0.34");  // shown in ms
    bf->set_text("delayrange", "5");
    bf->set_text("nvoices", "0");
    EXPECT_THROW(b.apply_form(*bf), EProcessError);
    bf->set_text("nvoices", "3");
    b.apply_form(*bf);
    EXPECT_DOUBLE_EQ(b.delayrange, 0.005);

    timpulses p(1000);
    auto pf = p.settings_form();
    pf->set_text("freq", "2500");  // above twice the rate
    EXPECT_THROW(p.apply_form(*pf), EProcessError);
    EXPECT_EQ(p.freq, 10);

    texponential e(1000);
    auto ef = e.settings_form();
    EXPECT_EQ(ef->caption, "Exponential generator");
    ef->set_text("startvalue", "0");
    EXPECT_THROW(e.apply_form(*ef), EProcessError);
}

}  // namespace
}  // namespace tessal::testing
