#include "engine/dsp/numeric.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tessal {
namespace {

struct tsums {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
};

tsums sums(const tsinglearr& x, const tsinglearr& y) {
    tsums s;
    std::size_t n = std::min(x.size(), y.size());
    s.n = static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
        double a = x[i], b = y[i];
        s.sx += a;
        s.sy += b;
        s.sxx += a * a;
        s.sxy += a * b;
    }
    return s;
}

void quicksort(float* a, long lo, long hi) {
    while (hi - lo > 16) {
        long mid = lo + (hi - lo) / 2;
        if (a[mid] < a[lo]) std::swap(a[mid], a[lo]);
        if (a[hi] < a[lo]) std::swap(a[hi], a[lo]);
        if (a[hi] < a[mid]) std::swap(a[hi], a[mid]);
        float pivot = a[mid];
        long i = lo, j = hi;
        while (i <= j) {
            while (a[i] < pivot) ++i;
            while (pivot < a[j]) --j;
            if (i <= j) std::swap(a[i++], a[j--]);
        }
        // Recurse into the smaller side so the stack stays logarithmic.
        if (j - lo < hi - i) {
            quicksort(a, lo, j);
            lo = i;
        } else {
            quicksort(a, i, hi);
            hi = j;
        }
    }
    for (long i = lo + 1; i <= hi; ++i) {
        float v = a[i];
        long k = i - 1;
        while (k >= lo && v < a[k]) {
            a[k + 1] = a[k];
            --k;
        }
        a[k + 1] = v;
    }
}

}  // namespace

double regression_slope(const tsinglearr& x, const tsinglearr& y) {
    tsums s = sums(x, y);
    double den = s.n * s.sxx - s.sx * s.sx;
    if (den == 0) return std::numeric_limits<double>::quiet_NaN();
    return (s.n * s.sxy - s.sx * s.sy) / den;
}

double regression_intercept(const tsinglearr& x, const tsinglearr& y) {
    tsums s = sums(x, y);
    if (s.n == 0) return std::numeric_limits<double>::quiet_NaN();
    return (s.sy - s.sx * regression_slope(x, y)) / s.n;
}

void sort_singles(tsinglearr& a) {
    // NaNs would break the partition's sentinels; they are moved to the end.
    auto mid = std::partition(a.begin(), a.end(), [](float v) { return !std::isnan(v); });
    long n = static_cast<long>(mid - a.begin());
    if (n > 1) quicksort(a.data(), 0, n - 1);
}

double quantile(const tsinglearr& sorted, double q) {
    if (sorted.empty()) return -1;
    std::size_t n = sorted.size();
    if (n == 1 || q >= 1) return sorted[n - 1];
    if (q <= 0) return sorted[0];
    double t = q * static_cast<double>(n - 1);
    std::size_t i = static_cast<std::size_t>(t);
    double f = t - static_cast<double>(i);
    if (i + 1 >= n) return sorted[n - 1];
    return (1 - f) * sorted[i] + f * sorted[i + 1];
}

}  // namespace tessal
