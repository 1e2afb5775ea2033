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

#include "engine/dsp/tfiltersection.h"

namespace tessal {

class tchannel;
class tdocument;

// The A and C frequency weightings as a chain of filter sections:
// c = LP(HP(x)) is C-weighted, sec3(sec2(c)) A-weighted, each scaled to
// unity gain at 1 kHz by gA and gC.
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

// Measures one channel over L..R. `weighted` runs the A and C chain
// (otherwise rmsA and rmsC are 0).
void measure_channel(tchannel& ch, double L, double R, bool weighted, double threshold,
                     tweightingfilters& filters);

// The pass over the document: sets histdirty on every channel, then
// measures every channel of the edit set over the current selection,
// reporting progress through `status` (may be null).
void run_measurement_pass(tdocument& doc, tweightingfilters& filters,
                          const std::function<void(const std::string&)>& status);

// Recomputes the amplitude histogram of the selection when histdirty:
// bin = round(x / fsd * 32767) clipped to -32768..32767, one count per
// sample. A channel without FSD keeps an all-zero histogram.
void fix_hist(tchannel& ch, double L, double R);

}  // namespace tessal
