// libFuzzer target: arbitrary bytes as a WAVE file. Opens them, reads every
// channel as floats and channel 0 as integers, and writes what was read back
// out, checking that nothing crashes, reads out of bounds or allocates more
// than the file can hold, and that every failure is a TWavFile error.
// Built and run by scripts/fuzz.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/formats/twavfile.h"

namespace {

std::string temp_name(const char* what) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    return (dir / ("tessal_fuzz_wav_" + std::to_string(::getpid()) + "_" + what + ".wav")).string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string in = temp_name("in");
    static const std::string out = temp_name("out");
    if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        std::abort();
    }

    using namespace tessal;
    TWavFile w;
    if (!w.open_file(in, true)) {
        if (w.Getopenerror().empty()) std::abort();  // a refusal always says why
        return 0;
    }
    // What open promises the arrays will hold must fit in the file.
    const std::int64_t bytes = w.Getnbits() / 8;
    if (w.Getnsamples() < 0 || w.Getnsamples() * w.Getnchans() * bytes > static_cast<std::int64_t>(size)) std::abort();

    std::vector<tsinglearr> chans;
    try {
        for (int c = 0; c < w.Getnchans() && c < 64; ++c) {
            chans.emplace_back();
            w.read_channel(c, chans.back());
            if (static_cast<std::int64_t>(chans.back().size()) != w.Getnsamples()) std::abort();
        }
    } catch (const EWavFileError&) {
        return 0;
    }
    try {
        tintarr ints;
        w.read_channel(0, ints);
        if (ints.size() != chans[0].size()) std::abort();
    } catch (const EWavFileError&) {
    }
    w.close_file();

    // Write back what was read, in the file's own coding.
    try {
        w.save_file(out, chans, true, size % 2 == 1);
        TWavFile r;
        if (!r.open_file(out, true) || r.Getnsamples() != static_cast<std::int64_t>(chans[0].size())) std::abort();
    } catch (const EWavFileError&) {
    } catch (const EFileSaveError&) {
    }
    std::remove(out.c_str());
    return 0;
}
