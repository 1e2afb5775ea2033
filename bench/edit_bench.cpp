// Editing an hour-long channel (16 kHz, 57.6 M samples).
// edit_delete_paste: Delete of 1 s in the middle followed by Paste of the
// same second back at the same place, through the commands (confirmation
// answered, clipboard in memory); edit_memmove_reference: the two moves of
// the tail that any in-place delete and insert must make, by std::memmove.
// edit_levels_all: Edit levels "Constant level" over the whole channel;
// edit_scale_reference: a bare multiply loop over the same samples.
// edit_checkpoint_16M: the checkpoint every guarded command takes, on a
// document of 16 M samples (the most it copies samples for);
// edit_checkpoint_memcpy_reference: one memcpy of those samples into
// memory that is already mapped.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/core/clipboard.h"
#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/history/checkpoint.h"
#include "engine/document/editcommands.h"
#include "engine/document/levels.h"

namespace {

using namespace tessal;

constexpr double sf = 16000;
constexpr std::size_t nsamples = static_cast<std::size_t>(3600 * sf);

void fill_document(tdocument& doc) {
    doc.set_totnchans(1);
    tchannel& c = doc.channel(0);
    c.sampfreq = sf;
    tsinglearr x(nsamples);
    for (std::size_t k = 0; k < nsamples; ++k) x[k] = static_cast<float>(k % 1000) * 1e-3f;
    c.set_samples(std::move(x));
    doc.selectmode = selmono;
}

void edit_delete_paste(benchmark::State& state) {
    tdocument doc;
    fill_document(doc);
    tfixedprompter yes(tanswer::yes);
    tmemoryblockclipboard clip;
    teditcommands cmd(doc, yes, clip);
    for (auto _ : state) {
        doc.theglobal.set_selection(1800.0, 1801.0);
        cmd.cut();
        cmd.paste();
        std::int64_t n = doc.channel(0).sample_count();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nsamples * 4));
}

void edit_memmove_reference(benchmark::State& state) {
    std::vector<float> v(nsamples + 16001, 0.5f);
    const std::size_t at = nsamples / 2, n = 16000;
    for (auto _ : state) {
        std::memmove(v.data() + at, v.data() + at + n, (nsamples - at - n) * 4);
        std::memmove(v.data() + at + n, v.data() + at, (nsamples - at - n) * 4);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nsamples * 4));
}

void edit_levels_all(benchmark::State& state) {
    tdocument doc;
    fill_document(doc);
    doc.theglobal.set_selection(0, 3600);
    tlevelchange c{constantlevel, 0.001, 0, 30};
    for (auto _ : state) {
        edit_levels(doc, c);
        std::int64_t n = doc.channel(0).sample_count();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nsamples * 4));
}

void edit_scale_reference(benchmark::State& state) {
    std::vector<float> v(nsamples, 0.5f);
    const double g = 1.0001;
    for (auto _ : state) {
        float* p = v.data();
        for (std::size_t i = 0; i < nsamples; ++i) p[i] = static_cast<float>(p[i] * g);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(nsamples * 4));
}

void edit_checkpoint_16M(benchmark::State& state) {
    tdocument doc;
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) doc.channel(c).set_samples(tsinglearr(8u << 20, 0.25f));
    for (auto _ : state) {
        tdocumentcheckpoint cp(doc);
        benchmark::DoNotOptimize(&cp);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>((16u << 20) * 4));
}

void edit_checkpoint_memcpy_reference(benchmark::State& state) {
    std::vector<float> a(16u << 20, 0.25f), b(16u << 20, 0.5f);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 4);
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>((16u << 20) * 4));
}

}  // namespace

BENCHMARK(edit_delete_paste)->Unit(benchmark::kMillisecond);
BENCHMARK(edit_memmove_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(edit_levels_all)->Unit(benchmark::kMillisecond);
BENCHMARK(edit_scale_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(edit_checkpoint_16M)->Unit(benchmark::kMillisecond);
BENCHMARK(edit_checkpoint_memcpy_reference)->Unit(benchmark::kMillisecond);
