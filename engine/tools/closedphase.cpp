#include "engine/tools/closedphase.h"

#include <algorithm>
#include <cmath>

#include "engine/jobs/jobline.h"
#include "engine/tools/iaif.h"

namespace tessal {

namespace {

constexpr double pi = 3.14159265358979323846;

// Calls each(i) for every sample i >= first (and < n) in a closed phase.
template <class F>
void for_each_closed(const std::vector<std::size_t>& gcis, double fs, const tclosedphase& cp, std::size_t first,
                     std::size_t n, F&& each) {
    const double longest = fs / std::max(1e-3, cp.f0min);
    for (std::size_t k = 0; k + 1 < gcis.size(); ++k) {
        const double T = static_cast<double>(gcis[k + 1] - gcis[k]);
        if (T > longest) continue;
        const std::size_t from = gcis[k] + static_cast<std::size_t>(cp.from * T);
        const std::size_t to = gcis[k] + static_cast<std::size_t>(cp.to * T);
        for (std::size_t i = std::max(from, first); i < to && i < n; ++i) each(i);
    }
}

// The sums of y(i - a) y(i - b), a, b = 0 ... 2, over the samples added.
struct tlagsums {
    double m[3][3] = {};
    double count = 0;
    void add(const std::vector<double>& y, std::size_t i) {
        const double v[3] = {y[i], y[i - 1], y[i - 2]};
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b <= a; ++b) m[a][b] += v[a] * v[b];
        ++count;
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

}  // namespace

std::vector<double> cascade_polynomial(const std::vector<tformant>& formants, double fs) {
    std::vector<double> a{1.0};
    for (const tformant& f : formants) {
        const double r = std::exp(-pi * f.bw / fs), c = -2.0 * r * std::cos(2.0 * pi * f.f0 / fs);
        std::vector<double> b(a.size() + 2, 0.0);
        for (std::size_t k = 0; k < a.size(); ++k) {
            b[k] += a[k];
            b[k + 1] += c * a[k];
            b[k + 2] += r * r * a[k];
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
    double closed = 0, all = 0;
    for (std::size_t i = a.size(); i < n; ++i) {
        const double v = at(i);
        all += v * v;
    }
    std::size_t used = 0;
    for_each_closed(gcis, fs, cp, a.size(), n, [&](std::size_t i) {
        const double v = at(i);
        closed += v * v;
        ++used;
    });
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
    bool moved = true;
    for (int pass = 0; pass < refine.passes && moved; ++pass) {
        moved = false;
        for (std::size_t k = 0; k < formants.size(); ++k) {
            if (fixed[k]) continue;
            if (job) job->check();
            std::vector<tformant> others = formants;
            others.erase(others.begin() + static_cast<std::ptrdiff_t>(k));
            const std::vector<double> a = cascade_polynomial(others, fs);
            fir_through(a, s, y);
            // y's first a.size() - 1 samples lack their past, and a pair
            // looks two samples further back.
            const std::size_t first = a.size() + 1;
            if (y.size() <= first) break;  // too short to judge: as they are
            tlagsums all, closed;
            for (std::size_t i = first; i < y.size(); ++i) all.add(y, i);
            for_each_closed(gcis, fs, cp, first, y.size(), [&](std::size_t i) { closed.add(y, i); });
            if (!(closed.count > 0)) break;  // no closed phase to judge by
            const auto ripple = [&](double f, double bw) {
                const double r = std::exp(-pi * bw / fs), c1 = -2.0 * r * std::cos(2.0 * pi * f / fs), c2 = r * r;
                const double whole = all.mean_square(c1, c2);
                return whole > 0 ? closed.mean_square(c1, c2) / whole : 1.0;
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
        }
    }
    sort_formants(formants);
    return formants;
}

}  // namespace tessal
