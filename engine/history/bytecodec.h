// The byte layout shared by the journal and the recording spool: little
// helpers that append numbers, strings, float arrays and a channel's state
// to a byte vector and read them back, with every read bounded by what is
// there (a short or damaged record throws std::runtime_error, never reads
// past its end), and the FNV-1a checksum the files frame their records with.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/history/channelstate.h"

namespace tessal {

std::uint64_t fnv1a(const std::uint8_t* p, std::size_t n, std::uint64_t h = 1469598103934665603ull);

struct tbytewriter {
    std::vector<std::uint8_t> b;
    template <class T>
    void raw(const T& v) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        b.insert(b.end(), p, p + sizeof(T));
    }
    void u8(std::uint8_t v) { raw(v); }
    void u64(std::uint64_t v) { raw(v); }
    void i64(std::int64_t v) { raw(v); }
    void f64(double v) { raw(v); }
    void str(const std::string& s) {
        u64(s.size());
        b.insert(b.end(), s.begin(), s.end());
    }
    void floats(const float* p, std::size_t n) {
        u64(n);
        const auto* q = reinterpret_cast<const std::uint8_t*>(p);
        b.insert(b.end(), q, q + n * sizeof(float));
    }
    void state(const tchannelstate& s);
};

struct tbytereader {
    const std::uint8_t* p;
    std::size_t n, at = 0;
    void need(std::size_t k) {
        if (k > n - at) throw std::runtime_error("record ends early");
    }
    template <class T>
    T raw() {
        need(sizeof(T));
        T v;
        std::memcpy(&v, p + at, sizeof(T));
        at += sizeof(T);
        return v;
    }
    std::uint8_t u8() { return raw<std::uint8_t>(); }
    std::uint64_t u64() { return raw<std::uint64_t>(); }
    std::int64_t i64() { return raw<std::int64_t>(); }
    double f64() { return raw<double>(); }
    std::string str();
    std::vector<float> floats();
    // A count of items of at least `each` bytes that must still fit.
    std::size_t count(std::size_t each);
    tchannelstate state();
};

}  // namespace tessal
