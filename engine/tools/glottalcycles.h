// Every glottal cycle of a flow signal, found without marking.
//
// The cycles are bounded by the glottal closure instants: the negative peaks
// of the flow derivative (the MDR peaks the T-naq window snaps onto). They
// are picked in two steps:
//  - candidates: the local minima of the derivative that reach at least a
//    quarter of the deepest value within one longest period on either side
//    (so that ripple of the closed phase is no candidate next to a real
//    peak), 30 % of the deepest value within a quarter second (so that the
//    noise of a short pause is none) and 2 % of the deepest of the span;
//    of a flat bottom its first sample;
//  - period-consistent picking by dynamic programming over the candidates
//    in time order: a chain of peaks scores the sum of their relative
//    depths (depth over that local deepest value, 0.25 ... 1) minus
//    |ln(T_k / T_k-1)| for every change of period; neighbours in a chain
//    lie between the shortest and the longest period apart. A peak that
//    would split a cycle in two pays 2 ln 2 for the two period jumps, more
//    than its depth brings, while a voice that really jumps an octave for
//    a few cycles pays ln 2 twice and gains a peak per cycle. The best
//    chain is traced back from the end; before its start the best chain
//    ending there is traced, and so on, so pauses split the span into
//    several chains.
// Two neighbouring peaks of one chain bound one cycle. Each cycle is then
// measured exactly as the T-naq window measures a marked period (its check
// of the cycle included). The closed phase is the longest stretch inside
// the period where the flow rests: within a tenth of the peak-to-peak value
// above the cycle's minimum and changing at most a tenth of the MDR. It is
// taken only when it ends before the next MDR peak and lasts at least 5 %
// of the period (a flow that only turns at its minimum, as a sinusoid,
// rests for less).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/tools/glottalflow.h"

namespace tessal {

class tchannel;

struct tcycleoptions {
    double f0min = 50.0, f0max = 500.0;  // Hz: the longest and shortest period
};

// The closure instants (sample indices, ascending) of the derivative
// der[0 .. n). Consecutive instants bound a cycle when they are at most one
// longest period apart.
std::vector<std::size_t> find_closures(const double* der, std::size_t n, double fs,
                                       const tcycleoptions& opt = {});

// The closed phase of the period [a, b] of g's segment (g measured), as
// segment sample indices; false when there is none (see above).
bool find_closed_phase(const tglottalflow& g, int& from, int& to);

struct tcyclecount {
    int found = 0;     // cycles between closure instants in the span
    int measured = 0;  // of them, those the T-naq check accepted
};

// Measures every cycle of `flow` (flow samples, index 0 at time `t0`,
// rate fs); `each` gets the measured state of each accepted cycle in time
// order. Its filename, channel name and unit are the caller's to set on the
// first call (they stay set). The flow peak is looked for in the period
// before the cycle, so the first cycle of a chain (after a pause or at the
// start) is counted but not measured; cycles that start before sample
// `firstcycle` are neither.
tcyclecount measure_cycles(const std::vector<double>& flow, double fs, double t0, const tcycleoptions& opt,
                           const std::function<void(tglottalflow&)>& each, std::size_t firstcycle = 0);

// The same over a channel's span [from, to) seconds (the previous period
// read from before `from` when the channel has it). With `derivative` the
// channel holds the flow derivative: its flow is the running integral of
// the derivative high-passed forward and backward at `hp` Hz (no phase
// shift), as the inverse filter makes a microphone signal's flow.
tcyclecount measure_channel_cycles(const tchannel& ch, double from, double to, bool derivative, double hp,
                                   const tcycleoptions& opt,
                                   const std::function<void(tglottalflow&)>& each);

}  // namespace tessal
