// The correlogram's "Extract F0/T0": F0 (or T0 on a time axis), the peak
// correlation and the candidate width along a channel within its trace's
// band (extract_f0), written into channels of the document. The window and
// tessal-cli correlogram both call make_f0_channels, so the channels they
// make are the same sample for sample.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/analysis/correlogram.h"

namespace tessal {

class tdocument;
class tprompter;

// The undo step the window's extraction is.
inline constexpr const char* make_f0_channels_caption = "Extract F0/T0";

// Where an extraction writes: per output whether it is made and the
// channel it goes into (-1, or the analysed channel itself: a new channel).
struct tf0targets {
    bool f0t0 = true, correlation = true, width = false;
    int f0t0chan = -1, correlationchan = -1, widthchan = -1;
};

struct tf0channels {
    // notrace: the analysed channel has no trace points ("No trace set" was
    // said); interrupted: `progress` answered false; nothing was written in
    // either case. done: the outputs asked for were written (none when no
    // output was ticked).
    enum class toutcome { notrace, interrupted, done } outcome = toutcome::notrace;
    // The channels written, in the order F0/T0, correlation, width (only
    // the ticked ones).
    std::vector<int> channels;
};

// Extracts along `trace` from channel `chno` and writes the ticked outputs:
// each into its chosen channel (written over) or a new channel appended to
// the document. Every output has the analysed rate divided by the output
// step (1 with "keeprate", else "skip"), the time shift divided likewise,
// 32-bit float samples, reference 1, no stereo partner, origin "Tessal
// correlogram" and is not shown in the correlation window. Names and units:
// name + " F0" ("Hz") or + " T0" ("s", on a time axis) with full scale
// `f0t0fsd` (the strip axis's top; 1 when not positive), name + "
// Correlation" (full scale 1.1), name + " Candidate Width" ("%", 100). The
// document becomes modified; overwritten channels hear `properties`, and
// the channel list, fix_things and a repaint are announced. "No trace set"
// (caption "Correlogram") goes to the prompter when the trace is empty.
// `progress` hears the fraction done now and then and cancels by answering
// false. A channel number outside the document gives notrace without a
// message.
tf0channels make_f0_channels(tdocument& doc, int chno, const std::vector<TTracePoint>& trace,
                             const tcorrelogramsettings& s, const tf0settings& e,
                             const tf0targets& targets, double f0t0fsd, tprompter& prompter,
                             const std::function<bool(double)>& progress = {});

// make_f0_channels in two steps, for a window whose extraction runs on a
// worker: extract_f0 over a slice of channel `chno` there, then this on
// the document's thread writes `out` as make_f0_channels would (outcome
// done; notrace without writing when `chno` is no longer a channel).
tf0channels write_f0_channels(tdocument& doc, int chno, tf0extraction& out, const tcorrelogramsettings& s,
                              const tf0settings& e, const tf0targets& targets, double f0t0fsd);

}  // namespace tessal
