// The amplitude histogram of a stretch of one channel: bins -32768..32767
// at index bin + 32768, bin = round(x / fsd * 32767) clipped to that range,
// one count per sample; NaN samples are not counted.
//
// The stretch L..R (seconds) covers the sample indices round(L*fs - xshift)
// .. round(R*fs - xshift), both ends included and clamped to the samples. A
// channel without samples, rate or full scale gives all zeros.
#pragma once

#include <vector>

#include "engine/analysis/analysiscache.h"

namespace tessal {

class tchannel;
class tdocument;

using thistogram = std::vector<double>;
inline constexpr int histogram_bins = 65536;

thistogram amplitude_histogram(const tchannel& ch, double L, double R);

// The key the histogram of channel `chno` over L..R is kept under: its
// samples and its full scale.
tanalysiskey histogram_key(const tchannel& ch, int chno, double L, double R);

// The histogram of channel `chno` over the document's selection, from the
// cache when it holds one.
const thistogram& selection_histogram(tanalysiscache<thistogram>& cache, const tdocument& doc,
                                      int chno);

}  // namespace tessal
