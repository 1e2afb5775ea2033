#include "engine/tools/closedphase.h"

#include <algorithm>
#include <cmath>

#include "engine/jobs/jobline.h"
#include "engine/tools/iaif.h"

namespace tessal {

namespace {

constexpr double pi = 3.14159265358979323846;

// Calls each(from, to) for every stretch [from, to) of samples at or after
// `first` (and before n) in a closed phase.
template <class F>
void for_each_closed(const std::vector<std::size_t>& gcis, double fs, const tclosedphase& cp, std::size_t first,
                     std::size_t n, F&& each) {
    const double longest = fs / std::max(1e-3, cp.f0min);
    for (std::size_t k = 0; k + 1 < gcis.size(); ++k) {
        const double T = static_cast<double>(gcis[k + 1] - gcis[k]);
        if (T > longest) continue;
        const std::size_t from = std::max(first, gcis[k] + static_cast<std::size_t>(cp.from * T));
        const std::size_t to = std::min(n, gcis[k] + static_cast<std::size_t>(cp.to * T));
        if (from < to) each(from, to);
    }
}

// The sums of y(i - a) y(i - b), a, b = 0 ... 2, over the samples added.
struct tlagsums {
    double m[3][3] = {};
    double count = 0;
    // Samples [from, to), from >= 2 (the sums kept in registers: a long
    // span passes here once per formant judged).
    void add(const std::vector<double>& y, std::size_t from, std::size_t to) {
        double s00 = 0, s10 = 0, s11 = 0, s20 = 0, s21 = 0, s22 = 0;
        const double* p = y.data();
        for (std::size_t i = from; i < to; ++i) {
            const double a = p[i], b = p[i - 1], c = p[i - 2];
            s00 += a * a;
            s10 += b * a;
            s11 += b * b;
            s20 += c * a;
            s21 += c * b;
            s22 += c * c;
        }
        m[0][0] += s00, m[1][0] += s10, m[1][1] += s11, m[2][0] += s20, m[2][1] += s21, m[2][2] += s22;
        count += static_cast<double>(to - from);
    }
    // The mean square of y through 1 + c1/z + c2/z^2.
    double mean_square(double c1, double c2) const {
        const double c[3] = {1.0, c1, c2};
        double s = 0;
        for (int a = 0; a < 3; ++a) {
            s += c[a] * c[a] * m[a][a];
            for (int b = 0; b < a; ++b) s += 2.0 * c[a] * c[b] * m[a][b];
        }
        return count > 0 ? s / count : 0.0;
    }
};

// The zero pair of formant f: 1 + c1/z + c2/z^2 = 1 - 2 r cos(2 pi f / fs)/z
// + r^2/z^2, r = exp(-pi B / fs).
void zero_pair(const tformant& f, double fs, double& c1, double& c2) {
    const double r = std::exp(-pi * f.bw / fs);
    c1 = -2.0 * r * std::cos(2.0 * pi * f.f0 / fs);
    c2 = r * r;
}

// y through the all-pole 1 / (1 + c1/z + c2/z^2) from rest, in place.
void divide_pair(std::vector<double>& y, double c1, double c2) {
    double y1 = 0, y2 = 0;
    for (double& v : y) {
        v -= c1 * y1 + c2 * y2;
        y2 = y1;
        y1 = v;
    }
}

// y through 1 + c1/z + c2/z^2 (zeros before the start), in place.
void multiply_pair(std::vector<double>& y, double c1, double c2) {
    for (std::size_t i = y.size(); i-- > 2;) y[i] += c1 * y[i - 1] + c2 * y[i - 2];
    if (y.size() > 1) y[1] += c1 * y[0];
}

}  // namespace

std::vector<double> cascade_polynomial(const std::vector<tformant>& formants, double fs) {
    std::vector<double> a{1.0};
    for (const tformant& f : formants) {
        double c1 = 0, c2 = 0;
        zero_pair(f, fs, c1, c2);
        std::vector<double> b(a.size() + 2, 0.0);
        for (std::size_t k = 0; k < a.size(); ++k) {
            b[k] += a[k];
            b[k + 1] += c1 * a[k];
            b[k + 2] += c2 * a[k];
        }
        a = std::move(b);
    }
    return a;
}

double closed_phase_ripple(const std::vector<double>& s, const std::vector<double>& a,
                           const std::vector<std::size_t>& gcis, double fs, const tclosedphase& cp) {
    // Sample i of s through a, computed where it is needed (a span may be
    // long: no copy of it).
    const auto at = [&](std::size_t i) {
        double v = 0;
        for (std::size_t k = 0; k < a.size(); ++k) v += a[k] * s[i - k];
        return v;
    };
    const std::size_t n = s.size();
    if (a.empty() || n <= a.size()) return 1.0;
    // One pass: the closed stretches come in time order, each sample
    // through a once whether it counts in both sums or in one.
    double closed = 0, all = 0;
    std::size_t used = 0, next = a.size();
    const auto sum = [&](std::size_t from, std::size_t to) {
        double acc = 0;
        for (std::size_t i = from; i < to; ++i) {
            const double v = at(i);
            acc += v * v;
        }
        return acc;
    };
    for_each_closed(gcis, fs, cp, a.size(), n, [&](std::size_t from, std::size_t to) {
        from = std::max(from, next);  // a sample counts once even if stretches met
        if (from >= to) return;
        all += sum(next, from);
        const double c = sum(from, to);
        closed += c;
        all += c;
        used += to - from;
        next = to;
    });
    all += sum(next, n);
    if (!(all > 0) || used == 0) return 1.0;
    return closed / static_cast<double>(used) / (all / static_cast<double>(n - a.size()));
}

std::vector<tformant> refine_formants(const std::vector<double>& s, std::vector<tformant> formants,
                                      const std::vector<std::size_t>& gcis, double fs, const tclosedphase& cp,
                                      const tformantrefine& refine, const tjobcontext* job) {
    if (!(fs > 0) || gcis.size() < 2 || !(refine.fstep > 1) || !(refine.bwstep > 1) || !(refine.bwmin > 0))
        return formants;
    std::vector<double> y;
    // The frequencies tried stay around each formant's estimate, however
    // many rounds it moves in.
    std::vector<double> around(formants.size()), narrowest(formants.size());
    std::vector<bool> fixed(formants.size());
    for (std::size_t k = 0; k < formants.size(); ++k) {
        around[k] = formants[k].f0;
        narrowest[k] = std::max(refine.bwmin, formants[k].bw * refine.narrowing);
        // Only a resonance inside the band (a zero or non-finite frequency
        // would make no grid) is moved.
        fixed[k] = !(formants[k].f0 > 0 && formants[k].f0 < refine.below && formants[k].f0 < 0.5 * fs &&
                     std::isfinite(formants[k].bw));
    }
    // y is the signal through the whole cascade, made afresh each round; a
    // formant being judged is divided out of it (the pair's all-pole
    // inverse, from rest as the cascade started) and its chosen pair
    // multiplied back in, so judging costs a few operations per sample
    // whatever the cascade's order.
    const std::size_t n = s.size();
    // The first samples lack their past: those of the cascade without one
    // pair, and the two a pair looks back.
    const std::size_t first = 2 * formants.size();
    bool moved = true;
    for (int pass = 0; pass < refine.passes && moved && n > first; ++pass) {
        moved = false;
        fir_through(cascade_polynomial(formants, fs), s, y);
        for (std::size_t k = 0; k < formants.size(); ++k) {
            if (fixed[k]) continue;
            if (job) job->check();
            double c1 = 0, c2 = 0;
            zero_pair(formants[k], fs, c1, c2);
            divide_pair(y, c1, c2);
            tlagsums all, closed;
            all.add(y, first, n);
            for_each_closed(gcis, fs, cp, first, n, [&](std::size_t from, std::size_t to) { closed.add(y, from, to); });
            if (!(closed.count > 0)) break;  // no closed phase to judge by
            const auto ripple = [&](double f, double bw) {
                double a1 = 0, a2 = 0;
                zero_pair({false, f, bw}, fs, a1, a2);
                const double whole = all.mean_square(a1, a2);
                return whole > 0 ? closed.mean_square(a1, a2) / whole : 1.0;
            };
            tformant best = formants[k];
            double least = ripple(best.f0, best.bw);
            const double fhi = std::min(around[k] * refine.highest, 0.49 * fs);
            for (double f = around[k] * refine.lowest; f <= fhi; f *= refine.fstep)
                for (double bw = narrowest[k]; bw <= refine.bwmax; bw *= refine.bwstep) {
                    const double v = ripple(f, bw);
                    if (v < least) least = v, best.f0 = f, best.bw = bw;
                }
            moved = moved || best.f0 != formants[k].f0 || best.bw != formants[k].bw;
            formants[k] = best;
            zero_pair(best, fs, c1, c2);
            multiply_pair(y, c1, c2);
        }
    }
    sort_formants(formants);
    return formants;
}

}  // namespace tessal
