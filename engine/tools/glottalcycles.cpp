#include "engine/tools/glottalcycles.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <utility>

#include "engine/core/tchannel.h"
#include "engine/dsp/tfiltersection.h"

namespace tessal {

namespace {

constexpr double local_share = 0.25;   // of the deepest value within one longest period
constexpr double wide_share = 0.3;     // of the deepest value within a quarter second
constexpr double wide_reach = 0.25;    // s
constexpr double global_share = 0.02;  // of the deepest value of the span
constexpr double jump_cost = 1.0;      // per unit of |ln(T_k / T_k-1)|

// The largest of depth(i - w ... i + w), asked for at i that never
// decrease (a monotone queue; the depths are not stored, so a long span
// costs no copy).
template <class Depth>
class trunningmax {
public:
    trunningmax(const Depth& depth, std::size_t n, std::size_t w) : depth_(depth), n_(n), w_(w) {}
    double at(std::size_t i) {
        const std::size_t hi = std::min(n_ - 1, i + w_);
        for (; next_ <= hi; ++next_) {
            const double d = depth_(next_);
            while (!q_.empty() && q_.back().second <= d) q_.pop_back();
            q_.emplace_back(next_, d);
        }
        while (q_.front().first + w_ < i) q_.pop_front();
        return q_.front().second;
    }

private:
    const Depth& depth_;
    std::size_t n_, w_, next_ = 0;  // next_: the next index to enter the window
    std::deque<std::pair<std::size_t, double>> q_;
};

}  // namespace

std::vector<std::size_t> find_closures(const double* der, std::size_t n, double fs, const tcycleoptions& opt) {
    std::vector<std::size_t> out;
    if (n < 3 || !(fs > 0) || !(opt.f0min > 0) || !(opt.f0max > opt.f0min)) return out;
    const double tmin = fs / opt.f0max, tmax = fs / opt.f0min;
    // How far the derivative falls below zero, sample by sample.
    const auto depth = [der](std::size_t i) { return std::isfinite(der[i]) ? std::max(0.0, -der[i]) : 0.0; };
    double deepest = 0;
    for (std::size_t i = 0; i < n; ++i) deepest = std::max(deepest, depth(i));
    if (!(deepest > 0)) return out;
    trunningmax local(depth, n, static_cast<std::size_t>(std::ceil(tmax)));
    trunningmax wide(depth, n, static_cast<std::size_t>(std::ceil(wide_reach * fs)));

    struct tcand {
        std::size_t at;
        double quality, score = 0, period = 0;  // period: the interval that led here (0: a chain's start)
        long pred = -1;
    };
    std::vector<tcand> c;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double d = depth(i);
        if (!(d > 0) || d < depth(i - 1) || d <= depth(i + 1)) continue;
        const double near = local.at(i);
        if (d < local_share * near || d < wide_share * wide.at(i) || d < global_share * deepest) continue;
        // Of a flat bottom (equal but for rounding) its first sample, where
        // the flow first falls fastest, as the window's snapping takes it.
        std::size_t at = i;
        while (at > 0 && depth(at - 1) >= d * (1.0 - 1e-5)) --at;
        if (!c.empty() && c.back().at == at) continue;
        c.push_back({at, d / near});
    }
    // Best chain ending at each candidate.
    for (std::size_t i = 0; i < c.size(); ++i) {
        double best = 0;
        long pred = -1;
        double period = 0;
        for (std::size_t j = i; j-- > 0;) {
            const double t = static_cast<double>(c[i].at - c[j].at);
            if (t > tmax) break;
            if (t < tmin) continue;
            const double s = c[j].score - (c[j].period > 0 ? jump_cost * std::abs(std::log(t / c[j].period)) : 0.0);
            if (s > best) best = s, pred = static_cast<long>(j), period = t;
        }
        c[i].score = c[i].quality + best;
        c[i].pred = pred;
        c[i].period = period;
    }
    // Trace the chains back from the end.
    std::vector<std::size_t> rev;
    double bound = static_cast<double>(n);  // candidates before this sample are open
    long last = static_cast<long>(c.size()) - 1;
    while (last >= 0) {
        while (last >= 0 && static_cast<double>(c[last].at) >= bound) --last;
        if (last < 0) break;
        // The best end within one longest period before the bound.
        long e = last;
        for (long k = last; k >= 0 && static_cast<double>(c[last].at - c[k].at) <= tmax; --k)
            if (c[k].score > c[e].score) e = k;
        long k = e;
        for (; k >= 0; k = c[k].pred) {
            rev.push_back(c[k].at);
            if (c[k].pred < 0) break;
        }
        bound = static_cast<double>(c[k].at) - tmin;
        last = k - 1;
    }
    out.assign(rev.rbegin(), rev.rend());
    return out;
}

bool find_closed_phase(const tglottalflow& g, int& from, int& to) {
    const int a = g.periodstartpos, b = g.periodendpos;
    if (!g.period_ok() || !(g.ptp > 0) || !(g.mdr > 0)) return false;
    const double thr = g.loflow + 0.1 * g.ptp, slope = 0.1 * g.mdr;
    // The longest run of resting samples strictly inside the period.
    int best = -1, bestlen = 0;
    for (int i = a + 1; i < b;) {
        if (!(g.flowarr[i] <= thr && std::abs(g.derarr[i]) <= slope)) {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < b && g.flowarr[j + 1] <= thr && std::abs(g.derarr[j + 1]) <= slope) ++j;
        if (j - i + 1 > bestlen) best = i, bestlen = j - i + 1;
        i = j + 1;
    }
    if (best < 0 || best + bestlen >= b || bestlen - 1 < 0.05 * (b - a)) return false;
    // The slope into the first resting sample is flat: the rest began a
    // sample earlier.
    from = best - 1;
    to = best + bestlen - 1;
    return true;
}

tcyclecount measure_cycles(const std::vector<double>& flow, double fs, double t0, const tcycleoptions& opt,
                           const std::function<void(tglottalflow&)>& each, std::size_t firstcycle) {
    tcyclecount count;
    const std::size_t n = flow.size();
    if (n < 3 || !(fs > 0)) return count;
    std::vector<double> der(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) der[i] = (flow[i] - flow[i - 1]) * fs;
    const std::vector<std::size_t> gci = find_closures(der.data(), n, fs, opt);
    const double tmax = fs / opt.f0min;
    tglottalflow g;
    long long segstart = -1;  // the loaded segment's first sample (-1: none)
    for (std::size_t k = 0; k + 1 < gci.size(); ++k) {
        const long long a = static_cast<long long>(gci[k]), b = static_cast<long long>(gci[k + 1]);
        if (static_cast<double>(b - a) > tmax) continue;  // a pause between two chains
        if (a < static_cast<long long>(firstcycle)) continue;
        ++count.found;
        // The flow peak is looked for one period back: that must be a cycle
        // too (not the pause before a chain, nor before the samples).
        const long long neg = 2 * a - b;
        if (neg < 0 || k == 0 || static_cast<double>(gci[k] - gci[k - 1]) > tmax) continue;
        if (segstart < 0 || neg - 1 < segstart || b > segstart + glottal_seglen) {
            segstart = std::max(0LL, neg - 1);
            g.load_samples(fs, [&](int i) {
                const long long s = segstart + i;
                return s < static_cast<long long>(n) ? flow[static_cast<std::size_t>(s)] : 0.0;
            });
            g.cursortime = t0 + static_cast<double>(segstart) / fs;
        }
        g.cqlotime = g.cqhitime = 0;
        g.mark_period_at(static_cast<int>(a - segstart), static_cast<int>(b - segstart));
        if (!g.period_ok() || g.selectionerror) continue;
        int c1 = 0, c2 = 0;
        if (find_closed_phase(g, c1, c2)) g.mark_closed(c1 / fs, c2 / fs);
        ++count.measured;
        each(g);
    }
    return count;
}

tcyclecount measure_channel_cycles(const tchannel& ch, double from, double to, bool derivative, double hp,
                                   const tcycleoptions& opt,
                                   const std::function<void(tglottalflow&)>& each) {
    const double fs = ch.sampfreq;
    if (!(fs > 0) || !(to > from) || !(opt.f0min > 0)) return {};
    const long long len = ch.sample_count();
    const long long first = std::clamp(std::llround(from * fs) - ch.xshift, 0LL, len);
    const long long last = std::clamp(std::llround(to * fs) - ch.xshift, first, len);
    // The previous period of the first cycle (two longest periods, since
    // the cycle may start up to one period after `from`).
    const long long lead = std::min(first, static_cast<long long>(std::ceil(2 * fs / opt.f0min)) + 2);
    const tsinglearr s = ch.samples_array(first - lead, last);
    std::vector<double> flow(s.begin(), s.end());
    if (derivative) {
        highpass_both_ways(flow, fs, hp);
        double sum = 0;
        for (double& x : flow) x = (sum += x) / fs;
    }
    const double t0 = static_cast<double>(first - lead + ch.xshift) / fs;
    return measure_cycles(flow, fs, t0, opt, each, static_cast<std::size_t>(lead));
}

}  // namespace tessal
