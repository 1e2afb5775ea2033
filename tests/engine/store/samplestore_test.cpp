#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "engine/store/samplestore.h"
#include "storetest.h"

namespace tessal {
namespace {

using namespace storetest;

// Fresh samples: consecutive integers as floats (exact below 2^24), so a
// sample from the wrong place never compares equal by chance.
struct tcounter {
    float next = 1.0f;
    std::vector<float> take(std::size_t n) {
        std::vector<float> v(n);
        for (auto& x : v) {
            x = next;
            next += 1.0f;
            if (next > 16000000.0f) next = 1.0f;
        }
        return v;
    }
};

std::vector<float> formula_span(std::int64_t from, std::int64_t n) {
    std::vector<float> v(static_cast<std::size_t>(n));
    for (std::int64_t k = 0; k < n; ++k) v[static_cast<std::size_t>(k)] = formula(from + k);
    return v;
}

// The whole store against the model, by each way of reading it.
void expect_same(const tsamplestore& s, const std::vector<float>& m, const std::string& where) {
    ASSERT_EQ(s.size(), static_cast<std::int64_t>(m.size())) << where;
    std::int64_t next = 0;
    s.for_each_chunk(0, s.size(), [&](const float* p, std::size_t n, std::int64_t pos) {
        ASSERT_EQ(pos, next) << where;
        ASSERT_GT(n, 0u) << where;
        next = pos + static_cast<std::int64_t>(n);
        const float* want = m.data() + pos;
        if (std::equal(p, p + n, want)) return;
        const auto k = static_cast<std::size_t>(std::mismatch(p, p + n, want).first - p);
        FAIL() << where << " at " << pos + static_cast<std::int64_t>(k) << ": " << p[k] << " instead of " << want[k];
    });
    ASSERT_EQ(next, s.size()) << where;
    const tsinglearr a = s.to_array();
    ASSERT_TRUE(std::equal(a.begin(), a.end(), m.begin(), m.end())) << where;
}

TEST(tsamplestore, array_round_trip_and_reads_across_blocks) {
    tcounter c;
    const auto v = c.take(3 * block_samples + 123);
    tsinglearr a(v.begin(), v.end());
    const auto s = tsamplestore::from_array(a, std::make_shared<tblockcache>(0));
    EXPECT_EQ(s.size(), static_cast<std::int64_t>(v.size()));
    EXPECT_EQ(s.extent_count(), 4u);
    expect_same(s, v, "from_array");
    std::vector<float> out(block_samples + 10);
    s.read(block_samples - 5, out.size(), out.data());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), v.begin() + block_samples - 5));
    EXPECT_EQ(s.at(0), v[0]);
    EXPECT_EQ(s.at(s.size() - 1), v.back());
    EXPECT_EQ(s.at(block_samples), v[block_samples]);
    EXPECT_THROW(s.at(s.size()), std::out_of_range);
    EXPECT_THROW(s.read(s.size() - 2, 3, out.data()), std::out_of_range);
    EXPECT_THROW(s.slice(5, 4), std::out_of_range);
    EXPECT_EQ(tsamplestore().to_array().size(), 0u);
}

TEST(tsamplestore, copies_and_slices_share_blocks_and_edits_leave_them_alone) {
    auto cache = std::make_shared<tblockcache>(0);
    tcounter c;
    auto v = c.take(4 * block_samples);
    tsamplestore s(cache);
    s.append(v.data(), v.size());
    const auto made = cache->stats().blocks_made;
    EXPECT_EQ(made, 4u);

    const tsamplestore copy = s;
    const tsamplestore mid = s.slice(100, 3 * block_samples + 7);
    EXPECT_EQ(cache->stats().blocks_made, made);
    EXPECT_EQ(copy.extents()[2].block, s.extents()[2].block);
    EXPECT_EQ(mid.extents()[0].block, s.extents()[0].block);
    EXPECT_EQ(mid.extents()[0].offset, 100u);

    // Writing 10 samples across the border of blocks 1 and 2 makes two new
    // blocks; blocks 0 and 3 stay shared with the copy.
    const auto w = c.take(10);
    s.write(2 * block_samples - 5, w.data(), w.size());
    std::copy(w.begin(), w.end(), v.begin() + 2 * block_samples - 5);
    EXPECT_EQ(cache->stats().blocks_made, made + 2);
    EXPECT_EQ(s.extents()[0].block, copy.extents()[0].block);
    EXPECT_NE(s.extents()[1].block, copy.extents()[1].block);
    EXPECT_NE(s.extents()[2].block, copy.extents()[2].block);
    EXPECT_EQ(s.extents()[3].block, copy.extents()[3].block);
    expect_same(s, v, "written");
    // The copy and the slice still read the samples of before.
    const tsinglearr copied = copy.to_array();
    const std::vector<float> old(copied.begin(), copied.end());
    EXPECT_EQ(old[2 * block_samples - 5], 2.0f * block_samples - 4);
    const auto slice = mid.to_array();
    for (std::size_t k = 0; k < slice.size(); ++k) ASSERT_EQ(slice[k], old[100 + k]);

    // Erase and insert of a store split extents and make no block.
    const auto before = cache->stats().blocks_made;
    s.erase(1000, 2 * block_samples + 1000);
    v.erase(v.begin() + 1000, v.begin() + 2 * block_samples + 1000);
    s.insert(17, mid);
    v.insert(v.begin() + 17, old.begin() + 100, old.begin() + 3 * block_samples + 7);
    s.insert(s.size(), s);  // itself, at the end
    v.insert(v.end(), v.begin(), v.end());
    EXPECT_EQ(cache->stats().blocks_made, before);
    expect_same(s, v, "erase and insert");
}

TEST(tsamplestore, append_fills_the_last_block_only_while_no_copy_shares_it) {
    auto cache = std::make_shared<tblockcache>(0);
    tcounter c;
    tsamplestore s(cache);
    std::vector<float> m;
    for (int k = 0; k < 100; ++k) {
        const auto v = c.take(100);
        s.append(v.data(), v.size());
        m.insert(m.end(), v.begin(), v.end());
    }
    EXPECT_EQ(cache->stats().blocks_made, 1u);
    EXPECT_EQ(s.extent_count(), 1u);
    const tsamplestore copy = s;
    const auto copied = m;
    const auto v = c.take(100);
    s.append(v.data(), v.size());
    m.insert(m.end(), v.begin(), v.end());
    EXPECT_EQ(cache->stats().blocks_made, 2u);
    EXPECT_EQ(s.extent_count(), 2u);
    expect_same(s, m, "appended");
    expect_same(copy, copied, "copy");
    // A fill that crosses the end of a block goes on in a new one.
    const auto big = c.take(2 * block_samples);
    s.append(big.data(), big.size());
    m.insert(m.end(), big.begin(), big.end());
    expect_same(s, m, "across blocks");
}

TEST(tsamplestore, source_blocks_read_nothing_until_accessed_and_are_read_again_after_eviction) {
    ttempfolder dir;
    auto cache = std::make_shared<tblockcache>(2 * block_bytes, dir.path);
    auto src = std::make_shared<tformulasource>();
    tsamplestore s(cache);
    s.append_source(src, 500, 10 * block_samples + 1);
    EXPECT_EQ(s.size(), 10 * static_cast<std::int64_t>(block_samples) + 1);
    EXPECT_EQ(s.extent_count(), 11u);
    const tsamplestore copy = s.slice(0, s.size());
    s.erase(10, 20);
    EXPECT_EQ(src->reads, 0);
    EXPECT_EQ(cache->stats().bytes_in_memory, 0u);

    EXPECT_EQ(s.at(3 * block_samples), formula(500 + 3 * block_samples + 10));
    EXPECT_EQ(src->reads, 1);
    EXPECT_EQ(src->samples, static_cast<std::int64_t>(block_samples));

    auto m = formula_span(500, copy.size());
    expect_same(copy, m, "copy");  // reads all 11 blocks, keeps 2
    EXPECT_LE(cache->stats().bytes_in_memory, 2 * block_bytes + block_bytes);  // at() keeps one
    const auto reads = src->reads.load();
    m.erase(m.begin() + 10, m.begin() + 20);
    expect_same(s, m, "edited");
    EXPECT_GE(src->reads - reads, 9);  // all but the ones still in memory again
    EXPECT_EQ(cache->stats().spills, 0u);
    // A memory block in the mix goes to scratch and comes back.
    tcounter c;
    const auto v = c.take(block_samples);
    s.insert(5, v.data(), v.size());
    m.insert(m.begin() + 5, v.begin(), v.end());
    expect_same(s, m, "with a memory block");
    EXPECT_GE(cache->stats().spills, 1u);
    expect_same(s, m, "memory block read back");
}

TEST(tsamplestore, erase_and_insert_on_a_long_store_touch_only_the_blocks_at_the_ends) {
    auto cache = std::make_shared<tblockcache>(0);
    auto src = std::make_shared<tformulasource>();
    constexpr std::int64_t n = 100000000;
    tsamplestore s(cache);
    s.append_source(src, 0, n);
    const auto extents = s.extent_count();
    EXPECT_EQ(extents, (n + block_samples - 1) / block_samples);
    const auto st0 = cache->stats();

    // Cut 1 s at 48 kHz from the middle and paste it back earlier, then
    // paste 100 new samples: no sample moves, one block is made.
    const std::int64_t at = n / 2 + 12345;
    const tsamplestore clip = s.slice(at, at + 48000);
    s.erase(at, at + 48000);
    s.insert(n / 4 + 7, clip);
    const std::vector<float> fresh(100, 0.25f);
    s.insert(n / 3, fresh.data(), fresh.size());
    const tsamplestore undo = s;

    const auto st1 = cache->stats();
    EXPECT_EQ(st1.blocks_made - st0.blocks_made, 1u);
    EXPECT_EQ(st1.loads, st0.loads);
    EXPECT_EQ(src->reads, 0);
    EXPECT_EQ(st1.bytes_in_memory - st0.bytes_in_memory, 100 * sizeof(float));
    EXPECT_LE(s.extent_count(), extents + 8);
    EXPECT_EQ(s.size(), n + 100);

    // Where every part of the edited store comes from, by the formula.
    const std::int64_t p1 = n / 4 + 7, p2 = n / 3;
    auto want = [&](std::int64_t i) -> float {
        if (i < p1) return formula(i);
        if (i < p1 + 48000) return formula(at + i - p1);
        if (i < p2) return formula(i - 48000);
        if (i < p2 + 100) return 0.25f;
        if (i < at + 48100) return formula(i - 48100);
        return formula(i - 100);
    };
    for (const std::int64_t edge : {std::int64_t(0), p1, p1 + 48000, p2, p2 + 100, at + 48100, n + 100}) {
        const std::int64_t from = std::max<std::int64_t>(0, edge - 70), to = std::min(n + 100, edge + 70);
        std::vector<float> got(static_cast<std::size_t>(to - from));
        s.read(from, got.size(), got.data());
        for (std::int64_t i = from; i < to; ++i) ASSERT_EQ(got[static_cast<std::size_t>(i - from)], want(i)) << i;
        if (edge < n + 100) {
            EXPECT_EQ(s.at(edge), want(edge));
        }
    }
    // Each of those reads loaded one or two source blocks, nothing more.
    EXPECT_LE(src->reads, 12);
    // The snapshot taken before still holds the edited samples.
    EXPECT_EQ(undo.at(p2 + 50), 0.25f);
}

TEST(tsamplestore, compaction_packs_small_pieces_and_keeps_the_samples) {
    auto cache = std::make_shared<tblockcache>(0);
    tcounter c;
    auto m = c.take(3 * block_samples);
    auto s = tsamplestore::from_array(tsinglearr(m.begin(), m.end()), cache);
    std::mt19937 rng(7);
    for (int k = 0; k < 400; ++k) {
        const auto pos = static_cast<std::int64_t>(rng() % m.size());
        const auto v = c.take(1 + rng() % 20);
        s.insert(pos, v.data(), v.size());
        m.insert(m.begin() + pos, v.begin(), v.end());
    }
    const auto before = s.extent_count();
    EXPECT_GT(before, 700u);
    const tsamplestore snapshot = s;
    s.compact();
    EXPECT_LT(s.extent_count(), before / 4);
    expect_same(s, m, "compacted");
    expect_same(snapshot, m, "snapshot");
    const auto n = s.extent_count();
    s.compact();
    EXPECT_EQ(s.extent_count(), n);
}

// Random edits against a std::vector, with copies kept as undo snapshots,
// checked sample for sample. With a budget of a few blocks, the blocks go
// to scratch and back (and source blocks are read again) all along.
void random_edits(std::size_t budget, unsigned seed, int steps) {
    ttempfolder dir;
    auto cache = std::make_shared<tblockcache>(budget, dir.path);
    auto src = std::make_shared<tformulasource>();
    std::mt19937 rng(seed);
    tcounter c;
    tsamplestore s(cache);
    std::vector<float> m;
    s.append_source(src, 1000, 5 * block_samples + 77);
    m = formula_span(1000, 5 * block_samples + 77);
    struct tsnap {
        tsamplestore s;
        std::vector<float> m;
    };
    std::vector<tsnap> snaps;

    auto length = [&]() -> std::size_t {
        switch (rng() % 4) {
            case 0: return 1 + rng() % 8;
            case 1: return 1 + rng() % 1000;
            case 2: return 1 + rng() % 20000;
            default: return 1 + rng() % (2 * block_samples + 100);
        }
    };
    auto position = [&](std::size_t room) -> std::int64_t {
        return static_cast<std::int64_t>(rng() % (m.size() - room + 1));
    };
    for (int step = 0; step < steps; ++step) {
        const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
        int op = static_cast<int>(rng() % 10);
        if (m.size() > 1500000 && op <= 2) op = 3;
        switch (op) {
            case 0: {  // insert new samples
                const auto v = c.take(length());
                const auto at = position(0);
                s.insert(at, v.data(), v.size());
                m.insert(m.begin() + at, v.begin(), v.end());
                break;
            }
            case 1: {  // append new samples
                const auto v = c.take(length());
                s.append(v.data(), v.size());
                m.insert(m.end(), v.begin(), v.end());
                break;
            }
            case 2: {  // paste a piece of itself or of a snapshot
                const tsamplestore& from = snaps.empty() || rng() % 2 ? s : snaps[rng() % snaps.size()].s;
                const std::vector<float>& fm = &from == &s ? m : snaps[0].m;
                const std::vector<float>* fmodel = &fm;
                for (auto& sn : snaps)
                    if (&sn.s == &from) fmodel = &sn.m;
                if (fmodel->empty()) break;
                const auto n = std::min(length(), fmodel->size());
                const auto a = static_cast<std::int64_t>(rng() % (fmodel->size() - n + 1));
                const tsamplestore piece = from.slice(a, a + static_cast<std::int64_t>(n));
                const std::vector<float> pm(fmodel->begin() + a, fmodel->begin() + a + static_cast<std::int64_t>(n));
                const auto at = position(0);
                s.insert(at, piece);
                m.insert(m.begin() + at, pm.begin(), pm.end());
                break;
            }
            case 3: {  // erase
                if (m.empty()) break;
                const auto n = std::min(length(), m.size());
                const auto at = position(n);
                s.erase(at, at + static_cast<std::int64_t>(n));
                m.erase(m.begin() + at, m.begin() + at + static_cast<std::int64_t>(n));
                break;
            }
            case 4:
            case 5: {  // write over samples
                if (m.empty()) break;
                const auto v = c.take(std::min(length(), m.size()));
                const auto at = position(v.size());
                s.write(at, v.data(), v.size());
                std::copy(v.begin(), v.end(), m.begin() + at);
                break;
            }
            case 6: {  // keep a snapshot
                if (snaps.size() >= 6) snaps.erase(snaps.begin() + static_cast<std::ptrdiff_t>(rng() % snaps.size()));
                snaps.push_back({s, m});
                break;
            }
            case 7: {  // go back to a snapshot (undo)
                if (snaps.empty() || rng() % 3) break;
                const auto& sn = snaps[rng() % snaps.size()];
                s = sn.s;
                m = sn.m;
                break;
            }
            case 8: {  // more of the source, or compaction
                if (rng() % 4 == 0) {
                    s.compact();
                } else {
                    const auto n = static_cast<std::int64_t>(length());
                    const auto from = static_cast<std::int64_t>(rng() % 10000000);
                    s.append_source(src, from, n);
                    const auto f = formula_span(from, n);
                    m.insert(m.end(), f.begin(), f.end());
                }
                break;
            }
            default: {  // keep to a slice
                if (m.size() < 1000 || rng() % 4) break;
                const auto n = m.size() / 2 + rng() % (m.size() / 2);
                const auto at = position(n);
                s = s.slice(at, at + static_cast<std::int64_t>(n));
                m = std::vector<float>(m.begin() + at, m.begin() + at + static_cast<std::int64_t>(n));
                break;
            }
        }
        ASSERT_EQ(s.size(), static_cast<std::int64_t>(m.size())) << where;
        for (int k = 0; k < 8 && !m.empty(); ++k) {
            const auto i = static_cast<std::int64_t>(rng() % m.size());
            ASSERT_EQ(s.at(i), m[static_cast<std::size_t>(i)]) << where << " at " << i;
        }
        if (!m.empty()) {
            const auto n = std::min<std::size_t>(1 + rng() % 100000, m.size());
            const auto at = position(n);
            std::vector<float> out(n);
            s.read(at, n, out.data());
            ASSERT_TRUE(std::equal(out.begin(), out.end(), m.begin() + at)) << where;
        }
        if (step % 40 == 39) {
            expect_same(s, m, where);
            if (::testing::Test::HasFatalFailure()) return;
        }
        if (step % 200 == 199) {
            for (const auto& sn : snaps) expect_same(sn.s, sn.m, where + " snapshot");
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
    expect_same(s, m, "end");
    for (const auto& sn : snaps) expect_same(sn.s, sn.m, "end snapshot");
    const auto st = cache->stats();
    if (budget < 16 * block_bytes) {
        EXPECT_GT(st.spills, 10u);
        EXPECT_GT(st.loads, 100u);
        EXPECT_GT(src->reads, 50);
    } else {
        EXPECT_EQ(st.evictions, 0u);
    }
    EXPECT_LE(st.max_overshoot, 2 * block_bytes);  // at most what at() and a read hold
    // With the stores gone, no block is left in memory or in scratch.
    s.clear();
    snaps.clear();
    EXPECT_EQ(cache->stats().bytes_in_memory, 0u);
    EXPECT_EQ(cache->stats().bytes_in_scratch, 0u);
}

TEST(tsamplestore, random_edits_match_a_plain_array_with_memory_to_spare) {
    for (unsigned seed : {1u, 2u}) random_edits(std::size_t(1) << 30, seed, 2000);
}

TEST(tsamplestore, random_edits_match_a_plain_array_with_blocks_leaving_memory) {
    for (unsigned seed : {3u, 4u}) random_edits(4 * block_bytes, seed, 2000);
}

// A scratch file that cannot be made: the edit that needed it fails with
// an error naming the folder, the store is as before and reads as before.
void scratch_failure(const std::filesystem::path& folder) {
    auto cache = std::make_shared<tblockcache>(2 * block_bytes, folder);
    tcounter c;
    auto m = c.take(2 * block_samples);
    tsamplestore s(cache);
    s.append(m.data(), m.size());
    const tsamplestore copy = s;
    const auto v = c.take(block_samples / 2);
    try {
        s.insert(1000, v.data(), v.size());
        FAIL() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_NE(std::string(e.what()).find(folder.string()), std::string::npos) << e.what();
    }
    expect_same(s, m, "after the failed insert");
    EXPECT_THROW(s.append(v.data(), v.size()), std::system_error);
    expect_same(s, m, "after the failed append");
    EXPECT_THROW(s.write(5, v.data(), v.size()), std::system_error);
    expect_same(s, m, "after the failed write");
    s.erase(10, 20);  // needs no memory
    m.erase(m.begin() + 10, m.begin() + 20);
    expect_same(s, m, "erased");
    EXPECT_EQ(copy.size(), 2 * static_cast<std::int64_t>(block_samples));
}

TEST(tsamplestore, scratch_folder_that_cannot_be_made) {
    ttempfolder dir;
    std::ofstream(dir.path / "file") << "x";
    scratch_failure(dir.path / "file" / "missing");
}

TEST(tsamplestore, scratch_folder_that_is_a_file) {
    ttempfolder dir;
    std::ofstream(dir.path / "file") << "x";
    scratch_failure(dir.path / "file");
}

TEST(tsamplestore, scratch_folder_that_is_read_only) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser writes into read-only folders";
    ttempfolder dir;
    std::filesystem::permissions(dir.path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    scratch_failure(dir.path);
}

TEST(SampleStore, AStreamingWalkLeavesNoBlockItLoadedFromTheSourceInMemory) {
    ttempfolder dir;
    auto cache = std::make_shared<tblockcache>(64 * block_bytes, dir.path);
    auto src = std::make_shared<tformulasource>();
    const std::int64_t n = 5 * static_cast<std::int64_t>(block_samples) + 123;
    tsamplestore s(cache);
    s.append_source(src, 0, n);
    // Samples written in memory in the middle: those blocks stay.
    const std::vector<float> mine(1000, 0.25f);
    s.write(70000, mine.data(), mine.size());
    const std::size_t before = cache->stats().bytes_in_memory;
    ASSERT_GT(before, 0u);

    // Read in uneven ranges, as the F0 step's second pass does; every
    // sample is right and arrives once, in order.
    std::int64_t next = 0;
    for (std::int64_t a = 0; a < n; a += 40000)
        s.stream_chunks(a, std::min(n, a + 40000), [&](const float* p, std::size_t k, std::int64_t pos) {
            ASSERT_EQ(pos, next);
            for (std::size_t i = 0; i < k; ++i) {
                const std::int64_t j = pos + static_cast<std::int64_t>(i);
                ASSERT_EQ(p[i], j >= 70000 && j < 71000 ? 0.25f : formula(j)) << j;
            }
            next += static_cast<std::int64_t>(k);
        });
    EXPECT_EQ(next, n);
    // The source's blocks went again; the written one is still there.
    EXPECT_EQ(cache->stats().bytes_in_memory, before);
    EXPECT_EQ(cache->stats().spills, 0u);

    // An ordinary walk keeps what it loaded (the cache has room).
    s.for_each_chunk(0, n, [](const float*, std::size_t, std::int64_t) {});
    EXPECT_GT(cache->stats().bytes_in_memory, before + 4 * block_bytes);
}

TEST(SampleStore, ReadingThroughDecodesSourceBlocksStraightIntoTheBufferAndLoadsNone) {
    ttempfolder dir;
    auto cache = std::make_shared<tblockcache>(64 * block_bytes, dir.path);
    auto src = std::make_shared<tformulasource>();
    const std::int64_t n = 6 * static_cast<std::int64_t>(block_samples) + 321;
    tsamplestore s(cache);
    s.append_source(src, 7, n);
    std::vector<float> m = formula_span(7, n);
    // Memory blocks where a write went, an erased stretch and a source
    // block loaded by an earlier read: every kind of extent.
    tcounter c;
    const auto v = c.take(3000);
    s.write(block_samples - 1000, v.data(), v.size());
    std::copy(v.begin(), v.end(), m.begin() + (block_samples - 1000));
    s.erase(4 * block_samples + 10, 4 * block_samples + 510);
    m.erase(m.begin() + (4 * block_samples + 10), m.begin() + (4 * block_samples + 510));
    std::vector<float> one(10);
    s.read(5 * block_samples, one.size(), one.data());

    const tcachestats before = cache->stats();
    const std::int64_t decoded = src->samples;
    // Spans starting and ending inside extents, and the whole store.
    const std::pair<std::int64_t, std::int64_t> spans[] = {
        {0, s.size()}, {1, 2}, {block_samples - 1001, 2 * block_samples + 5}, {s.size() - 17, s.size()}};
    std::int64_t fromsource = 0;
    for (const auto& [a, b] : spans) {
        std::vector<float> got(static_cast<std::size_t>(b - a), -9.0f);
        s.read_through(a, got.size(), got.data());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), m.begin() + a)) << a << ".." << b;
        // Samples of the source blocks that were not in memory: all but
        // the two written blocks and the one read() loaded.
        for (std::int64_t k = a; k < b; ++k)
            fromsource += k >= 2 * static_cast<std::int64_t>(block_samples) &&
                          !(k >= 5 * static_cast<std::int64_t>(block_samples) - 500 &&
                            k < 6 * static_cast<std::int64_t>(block_samples) - 500);
    }
    // Each of those samples was decoded once, and no block came in.
    EXPECT_EQ(src->samples - decoded, fromsource);
    EXPECT_EQ(cache->stats().loads, before.loads);
    EXPECT_EQ(cache->stats().bytes_in_memory, before.bytes_in_memory);

    float out = 0;
    EXPECT_THROW(s.read_through(s.size() - 1, 2, &out), std::out_of_range);
    EXPECT_NO_THROW(s.read_through(s.size(), 0, &out));
}

TEST(SampleStore, ReadingThroughGivesBlocksInTheScratchFileBack) {
    ttempfolder dir;
    auto cache = std::make_shared<tblockcache>(block_bytes, dir.path);
    tsamplestore s(cache);
    tcounter c;
    const auto v = c.take(3 * block_samples + 5);
    s.append(v.data(), v.size());
    ASSERT_GE(cache->stats().spills, 2u);
    std::vector<float> got(v.size());
    s.read_through(0, got.size(), got.data());
    EXPECT_EQ(got, v);
}

}  // namespace
}  // namespace tessal
