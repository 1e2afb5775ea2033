// The measurement pass. The samples of the selection are read once, in
// blocks of 4096 counted from the selection's start whatever pieces the
// channel stores them in (so the numbers do not depend on how the channel
// was cut by edits): each block's plain sums are taken in four lanes, then the
// weighting chain runs over the same block (now in the first-level cache)
// with its state and coefficients in locals. The plain sums are taken about
// the block's first sample (and its first positive sample) so that the
// spread is not lost under a large offset; the blocks are then combined
// exactly (pairwise update of count, mean and squared deviations). On GCC
// for x86-64 Linux the block loops are also compiled for AVX2 and the best
// version is picked when the program loads.
#include "engine/measurements/measurementpass.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/dsp/simd.h"

namespace tessal {

namespace {

constexpr long long blocksize = 4096;
const double nan = std::numeric_limits<double>::quiet_NaN();

// Count, mean and sum of squared deviations of a set of samples.
struct tmoments {
    double n = 0, mean = 0, m2 = 0;
    void add(double nb, double meanb, double m2b) {
        if (nb <= 0) return;
        const double total = n + nb;
        const double delta = meanb - mean;
        mean += delta * (nb / total);
        m2 += m2b + delta * delta * (n * nb / total);
        n = total;
    }
};

struct tsums {
    tmoments all, pos;
    double sum = 0, sumpos = 0, sumx2 = 0, sumA2 = 0, sumC2 = 0, sumgt = 0, ngt = 0;
    double ymin = 1e300, ymax = -1e300;
};

// The weighted sums of a block: the chain runs sample by sample (its state
// carries from one sample to the next), two accumulators each so the adds
// overlap.
template <bool uselp>
TESSAL_INLINE void weight_block(const float* x, long long count, tweightingchain& chain,
                                double& sumA2, double& sumC2) {
    tweightingchain c = chain;
    double a2[2] = {0, 0}, c2[2] = {0, 0};
    for (long long i = 0; i < count; ++i) {
        double a, cw;
        c.template step<uselp>(x[i], a, cw);
        a2[i & 1] += a * a;
        c2[i & 1] += cw * cw;
    }
    chain = c;
    sumA2 += (a2[0] + a2[1]) * (c.scaleA * c.scaleA);
    sumC2 += (c2[0] + c2[1]) * (c.scaleC * c.scaleC);
}

template <bool uselp>
TESSAL_INLINE void filter_only(const float* x, long long count, tweightingchain& chain) {
    tweightingchain c = chain;
    double a, cw;
    for (long long i = 0; i < count; ++i) c.template step<uselp>(x[i], a, cw);
    chain = c;
}

// The plain sums of a block, about the shifts K (all samples) and Kp
// (positive samples), in four lanes.
TESSAL_INLINE void stats_block(const float* x, long long count, double threshold, tsums& t) {
    const double K = x[0];
    double Kp = 0;
    for (long long i = 0; i < count; ++i)
        if (x[i] > 0) {
            Kp = x[i];
            break;
        }
    double sx2 = 0, sd = 0, sd2 = 0, sp = 0, sp2 = 0, np = 0, sgt = 0, ngt = 0;
    double ymin = t.ymin, ymax = t.ymax;
    long long i = 0;
#if defined(TESSAL_HAVE_VECTORS)
    using simd::vec4;
    using simd::hsum;
    const vec4 zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};
    const vec4 Kv = zero + K, Kpv = zero + Kp, thr = zero + threshold;
    vec4 vsx2 = zero, vsd = zero, vsd2 = zero, vsp = zero, vsp2 = zero, vnp = zero,
         vsgt = zero, vngt = zero, vmin = zero + ymin, vmax = zero + ymax;
    for (; i + 4 <= count; i += 4) {
        const vec4 v = simd::load_fvec4(x + i);
        vsx2 += v * v;
        const vec4 d = v - Kv;
        vsd += d;
        vsd2 += d * d;
        const auto pos = v > zero;
        const vec4 dp = pos ? v - Kpv : zero;
        vsp += dp;
        vsp2 += dp * dp;
        vnp += pos ? one : zero;
        const auto gt = v > thr;
        vsgt += gt ? v : zero;
        vngt += gt ? one : zero;
        vmin = v < vmin ? v : vmin;
        vmax = v > vmax ? v : vmax;
    }
    sx2 = hsum(vsx2);
    sd = hsum(vsd);
    sd2 = hsum(vsd2);
    sp = hsum(vsp);
    sp2 = hsum(vsp2);
    np = hsum(vnp);
    sgt = hsum(vsgt);
    ngt = hsum(vngt);
    for (int j = 0; j < 4; ++j) {
        ymin = vmin[j] < ymin ? vmin[j] : ymin;
        ymax = vmax[j] > ymax ? vmax[j] : ymax;
    }
#endif
    for (; i < count; ++i) {
        const double v = x[i];
        sx2 += v * v;
        const double d = v - K;
        sd += d;
        sd2 += d * d;
        const bool pos = v > 0;
        const double dp = pos ? v - Kp : 0.0;
        sp += dp;
        sp2 += dp * dp;
        np += pos ? 1.0 : 0.0;
        const bool gt = v > threshold;
        sgt += gt ? v : 0.0;
        ngt += gt ? 1.0 : 0.0;
        ymin = v < ymin ? v : ymin;
        ymax = v > ymax ? v : ymax;
    }
    const double n = static_cast<double>(count);
    t.all.add(n, K + sd / n, std::max(0.0, sd2 - sd * sd / n));
    t.sum += n * K + sd;
    if (np > 0) {
        t.pos.add(np, Kp + sp / np, std::max(0.0, sp2 - sp * sp / np));
        t.sumpos += np * Kp + sp;
    }
    t.sumx2 += sx2;
    t.sumgt += sgt;
    t.ngt += ngt;
    t.ymin = ymin;
    t.ymax = ymax;
}

// Mode 0: no weighting; 1: weighting without the low-pass; 2: with it. The
// block is read from memory once and then sits in the first-level cache
// for the second loop over it.
template <int mode>
TESSAL_INLINE void measure_block_body(const float* x, long long count, double threshold,
                                      tweightingchain& chain, tsums& t) {
    stats_block(x, count, threshold, t);
    if constexpr (mode > 0) weight_block<mode == 2>(x, count, chain, t.sumA2, t.sumC2);
}

TESSAL_TARGET_CLONES
void measure_block_plain(const float* x, long long count, double threshold, tweightingchain& chain,
                         tsums& t) {
    measure_block_body<0>(x, count, threshold, chain, t);
}

TESSAL_TARGET_CLONES
void measure_block_nolp(const float* x, long long count, double threshold, tweightingchain& chain,
                        tsums& t) {
    measure_block_body<1>(x, count, threshold, chain, t);
}

TESSAL_TARGET_CLONES
void measure_block_lp(const float* x, long long count, double threshold, tweightingchain& chain,
                      tsums& t) {
    measure_block_body<2>(x, count, threshold, chain, t);
}

TESSAL_TARGET_CLONES
void filter_block_nolp(const float* x, long long count, tweightingchain& chain) {
    filter_only<false>(x, count, chain);
}

TESSAL_TARGET_CLONES
void filter_block_lp(const float* x, long long count, tweightingchain& chain) {
    filter_only<true>(x, count, chain);
}

long long clamp_index(double v, long long last) {
    if (!(v > 0)) return 0;  // also NaN
    if (v >= static_cast<double>(last)) return last;
    return static_cast<long long>(v);
}

void set_all(tchannel& ch, double v) {
    ch.peak = ch.sd = ch.sdpos = ch.rms = ch.rmsA = ch.rmsC = ch.integral = ch.avg = ch.avgpos =
        ch.avggt = ch.ymax = ch.ymin = v;
}

}  // namespace

void measure_channel(tchannel& ch, double L, double R, bool weighted, double threshold,
                     tweightingfilters& filters) {
    const double fs = ch.sampfreq;
    const long long count = ch.sample_count();
    if (count == 0 || !(fs > 0) || !std::isfinite(fs)) {
        // Nothing to measure: every value shows "-".
        set_all(ch, nan);
        ch.rmsA = ch.rmsC = 0;
        return;
    }
    const long long last = count - 1;
    const double xs = static_cast<double>(ch.xshift);
    long long s = clamp_index(std::round(L * fs - xs), last);
    long long e = clamp_index(std::round(R * fs - xs), last);
    if (e < s) std::swap(s, e);
    const long long lead = std::max(0LL, s - clamp_index(std::round(fs), count));

    tsums t;
    tweightingchain chain;
    int mode = 0;
    if (weighted) {
        filters.set_rate(fs);
        mode = filters.uselowpass() ? 2 : 1;
        chain = weighting_chain(filters);
    }
    std::vector<float> buf(blocksize);
    if (mode > 0) {
        // Samples before the start of the signal are zeros, which leave the
        // cleared filters at rest: only the real lead-in samples are run.
        ch.for_each_fixed_piece(lead, s, static_cast<std::size_t>(blocksize), buf.data(), [&](const float* x, std::size_t n) {
            if (mode == 2)
                filter_block_lp(x, static_cast<long long>(n), chain);
            else
                filter_block_nolp(x, static_cast<long long>(n), chain);
        });
    }
    ch.for_each_fixed_piece(s, e + 1, static_cast<std::size_t>(blocksize), buf.data(), [&](const float* x, std::size_t count) {
        const auto n = static_cast<long long>(count);
        switch (mode) {
            case 0: measure_block_plain(x, n, threshold, chain, t); break;
            case 1: measure_block_nolp(x, n, threshold, chain, t); break;
            default: measure_block_lp(x, n, threshold, chain, t); break;
        }
    });

    const double n = t.all.n;
    ch.integral = t.sum / fs;
    ch.avg = t.sum / n;
    // All samples NaN: the extremes were never found.
    ch.ymin = t.ymin <= t.ymax ? t.ymin : nan;
    ch.ymax = t.ymin <= t.ymax ? t.ymax : nan;
    ch.peak = std::max(std::fabs(ch.ymin), std::fabs(ch.ymax));
    ch.avgpos = t.pos.n > 0 ? t.sumpos / t.pos.n : nan;
    ch.avggt = t.ngt > 0 ? t.sumgt / t.ngt : nan;
    ch.sd = std::sqrt(t.all.m2 / n);
    ch.sdpos = t.pos.n > 0 ? std::sqrt(t.pos.m2 / t.pos.n) : nan;
    ch.rms = std::sqrt(t.sumx2 / n);
    ch.rmsA = weighted ? std::sqrt(t.sumA2 / n) : 0.0;
    ch.rmsC = weighted ? std::sqrt(t.sumC2 / n) : 0.0;
    // A non-finite sample makes every sum-based value unknown rather than
    // some arbitrary number.
    if (!std::isfinite(t.sumx2 + t.sum + t.all.m2)) {
        ch.integral = ch.avg = ch.sd = ch.rms = nan;
        if (!std::isfinite(t.sumpos + t.pos.m2)) ch.avgpos = ch.sdpos = nan;
        if (!std::isfinite(t.sumgt)) ch.avggt = nan;
        if (weighted) ch.rmsA = ch.rmsC = nan;
    }
}

void run_measurement_pass(tdocument& doc, tweightingfilters& filters,
                          const std::function<void(const std::string&)>& status) {
    const bool weighted = doc.showmeasurement[28] || doc.showmeasurement[29];
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    for (int i = 0; i < doc.totnchans(); ++i) {
        if (!doc.is_channel_selected(i)) continue;
        if (status) status("Calculating measurements for channel " + std::to_string(i));
        measure_channel(doc.channel(i), L, R, weighted, doc.measurementthreshold, filters);
        if (status) status("Done ");
    }
}

}  // namespace tessal
