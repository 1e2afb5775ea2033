// Window shapes for the FFT; see fftwindows.h.
#include "engine/dsp/fftwindows.h"

#include <cmath>
#include <numbers>

namespace tessal {

namespace {

constexpr double two_pi = 2.0 * std::numbers::pi;

// The shape as a function of its (possibly warped) phase over one period.
double shape_at_phase(TFFTWindow window, double p) {
    switch (window) {
        case TFFTWindow::rectangle:
            return 1.0;
        case TFFTWindow::Bartlett:
            return p <= std::numbers::pi ? p / std::numbers::pi : 2.0 - p / std::numbers::pi;
        case TFFTWindow::Hamming:
            return 0.54 - 0.46 * std::cos(p);
        case TFFTWindow::Hanning:
            return 0.5 * (1.0 - std::cos(p));
        case TFFTWindow::Blackman:
            return 0.42 - 0.5 * std::cos(p) + 0.08 * std::cos(2.0 * p);
    }
    return 1.0;
}

}  // namespace

double fft_window_skew_phase(double x, double left, double right) {
    double d = std::fmod(x, two_pi);
    if (d < 0) d += two_pi;
    // The branches never divide by zero: left = 0 never takes the rise and
    // right = 1 never takes the fall.
    if (d < two_pi * left) return d / (2.0 * left);
    if (d <= two_pi * right) return std::numbers::pi;
    return (d - two_pi) / (2.0 * (1.0 - right)) + two_pi;
}

double fft_window_value(TFFTWindow window, std::size_t i, std::size_t w, double left,
                        double right) {
    if (w < 2 || i >= w) return 0.0;
    const double span = static_cast<double>(w - 1);
    const double di = static_cast<double>(i);
    if (left == 0.5 && right == 0.5) {
        // Bartlett is written on the sample index rather than the phase so
        // that the middle of an odd window is exactly 1.
        if (window == TFFTWindow::Bartlett) return 1.0 - std::fabs(2.0 * di / span - 1.0);
        return shape_at_phase(window, two_pi * di / span);
    }
    return shape_at_phase(window, fft_window_skew_phase(two_pi * di / span, left, right));
}

}  // namespace tessal
