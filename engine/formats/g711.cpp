// G.711 A-law and mu-law companding (see g711.h). Both directions are
// computed arithmetically; the WAVE reader builds its own 256-entry tables from
// the expansions, so nothing here needs to be fast.
#include "engine/formats/g711.h"

namespace tessal {
namespace {

// Upper ends of the eight segments, in the units each law works in.
constexpr int alaw_segment_end[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
constexpr int ulaw_segment_end[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};

int segment_of(int v, const int (&ends)[8]) {
    for (int s = 0; s < 8; ++s)
        if (v <= ends[s]) return s;
    return 8;
}

constexpr int ulaw_bias = 0x84;  // 33 in the 14-bit units, 132 in 16-bit units
constexpr int ulaw_clip = 8159;  // largest 14-bit magnitude mu-law can represent

}  // namespace

std::uint8_t linear_to_alaw(std::int16_t v) {
    int x = v >> 3;  // A-law works on 13 bits
    int mask;
    if (x >= 0) {
        mask = 0xD5;  // sign bit set, even bits inverted
    } else {
        mask = 0x55;
        x = -x - 1;
    }
    const int seg = segment_of(x, alaw_segment_end);
    if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    int code = seg << 4;
    code |= (seg < 2) ? ((x >> 1) & 0x0F) : ((x >> seg) & 0x0F);
    return static_cast<std::uint8_t>(code ^ mask);
}

std::int16_t alaw_to_linear(std::uint8_t code) {
    const int a = code ^ 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    switch (seg) {
        case 0: t += 8; break;
        case 1: t += 0x108; break;
        default: t = (t + 0x108) << (seg - 1); break;
    }
    return static_cast<std::int16_t>((a & 0x80) ? t : -t);
}

std::uint8_t linear_to_ulaw(std::int16_t v) {
    int x = v >> 2;  // mu-law works on 14 bits
    int mask;
    if (x < 0) {
        x = -x;
        mask = 0x7F;
    } else {
        mask = 0xFF;
    }
    if (x > ulaw_clip) x = ulaw_clip;
    x += ulaw_bias >> 2;
    const int seg = segment_of(x, ulaw_segment_end);
    if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    const int code = (seg << 4) | ((x >> (seg + 1)) & 0x0F);
    return static_cast<std::uint8_t>(code ^ mask);
}

std::int16_t ulaw_to_linear(std::uint8_t code) {
    const int u = static_cast<std::uint8_t>(~code);
    int t = ((u & 0x0F) << 3) + ulaw_bias;
    t <<= (u & 0x70) >> 4;
    return static_cast<std::int16_t>((u & 0x80) ? (ulaw_bias - t) : (t - ulaw_bias));
}

}  // namespace tessal
