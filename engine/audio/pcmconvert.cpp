#include "engine/audio/pcmconvert.h"

#include <algorithm>
#include <cmath>

namespace tessal {

std::int16_t to_int16(double x, bool dither, tditherrandom& rnd) {
    if (std::isnan(x)) return 0;
    if (dither) {
        x = std::clamp(x, -32766.0, 32765.0);
        double u1 = rnd.next();
        double u2 = rnd.next();
        return static_cast<std::int16_t>(std::nearbyint(x + u1 - u2));
    }
    if (x > 32767) return 32767;
    if (x < -32768) return -32768;
    return static_cast<std::int16_t>(std::nearbyint(x));  // default mode: ties to even
}

int play_chunk_samples(int sftot) {
    double v = sftot * 0.046439909297052154;
    int k = v > 0 ? static_cast<int>(std::lround(std::log2(v))) : 8;
    k = std::clamp(k, 8, 24);
    return 1 << k;
}

int record_chunk_samples(int sftot) {
    double v = sftot / 20.0;
    int k = v >= 1 ? static_cast<int>(std::trunc(std::log2(v))) : 0;
    k = std::min(k, 24);
    return std::max(1 << k, 128);
}

}  // namespace tessal
