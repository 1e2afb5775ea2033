// Code page 437 tables and the two conversions (see codepage437.h).
#include "engine/formats/codepage437.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace tessal {

namespace {

// Unicode code points of the bytes 0x80 to 0xFF.
constexpr std::array<char32_t, 128> high_half = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Sorted (code point, byte) pairs for writing, built once.
struct treverse {
    std::array<std::pair<char32_t, std::uint8_t>, 128 + 3> map{};
    treverse() {
        for (std::size_t i = 0; i < 128; ++i) map[i] = {high_half[i], static_cast<std::uint8_t>(0x80 + i)};
        // Look-alikes: Greek small mu, Greek small beta, ohm sign.
        map[128] = {0x03BC, 0xE6};
        map[129] = {0x03B2, 0xE1};
        map[130] = {0x2126, 0xEA};
        std::sort(map.begin(), map.end());
    }
    int find(char32_t c) const {
        auto it = std::lower_bound(map.begin(), map.end(), std::pair<char32_t, std::uint8_t>{c, 0});
        return it != map.end() && it->first == c ? it->second : -1;
    }
};

// Decodes one UTF-8 character at s[i]; advances i. Returns U+FFFD for a
// malformed, overlong or truncated sequence (one byte consumed).
char32_t next_utf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<std::uint8_t>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t c = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        c = b0 & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<std::uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += len;
    return c;
}

}  // namespace

std::string cp437_to_utf8(std::string_view oem) {
    std::string out;
    out.reserve(oem.size());
    for (char ch : oem) {
        const auto b = static_cast<std::uint8_t>(ch);
        append_utf8(out, b < 0x80 ? char32_t(b) : high_half[b - 0x80]);
    }
    return out;
}

std::string utf8_to_cp437(std::string_view utf8) {
    static const treverse reverse;
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t c = next_utf8(utf8, i);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        const int b = reverse.find(c);
        out += b >= 0 ? static_cast<char>(b) : '?';
    }
    return out;
}

}  // namespace tessal
