// Helpers for the WAVE tests: a private temporary folder, whole-file byte
// access, running sox, and a builder for hand-made RIFF files (so that the
// reader can be fed exactly the damaged or unusual layouts under test).
#pragma once

#include "support/tempdirtest.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace tessal::testing {

namespace fs = std::filesystem;
using tbytes = std::vector<std::uint8_t>;

class twavtempdir : public ttempdirtest {};

inline tbytes read_bytes(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return tbytes(std::istreambuf_iterator<char>(f), {});
}

inline void write_bytes(const std::string& name, const tbytes& b) {
    std::ofstream f(name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline bool have_sox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

// Runs a shell command; fails the test when it does not succeed.
inline void run(const std::string& cmd) { ASSERT_EQ(std::system((cmd + " 2>/dev/null").c_str()), 0) << cmd; }

template <class T>
std::vector<T> read_raw(const std::string& name) {
    const tbytes b = read_bytes(name);
    std::vector<T> r(b.size() / sizeof(T));
    std::memcpy(r.data(), b.data(), r.size() * sizeof(T));
    return r;
}

inline void put16(tbytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(tbytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline std::uint32_t get32(const tbytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::uint16_t get16(const tbytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// The payload of a "fmt " chunk: 16 bytes, or 18 / 40 bytes for the longer
// records (with the sub-format code in the GUID's first two bytes).
inline tbytes fmt_payload(std::uint16_t tag, std::uint16_t nchans, std::uint32_t rate, std::uint16_t bits,
                          int length = 16, std::uint16_t subformat = 0) {
    tbytes p;
    const std::uint16_t align = static_cast<std::uint16_t>(nchans * (bits / 8));
    put16(p, tag);
    put16(p, nchans);
    put32(p, rate);
    put32(p, rate * align);
    put16(p, align);
    put16(p, bits);
    if (length >= 18) put16(p, static_cast<std::uint16_t>(length - 18));
    if (length >= 40) {
        put16(p, bits);
        put32(p, 0);
        put16(p, subformat);
        const std::uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                       0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        p.insert(p.end(), rest, rest + 14);
    }
    p.resize(static_cast<std::size_t>(length), 0);
    return p;
}

// A RIFF file assembled chunk by chunk. Chunks get their pad byte unless told
// not to; riff_size() fills in the RIFF size (or leaves what was forced).
struct triffbuilder {
    tbytes b{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    triffbuilder& chunk(const char* id, const tbytes& payload, bool pad = true) {
        return chunk_sized(id, payload, static_cast<std::uint32_t>(payload.size()), pad);
    }
    // A chunk whose stated size need not match its payload.
    triffbuilder& chunk_sized(const char* id, const tbytes& payload, std::uint32_t size, bool pad = true) {
        b.insert(b.end(), id, id + 4);
        put32(b, size);
        b.insert(b.end(), payload.begin(), payload.end());
        if (pad && (payload.size() & 1)) b.push_back(0);
        return *this;
    }
    tbytes bytes(std::int64_t riffsize = -1) const {
        tbytes r = b;
        const auto s = static_cast<std::uint32_t>(riffsize < 0 ? r.size() - 8 : riffsize);
        for (int i = 0; i < 4; ++i) r[4 + i] = static_cast<std::uint8_t>(s >> (8 * i));
        return r;
    }
};

}  // namespace tessal::testing
