// The channel's own passes over its samples whatever pieces they come in:
// fixed pieces counted from a span's start, the min/max cache (plain and
// skipping jumps) and the peak that opens a file's FSD, each with the
// channel's pieces cut to 1, 7 and 1000 samples against the default and
// against the samples taken one at a time here.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "engine/core/tchannel.h"
#include "engine/store/blocks.h"

using namespace tessal;

namespace {

const std::size_t limits[] = {0, 1, 7, 1000};

// Noise with signed zeros, NaNs and a few large values among it.
tsinglearr rough(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    tsinglearr x(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = d(rng);
        if (i % 97 == 5) x[i] = 0.0f;
        if (i % 89 == 3) x[i] = -0.0f;
        if (i % 1009 == 11) x[i] = std::numeric_limits<float>::quiet_NaN();
        if (i % 3331 == 7) x[i] = 40.0f;
    }
    return x;
}

std::vector<std::uint32_t> bits_of(const std::vector<tsinglepair>& c) {
    std::vector<std::uint32_t> out;
    for (const tsinglepair& p : c) {
        out.push_back(std::bit_cast<std::uint32_t>(p.lo));
        out.push_back(std::bit_cast<std::uint32_t>(p.hi));
    }
    return out;
}

}  // namespace

TEST(ChannelPieces, FixedPiecesCountFromTheSpanStartWhateverTheStoredPieces) {
    tchannel ch(nullptr, 0);
    const auto n = static_cast<std::int64_t>(2 * block_samples + 999);
    const tsinglearr x = rough(static_cast<std::size_t>(n), 1);
    ch.set_samples(x);
    for (std::size_t limit : limits) {
        ch.set_chunk_limit(limit);
        for (std::size_t size : {1u, 200u, 4096u}) {
            for (auto [from, to] : {std::pair<std::int64_t, std::int64_t>{0, n}, {12345, n - 3}, {5, 5}}) {
                std::vector<float> buf(size);
                std::int64_t pos = from;
                ch.for_each_fixed_piece(from, to, size, buf.data(), [&](const float* p, std::size_t m) {
                    // Whole pieces except the last, which ends the span.
                    ASSERT_TRUE(m == size || (m < size && pos + static_cast<std::int64_t>(m) == to));
                    for (std::size_t i = 0; i < m; ++i)
                        ASSERT_EQ(std::bit_cast<std::uint32_t>(p[i]),
                                  std::bit_cast<std::uint32_t>(x[static_cast<std::size_t>(pos) + i]))
                            << limit << " " << size << " " << pos + static_cast<std::int64_t>(i);
                    pos += static_cast<std::int64_t>(m);
                });
                EXPECT_EQ(pos, to) << limit << " " << size;
            }
        }
    }
}

TEST(ChannelPieces, MinMaxCacheIsTheSameForAnyPieces) {
    tchannel ch(nullptr, 0);
    const std::size_t n = 2 * block_samples + 12345;
    const tsinglearr x = rough(n, 2);
    ch.set_samples(x);
    ch.axis.set_hilovalues(2, -2);
    for (bool skip : {false, true}) {
        ch.set_skipjumps(skip);
        ch.fix_sigcache();
        const auto whole = bits_of(ch.sigcache);
        // The samples one at a time: the extremes ignore NaN, and with
        // skipping also the samples outside the axis (the 40s).
        std::vector<tsinglepair> truth(n / sigcache_blocksize + 1, tsinglepair{1e38f, -1e38f});
        for (std::size_t i = 0; i < n; ++i) {
            if (skip && !(x[i] > -2 && x[i] < 2)) continue;
            tsinglepair& p = truth[i / sigcache_blocksize];
            if (x[i] < p.lo) p.lo = x[i];
            if (x[i] > p.hi) p.hi = x[i];
        }
        ASSERT_EQ(ch.sigcache.size(), truth.size());
        for (std::size_t b = 0; b < truth.size(); ++b) {
            ASSERT_EQ(ch.sigcache[b].lo, truth[b].lo) << skip << " block " << b;
            ASSERT_EQ(ch.sigcache[b].hi, truth[b].hi) << skip << " block " << b;
        }
        for (std::size_t limit : limits) {
            ch.set_chunk_limit(limit);
            ch.sigcachedirty = true;
            ch.fix_sigcache();
            EXPECT_EQ(bits_of(ch.sigcache), whole) << skip << " " << limit;
            // A part of the cache, from a block that starts inside a piece.
            const float one = 0.25f;
            ch.write_samples(block_samples + 401, &one, 1);
            ch.fix_sigcache();
            ch.write_samples(block_samples + 401, &x[block_samples + 401], 1);
            ch.fix_sigcache();
            EXPECT_EQ(bits_of(ch.sigcache), whole) << skip << " " << limit;
        }
        ch.set_chunk_limit(0);
    }
}

TEST(ChannelPieces, FileFsdOpensAtThePeakOfTheFiniteSamples) {
    tchannel ch(nullptr, 0);
    tsinglearr x = rough(50000, 3);
    x[43210] = -55.5f;
    x[43211] = std::numeric_limits<float>::infinity();
    for (std::size_t limit : limits) {
        ch.set_samples(x);
        ch.set_chunk_limit(limit);
        ch.set_file_fsd(0);
        EXPECT_EQ(ch.fsd(), 55.5) << limit;
    }
}
