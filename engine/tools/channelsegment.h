// The samples of a channel from a time on, as the Invira and T-naq windows
// take their segments: sample i is the channel's sample i after the one
// nearest `time` (its x-shift counted), 0 before and after the signal.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/core/tchannel.h"
#include "engine/dsp/arrays.h"

namespace tessal {

class tchannelsegment {
public:
    // Copies the samples i = first..last (both inclusive) the caller will
    // ask for; other i read as 0. The segment keeps nothing of the channel.
    tchannelsegment(const tchannel& ch, double time, int first, int last)
        : fbase(std::llround(time * ch.sampfreq) - ch.xshift) {
        const long long n = ch.sample_count();
        flo = std::clamp(fbase + first, 0LL, n);
        const long long hi = std::clamp(fbase + static_cast<long long>(last) + 1, flo, n);
        fsig = ch.samples_array(flo, hi);
    }
    double operator()(int i) const {
        const long long k = fbase + i - flo;
        return k >= 0 && k < static_cast<long long>(fsig.size())
                   ? static_cast<double>(fsig[static_cast<std::size_t>(k)])
                   : 0.0;
    }

private:
    long long fbase, flo;
    tsinglearr fsig;
};

}  // namespace tessal
