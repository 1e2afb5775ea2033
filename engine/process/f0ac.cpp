// The vector helpers are inlined into functions built for each target.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "engine/process/f0ac.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/process/tworksig.h"

namespace tessal {

namespace {

// Half the width of the windowed sinc that interpolates the normalised
// autocorrelation between its samples.
constexpr int sinc_depth = 16;

}  // namespace

double tf0acframes::at(double t) const {
    if (f0.empty()) return 0;
    const double u = (t - first) / step;
    const double last = static_cast<double>(f0.size() - 1);
    if (u < -0.5 || u > last + 0.5) return 0;
    if (u <= 0) return f0.front();
    if (u >= last) return f0.back();
    const std::size_t i = static_cast<std::size_t>(u);
    const double fr = u - static_cast<double>(i);
    const double a = f0[i], b = f0[i + 1];
    if (a > 0 && b > 0) return a + (b - a) * fr;
    return fr < 0.5 ? a : b;
}

tf0acworkspace::tf0acworkspace(double fs, const tf0acsettings& s) : fs_(fs), s_(s) {
    w_ = static_cast<std::size_t>(std::max(4.0, std::nearbyint(3 * fs / s.minf0)));
    maxlag_ = static_cast<std::size_t>(std::ceil(fs / s.minf0));
    minlag_ = std::max<std::size_t>(2, static_cast<std::size_t>(std::floor(fs / s.maxf0)));
    // The circular autocorrelation is exact up to lag n - w: room for the
    // longest lag and the interpolation's reach beyond it.
    const std::size_t need = w_ + maxlag_ + sinc_depth + 2;
    int logn = 2;
    while ((std::size_t{1} << logn) < need) ++logn;
    n_ = std::size_t{1} << logn;
    fft_.resize(logn);
    x_.assign(w_, 0.0);
    win_.resize(w_);
    for (std::size_t i = 0; i < w_; ++i)
        win_[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * (static_cast<double>(i) + 0.5) / static_cast<double>(w_));
    re_.assign(n_, 0.0);
    im_.assign(n_, 0.0);
    power_.assign(n_, 0.0);
    r_.assign(maxlag_ + sinc_depth + 2, 0.0);
    rw_.assign(r_.size(), 0.0);
    // The window's own autocorrelation, normalised to 1 at lag 0.
    fft_.forward({win_.data(), nullptr, 0.0, w_}, re_.data(), im_.data(), 1.0);
    for (std::size_t k = 0; k < n_; ++k) power_[k] = re_[k] * re_[k] + im_[k] * im_[k];
    fft_.forward({power_.data(), nullptr, 0.0, n_}, re_.data(), im_.data(), 1.0);
    for (std::size_t k = 0; k < rw_.size(); ++k) rw_[k] = re_[k] / re_[0];
}

// The normalised autocorrelation at a lag between samples, by a Hann
// windowed sinc over the samples around it (the function is even, so lags
// below 0 mirror).
double tf0acworkspace::interpolate(double t) const {
    const auto i0 = static_cast<std::int64_t>(std::floor(t));
    const std::int64_t top = static_cast<std::int64_t>(r_.size()) - 1;
    const double pi = std::numbers::pi;
    // Over k the distance d = t - k falls by 1 a term: sin(pi d) only
    // changes its sign, and the window's cos(pi d / depth) turns by a fixed
    // angle, so two sines and cosines serve the whole sum.
    const std::int64_t k0 = i0 - sinc_depth + 1;
    const double d0 = t - static_cast<double>(k0);
    double sgn = std::sin(pi * d0);
    const double step = pi / sinc_depth;
    double wc = std::cos(d0 * step), ws = std::sin(d0 * step);
    const double cb = std::cos(step), sb = std::sin(step);
    double sum = 0;
    for (std::int64_t k = k0; k <= i0 + sinc_depth; ++k) {
        const double d = t - static_cast<double>(k);
        const std::int64_t kk = k < 0 ? -k : k;
        if (kk <= top) {
            const double sinc = std::fabs(d) < 1e-12 ? 1.0 : sgn / (pi * d);
            sum += r_[static_cast<std::size_t>(kk)] * sinc * (0.5 + 0.5 * wc);
        }
        sgn = -sgn;
        // cos and sin of (d - 1) pi / depth.
        const double c = wc * cb + ws * sb, sn = ws * cb - wc * sb;
        wc = c, ws = sn;
    }
    return sum;
}

// Moves t to the maximum of the interpolated autocorrelation near it by
// parabolas through ever closer points; the height there.
double tf0acworkspace::refine(double& t) const {
    double f = interpolate(t);
    for (double h : {0.25, 0.0625, 0.015625, 0.00390625}) {
        const double fm = interpolate(t - h), fp = interpolate(t + h);
        const double den = fm - 2 * f + fp;
        double d = 0;
        if (den < 0)
            d = std::clamp(0.5 * h * (fm - fp) / den, -h, h);
        else if (fm > f || fp > f)
            d = fm > fp ? -h : h;
        if (d != 0) {
            const double ft = interpolate(t + d);
            if (ft >= f) t += d, f = ft;
        }
    }
    return f;
}

void tf0acworkspace::candidates(const float* x, std::vector<std::pair<float, float>>& out, double& peak) {
    out.clear();
    double sum = 0;
    for (std::size_t i = 0; i < w_; ++i) sum += x_[i] = x[i];
    const double mean = sum / static_cast<double>(w_);
    peak = 0;
    // The frame's loudness is its peak over the middle period (a third of
    // the window): a window that only catches the ringing of a voice that
    // stopped before its centre counts as quiet.
    for (std::size_t i = w_ / 3; i < w_ - w_ / 3; ++i) peak = std::max(peak, std::fabs(x_[i] - mean));
    if (!(peak > 0)) return;
    fft_.forward({x_.data(), win_.data(), mean, w_}, re_.data(), im_.data(), 1.0);
    for (std::size_t k = 0; k < n_; ++k) power_[k] = re_[k] * re_[k] + im_[k] * im_[k];
    fft_.forward({power_.data(), nullptr, 0.0, n_}, re_.data(), im_.data(), 1.0);
    if (!(re_[0] > 0)) return;
    const double r0 = re_[0];
    for (std::size_t k = 0; k < r_.size(); ++k) r_[k] = re_[k] / r0 / rw_[k];

    // Local maxima in the lag range, placed by a parabola first.
    const double lnmin = std::log2(s_.minf0 / fs_);
    auto strength = [&](double r, double lag) {
        if (r > 1) r = 1 / r;  // interpolation overshoot above perfect periodicity
        return r - s_.octavecost * (lnmin + std::log2(lag));
    };
    const std::size_t keep = static_cast<std::size_t>(std::max(1, s_.maxcandidates - 1));
    for (std::size_t k = minlag_; k <= maxlag_ && k + 1 < r_.size(); ++k) {
        const double rm = r_[k - 1], rc = r_[k], rp = r_[k + 1];
        if (!(rc > rm && rc >= rp && rc > 0.5 * s_.voicingthreshold)) continue;
        const double den = rm - 2 * rc + rp;
        const double d = den < 0 ? std::clamp(0.5 * (rm - rp) / den, -0.5, 0.5) : 0.0;
        const double lag = static_cast<double>(k) + d;
        out.emplace_back(static_cast<float>(lag), static_cast<float>(strength(rc - 0.25 * (rm - rp) * d, lag)));
    }
    auto stronger = [](const std::pair<float, float>& a, const std::pair<float, float>& b) {
        return a.second > b.second;
    };
    if (out.size() > keep) {
        std::partial_sort(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(keep), out.end(), stronger);
        out.resize(keep);
    }
    // The kept ones placed and measured on the interpolated function.
    for (auto& c : out) {
        double lag = c.first;
        const double r = refine(lag);
        c.first = static_cast<float>(fs_ / lag);
        c.second = static_cast<float>(strength(r, lag));
    }
    std::sort(out.begin(), out.end(), stronger);
}

tf0acframes f0_ac_frames(const tworksig& x, double fs, const tf0acsettings& s,
                         const std::function<void(double)>& progress) {
    tf0acframes fr;
    fr.step = s.timestep;
    tf0acworkspace ws(fs, s);
    const std::size_t n = x.size(), w = ws.window();
    if (n < w) return fr;
    // The signal's peak distance from its mean.
    double sum = 0, lo = 0, hi = 0;
    bool firstchunk = true;
    x.for_each_chunk(0, static_cast<std::int64_t>(n), [&](const float* p, std::size_t m, std::int64_t) {
        for (std::size_t i = 0; i < m; ++i) {
            const double v = p[i];
            sum += v;
            if (firstchunk) lo = hi = v, firstchunk = false;
            lo = std::min(lo, v), hi = std::max(hi, v);
        }
    });
    const double gmean = sum / static_cast<double>(n);
    const double gpeak = std::max(hi - gmean, gmean - lo);

    const double dur = static_cast<double>(n) / fs, wdur = static_cast<double>(w) / fs;
    const std::size_t nf = static_cast<std::size_t>(std::floor((dur - wdur) / s.timestep + 1e-9)) + 1;
    fr.first = (dur - static_cast<double>(nf - 1) * s.timestep) / 2;
    fr.f0.assign(nf, 0.0f);

    const std::size_t K = static_cast<std::size_t>(std::max(2, s.maxcandidates));
    std::vector<float> freq(nf * K, 0.0f), str(nf * K, 0.0f);
    std::vector<std::uint8_t> count(nf, 1);
    std::vector<float> buf(x.is_store() ? w : 0);
    std::vector<std::pair<float, float>> cand;
    cand.reserve(w);  // more than the maxima a frame can have: no allocation per frame
    const double ratio = s.silencethreshold / (1 + s.voicingthreshold);
    for (std::size_t i = 0; i < nf; ++i) {
        const double start = std::nearbyint(fr.time(i) * fs - static_cast<double>(w) / 2);
        const std::size_t a = static_cast<std::size_t>(std::clamp(start, 0.0, static_cast<double>(n - w)));
        const float* p;
        if (x.is_store()) {
            x.read(static_cast<std::int64_t>(a), w, buf.data());
            p = buf.data();
        } else {
            p = x.arr().data() + a;
        }
        double peak = 0;
        if (gpeak > 0) ws.candidates(p, cand, peak);
        // The unvoiced candidate, stronger in frames far below the peak.
        const double unvoiced =
            s.voicingthreshold + std::max(0.0, 2 - (gpeak > 0 ? peak / gpeak : 0.0) / ratio);
        str[i * K] = static_cast<float>(unvoiced);
        std::size_t c = 1;
        if (gpeak > 0)
            for (const auto& [f, st] : cand) {
                if (c >= K) break;
                freq[i * K + c] = f;
                str[i * K + c] = st;
                ++c;
            }
        count[i] = static_cast<std::uint8_t>(c);
        if (progress && (i & 1023) == 0) progress(0.9 * static_cast<double>(i) / static_cast<double>(nf));
    }

    // The cheapest path: the costs are given for 10 ms steps.
    const double tc = 0.01 / s.timestep;
    const double vuc = s.voicedunvoicedcost * tc, ojc = s.octavejumpcost * tc;
    std::vector<std::uint8_t> back(nf * K, 0);
    std::vector<double> prev(K, 0.0), cur(K, 0.0);
    for (std::size_t c = 0; c < count[0]; ++c) prev[c] = -str[c];
    for (std::size_t i = 1; i < nf; ++i) {
        const float* fp = &freq[(i - 1) * K];
        const float* fc = &freq[i * K];
        for (std::size_t c = 0; c < count[i]; ++c) {
            double best = 1e300;
            std::size_t arg = 0;
            for (std::size_t q = 0; q < count[i - 1]; ++q) {
                double t;
                const bool vq = fp[q] > 0, vc = fc[c] > 0;
                if (vq && vc)
                    t = ojc * std::fabs(std::log2(static_cast<double>(fc[c]) / fp[q]));
                else
                    t = vq != vc ? vuc : 0.0;
                const double v = prev[q] + t;
                if (v < best) best = v, arg = q;
            }
            cur[c] = best - str[i * K + c];
            back[i * K + c] = static_cast<std::uint8_t>(arg);
        }
        std::swap(prev, cur);
    }
    std::size_t c = static_cast<std::size_t>(
        std::min_element(prev.begin(), prev.begin() + count[nf - 1]) - prev.begin());
    for (std::size_t i = nf; i-- > 0;) {
        fr.f0[i] = freq[i * K + c];
        c = back[i * K + c];
    }
    if (progress) progress(1);
    return fr;
}

}  // namespace tessal
