// Waveform columns: the drawing-mode choice, cache and raw columns against a
// brute-force scan of the samples, shifted channels, the coarser cache
// levels and the antialiased end pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "engine/core/tchannel.h"
#include "engine/view/waveformcolumns.h"

using namespace tessal;

namespace {

tsinglearr noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1, 1);
    tsinglearr s(n);
    for (float& x : s) x = u(rng);
    return s;
}

// Min/max of the samples of cache blocks k0..k1 (unshifted), by scanning
// the samples themselves; false when a block lies outside the cache.
bool blocks_by_samples(const tsinglearr& s, long long k0, long long k1, float& lo, float& hi) {
    long long nblocks = static_cast<long long>(s.size()) / 200 + 1;
    if (k0 < 0 || k1 >= nblocks) return false;
    lo = 1e38f;
    hi = -1e38f;
    for (long long i = k0 * 200; i < std::min<long long>((k1 + 1) * 200, s.size()); ++i) {
        lo = std::min(lo, s[i]);
        hi = std::max(hi, s[i]);
    }
    return hi >= lo;
}

}  // namespace

TEST(DrawMode, CacheRawAndMarkersByBlocksAndSamplesPerColumn) {
    // Ten minutes at 44.1 kHz in 1000 pixels: about 132 blocks a column.
    EXPECT_EQ(choose_drawmode(600, 44100, 1000, true, false), tdrawmode::cache);
    EXPECT_EQ(choose_drawmode(600, 44100, 1000, false, false), tdrawmode::raw);
    EXPECT_EQ(choose_drawmode(600, 44100, 1000, false, true), tdrawmode::raw);
    // 4000 samples in 1000 pixels: squares with "Show samples", else a trace.
    EXPECT_EQ(choose_drawmode(4000 / 44100.0, 44100, 1000, true, true), tdrawmode::markers);
    EXPECT_EQ(choose_drawmode(4000 / 44100.0, 44100, 1000, true, false), tdrawmode::raw);
    // The borders: exactly 4 blocks a column is not yet cache mode, exactly
    // 5 samples a column no longer markers.
    EXPECT_EQ(choose_drawmode(4 * 200 * 1000 / 48000.0, 48000, 1000, true, false), tdrawmode::raw);
    EXPECT_EQ(choose_drawmode(5 * 1000 / 48000.0, 48000, 1000, false, true), tdrawmode::raw);
}

TEST(CacheColumns, MatchScanOfTheSamplesAndShareBlocksWithNeighbours) {
    tchannel ch(nullptr, 0);
    const tsinglearr samples = noise(200 * 5000 + 77, 1);
    ch.set_samples(samples);
    ch.sampfreq = 48000;
    ch.sigcachedirty = true;
    ch.fix_sigcache();
    tminmaxpyramid pyr;
    pyr.build(ch.sigcache);
    std::mt19937 rng(7);
    for (int trial = 0; trial < 40; ++trial) {
        const double total = ch.duration();
        double lo = std::uniform_real_distribution<double>(-2, total)(rng);
        double span = std::uniform_real_distribution<double>(0.5, total)(rng);
        const long long xshift = 200 * std::uniform_int_distribution<int>(-300, 300)(rng);
        ch.xshift = xshift;
        tcolumnmap map{lo, span / 499, 500};
        auto plain = cache_columns(ch.sigcache, xshift, ch.sampfreq, map);
        auto fast = cache_columns(ch.sigcache, xshift, ch.sampfreq, map, &pyr);
        long long prev = std::llround(map.time(0) * ch.sampfreq / 200);
        for (int x = 1; x < 500; ++x) {
            long long e = std::llround(map.time(x) * ch.sampfreq / 200);
            float bl = 0, bh = 0;
            bool ok = blocks_by_samples(samples, prev - xshift / 200, e - xshift / 200, bl, bh);
            SCOPED_TRACE(testing::Message() << "trial " << trial << " column " << x);
            ASSERT_EQ(plain[x].drawn, ok);
            ASSERT_EQ(fast[x].drawn, ok);
            if (ok) {
                EXPECT_EQ(plain[x].min, bl);
                EXPECT_EQ(plain[x].max, bh);
                EXPECT_EQ(fast[x].min, bl);
                EXPECT_EQ(fast[x].max, bh);
            }
            prev = e;
        }
        EXPECT_FALSE(plain[0].drawn);
    }
}

TEST(CacheColumns, SpikeInTheSharedBlockShowsInBothColumns) {
    tchannel ch(nullptr, 0);
    tsinglearr samples(200 * 100, 0.0f);
    // Columns 10 blocks wide: column 1 spans blocks 0..10, column 2 10..20.
    samples[10 * 200 + 50] = 5;
    ch.set_samples(std::move(samples));
    ch.sampfreq = 200;  // one block a second
    ch.sigcachedirty = true;
    ch.fix_sigcache();
    auto cols = cache_columns(ch.sigcache, 0, ch.sampfreq, {0, 10, 5});
    EXPECT_EQ(cols[1].max, 5);
    EXPECT_EQ(cols[2].max, 5);
    EXPECT_EQ(cols[3].max, 0);
}

TEST(CacheColumns, ShiftedChannelAndEmptyTailBlockLeaveColumnsEmpty) {
    tchannel ch(nullptr, 0);
    ch.set_samples(tsinglearr(200 * 50, 1.0f));  // a multiple of 200: the last block is empty
    ch.sampfreq = 200;
    ch.xshift = 200 * 20;  // starts at 20 s
    ch.sigcachedirty = true;
    ch.fix_sigcache();
    ASSERT_EQ(ch.sigcache.size(), 51u);
    auto cols = cache_columns(ch.sigcache, ch.xshift, ch.sampfreq, {0, 1, 80});
    for (int x = 1; x <= 20; ++x) EXPECT_FALSE(cols[x].drawn) << x;
    for (int x = 21; x <= 70; ++x) EXPECT_TRUE(cols[x].drawn) << x;
    // Column 71 spans block 50 (sentinels only): nothing to draw, not a
    // full-height line from -1e38 to 1e38.
    EXPECT_FALSE(cols[71].drawn);
    EXPECT_FALSE(cols[72].drawn);
}

TEST(RawColumns, MatchScanAndSkipJumpsAndShift) {
    tsinglearr s = noise(30000, 3);
    s[12345] = 50;  // a jump outside the axis range
    const double sf = 10000;
    std::mt19937 rng(11);
    for (int trial = 0; trial < 30; ++trial) {
        const long long xshift = std::uniform_int_distribution<int>(-5000, 5000)(rng);
        const bool skip = trial % 2;
        tcolumnmap map{std::uniform_real_distribution<double>(-1, 3)(rng),
                       std::uniform_real_distribution<double>(1e-5, 5e-3)(rng), 300};
        auto cols = raw_columns(s.data(), s.size(), xshift, sf, map, skip, -1.0, 1.0);
        long long prev = std::llround(map.time(0) * sf);
        for (int x = 1; x < 300; ++x) {
            long long e = std::llround(map.time(x) * sf);
            long long i0 = prev - xshift, i1 = e - xshift;
            bool inside = i0 >= 0 && i1 < static_cast<long long>(s.size());
            float lo = 1e38f, hi = -1e38f;
            for (long long i = i0; inside && i <= i1; ++i)
                if (!skip || (s[i] > -1 && s[i] < 1)) {
                    lo = std::min(lo, s[i]);
                    hi = std::max(hi, s[i]);
                }
            bool drawn = inside && hi >= lo;
            ASSERT_EQ(cols[x].drawn, drawn) << trial << " " << x;
            if (drawn) {
                EXPECT_EQ(cols[x].min, lo);
                EXPECT_EQ(cols[x].max, hi);
            }
            prev = e;
        }
    }
}

TEST(MarkerRange, VisibleSamplesOnly) {
    auto r = marker_range(1000, 100, 1000, 0.05, 0.5);  // indices -50 .. 400
    EXPECT_EQ(r.first, 0);
    EXPECT_EQ(r.last, 400);
    r = marker_range(1000, 0, 1000, 0.5, 2.0);
    EXPECT_EQ(r.first, 500);
    EXPECT_EQ(r.last, 999);
    r = marker_range(1000, 0, 1000, 2.0, 3.0);
    EXPECT_GT(r.first, r.last);
    r = marker_range(0, 0, 1000, 0, 1);
    EXPECT_GT(r.first, r.last);
}

TEST(Pyramid, RangesEqualAPlainScan) {
    std::vector<tsinglepair> cache(70000);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1, 1);
    for (auto& p : cache) {
        float a = u(rng), b = u(rng);
        p = {std::min(a, b), std::max(a, b)};
    }
    tminmaxpyramid pyr;
    pyr.build(cache);
    std::uniform_int_distribution<int> pos(0, 69999);
    for (int trial = 0; trial < 2000; ++trial) {
        std::size_t a = pos(rng), b = pos(rng);
        if (trial % 3 == 0) b = std::min<std::size_t>(a + trial % 70, 69999);
        if (a > b) std::swap(a, b);
        float lo = 1e38f, hi = -1e38f, plo = 1e38f, phi = -1e38f;
        for (std::size_t k = a; k <= b; ++k) {
            lo = std::min(lo, cache[k].lo);
            hi = std::max(hi, cache[k].hi);
        }
        pyr.range(a, b, plo, phi);
        ASSERT_EQ(plo, lo) << a << ".." << b;
        ASSERT_EQ(phi, hi) << a << ".." << b;
    }
}

TEST(Antialias, EndPixelsCarryTheCoveredFraction) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> u(0, 100);
    for (int i = 0; i < 200; ++i) {
        double a = u(rng), b = u(rng);
        taaline r = antialias_run(a, b);
        double top = std::min(a, b), bottom = std::max(a, b);
        ASSERT_LE(r.top, r.bottom);
        if (r.top == r.bottom) continue;
        // Solid interior plus the two partial ends add up to the length.
        double covered = r.topcover + r.bottomcover + (r.bottom - r.top - 1);
        EXPECT_NEAR(covered, bottom - top, 1e-9);
    }
    taaline r = antialias_run(2.25, 5.5);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.bottom, 5);
    EXPECT_DOUBLE_EQ(r.topcover, 0.75);
    EXPECT_DOUBLE_EQ(r.bottomcover, 0.5);
    // Blue pen (0xFF0000) on white at a quarter: red and green 255 - 255/4.
    EXPECT_EQ(blend_color(0xFF0000, 0xFFFFFF, 0.25), 0xFFBFBFu);
    EXPECT_EQ(blend_color(0x000000, 0xFFFFFF, 1.0), 0u);
    EXPECT_EQ(blend_color(0x000000, 0xFFFFFF, 0.0), 0xFFFFFFu);
    EXPECT_EQ(blend_color(0x102030, 0x102030, 0.6), 0x102030u);
}
