// Polynomial roots against the roots a polynomial was multiplied out from:
// complex pairs near the unit circle (as LPC gives them), real roots,
// a double root, roots at 0 and leading zero coefficients.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <numbers>
#include <vector>

#include "engine/analysis/polyroots.h"

using namespace tessal;
using cplx = std::complex<double>;

namespace {

// Highest power first, from the roots (complex ones given with their
// conjugates).
std::vector<double> multiply_out(const std::vector<cplx>& roots) {
    std::vector<cplx> c{1.0};
    for (cplx r : roots) {
        std::vector<cplx> next(c.size() + 1, 0.0);
        for (std::size_t i = 0; i < c.size(); ++i) {
            next[i] += c[i];
            next[i + 1] -= r * c[i];
        }
        c = next;
    }
    std::vector<double> out;
    for (cplx v : c) out.push_back(v.real());
    return out;
}

// Every expected root has a found root within tol, each used once.
void expect_roots(const std::vector<cplx>& want, std::vector<cplx> got, double tol) {
    ASSERT_EQ(got.size(), want.size());
    for (cplx w : want) {
        auto best = std::min_element(got.begin(), got.end(),
                                     [&](cplx a, cplx b) { return std::abs(a - w) < std::abs(b - w); });
        EXPECT_LT(std::abs(*best - w), tol) << w;
        got.erase(best);
    }
}

}  // namespace

TEST(PolynomialRoots, LpcLikePolynomials) {
    std::vector<cplx> roots;
    for (auto [f, r] : {std::pair{0.03, 0.99}, {0.1, 0.97}, {0.25, 0.95}, {0.33, 0.9}, {0.45, 0.8}}) {
        const cplx z = std::polar(r, 2 * std::numbers::pi * f);
        roots.push_back(z);
        roots.push_back(std::conj(z));
    }
    expect_roots(roots, polynomial_roots(multiply_out(roots)), 1e-9);
    // A real root each side and one near -1.
    roots.insert(roots.end(), {0.5, -0.3, -0.98});
    expect_roots(roots, polynomial_roots(multiply_out(roots)), 1e-8);
}

TEST(PolynomialRoots, SpecialShapes) {
    // A double root is found to the square root of the precision.
    expect_roots({0.7, 0.7, -2.0}, polynomial_roots(multiply_out({0.7, 0.7, -2.0})), 1e-6);
    // Roots at 0 (trailing zeros) and leading zeros.
    std::vector<double> c = multiply_out({cplx(0.2, 0.5), cplx(0.2, -0.5), 0.0, 0.0});
    c.insert(c.begin(), {0.0, 0.0});
    expect_roots({cplx(0.2, 0.5), cplx(0.2, -0.5), 0.0, 0.0}, polynomial_roots(c), 1e-12);
    // Real roots come back with no imaginary part.
    for (cplx r : polynomial_roots({1.0, -3.0, 2.0})) EXPECT_EQ(r.imag(), 0.0);
    EXPECT_TRUE(polynomial_roots({}).empty());
    EXPECT_TRUE(polynomial_roots({0.0, 3.0}).empty());
    expect_roots({-0.5}, polynomial_roots({2.0, 1.0}), 1e-15);
}
