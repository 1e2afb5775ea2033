// Automatic inverse filtering: iterative adaptive inverse filtering (IAIF,
// Alku 1992, "Glottal wave analysis with pitch synchronous iterative
// adaptive inverse filtering", Speech Communication 11, 109-118).
//
// From a microphone (sound pressure) signal s, already high-passed:
//  1. Hg1: a first-order all-pole model of s, the glottal source's tilt;
//  2. s filtered through its inverse Ag1(z) leaves mostly the tract, and
//     Hvt1, an all-pole model of order p (about fs/1000 + 2) of that;
//  3. s through Avt1(z), integrated (cancelling the lip radiation): a first
//     glottal flow g1;
//  4. Hg2: an all-pole model of order g (2 ... 4) of g1, the source better;
//  5. s through Ag2(z), integrated: the tract alone, and Hvt2 of order p;
//  6. s through Avt2(z) is the flow derivative, integrated the flow.
// Each all-pole model is the autocorrelation method's (Levinson-Durbin) on
// the autocorrelation summed over Hann-windowed frames of 32 ms, half a
// frame apart, so one model stands for a whole selection and a long span
// costs only its length. The autocorrelation gets a Gaussian lag window
// (20 Hz) and a noise floor 60 dB down, which keep the poles off single
// harmonics and out of empty bands. The integrations are leaky (pole at
// 0.99). Like every LPC-based inverse filter this is least sure when a
// harmonic lies near the first formant (a high voice on /i/ or /u/).
//
// For the inverse filter window the tract model Avt2 becomes the elements
// of the cascade: each complex root pair r, r* of Avt2 an inverse formant
// at f = arg(r) fs / 2 pi with bandwidth B = -ln|r| fs / pi (the zero
// section of that frequency and bandwidth has exactly the factor
// (1 - r/z)(1 - r*/z)). A real root has no frequency and bandwidth of its
// own; it only tilts the spectrum, which IAIF gives to the source, so it is
// left out (and counted). The window then runs as for a microphone signal:
// its derivative output is the pressure through the cascade, its flow
// output the same high-passed forward and backward (at `flowhp`, below the
// analysis' own high-pass so that a low voice's flow keeps its shape) and
// integrated.
#pragma once

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/analysis/polyroots.h"
#include "engine/tools/invfilter.h"

namespace tessal {

class tchannel;
class tjobcontext;

struct tiaifoptions {
    int order = 0;          // of the tract model; 0: round(fs/1000) + 2
    int glottalorder = 4;   // of the second source model
    double hp = 40.0;       // Hz, the high-pass run forward and backward before the analysis
    double flowhp = 20.0;   // Hz, the high-pass of the window's flow output the estimate sets
    double leak = 0.99;     // the integrators' pole
    double frame = 0.032;   // s, the frames the models' autocorrelation is summed over
    double lagwindow = 20;  // Hz, the Gaussian smoothing of every model's spectrum
    double noisefloor = 1e-6;  // white noise added to every model's input, relative (-60 dB)
};

struct tiaifresult {
    std::vector<double> tract;   // Avt2: 1, a1, ..., ap
    std::vector<double> source;  // Ag2: 1, a1, ..., ag
    std::vector<tformant> formants;  // the inverse formants, by frequency
    int realroots = 0;           // real roots of Avt2 left out
    double hp = 0;               // the high-pass of the flow output the filter assumes
    tinvsignaltype signaltype = tinvsignaltype::mic;
    bool ok = false;             // false: too few samples or silence
    std::string problem;         // why not, for the user
};

// The tract order used for fs when options.order is 0.
int iaif_default_order(double fs);

// IAIF over x[0 .. n) at rate fs (a microphone signal; high-passed here).
// With `job` it looks for cancelling between its models.
tiaifresult iaif(const double* x, std::size_t n, double fs, const tiaifoptions& opt = {},
                 tjobcontext* job = nullptr);
// The two halves of iaif, for an analysis that goes on with the same
// input: iaif_prepare checks the span and makes s (x's samples, as
// doubles) the input IAIF works on, non-finite samples zeroed and
// high-passed both ways at opt.hp; false with `problem` set when there is
// nothing to estimate from. iaif_prepared is IAIF over such an s.
bool iaif_prepare(std::vector<double>& s, double fs, const tiaifoptions& opt, std::string& problem);
tiaifresult iaif_prepared(const std::vector<double>& s, double fs, const tiaifoptions& opt,
                          tjobcontext* job = nullptr);
// Over a channel's span [from, to) seconds.
tiaifresult iaif_channel(const tchannel& ch, double from, double to, const tiaifoptions& opt = {});

// The filter's elements from IAIF: the formants replace every element, and
// the signal type and high-pass are those IAIF assumed. The frequencies and
// bandwidths are rounded as a filter file writes them.
void apply_iaif(tinvfilter& filter, const tiaifresult& r);

// y = A(z) x, A given as a[0 .. p] (an FIR filter; zeros before the start).
std::vector<double> fir_through(const std::vector<double>& a, const std::vector<double>& x);
// The same into y (resized to x's length), which may hold an earlier signal.
void fir_through(const std::vector<double>& a, const std::vector<double>& x, std::vector<double>& y);

// The inverse formants of A(z) = c[0] + c[1]/z + ... as described above;
// `realroots` counts the roots left out.
std::vector<tformant> formants_from_polynomial(const std::vector<double>& c, double fs, int* realroots = nullptr);

}  // namespace tessal
