// The closed phase of a voice as the automatic inverse filter judges a tract
// by it. While the glottis is shut the flow does not change, so the flow
// derivative a correct inverse filter leaves rests there: what still moves
// in the closed phases is the formants the filter failed to cancel (Wong,
// Markel & Gray 1979, "Least squares glottal inverse filtering from the
// acoustic speech waveform", IEEE TASSP 27, 350-355: the tract is the one
// that leaves the least closed-phase error).
//
// The closed phase of each period here is the stretch from `from` to `to`
// of the period after its glottal closure instant (GCI): past the return
// phase, before the next opening of any but the most open voices.
//
// refine_formants moves each formant of an estimate, in turn, to the
// frequency and bandwidth whose zero pair leaves the least closed-phase
// ripple with the other formants in place. The ripple of a zero pair
// 1 + c1/z + c2/z^2 over a signal y (y: the input through every other
// section) is a ratio of two quadratic forms in (1, c1, c2), made of the
// 3 x 3 sums of lagged products of y over the closed phases and over the
// whole span; so after one pass over the span per formant every candidate
// costs a few multiplications and the search can be a fine grid. This is
// what takes an estimate the last step where a harmonic near F1 has pulled
// its pole (a high voice on /i/ or /u/): a pole off by 20 Hz or twice too
// narrow leaves a ringing the closed phase shows at once.
//
// The search stays near the estimate: frequencies within `lowest` ...
// `highest` of the estimate's (however many rounds), bandwidths no
// narrower than `narrowing` of the estimate's. A pair the estimate spent on
// something other than a resonance (the pulse shape, a high-pass's slow
// undershoot) could otherwise shrink to a narrow notch that fits whatever
// rests in the closed phase, and notch the flow.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/tools/invfilter.h"

namespace tessal {

class tjobcontext;

struct tclosedphase {
    double f0min = 50;               // Hz: GCIs further apart bound no period
    double from = 0.1, to = 0.3;     // shares of the period after each GCI
};

struct tformantrefine {
    double below = 4000;                 // Hz: formants at or above are left as they are
    double narrowing = 1.0 / 3;          // no bandwidth tried narrower than this share of the estimate's
    double lowest = 0.8, highest = 1.25;  // the frequencies tried, relative to the estimate's
    double fstep = 1.0025;               // ratio between neighbouring frequencies tried
    double bwmin = 15, bwmax = 1000;     // Hz, the bandwidths tried
    double bwstep = 1.02;                // ratio between neighbouring bandwidths tried
    int passes = 8;                      // rounds over the formants at most (fewer once one moves none)
};

// The polynomial of the window's cascade of inverse formants (each pair
// 1 - 2 r cos(2 pi f / fs) z^-1 + r^2 z^-2, r = exp(-pi B / fs)), not
// normalised.
std::vector<double> cascade_polynomial(const std::vector<tformant>& formants, double fs);

// The mean square of s through a over the closed phases of the periods
// between `gcis` (ascending) over its mean square everywhere: how little
// the flow derivative a leaves moves while the glottis is shut. 1 when
// nothing can be judged.
double closed_phase_ripple(const std::vector<double>& s, const std::vector<double>& a,
                           const std::vector<std::size_t>& gcis, double fs, const tclosedphase& cp);

// The formants below `refine.below` moved, each in turn, to the grid point
// of least ripple with the others in place (the formant's own point kept
// when no grid point beats it); rounds over them until one moves none, at
// most `passes`. With `job` it looks for cancelling.
std::vector<tformant> refine_formants(const std::vector<double>& s, std::vector<tformant> formants,
                                      const std::vector<std::size_t>& gcis, double fs, const tclosedphase& cp,
                                      const tformantrefine& refine = {}, const tjobcontext* job = nullptr);

}  // namespace tessal
