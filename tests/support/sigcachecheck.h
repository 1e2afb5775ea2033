// The min/max drawing cache of a channel as its edits left it (brought up
// to date), and the cache a full rebuild over the same samples gives: tests
// of code that marks only the blocks it changed compare the two.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/core/tchannel.h"

namespace tessal::testing {

using tcachepairs = std::vector<std::pair<float, float>>;

inline tcachepairs cache_pairs(const tchannel& ch) {
    tcachepairs v;
    for (const tsinglepair& p : ch.sigcache) v.emplace_back(p.lo, p.hi);
    return v;
}

// The channel's cache after fix_sigcache computed what was marked.
inline tcachepairs fixed_cache(tchannel& ch) {
    ch.fix_sigcache();
    return cache_pairs(ch);
}

// The cache a channel with the same samples builds from nothing.
inline tcachepairs rebuilt_cache(const tchannel& ch) {
    tchannel fresh(nullptr, 0);
    fresh.set_skipjumps(ch.skipjumps());
    fresh.set_samples(ch.samples_array());
    return fixed_cache(fresh);
}

inline void expect_sigcache_as_rebuilt(tchannel& ch) {
    const tcachepairs kept = fixed_cache(ch);
    const tcachepairs want = rebuilt_cache(ch);
    ASSERT_EQ(kept.size(), want.size());
    for (std::size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i], want[i]) << "cache block " << i;
}

}  // namespace tessal::testing
