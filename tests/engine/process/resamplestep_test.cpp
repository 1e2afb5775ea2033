// The resampling step: the methods on signals whose result is known, the
// polyphase table against the directly evaluated kernel, the signal-to-
// error ratio of a sweep taken 44.1 kHz to 48 kHz and back (beside sox's
// rate effect, very high quality, on the same sweep when sox is there), the
// properties, the form and the refusals.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "engine/process/filtersteps.h"
#include "engine/process/resamplestep.h"
#include "processfixture.h"

namespace tessal::testing {
namespace {

const double pi = std::numbers::pi;

std::pair<tsinglearr, tchannelproperties> run_src(tresample& step, const tsinglearr& x, double fs, int xshift = 0) {
    return run_alone(step, x, fs, [xshift](tchannelproperties& p) { p.xshift = xshift; });
}

TEST(Resample, SimpleMethodsAndProperties) {
    tsinglearr x(10);
    for (int i = 0; i < 10; ++i) x[i] = static_cast<float>(i * i);
    tresample s(44100);
    auto [same, p0] = run_src(s, x, 44100);
    EXPECT_EQ(same, x);
    EXPECT_EQ(p0.name, "mic No SRC needed");
    s.targetfreq = 500;
    s.method = 0;
    auto [h, p1] = run_src(s, x, 1000);
    EXPECT_EQ(h, (tsinglearr{0, 4, 16, 36, 64}));
    EXPECT_EQ(p1.name, "mic + SRC 500");
    EXPECT_EQ(p1.sampfreq, 500);
    EXPECT_EQ(p1.format, tFormat::ieeefloat);
    s.targetfreq = 2000;
    s.method = 1;
    auto [l, p2] = run_src(s, x, 1000, 100);
    ASSERT_EQ(l.size(), 20u);
    for (int j = 0; j < 18; ++j) EXPECT_FLOAT_EQ(l[j], j % 2 ? (x[j / 2] + x[j / 2 + 1]) / 2 : x[j / 2]) << j;
    EXPECT_EQ(p2.xshift, 200);
    EXPECT_EQ(s.get_procname(), "Resample to 2000 Hz (Linear interpolation)");
    // The cubic spline reproduces a parabola between its samples.
    s.method = 4;
    auto [c, p3] = run_src(s, x, 1000);
    for (int j = 2; j < 16; ++j) EXPECT_NEAR(c[j], (j / 2.0) * (j / 2.0), 1e-4) << j;
    EXPECT_THROW(run_src(s, tsinglearr{1, 2, 3}, 1000), EProcessError);
    // An output longer than a channel can hold is refused before it is made.
    s.targetfreq = 10000000;
    EXPECT_THROW(run_src(s, tsinglearr(1000, 0.0f), 1), EProcessError);
    s.targetfreq = 2000;
    // The raised cosine passes through the samples.
    s.method = 3;
    auto [r, p4] = run_src(s, x, 1000);
    for (int j = 0; j < 20; j += 2) EXPECT_NEAR(r[j], x[j / 2], 1e-5);
    EXPECT_EQ(s.get_procname(), "Resample to 2000 Hz (Raised cosine)");
}

// A time shift scaled past what a signal can carry, and a sinc kernel
// longer than a sum can use, are refused naming the field (the shift was
// wrapped round to a number of the other sign before).
TEST(Resample, ShiftsAndKernelsThatDoNotFitAreRefusedNamingTheField) {
    tresample s(44100);
    s.method = 0;
    s.targetfreq = 2000;
    // 2e9 samples at 1 kHz become 4e9 at 2 kHz.
    try {
        run_src(s, tsinglearr(10, 1.0f), 1000, 2000000000);
        ADD_FAILURE() << "not refused";
    } catch (const EProcessError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("Target frequency [Hz] 2000 Hz"), std::string::npos) << m;
        EXPECT_NE(m.find("4000000000"), std::string::npos) << m;
    }
    // Just inside the range, kept to the sample.
    auto [y, p] = run_src(s, tsinglearr(10, 1.0f), 1000, 1000000000);
    EXPECT_EQ(p.xshift, 2000000000);
    EXPECT_EQ(y.size(), 20u);
    // Down from 10 MHz to 1 Hz, 100000 sinc periods of 1 Hz reach 1e12
    // samples either side.
    s.method = 2;
    s.targetfreq = 1;
    s.windowsize = 100000;
    try {
        run_src(s, tsinglearr(100, 1.0f), 10000000);
        ADD_FAILURE() << "not refused";
    } catch (const EProcessError& e) {
        EXPECT_NE(std::string(e.what()).find("Window size [sinc periods] 100000"), std::string::npos)
            << e.what();
    }
}

TEST(Resample, PolyphaseFactorsAndTheDirectKernelAgree) {
    EXPECT_EQ(tresample::polyphase_factor(44100.0 / 48000), 160);
    EXPECT_EQ(tresample::polyphase_factor(48000.0 / 44100), 147);
    EXPECT_EQ(tresample::polyphase_factor(3.0), 1);
    EXPECT_EQ(tresample::polyphase_factor(std::numbers::pi), 0);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1, 1);
    tsinglearr x(4000);
    for (float& v : x) v = u(rng);
    for (int method : {2, 3}) {
        tresample s(48000);
        s.method = method;
        const tsinglearr a = s.resample(x.data(), x.size(), 44100, true);
        const tsinglearr b = s.resample(x.data(), x.size(), 44100, false);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t j = 0; j < a.size(); ++j) ASSERT_NEAR(a[j], b[j], 2e-6) << method << " " << j;
    }
}

TEST(Resample, DownByThreeKeepsThePassBandAndStopsAliases) {
    // 48000 to 16000 Hz: corner 0.92 * 8000 Hz.
    tresample s(16000);
    for (auto [f, lo, hi] : {std::tuple{1000.0, -0.02, 0.02}, {6000.0, -0.02, 0.02}, {9000.0, -300.0, -80.0}}) {
        auto [y, p] = run_src(s, sine(48000, 1, f, 48000), 48000);
        double e = 0;
        for (std::size_t j = 2000; j < 14000; ++j) e += static_cast<double>(y[j]) * y[j];
        const double gain = 10 * std::log10(e / 12000 / 0.5);
        EXPECT_GT(gain, lo) << f;
        EXPECT_LT(gain, hi) << f;
    }
}

double ser_db(const tsinglearr& a, const tsinglearr& b, std::size_t skip) {
    double s = 0, e = 0;
    for (std::size_t j = skip; j + skip < std::min(a.size(), b.size()); ++j) {
        s += static_cast<double>(a[j]) * a[j];
        e += (static_cast<double>(a[j]) - b[j]) * (static_cast<double>(a[j]) - b[j]);
    }
    return 10 * std::log10(s / e);
}

class ResampleSweep : public ttempdirtest {};

TEST_F(ResampleSweep, RoundTripKeepsTheSignalToErrorRatio) {
    // An exponential sweep 20 Hz to 18 kHz over 4 s at 44.1 kHz.
    const double fs = 44100, f0 = 20, f1 = 18000, T = 4;
    tsinglearr x(static_cast<std::size_t>(fs * T));
    const double k = std::log(f1 / f0);
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double t = j / fs;
        x[j] = static_cast<float>(0.5 * std::sin(2 * pi * f0 * T / k * (std::exp(t / T * k) - 1)));
    }
    const char* names[] = {"hold", "linear", "sinc", "raised cosine", "cubic"};
    for (int method = 0; method < 5; ++method) {
        tresample up(48000), down(44100);
        up.method = down.method = method;
        auto [y, p] = run_src(up, x, fs);
        auto [z, q] = run_src(down, y, 48000);
        const double ser = ser_db(x, z, 4410);
        std::printf("%-14s 44.1 -> 48 -> 44.1 kHz: signal to error %.1f dB\n", names[method], ser);
        if (method == 2) {
            EXPECT_GT(ser, 90);
        }
    }
    for (const auto& pr : brick_presets()) {
        tresample up(48000), down(44100);
        up.windowsize = down.windowsize = pr.windowsize;
        up.windowpower = down.windowpower = pr.windowpower;
        up.lpcorner = down.lpcorner = pr.cornermargin;
        auto [y, p] = run_src(up, x, fs);
        auto [z, q] = run_src(down, y, 48000);
        std::printf("sinc %-9s 44.1 -> 48 -> 44.1 kHz: signal to error %.1f dB\n", pr.name, ser_db(x, z, 4410));
    }
    // sox's rate effect, very high quality, on the same sweep.
    if (std::system("sox --version >/dev/null 2>&1") != 0) return;
    const std::string a = path("a.raw"), b = path("b.raw"), c = path("c.raw");
    std::ofstream(a, std::ios::binary).write(reinterpret_cast<const char*>(x.data()), x.size() * 4);
    const std::string raw = " -t raw -e floating-point -b 32 -c 1 ";
    ASSERT_EQ(std::system(("sox" + raw + "-r 44100 " + a + raw + "-r 48000 " + b + " rate -v").c_str()), 0);
    ASSERT_EQ(std::system(("sox" + raw + "-r 48000 " + b + raw + "-r 44100 " + c + " rate -v").c_str()), 0);
    std::ifstream in(c, std::ios::binary);
    tsinglearr z(x.size());
    in.read(reinterpret_cast<char*>(z.data()), z.size() * 4);
    z.resize(in.gcount() / 4);
    std::printf("%-14s 44.1 -> 48 -> 44.1 kHz: signal to error %.1f dB\n", "sox rate -v", ser_db(x, z, 4410));
}

TEST(Resample, FormSharesTheBrickWallPresets) {
    tresample s(44100);
    auto f = s.settings_form();
    EXPECT_EQ(f->caption, "Resample");
    EXPECT_EQ(f->field("preset").items, tresample(1).settings_form()->field("preset").items);
    EXPECT_EQ(f->field("preset").items.front(), "Quick/dirty");
    EXPECT_EQ(f->field("preset").index, 2);  // "Decent"
    f->set_index("preset", 3);                // "Good"
    EXPECT_EQ(f->text("windowsize"), "80");
    EXPECT_EQ(f->text("cornermargin"), "95");
    f->set_text("targetfreq", "16000");
    s.apply_form(*f);
    EXPECT_EQ(s.windowsize, 80);
    EXPECT_DOUBLE_EQ(s.lpcorner, 0.95);
    EXPECT_EQ(s.get_procname(), "Resample to 16000 Hz (Good)");
    f->set_text("windowpower", "3.5");
    EXPECT_EQ(f->field("preset").index, static_cast<int>(brick_presets().size()));  // "Custom"
    f->set_index("method", 0);
    EXPECT_FALSE(f->field("windowsize").enabled);
    f->set_text("targetfreq", "0");
    EXPECT_THROW(s.apply_form(*f), EProcessError);
    EXPECT_EQ(s.targetfreq, 16000);
}

}  // namespace
}  // namespace tessal::testing
