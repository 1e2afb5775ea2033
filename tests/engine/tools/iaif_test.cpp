// Automatic inverse filtering (IAIF) against truth: polynomial roots against
// the polynomials built from them, and synthetic vowels (an LF source
// through known formant resonators, lfvowel.h) whose estimated filter must
// give back the model's flow derivative (correlation after alignment) and,
// through the cycles found without marking, the model's NAQ.
//
// With IAIF_TABLE=1 in the environment the vowel test prints one row per
// vowel, F0, rate and noise: r and the NAQ estimated and of the model
// (bench/iaif_table.sh runs it).
#include "engine/tools/iaif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>

#include "engine/dsp/tfiltersection.h"
#include "engine/tools/glottalcycles.h"
#include "engine/tools/qcp.h"
#include "lfvowel.h"

namespace tessal {
namespace {

using testing::make_vowel;
using testing::tlfcycle;
using testing::tresonance;
using testing::tvowel;

std::vector<double> poly_from_roots(const std::vector<std::complex<double>>& roots) {
    std::vector<std::complex<double>> p{1.0};
    for (const auto& r : roots) {
        p.push_back(0.0);
        for (std::size_t k = p.size() - 1; k > 0; --k) p[k] -= r * p[k - 1];
    }
    std::vector<double> out;
    for (const auto& c : p) out.push_back(c.real());
    return out;
}

TEST(IaifRoots, RootsOfPolynomialsBuiltFromThem) {
    const std::vector<std::complex<double>> want = {
        std::polar(0.97, 0.3), std::polar(0.97, -0.3), std::polar(0.9, 1.2), std::polar(0.9, -1.2),
        std::polar(0.5, 2.8),  std::polar(0.5, -2.8),  {0.95, 0},            {-0.6, 0}, {0.2, 0}};
    std::vector<std::complex<double>> got = polynomial_roots(poly_from_roots(want));
    ASSERT_EQ(got.size(), want.size());
    for (const auto& w : want) {
        double best = 1e9;
        for (const auto& g : got) best = std::min(best, std::abs(g - w));
        EXPECT_LT(best, 1e-9) << w;
    }
    // Close pairs (two formants 20 Hz apart at 16 kHz) separate too.
    const double a = 2 * M_PI * 1000 / 16000, b = 2 * M_PI * 1020 / 16000;
    got = polynomial_roots(poly_from_roots({std::polar(0.98, a), std::polar(0.98, -a), std::polar(0.98, b),
                                            std::polar(0.98, -b)}));
    std::vector<double> angles;
    for (const auto& g : got)
        if (g.imag() > 0) angles.push_back(std::arg(g));
    std::sort(angles.begin(), angles.end());
    ASSERT_EQ(angles.size(), 2u);
    EXPECT_NEAR(angles[0], a, 1e-6);
    EXPECT_NEAR(angles[1], b, 1e-6);
    EXPECT_TRUE(polynomial_roots({2.0}).empty());
}

TEST(IaifRoots, FormantsOfAProductOfZeroSectionsAreTheirOwn) {
    // The zero sections' polynomials multiplied out (as TFilterSection's
    // design writes them), with two real roots that must be left out.
    const double fs = 16000;
    const std::vector<std::pair<double, double>> fb = {{350, 60}, {1800, 150}, {5200, 900}};
    std::vector<std::complex<double>> roots{{0.9, 0}, {-0.3, 0}};
    for (auto [f, bw] : fb) {
        const auto r = std::polar(std::exp(-M_PI * bw / fs), 2 * M_PI * f / fs);
        roots.push_back(r);
        roots.push_back(std::conj(r));
    }
    int real = 0;
    const std::vector<tformant> got = formants_from_polynomial(poly_from_roots(roots), fs, &real);
    EXPECT_EQ(real, 2);
    ASSERT_EQ(got.size(), fb.size());
    for (std::size_t i = 0; i < fb.size(); ++i) {
        EXPECT_FALSE(got[i].iszero);
        EXPECT_NEAR(got[i].f0, fb[i].first, 1e-6);
        EXPECT_NEAR(got[i].bw, fb[i].second, 1e-6);
    }
}

TEST(Iaif, RefusesWhatItCannotEstimate) {
    const std::vector<double> zeros(8000, 0.0), shortone(100, 1.0);
    EXPECT_FALSE(iaif(zeros.data(), zeros.size(), 16000).ok);
    EXPECT_NE(iaif(zeros.data(), zeros.size(), 16000).problem.find("silent"), std::string::npos);
    EXPECT_NE(iaif(shortone.data(), shortone.size(), 16000).problem.find("too short"), std::string::npos);
    EXPECT_FALSE(iaif(zeros.data(), zeros.size(), 0).ok);
    tiaifoptions o;
    o.hp = 9000;
    EXPECT_FALSE(iaif(zeros.data(), zeros.size(), 16000, o).ok);
    EXPECT_EQ(iaif_default_order(16000), 18);
    EXPECT_EQ(iaif_default_order(44100), 46);
}

struct tvowelcase {
    const char* name;
    std::vector<tresonance> formants;
};

const std::vector<tvowelcase> vowels = {
    {"a", {{730, 90}, {1090, 110}, {2440, 160}, {3400, 250}}},
    {"i", {{270, 60}, {2290, 150}, {3010, 200}, {3700, 280}}},
    {"u", {{300, 70}, {870, 90}, {2240, 150}, {3300, 250}}},
    {"e", {{530, 80}, {1840, 120}, {2480, 170}, {3500, 250}}},
};

// A few cycles of slightly different shape and length, as a voice has.
std::vector<tlfcycle> cycles_at(double f0) {
    std::vector<tlfcycle> c;
    const double jitter[] = {1.0, 1.012, 0.992, 1.006, 0.988};
    const double shape[][4] = {{0.45, 0.6, 0.04, 0.7}, {0.43, 0.58, 0.045, 0.68}, {0.47, 0.62, 0.035, 0.72}};
    for (int k = 0; k < 15; ++k) {
        const double* s = shape[k % 3];
        c.push_back({1.0 / (f0 * jitter[k % 5]), s[0], s[1], s[2], s[3], 1.0 + 0.05 * (k % 4)});
    }
    return c;
}

struct toutcome {
    double r = 0, naq = 0, modelnaq = 0;
    int cycles = 0, gcis = 0;
};

// The model's median NAQ as the T-naq measure pairs it: cycle k runs from
// the negative peak of pulse k to that of pulse k + 1; its peak flow and
// MDR are pulse k's.
double model_naq(const tvowel& v) {
    std::vector<double> naqs;
    for (std::size_t k = 0; k + 1 < v.pulses.size(); ++k) {
        const auto& p = v.pulses[k];
        const double t0 = v.cyclestart[k + 1] + v.pulses[k + 1].te - (v.cyclestart[k] + p.te);
        naqs.push_back(p.peakflow() / (-p.der(p.te) * t0));  // der(te) = -Ee
    }
    std::nth_element(naqs.begin(), naqs.begin() + naqs.size() / 2, naqs.end());
    return naqs[naqs.size() / 2];
}

// 0.6 s of the vowel at F0, with white noise `snrdb` below its mean square
// (none from 100 dB up).
tvowel noisy_vowel(const tvowelcase& vc, double f0, double fs, double snrdb) {
    tvowel v = make_vowel(fs, 0.6, cycles_at(f0), vc.formants);
    if (snrdb < 100) {
        double ss = 0;
        for (double x : v.mic) ss += x * x;
        std::mt19937 rng(11);
        std::normal_distribution<double> n(0.0, std::sqrt(ss / v.mic.size()) * std::pow(10.0, -snrdb / 20));
        for (double& x : v.mic) x += n(rng);
    }
    return v;
}

// The span analysed starts 50 ms in (the resonators settled) and is one
// window segment long.
std::size_t span_start(double fs) { return static_cast<std::size_t>(0.05 * fs); }
std::size_t span_length(const tvowel& v, double fs) {
    return std::min<std::size_t>(invfilter_seglen, v.mic.size() - span_start(fs) - 1);
}

// The window's outputs with filter f over the span of the vowel's
// microphone signal, and the model's derivative there (the first
// difference stands for the derivative half a sample back).
std::vector<double> run_window(tinvfilter& f, const tvowel& v, double fs) {
    const std::size_t base = span_start(fs);
    f.set_sampfreq(fs);
    f.rebuild_cascade();
    f.load_samples(fs, [&](int i) {
        const long long k = static_cast<long long>(base) + i;
        return k >= 0 && k < static_cast<long long>(v.mic.size()) ? v.mic[static_cast<std::size_t>(k)] : 0.0;
    });
    f.recompute_outputs();
    std::vector<double> model(span_length(v, fs));
    for (std::size_t i = 0; i < model.size(); ++i) model[i] = v.der_at((static_cast<double>(base + i) - 0.5) / fs);
    return model;
}

// The estimated filter over the vowel's microphone signal (as the inverse
// filter window runs it), the derivative compared with the model's at the
// best lag within 1 ms, and the median NAQ of the cycles of its flow.
toutcome run_case(const tvowelcase& vc, double f0, double fs, double snrdb, bool quasiclosed) {
    const tvowel v = noisy_vowel(vc, f0, fs, snrdb);
    const std::size_t base = span_start(fs), len = span_length(v, fs);
    int gcis = 0;
    const tiaifresult est =
        quasiclosed ? qcp(v.mic.data() + base, len, fs, {}, nullptr, &gcis) : iaif(v.mic.data() + base, len, fs);
    EXPECT_TRUE(est.ok) << est.problem;
    tinvfilter f;
    apply_iaif(f, est);
    const std::vector<double> model = run_window(f, v, fs);
    toutcome o;
    o.gcis = gcis;
    const int n = static_cast<int>(len);
    const int maxlag = static_cast<int>(0.001 * fs), edge = static_cast<int>(0.02 * fs);
    for (int lag = -maxlag; lag <= maxlag; ++lag) {
        const int m = n - 2 * edge;
        std::vector<double> est(m);
        for (int i = 0; i < m; ++i) est[i] = tinvfilter::at(f.invderarr, edge + i + lag);
        o.r = std::max(o.r, testing::correlation(est.data(), model.data() + edge, m));
    }
    std::vector<double> flow(f.invflowarr.begin() + invfilter_lead, f.invflowarr.begin() + invfilter_lead + n);
    std::vector<double> naqs;
    measure_cycles(flow, fs, 0, {}, [&](tglottalflow& g) { naqs.push_back(g.naq); });
    o.cycles = static_cast<int>(naqs.size());
    if (!naqs.empty()) {
        std::nth_element(naqs.begin(), naqs.begin() + naqs.size() / 2, naqs.end());
        o.naq = naqs[naqs.size() / 2];
    }
    o.modelnaq = model_naq(v);
    return o;
}

// What noise leaves of NAQ whatever the formants: the model's own formants
// in the window, both outputs then low-passed forward and backward (two
// second-order Butterworth sections each way) at the cut-off (1 ... 6 kHz,
// in steps of 250 Hz) where the derivative correlates best with the
// model's; the NAQ error (%) of its cycles there. White noise over a
// falling voice spectrum leaves the choice between passing the noise and
// cutting the derivative's sharp closure, whose peak then falls and NAQ
// rises: this is the error of the best such choice with exact formants.
double naq_error_at_best_r(const tvowelcase& vc, double f0, double fs, double snrdb) {
    const tvowel v = noisy_vowel(vc, f0, fs, snrdb);
    tinvfilter f;
    for (const tresonance& r : vc.formants) f.formants.push_back({false, r.f, r.bw});
    const std::vector<double> model = run_window(f, v, fs);
    const int n = static_cast<int>(model.size());
    const auto lowpassed = [&](const std::vector<double>& a, double cut) {
        std::vector<double> y(a.begin() + invfilter_lead, a.begin() + invfilter_lead + n);
        for (int rep = 0; rep < 2; ++rep) {
            TLPFilterSection h;
            h.SetSampFreq(fs);
            h.SetQ(std::sqrt(0.5));
            h.SetF0(cut);
            h.reset();
            for (double& x : y) x = h.filter(x);
            h.reset();
            for (std::size_t i = y.size(); i-- > 0;) y[i] = h.filter(y[i]);
        }
        return y;
    };
    double bestr = -1, err = 0;
    const int edge = static_cast<int>(0.02 * fs);
    for (double cut = 1000; cut <= 6000 && cut < 0.45 * fs; cut += 250) {
        const std::vector<double> d = lowpassed(f.invderarr, cut);
        const double r = testing::correlation(d.data() + edge, model.data() + edge, n - 2 * edge);
        if (!(r > bestr)) continue;
        std::vector<double> naqs;
        measure_cycles(lowpassed(f.invflowarr, cut), fs, 0, {}, [&](tglottalflow& g) { naqs.push_back(g.naq); });
        if (naqs.empty()) continue;
        std::nth_element(naqs.begin(), naqs.begin() + naqs.size() / 2, naqs.end());
        bestr = r;
        err = 100 * (naqs[naqs.size() / 2] / model_naq(v) - 1);
    }
    return err;
}

// What holds for IAIF alone: the derivative correlates at r > 0.9 for the open vowels
// (/a/, /e/, F1 above 500 Hz) up to 200 Hz with or without noise, and for
// the close ones (/i/, /u/) up to 120 Hz without; NAQ is within 10 % for
// F0 up to 120 Hz without noise, except /a/ at 44.1 kHz. Beyond that a
// harmonic near F1 pulls the tract model (the known limit of LPC-based
// inverse filtering) and noise raises the NAQ; those cases are held only
// to floors that catch a broken estimate (r > 0.75, and NAQ within 40 % for
// the open vowels), and the table shows them.
//
// What holds for QCP (qcp.h, what the window and tessal-cli use), every
// vowel up to 200 Hz at both rates: without noise r > 0.99 and NAQ within
// 8 % (the model's own formants give +2.5 ... +5 % through the window
// here: the first difference misses the closure's sharp peak by that
// much). At 30 dB SNR r > 0.9 and NAQ at most 6 points further from the
// model's than what the model's own formants give when band-limited where
// they match best (the limit column: +9 ... +32 %, the noise's share).
TEST(IaifTruth, SyntheticVowelsGiveTheModelsDerivativeAndNaq) {
    const bool table = std::getenv("IAIF_TABLE") != nullptr;
    if (table)
        std::printf("vowel\tfs\tF0\tSNR\tr\tNAQ\tmodel NAQ\terror %%\tcycles\tQCP r\tQCP NAQ\tQCP err %%\tGCIs"
                    "\tlimit %%\n");
    for (double fs : {16000.0, 44100.0}) {
        for (const tvowelcase& vc : vowels) {
            const bool open = vc.name[0] == 'a' || vc.name[0] == 'e';
            for (double f0 : {90.0, 120.0, 160.0, 200.0, 300.0}) {
                for (double snr : {1000.0, 30.0}) {
                    const bool clean = snr > 100;
                    const toutcome o = run_case(vc, f0, fs, snr, false);
                    const toutcome q = run_case(vc, f0, fs, snr, true);
                    const double err = 100 * (o.naq / o.modelnaq - 1);
                    const double qerr = 100 * (q.naq / q.modelnaq - 1);
                    const double limit = clean || f0 > 200 ? 0.0 : naq_error_at_best_r(vc, f0, fs, snr);
                    if (table)
                        std::printf("%s\t%g\t%g\t%s\t%.3f\t%.4f\t%.4f\t%+.1f\t%d\t%.3f\t%.4f\t%+.1f\t%d\t%s\n", vc.name,
                                    fs, f0, clean ? "clean" : "30 dB", o.r, o.naq, o.modelnaq, err, o.cycles, q.r, q.naq,
                                    qerr, q.gcis,
                                    clean || f0 > 200 ? "" : std::to_string(std::lround(limit)).c_str());
                    if (f0 > 200) continue;
                    const std::string what = std::string(vc.name) + " at " + std::to_string(int(f0)) + " Hz, fs " +
                                             std::to_string(int(fs)) + (clean ? ", clean" : ", 30 dB SNR");
                    const bool rholds = open ? true : (f0 <= 120 && clean);
                    EXPECT_GT(o.r, rholds ? 0.9 : 0.75) << "IAIF, " << what;
                    if (clean && f0 <= 120 && !(fs > 20000 && vc.name[0] == 'a')) {
                        EXPECT_LT(std::abs(err), 10.0) << "IAIF, " << what;
                    } else if (open) {
                        EXPECT_LT(std::abs(err), 40.0) << "IAIF, " << what;
                    }
                    if (clean) {
                        EXPECT_GT(q.r, 0.99) << "QCP, " << what;
                        EXPECT_LT(std::abs(qerr), 8.0) << "QCP, " << what;
                    } else {
                        EXPECT_GT(q.r, 0.9) << "QCP, " << what;
                        EXPECT_LT(std::abs(qerr), std::abs(limit) + 6.0) << "QCP, " << what;
                    }
                }
            }
        }
    }
}

// Weighted linear prediction against an AR(4) process it must give back:
// with all weights 1 it is the covariance method (the coefficients within
// the estimator's spread); a resonance excited by pulses is found exactly
// when the samples the pulses excite weigh (almost) nothing, however close
// the pulses follow each other.
TEST(QcpWeightedLpc, GivesBackKnownAllPoleModels) {
    const std::vector<double> ar = poly_from_roots({std::polar(0.95, 0.4), std::polar(0.95, -0.4),
                                                    std::polar(0.8, 1.9), std::polar(0.8, -1.9)});
    std::mt19937 rng(3);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<double> x(20000, 0.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        double v = g(rng);
        for (std::size_t k = 1; k < ar.size() && k <= i; ++k) v -= ar[k] * x[i - k];
        x[i] = v;
    }
    const std::vector<double> a = weighted_lpc(x, std::vector<double>(x.size(), 1.0), 4);
    ASSERT_EQ(a.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) EXPECT_NEAR(a[k], ar[k], 0.03) << k;

    // Pulses every 37 samples (a 432 Hz voice at 16 kHz) through 500 Hz,
    // 60 Hz wide: autocorrelation LPC misses it, zero weight at the pulses
    // (and the p samples after, whose past holds them only as samples) not.
    const double fs = 16000;
    const auto r = std::polar(std::exp(-M_PI * 60 / fs), 2 * M_PI * 500 / fs);
    const std::vector<double> res = poly_from_roots({r, std::conj(r)});
    std::vector<double> y(4000, 0.0), w(y.size(), 1.0);
    for (std::size_t i = 0; i < y.size(); ++i) {
        double v = i % 37 == 0 ? 1.0 : 0.0;
        if (v > 0) w[i] = 0;
        for (std::size_t k = 1; k < res.size() && k <= i; ++k) v -= res[k] * y[i - k];
        y[i] = v;
    }
    const std::vector<double> b = weighted_lpc(y, w, 2);
    EXPECT_NEAR(b[1], res[1], 1e-6);
    EXPECT_NEAR(b[2], res[2], 1e-6);
    const std::vector<tformant> f = formants_from_polynomial(b, fs);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_NEAR(f[0].f0, 500, 0.1);
    EXPECT_NEAR(f[0].bw, 60, 0.1);
    // Nothing to model: the polynomial 1.
    EXPECT_EQ(weighted_lpc(std::vector<double>(100, 0.0), std::vector<double>(100, 1.0), 3),
              (std::vector<double>{1, 0, 0, 0}));
    EXPECT_EQ(weighted_lpc(y, std::vector<double>(y.size(), 0.0), 2), (std::vector<double>{1, 0, 0}));
}

// The AME weights: the floor over [g - pq T, g - pq T + (1 - dq) T), ramps
// of `ramp` either side, 1 elsewhere; GCIs further apart than the longest
// period bound nothing.
TEST(QcpWeightedLpc, AmeWeightsAttenuateTheMainExcitation) {
    tqcpoptions o;
    o.ramp = 0;
    const double fs = 10000;  // the longest period (50 Hz) is 200 samples
    const std::vector<double> w = ame_weights(500, {100, 200, 450}, fs, o);
    // Period 100: attenuated from 95 to 125.
    EXPECT_EQ(w[94], 1.0);
    EXPECT_EQ(w[95], o.floor);
    EXPECT_EQ(w[124], o.floor);
    EXPECT_EQ(w[125], 1.0);
    // The second GCI's next is 250 away: it takes its previous period.
    EXPECT_EQ(w[195], o.floor);
    EXPECT_EQ(w[225], 1.0);
    EXPECT_EQ(w[445], 1.0);  // the last, alone, bounds nothing
    o.ramp = 0.0004;         // 4 samples
    const std::vector<double> r = ame_weights(500, {100, 200}, fs, o);
    EXPECT_NEAR(r[93], o.floor + (1 - o.floor) * 0.5, 1e-12);
    EXPECT_NEAR(r[127], o.floor + (1 - o.floor) * 0.5, 1e-12);
}

// A long span's weights are made block by block as the sums go: any piece
// of them is that piece of the whole array, and the prediction from them is
// the prediction from the whole array, bit for bit, with attenuations
// across the block edges (65536 samples) and a gap longer than a period.
TEST(QcpWeightedLpc, WeightsMadeInPiecesAreTheWholeArraysAndPredictAlike) {
    const double fs = 16000;
    tqcpoptions o;
    std::vector<std::size_t> gcis;
    for (std::size_t g = 100; g < 200000; g += 131 + (g / 131) % 7) {
        if (g > 90000 && g < 91000) continue;  // unvoiced: no period bounded
        gcis.push_back(g);
    }
    gcis.push_back(65536 + 3);  // just past a block edge, kept ascending
    std::sort(gcis.begin(), gcis.end());
    const std::size_t n = 200000;
    const std::vector<double> whole = ame_weights(n, gcis, fs, o);
    for (auto [from, to] : {std::pair<std::size_t, std::size_t>{0, 1}, {65530, 65600}, {65536, 131072},
                            {90500, 92000}, {199990, 200000}, {5, 5}}) {
        std::vector<double> piece(to - from + 1, -1.0);
        ame_weights(from, to, gcis, fs, o, piece.data());
        for (std::size_t i = from; i < to; ++i) ASSERT_EQ(piece[i - from], whole[i]) << i;
        EXPECT_EQ(piece[to - from], -1.0) << "wrote past " << to;
    }
    std::mt19937 rng(7);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<double> s(n);
    double y1 = 0, y2 = 0;
    for (double& v : s) {
        v = g(rng) + 1.6 * y1 - 0.9 * y2;
        y2 = y1;
        y1 = v;
    }
    EXPECT_EQ(weighted_lpc_ame(s, gcis, fs, o, 6), weighted_lpc(s, whole, 6));
}

// A silent span is refused as IAIF refuses it; white noise (peaks that are
// no glottal cycles) still gives an estimate of resonances on the unit
// disc, never a failure.
TEST(Qcp, RefusesWhatIaifRefusesAndFallsBackWithoutCycles) {
    const std::vector<double> zeros(8000, 0.0);
    EXPECT_NE(qcp(zeros.data(), zeros.size(), 16000).problem.find("silent"), std::string::npos);
    std::mt19937 rng(5);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<double> noise(8000);
    for (double& v : noise) v = g(rng);
    const tiaifresult q = qcp(noise.data(), noise.size(), 16000);
    ASSERT_TRUE(q.ok);
    for (const tformant& f : q.formants) {
        EXPECT_GT(f.f0, 0);
        EXPECT_LT(f.f0, 8000);
        EXPECT_GT(f.bw, 0);
    }
}

}  // namespace
}  // namespace tessal
