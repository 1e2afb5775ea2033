#include "engine/analysis/polyroots.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace tessal {

namespace {

using cplx = std::complex<double>;

// One root of sum_{j=0..m} a[j] z^j (a[m] leading) near x, by Laguerre's
// iteration; fractional steps now and then break the rare limit cycle.
cplx laguerre(const std::vector<cplx>& a, cplx x) {
    const int m = static_cast<int>(a.size()) - 1;
    constexpr int steps_per_fraction = 10, fractions = 8;
    static constexpr double frac[fractions + 1] = {0.0, 0.5, 0.25, 0.75, 0.13, 0.38, 0.62, 0.88, 1.0};
    constexpr double eps = std::numeric_limits<double>::epsilon();
    for (int iter = 1; iter <= steps_per_fraction * fractions; ++iter) {
        cplx b = a[m], d = 0.0, f = 0.0;
        double err = std::abs(b);
        const double absx = std::abs(x);
        for (int j = m - 1; j >= 0; --j) {
            f = x * f + d;
            d = x * d + b;
            b = x * b + a[j];
            err = std::abs(b) + absx * err;
        }
        err *= eps;
        if (std::abs(b) <= err) return x;  // on the root within rounding
        const cplx g = d / b, g2 = g * g, h = g2 - 2.0 * f / b;
        const cplx sq = std::sqrt(static_cast<double>(m - 1) * (static_cast<double>(m) * h - g2));
        cplx gp = g + sq;
        const cplx gm = g - sq;
        if (std::abs(gp) < std::abs(gm)) gp = gm;
        const cplx dx = std::abs(gp) > 0.0
                            ? static_cast<double>(m) / gp
                            : std::polar(1.0 + absx, static_cast<double>(iter));
        const cplx x1 = x - dx;
        if (x1 == x) return x;
        if (iter % steps_per_fraction) x = x1;
        else x -= frac[iter / steps_per_fraction] * dx;
    }
    return x;  // best found; polishing on the whole polynomial follows
}

}  // namespace

std::vector<cplx> polynomial_roots(const std::vector<double>& c) {
    std::size_t first = 0;
    while (first < c.size() && c[first] == 0.0) ++first;
    std::vector<cplx> roots;
    if (c.size() - first < 2) return roots;
    // Ascending powers: a[j] is the coefficient of z^j.
    std::vector<cplx> a(c.size() - first);
    for (std::size_t j = 0; j < a.size(); ++j) a[j] = c[c.size() - 1 - j];
    // Roots at 0 (trailing zeros of c) need no iteration.
    std::size_t zeros = 0;
    while (zeros + 1 < a.size() && a[zeros] == 0.0) ++zeros;
    const std::vector<cplx> whole(a.begin() + static_cast<std::ptrdiff_t>(zeros), a.end());
    roots.assign(zeros, 0.0);
    std::vector<cplx> defl = whole;
    for (int m = static_cast<int>(defl.size()) - 1; m >= 1; --m) {
        cplx x = laguerre(defl, 0.0);
        if (std::abs(x.imag()) <= 2.0 * std::numeric_limits<double>::epsilon() * std::abs(x.real()))
            x = x.real();
        roots.push_back(x);
        // Deflate: divide by (z - x).
        cplx b = defl[m];
        for (int j = m - 1; j >= 0; --j) {
            const cplx t = defl[j];
            defl[j] = b;
            b = x * b + t;
        }
        defl.resize(static_cast<std::size_t>(m));
    }
    for (std::size_t i = zeros; i < roots.size(); ++i) roots[i] = laguerre(whole, roots[i]);
    // Real roots as real numbers.
    for (cplx& r : roots)
        if (std::abs(r.imag()) <= 1e-12 * std::abs(r)) r = r.real();
    return roots;
}

}  // namespace tessal
