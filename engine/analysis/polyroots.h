// The roots of a polynomial with real coefficients, by Laguerre's method
// with deflation and a final polishing of every root on the undeflated
// polynomial (Press et al., "Numerical Recipes", 2nd ed., 9.5: laguer and
// zroots).
#pragma once

#include <complex>
#include <vector>

namespace tessal {

// The roots of c[0] z^m + c[1] z^(m-1) + ... + c[m] (highest power first,
// as an LPC polynomial a[0..p] read as z^p A(z)). Leading zero coefficients
// are dropped; an empty or constant polynomial has no roots. A root whose
// imaginary part is below 1e-12 of its magnitude is returned as real;
// complex roots come in conjugate pairs to rounding.
std::vector<std::complex<double>> polynomial_roots(const std::vector<double>& c);

}  // namespace tessal
