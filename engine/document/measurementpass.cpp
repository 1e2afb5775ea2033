// The measurement pass. The samples of the selection are read once, in
// blocks of 4096: each block's plain sums are taken in four lanes, then the
// weighting chain runs over the same block (now in the first-level cache)
// with its state and coefficients in locals. The plain sums are taken about
// the block's first sample (and its first positive sample) so that the
// spread is not lost under a large offset; the blocks are then combined
// exactly (pairwise update of count, mean and squared deviations). On GCC
// for x86-64 Linux the block loops are also compiled for AVX2 and the best
// version is picked when the program loads.
#include "engine/document/measurementpass.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"

namespace tessal {

void tweightingfilters::set_rate(double fs) {
    weightfilter1.SetSampFreq(fs);
    weightfilter1.SetF0(20.6);
    weightfilter1.SetQ(0.5);
    for (TRealFilterSection* s : {&weightfilter2, &weightfilter3}) {
        s->SetSampFreq(fs);
        s->SetUnityGainAtHF(true);
        s->SetFZero(0.01);
    }
    weightfilter2.SetFPole(107.7);
    weightfilter3.SetFPole(737.9);
    weightfilter4.SetSampFreq(fs);
    weightfilter4.SetF0(12194.2);
    weightfilter4.SetQ(0.5);
    weightfilter1.reset();
    weightfilter2.reset();
    weightfilter3.reset();
    weightfilter4.reset();
    // The bilinear low-pass has no meaning with its corner at or above half
    // the rate; the gains then normalise the chain without it.
    fuselowpass = !(2.0 * weightfilter4.GetF0() >= fs);
    if (fuselowpass) {
        fgainA = 1.2589046226564824;
        fgainC = 1.0071522301259535;
    } else {
        fgainA = 1.2504950225227347;
        fgainC = 1.0004243600050269;
    }
}

namespace {

constexpr long long blocksize = 4096;
const double nan = std::numeric_limits<double>::quiet_NaN();

// A second-order section in direct form II with its input scale a0 and its
// output scale gain*b0 taken out (the chain applies them once, at the end):
// w = x + a1 w1 + a2 w2, y = w + b1 w1 + b2 w2. The older state is added
// first so that only one multiply and one add wait for the previous sample.
struct tbiquad {
    double a1, a2, b1, b2, w1, w2;
    double step(double x) {
        const double w = (x + a2 * w2) + a1 * w1;
        const double y = (w + b2 * w2) + b1 * w1;
        w2 = w1;
        w1 = w;
        return y;
    }
};

struct tfirstorder {
    double a1, b1, w1;
    double step(double x) {
        const double w = x + a1 * w1;
        const double y = w + b1 * w1;
        w1 = w;
        return y;
    }
};

// The whole weighting chain by value, so the compiler keeps it in registers.
// step() gives the C- and A-weighted samples up to the constant factors
// scaleC and scaleA, which are applied to the sums of squares.
struct tchain {
    tbiquad hp, lp;
    tfirstorder s2, s3;
    double scaleC, scaleA;

    template <bool uselp>
    void step(double x, double& a, double& c) {
        c = hp.step(x);
        if constexpr (uselp) c = lp.step(c);
        a = s3.step(s2.step(c));
    }
};

template <class S>
tbiquad biquad_of(const S& s, double& scale) {
    scale *= s.Geta0() * s.GetGain() * s.Getb0();
    return {s.Geta1(), s.Geta2(), s.Getb1(), s.Getb2(), 0.0, 0.0};
}

tfirstorder firstorder_of(const TRealFilterSection& s, double& scale) {
    scale *= s.Geta0() * s.GetGain() * s.Getb0();
    return {s.Geta1(), s.Getb1(), 0.0};
}

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

#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__clang__)
#define TESSAL_MEASURE_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TESSAL_MEASURE_CLONES
#endif

#if defined(__GNUC__)
#define TESSAL_INLINE [[gnu::always_inline]] inline
typedef double vec4 __attribute__((vector_size(32)));
typedef float fvec4 __attribute__((vector_size(16)));

TESSAL_INLINE double hsum(vec4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }
#else
#define TESSAL_INLINE inline
#endif

// The weighted sums of a block: the chain runs sample by sample (its state
// carries from one sample to the next), two accumulators each so the adds
// overlap.
template <bool uselp>
TESSAL_INLINE void weight_block(const float* x, long long count, tchain& chain, double& sumA2,
                                double& sumC2) {
    tchain c = chain;
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
TESSAL_INLINE void filter_only(const float* x, long long count, tchain& chain) {
    tchain c = chain;
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
#if defined(__GNUC__)
    const vec4 zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};
    const vec4 Kv = zero + K, Kpv = zero + Kp, thr = zero + threshold;
    vec4 vsx2 = zero, vsd = zero, vsd2 = zero, vsp = zero, vsp2 = zero, vnp = zero,
         vsgt = zero, vngt = zero, vmin = zero + ymin, vmax = zero + ymax;
    for (; i + 4 <= count; i += 4) {
        fvec4 f;
        std::memcpy(&f, x + i, sizeof f);
        const vec4 v = __builtin_convertvector(f, vec4);
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

// Mode 0: no weighting; 1: weighting without the low-pass; 2: with it. Each
// block is read from memory once and then sits in the first-level cache
// for the second loop over it.
template <int mode>
TESSAL_INLINE void measure_span_body(const float* sig, long long lead, long long s, long long e,
                                     double threshold, tchain& chain, tsums& t) {
    if constexpr (mode > 0) {
        // Samples before the start of the signal are zeros, which leave the
        // cleared filters at rest: only the real lead-in samples are run.
        for (long long i = lead; i < s; i += blocksize)
            filter_only<mode == 2>(sig + i, std::min(blocksize, s - i), chain);
    }
    for (long long i = s; i <= e; i += blocksize) {
        const long long count = std::min(blocksize, e + 1 - i);
        stats_block(sig + i, count, threshold, t);
        if constexpr (mode > 0) weight_block<mode == 2>(sig + i, count, chain, t.sumA2, t.sumC2);
    }
}

TESSAL_MEASURE_CLONES
void measure_span_plain(const float* sig, long long lead, long long s, long long e,
                        double threshold, tchain& chain, tsums& t) {
    measure_span_body<0>(sig, lead, s, e, threshold, chain, t);
}

TESSAL_MEASURE_CLONES
void measure_span_nolp(const float* sig, long long lead, long long s, long long e,
                       double threshold, tchain& chain, tsums& t) {
    measure_span_body<1>(sig, lead, s, e, threshold, chain, t);
}

TESSAL_MEASURE_CLONES
void measure_span_lp(const float* sig, long long lead, long long s, long long e,
                     double threshold, tchain& chain, tsums& t) {
    measure_span_body<2>(sig, lead, s, e, threshold, chain, t);
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
    const long long count = static_cast<long long>(ch.sig.size());
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
    tchain chain{};
    int mode = 0;
    if (weighted) {
        filters.set_rate(fs);
        mode = filters.uselowpass() ? 2 : 1;
        double scale = 1;
        chain.hp = biquad_of(filters.weightfilter1, scale);
        if (mode == 2) chain.lp = biquad_of(filters.weightfilter4, scale);
        chain.scaleC = scale * filters.gainC();
        chain.s2 = firstorder_of(filters.weightfilter2, scale);
        chain.s3 = firstorder_of(filters.weightfilter3, scale);
        chain.scaleA = scale * filters.gainA();
    }
    const float* sig = ch.sig.data();
    switch (mode) {
        case 0: measure_span_plain(sig, lead, s, e, threshold, chain, t); break;
        case 1: measure_span_nolp(sig, lead, s, e, threshold, chain, t); break;
        default: measure_span_lp(sig, lead, s, e, threshold, chain, t); break;
    }

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
    for (int i = 0; i < doc.totnchans(); ++i) doc.channel(i).histdirty = true;
    const bool weighted = doc.showmeasurement[28] || doc.showmeasurement[29];
    const double L = doc.theglobal.leftselcursor(), R = doc.theglobal.rightselcursor();
    for (int i = 0; i < doc.totnchans(); ++i) {
        if (!doc.is_channel_selected(i)) continue;
        if (status) status("Calculating measurements for channel " + std::to_string(i));
        measure_channel(doc.channel(i), L, R, weighted, doc.measurementthreshold, filters);
        if (status) status("Done ");
    }
}

void fix_hist(tchannel& ch, double L, double R) {
    if (!ch.histdirty) return;
    ch.histdirty = false;
    ch.hist.assign(65536, 0.0);
    const long long count = static_cast<long long>(ch.sig.size());
    const double fsd = ch.fsd();
    if (count == 0 || !(fsd > 0) || !(ch.sampfreq > 0)) return;
    const double xs = static_cast<double>(ch.xshift);
    long long s = clamp_index(std::round(L * ch.sampfreq - xs), count - 1);
    long long e = clamp_index(std::round(R * ch.sampfreq - xs), count - 1);
    if (e < s) std::swap(s, e);
    const double scale = 32767.0 / fsd;
    for (long long i = s; i <= e; ++i) {
        const double b = std::round(ch.sig[i] * scale);
        if (std::isnan(b)) continue;
        const int bin = static_cast<int>(std::clamp(b, -32768.0, 32767.0));
        ch.hist[bin + 32768] += 1.0;
    }
}

}  // namespace tessal
