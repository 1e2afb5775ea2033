// Linear prediction: the all-pole model A(z) = 1 + a1 z^-1 + ... + ap z^-p
// of a stretch of samples, by Burg's method (Burg 1967; the recursion of
// Press et al., "Numerical Recipes", memcof, in the forward/backward error
// form of Childers, "Modern Spectrum Analysis") or by the autocorrelation
// method with the Levinson-Durbin recursion (Makhoul 1975, "Linear
// prediction: a tutorial review").
//
// Neither function windows or pre-emphasises: callers pass the samples as
// they want them modelled. Both compute in double precision.
#pragma once

#include <cstddef>
#include <vector>

namespace tessal {

struct tlpc {
    // a[0] = 1, a[1..p]: the prediction x[n] ~ -(a1 x[n-1] + ... + ap x[n-p]).
    std::vector<double> a;
    // The prediction error power per sample (the mean square of the
    // residual the model leaves), so that error / |A(e^jw)|^2 is the
    // model's power spectral density per sample.
    double error = 0;
};

// Burg's method: each order's reflection coefficient minimises the sum of
// the forward and backward errors' squares over the samples where both are
// defined; |k| < 1 always, so A(z) is minimum phase. The error starts at
// the samples' mean square and shrinks by (1 - k^2) per order.
// order < 1, n <= order or an all-zero input give a = {1, 0, ..., 0} and
// the mean square as the error (0 for zeros).
tlpc lpc_burg(const float* x, std::size_t n, int order);
tlpc lpc_burg(const double* x, std::size_t n, int order);

// The autocorrelation method: r[k] = sum x[i] x[i+k] over the n samples
// (zeros outside), solved by the Levinson-Durbin recursion; the error is the
// final Levinson error divided by n.
tlpc lpc_autocorrelation(const float* x, std::size_t n, int order);
tlpc lpc_autocorrelation(const double* x, std::size_t n, int order);

// The Levinson-Durbin recursion on r[0..order] (a Toeplitz system's first
// row): a[0..order] and the final error (r[0] times the product of
// (1 - k^2)), not divided by anything. Stops early, leaving the higher
// coefficients 0, when the error reaches 0 (a perfectly predictable or
// all-zero input) or |k| >= 1 (r not positive definite).
tlpc levinson_durbin(const double* r, int order);

// The model's power in dB at frequency f (Hz) for sampling rate fs:
// 10 log10(error / |A(e^{j 2 pi f / fs})|^2).
double lpc_power_db(const tlpc& m, double f, double fs);

}  // namespace tessal
