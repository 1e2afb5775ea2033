// Whether a channel's min/max drawing cache, as the edits left it marked,
// is the one a full rebuild makes.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/tchannel.h"

namespace tessal::testing {

inline void expect_sigcache_as_rebuilt(tchannel& ch) {
    ch.fix_sigcache();
    const std::vector<tsinglepair> kept = ch.sigcache;
    ch.sigcachedirty = true;
    ch.fix_sigcache();
    ASSERT_EQ(kept.size(), ch.sigcache.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        ASSERT_EQ(kept[i].lo, ch.sigcache[i].lo) << "cache block " << i;
        ASSERT_EQ(kept[i].hi, ch.sigcache[i].hi) << "cache block " << i;
    }
}

}  // namespace tessal::testing
