// Filter steps measured from the outside: an impulse runs through the step
// inside a process, and the magnitude of its response (through the
// program's FFT) is compared with the analytic transfer function of the
// analogue prototype or of the pole and zero positions.
#include "engine/process/filtersteps.h"

#include <atomic>
#include <complex>
#include <functional>
#include <random>

#include "engine/process/generatorsteps.h"
#include "processfixture.h"
#include "stepspectrum.h"

namespace tessal::testing {
namespace {

using cplx = std::complex<double>;
constexpr double fs = 48000;
constexpr std::size_t N = 65536;
const double pi = std::numbers::pi;

class tfiltertest : public tprocesstest {
protected:
    // The response of `filter` (added after a single impulse at sample 0)
    // as magnitudes of bins 0..N/2.
    tdoublearr response(tprocstep& filter_step) {
        steps.clear();
        auto imp = create_step(find_procid("impulses"), nullptr, fs);
        auto& p = dynamic_cast<timpulses&>(*imp);
        p.duration = N / fs;
        p.freq = 0.5;  // one period longer than the signal: one impulse
        steps.push_back(std::move(imp));
        steps.push_back(create_step(filter_step.procnum, &filter_step));
        auto& s = add<tsavechannel>("save");
        s.fsdmode = fsdkeep;
        const tprocresult r = run();
        EXPECT_TRUE(r.ok) << r.error;
        const tsinglearr y = doc.channel(doc.totnchans() - 1).samples_array();
        EXPECT_EQ(y.size(), N);
        return dft_magnitude(y, N);
    }
    // Compares in dB wherever the analytic response is above -60 dB, from
    // 10 Hz to 0.45 fs.
    void expect_response(const tdoublearr& m, const std::function<double(double)>& want,
                         double tol = 0.1) {
        int checked = 0;
        for (std::size_t k = 14; k < N * 0.45; k += 7) {
            const double f = k * fs / N, w = want(f);
            if (db(w) < -60) continue;
            ASSERT_NEAR(db(m[k]), db(w), tol) << f << " Hz";
            ++checked;
        }
        EXPECT_GT(checked, 1000);
    }
    template <class T>
    T& make(const std::string& id) {
        keep.push_back(create_step(find_procid(id), nullptr, 44100));
        return dynamic_cast<T&>(*keep.back());
    }
    tprocsteps keep;
};

double omega(double f) { return std::tan(pi * f / fs); }

TEST_F(tfiltertest, SecondOrderLowAndHighPassMatchTheirPrototypes) {
    for (double q : {0.5, 0.707, 5.0}) {
        auto& lp = make<tlp2>("lp2");
        lp.filter.SetF0(1000);
        lp.filter.SetQ(q);
        expect_response(response(lp), [q](double f) {
            const double W = omega(f) / omega(1000);
            return 1 / std::abs(cplx(1 - W * W, W / q));
        });
        auto& hp = make<thp2>("hp2");
        hp.filter.SetF0(300);
        hp.filter.SetQ(q);
        expect_response(response(hp), [q](double f) {
            const double W = omega(f) / omega(300);
            return W * W / std::abs(cplx(1 - W * W, W / q));
        });
    }
    EXPECT_EQ(doc.channel(doc.totnchans() - 1).name(), "Impulses HP 300 Hz");
}

TEST_F(tfiltertest, PoleZeroPairMatchesItsPolesAndZeros) {
    auto& pz = make<tpolezero>("polezero");
    pz.set_design(700, 100, 2500, 400);
    auto pair = [](double f0, double bw, cplx z) {
        const cplx p = std::polar(std::exp(-pi * bw / fs), 2 * pi * f0 / fs);
        return (z - p) * (z - std::conj(p)) / ((1.0 - p) * (1.0 - std::conj(p)));
    };
    expect_response(response(pz), [&](double f) {
        const cplx z = std::polar(1.0, 2 * pi * f / fs);
        return std::abs(pair(2500, 400, z) / pair(700, 100, z));
    });
    EXPECT_EQ(pz.get_procname(), "Pole/zero filter 700/2500 Hz");
}

TEST_F(tfiltertest, RealPoleZeroPairIsAShelfWithUnityGainAtEitherEnd) {
    for (bool hf : {false, true}) {
        auto& rp = make<trealpolezero>("realpolezero");
        rp.filter.SetUnityGainAtHF(hf);
        rp.filter.SetFPole(200);
        rp.filter.SetFZero(2000);
        expect_response(response(rp), [hf](double f) {
            const double tz = omega(2000), tp = omega(200);
            const double g = std::abs(cplx(tz, omega(f)) / cplx(tp, omega(f)));
            return hf ? g : g * tp / tz;
        });
    }
}

TEST_F(tfiltertest, VariableSlopeHoldsItsSlopeBetweenItsCorners) {
    struct tc {
        double lo, hi, per, slope;
    };
    // The shelves of the outermost sections taper the slope over about an
    // octave and a half at the low end and an octave at the high end; every
    // octave lying between 3 flo and fhi / 2 holds the slope.
    for (tc c : {tc{20, 10000, 1, -3}, tc{50, 10000, 2, 6}, tc{100, 10000, 1, 3.8},
                 tc{30, 3000, 3, -4.5}}) {
        auto& s = make<tslope>("slope");
        s.flo = c.lo, s.fhi = c.hi, s.nperoctave = c.per, s.slope = c.slope;
        const tdoublearr m = response(s);
        auto at = [&](double f) { return db(m[static_cast<std::size_t>(std::lround(f * N / fs))]); };
        double worst = 0;
        for (double f = 3 * c.lo; f * 4 <= c.hi; f *= std::pow(2.0, 0.125))
            worst = std::max(worst, std::fabs(at(2 * f) - at(f) - c.slope));
        EXPECT_LT(worst, 0.5) << c.lo << "-" << c.hi << " Hz, " << c.slope << " dB/oct";
    }
    tslope s;
    EXPECT_EQ(s.sections(48000).size(), 10u);  // 20 Hz to 20 kHz, one per octave
    s.slope = 20 * std::log10(2.0);             // each section spans its whole share
    const auto f = s.sections(48000);
    // The pole of one section sits on the zero of the next: the cascade is
    // flat at 0 dB between the outer corners, rising 6 dB per octave.
    ASSERT_EQ(f.size(), 10u);
    for (std::size_t k = 0; k + 1 < f.size(); ++k)
        EXPECT_NEAR(f[k].GetFPole(), f[k + 1].GetFZero(), 1e-6 * f[k].GetFPole());
}

TEST_F(tfiltertest, BrickwallPassTransitionAndStopBands) {
    make_channels(1, static_cast<int>(N));
    doc.channel(0).sampfreq = fs;
    tsinglearr impulse(N, 0.0f);
    impulse[N / 2] = 1;
    doc.channel(0).set_samples(impulse);
    add<tloadchannel>("load");
    auto& b = add<tlpbrick>("lpbrick");  // 8000 Hz, margin 0.92, "Decent"
    EXPECT_EQ(b.get_procname(), "Brickwall LP 8000 Hz (Decent)");
    add<tsavechannel>("save").fsdmode = fsdkeep;
    ASSERT_TRUE(run().ok);
    const tsinglearr y = doc.channel(1).samples_array();
    EXPECT_EQ(doc.channel(1).name(), "ch0 Brickwall LP  8000 Hz");
    const tdoublearr m = dft_magnitude(y, N);
    const double fc = 8000 * 0.92;
    double passdev = 0, stop = -400;
    for (std::size_t k = 1; k <= N / 2; ++k) {
        const double f = k * fs / N;
        if (f < fc * 0.95) passdev = std::max(passdev, std::fabs(db(m[k])));
        if (f > fc * 1.05) stop = std::max(stop, db(m[k]));
    }
    EXPECT_LT(passdev, 0.01);
    EXPECT_LT(stop, -70);
    EXPECT_NEAR(db(m[static_cast<std::size_t>(fc * N / fs)]), db(0.5), 0.2);  // half at the corner
    // Symmetric kernel: the response is even around the impulse, and it is
    // the direct sum (this kernel is long enough for the overlap-add).
    const tbrickkernel k = brick_kernel(fc, fs, 40, 2.0);
    ASSERT_GT(k.N(), brick_overlap_add_from);
    tsinglearr direct(N);
    brick_direct(impulse.data(), N, k, direct.data());
    for (std::size_t i = 0; i < N; ++i) ASSERT_NEAR(y[i], direct[i], 1e-7) << i;
    for (std::size_t i = 1; i < 400; ++i) ASSERT_NEAR(y[N / 2 + i], y[N / 2 - i], 1e-7);

    // At or above half the rate nothing needs taking away.
    b.cornerfreq = 30000;
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(doc.channel(2).samples_array(), doc.channel(0).samples_array());
    EXPECT_EQ(doc.channel(2).name(), "ch0 No LP needed");
}

TEST_F(tfiltertest, OverlapAddEqualsTheDirectSum) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1, 1);
    tsinglearr x(100000);
    for (float& v : x) v = u(rng);
    for (auto [fc, size, power] : {std::tuple{7360.0, 40, 2.0}, std::tuple{1000.0, 10, 1.0},
                                    std::tuple{4000.0, 160, 3.0}}) {
        const tbrickkernel k = brick_kernel(fc, fs, size, power);
        tsinglearr a(x.size()), b(x.size());
        brick_direct(x.data(), x.size(), k, a.data());
        brick_overlap_add(x.data(), x.size(), k, b.data());
        // A plain 64-bit sum as the reference for both.
        for (std::size_t j : {std::size_t{0}, std::size_t{1}, std::size_t{777}, x.size() / 2, x.size() - 1}) {
            double s = 0;
            for (std::ptrdiff_t i = -static_cast<std::ptrdiff_t>(k.N()); i <= static_cast<std::ptrdiff_t>(k.N()); ++i) {
                const std::ptrdiff_t t = static_cast<std::ptrdiff_t>(j) + i;
                if (t >= 0 && t < static_cast<std::ptrdiff_t>(x.size())) s += x[t] * k.h[std::abs(i)];
            }
            EXPECT_EQ(a[j], static_cast<float>(k.g * s)) << j;
        }
        tsinglearr c = x;  // in place
        brick_overlap_add(c.data(), c.size(), k, c.data());
        EXPECT_EQ(c, b);
        float worst = 0, peak = 0;
        for (std::size_t j = 0; j < x.size(); ++j) {
            worst = std::max(worst, std::fabs(a[j] - b[j]));
            peak = std::max(peak, std::fabs(a[j]));
        }
        EXPECT_LE(worst, peak * 2e-7f) << fc;
    }
}

TEST_F(tfiltertest, DerivativeAndIntegral) {
    make_channels(2, 200);
    doc.channel(0).set_yunit("Pa");
    doc.channel(1).set_yunit("m/s");
    tsinglearr ramp(200);
    for (int j = 0; j < 200; ++j) ramp[j] = 0.5f * j;
    doc.channel(0).set_samples(std::move(ramp));
    add<tloadchannel>("load").channo = {0, 1};
    add<tdiff>("diff");
    add<tsavechannel>("save").channo = {-1, -1};
    ASSERT_TRUE(run().ok);
    for (float v : doc.channel(2).samples_array()) ASSERT_EQ(v, 500.0f);  // the first sample too
    EXPECT_EQ(doc.channel(2).yunit(), "Pa/s");
    EXPECT_EQ(doc.channel(3).yunit(), "m/s2");
    EXPECT_EQ(doc.channel(2).name(), "ch0 derivative");

    steps[1] = create_step(find_procid("int"));
    ASSERT_TRUE(run().ok);
    EXPECT_NEAR(doc.channel(5).sample(doc.channel(5).sample_count() - 1), 2.0 * 200 / 1000, 1e-6);  // c n / fs
    EXPECT_EQ(doc.channel(5).yunit(), "m");
    EXPECT_EQ(doc.channel(4).yunit(), "Pa*s");

    // The derivative's magnitude response: |2 fs sin(w / 2)|.
    make_channels(1, static_cast<int>(N));
    doc.channel(0).sampfreq = fs;
    tsinglearr impulse(N, 0.0f);
    impulse[100] = 1;
    doc.channel(0).set_samples(std::move(impulse));
    steps.clear();
    add<tloadchannel>("load");
    add<tdiff>("diff");
    add<tsavechannel>("save");
    ASSERT_TRUE(run().ok);
    expect_response(dft_magnitude(doc.channel(1).samples_array(), N),
                    [](double f) { return 2 * fs * std::sin(pi * f / fs); });

    tdiff d;
    d.inarr = {{3.0f}};
    tprocenv e(doc, prompter);
    d.run_process(e);
    EXPECT_EQ(d.outarr[0], tsinglearr{0.0f});
}

TEST(UnitPerSecond, Cases) {
    EXPECT_EQ(unit_per_second(""), "1/s");
    EXPECT_EQ(unit_per_second("s"), "");
    EXPECT_EQ(unit_per_second("Pa*s"), "Pa");
    EXPECT_EQ(unit_per_second("s*Pa"), "Pa");
    EXPECT_EQ(unit_per_second("s/m"), "1/m");
    EXPECT_EQ(unit_per_second("m/s"), "m/s2");
    EXPECT_EQ(unit_per_second("m/s2"), "m/s3");
    EXPECT_EQ(unit_per_second("m/s8"), "m/s9");
    EXPECT_EQ(unit_per_second("m/s9"), "m/s9/s");
    EXPECT_EQ(unit_per_second("Pa"), "Pa/s");
}

TEST_F(tfiltertest, EachSignalStartsFromRestAndImpossibleCornersStopTheRun) {
    make_channels(2, 500);
    for (int c : {0, 1})
        for (int j = 0; j < 500; ++j) {
            const float v = static_cast<float>(std::sin(j * 0.3));
            doc.channel(c).write_samples(j, &v, 1);
        }
    add<tloadchannel>("load").channo = {0, 1};
    auto& lp = add<tlp2>("lp2");
    lp.filter.SetQ(8);
    lp.filter.SetF0(100);
    add<tsavechannel>("save").channo = {-1, -1};
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(doc.channel(2).samples_array(), doc.channel(3).samples_array());
    ASSERT_TRUE(run().ok);  // and so does every run
    EXPECT_EQ(doc.channel(4).samples_array(), doc.channel(2).samples_array());

    lp.filter.SetF0(500);  // the channels run at 1000 Hz
    tprocresult r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error,
              "LP filter 500 Hz, Q 8: The corner frequency (500 Hz) must be below half the "
              "sampling rate (500 Hz)");
    steps[1] = create_step(find_procid("slope"));
    auto& s = dynamic_cast<tslope&>(*steps[1]);
    s.flo = 400, s.fhi = 450;  // not half a section
    r = run();
    EXPECT_NE(r.error.find("too short for one filter section"), std::string::npos) << r.error;
    steps[1] = create_step(find_procid("lpbrick"));
    dynamic_cast<tlpbrick&>(*steps[1]).windowsize = 0;
    EXPECT_EQ(run().error,
              "Brickwall LP 8000 Hz (Custom): Window size must be a whole number from 1 to "
              "100000 sinc periods");
}

TEST_F(tfiltertest, LongBrickwallReportsProgressAndStopsWhenCancelled) {
    make_channels(1, 2000000);
    doc.channel(0).sampfreq = 48000;
    add<tloadchannel>("load");
    add<tlpbrick>("lpbrick");
    std::atomic<bool> cancel{false};
    std::vector<double> seen;
    env.cancel = &cancel;
    env.onprogress = [&](int step, double f) {
        if (step == 1 && f > 0 && f < 1) {
            seen.push_back(f);
            cancel = true;
        }
    };
    const tprocresult r = run();
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_LT(seen[0], 0.1);
}

TEST_F(tfiltertest, FormsOfTheFilters) {
    tlpbrick b;
    auto f = b.settings_form();
    EXPECT_EQ(f->text("cornermargin"), "92");  // per cent
    EXPECT_EQ(f->field("preset").items[f->index("preset")], "Decent");
    EXPECT_EQ(f->field("preset").items.back(), "Custom");
    EXPECT_FALSE(f->field("hint").visible);  // 8000 * 3200 / 40 = 640000 Hz
    f->set_index("preset", 3);                // "Good"
    EXPECT_EQ(f->text("windowsize"), "80");
    EXPECT_EQ(f->text("windowpower"), "3");
    EXPECT_EQ(f->text("cornermargin"), "95");
    f->set_text("windowsize", "81");
    EXPECT_EQ(f->field("preset").items[f->index("preset")], "Custom");
    f->set_text("windowsize", "1000");
    EXPECT_TRUE(f->field("hint").visible);
    EXPECT_EQ(f->field("hint").text,
              "Processing may become slow for sampling rates higher than ~26000 Hz");
    f->set_text("windowsize", "40");
    f->set_text("windowpower", "2");
    f->set_text("cornermargin", "x");  // counts as 100 %
    EXPECT_EQ(f->field("preset").items[f->index("preset")], "Custom");
    EXPECT_THROW(b.apply_form(*f), EProcessError);
    f->set_text("cornermargin", "97");
    f->set_text("windowsize", "160");
    f->set_text("windowpower", "3");
    EXPECT_EQ(f->field("preset").items[f->index("preset")], "Super");
    f->set_text("windowsize", "0");
    EXPECT_EQ(f->number_problem("windowsize"),
              "Window size must be a number from 1 to 100000 sinc periods");
    EXPECT_THROW(b.apply_form(*f), EProcessError);
    EXPECT_EQ(b.windowsize, 40);
    f->set_text("windowsize", "160");
    b.apply_form(*f);
    EXPECT_DOUBLE_EQ(b.cornermargin, 0.97);
    EXPECT_EQ(b.get_procname(), "Brickwall LP 8000 Hz (Super)");

    auto& pz = make<tpolezero>("polezero");
    auto pf = pz.settings_form();
    EXPECT_EQ(pf->caption, "Pole/zero pairs filter");
    pf->set_text("polef0", "600");
    pf->set_text("poleq", "6");
    pf->set_text("zeroq", "0");
    EXPECT_THROW(pz.apply_form(*pf), EProcessError);
    pf->set_text("zeroq", "2");
    pz.apply_form(*pf);
    EXPECT_DOUBLE_EQ(pz.filter.GetPoleBW(), 100);
    EXPECT_DOUBLE_EQ(pz.filter.GetZeroBW(), 50);

    auto& rp = make<trealpolezero>("realpolezero");
    auto rf = rp.settings_form();
    rf->set_index("unitygain", 1);
    rf->set_text("fpole", "30000");  // kept as typed; checked against the signal's rate
    rp.apply_form(*rf);
    EXPECT_TRUE(rp.filter.GetUnityGainAtHF());
    EXPECT_EQ(rp.filter.GetFPole(), 30000);

    auto& lp = make<tlp2>("lp2");
    auto lf = lp.settings_form();
    EXPECT_EQ(lf->caption, "2nd order filter properties");
    lf->set_text("f0", "-5");
    EXPECT_THROW(lp.apply_form(*lf), EProcessError);
    EXPECT_EQ(lp.filter.GetF0(), 500);

    auto& sl = make<tslope>("slope");
    auto sf = sl.settings_form();
    sf->set_text("fhi", "10");  // below the lowest
    EXPECT_THROW(sl.apply_form(*sf), EProcessError);
    sf->set_text("fhi", "20000");
    sf->set_text("nperoctave", "0");
    EXPECT_THROW(sl.apply_form(*sf), EProcessError);
}

}  // namespace
}  // namespace tessal::testing
