// Conversions between 32-bit integers and the packed 3-byte tint24 of 24-bit
// PCM. Converting a value outside -8388608..8388607 refuses with
// EInt24Error("Int24 overflow: <value>") or ("Int24 underflow: <value>")
// instead of wrapping; writers clip before they convert.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "engine/dsp/arrays.h"

namespace tessal {

class EInt24Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

tint24 int32_to_int24(std::int32_t v);

inline std::int32_t int24_to_int32(tint24 t) {
    const std::uint32_t u = static_cast<std::uint32_t>(t.b[0]) | (static_cast<std::uint32_t>(t.b[1]) << 8) |
                            (static_cast<std::uint32_t>(t.b[2]) << 16);
    return static_cast<std::int32_t>(u << 8) >> 8;  // sign-extend from bit 23
}

}  // namespace tessal
