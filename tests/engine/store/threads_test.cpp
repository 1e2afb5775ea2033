#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/store/samplestore.h"
#include "storetest.h"

namespace tessal {
namespace {

using namespace storetest;

constexpr std::int64_t memory_offset = 7777777;

// Several threads read stores whose blocks they share with the stores the
// main thread edits, with a budget of a few blocks, so blocks are loaded,
// written to scratch and dropped under the readers all the time.
TEST(tsamplestore_threads, readers_of_shared_blocks_while_copies_are_edited_and_blocks_leave_memory) {
    ttempfolder dir;
    auto cache = std::make_shared<tblockcache>(6 * block_bytes, dir.path);
    auto src = std::make_shared<tformulasource>();

    tsamplestore from_source(cache);
    from_source.append_source(src, 0, 30 * block_samples + 99);
    tsamplestore in_memory(cache);
    {
        std::vector<float> v(block_samples);
        for (std::int64_t b = 0; b < 15; ++b) {
            for (std::size_t k = 0; k < v.size(); ++k)
                v[k] = formula(memory_offset + b * static_cast<std::int64_t>(block_samples) + static_cast<std::int64_t>(k));
            in_memory.append(v.data(), v.size());
        }
    }
    const tsamplestore& shared_source = from_source;
    const tsamplestore& shared_memory = in_memory;

    std::atomic<int> failures{0};
    std::atomic<int> readers_left{3};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&, t] {
            std::mt19937 rng(100 + t);
            std::vector<float> buf;
            for (int round = 0; round < 150; ++round) {
                const bool mem = rng() % 2;
                const tsamplestore& s = mem ? shared_memory : shared_source;
                const std::int64_t base = mem ? memory_offset : 0;
                const auto n = static_cast<std::int64_t>(1 + rng() % (3 * block_samples));
                const auto from = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(s.size() - n));
                s.for_each_chunk(from, from + n, [&](const float* p, std::size_t k, std::int64_t pos) {
                    for (std::size_t j = 0; j < k; j += 61)
                        if (p[j] != formula(base + pos + static_cast<std::int64_t>(j))) ++failures;
                });
                buf.resize(static_cast<std::size_t>(n));
                s.read(from, buf.size(), buf.data());
                for (std::size_t j = 0; j < buf.size(); j += 67)
                    if (buf[j] != formula(base + from + static_cast<std::int64_t>(j))) ++failures;
                // A copy of its own, read sample by sample.
                const tsamplestore mine = s.slice(from, from + n);
                for (int j = 0; j < 20; ++j) {
                    const auto i = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n));
                    if (mine.at(i) != formula(base + from + i)) ++failures;
                }
            }
            --readers_left;
        });
    }

    // The main thread edits copies of the same stores until the readers are
    // done, against a plain array.
    std::mt19937 rng(5);
    tsamplestore a = from_source, b = in_memory;
    std::vector<float> ma(static_cast<std::size_t>(a.size())), mb(static_cast<std::size_t>(b.size()));
    for (std::size_t k = 0; k < ma.size(); ++k) ma[k] = formula(static_cast<std::int64_t>(k));
    for (std::size_t k = 0; k < mb.size(); ++k) mb[k] = formula(memory_offset + static_cast<std::int64_t>(k));
    float next = 1.0f;
    int edits = 0;
    while (readers_left > 0 || edits < 50) {
        tsamplestore& s = edits % 2 ? a : b;
        std::vector<float>& m = edits % 2 ? ma : mb;
        const auto n = static_cast<std::size_t>(1 + rng() % 30000);
        const auto at = static_cast<std::int64_t>(rng() % (m.size() - n));
        std::vector<float> v(n);
        for (auto& x : v) x = next++;
        switch (rng() % 4) {
            case 0:
                s.insert(at, v.data(), n);
                m.insert(m.begin() + at, v.begin(), v.end());
                break;
            case 1:
                s.write(at, v.data(), n);
                std::copy(v.begin(), v.end(), m.begin() + at);
                break;
            case 2: {
                const tsamplestore piece = s.slice(at, at + static_cast<std::int64_t>(n));
                s.erase(at, at + static_cast<std::int64_t>(n));
                s.insert(at / 2, piece);
                const std::vector<float> pm(m.begin() + at, m.begin() + at + static_cast<std::int64_t>(n));
                m.erase(m.begin() + at, m.begin() + at + static_cast<std::int64_t>(n));
                m.insert(m.begin() + at / 2, pm.begin(), pm.end());
                break;
            }
            default:
                s.append(v.data(), n);
                m.insert(m.end(), v.begin(), v.end());
                break;
        }
        ++edits;
        if (edits % 16 == 0) {
            const std::int64_t from = static_cast<std::int64_t>(rng() % (m.size() - 1000));
            std::vector<float> got(1000);
            s.read(from, got.size(), got.data());
            for (std::size_t k = 0; k < got.size(); ++k)
                ASSERT_EQ(got[k], m[static_cast<std::size_t>(from) + k]) << edits;
        }
    }
    for (auto& t : readers) t.join();
    EXPECT_EQ(failures, 0);

    const tsinglearr ga = a.to_array(), gb = b.to_array();
    EXPECT_TRUE(std::equal(ga.begin(), ga.end(), ma.begin(), ma.end()));
    EXPECT_TRUE(std::equal(gb.begin(), gb.end(), mb.begin(), mb.end()));
    // The originals, read after all that, are as they were.
    for (std::int64_t i = 0; i < from_source.size(); i += 4099) ASSERT_EQ(from_source.at(i), formula(i));
    for (std::int64_t i = 0; i < in_memory.size(); i += 4099) ASSERT_EQ(in_memory.at(i), formula(memory_offset + i));

    const auto st = cache->stats();
    EXPECT_GT(st.evictions, 20u);
    EXPECT_GT(st.spills, 5u);
    EXPECT_GT(src->reads, 20);
    std::printf("edits %d, loads %llu, evictions %llu, spills %llu, source reads %lld, overshoot %zu bytes\n", edits,
                static_cast<unsigned long long>(st.loads), static_cast<unsigned long long>(st.evictions),
                static_cast<unsigned long long>(st.spills), static_cast<long long>(src->reads.load()),
                st.max_overshoot);
}

}  // namespace
}  // namespace tessal
