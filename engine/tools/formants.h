// Formant frequencies and bandwidths over time from linear prediction.
//
// The analysis (each step as the Praat manual describes "Sound: To Formant
// (burg)"): the signal is resampled to twice the formant ceiling (the
// windowed-sinc resampler of the resampling step), pre-emphasised with
// y[i] = x[i] - alpha x[i-1], alpha = exp(-2 pi F / fs) for F = 50 Hz, and
// cut into frames one time step apart, each under a Gaussian window
// (exp(-12 (u - 1/2)^2) - e^-12) / (1 - e^-12), u in 0..1, twice as long as
// the window length asked for (the effective length). Burg's method fits 2n
// poles (n formants); the roots of A(z) above the real axis give candidates
// F = arg(z) fs / 2 pi, B = -ln|z| fs / pi, those below 50 Hz and above the
// ceiling less 50 Hz left out.
//
// Tracking: the candidates of each frame are given to the slots F1..Fn in
// order of frequency (a candidate may be left out, and one slot below a
// filled one may stay empty), and the cheapest path of such assignments
// through all frames is found by dynamic programming (Viterbi, going on
// from each frame's 64 cheapest assignments), after McCandless (1974, IEEE
// Trans. ASSP 22, 135-141) and Talkin (1987, JASA 82 S55, "Speech formant
// trajectory estimation using dynamic programming with modulated transition
// costs"). A frame's cost grows with each slot's distance from the uniform
// tube's resonance (2i - 1) ceiling / 2n, with each slot's bandwidth,
// with each empty slot (as dear as a candidate one spacing ceiling / n off
// its reference and one spacing wide; one below a filled slot, which
// renumbers the formants above it, dearer still) and with each narrow
// candidate left out; a step's cost grows with every slot's frequency jump
// and with every slot that fills or empties.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/analysis/lpc.h"
#include "engine/dsp/arrays.h"

namespace tessal {

struct tformantsettings {
    double maxformant = 5500;  // ceiling, Hz
    int nformants = 5;
    double step = 0.01;        // s between frames
    double window = 0.025;     // effective window length, s
    double preemphasis = 50;   // Hz
};

// The settings' faults as a sentence ("" when none): a ceiling not above
// 100 Hz, a formant count outside 1..10, a step or window not positive.
std::string formant_settings_fault(const tformantsettings& s);

struct tformantcandidate {
    double f = 0, bw = 0;  // Hz
};

// One frame: its centre time (s from the first sample of the input) and
// its candidates in ascending frequency.
struct tformantframe {
    double time = 0;
    std::vector<tformantcandidate> candidates;
};

// The signal the frames are cut from: resampled and pre-emphasised.
struct tformantsignal {
    tsinglearr x;
    double fs = 0;     // its rate: twice the ceiling, or the input's rate when that is lower
    double fsin = 0;   // the input's rate
    double alpha = 0;  // the pre-emphasis coefficient used
};
tformantsignal formant_signal(const float* x, std::size_t n, double fs, const tformantsettings& s);

// The frames' centre times for a signal of n samples at fs: as many whole
// windows (twice the window length) as fit, one step apart, centred on the
// signal. None when not even one fits.
std::vector<double> formant_frame_times(std::size_t n, double fs, const tformantsettings& s);

// The candidates of an LPC model at rate fs, between lo and hi Hz.
std::vector<tformantcandidate> lpc_formants(const tlpc& m, double fs, double lo, double hi);

// One frame of the prepared signal centred at time t (zeros outside the
// signal), with its model.
struct tformantmodel {
    tformantframe frame;
    tlpc lpc;
    double fs = 0, fsin = 0, alpha = 0;
    double windowpower = 0;  // mean square of the window
};
tformantmodel formant_model_at(const tformantsignal& sig, double t, const tformantsettings& s);

// The model's power spectral density at f Hz in dB per sample at the
// input's rate (10 log10 of power per Hz times fsin): the pre-emphasis and
// the window's power taken back out, so that a stationary signal's
// spectrum lies on it. -400 where it cannot be computed.
double formant_model_db(const tformantmodel& m, double f);

// All frames of x. `progress` hears the fraction done now and then and
// stops the work by answering false (then the frames so far come back).
std::vector<tformantframe> formant_frames(const float* x, std::size_t n, double fs, const tformantsettings& s,
                                          const std::function<bool(double)>& progress = {});

// The tracks: f[k * n + i] and b[k * n + i] for frame k and formant i
// (0-based), NaN where the frame has no candidate for the slot.
struct tformanttracks {
    int n = 0;
    std::vector<double> times, f, b;
    std::size_t frames() const { return times.size(); }
    double F(std::size_t k, int i) const { return f[k * static_cast<std::size_t>(n) + i]; }
    double B(std::size_t k, int i) const { return b[k * static_cast<std::size_t>(n) + i]; }
};
tformanttracks track_formants(const std::vector<tformantframe>& frames, const tformantsettings& s);

// formant_frames, then track_formants.
tformanttracks formants(const float* x, std::size_t n, double fs, const tformantsettings& s,
                        const std::function<bool(double)>& progress = {});

}  // namespace tessal
