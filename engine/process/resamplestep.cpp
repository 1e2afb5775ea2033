// The vector helpers are inlined into functions built for each target.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "engine/process/resamplestep.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/dsp/simd.h"

#include "engine/process/filtersteps.h"
#include "engine/process/stepsupport.h"

namespace tessal {

using namespace steps;

namespace {

const tnumberfield r_target{"Target frequency", 1, 10000000, "Hz"};
const tnumberfield r_corner{"LP corner", 1, 100, "%"};
const tnumberfield r_power{"Window power", 1, 6, ""};
const tnumberfield r_size{"Window size", 1, 100000, "sinc periods"};

// The longest sinc kernel, in input samples either side of the output
// sample: enough for the widest window the form allows at ten times the
// rate ratio, and short enough that one output sample is a bounded sum.
constexpr double maxsinctaps = 1e6;
// The polyphase rows are a table of (M + 1) * 2N coefficients; past this
// many the kernel is evaluated directly instead (the same kernel, slower).
constexpr double maxpolyphasetable = 1 << 25;

const char* const method_names[] = {"Sample / Hold (for non-audio)", "Linear interpolation (for non-audio)",
                                    "sin(x) / x (for audio)", "Raised cosine (for non-audio)",
                                    "Cubic spline (non-audio)"};

// The sum of x[i] * c[i] over i < len, in 64 bits.
TESSAL_TARGET_CLONES
double dot_row(const float* x, const double* c, std::size_t len) {
    std::size_t i = 0;
    double s = 0;
#if defined(TESSAL_HAVE_VECTORS)
    simd::vec4 s0 = {0, 0, 0, 0}, s1 = {0, 0, 0, 0};
    for (; i + 8 <= len; i += 8) {
        simd::vec4 c0, c1;
        std::memcpy(&c0, c + i, sizeof c0);
        std::memcpy(&c1, c + i + 4, sizeof c1);
        s0 += simd::load_fvec4(x + i) * c0;
        s1 += simd::load_fvec4(x + i + 4) * c1;
    }
    s = simd::hsum(s0 + s1);
#endif
    for (; i < len; ++i) s += x[i] * c[i];
    return s;
}

}  // namespace

int tresample::polyphase_factor(double r) {
    // The ratio of two rates is itself rounded, so an exact ratio shows at
    // its denominator and at every multiple of it with errors that differ
    // only by that rounding: the smallest M that is exact to 1e-9 wins.
    for (int M = 1; M <= 2000; ++M)
        if (std::fabs(std::nearbyint(r * M) - r * M) < 1e-9) return M;
    return 0;
}

tsinglearr tresample::resample(const float* x, std::size_t n, double fs, bool usepolyphase,
                               const std::function<void(double)>& progress) const {
    const double ft = targetfreq;
    const double r = fs / ft;
    const double mout = round_even(static_cast<double>(n) * ft / fs);
    const std::size_t m = static_cast<std::size_t>(std::max(0.0, mout));
    tsinglearr y(m, 0.0f);
    if (n == 0) return y;
    const std::int64_t ni = static_cast<std::int64_t>(n);
    auto at = [&](std::int64_t i) -> double { return i >= 0 && i < ni ? x[i] : 0.0; };
    auto report = [&](std::size_t j) {
        if (progress && (j & 0xfffff) == 0) progress(static_cast<double>(j) / m);
    };
    if (method == 0 || method == 1 || method == 4) {
        for (std::size_t j = 0; j < m; ++j) {
            const double t = static_cast<double>(j) * r;
            std::int64_t k = static_cast<std::int64_t>(t);
            const double f = t - static_cast<double>(k);
            if (method == 0) {
                y[j] = static_cast<float>(at(std::min(k, ni - 1)));
            } else if (method == 1) {
                if (ni < 2) {
                    y[j] = x[0];
                    continue;
                }
                k = std::min(k, ni - 2);
                y[j] = static_cast<float>((1 - f) * x[k] + f * x[k + 1]);
            } else {
                k = std::clamp<std::int64_t>(k, 1, ni - 3);
                const double p0 = x[k - 1], p1 = x[k], p2 = x[k + 1], p3 = x[k + 2];
                const double a = 1.5 * p1 - 0.5 * p0 - 1.5 * p2 + 0.5 * p3;
                const double b = p0 - 2.5 * p1 + 2 * p2 - 0.5 * p3;
                const double c = -0.5 * p0 + 0.5 * p2;
                y[j] = static_cast<float>(((a * f + b) * f + c) * f + p1);
            }
            report(j);
        }
        return y;
    }
    // Sinc or raised cosine: N taps a side, gain g, kernel at offset u.
    const bool sinc = method == 2;
    const double fc = std::min(fs, ft);
    const double w = fc * lpcorner * pi / fs;
    const std::int64_t N = sinc ? static_cast<std::int64_t>(std::max(1.0, round_even(windowsize * fs / (fc * lpcorner)))) : 1;
    const double g = sinc ? fc / fs * lpcorner : 1.0;
    auto kernel = [&](double u) {
        if (!sinc) return (1 + std::cos(u * pi)) / 2;
        const double v = u * w;
        const double s = v == 0 ? 1.0 : std::sin(v) / v;
        return s * std::pow((1 + std::cos(u * pi / static_cast<double>(N))) / 2, windowpower);
    };
    int M = usepolyphase ? polyphase_factor(r) : 0;
    if (M > 0 && static_cast<double>(M + 1) * 2.0 * static_cast<double>(N) > maxpolyphasetable) M = 0;
    if (M == 0) {
        for (std::size_t j = 0; j < m; ++j) {
            const double t = static_cast<double>(j) * r;
            const std::int64_t k = static_cast<std::int64_t>(t);
            const double f = t - static_cast<double>(k);
            double s = 0;
            for (std::int64_t q = 1 - N; q <= N; ++q)
                if (k + q >= 0 && k + q < ni) s += x[k + q] * kernel(static_cast<double>(q) - f);
            y[j] = static_cast<float>(g * s);
            report(j);
        }
        return y;
    }
    // The table h[0 .. (N+1)M-1], laid out as one row of 2N taps per phase
    // (round(f M) = 0 .. M) so that an output sample is one dot product.
    const std::size_t hn = static_cast<std::size_t>((N + 1) * M);
    std::vector<double> h(hn);
    for (std::size_t i = 0; i < hn; ++i) {
        const double mm = static_cast<double>(i);
        h[i] = sinc ? [&] {
            const double v = w * mm / M;
            const double s = v == 0 ? 1.0 : std::sin(v) / v;
            return s * std::pow((1 + std::cos(mm * pi / (static_cast<double>(N) * M))) / 2, windowpower);
        }()
                    : (1 + std::cos(pi * mm / M)) / 2;
    }
    const std::size_t taps = static_cast<std::size_t>(2 * N);
    std::vector<double> rows(static_cast<std::size_t>(M + 1) * taps);
    for (int ph = 0; ph <= M; ++ph)
        for (std::size_t i = 0; i < taps; ++i) {
            const std::int64_t s = ph + static_cast<std::int64_t>(M) * (N - 1) - static_cast<std::int64_t>(M) * static_cast<std::int64_t>(i);
            rows[ph * taps + i] = h[static_cast<std::size_t>(std::llabs(s))];
        }
    for (std::size_t j = 0; j < m; ++j) {
        const double t = static_cast<double>(j) * r;
        const std::int64_t k = static_cast<std::int64_t>(t);
        const double f = t - static_cast<double>(k);
        const std::size_t ph = static_cast<std::size_t>(std::clamp(std::nearbyint(f * M), 0.0, static_cast<double>(M)));
        const double* row = rows.data() + ph * taps;
        double s = 0;
        const std::int64_t first = k + 1 - N;
        if (first >= 0 && k + N < ni) {
            s = dot_row(x + first, row, taps);
        } else {
            for (std::size_t i = 0; i < taps; ++i) {
                const std::int64_t idx = first + static_cast<std::int64_t>(i);
                if (idx >= 0 && idx < ni) s += x[idx] * row[i];
            }
        }
        y[j] = static_cast<float>(g * s);
        report(j);
    }
    return y;
}

void tresample::run_process(tprocenv& env) {
    if (method < 0 || method > 4) steps::step_error(*this, "unknown method " + std::to_string(method));
    check_param(*this, r_target, targetfreq);
    if (method == 2) {
        check_param(*this, r_corner, lpcorner * 100);
        check_param(*this, r_power, windowpower);
        check_whole(*this, r_size, windowsize);
    }
    if (method == 4)
        for (const tworksig& x : inarr)
            if (x.size() < 4 && props.size() == inarr.size() && props[&x - inarr.data()].sampfreq != targetfreq)
                steps::step_error(*this, "cubic interpolation needs at least 4 samples, the signal has " +
                                             std::to_string(x.size()));
    steps::take_input(*this);
    for (std::size_t i = 0; i < outarr.size(); ++i) {
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq;
        if (fs == targetfreq) {
            p.name += " No SRC needed";
            continue;
        }
        if (!(fs > 0)) steps::step_error(*this, "the signal has no sampling rate");
        const double m = round_even(static_cast<double>(outarr[i].size()) * targetfreq / fs);
        if (m > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
            steps::step_error(*this, "the signal would be longer than a channel can hold (" + num(m) + " samples)");
        const std::int32_t xshift = steps::checked_xshift(
            *this, static_cast<double>(p.xshift) * targetfreq / fs,
            "Target frequency [Hz] " + num(targetfreq) + " Hz on a signal at " + num(fs) +
                " Hz shifted by " + std::to_string(p.xshift) + " samples");
        if (method == 2) {
            // The kernel reaches windowsize sinc periods of the lower rate
            // either side; its length in input samples must be a count the
            // loops and the polyphase table can hold.
            const double taps = round_even(windowsize * fs / (std::min(fs, targetfreq) * lpcorner));
            if (!(taps <= maxsinctaps))
                steps::step_error(*this, "Window size [sinc periods] " + std::to_string(windowsize) +
                                             " from " + num(fs) + " Hz to " + num(targetfreq) +
                                             " Hz needs " + num(taps) +
                                             " samples a side; at most " + num(maxsinctaps) +
                                             " can be used");
        }
        tsinglearr y = resample(outarr[i].data(), outarr[i].size(), fs, true,
                                [&](double f) { env.progress((i + f) / outarr.size()); });
        outarr[i] = std::move(y);
        p.name += " + SRC " + num(targetfreq);
        p.xshift = xshift;
        p.sampfreq = targetfreq;
        steps::float_format(p);
    }
}

std::string tresample::get_procname() const {
    std::string name;
    switch (method) {
        case 0: name = "Hold"; break;
        case 1: name = "Linear interpolation"; break;
        case 2: {
            const int k = brick_preset_index(windowsize, windowpower, lpcorner);
            name = k < 0 ? "Custom" : brick_presets()[k].name;
            break;
        }
        case 3: name = "Raised cosine"; break;
        case 4: name = "Cubic spline"; break;
        default: name = "?";
    }
    return "Resample to " + num(targetfreq) + " Hz (" + name + ")";
}

const tparamlist* tresample::params() const {
    static const tparamlist list =
        tparams<tresample>("Resample")
            .choice("Method", "method", "Method", &tresample::method,
                    {std::begin(method_names), std::end(method_names)}, false)
            .stored_range(-1, 1000)
            .real("TargetFreq", "targetfreq", &tresample::targetfreq, r_target)
            .whole("WindowSize", "windowsize", &tresample::windowsize, r_size, -1, 1000000000)
            .real("WindowPower", "windowpower", &tresample::windowpower, r_power)
            .caption("Window power (1-6)")
            .real("LPCcorner", "cornermargin", &tresample::lpcorner, r_corner)
            .caption("LP corner [% of fs/2]")
            .shown_times(100);
    return &list;
}

std::unique_ptr<tstepform> tresample::settings_form() const {
    auto f = std::make_unique<tstepform>(params()->title);
    params()->add(*f, *this, {"targetfreq", "method"});
    f->field("method").index = std::clamp(method, 0, 4);
    add_brick_fields(*f, *this);
    f->onchange = [](tstepform& form, const std::string& key) {
        brick_preset_refresh(form, key);
        const bool sinc = form.index("method") == 2;
        for (const char* k : {"cornermargin", "windowpower", "windowsize", "preset"}) form.field(k).enabled = sinc;
    };
    f->changed("method");
    return f;
}

}  // namespace tessal
