// ITU-T G.711 companding: 8-bit A-law and mu-law codes to and from 16-bit
// linear samples. The expansions are exact (every code has one linear value);
// the compressions take any 16-bit value and pick the code of the segment and
// step it falls in, the way the G.711 reference encoder does (A-law on the top
// 13 bits, mu-law on the top 14 bits with its bias of 33 and clipping at 8159).
#pragma once

#include <cstdint>

namespace tessal {

std::uint8_t linear_to_alaw(std::int16_t v);
std::uint8_t linear_to_ulaw(std::int16_t v);
std::int16_t alaw_to_linear(std::uint8_t code);
std::int16_t ulaw_to_linear(std::uint8_t code);

}  // namespace tessal
