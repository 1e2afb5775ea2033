// TFFT; see tfft.h. The placement and butterfly loops are in fftkernels. A
// real input is transformed as a complex block of half the length (even
// samples as real parts, odd ones as imaginary parts) whose spectrum is then
// split into the spectrum of the real block: the same values for half the
// work.
#include "engine/dsp/tfft.h"

#include "engine/dsp/fftkernels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

namespace tessal {

namespace {

// Four partial sums keep the additions independent of each other.
double block_mean(const double* x, std::size_t n) {
    if (n == 0) return 0.0;
    const double x0 = x[0];
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += x[i] - x0;
        s1 += x[i + 1] - x0;
        s2 += x[i + 2] - x0;
        s3 += x[i + 3] - x0;
    }
    for (; i < n; ++i) s0 += x[i] - x0;
    return x0 + ((s0 + s1) + (s2 + s3)) / static_cast<double>(n);
}

}  // namespace

TFFT::TFFT() = default;

void TFFT::mark_outputs_dirty() {
    ffftdirty = foutcompdirty = fdbdirty = fabsdirty = fabs2dirty = fphasedirty = true;
}

void TFFT::set_size_log(int k) {
    const std::size_t n = std::size_t{1} << k;
    if (n != ffftsize) {
        ffftsize = n;
        flogfftsize = k;
        farrdirty = true;
        fwindirty = true;
    }
    if (fwindowsize > ffftsize) {
        fwindowsize = ffftsize;
        fwindirty = true;
    }
    mark_outputs_dirty();
}

void TFFT::SetLogFFTSize(int k) {
    if (k < 2 || k > 20) return;
    set_size_log(k);
}

void TFFT::SetFFTSize(std::int64_t n) {
    if (n < 2 || n > max_size)
        throw EFFTError("FFT size out of range (" + std::to_string(n) + ")");
    int k = 0;
    while ((std::int64_t{1} << k) < n) ++k;
    set_size_log(k);
}

void TFFT::SetWindowSize(std::int64_t w) {
    if (w < 2 || w > max_size) throw EFFTError("Window size out of range");
    if (static_cast<std::int64_t>(ffftsize) < w) SetFFTSize(w);
    if (fwindowsize != static_cast<std::size_t>(w)) {
        fwindowsize = static_cast<std::size_t>(w);
        fwindirty = true;
    }
    mark_outputs_dirty();
}

void TFFT::SetWindow(TFFTWindow w) {
    if (w == fwindow) return;
    fwindow = w;
    fwindirty = true;
    mark_outputs_dirty();
}

void TFFT::Setwindowleftskew(double s) {
    if (!std::isfinite(s) || s == fwindowleftskew) return;
    fwindowleftskew = s;
    fwindirty = true;
    mark_outputs_dirty();
}

void TFFT::Setwindowrightskew(double s) {
    if (!std::isfinite(s) || s == fwindowrightskew) return;
    fwindowrightskew = s;
    fwindirty = true;
    mark_outputs_dirty();
}

void TFFT::Setremovedc(bool on) {
    if (on == fremovedc) return;
    fremovedc = on;
    mark_outputs_dirty();
}

void TFFT::Setignoreinim(bool on) {
    if (on == fignoreinim) return;
    fignoreinim = on;
    mark_outputs_dirty();
}

void TFFT::SetInRe(tdoublearr values) {
    if (values.size() != fwindowsize) {
        SetFFTSize(static_cast<std::int64_t>(values.size()));
        SetWindowSize(static_cast<std::int64_t>(values.size()));
    }
    finre = std::move(values);
    mark_outputs_dirty();
}

void TFFT::SwapInRe(tdoublearr& values) {
    if (values.size() != fwindowsize) {
        SetFFTSize(static_cast<std::int64_t>(values.size()));
        SetWindowSize(static_cast<std::int64_t>(values.size()));
    }
    finre.swap(values);
    mark_outputs_dirty();
}

void TFFT::SetInIm(tdoublearr values) {
    if (values.size() != fwindowsize) {
        SetFFTSize(static_cast<std::int64_t>(values.size()));
        SetWindowSize(static_cast<std::int64_t>(values.size()));
    }
    finim = std::move(values);
    mark_outputs_dirty();
}

void TFFT::SetInChunk(const std::int16_t* values, std::size_t count) {
    if (count != fwindowsize) {
        SetFFTSize(static_cast<std::int64_t>(count));
        SetWindowSize(static_cast<std::int64_t>(count));
    }
    finre.assign(values, values + count);
    finim.assign(count, 0.0);
    mark_outputs_dirty();
}

void TFFT::SetDirty(bool dirty) {
    if (dirty) mark_outputs_dirty();
}

void TFFT::build_tables() {
    const std::size_t n = ffftsize;
    foutre.assign(n, 0.0);
    foutim.assign(n, 0.0);
    fwin.assign(n, 0.0);
    fwindirty = true;

    // The top stage's twiddles, cos and sin of 2 pi i / N for i < N / 2,
    // from the first octant by symmetry, so that the quarter and eighth
    // points are exact.
    fcos.assign(std::max<std::size_t>(n, 2), 0.0);
    fsin.assign(std::max<std::size_t>(n, 2), 0.0);
    const std::size_t half = n / 2;
    double* tc = fcos.data() + half;
    double* ts = fsin.data() + half;
    const std::size_t q = n / 4, e = n / 8;
    const double step = 2.0 * std::numbers::pi / static_cast<double>(n);
    if (n >= 8) {
        for (std::size_t i = 0; i <= e; ++i) {
            const double c = std::cos(step * static_cast<double>(i));
            const double s = std::sin(step * static_cast<double>(i));
            tc[i] = c;
            ts[i] = s;
            tc[q - i] = s;  // cos(pi/2 - x) = sin x
            ts[q - i] = c;
        }
        for (std::size_t i = 1; i < q; ++i) {  // x + pi/2
            tc[q + i] = -ts[i];
            ts[q + i] = tc[i];
        }
    } else {
        for (std::size_t i = 0; i < half; ++i) {
            const double a = step * static_cast<double>(i);
            tc[i] = (4 * i == n) ? 0.0 : std::cos(a);
            ts[i] = (4 * i == n) ? 1.0 : std::sin(a);
        }
    }
    // Lower stages take every (N / 2d)-th entry of the top one.
    for (std::size_t d = half / 2; d >= 1; d /= 2) {
        const std::size_t stride = half / d;
        for (std::size_t f = 0; f < d; ++f) {
            fcos[d + f] = tc[f * stride];
            fsin[d + f] = ts[f * stride];
        }
    }

    bitflip.assign(n, 0);
    const int k = flogfftsize;
    for (std::size_t i = 1; i < n; ++i)
        bitflip[i] = (bitflip[i >> 1] >> 1) | (static_cast<std::uint32_t>(i & 1) << (k - 1));
    farrdirty = false;
}

void TFFT::build_window() {
    if (farrdirty) build_tables();
    const std::size_t w = fwindowsize;
    for (std::size_t i = 0; i < w; ++i)
        fwin[i] = fft_window_value(fwindow, i, w, fwindowleftskew, fwindowrightskew);
    std::fill(fwin.begin() + static_cast<std::ptrdiff_t>(w), fwin.end(), 0.0);
    fwindirty = false;
}

const tdoublearr& TFFT::GetWin() {
    if (farrdirty || fwindirty) build_window();
    return fwin;
}

void TFFT::transform() {
    if (farrdirty || fwindirty) build_window();
    // Inputs that no longer match W (W changed after they were set) are cut
    // or zero-extended, never read past their end.
    if (finre.size() != fwindowsize) finre.resize(fwindowsize, 0.0);
    if (!fignoreinim && finim.size() != fwindowsize) finim.resize(fwindowsize, 0.0);
    if (fignoreinim)
        transform_real();
    else
        transform_complex();
    ffftdirty = false;
}

void TFFT::transform_complex() {
    const std::size_t n = ffftsize, w = fwindowsize;
    double* re = foutre.data();
    double* im = foutim.data();
    const double mre = fremovedc ? block_mean(finre.data(), w) : 0.0;
    const double mim = fremovedc ? block_mean(finim.data(), w) : 0.0;
    const double* xr = finre.data();
    const double* xi = finim.data();
    const double* win = fwin.data();
    bool two_done;
    if (w == n) {
        two_done = fft_scatter_reversed(flogfftsize, flogfftsize, bitflip.data(), re, im,
                             [&](std::size_t i, double& r, double& v) {
                                 r = (xr[i] - mre) * win[i];
                                 v = (xi[i] - mim) * win[i];
                             });
    } else {
        two_done = fft_scatter_reversed(flogfftsize, flogfftsize, bitflip.data(), re, im,
                             [&](std::size_t i, double& r, double& v) {
                                 r = i < w ? (xr[i] - mre) * win[i] : 0.0;
                                 v = i < w ? (xi[i] - mim) * win[i] : 0.0;
                             });
    }
    fft_butterflies(re, im, n, fcos.data(), fsin.data(), two_done);
    const double scale = 1.0 / static_cast<double>(w);
    for (std::size_t k = 0; k < n; ++k) {
        re[k] *= scale;
        im[k] *= scale;
    }
    // Making the zero-padded block zero-mean changes bin 0 only, and sets it
    // to exactly 0.
    if (fremovedc) re[0] = im[0] = 0.0;
}

void TFFT::transform_real() {
    const std::size_t n = ffftsize, w = fwindowsize, m = n / 2;
    double* re = foutre.data();
    double* im = foutim.data();
    const double mean = fremovedc ? block_mean(finre.data(), w) : 0.0;
    // z[j] = x[2j] + i x[2j + 1], stored bit-reversed over m points.
    const double* x = finre.data();
    const double* win = fwin.data();
    bool two_done;
    if (w == n) {
        two_done = fft_scatter_reversed(flogfftsize - 1, flogfftsize, bitflip.data(), re, im,
                             [&](std::size_t j, double& r, double& v) {
                                 r = (x[2 * j] - mean) * win[2 * j];
                                 v = (x[2 * j + 1] - mean) * win[2 * j + 1];
                             });
    } else {
        two_done = fft_scatter_reversed(flogfftsize - 1, flogfftsize, bitflip.data(), re, im,
                             [&](std::size_t j, double& r, double& v) {
                                 r = 2 * j < w ? (x[2 * j] - mean) * win[2 * j] : 0.0;
                                 v = 2 * j + 1 < w ? (x[2 * j + 1] - mean) * win[2 * j + 1] : 0.0;
                             });
    }
    fft_butterflies(re, im, m, fcos.data(), fsin.data(), two_done);

    fft_split_real(re, im, n, fcos.data() + m, fsin.data() + m,
                   1.0 / static_cast<double>(w));
    if (fremovedc) re[0] = 0.0;
}

const tdoublearr& TFFT::GetOutRe() {
    if (ffftdirty || farrdirty) transform();
    return foutre;
}

const tdoublearr& TFFT::GetOutIm() {
    if (ffftdirty || farrdirty) transform();
    return foutim;
}

const tcomplexarr& TFFT::GetOutComplex() {
    if (ffftdirty || farrdirty) transform();
    if (foutcompdirty) {
        foutcomplex.resize(ffftsize);
        for (std::size_t k = 0; k < ffftsize; ++k) foutcomplex[k] = {foutre[k], foutim[k]};
        foutcompdirty = false;
    }
    return foutcomplex;
}

const tdoublearr& TFFT::GetOutAbs2() {
    if (ffftdirty || farrdirty) transform();
    if (fabs2dirty) {
        foutabs2.resize(ffftsize);
        for (std::size_t k = 0; k < ffftsize; ++k)
            foutabs2[k] = foutre[k] * foutre[k] + foutim[k] * foutim[k];
        fabs2dirty = false;
    }
    return foutabs2;
}

const tdoublearr& TFFT::GetOutAbs() {
    if (ffftdirty || farrdirty) transform();
    if (fabsdirty) {
        foutabs.resize(ffftsize);
        for (std::size_t k = 0; k < ffftsize; ++k)
            foutabs[k] = std::sqrt(foutre[k] * foutre[k] + foutim[k] * foutim[k]);
        fabsdirty = false;
    }
    return foutabs;
}

const tdoublearr& TFFT::GetOutdB() {
    if (ffftdirty || farrdirty) transform();
    if (fdbdirty) {
        foutdb.resize(ffftsize);
        for (std::size_t k = 0; k < ffftsize; ++k) {
            const double p = foutre[k] * foutre[k] + foutim[k] * foutim[k];
            if (p == 0.0) {
                foutdb[k] = -3250.0;
            } else {
                const double level = 10.0 * std::log10(p);
                foutdb[k] = std::isfinite(level) ? level : 0.0;
            }
        }
        fdbdirty = false;
    }
    return foutdb;
}

const tdoublearr& TFFT::GetOutPhase() {
    if (ffftdirty || farrdirty) transform();
    if (fphasedirty) {
        foutphase.resize(ffftsize);
        for (std::size_t k = 0; k < ffftsize; ++k) {
            const double r = foutre[k], i = foutim[k];
            double a = (r == 0.0 && i == 0.0) ? 0.0 : std::atan2(i, r);
            // atan2 gives -pi for a negative real part with im = -0; the
            // angle is taken in (-pi, pi].
            if (a <= -std::numbers::pi) a = std::numbers::pi;
            foutphase[k] = std::isfinite(a) ? a : 0.0;
        }
        fphasedirty = false;
    }
    return foutphase;
}

}  // namespace tessal
