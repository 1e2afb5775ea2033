// Analysis window shapes for the FFT: the five window types and the value of
// window sample i out of W, optionally with a skewed (asymmetric) phase. The
// window runs over x = 2 pi i / (W - 1), so sample 0 and sample W - 1 are the
// two ends of one period. A skew warps the phase so that the rise takes the
// first fraction `left` of the window, the fall the last fraction 1 - `right`,
// with a flat top in between; both 0.5 means no skew.
#pragma once

#include <cstddef>

namespace tessal {

enum class TFFTWindow : int { rectangle = 0, Bartlett = 1, Hamming = 2, Hanning = 3, Blackman = 4 };

// The warped phase p in [0, 2 pi] for a phase x (reduced to [0, 2 pi) first).
double fft_window_skew_phase(double x, double left, double right);

// Window value at sample i of a window of w >= 2 samples. The unskewed
// formulas are used when both skews are exactly 0.5.
double fft_window_value(TFFTWindow window, std::size_t i, std::size_t w, double left = 0.5,
                        double right = 0.5);

}  // namespace tessal
