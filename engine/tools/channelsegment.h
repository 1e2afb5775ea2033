// The samples of a channel from a time on, as the Invira and T-naq windows
// take their segments: sample i is the channel's sample i after the one
// nearest `time` (its x-shift counted), 0 before and after the signal.
#pragma once

#include <cmath>
#include <cstddef>

#include "engine/core/tchannel.h"

namespace tessal {

class tchannelsegment {
public:
    tchannelsegment(const tchannel& ch, double time)
        : fsig(ch.sig.data()),
          fbase(std::llround(time * ch.sampfreq) - ch.xshift),
          fn(static_cast<long long>(ch.sig.size())) {}
    double operator()(int i) const {
        const long long k = fbase + i;
        return k >= 0 && k < fn ? static_cast<double>(fsig[static_cast<std::size_t>(k)]) : 0.0;
    }

private:
    const float* fsig;
    long long fbase, fn;
};

}  // namespace tessal
