// A correlogram trace made from the autocorrelation F0 tracker (the F0
// step's path tracking, f0ac.h) instead of by hand: one point per voiced
// frame, its band centred on the frame's F0 (so its lag is 1 / F0) and as
// wide as a point the user adds, and a cut point in every unvoiced stretch,
// so the trace has no band where the tracker found no voicing. The
// extraction (make_f0_channels) then runs along it as along a drawn trace.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/analysis/correlogram.h"
#include "engine/process/f0ac.h"

namespace tessal {

class tworksig;

// The tracker's F0 range for a strip's lag range: on a frequency axis its
// ends lo..hi (Hz); on a time axis the frequencies of its periods, 1000 / hi
// .. 1000 / lo (ms), where an axis reaching down to lag 0 has no highest
// F0 and the top of the frequency axis's default range is taken. The top is
// kept below 0.45 fs (the tracker needs lags of two samples and more). False
// with a message for the user when no range of 1 Hz or more remains.
bool correlogram_f0_range(const tcorrelogramsettings& s, double axislo, double axishi, double fs,
                          double& minf0, double& maxf0, std::string& error);

// The trace of the samples x (rate fs, the first at time t0 s) from the
// tracker run with `ac` (minf0 and maxf0 from correlogram_f0_range): a
// point at every voiced frame's centre, its band trace_point_at(t, F0,
// width), and one cut point at the first frame of every unvoiced stretch
// before, between and after the voiced ones. Empty when no frame is voiced.
// False when `progress` (told the fraction done now and then) answered
// false; `out` is then left as it was.
bool trace_from_f0(const tworksig& x, double fs, double t0, const tf0acsettings& ac, double width,
                   std::vector<TTracePoint>& out, const std::function<bool(double)>& progress = {});

}  // namespace tessal
