// The vector helpers are inlined into functions built for each target.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "engine/process/f0step.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/dsp/simd.h"

#include "engine/core/tdocument.h"
#include "engine/dsp/tfiltersection.h"
#include "engine/process/stepsupport.h"

namespace tessal {

using namespace steps;

namespace {

const tnumberfield r_release{"Peak release", 0.001, 1000000, "Hz"};
const tnumberfield r_threshold{"Stability threshold", 0, 100000, ""};
const tnumberfield r_minf0{"Min F0", 1, 100000, "Hz"};
const tnumberfield r_maxf0{"Max F0", 1, 100000, "Hz"};
const tnumberfield r_window{"Stability window length", 0.1, 10000, "ms"};
const tnumberfield r_extractors{"# of extractors", 1, 16, ""};
const tnumberfield r_short{"Remove short detections", 0, 100000, "ms"};
const tnumberfield r_gap{"Remove short gaps", 0, 100000, "ms"};
const tnumberfield r_timestep{"Time step", 0.1, 1000, "ms"};
const tnumberfield r_voicing{"Voicing threshold", 0, 1, ""};
const tnumberfield r_silence{"Silence threshold", 0, 1, ""};
const tnumberfield r_octave{"Octave cost", 0, 1, ""};
const tnumberfield r_octavejump{"Octave-jump cost", 0, 10, ""};
const tnumberfield r_voicedunvoiced{"Voiced/unvoiced cost", 0, 1, ""};

constexpr int alg_ac = 4;

// The running period of a single tracker and the output it appends to:
// every sample up to an event gets the value of the cycle ending there.
struct ttracker {
    double fs;
    bool t0;
    tstoreappender* y;
    double P = 0, value = 0;
    std::size_t a = 0;

    void event(std::size_t j, double t) {
        P += t;
        value = P > 0 ? (t0 ? P / fs : fs / P) : 0.0;
        y->fill(static_cast<float>(value), j + 1 - a);
        a = j + 1;
        P = 1 - t;
    }
    void finish(std::size_t n) {
        if (a < n) y->fill(static_cast<float>(value), n - a);
    }
};

// The input high-pass of multiple peak picking.
struct thighpass {
    THPFilterSection hpfilter1, hpfilter2;
    thighpass(double fs, double minf0) {
        for (auto* h : {&hpfilter2, &hpfilter1}) {
            h->SetSampFreq(fs);
            h->SetQ(0.5);
            h->SetGain(1.0);
            h->reset();
        }
        hpfilter2.SetF0(minf0 / 1.5);
        hpfilter1.SetF0(minf0 / 2);
    }
    float operator()(float v) { return static_cast<float>(hpfilter1.filter(hpfilter2.filter(v))); }
};

// The high-passed signal computed again from the start, as a window that
// only moves forward: the post processing reads short stretches of it in
// order, so the whole high-passed signal is never held.
class thpwindow {
public:
    thpwindow(const tworksig& x, double fs, double minf0) : x_(x), hp_(fs, minf0) {}
    // Samples from..to of the high-passed signal (from never below an
    // earlier call's from; to <= the signal's length).
    const float* span(std::int64_t from, std::int64_t to) {
        drop(from);
        while (next_ < to) {
            const std::size_t m =
                static_cast<std::size_t>(std::min<std::int64_t>(block_samples, static_cast<std::int64_t>(x_.size()) - next_));
            x_.for_each_chunk(next_, next_ + static_cast<std::int64_t>(m),
                              [&](const float* p, std::size_t k, std::int64_t) {
                                  for (std::size_t i = 0; i < k; ++i) buf_.push_back(hp_(p[i]));
                              });
            next_ += static_cast<std::int64_t>(m);
            drop(from);
        }
        return buf_.data() + start_ + (from - base_);
    }

private:
    // Forgets the samples before `from`; the buffer is moved down only when
    // the forgotten part is most of it.
    void drop(std::int64_t from) {
        const auto k = std::min<std::int64_t>(from - base_, static_cast<std::int64_t>(buf_.size() - start_));
        if (k <= 0) return;
        base_ += k;
        start_ += static_cast<std::size_t>(k);
        if (start_ * 2 >= buf_.size()) {
            buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(start_));
            start_ = 0;
        }
    }
    const tworksig& x_;
    thighpass hp_;
    std::vector<float> buf_;
    std::size_t start_ = 0;             // buf_[start_] is sample base_
    std::int64_t base_ = 0, next_ = 0;  // next_: the next sample to filter
};

// The peak picker of the multiple algorithm: events with their periods in
// seconds, 0 outside minf0..maxf0.
struct tpicker {
    double d, fs, tmin, tmax;
    std::vector<tf0event>* events;
    double e = 0, eprev = 0, sprev = 0, P = 0;
    bool above = false;

    void sample(std::int64_t j, double s) {
        e *= d;
        if (s > e) {
            if (!above) {
                const double t =
                    std::clamp(1 - (s - e) / ((s - e) - (sprev - eprev)), 0.0, 1.0);
                P += t;
                const double T = P / fs;
                events->push_back({j, (T > tmax || T < tmin) ? 0.0 : T, false});
                P = 1 - t;
            } else {
                P += 1;
            }
            e = s;
            above = true;
        } else {
            above = false;
            P += 1;
        }
        eprev = e;
        sprev = s;
    }
};

// The coefficient of variation of the periods of ev[lo..hi): 1e10 when any
// of them is 0 or fewer than two are there.
double variation(const std::vector<tf0event>& ev, std::size_t lo, std::size_t hi) {
    if (hi < lo + 2) return 1e10;
    double s = 0, s2 = 0;
    for (std::size_t i = lo; i < hi; ++i) {
        const double T = ev[i].period;
        if (T == 0) return 1e10;
        s += T;
        s2 += T * T;
    }
    const double m = s / static_cast<double>(hi - lo);
    const double var = std::max(0.0, s2 / static_cast<double>(hi - lo) - m * m);
    return std::sqrt(var) / m;
}

TESSAL_TARGET_CLONES
double dot64(const float* a, const float* b, std::size_t w) {
    std::size_t i = 0;
    double s = 0;
#if defined(TESSAL_HAVE_VECTORS)
    simd::vec4 s0 = {0, 0, 0, 0}, s1 = {0, 0, 0, 0};
    for (; i + 8 <= w; i += 8) {
        s0 += simd::load_fvec4(a + i) * simd::load_fvec4(b + i);
        s1 += simd::load_fvec4(a + i + 4) * simd::load_fvec4(b + i + 4);
    }
    s = simd::hsum(s0 + s1);
#endif
    for (; i < w; ++i) s += static_cast<double>(a[i]) * b[i];
    return s;
}

}  // namespace

double f0_correlation(const float* x, std::size_t n, std::size_t w, std::size_t p, std::size_t q) {
    if (w == 0 || p + w > n || q + w > n) return 0;
    double sa = 0, sb = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < w; ++i) {
        const double a = x[p + i], b = x[q + i];
        sa += a, sb += b, saa += a * a, sbb += b * b;
    }
    if (saa == 0 || sbb == 0) return 0;
    const double W = static_cast<double>(w);
    const double r = (W * dot64(x + p, x + q, w) - sa * sb) /
                     std::sqrt((W * saa - sa * sa) * (W * sbb - sb * sb));
    return std::isfinite(r) ? r : 0.0;
}

std::vector<double> tf0::peakrel() const {
    std::vector<double> b;
    double f = minf0;
    for (int k = 0; k < nextractors; ++k, f *= 2) b.push_back(f);
    return b;
}

tsamplestore tf0::track(const tworksig& x, double fs, const std::shared_ptr<tblockcache>& cache) const {
    const std::size_t n = x.size();
    tstoreappender y(cache);
    ttracker tr{fs, extractt0, &y};
    const double sign = invpolarity ? -1.0 : 1.0;
    if (algorithm == 0) {
        const double d = std::exp(-2 * pi * peakrelease / fs);
        double e = 0, eprev = 0, sprev = 0;
        bool above = false;
        x.for_each_chunk(0, static_cast<std::int64_t>(n), [&](const float* p, std::size_t m, std::int64_t pos) {
            for (std::size_t i = 0; i < m; ++i) {
                const std::size_t j = static_cast<std::size_t>(pos) + i;
                const double s = sign * p[i];
                e *= d;
                if (s > e) {
                    if (!above)
                        tr.event(j, std::clamp(1 - (s - e) / ((s - e) - (sprev - eprev)), 0.0, 1.0));
                    else
                        tr.P += 1;
                    e = s;
                    above = true;
                } else {
                    above = false;
                    tr.P += 1;
                }
                eprev = e;
                sprev = s;
            }
        });
    } else {
        bool negative = false;
        double sprev = 0;
        x.for_each_chunk(0, static_cast<std::int64_t>(n), [&](const float* p, std::size_t m, std::int64_t pos) {
            for (std::size_t i = 0; i < m; ++i) {
                const std::size_t j = static_cast<std::size_t>(pos) + i;
                const double s = sign * p[i];
                if (negative && s > 0)
                    tr.event(j, j == 0 ? 0.0 : std::clamp(1 - std::fabs(s) / std::fabs(s - sprev), 0.0, 1.0));
                else
                    tr.P += 1;
                negative = s < 0;
                sprev = s;
            }
        });
    }
    tr.finish(n);
    return y.take();
}

tsamplestore tf0::multi(const tworksig& x, double fs, const std::shared_ptr<tblockcache>& cache,
                        const std::function<void(double)>& progress) const {
    auto report = [&](double f) {
        if (progress) progress(f);
    };
    const std::size_t n = x.size();

    // The detectors, positive polarity first, all in one pass over the
    // high-passed input.
    const std::vector<double> bands = peakrel();
    const std::size_t ndet = 2 * bands.size();
    std::vector<std::vector<tf0event>> events(ndet);
    const double tmin = 1 / maxf0, tmax = 1 / minf0;
    std::vector<std::array<TLPFilterSection, 2>> lps(ndet);
    std::vector<tpicker> pickers;
    std::vector<double> signs(ndet);
    for (std::size_t k = 0; k < ndet; ++k) {
        const double b = bands[k % bands.size()];
        signs[k] = k < bands.size() ? 1.0 : -1.0;
        for (auto& l : lps[k]) {
            l.SetSampFreq(fs);
            l.SetQ(0.5);
            l.SetF0(b);
            l.SetGain(1.0);
            l.reset();
        }
        events[k].reserve(static_cast<std::size_t>(static_cast<double>(n) / fs * b * 1.5) + 16);
        pickers.push_back(tpicker{std::exp(-2 * pi * b / fs), fs, tmin, tmax, &events[k]});
    }
    {
        thighpass hp(fs, minf0);
        x.for_each_chunk(0, static_cast<std::int64_t>(n), [&](const float* p, std::size_t m, std::int64_t pos) {
            for (std::size_t i = 0; i < m; ++i) {
                const float v = hp(p[i]);
                const std::int64_t j = pos + static_cast<std::int64_t>(i);
                for (std::size_t k = 0; k < ndet; ++k)
                    pickers[k].sample(j, lps[k][1].filter(lps[k][0].filter(signs[k] * v)));
            }
            report(0.5 * static_cast<double>(pos + static_cast<std::int64_t>(m)) / static_cast<double>(n));
        });
    }

    // Follow the steadiest detector; keep its events while it stays chosen.
    // The stability window reaches stdevwintime either side of the sample
    // or event it judges.
    const double W = stdevwintime * fs;
    std::vector<tf0event> merged;
    {
        std::vector<std::size_t> lo(ndet, 0), hi(ndet, 0), at(ndet, 0);
        std::vector<double> var(ndet, 1e10);
        std::size_t prev = ndet;
        for (std::size_t p = 0; p < n; ++p) {
            const double dp = static_cast<double>(p);
            std::size_t best = 0;
            double bestvar = 0;
            for (std::size_t k = 0; k < ndet; ++k) {
                const auto& ev = events[k];
                bool moved = false;
                while (hi[k] < ev.size() && static_cast<double>(ev[hi[k]].pos) <= dp + W) ++hi[k], moved = true;
                while (lo[k] < hi[k] && static_cast<double>(ev[lo[k]].pos) < dp - W) ++lo[k], moved = true;
                if (moved) var[k] = variation(ev, lo[k], hi[k]);
                if (k == 0 || var[k] < bestvar) best = k, bestvar = var[k];
            }
            for (std::size_t k = 0; k < ndet; ++k)
                while (at[k] < events[k].size() && events[k][at[k]].pos < static_cast<std::int64_t>(p)) ++at[k];
            if (best == prev && at[best] < events[best].size() &&
                events[best][at[best]].pos == static_cast<std::int64_t>(p))
                merged.push_back(events[best][at[best]]);
            prev = best;
            if ((p & 0xfffff) == 0) report(0.5 + 0.1 * dp / n);
        }
    }
    events.clear();
    events.shrink_to_fit();

    // Stable merged events are valid.
    const double limit = std::pow(2.0, std::fabs(stdevthreshold) / 1200) - 1;
    {
        std::size_t lo = 0, hi = 0;
        for (std::size_t i = 0; i < merged.size(); ++i) {
            const double c = static_cast<double>(merged[i].pos);
            while (hi < merged.size() && static_cast<double>(merged[hi].pos) <= c + W) ++hi;
            while (lo < hi && static_cast<double>(merged[lo].pos) < c - W) ++lo;
            merged[i].valid = merged[i].period != 0 && variation(merged, lo, hi) <= limit;
        }
    }
    // Short detections, then short gaps.
    auto runs = [&](bool valid, double span) {
        for (std::size_t i = 0; i < merged.size();) {
            if (merged[i].valid != valid) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j + 1 < merged.size() && merged[j + 1].valid == valid) ++j;
            const bool inner = valid || (i > 0 && j + 1 < merged.size());
            if (inner && static_cast<double>(merged[j].pos - merged[i].pos) < span)
                for (std::size_t k = i; k <= j; ++k) merged[k].valid = !valid;
            i = j + 1;
        }
    };
    runs(true, removeshortlength * fs);
    runs(false, removeshortgap * fs);
    report(0.65);

    // The periods, sample by sample or refined every 100th sample.
    tstoreappender y(cache);
    auto out = [&](double T) -> float {
        if (extractt0) return static_cast<float>(T);
        if (!(T > 0)) return 0.0f;
        const double F = 1 / T;
        return (F < minf0 || F > maxf0) ? 0.0f : static_cast<float>(F);
    };
    if (merged.empty()) {
        y.fill(0.0f, postprocess ? n / 100 : n);
        return y.take();
    }
    if (!postprocess) {
        std::size_t e = 0;
        for (std::size_t q = 0; q < n; ++q) {
            while (e + 1 < merged.size() && merged[e].pos < static_cast<std::int64_t>(q)) ++e;
            y.push(merged[e].valid ? out(merged[e].period) : 0.0f);
        }
        return y.take();
    }
    const std::size_t nout = n / 100;
    thpwindow hpx(x, fs, minf0);
    const std::int64_t reach = static_cast<std::int64_t>(0.05 * fs);
    std::size_t e = 0, lo = 0, hi = 0;
    // The refined value of output sample q; 0 where there is none.
    auto refine = [&](std::size_t q) -> float {
        const std::size_t c = 100 * q;
        while (e + 1 < merged.size() && merged[e].pos < static_cast<std::int64_t>(c)) ++e;
        const tf0event& ev = merged[e];
        if (!ev.valid) return 0.0f;
        while (hi < merged.size() && merged[hi].pos <= ev.pos + reach) ++hi;
        while (lo < hi && merged[lo].pos < ev.pos - reach) ++lo;
        double Tlo = 1e300, Thi = 0;
        for (std::size_t k = lo; k < hi; ++k)
            if (merged[k].valid) Tlo = std::min(Tlo, merged[k].period), Thi = std::max(Thi, merged[k].period);
        Thi = std::min(Thi, tmax);
        Tlo = std::max(Tlo, tmin);
        const double w = std::nearbyint(1.5 * ev.period * fs);
        const double l0 = std::nearbyint(0.8 * fs * Tlo), l1 = std::nearbyint(1.2 * fs * Thi);
        if (!(w > 0) || l1 < l0 || static_cast<double>(ev.pos) + w + l1 > static_cast<double>(n - 1) ||
            static_cast<double>(c) + w + l1 + 1 > static_cast<double>(n))
            return 0.0f;
        const std::size_t W0 = static_cast<std::size_t>(w);
        const std::size_t L0 = static_cast<std::size_t>(std::max(0.0, l0)), L1 = static_cast<std::size_t>(l1);
        // The high-passed samples c..c + L1 + W0, as xc[0..].
        const float* xc = hpx.span(static_cast<std::int64_t>(c), static_cast<std::int64_t>(c + L1 + W0));
        // The sums of the fixed window once, those of the moving one slid
        // along the lags.
        double sa = 0, saa = 0, sb = 0, sbb = 0;
        for (std::size_t i = 0; i < W0; ++i) {
            const double a = xc[i], b = xc[L0 + i];
            sa += a, saa += a * a, sb += b, sbb += b * b;
        }
        const double Wd = w;
        const double da = Wd * saa - sa * sa;
        std::vector<double> r;
        r.reserve(L1 - L0 + 1);
        for (std::size_t L = L0; L <= L1; ++L) {
            if (L > L0) {
                const double out1 = xc[L - 1], in1 = xc[L - 1 + W0];
                sb += in1 - out1;
                sbb += in1 * in1 - out1 * out1;
            }
            const double db = Wd * sbb - sb * sb;
            double rr = 0;
            if (saa > 0 && sbb > 0 && da > 0 && db > 0) {
                rr = (Wd * dot64(xc, xc + L, W0) - sa * sb) / std::sqrt(da * db);
                if (!std::isfinite(rr)) rr = 0;
            }
            r.push_back(rr);
        }
        const std::size_t best = static_cast<std::size_t>(std::max_element(r.begin(), r.end()) - r.begin());
        if (!(r[best] >= corrthres)) return 0.0f;
        double delta = 0;
        if (best > 0 && best + 1 < r.size()) {
            const double rm = r[best - 1], r0 = r[best], rp = r[best + 1];
            const double den = 2 * (rp + rm - 2 * r0);
            if (den != 0) delta = std::clamp((rm - rp) / den, -1.0, 1.0);
        }
        return out((static_cast<double>(L0 + best) + delta) / fs);
    };
    for (std::size_t q = 0; q < nout; ++q) {
        y.push(refine(q));
        if ((q & 0xfff) == 0) report(0.65 + 0.35 * static_cast<double>(q) / nout);
    }
    return y.take();
}

tf0acsettings tf0::ac_settings() const {
    tf0acsettings s;
    s.minf0 = minf0;
    s.maxf0 = maxf0;
    s.timestep = timestep;
    s.voicingthreshold = voicingthreshold;
    s.silencethreshold = silencethreshold;
    s.octavecost = octavecost;
    s.octavejumpcost = octavejumpcost;
    s.voicedunvoicedcost = voicedunvoicedcost;
    return s;
}

tf0acframes tf0::ac_frames(const tworksig& x, double fs, const std::function<void(double)>& progress) const {
    return f0_ac_frames(x, fs, ac_settings(), progress);
}

// Sample j takes the contour at the middle of its interval, (j + 0.5) / fs.
tsamplestore tf0::ac(const tworksig& x, double fs, const std::shared_ptr<tblockcache>& cache,
                     const std::function<void(double)>& progress) const {
    const tf0acframes fr = ac_frames(x, fs, progress);
    tstoreappender y(cache);
    const std::size_t n = x.size();
    for (std::size_t j = 0; j < n; ++j) {
        const double f = fr.at((static_cast<double>(j) + 0.5) / fs);
        y.push(static_cast<float>(extractt0 ? (f > 0 ? 1 / f : 0.0) : f));
    }
    return y.take();
}

void tf0::check(const tprocstep& step) const {
    check_param(step, r_release, peakrelease);
    if (algorithm < 0 || algorithm > alg_ac) steps::step_error(step, "unknown algorithm " + std::to_string(algorithm));
    if (algorithm == alg_ac) {
        check_param(step, r_minf0, minf0);
        check_param(step, r_maxf0, maxf0);
        if (!(minf0 < maxf0)) steps::step_error(step, "Min F0 must be below Max F0");
        check_param(step, r_timestep, timestep * 1000);
        check_param(step, r_voicing, voicingthreshold);
        check_param(step, r_silence, silencethreshold);
        check_param(step, r_octave, octavecost);
        check_param(step, r_octavejump, octavejumpcost);
        check_param(step, r_voicedunvoiced, voicedunvoicedcost);
    } else if (algorithm >= 2) {
        check_param(step, r_minf0, minf0);
        check_param(step, r_maxf0, maxf0);
        if (!(minf0 < maxf0)) steps::step_error(step, "Min F0 must be below Max F0");
        check_param(step, r_threshold, std::fabs(stdevthreshold));
        check_param(step, r_window, stdevwintime * 1000);
        check_whole(step, r_extractors, nextractors);
        check_param(step, r_short, removeshortlength * 1000);
        check_param(step, r_gap, removeshortgap * 1000);
    }
}

// Each signal is read forward through its pieces and its contour written
// to a store in the document's block cache: neither is held as an array.
void tf0::run_process(tprocenv& env) {
    check(*this);
    props.resize(inarr.size());
    outarr.assign(inarr.size(), tworksig());
    for (std::size_t i = 0; i < inarr.size(); ++i) {
        tchannelproperties& p = props[i];
        const double fs = p.sampfreq;
        if (algorithm == alg_ac) {
            if (!(maxf0 < fs / 2))
                steps::step_error(*this, "Max F0 (" + num(maxf0) + " Hz) must be below half the sampling rate (" +
                                             num(fs / 2) + " Hz)");
        } else if (algorithm >= 2) {
            // The highest band must stay below half the rate.
            const std::vector<double> b = peakrel();
            if (!(b.back() < fs / 2))
                steps::step_error(*this, "the band of the highest extractor (" + num(b.back()) +
                                             " Hz) must be below half the sampling rate (" + num(fs / 2) + " Hz)");
        }
        const tworksig& x = inarr[i];
        auto report = [&](double f) { env.progress((i + f) / inarr.size()); };
        if (algorithm == alg_ac) {
            outarr[i] = tworksig(ac(x, fs, env.doc.block_cache(), report));
            p.name += extractt0 ? " ac-T0" : " ac-F0";
        } else if (algorithm < 2) {
            outarr[i] = tworksig(track(x, fs, env.doc.block_cache()));
            p.name += std::string(extractt0 ? " T0" : " F0") + (algorithm == 0 ? " peak" : " zc") +
                      (invpolarity ? " inv" : "");
            report(1);
        } else {
            outarr[i] = tworksig(multi(x, fs, env.doc.block_cache(), report));
            p.name += extractt0 ? " multi-T0" : " multi-F0";
            if (postprocess) {
                p.sampfreq = fs / 100;
                p.xshift = steps::checked_xshift(*this, p.xshift / 100.0,
                                                 "Post process of a signal shifted by " +
                                                     std::to_string(p.xshift) + " samples");
            }
        }
        inarr[i] = tworksig();
        p.yunit = extractt0 ? "s" : "Hz";
        steps::float_format(p);
    }
    inarr.clear();
}

std::string tf0::get_procname() const {
    const std::string word = extractt0 ? "T0 " : "F0 ";
    if (algorithm == 0) return word + "peak" + (invpolarity ? " inv" : "");
    if (algorithm == 1) return word + "zc" + (invpolarity ? " inv" : "");
    if (algorithm == alg_ac) return word + "ac " + num(minf0) + " - " + num(maxf0) + " Hz";
    return word + "multi " + num(minf0) + " - " + num(maxf0) + " Hz" + (algorithm == 3 ? " (old)" : "");
}

namespace {

void f0_refresh(tstepform& f, const std::string&) {
    const int alg = f.index("algorithm");
    const bool multi = alg == 2 || alg == 3, ac = alg == alg_ac;
    for (const char* k : {"threshold", "window", "extractors", "short", "gap", "postprocess"})
        f.field(k).enabled = multi;
    for (const char* k : {"minf0", "maxf0"}) f.field(k).enabled = multi || ac;
    for (const char* k : {"timestep", "voicing", "silence", "octave", "octavejump", "voicedunvoiced"})
        f.field(k).enabled = ac;
    f.field("release").enabled = alg == 0;
    f.field("invpolarity").enabled = alg == 0 || alg == 1;
}

}  // namespace

std::unique_ptr<tstepform> tf0::settings_form() const {
    auto f = tprocstep::settings_form();
    f->onchange = f0_refresh;
    f->changed("algorithm");
    return f;
}

// An algorithm a file held that is none of the five shows no choice, and
// the dialog refuses it until one is chosen (after the numbers' checks).
void tf0::apply_form(const tstepform& form) {
    const int alg = form.index("algorithm");
    if (alg < 0 || alg > alg_ac) {
        clone()->tprocstep::apply_form(form);
        throw EProcessError("Choose an algorithm");
    }
    tprocstep::apply_form(form);
}

// Every number is read and checked whatever the algorithm, as the dialog
// has always done.
const tparamlist* tf0::params() const {
    // The path tracker's numbers are written only for that algorithm, so
    // the other algorithms' sections stay as they were.
    const auto ac_only = [](const tf0& s) { return s.algorithm == alg_ac; };
    static const tparamlist list =
        tparams<tf0>("F0")
            .choice("Algorithm", "algorithm", "Algorithm", &tf0::algorithm,
                    {"Peak picking", "Zero crossings", "Multiple peak picking",
                     "Multiple peak picking (old)", "Autocorrelation with path tracking"},
                    false)
            .stored_range(-1, 1000)
            .real("PeakRelease", "release", &tf0::peakrelease, r_release)
            .read_when_disabled()
            .flag("ExtractT0", "extract", "Extract...", &tf0::extractt0)
            .as_choice("F0 (fundamental frequency) [Hz]", "T0 (period time) [ms]")
            .flag("InvPolarity", "invpolarity", "Reverse polarity", &tf0::invpolarity)
            .real("StDevThreshold", "threshold", &tf0::stdevthreshold, r_threshold)
            .caption("Stability threshold [ST]")
            .read_when_disabled()
            .real("StDevWinTime", "window", &tf0::stdevwintime, r_window)
            .shown_times(1000)
            .read_when_disabled()
            .real("MinF0", "minf0", &tf0::minf0, r_minf0)
            .read_when_disabled()
            .real("MaxF0", "maxf0", &tf0::maxf0, r_maxf0)
            .read_when_disabled()
            .whole("nExtractors", "extractors", &tf0::nextractors, r_extractors)
            .stored_as_real()
            .read_when_disabled()
            .real("RemoveShortLength", "short", &tf0::removeshortlength, r_short)
            .shown_times(1000)
            .read_when_disabled()
            .real("RemoveShortGap", "gap", &tf0::removeshortgap, r_gap)
            .shown_times(1000)
            .read_when_disabled()
            .flag("PostProcess", "postprocess", "Post process", &tf0::postprocess)
            .real("TimeStep", "timestep", &tf0::timestep, r_timestep)
            .shown_times(1000)
            .saved_if(ac_only)
            .real("VoicingThreshold", "voicing", &tf0::voicingthreshold, r_voicing)
            .saved_if(ac_only)
            .real("SilenceThreshold", "silence", &tf0::silencethreshold, r_silence)
            .saved_if(ac_only)
            .real("OctaveCost", "octave", &tf0::octavecost, r_octave)
            .saved_if(ac_only)
            .real("OctaveJumpCost", "octavejump", &tf0::octavejumpcost, r_octavejump)
            .saved_if(ac_only)
            .real("VoicedUnvoicedCost", "voicedunvoiced", &tf0::voicedunvoicedcost, r_voicedunvoiced)
            .saved_if(ac_only)
            .form_order({"algorithm", "release", "invpolarity", "extract",
                         "group:Multiple peak pickers", "threshold", "minf0", "maxf0", "window",
                         "extractors", "short", "gap", "postprocess", "endgroup",
                         "group:Autocorrelation with path tracking", "timestep", "voicing", "silence",
                         "octave", "octavejump", "voicedunvoiced", "endgroup"});
    return &list;
}

void tf0::check_applied() const {
    if (!(minf0 < maxf0)) throw EProcessError("Min F0 must be below Max F0");
}

}  // namespace tessal
