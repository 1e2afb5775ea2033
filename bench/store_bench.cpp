// The block sample store on a 1-hour 48 kHz channel (172.8 M samples, all
// in memory, in blocks of 64 K).
// store_erase_insert_1s: cut 1 s from the middle of the store and paste it
// back (a slice, an erase, an insert; the extents at the span's ends are
// split, no sample moves); store_memmove_reference: one std::memmove of the
// whole channel's floats, the least an edit of one contiguous array moves.
// store_read_chunks: the sum of every sample through for_each_chunk;
// store_read_array_reference: the same sum over one contiguous array.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "engine/store/samplestore.h"

namespace {

using namespace tessal;

constexpr std::int64_t rate = 48000;
constexpr std::int64_t nsamples = 3600 * rate;

std::vector<float> hour_of_samples() {
    std::vector<float> v(static_cast<std::size_t>(nsamples));
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = static_cast<float>(k % 1000) * 1e-3f;
    return v;
}

tsamplestore hour_store(const std::shared_ptr<tblockcache>& cache) {
    const auto v = hour_of_samples();
    tsamplestore s(cache);
    s.append(v.data(), v.size());
    return s;
}

std::shared_ptr<tblockcache> roomy_cache() {
    return std::make_shared<tblockcache>(std::size_t(4) << 30);  // the whole hour stays in memory
}

void store_erase_insert_1s(benchmark::State& state) {
    const auto cache = roomy_cache();
    tsamplestore s = hour_store(cache);
    const std::int64_t at = nsamples / 2 + 12345;
    for (auto _ : state) {
        const tsamplestore clip = s.slice(at, at + rate);
        s.erase(at, at + rate);
        s.insert(at, clip);
        benchmark::DoNotOptimize(s.extent_count());
    }
    state.counters["extents"] = static_cast<double>(s.extent_count());
    state.counters["blocks_made"] = static_cast<double>(cache->stats().blocks_made);
}

void store_memmove_reference(benchmark::State& state) {
    std::vector<float> v = hour_of_samples();
    v.resize(v.size() + 16);
    for (auto _ : state) {
        std::memmove(v.data() + 16, v.data(), static_cast<std::size_t>(nsamples) * sizeof(float));
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * nsamples * static_cast<std::int64_t>(sizeof(float)));
}

void store_read_chunks(benchmark::State& state) {
    const auto cache = roomy_cache();
    const tsamplestore s = hour_store(cache);
    for (auto _ : state) {
        float sum = 0;
        s.for_each_chunk(0, s.size(), [&](const float* p, std::size_t n, std::int64_t) {
            float part = 0;
            for (std::size_t k = 0; k < n; ++k) part += p[k];
            sum += part;
        });
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * nsamples * static_cast<std::int64_t>(sizeof(float)));
}

void store_read_array_reference(benchmark::State& state) {
    const std::vector<float> v = hour_of_samples();
    for (auto _ : state) {
        float sum = 0;
        // In pieces of one block, summed as the chunked read sums them, so
        // both loops do the same additions.
        for (std::size_t b = 0; b < v.size(); b += block_samples) {
            float part = 0;
            const std::size_t e = std::min(v.size(), b + block_samples);
            for (std::size_t k = b; k < e; ++k) part += v[k];
            sum += part;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * nsamples * static_cast<std::int64_t>(sizeof(float)));
}

}  // namespace

BENCHMARK(store_erase_insert_1s)->Unit(benchmark::kMicrosecond);
BENCHMARK(store_memmove_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(store_read_chunks)->Unit(benchmark::kMillisecond);
BENCHMARK(store_read_array_reference)->Unit(benchmark::kMillisecond);
