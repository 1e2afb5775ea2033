// The vocal tract by quasi-closed-phase analysis (QCP: Airaksinen, Raitio,
// Story & Alku 2014, "Quasi closed phase glottal inverse filtering analysis
// with weighted linear prediction", IEEE/ACM TASLP 22, 596-607), on top of
// IAIF (iaif.h) as its first pass.
//
// Linear prediction from the autocorrelation sees the harmonics of a high
// voice: when one lies near F1 it pulls the pole there. Weighted linear
// prediction (WLP) instead minimises sum_n W(n) e(n)^2 over the samples,
// e(n) = s(n) + a1 s(n-1) + ... + ap s(n-p), the covariance method with a
// weight on each residual sample. When the glottis is closed the excitation
// is zero and e(n) is the tract's alone, so giving those samples the weight
// gives back the tract whatever the F0. QCP weights the whole cycle but the
// main excitation: the attenuated-main-excitation (AME) function of Alku et
// al. 2013 (JASA 134, 1295-1313) is 1 except, around each glottal closure
// instant (GCI) g of a period T, the stretch
//     [g - pq T, g - pq T + (1 - dq) T)
// where it is `floor`, reached and left by linear ramps `ramp` long.
//
// The steps here:
//  1. IAIF over the span gives a first tract; the high-passed signal
//     through it is a first flow derivative;
//  2. the GCIs are that derivative's negative peaks (find_closures of
//     glottalcycles.h, the cycle picking the T-naq tools use); fewer than
//     two of them (an unvoiced or too short span) leave IAIF's result;
//  3. the tract is WLP with the AME weights on the high-passed signal
//     through IAIF's source model Ag2 (which takes the source's tilt off, as
//     IAIF's second pass does), solved by Cholesky with a floor on the
//     diagonal; roots outside the unit circle are reflected inside (the
//     covariance method does not promise a minimum-phase polynomial).
//  4. the inverse filter window cancels complex pairs only: real roots, the
//     tilt, are left out as IAIF's are, and so are pairs below
//     `refine.below` broader than `widest` or than their own frequency:
//     no formant is that broad, they are the source's residual tilt in a
//     band the tract leaves empty, and cancelling them tilts the flow (its
//     NAQ rises). Broad pairs above that band model a noise floor (white
//     noise over a voice whose spectrum falls); cancelling them keeps the
//     noise out of the derivative, at the price of its sharpest detail.
//  5. three candidates: QCP's pairs without any broad pair, QCP's with
//     the noise floor's, and IAIF's with the noise floor's (in noise the
//     covariance method may spend a pole on the floor where F1 is, and
//     IAIF's F1 is the better start); in each the formants below
//     `refine.below` are refined by the closed-phase ripple
//     (closedphase.h), which takes them the last step where a harmonic
//     near F1 pulled the estimate.
//  6. of IAIF's own formants and the three candidates, the one whose
//     derivative (the high-passed signal through the cascade the window
//     would build) moves least in the closed phases relative to its mean
//     square is taken: the flat closed phase that closed-phase inverse
//     filtering looks for (Wong, Markel & Gray 1979). A clean voice thus
//     keeps no broad pair, a noisy one those that hold the noise down.
// The result is IAIF's (tiaifresult): the formants feed the inverse filter
// window as IAIF's do.
//
// A span may be an hour long: IAIF hands over its high-passed input, the
// weights are made block by block as the sums go, and besides that input
// only one filtered signal is held at a time.
#pragma once

#include <cstddef>

#include "engine/store/samplestore.h"
#include "engine/tools/closedphase.h"
#include "engine/tools/iaif.h"

namespace tessal {

class tchannel;
class tjobcontext;

struct tqcpoptions {
    tiaifoptions iaif;     // the first pass, and the order, high-pass and flow high-pass of the result
    double dq = 0.7;       // duration quotient: the weighted share of each period
    double pq = 0.05;      // position quotient: the attenuation starts this share of the period before the GCI
    double ramp = 0.875e-3;  // s, the ramps into and out of the attenuation
    double floor = 1e-5;   // the weight of the attenuated samples
    double f0min = 50, f0max = 500;  // Hz, the periods the GCIs may lie apart
    double widest = 1000;  // Hz: broader pairs of QCP's model are tilt or noise rather than formants (see qcp)
    double closedfrom = 0.1, closedto = 0.3;  // the closed phase, shares of the period after each GCI
    tformantrefine refine;  // of QCP's formants (its bwmax is `widest`)
};

// The weights (0 ... 1) of n samples with GCIs at `gcis` (ascending):
// periods are the distances to the next GCI (the last GCI takes its
// previous period); GCIs further apart than 1 / f0min bound no period.
std::vector<double> ame_weights(std::size_t n, const std::vector<std::size_t>& gcis, double fs,
                                const tqcpoptions& opt);
// The same weights of samples [from, to) only, into w[0 .. to - from).
void ame_weights(std::size_t from, std::size_t to, const std::vector<std::size_t>& gcis, double fs,
                 const tqcpoptions& opt, double* w);

// Weighted covariance linear prediction of order p: A(z) = 1, a1, ..., ap
// minimising sum over n in [p, size) of w[n] e(n)^2. All-zero weights or
// signal give {1, 0, ..., 0}.
std::vector<double> weighted_lpc(const std::vector<double>& s, const std::vector<double>& w, int p,
                                 const tjobcontext* job = nullptr);
// The same with the AME weights of `gcis`, made block by block as the sums
// go (a long span needs no weights array of its own).
std::vector<double> weighted_lpc_ame(const std::vector<double>& s, const std::vector<std::size_t>& gcis, double fs,
                                     const tqcpoptions& opt, int p, const tjobcontext* job = nullptr);

// QCP over x[0 .. n) at rate fs (a microphone signal; high-passed here).
// `gcicount`, when given, gets the number of GCIs used (0: IAIF's result).
// With `job` it looks for cancelling and tells its progress.
tiaifresult qcp(const double* x, std::size_t n, double fs, const tqcpoptions& opt = {},
                tjobcontext* job = nullptr, int* gcicount = nullptr);
// A channel's span [from, to) seconds as a slice of its store (sharing its
// blocks), for a job to estimate from while the document may change.
tsamplestore estimate_span(const tchannel& ch, double from, double to);
// Over such a slice at rate fs.
tiaifresult qcp_slice(const tsamplestore& span, double fs, const tqcpoptions& opt = {}, tjobcontext* job = nullptr);
// Over a channel's span [from, to) seconds.
tiaifresult qcp_channel(const tchannel& ch, double from, double to, const tqcpoptions& opt = {},
                        tjobcontext* job = nullptr);

}  // namespace tessal
