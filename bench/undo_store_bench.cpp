// What undo steps cost on a 1-hour 48 kHz channel (172.8 M samples, 691 MB
// of floats), printed as plain figures (not a Google Benchmark: each figure
// is one run of a long edit sequence):
//
//  - 100 undoable small edits (16 samples overwritten at places spread over
//    the hour, each its own step as run_guarded makes it): the bytes the
//    history says it holds, the growth of resident memory (VmRSS) and of
//    the block cache's bytes in memory over the 100 steps, the time per
//    step; then all 100 undone and the channel checked sample for sample.
//  - Delete of 10 minutes in the middle and Paste of the same samples back
//    (two steps; the paste inserts the deleted samples' store), beside one
//    memmove of the whole channel's floats measured in the same run (the
//    reference: an array that moves every later sample on each edit).
//
// While a channel holds one float array, edits move samples and slices are
// copies; once it holds a block store, slices share blocks and the edits
// cost O(extents). The program runs either way.
//   tessal-undobench [scratch folder]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/history/undohistory.h"
#include "engine/store/blocks.h"

namespace {

using namespace tessal;
using benchclock = std::chrono::steady_clock;

constexpr double sf = 48000;
constexpr std::size_t nsamples = static_cast<std::size_t>(3600 * sf);

float signal_at(std::size_t k) { return static_cast<float>(k % 1000) * 1e-3f - 0.5f; }

double resident_mb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

double seconds_since(benchclock::time_point t0) {
    return std::chrono::duration<double>(benchclock::now() - t0).count();
}

bool intact(const tchannel& ch) {
    if (ch.sample_count() != static_cast<std::int64_t>(nsamples)) return false;
    bool ok = true;
    ch.for_each_chunk(0, ch.sample_count(), [&](const float* p, std::size_t n, std::int64_t pos) {
        for (std::size_t j = 0; j < n && ok; ++j)
            if (p[j] != signal_at(static_cast<std::size_t>(pos) + j)) ok = false;
    });
    return ok;
}

template <class F>
void step(tundohistory& h, const char* name, F&& work) {
    h.begin(name);
    work();
    h.commit();
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path scratch =
        argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    tdocument doc;
    // Budget: 2 GB, more than the channel, so nothing is spilled and the
    // cache's figures are the memory the samples take.
    auto cache = std::make_shared<tblockcache>(std::size_t(2) << 30, scratch);
    doc.set_block_cache(cache);
    tundohistory history(doc);
    history.set_budget(std::size_t(4) << 30);
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = sf;
    {
        std::vector<float> piece(1 << 20);
        for (std::size_t done = 0; done < nsamples;) {
            const std::size_t n = std::min(piece.size(), nsamples - done);
            for (std::size_t j = 0; j < n; ++j) piece[j] = signal_at(done + j);
            ch.append_samples(piece.data(), n);
            done += n;
        }
    }
    history.clear();
    std::printf("channel: %zu samples, %.0f MB of floats; VmRSS %.0f MB, cache in memory %.0f MB\n",
                nsamples, nsamples * 4.0 / 1e6, resident_mb(), cache->stats().bytes_in_memory / 1e6);

    // 100 small edits.
    const double rss0 = resident_mb();
    const double cache0 = static_cast<double>(cache->stats().bytes_in_memory);
    auto t0 = benchclock::now();
    for (int k = 0; k < 100; ++k) {
        const auto at = static_cast<std::int64_t>((static_cast<std::size_t>(k) * 1'727'999) % (nsamples - 16));
        step(history, "Zero", [&] {
            doc.samples_changing(ch, static_cast<std::size_t>(at), static_cast<std::size_t>(at) + 16);
            const float z[16] = {};
            ch.write_samples(at, z, 16);
        });
    }
    const double per_edit = seconds_since(t0) / 100;
    std::printf("100 small edits: %.3f ms per step; history says %.2f MB; VmRSS +%.1f MB; "
                "cache in memory +%.1f MB\n",
                per_edit * 1e3, history.memory_bytes() / 1e6, resident_mb() - rss0,
                (static_cast<double>(cache->stats().bytes_in_memory) - cache0) / 1e6);
    t0 = benchclock::now();
    while (history.undo()) {
    }
    std::printf("undo of the 100 steps: %.1f ms; channel %s\n", seconds_since(t0) * 1e3,
                intact(ch) ? "intact" : "DIFFERS");
    history.clear();

    // Delete of 10 minutes and Paste of them back, beside one memmove.
    const auto a = static_cast<std::int64_t>(1800 * sf), b = static_cast<std::int64_t>(2400 * sf);
    t0 = benchclock::now();
    tsamplestore clip;
    step(history, "Cut", [&] {
        clip = ch.samples_slice(a, b);
        doc.samples_changing(ch, static_cast<std::size_t>(a), static_cast<std::size_t>(b));
        ch.erase_samples(a, b);
    });
    const double cut = seconds_since(t0);
    const double held = history.memory_bytes() / 1e6;
    t0 = benchclock::now();
    step(history, "Paste", [&] {
        doc.samples_changing(ch, static_cast<std::size_t>(a), static_cast<std::size_t>(a));
        ch.insert_samples(a, clip);
    });
    const double paste = seconds_since(t0);
    std::vector<float> buf(nsamples + static_cast<std::size_t>(sf), 0.25f);
    t0 = benchclock::now();
    std::memmove(buf.data() + static_cast<std::size_t>(sf), buf.data(), nsamples * sizeof(float));
    const double move = seconds_since(t0);
    std::printf("Cut of 10 min: %.1f ms (history %.1f MB); Paste back: %.1f ms; "
                "one memmove of the channel: %.1f ms; channel %s\n",
                cut * 1e3, held, paste * 1e3, move * 1e3, intact(ch) ? "intact" : "DIFFERS");
    std::printf("VmRSS at the end %.0f MB\n", resident_mb());
    return 0;
}
