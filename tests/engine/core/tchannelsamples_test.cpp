// The channel's sample functions: pieces of for_each_chunk against the
// indices they stand for, span reads, and random edit sequences against a
// plain std::vector, with the min/max cache and the stored figures checked
// after each edit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "engine/core/tchannel.h"
#include "engine/store/blocks.h"

using namespace tessal;

namespace {

constexpr std::int64_t B = static_cast<std::int64_t>(block_samples);
constexpr std::int64_t N = 3 * B + 7;

// Exact in a float for every index used here, and different at each index.
float known(std::int64_t i) { return 0.5f * static_cast<float>(i) - 1000.0f; }

void fill_known(tchannel& ch) {
    tsinglearr a(static_cast<std::size_t>(N));
    for (std::int64_t i = 0; i < N; ++i) a[static_cast<std::size_t>(i)] = known(i);
    ch.set_samples(std::move(a));
}

struct tpiece {
    const float* p;
    std::size_t n;
    std::int64_t pos;
};

std::vector<tpiece> pieces(const tchannel& ch, std::int64_t a, std::int64_t b) {
    std::vector<tpiece> out;
    ch.for_each_chunk(a, b, [&](const float* p, std::size_t n, std::int64_t pos) {
        out.push_back({p, n, pos});
    });
    return out;
}

// How many pieces a..b falls into when cut at every multiple of each step.
std::size_t expected_pieces(std::int64_t a, std::int64_t b, std::vector<std::int64_t> steps) {
    if (a == b) return 0;
    std::set<std::int64_t> cuts;
    for (std::int64_t s : steps)
        for (std::int64_t k = s; k < b; k += s)
            if (k > a) cuts.insert(k);
    return cuts.size() + 1;
}

void check_tiling(const tchannel& ch, std::int64_t a, std::int64_t b, std::int64_t small) {
    SCOPED_TRACE(testing::Message() << "span " << a << ".." << b << " small " << small);
    const auto got = pieces(ch, a, b);
    std::vector<std::int64_t> steps{B};
    if (small > 0) steps.push_back(small);
    ASSERT_EQ(got.size(), expected_pieces(a, b, steps));
    std::int64_t pos = a;
    for (const tpiece& q : got) {
        ASSERT_EQ(q.pos, pos);
        ASSERT_GT(q.n, 0u);
        const std::int64_t end = q.pos + static_cast<std::int64_t>(q.n);
        // No piece crosses a block end or a small-chunk end.
        EXPECT_EQ(q.pos / B, (end - 1) / B);
        if (small > 0) {
            EXPECT_EQ(q.pos / small, (end - 1) / small);
        }
        for (std::size_t k = 0; k < q.n; ++k)
            ASSERT_EQ(q.p[k], known(q.pos + static_cast<std::int64_t>(k))) << "at " << q.pos + k;
        pos = end;
    }
    EXPECT_EQ(pos, b);
}

// The min/max cache the samples call for, computed here block by block.
std::vector<tsinglepair> cache_of(const std::vector<float>& v) {
    std::vector<tsinglepair> c(v.size() / sigcache_blocksize + 1, tsinglepair{1e38f, -1e38f});
    for (std::size_t i = 0; i < v.size(); ++i) {
        tsinglepair& p = c[i / sigcache_blocksize];
        p.lo = std::min(p.lo, v[i]);
        p.hi = std::max(p.hi, v[i]);
    }
    return c;
}

std::vector<float> samples_of(const tchannel& ch) {
    const tsinglearr a = ch.samples_array();
    return std::vector<float>(a.begin(), a.end());
}

void expect_cache(const tchannel& ch, const std::vector<float>& model) {
    const auto want = cache_of(model);
    ASSERT_EQ(ch.sigcache.size(), want.size());
    for (std::size_t b = 0; b < want.size(); ++b) {
        ASSERT_EQ(ch.sigcache[b].lo, want[b].lo) << "block " << b;
        ASSERT_EQ(ch.sigcache[b].hi, want[b].hi) << "block " << b;
    }
    float lo = 1e38f, hi = -1e38f;
    for (float x : model) {
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    EXPECT_EQ(ch.sigmin, lo);
    EXPECT_EQ(ch.sigmax, hi);
}

void store_true_stats(tchannel& ch, const std::vector<float>& model) {
    float peak = 0;
    double sumsq = 0;
    for (float x : model) {
        peak = std::max(peak, std::fabs(x));
        sumsq += static_cast<double>(x) * x;
    }
    ch.set_sample_stats(peak, true, sumsq);
}

}  // namespace

TEST(ChannelSamples, CountSampleAndArray) {
    tchannel ch(nullptr, 0);
    EXPECT_EQ(ch.sample_count(), 0);
    ch.set_samples({1, 2, 3, 4});
    ch.xshift = 10;  // plain indices: the time shift does not apply
    EXPECT_EQ(ch.sample_count(), 4);
    EXPECT_EQ(ch.sample(0), 1);
    EXPECT_EQ(ch.sample(3), 4);
    EXPECT_EQ(ch.samples_array(), (tsinglearr{1, 2, 3, 4}));
    EXPECT_EQ(ch.samples_array(1, 3), (tsinglearr{2, 3}));
    EXPECT_TRUE(ch.samples_array(2, 2).empty());
    EXPECT_THROW(ch.sample(4), std::out_of_range);
    EXPECT_THROW(ch.sample(-1), std::out_of_range);
}

TEST(ChannelSamples, PiecesTileTheSpanInOrderAtBlocksAndTestChunks) {
    tchannel ch(nullptr, 0);
    fill_known(ch);
    ASSERT_EQ(ch.sample_count(), N);
    const std::pair<std::int64_t, std::int64_t> spans[] = {
        {100, 2 * B + 300},  // starts and ends inside blocks, two block ends between
        {B - 1, B + 1},      // one sample either side of a block end
        {B + 5, B + 9},      // inside one block
        {0, N},              // everything, the last block 7 samples long
        {B, 2 * B},          // exactly one block
        {N - 7, N},          // the short last block
        {17, 17},            // nothing: no call
        {N, N},
    };
    for (std::int64_t small : {std::int64_t{0}, std::int64_t{1000}, std::int64_t{3}}) {
        ch.set_chunk_limit(static_cast<std::size_t>(small));
        for (auto [a, b] : spans) check_tiling(ch, a, b, small);
    }
    // Blocks still cut when the test chunk does not divide them.
    ch.set_chunk_limit(1000);
    const auto got = pieces(ch, B - 10, B + 10);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].n, 10u);
    EXPECT_EQ(got[1].pos, B);
}

TEST(ChannelSamples, ReadAcrossTwoBlockEndsEqualsIndexing) {
    tchannel ch(nullptr, 0);
    fill_known(ch);
    const std::int64_t from = B - 20;
    const std::size_t n = static_cast<std::size_t>(B + 40);  // crosses B and 2B
    std::vector<float> out(n, -1.0f);
    ch.read_samples(from, n, out.data());
    for (std::size_t k = 0; k < n; ++k) {
        const std::int64_t i = from + static_cast<std::int64_t>(k);
        ASSERT_EQ(out[k], ch.sample(i));
        ASSERT_EQ(out[k], known(i));
    }
    const tsinglearr a = ch.samples_array(from, from + static_cast<std::int64_t>(n));
    ASSERT_EQ(a.size(), n);
    for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(a[k], out[k]);
    ch.read_samples(N, 0, nullptr);  // an empty read at the end is fine
}

TEST(ChannelSamples, EditsFollowAVectorWithCacheAndStoredFigures) {
    std::mt19937 rng(20261210);
    std::uniform_real_distribution<float> value(-4.0f, 4.0f);
    auto below = [&](std::int64_t n) {  // 0..n
        return std::uniform_int_distribution<std::int64_t>(0, n)(rng);
    };
    tchannel ch(nullptr, 0);
    std::vector<float> model(3000);
    for (float& x : model) x = value(rng);
    ch.set_samples(tsinglearr(model));
    ch.fix_sigcache();
    expect_cache(ch, model);

    bool fresh = true;
    for (int step = 0; step < 400; ++step) {
        const auto len = static_cast<std::int64_t>(model.size());
        store_true_stats(ch, model);
        float peak = 0;
        ASSERT_TRUE(ch.stored_peak(peak));
        // Lengths: a few samples, whole cache blocks (their entries move),
        // and spans of several blocks.
        const std::int64_t sizes[] = {1, below(7), 200, 400, below(700)};
        const std::int64_t n = sizes[below(4)];
        std::vector<float> src(static_cast<std::size_t>(n));
        for (float& x : src) x = value(rng);
        const int op = static_cast<int>(below(3));
        SCOPED_TRACE(testing::Message() << "step " << step << " op " << op << " n " << n
                                        << " len " << len);
        bool changed = n > 0;
        std::int64_t wrote_at = -1;
        if (op == 0) {
            const std::int64_t from = below(len);
            const std::int64_t to = std::min(len, from + n);
            changed = to > from;
            ch.erase_samples(from, to);
            model.erase(model.begin() + from, model.begin() + to);
        } else if (op == 1) {
            const std::int64_t at = below(len);
            ch.insert_samples(at, src.data(), src.size());
            model.insert(model.begin() + at, src.begin(), src.end());
        } else if (op == 2) {
            if (n > len) continue;
            const std::int64_t at = below(len - n);
            wrote_at = at;
            ch.write_samples(at, src.data(), src.size());
            std::copy(src.begin(), src.end(), model.begin() + at);
        } else {
            ch.append_samples(src.data(), src.size());
            model.insert(model.end(), src.begin(), src.end());
        }
        ASSERT_EQ(samples_of(ch), model);
        // The figures stored for the samples before the edit no longer hold.
        EXPECT_EQ(ch.stored_peak(peak), !changed);
        double sumsq = 0;
        EXPECT_EQ(ch.stored_sumsq(sumsq), !changed);
        if (changed) {
            EXPECT_TRUE(ch.bmpdirty);
        }
        // A write into an up-to-date cache marks exactly the blocks it touched.
        if (op == 2 && changed && fresh) {
            EXPECT_FALSE(ch.sigcachedirty.full());
            EXPECT_EQ(ch.sigcachedirty.from_block(), wrote_at / sigcache_blocksize);
            EXPECT_EQ(ch.sigcachedirty.to_block(), (wrote_at + n - 1) / sigcache_blocksize + 1);
        }
        // Now and then two edits before the cache is brought up to date.
        fresh = below(3) != 0;
        if (fresh) {
            ch.fix_sigcache();
            expect_cache(ch, model);
        }
        ch.bmpdirty = false;
    }
    ch.fix_sigcache();
    expect_cache(ch, model);
    // The same cache as one built from scratch over the same samples.
    tchannel rebuilt(nullptr, 0);
    rebuilt.set_samples(ch.samples_array());
    rebuilt.fix_sigcache();
    ASSERT_EQ(rebuilt.sigcache.size(), ch.sigcache.size());
    for (std::size_t b = 0; b < ch.sigcache.size(); ++b) {
        EXPECT_EQ(rebuilt.sigcache[b].lo, ch.sigcache[b].lo);
        EXPECT_EQ(rebuilt.sigcache[b].hi, ch.sigcache[b].hi);
    }
}

TEST(ChannelSamples, SourcesInsideTheChannelAreCopiedBeforeTheEdit) {
    tchannel ch(nullptr, 0);
    ch.set_samples({0, 1, 2, 3, 4, 5});
    // A pointer for_each_chunk hands over may be the source of an edit made
    // in the call's last piece (the walk then ends): the block it points
    // into never changes, the edit makes new ones.
    int calls = 0;
    ch.for_each_chunk(3, 6, [&](const float* p, std::size_t n, std::int64_t) {
        ++calls;
        ch.insert_samples(1, p, n);  // 3 4 5 before sample 1
        ch.write_samples(0, p + 1, 2);
    });
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(ch.samples_array(), (tsinglearr{4, 5, 4, 5, 1, 2, 3, 4, 5}));
    // Stores of the channel's own samples inserted into it.
    ch.insert_samples(2, ch.samples_slice(6, 9));
    EXPECT_EQ(ch.samples_array(), (tsinglearr{4, 5, 3, 4, 5, 4, 5, 1, 2, 3, 4, 5}));
    ch.insert_samples(ch.sample_count(), ch.samples());
    const tsinglearr once{4, 5, 3, 4, 5, 4, 5, 1, 2, 3, 4, 5};
    tsinglearr twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(ch.samples_array(), twice);
    // An overlapping copy written over a later part of the same samples.
    const tsinglearr head = ch.samples_array(0, 5);
    ch.write_samples(3, head.data(), head.size());
    EXPECT_EQ(ch.samples_array(0, 8), (tsinglearr{4, 5, 3, 4, 5, 3, 4, 5}));
}

TEST(ChannelSamples, SpansOutsideAreRefusedAndChangeNothing) {
    tchannel ch(nullptr, 0);
    ch.set_samples({1, 2, 3, 4, 5});
    ch.fix_sigcache();
    ch.set_sample_stats(5, true, 55);
    ch.bmpdirty = false;
    const auto generation = ch.sigcachedirty.generation();
    const float p[4] = {9, 9, 9, 9};
    float out[8] = {};
    const std::int64_t n = ch.sample_count();
    const auto refused = [&](auto&& f) { EXPECT_THROW(f(), std::out_of_range); };
    refused([&] { ch.erase_samples(-1, 2); });
    refused([&] { ch.erase_samples(3, 2); });
    refused([&] { ch.erase_samples(0, n + 1); });
    refused([&] { ch.insert_samples(-1, p, 1); });
    refused([&] { ch.insert_samples(n + 1, p, 1); });
    refused([&] { ch.write_samples(n - 2, p, 3); });
    refused([&] { ch.write_samples(-1, p, 1); });
    refused([&] { ch.write_samples(n + 1, p, 0); });
    refused([&] { ch.read_samples(n - 1, 2, out); });
    refused([&] { ch.read_samples(-1, 1, out); });
    refused([&] { ch.samples_array(3, 2); });
    refused([&] { ch.samples_array(0, n + 1); });
    refused([&] { ch.for_each_chunk(0, n + 1, [](const float*, std::size_t, std::int64_t) {}); });
    refused([&] { ch.for_each_chunk(-1, 1, [](const float*, std::size_t, std::int64_t) {}); });
    EXPECT_EQ(ch.samples_array(), (tsinglearr{1, 2, 3, 4, 5}));
    EXPECT_EQ(ch.sigcachedirty.generation(), generation);
    EXPECT_FALSE(ch.sigcachedirty);
    EXPECT_FALSE(ch.bmpdirty);
    float peak = 0;
    EXPECT_TRUE(ch.stored_peak(peak));
    EXPECT_EQ(peak, 5);
    // Empty edits inside the samples are allowed and change nothing either.
    ch.erase_samples(2, 2);
    ch.insert_samples(n, p, 0);
    ch.write_samples(n, p, 0);
    EXPECT_TRUE(ch.stored_peak(peak));
    EXPECT_EQ(ch.sigcachedirty.generation(), generation);
}

TEST(ChannelSamples, SetSamplesAsksForAFullRebuildAndDropsTheFigures) {
    tchannel ch(nullptr, 0);
    ch.set_samples({1, -7, 3});
    ch.fix_sigcache();
    ch.set_sample_stats(7, false, 0);
    ch.bmpdirty = false;
    ch.set_samples({2, 2});
    EXPECT_TRUE(ch.sigcachedirty.full());
    EXPECT_TRUE(ch.bmpdirty);
    float peak = 0;
    EXPECT_FALSE(ch.stored_peak(peak));
    ch.fix_sigcache();
    expect_cache(ch, {2, 2});
}
