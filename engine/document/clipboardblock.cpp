#include "engine/document/clipboardblock.h"

#include <bit>
#include <cstring>
#include <limits>

namespace tessal {

namespace {

void put_u32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t get_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void put_f32(std::uint8_t* p, float v) { put_u32(p, std::bit_cast<std::uint32_t>(v)); }
float get_f32(const std::uint8_t* p) { return std::bit_cast<float>(get_u32(p)); }

void put_samples(std::uint8_t* p, const std::vector<float>& s) {
    if constexpr (std::endian::native == std::endian::little) {
        if (!s.empty()) std::memcpy(p, s.data(), s.size() * 4);
    } else {
        for (float x : s) put_f32(p, x), p += 4;
    }
}

void get_samples(const std::uint8_t* p, std::vector<float>& s) {
    if constexpr (std::endian::native == std::endian::little) {
        if (!s.empty()) std::memcpy(s.data(), p, s.size() * 4);
    } else {
        for (float& x : s) x = get_f32(p), p += 4;
    }
}

}  // namespace

std::vector<std::uint8_t> serialise_clipblock(const tclipblock& block) {
    const auto maxcount = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (block.chans.size() > maxcount)
        throw EClipboardError("Too many channels for the clipboard");
    std::size_t size = 8;
    for (const tclipchannel& c : block.chans) {
        if (c.samples.size() > maxcount / 4)
            throw EClipboardError("The selection is too long for the clipboard");
        size += 12 + 4 * c.samples.size();
    }
    std::vector<std::uint8_t> out(size);
    std::uint8_t* p = out.data();
    put_u32(p, static_cast<std::uint32_t>(block.chans.size()));
    put_f32(p + 4, block.start);
    p += 8;
    for (const tclipchannel& c : block.chans) {
        put_u32(p, static_cast<std::uint32_t>(c.samples.size()));
        put_f32(p + 4, c.sampfreq);
        put_f32(p + 8, c.fsd);
        p += 12;
        put_samples(p, c.samples);
        p += 4 * c.samples.size();
    }
    return out;
}

tclipblock parse_clipblock(const std::vector<std::uint8_t>& bytes) {
    const char* damaged = "The clipboard holds damaged sampled data";
    if (bytes.size() < 8) throw EClipboardError(damaged);
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size() - 8;
    auto nchans = static_cast<std::int32_t>(get_u32(p));
    tclipblock block;
    block.start = get_f32(p + 4);
    p += 8;
    // Every channel needs at least its 12-byte header.
    if (nchans < 0 || static_cast<std::size_t>(nchans) > left / 12) throw EClipboardError(damaged);
    block.chans.resize(static_cast<std::size_t>(nchans));
    for (tclipchannel& c : block.chans) {
        if (left < 12) throw EClipboardError(damaged);
        auto n = static_cast<std::int32_t>(get_u32(p));
        c.sampfreq = get_f32(p + 4);
        c.fsd = get_f32(p + 8);
        p += 12;
        left -= 12;
        if (n < 0 || static_cast<std::size_t>(n) > left / 4) throw EClipboardError(damaged);
        c.samples.resize(static_cast<std::size_t>(n));
        get_samples(p, c.samples);
        p += 4 * static_cast<std::size_t>(n);
        left -= 4 * static_cast<std::size_t>(n);
    }
    if (left != 0) throw EClipboardError(damaged);
    return block;
}

}  // namespace tessal
