// The measurement pass: statistics of a channel over the selection (peak,
// minimum and maximum, mean, mean of the positive samples and of the samples
// above a threshold, standard deviations, integral, RMS and A- and
// C-weighted RMS), stored in the channel's result fields.
//
// Contract: the selection L..R (seconds) covers the sample indices
// round(L*fs - xshift) .. round(R*fs - xshift), both ends included and
// clamped to the samples. The weighting chain runs only when asked for
// (items 28 or 29 shown); it starts one second before the selection so that
// its filters have settled. The samples are read once; the standard
// deviations come from block sums about a per-block shift, combined so that
// a large offset does not cancel the spread. A value that cannot be formed
// (no positive sample, no sample above the threshold, an empty channel,
// non-finite samples) is stored as NaN, which the items show as "-".
#pragma once

#include <functional>
#include <string>

#include "engine/dsp/weighting.h"

namespace tessal {

class tchannel;
class tdocument;

// Measures one channel over L..R. `weighted` runs the A and C chain
// (otherwise rmsA and rmsC are 0).
void measure_channel(tchannel& ch, double L, double R, bool weighted, double threshold,
                     tweightingfilters& filters);

// The pass over the document: measures every channel of the edit set over
// the current selection, reporting progress through `status` (may be null).
void run_measurement_pass(tdocument& doc, tweightingfilters& filters,
                          const std::function<void(const std::string&)>& status);

}  // namespace tessal
