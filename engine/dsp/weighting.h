// The A and C frequency weightings, built from the filter sections:
// c = LP(HP(x)) is C-weighted and sec3(sec2(c)) A-weighted, each scaled to
// unity gain at 1 kHz. tweightingfilters holds the four designed sections;
// tweightingchain is the same chain as normalised kernels by value, for
// loops that run it over long blocks (the measurement pass, level
// computations, calibration) with its state in registers.
#pragma once

#include "engine/dsp/tfiltersection.h"

namespace tessal {

class tweightingfilters {
public:
    THPFilterSection weightfilter1;   // high-pass 20.6 Hz, Q 0.5
    TRealFilterSection weightfilter2; // pole 107.7 Hz, zero 0.01 Hz
    TRealFilterSection weightfilter3; // pole 737.9 Hz, zero 0.01 Hz
    TLPFilterSection weightfilter4;   // low-pass 12194.2 Hz, Q 0.5

    // Designs all four for the rate fs and clears their state. The low-pass
    // is left out when its corner is not below half the rate.
    void set_rate(double fs);
    bool uselowpass() const { return fuselowpass; }
    double gainA() const { return fgainA; }
    double gainC() const { return fgainC; }

private:
    bool fuselowpass = true;
    double fgainA = 1, fgainC = 1;
};

// step() gives the C- and A-weighted samples up to the constant factors
// scaleC and scaleA (apply them to the results, e.g. to sums of squares as
// their squares). uselp must equal uselowpass() of the filters it was made
// from.
struct tweightingchain {
    tsecondorderkernel hp, lp;
    tfirstorderkernel s2, s3;
    double scaleC = 1, scaleA = 1;

    template <bool uselp>
    void step(double x, double& a, double& c) {
        c = hp.step(x);
        if constexpr (uselp) c = lp.step(c);
        a = s3.step(s2.step(c));
    }
};

// The chain of filters designed for their rate, at rest.
tweightingchain weighting_chain(const tweightingfilters& filters);

}  // namespace tessal
