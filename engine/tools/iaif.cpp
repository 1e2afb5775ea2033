#include "engine/tools/iaif.h"

#include <algorithm>
#include <cmath>

#include "engine/analysis/lpc.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/tfiltersection.h"

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

// y = A(z) x (an FIR filter; zeros before the start).
std::vector<double> through(const std::vector<double>& a, const std::vector<double>& x) {
    std::vector<double> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        double s = 0;
        const std::size_t m = std::min(a.size() - 1, i);
        for (std::size_t k = 0; k <= m; ++k) s += a[k] * x[i - k];
        y[i] = s;
    }
    return y;
}

void integrate(std::vector<double>& x, double leak) {
    double y = 0;
    for (double& v : x) v = y = v + leak * y;
}

}  // namespace

int iaif_default_order(double fs) { return static_cast<int>(std::lround(fs / 1000.0)) + 2; }

std::vector<std::complex<double>> polynomial_roots(const std::vector<double>& c) {
    using cd = std::complex<double>;
    std::size_t lead = 0;
    while (lead < c.size() && c[lead] == 0.0) ++lead;
    if (lead + 1 >= c.size()) return {};
    std::vector<double> p(c.begin() + static_cast<std::ptrdiff_t>(lead), c.end());
    for (double& v : p) v /= c[lead];
    const std::size_t m = p.size() - 1;
    auto eval = [&](cd z, cd& d) {
        cd v = p[0];
        d = 0;
        for (std::size_t k = 1; k <= m; ++k) {
            d = d * z + v;
            v = v * z + p[k];
        }
        return v;
    };
    // Starting points on a circle of the roots' size (Cauchy's bound), off
    // the real axis.
    double bound = 0;
    for (std::size_t k = 1; k <= m; ++k) bound = std::max(bound, std::pow(std::abs(p[k]), 1.0 / k));
    bound = std::max(bound, 1e-3);
    std::vector<cd> z(m);
    for (std::size_t k = 0; k < m; ++k) z[k] = std::polar(bound, 2.0 * pi * (k + 0.25) / m + 0.4);
    for (int iter = 0; iter < 500; ++iter) {
        double change = 0;
        for (std::size_t k = 0; k < m; ++k) {
            cd d;
            const cd v = eval(z[k], d);
            if (v == cd(0)) continue;
            const cd ratio = v / d;
            cd sum = 0;
            for (std::size_t j = 0; j < m; ++j)
                if (j != k && z[k] != z[j]) sum += 1.0 / (z[k] - z[j]);
            const cd step = ratio / (1.0 - ratio * sum);
            if (!std::isfinite(step.real()) || !std::isfinite(step.imag())) continue;
            z[k] -= step;
            change = std::max(change, std::abs(step) / std::max(1.0, std::abs(z[k])));
        }
        if (change < 1e-15) break;
    }
    for (cd& r : z)
        for (int i = 0; i < 3; ++i) {
            cd d;
            const cd v = eval(r, d);
            if (d == cd(0)) break;
            const cd step = v / d;
            if (std::isfinite(step.real()) && std::isfinite(step.imag())) r -= step;
        }
    return z;
}

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

tiaifresult iaif(const double* x, std::size_t n, double fs, const tiaifoptions& opt) {
    tiaifresult res;
    res.hp = opt.flowhp;
    const int p = opt.order > 0 ? opt.order : iaif_default_order(fs);
    const int g = std::max(1, opt.glottalorder);
    if (!(fs > 0)) {
        res.problem = "The channel has no sampling rate";
        return res;
    }
    const std::size_t need = static_cast<std::size_t>(std::lround(opt.frame * fs));
    if (n < std::max<std::size_t>(need, static_cast<std::size_t>(2 * p + 2))) {
        res.problem = "The span is too short for an estimate (at least 32 ms are needed)";
        return res;
    }
    if (!(opt.hp > 0) || !(opt.hp < fs / 2) || !(opt.flowhp > 0) || !(opt.flowhp < fs / 2)) {
        res.problem = "The high-pass frequency must lie between 0 Hz and half the sampling rate";
        return res;
    }
    std::vector<double> s(x, x + n);
    double energy = 0;
    for (double& v : s) {
        if (!std::isfinite(v)) v = 0;
        energy += v * v;
    }
    if (!(energy > 0)) {
        res.problem = "The span is silent: there is nothing to estimate a filter from";
        return res;
    }
    THPFilterSection h;
    h.SetSampFreq(fs);
    h.SetF0(opt.hp);
    h.reset();
    for (double& v : s) v = h.filter(v);
    h.reset();
    for (std::size_t i = n; i-- > 0;) s[i] = h.filter(s[i]);

    const std::vector<double> g1model = framed_lpc(s, fs, 1, opt);
    const std::vector<double> vt1 = framed_lpc(through(g1model, s), fs, p, opt);
    std::vector<double> g1 = through(vt1, s);
    integrate(g1, opt.leak);
    const std::vector<double> g2model = framed_lpc(g1, fs, g, opt);
    std::vector<double> tract = through(g2model, s);
    integrate(tract, opt.leak);
    res.tract = framed_lpc(tract, fs, p, opt);
    res.source = g2model;
    res.formants = formants_from_polynomial(res.tract, fs, &res.realroots);
    res.ok = true;
    return res;
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
    filter.signaltype = r.signaltype;
    filter.fhpfilterfreq = r.hp;
    filter.rebuild_cascade();
}

}  // namespace tessal
