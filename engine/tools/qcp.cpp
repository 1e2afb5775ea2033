#include "engine/tools/qcp.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "engine/analysis/polyroots.h"
#include "engine/core/tchannel.h"
#include "engine/jobs/jobline.h"
#include "engine/tools/glottalcycles.h"

namespace tessal {

namespace {

constexpr double pi = 3.14159265358979323846;

// Solves M a = b for a symmetric positive definite M (n x n, row major) by
// Cholesky; false when a pivot is not positive.
bool cholesky_solve(std::vector<double>& M, std::vector<double>& b, int n) {
    for (int j = 0; j < n; ++j) {
        double d = M[j * n + j];
        for (int k = 0; k < j; ++k) d -= M[j * n + k] * M[j * n + k];
        if (!(d > 0)) return false;
        d = std::sqrt(d);
        M[j * n + j] = d;
        for (int i = j + 1; i < n; ++i) {
            double v = M[i * n + j];
            for (int k = 0; k < j; ++k) v -= M[i * n + k] * M[j * n + k];
            M[i * n + j] = v / d;
        }
    }
    for (int i = 0; i < n; ++i) {
        double v = b[i];
        for (int k = 0; k < i; ++k) v -= M[i * n + k] * b[k];
        b[i] = v / M[i * n + i];
    }
    for (int i = n; i-- > 0;) {
        double v = b[i];
        for (int k = i + 1; k < n; ++k) v -= M[k * n + i] * b[k];
        b[i] = v / M[i * n + i];
    }
    return true;
}

// The polynomial with every root of a outside the unit circle replaced by
// its mirror image 1 / r* (the same magnitude response up to a gain, now
// minimum phase).
std::vector<double> reflected_inside(const std::vector<double>& a) {
    std::vector<std::complex<double>> roots = polynomial_roots(a);
    bool any = false;
    for (auto& r : roots)
        if (std::abs(r) > 1.0) {
            r = 1.0 / std::conj(r);
            any = true;
        }
    if (!any) return a;
    std::vector<std::complex<double>> p{1.0};
    for (const auto& r : roots) {
        p.push_back(0.0);
        for (std::size_t k = p.size() - 1; k > 0; --k) p[k] -= r * p[k - 1];
    }
    std::vector<double> out(a.size(), 0.0);
    for (std::size_t k = 0; k < p.size() && k < out.size(); ++k) out[k] = p[k].real();
    return out;
}

}  // namespace

void ame_weights(std::size_t from, std::size_t to, const std::vector<std::size_t>& gcis, double fs,
                 const tqcpoptions& opt, double* w) {
    if (to <= from) return;
    std::fill(w, w + (to - from), 1.0);
    const double longest = fs / std::max(1e-3, opt.f0min);
    const double ramp = std::max(0.0, opt.ramp * fs);
    // No GCI further than this from [from, to) attenuates a sample in it.
    const double reach = (std::abs(opt.pq) + std::abs(1.0 - opt.dq)) * longest + ramp + 2.0;
    const double lowest = static_cast<double>(from) - reach;
    std::size_t k = static_cast<std::size_t>(
        std::lower_bound(gcis.begin(), gcis.end(), lowest, [](std::size_t g, double v) { return static_cast<double>(g) < v; }) -
        gcis.begin());
    for (; k < gcis.size() && static_cast<double>(gcis[k]) <= static_cast<double>(to) + reach; ++k) {
        double T = 0;
        if (k + 1 < gcis.size() && gcis[k + 1] - gcis[k] <= longest)
            T = static_cast<double>(gcis[k + 1] - gcis[k]);
        else if (k > 0 && gcis[k] - gcis[k - 1] <= longest)
            T = static_cast<double>(gcis[k] - gcis[k - 1]);
        if (!(T > 0)) continue;
        const double a = static_cast<double>(gcis[k]) - opt.pq * T;
        const double b = a + (1.0 - opt.dq) * T;
        // Down from a - ramp to a, the floor to b, up again to b + ramp.
        const long long lo = std::max(static_cast<long long>(from), static_cast<long long>(std::floor(a - ramp)));
        const long long hi = std::min(static_cast<long long>(to) - 1, static_cast<long long>(std::ceil(b + ramp)));
        for (long long i = lo; i <= hi; ++i) {
            const double t = static_cast<double>(i);
            double v = 1.0;
            if (t >= a && t < b)
                v = opt.floor;
            else if (t < a && ramp > 0)
                v = opt.floor + (1.0 - opt.floor) * (a - t) / ramp;
            else if (t >= b && ramp > 0)
                v = opt.floor + (1.0 - opt.floor) * (t - b) / ramp;
            double& out = w[static_cast<std::size_t>(i) - from];
            out = std::min(out, std::clamp(v, opt.floor, 1.0));
        }
    }
}

std::vector<double> ame_weights(std::size_t n, const std::vector<std::size_t>& gcis, double fs,
                                const tqcpoptions& opt) {
    std::vector<double> w(n, 1.0);
    ame_weights(0, n, gcis, fs, opt, w.data());
    return w;
}

namespace {

// weighted_lpc with the weights of samples [from, to) asked for block by
// block: weights(from, to, out).
template <class Weights>
std::vector<double> weighted_lpc_blocks(const std::vector<double>& s, Weights&& weights, int p,
                                        const tjobcontext* job) {
    std::vector<double> a(static_cast<std::size_t>(std::max(0, p)) + 1, 0.0);
    a[0] = 1.0;
    if (p < 1 || s.size() <= static_cast<std::size_t>(p)) return a;
    const std::size_t m = static_cast<std::size_t>(p);
    // The normal equations sum_n w(n) s(n-i) s(n-k) a_k = -sum_n w(n) s(n-i) s(n),
    // i, k = 1 ... p, accumulated as the outer products of the past p
    // samples (lower triangle only).
    std::vector<double> M(m * m, 0.0), b(m, 0.0), past(m);
    constexpr std::size_t block = 1 << 16;
    std::vector<double> w(std::min(block, s.size()));
    std::size_t wfrom = 0, wto = 0;
    for (std::size_t n = m; n < s.size(); ++n) {
        if (job && (n & 0xFFFF) == 0) job->check();
        if (n >= wto) {
            wfrom = n;
            wto = std::min(s.size(), n + block);
            weights(wfrom, wto, w.data());
        }
        const double wn = w[n - wfrom];
        if (!(wn > 0)) continue;
        for (std::size_t i = 0; i < m; ++i) past[i] = s[n - 1 - i];
        for (std::size_t i = 0; i < m; ++i) {
            const double wi = wn * past[i];
            b[i] -= wi * s[n];
            double* row = &M[i * m];
            for (std::size_t k = 0; k <= i; ++k) row[k] += wi * past[k];
        }
    }
    double trace = 0;
    for (std::size_t i = 0; i < m; ++i) trace += M[i * m + i];
    if (!(trace > 0)) return a;
    // A floor on the diagonal (white noise 90 dB down) keeps an empty band
    // of a band-limited signal from making the system singular.
    for (std::size_t i = 0; i < m; ++i) M[i * m + i] += 1e-9 * trace / m;
    if (!cholesky_solve(M, b, p)) return a;
    for (std::size_t i = 0; i < m; ++i) a[i + 1] = std::isfinite(b[i]) ? b[i] : 0.0;
    return a;
}

}  // namespace

std::vector<double> weighted_lpc(const std::vector<double>& s, const std::vector<double>& w, int p,
                                 const tjobcontext* job) {
    if (w.size() != s.size()) {
        std::vector<double> a(static_cast<std::size_t>(std::max(0, p)) + 1, 0.0);
        a[0] = 1.0;
        return a;
    }
    return weighted_lpc_blocks(
        s, [&](std::size_t from, std::size_t to, double* out) { std::copy(w.begin() + from, w.begin() + to, out); },
        p, job);
}

std::vector<double> weighted_lpc_ame(const std::vector<double>& s, const std::vector<std::size_t>& gcis, double fs,
                                     const tqcpoptions& opt, int p, const tjobcontext* job) {
    return weighted_lpc_blocks(
        s, [&](std::size_t from, std::size_t to, double* out) { ame_weights(from, to, gcis, fs, opt, out); }, p,
        job);
}

namespace {

// QCP over s, prepared by iaif_prepare.
tiaifresult qcp_prepared(const std::vector<double>& s, double fs, const tqcpoptions& opt, tjobcontext* job,
                         int* gcicount) {
    tiaifresult first = iaif_prepared(s, fs, opt.iaif, job);
    if (!first.ok) return first;
    if (job) {
        job->check();
        job->progress(0.4);
    }
    const int p = opt.iaif.order > 0 ? opt.iaif.order : iaif_default_order(fs);
    // The first derivative, its main excitations downwards.
    std::vector<double> der = fir_through(first.tract, s);
    // The first p samples lack their past: a step there, no excitation.
    std::fill(der.begin(), der.begin() + std::min<std::size_t>(der.size(), static_cast<std::size_t>(p)), 0.0);
    double lo = 0, hi = 0;
    for (double v : der) lo = std::min(lo, v), hi = std::max(hi, v);
    if (hi > -lo)
        for (double& v : der) v = -v;
    tcycleoptions co;
    co.f0min = opt.f0min;
    co.f0max = opt.f0max;
    const std::vector<std::size_t> gcis = find_closures(der.data(), der.size(), fs, co);
    if (job) {
        job->check();
        job->progress(0.55);
    }
    if (gcis.size() < 2) return first;
    // The derivative's samples make room for the source-compensated signal;
    // the weights are made as the sum goes.
    fir_through(first.source, s, der);
    std::vector<double> tract = weighted_lpc_ame(der, gcis, fs, opt, p, job);
    std::vector<double>().swap(der);
    if (job) {
        job->check();
        job->progress(0.9);
    }
    tiaifresult res = first;
    res.tract = reflected_inside(tract);
    const std::vector<tformant> all = formants_from_polynomial(res.tract, fs, &res.realroots);
    const tclosedphase cp{opt.f0min, opt.closedfrom, opt.closedto};
    tformantrefine refine = opt.refine;
    refine.bwmax = opt.widest;
    // A pair broader than `widest`, or than its own frequency (it has no
    // peak), is no formant: below the refined band it is the source's tilt
    // and left out, above it the noise floor's and kept (see the header).
    const auto tilt = [&](const tformant& f) {
        return (f.bw > opt.widest || f.bw > f.f0) && f.f0 < opt.refine.below;
    };
    // The candidates, each refined: QCP's pairs without the broad ones, and
    // with the noise floor's; IAIF's with the noise floor's (in noise the
    // covariance method may model the floor where F1 is).
    std::vector<std::vector<tformant>> inputs, candidates;
    const auto same = [](const std::vector<tformant>& a, const std::vector<tformant>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const tformant& x, const tformant& y) {
            return x.iszero == y.iszero && x.f0 == y.f0 && x.bw == y.bw;
        });
    };
    const auto add = [&](std::vector<tformant> f, bool noisefloor) {
        std::erase_if(f, [&](const tformant& e) { return tilt(e) || (!noisefloor && e.bw > opt.widest); });
        for (const std::vector<tformant>& c : inputs)
            if (same(c, f)) return;
        inputs.push_back(f);
        candidates.push_back(refine_formants(s, std::move(f), gcis, fs, cp, refine, job));
        if (job) job->progress(0.9 + 0.03 * static_cast<double>(candidates.size()));
    };
    add(all, false);
    add(all, true);
    add(first.formants, true);
    double least = closed_phase_ripple(s, cascade_polynomial(first.formants, fs), gcis, fs, cp);
    int chosen = -1;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const double r = closed_phase_ripple(s, cascade_polynomial(candidates[k], fs), gcis, fs, cp);
        if (r < least) least = r, chosen = static_cast<int>(k);
    }
    if (chosen >= 0) res.formants = std::move(candidates[static_cast<std::size_t>(chosen)]);
    else res = first;  // IAIF's own tract, its real roots counted
    if (gcicount) *gcicount = static_cast<int>(gcis.size());
    if (job) job->progress(1.0);
    return res;
}

}  // namespace

tiaifresult qcp(const double* x, std::size_t n, double fs, const tqcpoptions& opt, tjobcontext* job,
                int* gcicount) {
    if (gcicount) *gcicount = 0;
    std::vector<double> s(x, x + n);
    tiaifresult res;
    res.hp = opt.iaif.flowhp;
    if (!iaif_prepare(s, fs, opt.iaif, res.problem)) return res;
    return qcp_prepared(s, fs, opt, job, gcicount);
}

tsamplestore estimate_span(const tchannel& ch, double from, double to) {
    const double fs = ch.sampfreq;
    if (!(fs > 0)) return {};
    const long long len = ch.sample_count();
    const long long a = std::clamp(std::llround(from * fs) - ch.xshift, 0LL, len);
    const long long b = std::clamp(std::llround(to * fs) - ch.xshift, a, len);
    return ch.samples_slice(a, b);
}

tiaifresult qcp_slice(const tsamplestore& span, double fs, const tqcpoptions& opt, tjobcontext* job) {
    // The slice straight into the doubles the estimate works on.
    std::vector<double> s(static_cast<std::size_t>(span.size()));
    span.for_each_chunk(0, span.size(), [&](const float* p, std::size_t n, std::int64_t pos) {
        std::copy(p, p + n, s.begin() + pos);
    });
    if (job) job->check();
    tiaifresult res;
    res.hp = opt.iaif.flowhp;
    if (!iaif_prepare(s, fs, opt.iaif, res.problem)) return res;
    return qcp_prepared(s, fs, opt, job, nullptr);
}

tiaifresult qcp_channel(const tchannel& ch, double from, double to, const tqcpoptions& opt, tjobcontext* job) {
    return qcp_slice(estimate_span(ch, from, to), ch.sampfreq, opt, job);
}

}  // namespace tessal
