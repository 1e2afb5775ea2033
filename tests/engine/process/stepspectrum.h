// The magnitude of the plain discrete Fourier sum of a signal, through the
// program's FFT, for measuring the responses of steps.
#pragma once

#include <cmath>

#include "engine/dsp/tfft.h"

namespace tessal::testing {

// |sum over n of x[n] e^(i 2 pi n k / N)| for k = 0 .. N/2, x zero-padded or
// cut to N (a power of two).
inline tdoublearr dft_magnitude(const tsinglearr& x, std::size_t N) {
    TFFT f;
    f.SetWindow(TFFTWindow::rectangle);
    f.Setremovedc(false);
    tdoublearr in(N, 0.0);
    for (std::size_t i = 0; i < N && i < x.size(); ++i) in[i] = x[i];
    f.SetInRe(std::move(in));
    const tdoublearr& a = f.GetOutAbs();
    tdoublearr m(N / 2 + 1);
    for (std::size_t k = 0; k <= N / 2; ++k) m[k] = a[k] * static_cast<double>(N);
    return m;
}

inline double db(double v) { return 20 * std::log10(v); }

}  // namespace tessal::testing
