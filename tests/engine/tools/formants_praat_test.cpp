// Formant accuracy beside Praat's "To Formant (burg)" on the same files:
// synthetic LF vowels /a/, /i/, /u/ with five known resonances, F0 90 to
// 300 Hz, at 16 and 44.1 kHz, clean and with white noise 20 dB below the
// vowel. Both programs analyse the same 32-bit float WAVE files with the
// same settings (5 formants, ceiling 5500 Hz, 0.025 s window, 0.01 s step,
// pre-emphasis from 50 Hz); the error of a frame is |estimate - truth|, a
// frame without an F1 (F2) counting the true value whole. The table of mean
// absolute errors per file is printed (bench/formants_table.sh shows it);
// the test holds Tessal's mean absolute F1 and F2 errors over all files to
// no more than Praat's. Skipped without praat.
#include "engine/tools/formants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lfvowel.h"

namespace tessal {
namespace {

namespace fs = std::filesystem;

struct tcase {
    std::string vowel;
    double f0, rate, snr;  // snr 0: clean
    std::vector<testing::tresonance> formants;
    std::string file;
    std::vector<float> x;
};

const std::map<std::string, std::vector<testing::tresonance>> vowels = {
    {"a", {{800, 80}, {1200, 90}, {2800, 120}, {3600, 150}, {4500, 200}}},
    {"i", {{300, 60}, {2300, 100}, {3000, 120}, {3700, 150}, {4500, 200}}},
    {"u", {{350, 60}, {900, 80}, {2500, 120}, {3500, 150}, {4500, 200}}},
};

std::vector<float> make_signal(const tcase& c, unsigned seed) {
    testing::tlfcycle cyc;
    cyc.T0 = 1 / c.f0;
    const testing::tvowel v = testing::make_vowel(c.rate, 0.5, {cyc}, c.formants);
    double peak = 0, power = 0;
    for (double x : v.mic) peak = std::max(peak, std::abs(x)), power += x * x;
    const double scale = 0.5 / peak;
    const double sigma = c.snr > 0 ? std::sqrt(power / v.mic.size()) * scale * std::pow(10.0, -c.snr / 20) : 0;
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0, 1);
    std::vector<float> x(v.mic.size());
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(v.mic[i] * scale + sigma * g(rng));
    return x;
}

void put32(std::ofstream& f, std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); }
void put16(std::ofstream& f, std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); }

// A mono 32-bit float WAVE file (little-endian host).
void write_float_wav(const std::string& path, const std::vector<float>& x, double rate) {
    std::ofstream f(path, std::ios::binary);
    const std::uint32_t bytes = static_cast<std::uint32_t>(x.size() * 4);
    f.write("RIFF", 4), put32(f, 36 + bytes), f.write("WAVEfmt ", 8), put32(f, 16);
    put16(f, 3), put16(f, 1), put32(f, static_cast<std::uint32_t>(rate)), put32(f, static_cast<std::uint32_t>(rate) * 4);
    put16(f, 4), put16(f, 32), f.write("data", 4), put32(f, bytes);
    f.write(reinterpret_cast<const char*>(x.data()), bytes);
}

struct tframes {
    std::vector<double> t, f1, f2;
};

// Mean absolute errors of F1 and F2 over the frames from 0.05 to 0.45 s.
std::pair<double, double> mae(const tframes& fr, const tcase& c) {
    double e1 = 0, e2 = 0;
    int n = 0;
    for (std::size_t k = 0; k < fr.t.size(); ++k) {
        if (fr.t[k] < 0.05 || fr.t[k] > 0.45) continue;
        e1 += std::isfinite(fr.f1[k]) ? std::abs(fr.f1[k] - c.formants[0].f) : c.formants[0].f;
        e2 += std::isfinite(fr.f2[k]) ? std::abs(fr.f2[k] - c.formants[1].f) : c.formants[1].f;
        ++n;
    }
    return n ? std::pair{e1 / n, e2 / n} : std::pair{double(NAN), double(NAN)};
}

class FormantsPraat : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v praat >/dev/null 2>&1") != 0) GTEST_SKIP() << "praat is not installed";
        char tmpl[] = "/tmp/tessal-formants-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    std::string dir;
};

TEST_F(FormantsPraat, TessalErrorsNoLargerThanPraats) {
    std::vector<tcase> cases;
    unsigned seed = 1;
    for (const auto& [name, res] : vowels)
        for (double f0 : {90.0, 150.0, 220.0, 300.0})
            for (double rate : {16000.0, 44100.0})
                for (double snr : {0.0, 20.0}) {
                    tcase c{name, f0, rate, snr, res, {}, {}};
                    c.x = make_signal(c, seed++);
                    c.file = dir + "/v" + std::to_string(cases.size()) + ".wav";
                    write_float_wav(c.file, c.x, rate);
                    cases.push_back(std::move(c));
                }
    // One Praat run over every file: per file a line "#", then per frame
    // "time F1 F2" (--undefined-- where Praat has none).
    std::ostringstream script;
    for (const tcase& c : cases)
        script << "sound = Read from file: \"" << c.file << "\"\n"
           << "formant = To Formant (burg): 0.01, 5, 5500, 0.025, 50\n"
           << "n = Get number of frames\nappendInfoLine: \"#\"\n"
           << "for i to n\n  t = Get time from frame number: i\n"
           << "  f1 = Get value at time: 1, t, \"hertz\", \"linear\"\n  f2 = Get value at time: 2, t, \"hertz\", \"linear\"\n"
           << "  appendInfoLine: fixed$(t, 6), \" \", f1, \" \", f2\nendfor\n"
           << "removeObject: sound, formant\n";
    const std::string scriptfile = dir + "/formants.praat", outfile = dir + "/praat.txt";
    std::ofstream(scriptfile) << script.str();
    ASSERT_EQ(std::system(("praat --run '" + scriptfile + "' >'" + outfile + "' 2>&1").c_str()), 0)
        << std::ifstream(outfile).rdbuf();
    std::vector<tframes> praat;
    {
        std::ifstream in(outfile);
        std::string line;
        while (std::getline(in, line)) {
            if (line == "#") {
                praat.emplace_back();
                continue;
            }
            ASSERT_FALSE(praat.empty()) << line;
            std::istringstream ls(line);
            std::string t, a, b;
            ls >> t >> a >> b;
            auto num = [](const std::string& v) { return v == "--undefined--" ? NAN : std::stod(v); };
            praat.back().t.push_back(std::stod(t));
            praat.back().f1.push_back(num(a));
            praat.back().f2.push_back(num(b));
        }
    }
    ASSERT_EQ(praat.size(), cases.size());

    double tessal1 = 0, tessal2 = 0, praat1 = 0, praat2 = 0;
    std::printf("%-6s %5s %6s %5s | %8s %8s | %8s %8s   (mean absolute error, Hz)\n", "vowel", "F0", "rate",
                "SNR", "F1 ours", "F1 Praat", "F2 ours", "F2 Praat");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const tcase& c = cases[i];
        const tformanttracks tr = formants(c.x.data(), c.x.size(), c.rate, {});
        tframes ours;
        for (std::size_t k = 0; k < tr.frames(); ++k) {
            ours.t.push_back(tr.times[k]);
            ours.f1.push_back(tr.F(k, 0));
            ours.f2.push_back(tr.F(k, 1));
        }
        ASSERT_GT(ours.t.size(), 30u);
        const auto [o1, o2] = mae(ours, c);
        const auto [p1, p2] = mae(praat[i], c);
        std::printf("/%s/    %5.0f %6.0f %5s | %8.1f %8.1f | %8.1f %8.1f\n", c.vowel.c_str(), c.f0, c.rate,
                    c.snr > 0 ? "20 dB" : "clean", o1, p1, o2, p2);
        tessal1 += o1, tessal2 += o2, praat1 += p1, praat2 += p2;
    }
    const double n = static_cast<double>(cases.size());
    std::printf("%-25s | %8.1f %8.1f | %8.1f %8.1f\n", "all", tessal1 / n, praat1 / n, tessal2 / n, praat2 / n);
    EXPECT_LE(tessal1, praat1);
    EXPECT_LE(tessal2, praat2);
}

}  // namespace
}  // namespace tessal
