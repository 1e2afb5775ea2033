// TFFT: windows a block of samples, zero-pads it to a power of two N and
// computes its discrete Fourier transform
//     X[k] = (1 / W) * sum over n < N of xw[n] e^(+i 2 pi n k / N),
// where W <= N is the window length and xw the windowed block (zero from W
// on). With remove-DC on (the default) the block's mean is subtracted before
// windowing and the windowed block is made zero-mean as well, so X[0] = 0.
// With ignore-imaginary on (the default) the input is real.
//
// A complex input goes through an in-place decimation-in-time radix-2 FFT on
// arrays of N doubles; a real one through tfftreal (fftkernels.h): half the
// length as a complex block, in the four-step order for mid sizes. Every
// output is computed lazily on its first request after the input or a
// setting changed, and at most once per input. Tables and the
// window are rebuilt only when N, W, the window type or a skew changes; no
// memory is allocated per transform once the sizes are fixed (each derived
// output array is allocated on its first request for a size).
//
// Sizes out of range raise EFFTError with a text for the user. N is kept
// >= W at all times: lowering N below W lowers W to N.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "engine/dsp/arrays.h"
#include "engine/dsp/fftkernels.h"
#include "engine/dsp/fftwindows.h"
#include "engine/dsp/tcomplex.h"

namespace tessal {

class EFFTError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFFT {
public:
    static constexpr std::int64_t max_size = 16777216;

    TFFT();

    // N = 2^k; values of k outside 2..20 are ignored.
    int GetLogFFTSize() const { return flogfftsize; }
    void SetLogFFTSize(int k);
    // N := the smallest power of two >= n, for 2 <= n <= 16777216.
    std::size_t GetFFTSize() const { return ffftsize; }
    void SetFFTSize(std::int64_t n);
    // W, 2 <= w <= 16777216; raises N to fit when N < w.
    std::size_t GetWindowSize() const { return fwindowsize; }
    void SetWindowSize(std::int64_t w);

    TFFTWindow GetWindow() const { return fwindow; }
    void SetWindow(TFFTWindow w);
    // Stored and published only; the window does not use it.
    double Getwindowskew() const { return fwindowskew; }
    void Setwindowskew(double s) { fwindowskew = s; }
    // Non-finite skews are ignored.
    double Getwindowleftskew() const { return fwindowleftskew; }
    void Setwindowleftskew(double s);
    double Getwindowrightskew() const { return fwindowrightskew; }
    void Setwindowrightskew(double s);

    bool Getremovedc() const { return fremovedc; }
    void Setremovedc(bool on);
    bool Getignoreinim() const { return fignoreinim; }
    void Setignoreinim(bool on);

    // Take over an input array. A length L other than W sets FFTSize and
    // WindowSize to L (and so raises EFFTError for L < 2). Should W change
    // later, the inputs are cut or zero-extended to W at the next transform.
    void SetInRe(tdoublearr values);
    void SetInIm(tdoublearr values);
    // SetInRe without giving up storage: the input takes `values` and
    // `values` gets the previous input's array back, so a caller that fills
    // one frame after another allocates nothing once the sizes are fixed.
    void SwapInRe(tdoublearr& values);
    const tdoublearr& GetInRe() const { return finre; }
    const tdoublearr& GetInIm() const { return finim; }
    // 16-bit samples as real input, with zero imaginary input.
    void SetInChunk(const std::int16_t* values, std::size_t count);
    void SetInChunk(const tsmallintarr& values) { SetInChunk(values.data(), values.size()); }

    // true marks every output dirty.
    void SetDirty(bool dirty);

    // Outputs, N values each; the references stay valid until the next call
    // that changes N.
    const tdoublearr& GetOutRe();
    const tdoublearr& GetOutIm();
    const tcomplexarr& GetOutComplex();
    // 10 log10 |X|^2; -3250 for an exactly zero bin, 0 where it overflows.
    const tdoublearr& GetOutdB();
    const tdoublearr& GetOutAbs();
    const tdoublearr& GetOutAbs2();
    // The angle of X in (-pi, pi]; 0 for an exactly zero bin.
    const tdoublearr& GetOutPhase();
    // The window, N values (zero from W on).
    const tdoublearr& GetWin();

private:
    void set_size_log(int k);
    void mark_outputs_dirty();
    void build_tables();
    void build_window();
    void transform();
    void transform_real();
    void transform_complex();

    std::size_t ffftsize = 256;
    int flogfftsize = 8;
    std::size_t fwindowsize = 256;
    TFFTWindow fwindow = TFFTWindow::Hamming;
    double fwindowleftskew = 0.5;
    double fwindowrightskew = 0.5;
    double fwindowskew = 0.5;
    bool fremovedc = true;
    bool fignoreinim = true;

    tdoublearr finre, finim;
    tdoublearr foutre, foutim, foutdb, foutabs, foutabs2, foutphase;
    tcomplexarr foutcomplex;
    tdoublearr fwin;
    // Twiddles by stage: entries [d, 2d) hold cos and sin of 2 pi f / (2d),
    // f < d, for the stage of span d. The last stage's entries are
    // cos(2 pi i / N) and sin(2 pi i / N) for i < N / 2, the rest of the full
    // tables follows from their symmetry.
    tdoublearr fcos, fsin;
    std::vector<std::uint32_t> bitflip;
    // The real-input transform with its own tables.
    tfftreal freal;

    bool farrdirty = true;  // N changed: tables and arrays
    bool fwindirty = true;  // W, window type or a skew changed
    bool ffftdirty = true;
    bool foutcompdirty = true;
    bool fdbdirty = true;
    bool fabsdirty = true;
    bool fabs2dirty = true;
    bool fphasedirty = true;
};

}  // namespace tessal
