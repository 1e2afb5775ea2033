// Tick label thinning and the colour scale's steps.
#include "engine/core/ticklabels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/dsp/numformat.h"

namespace tessal {

namespace {

// Whether the labels kept with stride k (and those given) leave the gap.
bool fits(const std::vector<std::string>& labels, const std::vector<int>& centres,
          const std::vector<int>& extents, long long index0, long long k, int gap) {
    bool have = false;
    long long lastend = 0;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const long long idx = index0 + static_cast<long long>(i);
        if (labels[i].empty() || idx % k != 0) continue;
        const long long a = centres[i] - extents[i] / 2;
        const long long b = a + extents[i];
        if (have && a < lastend + gap) return false;
        // Axes may run either way (a vertical axis has its low end at the
        // bottom): compare in the order the ticks lie.
        have = true;
        lastend = b;
    }
    return true;
}

}  // namespace

void thin_even_labels(std::vector<std::string>& labels, const std::vector<int>& centres,
                      const std::vector<int>& extents, long long index0, int gap) {
    const std::size_t n = labels.size();
    if (n < 2 || centres.size() != n || extents.size() != n) return;
    // Put the ticks in increasing pixel order for the check.
    std::vector<std::string> l = labels;
    std::vector<int> c = centres, e = extents;
    long long i0 = index0;
    const bool descending = centres.front() > centres.back();
    if (descending) {
        std::reverse(l.begin(), l.end());
        std::reverse(c.begin(), c.end());
        std::reverse(e.begin(), e.end());
        i0 = -(index0 + static_cast<long long>(n) - 1);  // the stride test needs only |idx| % k
    }
    static const int mult[3] = {1, 2, 5};
    long long k = 1;
    for (long long p = 1; p < 1000000000LL; p *= 10) {
        bool done = false;
        for (int m : mult) {
            k = m * p;
            if (fits(l, c, e, i0, k, gap)) {
                done = true;
                break;
            }
        }
        if (done) break;
    }
    for (std::size_t i = 0; i < n; ++i)
        if ((index0 + static_cast<long long>(i)) % k != 0) labels[i].clear();
    // A single label wider than the gap between its neighbours cannot
    // overlap anything once every other one is gone; if even the sparsest
    // stride kept two touching labels, keep only the first.
    if (labels_overlap(labels, centres, extents, gap)) {
        bool first = true;
        for (auto& s : labels) {
            if (s.empty()) continue;
            if (!first) s.clear();
            first = false;
        }
    }
}

bool labels_overlap(const std::vector<std::string>& labels, const std::vector<int>& centres,
                    const std::vector<int>& extents, int gap) {
    std::vector<std::pair<long long, long long>> spans;
    for (std::size_t i = 0; i < labels.size() && i < centres.size() && i < extents.size(); ++i) {
        if (labels[i].empty()) continue;
        const long long a = centres[i] - extents[i] / 2;
        spans.push_back({a, a + extents[i]});
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first < spans[i - 1].second + gap) return true;
    return false;
}

std::vector<tcolourstep> colour_scale_steps(double lo, double hi, int length, int labelextent, int gap) {
    std::vector<tcolourstep> out;
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || length < 2) return out;
    const int room = std::max(1, labelextent + gap);
    const int most = std::max(1, length / room);  // labels that fit
    // The smallest round step giving no more labels than fit.
    double step = std::pow(10.0, std::floor(std::log10((hi - lo) / most)));
    static const double mult[4] = {1, 2, 5, 10};
    for (int guard = 0; guard < 40; ++guard) {
        bool ok = false;
        for (double m : mult) {
            const double s = step * m;
            const double first = std::ceil(lo / s - 1e-9) * s;
            const long long count = static_cast<long long>(std::floor((hi - first) / s + 1e-9)) + 1;
            if (count <= most) {
                step = s;
                ok = true;
                break;
            }
        }
        if (ok) break;
        step *= 10;
    }
    const double first = std::ceil(lo / step - 1e-9) * step;
    for (long long i = 0;; ++i) {
        double v = first + static_cast<double>(i) * step;
        if (v > hi + 1e-9 * step) break;
        if (std::fabs(v) < 1e-9 * step) v = 0;
        tcolourstep s;
        s.value = v;
        s.pixel = static_cast<int>(std::lround((v - lo) / (hi - lo) * (length - 1)));
        s.text = format_significant(8, v);
        out.push_back(std::move(s));
        if (i > 100000) break;
    }
    return out;
}

}  // namespace tessal
