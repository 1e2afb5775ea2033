// Which samples a save writes. Channels are aligned by their xshift: the
// file runs from the earliest first sample (or time 0 when every channel
// starts later) to the latest last sample, or over the selection when one is
// given (from < to, half-open: round(from * rate) up to but not including
// round(to * rate)). A channel contributes its samples where it has them and
// zeros elsewhere.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/core/tdocument.h"

namespace tessal {

// Indices [first, last) of the channel's own samples inside the saved span.
struct tsavespan {
    long long first = 0;
    long long last = 0;
};

// The time-index range [begin, end) of the file for these channels.
struct tfilespan {
    long long begin = 0;
    long long end = 0;
    long long length() const { return end > begin ? end - begin : 0; }
};

tfilespan file_span(const tdocument& doc, const std::vector<int>& chans, double from, double to);
tsavespan save_span_of(const tchannel& ch, double from, double to);


}  // namespace tessal
