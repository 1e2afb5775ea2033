// What the store tests share: a sample source computing its samples from a
// formula and counting its reads, and a private scratch folder per test.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "engine/store/blocks.h"

namespace tessal::storetest {

// Sample i of the formula source: distinct enough that a sample from the
// wrong place, block or offset shows.
inline float formula(std::int64_t i) {
    const auto h = static_cast<std::uint64_t>(i) * 2654435761u % 1000003u;
    return static_cast<float>(h) * 1e-6f - 0.5f;
}

class tformulasource : public tsamplesource {
public:
    void read(std::int64_t from, std::size_t n, float* out) const override {
        ++reads;
        samples += n;
        for (std::size_t k = 0; k < n; ++k) out[k] = formula(from + static_cast<std::int64_t>(k));
    }
    mutable std::atomic<std::int64_t> reads{0};
    mutable std::atomic<std::int64_t> samples{0};
};

// A fresh folder under the temporary folder, removed with its contents.
class ttempfolder {
public:
    ttempfolder() {
        std::random_device rd;
        path = std::filesystem::temp_directory_path() /
               ("tessal-store-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path);
    }
    ~ttempfolder() {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path, ec);
    }
    ttempfolder(const ttempfolder&) = delete;
    ttempfolder& operator=(const ttempfolder&) = delete;
    std::filesystem::path path;
};

inline constexpr std::size_t block_bytes = block_samples * sizeof(float);

}  // namespace tessal::storetest
