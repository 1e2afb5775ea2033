#include "engine/process/filtersteps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/tdocument.h"
#include "engine/core/unitproduct.h"
#include "engine/dsp/numformat.h"
#include "engine/dsp/simd.h"
#include "engine/dsp/tfft.h"
#include "engine/process/stepsupport.h"

namespace tessal {

using namespace steps;

namespace {

const tnumberfield r_corner{"Corner frequency", 0.001, 10000000, "Hz"};
const tnumberfield r_margin{"Corner margin", 1, 100, "%"};
const tnumberfield r_power{"Window power", 1, 6, ""};
const tnumberfield r_size{"Window size", 1, 100000, "sinc periods"};
const tnumberfield r_f0{"F0", 0.001, 10000000, "Hz"};
const tnumberfield r_q{"Q", 0.001, 1000000, ""};
const tnumberfield r_pole{"Pole frequency", 0.001, 10000000, "Hz"};
const tnumberfield r_zero{"Zero frequency", -10000000, 10000000, "Hz"};
const tnumberfield r_slope{"Slope", -1000, 1000, "dB/oct"};
const tnumberfield r_nper{"Filters per octave", 0.001, 1000, ""};
const tnumberfield r_flo{"Lowest frequency", 0.001, 10000000, "Hz"};
const tnumberfield r_fhi{"Highest frequency", 0.001, 10000000, "Hz"};

// Refuses a frequency at or above half the sampling rate of the signal.
void below_nyquist(const tprocstep& step, const std::string& what, double f, double fs) {
    if (!(std::fabs(f) < fs / 2))
        steps::step_error(step, what + " (" + num(f) + " Hz) must be below half the sampling rate (" +
                                    num(fs / 2) + " Hz)");
}

// Runs a section over every signal, each from rest at its own rate.
template <class S>
void run_sections(tprocstep& step, tprocenv& env, S& section, const std::string& suffix,
                  const std::function<void(const tprocstep&, double)>& check) {
    for (const tchannelproperties& p : step.props) check(step, p.sampfreq);
    steps::take_input(step);
    for (std::size_t i = 0; i < step.outarr.size(); ++i) {
        tchannelproperties& p = step.props[i];
        check(step, p.sampfreq);
        section.SetSampFreq(p.sampfreq);
        section.reset();
        tworksig& y = step.outarr[i];
        const double n = static_cast<double>(y.size());
        steps::map_forward(y, env.doc.block_cache(), [&](const float* x, float* out, std::size_t m, std::int64_t pos) {
            section.filter_arr(x, out, m);
            env.progress((i + static_cast<double>(pos) / n) / step.outarr.size());
        });
        p.name += suffix;
        steps::float_format(p);
    }
}

}  // namespace

// --- units -----------------------------------------------------------------

std::string unit_per_second(const std::string& u) {
    if (u.empty()) return "1/s";
    if (u == "s") return "";
    // "s" as a whole factor of the numerator.
    if (u.size() > 2 && u.compare(u.size() - 2, 2, "*s") == 0 &&
        u.find('/') == std::string::npos)
        return u.substr(0, u.size() - 2);
    if (u.rfind("s*", 0) == 0) return u.substr(2);
    if (u.rfind("s/", 0) == 0) return "1" + u.substr(1);
    const std::size_t k = u.rfind("/s");
    if (k != std::string::npos) {
        if (k + 2 == u.size()) return u + "2";
        if (k + 3 == u.size() && u[k + 2] >= '2' && u[k + 2] <= '8')
            return u.substr(0, k + 2) + static_cast<char>(u[k + 2] + 1);
    }
    return u + "/s";
}

// --- derivative and integral ----------------------------------------------

// Both read each signal forward (a store through its pieces).
void tdiff::run_process(tprocenv& env) {
    steps::take_input(*this);
    std::size_t bad = 0;
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        tworksig& y = outarr[i];
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq;
        // The first sample takes the second's difference.
        float head[2] = {0, 0};
        y.read(0, std::min<std::size_t>(2, y.size()), head);
        const float first = y.size() >= 2 ? static_cast<float>((static_cast<double>(head[1]) - head[0]) * fs) : 0.0f;
        float prev = 0;
        steps::map_forward(y, env.doc.block_cache(), [&](const float* x, float* out, std::size_t n, std::int64_t pos) {
            for (std::size_t k = 0; k < n; ++k) {
                const float v = x[k];
                if (pos == 0 && k == 0) {
                    out[k] = first;
                } else {
                    out[k] = static_cast<float>((static_cast<double>(v) - prev) * fs);
                    bad += !std::isfinite(out[k]) && std::isfinite(v) && std::isfinite(prev);
                }
                prev = v;
            }
        });
        p.name += " derivative";
        p.yunit = unit_per_second(p.yunit);
        steps::float_format(p);
        env.progress(static_cast<double>(i + 1) / static_cast<double>(outarr.size()));
    }
    steps::note_nonfinite(env, *this, bad);
}

void tint::run_process(tprocenv& env) {
    steps::take_input(*this);
    std::size_t bad = 0;
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq;
        double s = 0;
        steps::map_forward(outarr[i], env.doc.block_cache(), [&](const float* x, float* y, std::size_t n, std::int64_t) {
            for (std::size_t k = 0; k < n; ++k) {
                const float v = x[k];
                s += v / fs;
                y[k] = static_cast<float>(s);
                bad += !std::isfinite(y[k]) && std::isfinite(v);
            }
        });
        p.name += " integral";
        p.yunit = unit_product(p.yunit, "s");
        steps::float_format(p);
        env.progress(static_cast<double>(i + 1) / static_cast<double>(outarr.size()));
    }
    steps::note_nonfinite(env, *this, bad);
}

// --- brick-wall low-pass ---------------------------------------------------

const std::vector<tbrickpreset>& brick_presets() {
    static const std::vector<tbrickpreset> p = {
        {"Quick/dirty", 10, 1.0, 0.85}, {"Better", 20, 1.0, 0.90}, {"Decent", 40, 2.0, 0.92},
        {"Good", 80, 3.0, 0.95},        {"Super", 160, 3.0, 0.97}, {"Hyper", 320, 3.0, 0.98},
        {"Insane", 640, 3.0, 0.99},
    };
    return p;
}

int brick_preset_index(double windowsize, double windowpower, double cornermargin) {
    const auto& p = brick_presets();
    for (std::size_t i = 0; i < p.size(); ++i)
        if (p[i].windowsize == windowsize && p[i].windowpower == windowpower &&
            std::fabs(p[i].cornermargin - cornermargin) < 1e-12)
            return static_cast<int>(i);
    return -1;
}

tbrickkernel brick_kernel(double fc, double fs, double windowsize, double windowpower) {
    tbrickkernel k;
    const double w = 2 * pi * fc / fs;
    const std::size_t N = static_cast<std::size_t>(std::max(0.0, round_even(windowsize * fs / fc)));
    k.g = 2 * fc / fs;
    k.h.resize(N + 1);
    k.h[0] = 1;
    for (std::size_t i = 1; i <= N; ++i) {
        const double u = static_cast<double>(i) * w;
        const double win = (1 + std::cos(static_cast<double>(i) * pi / static_cast<double>(N))) / 2;
        k.h[i] = std::sin(u) / u * std::pow(win, windowpower);
    }
    return k;
}

namespace {

#if defined(TESSAL_HAVE_VECTORS)
// Inlined into the cloned caller even without optimisation, so that the
// vector never crosses a call between code built for different targets.
TESSAL_INLINE simd::vec4 load4(const double* p) {
    simd::vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
#endif

// Eight outputs at a time: xd holds the signal in doubles with N zeros
// before index 0 (xd[N + j] is sample j) and enough after.
TESSAL_TARGET_CLONES
void brick_block(const double* xd, std::size_t count, const double* h, std::size_t N, double g,
                 float* y) {
    std::size_t j = 0;
#if defined(TESSAL_HAVE_VECTORS)
    using simd::vec4;
    for (; j + 8 <= count; j += 8) {
        const double* c = xd + N + j;
        vec4 a0 = h[0] * load4(c), a1 = h[0] * load4(c + 4);
        for (std::size_t k = 1; k <= N; ++k) {
            const double hk = h[k];
            a0 += hk * (load4(c + k) + load4(c - k));
            a1 += hk * (load4(c + 4 + k) + load4(c + 4 - k));
        }
        for (int q = 0; q < 4; ++q) {
            y[j + q] = static_cast<float>(g * a0[q]);
            y[j + 4 + q] = static_cast<float>(g * a1[q]);
        }
    }
#endif
    for (; j < count; ++j) {
        const double* c = xd + N + j;
        double a = h[0] * c[0];
        for (std::size_t k = 1; k <= N; ++k) a += h[k] * (c[k] + c[-static_cast<std::ptrdiff_t>(k)]);
        y[j] = static_cast<float>(g * a);
    }
}

}  // namespace

void brick_direct(const float* x, std::size_t n, const tbrickkernel& k, float* y,
                  const std::function<void(double)>& progress) {
    const std::size_t N = k.N();
    constexpr std::size_t block = 1 << 16;
    std::vector<double> xd(block + 2 * N);
    for (std::size_t s = 0; s < n; s += block) {
        const std::size_t count = std::min(block, n - s);
        // xd[i] is sample s - N + i, zero outside the signal.
        for (std::size_t i = 0; i < count + 2 * N; ++i) {
            const std::ptrdiff_t j = static_cast<std::ptrdiff_t>(s + i) - static_cast<std::ptrdiff_t>(N);
            xd[i] = j >= 0 && j < static_cast<std::ptrdiff_t>(n) ? x[j] : 0.0;
        }
        brick_block(xd.data(), count, k.h.data(), N, k.g, y + s);
        if (progress) progress(static_cast<double>(s + count) / n);
    }
}

void brick_overlap_add(const float* x, std::size_t n, const tbrickkernel& k, float* y,
                       const std::function<void(double)>& progress) {
    const std::size_t N = k.N(), M = 2 * N + 1;
    std::size_t L = 4096;
    while (L < 4 * M) L *= 2;
    const std::size_t B = L - M + 1;  // input samples per block
    // The kernel is real, so two real blocks go through one complex
    // transform (one as the real part, the next as the imaginary part) and
    // come back as the real and imaginary parts of the result.
    TFFT fk, fx, fi;
    for (TFFT* f : {&fk, &fx, &fi}) {
        f->SetWindow(TFFTWindow::rectangle);
        f->Setremovedc(false);
    }
    fx.Setignoreinim(false);
    fi.Setignoreinim(false);
    // The spectrum of the whole kernel (delayed by N) as the plain sum
    // sum h[n] e^(+i 2 pi n k / L) (TFFT divides by L; both factors of L
    // are put back here).
    tdoublearr kr(L, 0.0);
    for (std::size_t i = 0; i <= N; ++i) kr[N + i] = kr[N - i] = k.g * k.h[i];
    fk.SetInRe(std::move(kr));
    const double Ld = static_cast<double>(L);
    tdoublearr hre = fk.GetOutRe(), him = fk.GetOutIm();
    for (std::size_t q = 0; q < L; ++q) hre[q] *= Ld * Ld, him[q] *= Ld * Ld;
    // win[i] gathers the full convolution at s + i; output sample j is the
    // convolution at j + N. Nothing after block pair s reaches below s + 2B.
    std::vector<double> win(2 * B + L, 0.0);
    auto flush = [&](std::size_t s, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t p = s + i;
            if (p >= N && p - N < n) y[p - N] = static_cast<float>(win[i]);
        }
    };
    std::size_t s = 0;
    for (; s < n; s += 2 * B) {
        tdoublearr xr(L, 0.0), xi(L, 0.0);
        for (std::size_t i = 0; i < B && s + i < n; ++i) xr[i] = x[s + i];
        for (std::size_t i = 0; i < B && s + B + i < n; ++i) xi[i] = x[s + B + i];
        fx.SetInRe(std::move(xr));
        fx.SetInIm(std::move(xi));
        const tdoublearr& are = fx.GetOutRe();
        const tdoublearr& aim = fx.GetOutIm();
        // The product, conjugated: the same forward transform then gives
        // the circular convolution, which does not wrap for blocks of B.
        tdoublearr zr(L), zi(L);
        for (std::size_t q = 0; q < L; ++q) {
            zr[q] = are[q] * hre[q] - aim[q] * him[q];
            zi[q] = -(are[q] * him[q] + aim[q] * hre[q]);
        }
        fi.SetInRe(std::move(zr));
        fi.SetInIm(std::move(zi));
        const tdoublearr& cr = fi.GetOutRe();
        const tdoublearr& ci = fi.GetOutIm();
        for (std::size_t i = 0; i < L; ++i) {
            win[i] += cr[i];
            win[B + i] -= ci[i];  // conjugated back
        }
        flush(s, 2 * B);
        std::copy(win.begin() + 2 * B, win.end(), win.begin());
        std::fill(win.end() - 2 * B, win.end(), 0.0);
        if (progress) progress(static_cast<double>(std::min(n, s + 2 * B)) / n);
    }
    flush(s, win.size());
}

void tlpbrick::run_process(tprocenv& env) {
    check_param(*this, r_corner, cornerfreq);
    check_param(*this, r_margin, cornermargin * 100);
    check_param(*this, r_power, windowpower);
    check_whole(*this, r_size, windowsize);
    const double fc = cornerfreq * cornermargin;
    steps::take_input(*this);
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq;
        tsinglearr& y = outarr[i];
        steps::float_format(p);
        // At or above half the rate there is nothing to take away.
        if (fc >= fs / 2) {
            p.name += " No LP needed";
            continue;
        }
        const tbrickkernel k = brick_kernel(fc, fs, windowsize, windowpower);
        const double share = 1.0 / outarr.size();
        auto report = [&](double f) { env.progress((i + f) * share); };
        // Long kernels go faster as an overlap-add of FFT blocks, which
        // gives the direct sum to within float rounding (and may write over
        // its input).
        if (k.N() > brick_overlap_add_from) {
            brick_overlap_add(y.data(), y.size(), k, y.data(), report);
        } else {
            const tsinglearr x = y;
            brick_direct(x.data(), x.size(), k, y.data(), report);
        }
        p.name += " Brickwall LP  " + num(cornerfreq) + " Hz";
    }
}

namespace {

// A field that does not read as a number counts as `bad` for the preset
// and the hint.
double loose(const tstepform& f, const std::string& key, double bad) {
    double v = 0;
    return try_parse_float(f.text(key), v) && std::isfinite(v) ? v : bad;
}

}  // namespace

void brick_preset_refresh(tstepform& f, const std::string& key) {
    const auto& presets = brick_presets();
    if (key == "preset") {
        const int k = f.index("preset");
        if (k >= 0 && k < static_cast<int>(presets.size())) {
            f.set_number("windowsize", presets[k].windowsize);
            f.set_number("windowpower", presets[k].windowpower);
            f.set_number("cornermargin", presets[k].cornermargin * 100);
        }
    }
    const double size = loose(f, "windowsize", -1), power = loose(f, "windowpower", -1);
    const double margin = loose(f, "cornermargin", 100) / 100;
    const int k = brick_preset_index(size, power, margin);
    f.field("preset").index = k < 0 ? static_cast<int>(presets.size()) : k;
}

void add_brick_fields(tstepform& f, const tprocstep& step) {
    f.begin_group("Sinc parameters");
    step.params()->add(f, step, {"cornermargin", "windowpower", "windowsize"});
    std::vector<std::string> names;
    for (const auto& p : brick_presets()) names.push_back(p.name);
    names.push_back("Custom");
    f.add_combo("preset", "Preset", names, 0);
    f.end_group();
}

namespace {

void brick_refresh(tstepform& f, const std::string& key) {
    brick_preset_refresh(f, key);
    const double size = loose(f, "windowsize", -1);
    const double corner = loose(f, "cornerfreq", -1);
    const double limit = corner * 3200 / size;
    tformfield& hint = f.field("hint");
    hint.text = "Processing may become slow for sampling rates higher than ~" +
                format_significant(2, limit) + " Hz";
    hint.visible = limit < 32000;
}

}  // namespace

const tparamlist* tlpbrick::params() const {
    static const tparamlist list =
        tparams<tlpbrick>("Brickwall LP filter")
            .whole("WindowSize", "windowsize", &tlpbrick::windowsize, r_size, -1, 1000000000)
            .real("WindowPower", "windowpower", &tlpbrick::windowpower, r_power)
            .caption("Window power (1-6)")
            .real("CornerFreq", "cornerfreq", &tlpbrick::cornerfreq, r_corner)
            .real("CornerMargin", "cornermargin", &tlpbrick::cornermargin, r_margin)
            .shown_times(100);
    return &list;
}

std::unique_ptr<tstepform> tlpbrick::settings_form() const {
    auto f = std::make_unique<tstepform>(params()->title);
    params()->add(*f, *this, "cornerfreq");
    add_brick_fields(*f, *this);
    f->add_note("hint", "");
    f->onchange = brick_refresh;
    f->changed("cornerfreq");
    return f;
}

std::string tlpbrick::get_procname() const {
    const int k = brick_preset_index(windowsize, windowpower, cornermargin);
    return "Brickwall LP " + num(cornerfreq) + " Hz (" +
           (k < 0 ? std::string("Custom") : brick_presets()[k].name) + ")";
}

// --- second-order low-pass and high-pass ----------------------------------

template <>
bool tlp2::highpass() { return false; }
template <>
bool thp2::highpass() { return true; }

template <class S>
void tfilter2<S>::run_process(tprocenv& env) {
    check_param(*this, r_f0, filter.GetF0());
    check_param(*this, r_q, filter.GetQ());
    run_sections(*this, env, filter,
                 (highpass() ? " HP " : " LP ") + num(filter.GetF0()) + " Hz",
                 [this](const tprocstep& s, double fs) {
                     below_nyquist(s, "The corner frequency", filter.GetF0(), fs);
                 });
}

template <class S>
const tparamlist* tfilter2<S>::params() const {
    static const tparamlist list =
        tparams<tfilter2<S>>("2nd order filter properties")
            .real("F0", "f0", [](const tfilter2<S>& s) { return s.filter.GetF0(); },
                  [](tfilter2<S>& s, double v) { s.filter.SetF0(v); }, r_f0)
            .caption("F0")
            .real("Q", "q", [](const tfilter2<S>& s) { return s.filter.GetQ(); },
                  [](tfilter2<S>& s, double v) { s.filter.SetQ(v); }, r_q);
    return &list;
}

template <class S>
std::string tfilter2<S>::get_procname() const {
    return std::string(highpass() ? "HP filter " : "LP filter ") + num(filter.GetF0()) +
           " Hz, Q " + num(filter.GetQ());
}

template class tfilter2<TLPFilterSection>;
template class tfilter2<THPFilterSection>;

// --- pole-zero pair --------------------------------------------------------

tpolezero::tpolezero(double dsf) {
    filter.SetSampFreq(dsf);
    filter.SetUseF0BW(true);
    filter.SetFilterType(tfiltertype::ftboth);
    filter.SetGain(1.0);
    set_design(100, 100, 100, 100);
}

void tpolezero::set_design(double polef0, double polebw, double zerof0, double zerobw) {
    filter.SetPoleF0(polef0);
    filter.SetPoleBW(polebw);
    filter.SetZeroF0(zerof0);
    filter.SetZeroBW(zerobw);
}

void tpolezero::run_process(tprocenv& env) {
    const double pf = filter.GetPoleF0(), pb = filter.GetPoleBW();
    const double zf = filter.GetZeroF0(), zb = filter.GetZeroBW();
    check_param(*this, r_f0, pf);
    check_param(*this, r_f0, zf);
    check_param(*this, r_q, pf / pb);
    check_param(*this, r_q, zf / zb);
    run_sections(*this, env, filter, " pole/zero " + num(pf) + "/" + num(zf) + " Hz",
                 [pf, zf](const tprocstep& s, double fs) {
                     below_nyquist(s, "The pole frequency", pf, fs);
                     below_nyquist(s, "The zero frequency", zf, fs);
                 });
}

// The file and the form hold each pair as F0 and Q; the section keeps F0
// and bandwidth. A new F0 keeps the pair's Q.
const tparamlist* tpolezero::params() const {
    static const tparamlist list =
        tparams<tpolezero>("Pole/zero pairs filter")
            .real("PoleF0", "polef0", [](const tpolezero& s) { return s.filter.GetPoleF0(); },
                  [](tpolezero& s, double v) {
                      const TFilterSection& f = s.filter;
                      s.set_design(v, v / (f.GetPoleF0() / f.GetPoleBW()), f.GetZeroF0(), f.GetZeroBW());
                  }, r_f0)
            .caption("F0")
            .real("PoleQ", "poleq", [](const tpolezero& s) { return s.filter.GetPoleF0() / s.filter.GetPoleBW(); },
                  [](tpolezero& s, double v) {
                      const TFilterSection& f = s.filter;
                      s.set_design(f.GetPoleF0(), f.GetPoleF0() / v, f.GetZeroF0(), f.GetZeroBW());
                  }, r_q)
            .real("ZeroF0", "zerof0", [](const tpolezero& s) { return s.filter.GetZeroF0(); },
                  [](tpolezero& s, double v) {
                      const TFilterSection& f = s.filter;
                      s.set_design(f.GetPoleF0(), f.GetPoleBW(), v, v / (f.GetZeroF0() / f.GetZeroBW()));
                  }, r_f0)
            .caption("F0")
            .real("ZeroQ", "zeroq", [](const tpolezero& s) { return s.filter.GetZeroF0() / s.filter.GetZeroBW(); },
                  [](tpolezero& s, double v) {
                      const TFilterSection& f = s.filter;
                      s.set_design(f.GetPoleF0(), f.GetPoleBW(), f.GetZeroF0(), f.GetZeroF0() / v);
                  }, r_q)
            .form_order({"group:Poles", "polef0", "poleq", "endgroup", "group:Zeroes", "zerof0",
                         "zeroq", "endgroup"});
    return &list;
}

std::string tpolezero::get_procname() const {
    return "Pole/zero filter " + num(filter.GetPoleF0()) + "/" + num(filter.GetZeroF0()) + " Hz";
}

// --- real pole-zero pair ---------------------------------------------------

trealpolezero::trealpolezero(double dsf) {
    filter.SetSampFreq(dsf);
    filter.SetUnityGainAtHF(false);
    filter.SetGain(1.0);
    filter.SetFPole(100);
    filter.SetFZero(100);
}

void trealpolezero::run_process(tprocenv& env) {
    const double fp = filter.GetFPole(), fz = filter.GetFZero();
    check_param(*this, r_pole, fp);
    check_param(*this, r_zero, fz);
    run_sections(*this, env, filter, " real pole/zero " + num(fp) + "/" + num(fz) + " Hz",
                 [this, fp, fz](const tprocstep& s, double fs) {
                     below_nyquist(s, "The pole frequency", fp, fs);
                     below_nyquist(s, "The zero frequency", fz, fs);
                     // The section limits its frequencies to the rate it had;
                     // set them again for this one.
                     filter.SetSampFreq(fs);
                     filter.SetFPole(fp);
                     filter.SetFZero(fz);
                 });
}

namespace {

// Sets the pole or zero frequency f. The section keeps frequencies below
// the rate it knows; the step keeps what was typed or stored and checks it
// against the signal's rate when it runs.
void set_corner(TRealFilterSection& filter, void (TRealFilterSection::*set)(double), double f) {
    if (std::isfinite(f)) filter.SetSampFreq(std::max(filter.GetSampFreq(), 4 * std::fabs(f)));
    (filter.*set)(f);
}

}  // namespace

const tparamlist* trealpolezero::params() const {
    static const tparamlist list =
        tparams<trealpolezero>("Pole/zero pairs filter")
            .real("fPole", "fpole", [](const trealpolezero& s) { return s.filter.GetFPole(); },
                  [](trealpolezero& s, double v) {
                      set_corner(s.filter, &TRealFilterSection::SetFPole, v);
                  }, r_pole)
            .caption("F0")
            .real("fZero", "fzero", [](const trealpolezero& s) { return s.filter.GetFZero(); },
                  [](trealpolezero& s, double v) {
                      set_corner(s.filter, &TRealFilterSection::SetFZero, v);
                  }, r_zero)
            .caption("F0")
            .flag("fUnityGainAtHF", "unitygain", "Gain=1 at...",
                  [](const trealpolezero& s) { return s.filter.GetUnityGainAtHF(); },
                  [](trealpolezero& s, bool v) { s.filter.SetUnityGainAtHF(v); })
            .as_choice("low frequencies", "high frequencies")
            .form_order({"group:Pole", "fpole", "endgroup", "group:Zero", "fzero", "endgroup",
                         "unitygain"});
    return &list;
}

std::string trealpolezero::get_procname() const {
    return "Real pole/zero filter " + num(filter.GetFPole()) + "/" + num(filter.GetFZero()) +
           " Hz";
}

// --- variable slope --------------------------------------------------------

std::vector<TRealFilterSection> tslope::sections(double fs) const {
    const double fl = std::min(flo, fs / 2), fh = std::min(fhi, fs / 2);
    const double L = std::log2(fl), H = std::log2(fh), D = H - L;
    const double n = round_even(D * nperoctave);
    std::vector<TRealFilterSection> s;
    if (!(n >= 1)) return s;
    const double d = std::fabs(slope) / (20 * std::log10(2.0)) * D / n;
    const double g = D / (2 * n) - d / 2;
    s.resize(static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < s.size(); ++k) {
        const double a = std::exp2(L + g + k * (2 * g + d));
        const double b = std::exp2(L + g + d + k * (2 * g + d));
        TRealFilterSection& f = s[k];
        f.SetSampFreq(fs);
        f.SetUnityGainAtHF(false);
        f.SetGain(1.0);
        f.SetFZero(slope > 0 ? a : b);
        f.SetFPole(slope > 0 ? b : a);
        f.reset();
    }
    return s;
}

void tslope::run_process(tprocenv& env) {
    check_param(*this, r_flo, flo);
    check_param(*this, r_fhi, fhi);
    check_param(*this, r_nper, nperoctave);
    check_param(*this, r_slope, slope);
    if (!(fhi > flo)) steps::step_error(*this, "the highest frequency must be above the lowest");
    for (const tchannelproperties& p : props)
        if (sections(p.sampfreq).empty())
            steps::step_error(*this, "the frequency range (below half the sampling rate) is too "
                                     "short for one filter section");
    steps::take_input(*this);
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        tchannelproperties& p = props[i];
        std::vector<TRealFilterSection> f = sections(p.sampfreq);
        tworksig& y = outarr[i];
        const double n = static_cast<double>(y.size());
        steps::map_forward(y, env.doc.block_cache(), [&](const float* x, float* out, std::size_t m, std::int64_t pos) {
            for (std::size_t k = 0; k < m; ++k) {
                double v = x[k];
                for (TRealFilterSection& s : f) v = s.filter(v);
                out[k] = static_cast<float>(v);
            }
            env.progress((i + static_cast<double>(pos) / n) / outarr.size());
        });
        p.name += " Slope " + num(slope) + " dB/oct";
        steps::float_format(p);
    }
}

const tparamlist* tslope::params() const {
    static const tparamlist list =
        tparams<tslope>("Sloping filter")
            .real("fLo", "flo", &tslope::flo, r_flo)
            .real("fHi", "fhi", &tslope::fhi, r_fhi)
            .real("nPerOctave", "nperoctave", &tslope::nperoctave, r_nper)
            .caption("n filters/oct")
            .real("Slope", "slope", &tslope::slope, r_slope)
            .form_order({"slope", "nperoctave", "flo", "fhi"});
    return &list;
}

void tslope::check_applied() const {
    if (!(fhi > flo)) throw EProcessError("Highest frequency must be above the lowest frequency");
    if (!(round_even(std::log2(fhi / flo) * nperoctave) >= 1))
        throw EProcessError("The frequency range is too short for one filter section");
}

std::string tslope::get_procname() const { return "Variable slope filter " + num(slope) + " dB/oct"; }

}  // namespace tessal
