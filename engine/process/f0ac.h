// Autocorrelation F0 with path tracking: the fifth algorithm of the F0 step
// and of tessal-cli f0.
//
// The signal is cut into frames every `timestep` seconds, each a Hann
// window of three periods of the lowest F0. A frame's autocorrelation
// (through the FFT: the power spectrum transformed again) is divided by
// the window's own autocorrelation, which undoes the window's taper of the
// longer lags, and normalised to 1 at lag 0. Its local maxima between the
// lags of the highest and the lowest F0 are placed to a fraction of a
// sample (a parabola through the three samples, then windowed sinc
// interpolation of the normalised autocorrelation) and become voiced
// candidates whose strength is the height of the maximum less a small cost
// for lower octaves. Each frame also has an unvoiced candidate, stronger in
// frames far quieter than the loudest part of the signal. The path through
// the frames' candidates that maximises the summed strengths less the
// costs of octave jumps and of voicing changes (Viterbi) gives the contour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/dsp/fftkernels.h"

namespace tessal {

class tworksig;

struct tf0acsettings {
    double minf0 = 50, maxf0 = 400;  // Hz
    double timestep = 0.01;           // s between frame centres
    double voicingthreshold = 0.45;   // the unvoiced candidate's base strength
    double silencethreshold = 0.03;   // frames quieter than this share of the peak lean unvoiced
    double octavecost = 0.01;         // per octave below the lowest F0's lag, favouring high F0
    double octavejumpcost = 0.35;     // per octave between successive voiced frames (at 10 ms)
    double voicedunvoicedcost = 0.14; // per change of voicing (at 10 ms)
    int maxcandidates = 15;           // per frame, the unvoiced one included
};

// The contour frame by frame: frame i is centred on first + i * step
// seconds (sample j covering j / fs to (j + 1) / fs).
struct tf0acframes {
    double first = 0, step = 0.01;
    std::vector<float> f0;  // Hz, 0 unvoiced
    double time(std::size_t i) const { return first + static_cast<double>(i) * step; }
    // The F0 at time t: linear between two voiced frames, the nearer
    // frame's otherwise, 0 more than half a step outside the frames.
    double at(double t) const;
};

// One frame's analysis with its buffers and FFT tables: nothing is
// allocated per frame.
class tf0acworkspace {
public:
    tf0acworkspace(double fs, const tf0acsettings& s);
    std::size_t window() const { return w_; }
    // The voiced candidates (frequency, strength) of the w samples at x,
    // strongest first, at most maxcandidates - 1; `peak` gets the largest
    // distance from the frame's mean of a sample in its middle third.
    void candidates(const float* x, std::vector<std::pair<float, float>>& out, double& peak);

private:
    double interpolate(double t) const;
    double refine(double& t) const;

    double fs_;
    tf0acsettings s_;
    std::size_t w_ = 0, n_ = 0, maxlag_ = 0, minlag_ = 0;
    tfftreal fft_;
    std::vector<double> x_, win_, re_, im_, power_, r_, rw_;
};

// The frames of a signal of rate fs. `progress` gets 0..1; a silent or
// too short signal gives unvoiced frames (or none).
tf0acframes f0_ac_frames(const tworksig& x, double fs, const tf0acsettings& s,
                         const std::function<void(double)>& progress = {});

}  // namespace tessal
