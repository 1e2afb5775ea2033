// Checked conversion to the packed 24-bit integer (see int24.h).
#include "engine/formats/int24.h"

#include <string>

namespace tessal {

tint24 int32_to_int24(std::int32_t v) {
    if (v > 8388607) throw EInt24Error("Int24 overflow: " + std::to_string(v));
    if (v < -8388608) throw EInt24Error("Int24 underflow: " + std::to_string(v));
    const auto u = static_cast<std::uint32_t>(v);
    return tint24{{static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                   static_cast<std::uint8_t>(u >> 16)}};
}

}  // namespace tessal
