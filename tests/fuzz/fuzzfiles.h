// Scratch files for the libFuzzer targets: one private folder per process,
// removed at exit, and a way to put an input's bytes into a file there.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessal::fuzz {

// Kept alive on purpose: the exit handler runs after static destructors.
inline const std::string& folder() {
    static const std::string* dir = [] {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string templ = (base / "tessal_fuzz_XXXXXX").string();
        if (!::mkdtemp(templ.data())) std::abort();
        auto* d = new std::string(templ);
        std::atexit([] {
            std::error_code e;
            std::filesystem::remove_all(folder(), e);
        });
        return d;
    }();
    return *dir;
}

inline std::string path(const std::string& name) { return folder() + "/" + name; }

inline void put(const std::string& name, std::string_view bytes) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

inline std::string_view view(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tessal::fuzz
