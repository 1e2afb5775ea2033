// Edits on a long channel keep the min/max drawing cache up to date by
// computing only the blocks they changed: after every command of a random
// sequence (delete, cut, paste, zero, reverse, interpolate, levels) the
// cache equals the block minima and maxima computed afresh from the
// samples, and the channel's extremes equal those of the samples. A change
// inside the channel leaves the blocks far from it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/core/clipboard.h"
#include "engine/core/tdocument.h"
#include "engine/document/editcommands.h"
#include "engine/document/levels.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// The cache as its definition says: per 200 samples the smallest and the
// largest value, and one more block after the last whole one.
std::vector<tsinglepair> cache_from_scratch(const tsinglearr& s) {
    std::vector<tsinglepair> c(s.size() / sigcache_blocksize + 1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        tsinglepair& p = c[i / sigcache_blocksize];
        p.lo = std::min(p.lo, s[i]);
        p.hi = std::max(p.hi, s[i]);
    }
    return c;
}

void expect_cache_matches(tchannel& ch, const char* what, int step) {
    ch.fix_sigcache();
    const tsinglearr samples = ch.samples_array();
    const std::vector<tsinglepair> want = cache_from_scratch(samples);
    ASSERT_EQ(ch.sigcache.size(), want.size()) << what << " at step " << step;
    for (std::size_t b = 0; b < want.size(); ++b)
        if (ch.sigcache[b].lo != want[b].lo || ch.sigcache[b].hi != want[b].hi)
            FAIL() << what << " at step " << step << ": block " << b << " of " << want.size() << " is "
                   << ch.sigcache[b].lo << ".." << ch.sigcache[b].hi << ", samples say " << want[b].lo << ".."
                   << want[b].hi;
    const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
    EXPECT_EQ(ch.sigmin, *lo) << what << " at step " << step;
    EXPECT_EQ(ch.sigmax, *hi) << what << " at step " << step;
}

struct tlongdoc {
    static constexpr double fs = 8000;
    tdocument doc;
    tscriptedprompter prompter;
    tmemoryblockclipboard clipboard;
    teditcommands cmd{doc, prompter, clipboard};
    tlongdoc() {
        doc.set_totnchans(1);
        tchannel& c = doc.channel(0);
        c.sampfreq = c.orgsampfreq = fs;
        // Five minutes: 2.4 M samples, a random walk so that blocks differ.
        std::mt19937 rng(3);
        std::normal_distribution<float> step(0.0f, 0.01f);
        float x = 0;
        tsinglearr s(static_cast<std::size_t>(300 * fs));
        for (float& v : s) v = x = 0.999f * x + step(rng);
        c.set_samples(std::move(s));
        c.fix_sigcache();
        doc.selectmode = selmono;
    }
    tchannel& ch() { return doc.channel(0); }
};

}  // namespace

TEST(LongChannelEdits, CacheEqualsRebuildAfterEveryCommand) {
    tlongdoc d;
    std::mt19937_64 rng(11);
    const double len = 300;
    auto at = [&] { return std::uniform_real_distribution<double>(-1, len + 1)(rng); };
    for (int step = 0; step < 40; ++step) {
        double a = at(), b = at();
        if (a > b) std::swap(a, b);
        // Short selections half of the time, some a whole number of blocks.
        if (rng() % 2) b = a + static_cast<double>(rng() % 40) * sigcache_blocksize / tlongdoc::fs;
        d.doc.theglobal.set_selection(a, b);
        const char* what = "";
        switch (rng() % 8) {
            case 0:
                what = "delete";
                d.prompter.answers.push_back(tanswer::ok);
                d.cmd.delete_selection();
                break;
            case 1:
                what = "cut";
                d.prompter.answers.push_back(tanswer::ok);
                d.cmd.cut();
                break;
            case 2:
                what = "copy and paste";
                if (d.cmd.copy()) {
                    d.doc.theglobal.set_selection(at(), at());
                    d.cmd.paste();
                }
                break;
            case 3: what = "zero"; d.cmd.zero(); break;
            case 4: what = "reverse"; d.cmd.reverse(); break;
            case 5: what = "interpolate"; d.cmd.interpolate(); break;
            case 6:
                what = "levels";
                edit_levels(d.doc, tlevelchange{rampedfactor, 0.5, 2, 30});
                break;
            case 7:
                what = "remove dc";
                edit_levels(d.doc, tlevelchange{removedc, 0, 0, 30});
                break;
        }
        expect_cache_matches(d.ch(), what, step);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(LongChannelEdits, ChangesInsideComputeOnlyTheirBlocks) {
    tlongdoc d;
    tchannel& ch = d.ch();
    const std::size_t blocks = ch.sigcache.size();
    // Zero 1 s in the middle: 8000 samples touch 40 or 41 blocks.
    d.doc.theglobal.set_selection(150, 151);
    ASSERT_TRUE(d.cmd.zero());
    ASSERT_TRUE(ch.sigcachedirty);
    EXPECT_FALSE(ch.sigcachedirty.full());
    EXPECT_LE(ch.sigcachedirty.to_block() - ch.sigcachedirty.from_block(), 42);
    expect_cache_matches(ch, "zero", 0);
    // Deleting a whole number of blocks moves the later blocks' entries
    // instead of computing them.
    d.doc.theglobal.set_selection(100, 100 + 10 * sigcache_blocksize / tlongdoc::fs);
    d.prompter.answers.push_back(tanswer::ok);
    ASSERT_TRUE(d.cmd.delete_selection());
    EXPECT_FALSE(ch.sigcachedirty.full());
    EXPECT_LE(ch.sigcachedirty.to_block() - ch.sigcachedirty.from_block(), 2);
    expect_cache_matches(ch, "delete", 1);
    EXPECT_EQ(ch.sigcache.size(), blocks - 10);
    // A full rebuild request still rebuilds.
    const float spike = 100;
    ch.write_samples(5, &spike, 1);
    ch.sigcachedirty = true;
    EXPECT_TRUE(ch.sigcachedirty.full());
    expect_cache_matches(ch, "assignment", 2);
}
