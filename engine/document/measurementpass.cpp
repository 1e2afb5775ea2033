// The measurement pass. The samples of the selection are read once, in
// blocks: inside a block the weighting chain runs with its state and
// coefficients in locals, and the sums are taken about the block's first
// sample (and its first positive sample) so that the spread is not lost
// under a large offset; the blocks are then combined exactly (pairwise
// update of count, mean and squared deviations).
#include "document/measurementpass.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/tchannel.h"
#include "core/tdocument.h"

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

// A second-order section in direct form II, as the filter sections compute
// it, with gain and b0 folded into k.
struct tbiquad {
    double a0, a1, a2, k, b1, b2, w1, w2;
    double step(double x) {
        const double w = a0 * x + a1 * w1 + a2 * w2;
        const double y = k * (w + b1 * w1 + b2 * w2);
        w2 = w1;
        w1 = w;
        return y;
    }
};

struct tfirstorder {
    double a0, a1, k, b1, w1;
    double step(double x) {
        const double w = a0 * x + a1 * w1;
        const double y = k * (w + b1 * w1);
        w1 = w;
        return y;
    }
};

// The whole weighting chain by value, so the compiler keeps it in registers.
struct tchain {
    tbiquad hp, lp;
    tfirstorder s2, s3;
    double gA, gC;

    template <bool uselp>
    void step(double x, double& A, double& C) {
        double c = hp.step(x);
        if constexpr (uselp) c = lp.step(c);
        const double a = s3.step(s2.step(c));
        A = a * gA;
        C = c * gC;
    }
};

template <class S>
tbiquad biquad_of(const S& s) {
    return {s.Geta0(), s.Geta1(), s.Geta2(), s.GetGain() * s.Getb0(), s.Getb1(), s.Getb2(),
            0.0, 0.0};
}

tfirstorder firstorder_of(const TRealFilterSection& s) {
    return {s.Geta0(), s.Geta1(), s.GetGain() * s.Getb0(), s.Getb1(), 0.0};
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

// Mode 0: no weighting; 1: weighting without the low-pass; 2: with it.
template <int mode>
void filter_only(const float* x, long long count, tchain& chain) {
    tchain c = chain;
    double A, C;
    for (long long i = 0; i < count; ++i) c.step<mode == 2>(x[i], A, C);
    chain = c;
}

template <int mode>
void measure_block(const float* x, long long count, double threshold, tchain& chain,
                   tsums& t) {
    const double K = x[0];
    double Kp = 0;
    for (long long i = 0; i < count; ++i)
        if (x[i] > 0) {
            Kp = x[i];
            break;
        }
    tchain c = chain;
    double sd = 0, sd2 = 0, sp = 0, sp2 = 0, np = 0, sx2 = 0, sa2 = 0, sc2 = 0, sgt = 0,
           ngt = 0;
    double ymin = t.ymin, ymax = t.ymax;
    for (long long i = 0; i < count; ++i) {
        const double v = x[i];
        if constexpr (mode > 0) {
            double A, C;
            c.step<mode == 2>(v, A, C);
            sa2 += A * A;
            sc2 += C * C;
        }
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
    chain = c;
    const double n = static_cast<double>(count);
    t.all.add(n, K + sd / n, std::max(0.0, sd2 - sd * sd / n));
    t.sum += n * K + sd;
    if (np > 0) {
        t.pos.add(np, Kp + sp / np, std::max(0.0, sp2 - sp * sp / np));
        t.sumpos += np * Kp + sp;
    }
    t.sumx2 += sx2;
    t.sumA2 += sa2;
    t.sumC2 += sc2;
    t.sumgt += sgt;
    t.ngt += ngt;
    t.ymin = ymin;
    t.ymax = ymax;
}

template <int mode>
void measure_span(const float* sig, long long lead, long long s, long long e, double threshold,
                  tchain& chain, tsums& t) {
    if constexpr (mode > 0) {
        // Samples before the start of the signal are zeros, which leave the
        // cleared filters at rest: only the real lead-in samples are run.
        for (long long i = lead; i < s; i += blocksize)
            filter_only<mode>(sig + i, std::min(blocksize, s - i), chain);
    }
    for (long long i = s; i <= e; i += blocksize)
        measure_block<mode>(sig + i, std::min(blocksize, e + 1 - i), threshold, chain, t);
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
        chain.hp = biquad_of(filters.weightfilter1);
        chain.lp = biquad_of(filters.weightfilter4);
        chain.s2 = firstorder_of(filters.weightfilter2);
        chain.s3 = firstorder_of(filters.weightfilter3);
        chain.gA = filters.gainA();
        chain.gC = filters.gainC();
        mode = filters.uselowpass() ? 2 : 1;
    }
    const float* sig = ch.sig.data();
    switch (mode) {
        case 0: measure_span<0>(sig, lead, s, e, threshold, chain, t); break;
        case 1: measure_span<1>(sig, lead, s, e, threshold, chain, t); break;
        default: measure_span<2>(sig, lead, s, e, threshold, chain, t); break;
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
