// Small numeric helpers over sample arrays: least-squares line, in-place
// sort and interpolated quantiles.
#pragma once

#include "engine/dsp/arrays.h"

namespace tessal {

// Least-squares line through (x[i], y[i]) over the shorter length, with the
// sums in double precision. Fewer than two distinct x give NaN.
double regression_slope(const tsinglearr& x, const tsinglearr& y);
double regression_intercept(const tsinglearr& x, const tsinglearr& y);

// Ascending, in place (quicksort with a median-of-three pivot).
void sort_singles(tsinglearr& a);

// Linearly interpolated value of a sorted array at position q (n - 1);
// q = 1 gives the last value, an empty array gives -1.
double quantile(const tsinglearr& sorted, double q);

}  // namespace tessal
