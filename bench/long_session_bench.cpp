// Editing hour-long channels at 48 kHz (172.8 M samples each) the way the
// main window does: each command (Cut, Paste) run between the undo
// history's begin() and commit(), as run_guarded does, the clipboard in
// memory and the confirmation answered.
//
// long_cut_paste_1h: Cut of 1 s in the middle of one channel, then Paste of
// it back at the same place: two undoable steps. Beside it, in the same
// loop, one memmove of the whole channel's floats (the reference; a store
// that moves every sample on an edit costs about this much); the reported
// time is the edit's alone, x_memmove its ratio to the reference.
// long_memmove_1h_reference: that memmove on its own.
// long_edits_8ch_1h: 100 undoable steps on an 8-channel hour (5.5 GB of
// floats): 50 Cuts of 4 samples at places spread over the hour, each
// followed by a Paste of them at another such place. It reports the bytes
// the history says it holds (history_MB), the growth of resident memory
// over the 100 steps (rss_growth_MB, which includes the clipboard and
// anything the edits keep besides the history), the time per step and its
// ratio to one memmove of a channel measured in the same run, and the time
// of undoing all 100 steps, after which every sample is checked against
// the signal the document was made with.
//
// These hold one 1-hour channel twice, or eight once and one once more:
// run them on a machine with 8 GB to spare, e.g.
//   tessal-bench --benchmark_filter=long_
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/core/clipboard.h"
#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/editcommands.h"
#include "engine/history/undohistory.h"

namespace {

using namespace tessal;
using benchclock = std::chrono::steady_clock;

constexpr double sf = 48000;
constexpr std::size_t nsamples = static_cast<std::size_t>(3600 * sf);

// Sample k of channel c of the test signal.
float signal_at(int c, std::size_t k) {
    return static_cast<float>((k + 7 * static_cast<std::size_t>(c)) % 1000) * 1e-3f - 0.5f;
}

void fill_document(tdocument& doc, int nchans) {
    doc.set_totnchans(nchans);
    for (int c = 0; c < nchans; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = sf;
        tsinglearr x(nsamples);
        for (std::size_t k = 0; k < nsamples; ++k) x[k] = signal_at(c, k);
        ch.set_samples(std::move(x));
    }
    doc.selectmode = nchans > 1 ? selall : selmono;
}

bool document_intact(const tdocument& doc) {
    for (int c = 0; c < doc.totnchans(); ++c) {
        const tchannel& ch = doc.channel(c);
        if (ch.sample_count() != static_cast<std::int64_t>(nsamples) || ch.xshift != 0) return false;
        bool same = true;
        ch.for_each_chunk(0, ch.sample_count(), [&](const float* p, std::size_t n, std::int64_t pos) {
            for (std::size_t i = 0; i < n && same; ++i)
                same = p[i] == signal_at(c, static_cast<std::size_t>(pos) + i);
        });
        if (!same) return false;
    }
    return true;
}

// Resident memory of this process in bytes (VmRSS).
double resident_bytes() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) * 1024.0;
    return 0;
}

double seconds_since(benchclock::time_point t0) {
    return std::chrono::duration<double>(benchclock::now() - t0).count();
}

// One command as the main window runs it: its own undoable step.
template <class F>
void step(tundohistory& history, const char* name, F&& work) {
    history.begin(name);
    work();
    history.commit();
}

// A memmove of all n floats of a channel by `by` places, back and forth:
// `buf` holds n + by floats.
struct tmovereference {
    std::vector<float> buf;
    std::size_t by;
    bool up = true;
    tmovereference(std::size_t n, std::size_t by) : buf(n + by, 0.25f), by(by) {}
    double run() {
        const auto t0 = benchclock::now();
        const std::size_t n = buf.size() - by;
        if (up)
            std::memmove(buf.data() + by, buf.data(), n * sizeof(float));
        else
            std::memmove(buf.data(), buf.data() + by, n * sizeof(float));
        up = !up;
        benchmark::DoNotOptimize(buf.data());
        return seconds_since(t0);
    }
};

void long_cut_paste_1h(benchmark::State& state) {
    tdocument doc;
    fill_document(doc, 1);
    tundohistory history(doc);
    tfixedprompter yes(tanswer::yes);
    tmemoryblockclipboard clip;
    teditcommands cmd(doc, yes, clip);
    tmovereference ref(nsamples, static_cast<std::size_t>(sf));
    ref.run();  // its pages touched before the first timing
    double edits = 0, moves = 0;
    for (auto _ : state) {
        const auto t0 = benchclock::now();
        doc.theglobal.set_selection(1800.0, 1801.0);
        step(history, "Cut", [&] { cmd.cut(); });
        step(history, "Paste", [&] { cmd.paste(); });
        const double t = seconds_since(t0);
        state.SetIterationTime(t);
        edits += t;
        moves += ref.run();
    }
    if (history.undo_count() != 2 * static_cast<std::size_t>(state.iterations()) &&
        history.dropped_steps() == 0)
        state.SkipWithError("the edits did not make their undo steps");
    else if (!document_intact(doc))
        state.SkipWithError("Cut and Paste did not give the channel back");
    const double n = static_cast<double>(state.iterations());
    state.counters["memmove_ms"] = moves / n * 1e3;
    state.counters["x_memmove"] = moves > 0 ? edits / moves : 0;
    state.counters["history_MB"] = static_cast<double>(history.memory_bytes()) / 1e6;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nsamples * 4));
}

void long_memmove_1h_reference(benchmark::State& state) {
    tmovereference ref(nsamples, static_cast<std::size_t>(sf));
    ref.run();
    for (auto _ : state) state.SetIterationTime(ref.run());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nsamples * 4));
}

void long_edits_8ch_1h(benchmark::State& state) {
    constexpr int nchans = 8, npairs = 50;
    constexpr double few = 4 / sf;  // 4 samples
    // Places spread over the hour, away from its ends.
    auto place = [](int k) { return 3600.0 * (k + 0.5) / npairs + 0.123; };
    for (auto _ : state) {
        tdocument doc;
        fill_document(doc, nchans);
        tundohistory history(doc);
        tfixedprompter yes(tanswer::yes);
        tmemoryblockclipboard clip;
        teditcommands cmd(doc, yes, clip);
        tmovereference ref(nsamples, 4);
        ref.run();
        const double before = resident_bytes();
        const auto t0 = benchclock::now();
        for (int k = 0; k < npairs; ++k) {
            const double at = place(k), to = place((k * 17 + 25) % npairs);
            doc.theglobal.set_selection(at, at + few);
            step(history, "Cut", [&] { cmd.cut(); });
            doc.theglobal.set_selection(to, to);
            step(history, "Paste", [&] { cmd.paste(); });
        }
        const double edits = seconds_since(t0);
        const double grown = resident_bytes() - before;
        state.SetIterationTime(edits);
        const double move = ref.run();
        const std::size_t held = history.memory_bytes(), steps = history.undo_count();
        const auto t1 = benchclock::now();
        while (history.undo()) {
        }
        const double undone = seconds_since(t1);
        if (steps != 2 * npairs)
            state.SkipWithError("the edits did not make 100 undo steps");
        else if (!document_intact(doc))
            state.SkipWithError("undoing the edits did not give the document back");
        const double perstep = edits / (2 * npairs);
        state.counters["steps"] = static_cast<double>(steps);
        state.counters["history_MB"] = static_cast<double>(held) / 1e6;
        state.counters["rss_growth_MB"] = grown / 1e6;
        state.counters["ms_per_step"] = perstep * 1e3;
        state.counters["memmove_ms"] = move * 1e3;
        state.counters["x_memmove"] = move > 0 ? perstep / move : 0;
        state.counters["undo_all_ms"] = undone * 1e3;
    }
}

}  // namespace

BENCHMARK(long_cut_paste_1h)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(long_memmove_1h_reference)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(long_edits_8ch_1h)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
