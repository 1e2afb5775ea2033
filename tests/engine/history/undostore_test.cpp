// The undo history holds its samples as slices of the channels' stores:
// many random edits undone and redone give the samples back bit for bit
// (against a plain std::vector model kept beside), also when the document's
// block cache is so small that blocks go out to its scratch file; what the
// history charges for them (a deleted span costs its samples, small edits
// of a long channel cost what they replaced, never a copy of the channel
// each); a failed command's checkpoint puts a channel back from its store.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/history/checkpoint.h"
#include "engine/history/undohistory.h"
#include "engine/store/blocks.h"
#include "support/tempdirtest.h"

using namespace tessal;

namespace {

using tmodel = std::vector<float>;

bool same_bits(const tchannel& ch, const tmodel& m) {
    if (ch.sample_count() != static_cast<std::int64_t>(m.size())) return false;
    const tsinglearr a = ch.samples_array();
    return a.empty() || std::memcmp(a.data(), m.data(), m.size() * sizeof(float)) == 0;
}

// One random edit of `ch` (and the same on `m`) as a command does it:
// samples_changing first, then the channel's own edit.
void random_edit(tdocument& doc, tchannel& ch, tmodel& m, std::mt19937& rng) {
    const auto n = static_cast<std::int64_t>(m.size());
    std::uniform_int_distribution<std::int64_t> pos(0, n);
    std::int64_t a = pos(rng), b = pos(rng);
    if (a > b) std::swap(a, b);
    b = std::min(b, a + 150000);  // spans of up to a few blocks
    std::normal_distribution<float> x(0, 0.5f);
    const int what = std::uniform_int_distribution<int>(0, 2)(rng);
    if (what == 0) {  // overwrite
        std::vector<float> v(static_cast<std::size_t>(b - a));
        for (float& f : v) f = x(rng);
        doc.samples_changing(ch, static_cast<std::size_t>(a), static_cast<std::size_t>(b));
        ch.write_samples(a, v.data(), v.size());
        std::copy(v.begin(), v.end(), m.begin() + a);
    } else if (what == 1) {  // erase
        doc.samples_changing(ch, static_cast<std::size_t>(a), static_cast<std::size_t>(b));
        ch.erase_samples(a, b);
        m.erase(m.begin() + a, m.begin() + b);
    } else {  // insert
        std::vector<float> v(static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 90000)(rng)));
        for (float& f : v) f = x(rng);
        doc.samples_changing(ch, static_cast<std::size_t>(a), static_cast<std::size_t>(a));
        ch.insert_samples(a, v.data(), v.size());
        m.insert(m.begin() + a, v.begin(), v.end());
    }
}

class UndoStore : public tessal::testing::ttempdirtest {};

TEST_F(UndoStore, ManyEditsUndoneAndRedoneGiveTheSamplesBackWithBlocksOutOfMemory) {
    tdocument doc;
    // Room for four blocks: most of what the history and the channel hold
    // lives in the scratch file.
    auto cache = std::make_shared<tblockcache>(4 * block_samples * sizeof(float), dir);
    doc.set_block_cache(cache);
    tundohistory h(doc);
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = 48000;
    std::mt19937 rng(31);
    tmodel m(5 * block_samples + 123);
    std::normal_distribution<float> x(0, 0.5f);
    for (float& f : m) f = x(rng);
    m[7] = -0.0f;  // a sign a plain == would not see
    ch.set_samples(tsinglearr(m.begin(), m.end()));
    h.clear();
    std::vector<tmodel> states{m};
    for (int k = 0; k < 40; ++k) {
        h.begin("edit " + std::to_string(k));
        random_edit(doc, ch, m, rng);
        h.commit();
        states.push_back(m);
    }
    ASSERT_EQ(h.undo_count(), 40u);
    ASSERT_EQ(h.dropped_steps(), 0u);
    for (int k = 39; k >= 0; --k) {
        ASSERT_TRUE(h.undo());
        ASSERT_TRUE(same_bits(ch, states[static_cast<std::size_t>(k)])) << "after undoing edit " << k;
    }
    for (int k = 1; k <= 40; ++k) {
        ASSERT_TRUE(h.redo());
        ASSERT_TRUE(same_bits(ch, states[static_cast<std::size_t>(k)])) << "after redoing edit " << k;
    }
    // Blocks did leave memory (the scratch file was used).
    EXPECT_GT(cache->stats().spills, 0u);
}

// What each step is charged for is what only the history keeps: a Delete
// of a long span is charged the span; small overwrites of a long channel
// are charged about what they replaced, never the channel.
TEST_F(UndoStore, ADeletedSpanIsChargedAndSmallEditsAreNotChargedAsCopies) {
    tdocument doc;
    doc.set_block_cache(std::make_shared<tblockcache>(std::size_t(64) << 20, dir));
    tundohistory h(doc);
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    const std::size_t n = 40 * block_samples;  // 10 MB of floats
    ch.set_samples(tsinglearr(n, 0.25f));
    h.clear();
    for (int k = 0; k < 100; ++k) {
        h.begin("Zero");
        const std::int64_t at = static_cast<std::int64_t>((k * 7919u * 97u) % (n - 16));
        doc.samples_changing(ch, static_cast<std::size_t>(at), static_cast<std::size_t>(at + 16));
        const float z[16] = {};
        ch.write_samples(at, z, 16);
        h.commit();
    }
    ASSERT_EQ(h.undo_count(), 100u);
    const std::size_t channel_bytes = n * sizeof(float);
    // Each small edit costs at most the block it replaced, plus its records.
    EXPECT_LE(h.memory_bytes(), 100 * (block_samples * sizeof(float) + 4096));
    EXPECT_LT(h.memory_bytes(), 3 * channel_bytes);
    EXPECT_GE(h.memory_bytes(), 100 * 16 * sizeof(float));

    h.clear();
    const std::int64_t a = 3 * block_samples + 11, b = 33 * block_samples + 5;
    h.begin("Delete");
    doc.samples_changing(ch, static_cast<std::size_t>(a), static_cast<std::size_t>(b));
    ch.erase_samples(a, b);
    h.commit();
    const auto span = static_cast<std::size_t>(b - a) * sizeof(float);
    // The blocks wholly inside the span are charged; the two at its ends
    // are shared with the channel's samples left and right of the cut.
    EXPECT_GE(h.memory_bytes(), span - 2 * block_samples * sizeof(float));
    EXPECT_LE(h.memory_bytes(), span + 2 * block_samples * sizeof(float) + 4096);
    // Undone, the span is back in the channel and the step (now a redo of
    // the Delete) holds nothing the channel does not.
    ASSERT_TRUE(h.undo());
    EXPECT_EQ(ch.sample_count(), static_cast<std::int64_t>(n));
    EXPECT_LE(h.memory_bytes(), 2 * block_samples * sizeof(float) + 4096);
}

TEST_F(UndoStore, ReplaceSamplesFromAStoreWritesEqualLengthsAndInsertsOrErasesTheRest) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    tsinglearr v(1000);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i);
    ch.set_samples(v);
    ch.fix_sigcache();
    tsinglearr w(300);
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = -static_cast<float>(i) - 1;
    const tsamplestore s = tsamplestore::from_array(w);
    // Same length.
    replace_samples(ch, 100, 400, s);
    EXPECT_EQ(ch.sample_count(), 1000);
    EXPECT_EQ(ch.sample(99), 99.0f);
    EXPECT_EQ(ch.sample(100), -1.0f);
    EXPECT_EQ(ch.sample(399), -300.0f);
    EXPECT_EQ(ch.sample(400), 400.0f);
    // Longer than the span: 200 replaced by 300.
    replace_samples(ch, 500, 700, s);
    EXPECT_EQ(ch.sample_count(), 1100);
    EXPECT_EQ(ch.sample(500), -1.0f);
    EXPECT_EQ(ch.sample(799), -300.0f);
    EXPECT_EQ(ch.sample(800), 700.0f);
    // Shorter: 500 replaced by 300.
    replace_samples(ch, 0, 500, s);
    EXPECT_EQ(ch.sample_count(), 900);
    EXPECT_EQ(ch.sample(299), -300.0f);
    EXPECT_EQ(ch.sample(300), -1.0f);
    EXPECT_THROW(replace_samples(ch, 800, 901, s), std::out_of_range);
    EXPECT_EQ(ch.sample_count(), 900);
}

TEST_F(UndoStore, ACheckpointOfALongChannelPutsItsSamplesBack) {
    tdocument doc;
    doc.set_block_cache(std::make_shared<tblockcache>(4 * block_samples * sizeof(float), dir));
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    tmodel m(20 * block_samples + 5);
    for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<float>(i % 977) * 0.001f;
    ch.set_samples(tsinglearr(m.begin(), m.end()));
    // More samples than a checkpoint used to copy are kept by default.
    const tdocumentcheckpoint before(doc);
    ASSERT_TRUE(before.has_samples());
    ch.erase_samples(100, 5 * block_samples);
    const float z[3] = {0, -0.0f, 0};
    ch.write_samples(7 * block_samples, z, 3);
    before.restore(doc);
    EXPECT_TRUE(same_bits(ch, m));
}

}  // namespace
