// Shared sample and list array types. Every channel and every signal inside a
// process is a tsinglearr of 32-bit floats in physical units; the other
// arrays are for analysis results, channel lists and packed file samples.
// tsinglearr is a tsamplearr (samplearr.h): the interface of std::vector,
// storage suited to hour-long signals.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/dsp/samplearr.h"

namespace tessal {

using tsinglearr = tsamplearr<float>;
using tdoublearr = std::vector<double>;
using tintarr = std::vector<std::int32_t>;
using tsmallintarr = std::vector<std::int16_t>;
using tbytearr = std::vector<std::uint8_t>;

// A packed 3-byte little-endian integer, as 24-bit PCM stores it.
struct tint24 {
    std::uint8_t b[3];
};
using tint24arr = std::vector<tint24>;

// The sample coding a channel came from and is exported with.
enum class tFormat : int { pcm = 0, ieeefloat = 1, ulaw = 2, alaw = 3 };

}  // namespace tessal
