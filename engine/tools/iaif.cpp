#include "engine/tools/iaif.h"

#include <algorithm>
#include <cmath>

#include "engine/analysis/lpc.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/numformat.h"
#include "engine/dsp/tfiltersection.h"
#include "engine/jobs/jobline.h"

namespace tessal {

namespace {

constexpr double pi = 3.14159265358979323846;

// The all-pole model of x by the autocorrelation method on the
// autocorrelation summed over Hann-windowed frames.
std::vector<double> framed_lpc(const std::vector<double>& x, double fs, int order, const tiaifoptions& opt) {
    const std::size_t n = x.size();
    std::size_t len = static_cast<std::size_t>(std::lround(opt.frame * fs));
    len = std::max<std::size_t>(len, static_cast<std::size_t>(2 * order + 2));
    len = std::min(len, n);
    const std::size_t hop = std::max<std::size_t>(1, len / 2);
    std::vector<double> win(len), frame(len), r(static_cast<std::size_t>(order) + 1, 0.0);
    for (std::size_t i = 0; i < len; ++i) win[i] = 0.5 - 0.5 * std::cos(2.0 * pi * (i + 0.5) / len);
    for (std::size_t start = 0; start + len <= n; start += hop) {
        for (std::size_t i = 0; i < len; ++i) frame[i] = x[start + i] * win[i];
        for (int k = 0; k <= order; ++k) {
            double s = 0;
            for (std::size_t i = static_cast<std::size_t>(k); i < len; ++i) s += frame[i] * frame[i - k];
            r[static_cast<std::size_t>(k)] += s;
        }
    }
    // The lag window smooths the spectrum the model sees by a Gaussian of
    // `lagwindow` Hz, so that the poles follow the envelope rather than the
    // harmonics of a high voice; the floor on the diagonal is white noise
    // that keeps an empty band (above the last formant of a band-limited
    // signal) from asking the model for a huge gain there.
    for (int k = 1; k <= order; ++k) {
        const double w = 2.0 * pi * opt.lagwindow * k / fs;
        r[static_cast<std::size_t>(k)] *= std::exp(-0.5 * w * w);
    }
    r[0] *= 1.0 + opt.noisefloor;
    std::vector<double> a = levinson_durbin(r.data(), order).a;
    a.resize(static_cast<std::size_t>(order) + 1, 0.0);
    return a;
}

void integrate(std::vector<double>& x, double leak) {
    double y = 0;
    for (double& v : x) v = y = v + leak * y;
}

}  // namespace

std::vector<double> fir_through(const std::vector<double>& a, const std::vector<double>& x) {
    std::vector<double> y;
    fir_through(a, x, y);
    return y;
}

void fir_through(const std::vector<double>& a, const std::vector<double>& x, std::vector<double>& y) {
    y.resize(x.size());
    if (a.empty()) {
        std::fill(y.begin(), y.end(), 0.0);
        return;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        double s = 0;
        const std::size_t m = std::min(a.size() - 1, i);
        for (std::size_t k = 0; k <= m; ++k) s += a[k] * x[i - k];
        y[i] = s;
    }
}

int iaif_default_order(double fs) { return static_cast<int>(std::lround(fs / 1000.0)) + 2; }

std::vector<tformant> formants_from_polynomial(const std::vector<double>& c, double fs, int* realroots) {
    std::vector<tformant> out;
    int real = 0;
    for (const std::complex<double>& r : polynomial_roots(c)) {
        // A pair's two roots are alike; the one above the axis stands for it.
        const double mag = std::abs(r);
        if (std::abs(r.imag()) <= 1e-9 * std::max(1.0, mag)) {
            ++real;
            continue;
        }
        if (r.imag() < 0) continue;
        const double f = std::arg(r) * fs / (2.0 * pi);
        const double bw = -std::log(mag) * fs / pi;
        if (!(f > 0) || !(f < fs / 2) || !(bw > 0) || !std::isfinite(bw)) {
            ++real;  // on or outside the unit circle: no resonance to cancel
            continue;
        }
        out.push_back({false, f, bw});
    }
    sort_formants(out);
    if (realroots) *realroots = real;
    return out;
}

bool iaif_prepare(std::vector<double>& s, double fs, const tiaifoptions& opt, std::string& problem) {
    const int p = opt.order > 0 ? opt.order : iaif_default_order(fs);
    if (!(fs > 0)) {
        problem = "The channel has no sampling rate";
        return false;
    }
    const std::size_t need = static_cast<std::size_t>(std::lround(opt.frame * fs));
    if (s.size() < std::max<std::size_t>(need, static_cast<std::size_t>(2 * p + 2))) {
        problem = "The span is too short for an estimate (at least 32 ms are needed)";
        return false;
    }
    if (!(opt.hp > 0) || !(opt.hp < fs / 2) || !(opt.flowhp > 0) || !(opt.flowhp < fs / 2)) {
        problem = "The high-pass frequency must lie between 0 Hz and half the sampling rate";
        return false;
    }
    double energy = 0;
    for (double& v : s) {
        if (!std::isfinite(v)) v = 0;
        energy += v * v;
    }
    if (!(energy > 0)) {
        problem = "The span is silent: there is nothing to estimate a filter from";
        return false;
    }
    highpass_both_ways(s, fs, opt.hp);
    return true;
}

tiaifresult iaif_prepared(const std::vector<double>& s, double fs, const tiaifoptions& opt, tjobcontext* job) {
    tiaifresult res;
    res.hp = opt.flowhp;
    const int p = opt.order > 0 ? opt.order : iaif_default_order(fs);
    const int g = std::max(1, opt.glottalorder);
    const auto look = [job](double f) {
        if (!job) return;
        job->check();
        job->progress(f);
    };
    look(0.02);
    // One span-long buffer beside s: each filtered signal takes the room of
    // the one before once that one's model is made.
    std::vector<double> y;
    const std::vector<double> g1model = framed_lpc(s, fs, 1, opt);
    fir_through(g1model, s, y);
    const std::vector<double> vt1 = framed_lpc(y, fs, p, opt);
    fir_through(vt1, s, y);
    integrate(y, opt.leak);  // g1
    look(0.15);
    const std::vector<double> g2model = framed_lpc(y, fs, g, opt);
    fir_through(g2model, s, y);
    integrate(y, opt.leak);  // the tract
    look(0.25);
    res.tract = framed_lpc(y, fs, p, opt);
    res.source = g2model;
    res.formants = formants_from_polynomial(res.tract, fs, &res.realroots);
    res.ok = true;
    return res;
}

tiaifresult iaif(const double* x, std::size_t n, double fs, const tiaifoptions& opt, tjobcontext* job) {
    std::vector<double> s(x, x + n);
    tiaifresult res;
    res.hp = opt.flowhp;
    if (!iaif_prepare(s, fs, opt, res.problem)) return res;
    return iaif_prepared(s, fs, opt, job);
}

tiaifresult iaif_channel(const tchannel& ch, double from, double to, const tiaifoptions& opt) {
    const double fs = ch.sampfreq;
    if (!(fs > 0)) return iaif(nullptr, 0, fs, opt);
    const long long len = ch.sample_count();
    const long long a = std::clamp(std::llround(from * fs) - ch.xshift, 0LL, len);
    const long long b = std::clamp(std::llround(to * fs) - ch.xshift, a, len);
    const tsinglearr v = ch.samples_array(a, b);
    const std::vector<double> x(v.begin(), v.end());
    return iaif(x.data(), x.size(), fs, opt);
}

void apply_iaif(tinvfilter& filter, const tiaifresult& r) {
    filter.formants = r.formants;
    // At the precision a filter file keeps, so that the saved estimate
    // filters exactly as the estimate did.
    for (tformant& f : filter.formants) {
        try_parse_float(float_to_text(f.f0), f.f0);
        try_parse_float(float_to_text(f.bw), f.bw);
    }
    filter.signaltype = r.signaltype;
    filter.fhpfilterfreq = r.hp;
    filter.rebuild_cascade();
}

}  // namespace tessal
