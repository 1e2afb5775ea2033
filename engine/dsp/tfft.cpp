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

    fcos.assign(std::max<std::size_t>(n, 2), 0.0);
    fsin.assign(std::max<std::size_t>(n, 2), 0.0);
    fft_build_twiddles(std::max<std::size_t>(n, 2), fcos.data(), fsin.data());
    freal.resize(flogfftsize);

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
    fft_butterflies(re, im, n, fcos.data(), fsin.data(), two_done ? 2 : 0);
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
    const std::size_t w = fwindowsize;
    const double mean = fremovedc ? block_mean(finre.data(), w) : 0.0;
    freal.forward({finre.data(), fwin.data(), mean, w}, foutre.data(), foutim.data(),
                  1.0 / static_cast<double>(w));
    if (fremovedc) foutre[0] = 0.0;
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
