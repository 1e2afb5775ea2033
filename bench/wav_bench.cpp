// WAVE reading and writing of a 10-minute 48 kHz stereo recording, 16 and
// 24 bits, beside libsndfile doing the same work and a plain memcpy of the
// file's bytes. Reading is open + every channel into its own float array;
// writing is two float channels to a complete file. Files live in the
// system's temporary folder and are made once per run.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/formats/twavfile.h"
#include "benchsignals.h"

namespace {

using namespace tessal;

constexpr int rate = 48000;
constexpr std::size_t frames = 10 * 60 * rate;

std::string bench_path(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tessal_wav_bench_" + name)).string();
}

const std::vector<tsinglearr>& test_channels() {
    static const std::vector<tsinglearr> chans = bench::noisy_stereo(frames, 1);
    return chans;
}

// The recording, written once by Tessal.
const std::string& source_file(int bits) {
    static std::string names[33];
    std::string& name = names[bits];
    if (name.empty()) {
        name = bench_path("src" + std::to_string(bits) + ".wav");
        TWavFile w;
        w.Setsampfreq(rate);
        w.Setnbits(static_cast<std::uint32_t>(bits));
        w.Setfullscale(0, 1.0);
        w.Setfullscale(1, 1.0);
        w.save_file(name, test_channels(), false, false);
    }
    return name;
}

void BM_memcpy_file_bytes(benchmark::State& state) {
    const auto size = std::filesystem::file_size(source_file(static_cast<int>(state.range(0))));
    std::vector<char> src(size, 1), dst(size, 2);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), size);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// What the output alone costs: fresh float arrays for every channel, each
// written once from a small cached block (page faults and memory traffic).
void BM_fresh_float_arrays(benchmark::State& state) {
    const std::vector<float> block(16384, 0.25f);
    for (auto _ : state) {
        std::vector<tsinglearr> chans(2);
        for (auto& c : chans) {
            c.reserve(frames);
            for (std::size_t start = 0; start < frames; start += block.size())
                c.insert(c.end(), block.begin(), block.begin() + std::min(block.size(), frames - start));
        }
        benchmark::DoNotOptimize(chans[1].data());
    }
}

void BM_tessal_read(benchmark::State& state) {
    const std::string& name = source_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TWavFile w;
        if (!w.open_file(name, true)) state.SkipWithError("open failed");
        std::vector<tsinglearr> chans(static_cast<std::size_t>(w.Getnchans()));
        for (int c = 0; c < w.Getnchans(); ++c) w.read_channel(c, chans[static_cast<std::size_t>(c)]);
        benchmark::DoNotOptimize(chans[1].data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(name)));
}

// libsndfile into one plain std::vector<float> per channel, as a program
// built on it would: the reference for opening a document.
template <class Arr>
void sndfile_read(benchmark::State& state) {
    const std::string& name = source_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* sf = sf_open(name.c_str(), SFM_READ, &info);
        if (!sf) state.SkipWithError("sf_open failed");
        const auto nch = static_cast<std::size_t>(info.channels);
        std::vector<Arr> chans(nch);
        for (auto& c : chans) c.reserve(static_cast<std::size_t>(info.frames));
        constexpr sf_count_t block = 16384;
        std::vector<float> buf(block * nch), tmp(block);
        sf_count_t got;
        while ((got = sf_readf_float(sf, buf.data(), block)) > 0) {
            for (std::size_t c = 0; c < nch; ++c) {
                for (sf_count_t f = 0; f < got; ++f) tmp[f] = buf[f * nch + c];
                chans[c].insert(chans[c].end(), tmp.begin(), tmp.begin() + got);
            }
        }
        sf_close(sf);
        benchmark::DoNotOptimize(chans[1].data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(name)));
}

void BM_sndfile_read(benchmark::State& state) { sndfile_read<std::vector<float>>(state); }
// The same into the program's own sample arrays (no zero fill, huge pages).
void BM_sndfile_read_samplearr(benchmark::State& state) { sndfile_read<tsinglearr>(state); }

// libsndfile's least work: all frames into one interleaved float array.
void BM_sndfile_read_interleaved(benchmark::State& state) {
    const std::string& name = source_file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* sf = sf_open(name.c_str(), SFM_READ, &info);
        if (!sf) state.SkipWithError("sf_open failed");
        std::unique_ptr<float[]> all(new float[static_cast<std::size_t>(info.frames * info.channels)]);
        sf_readf_float(sf, all.get(), info.frames);
        sf_close(sf);
        benchmark::DoNotOptimize(all.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(name)));
}

void BM_tessal_write(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const std::string name = bench_path("out" + std::to_string(bits) + ".wav");
    TWavFile w;
    w.Setsampfreq(rate);
    w.Setnbits(static_cast<std::uint32_t>(bits));
    w.Setfullscale(0, 1.0);
    w.Setfullscale(1, 1.0);
    const auto& chans = test_channels();
    for (auto _ : state) w.save_file(name, chans, true, false);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(name)));
    std::filesystem::remove(name);
}

void BM_sndfile_write(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const std::string name = bench_path("sfout" + std::to_string(bits) + ".wav");
    const auto& chans = test_channels();
    for (auto _ : state) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | (bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16);
        SNDFILE* sf = sf_open(name.c_str(), SFM_WRITE, &info);
        if (!sf) state.SkipWithError("sf_open failed");
        constexpr std::size_t block = 16384;
        std::vector<float> buf(block * 2);
        for (std::size_t start = 0; start < frames; start += block) {
            const std::size_t n = std::min(block, frames - start);
            for (std::size_t f = 0; f < n; ++f) {
                buf[2 * f] = chans[0][start + f];
                buf[2 * f + 1] = chans[1][start + f];
            }
            sf_writef_float(sf, buf.data(), static_cast<sf_count_t>(n));
        }
        sf_close(sf);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(name)));
    std::filesystem::remove(name);
}

BENCHMARK(BM_memcpy_file_bytes)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fresh_float_arrays)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_tessal_read)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sndfile_read)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sndfile_read_samplearr)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sndfile_read_interleaved)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_tessal_write)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sndfile_write)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);

}  // namespace
