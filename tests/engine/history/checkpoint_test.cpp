// A command that fails half way: the checkpoint taken before it brings the
// document back whole (names, units, full scale, axis scale, samples,
// labels, channel list, cursors, flags), and the failure text says what
// happened in the user's words.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#include "engine/core/tdocument.h"
#include "engine/history/checkpoint.h"
#include "support/sigcachecheck.h"

using namespace tessal;

namespace {

void two_channels(tdocument& doc) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 1000;
        ch.set_samples(tsinglearr(1000, 0.25f * (c + 1)));
        ch.set_name(c ? "flow" : "mic");
        ch.set_yunit(c ? "l/s" : "Pa");
        ch.set_fsd(1);
        ch.add_label(0.1, 0.2, "a", "manual");
    }
    doc.channel(0).stereochanno = 1;
    doc.channel(1).stereochanno = 0;
    doc.theglobal.set_selection(0.2, 0.4);
    doc.set_filename("/tmp/take.wav");
    doc.set_modified(false);
}

}  // namespace

TEST(Checkpoint, RestoreUndoesEveryPartOfAHalfDoneCommand) {
    tdocument doc;
    two_channels(doc);
    doc.channel(0).axis.set_hilovalues(1, 0.01);
    doc.channel(0).axis.SetLogarithmic(true);
    const tchannel* first = &doc.channel(0);
    const tdocumentcheckpoint before(doc);
    ASSERT_TRUE(before.has_samples());

    // What the failing command got done before it raised.
    tchannel& ch = doc.channel(0);
    ch.set_name("glottis");
    ch.set_yunit("V");
    ch.axis.SetLogarithmic(false);
    ch.set_fsd(5);
    const float nine = 9;
    ch.write_samples(3, &nine, 1);
    ch.erase_samples(10, ch.sample_count());
    ch.labels.clear();
    ch.stereochanno = -1;
    doc.channel(1).sampfreq = 8000;
    doc.create_channel(doc.totnchans());
    doc.theglobal.set_selection(0, 0.9);
    doc.set_thischanno(2);
    doc.set_modified(true);
    doc.set_filename("");
    doc.prefs.nSignificantDigits = 12;

    before.restore(doc);

    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(&doc.channel(0), first);
    EXPECT_EQ(doc.channel(0).name(), "mic");
    EXPECT_EQ(doc.channel(0).yunit(), "Pa");
    EXPECT_EQ(doc.channel(0).fsd(), 1);
    EXPECT_TRUE(doc.channel(0).axis.GetLogarithmic());
    EXPECT_DOUBLE_EQ(doc.channel(0).axis.GetLoValue(), 0.01);
    EXPECT_DOUBLE_EQ(doc.channel(0).axis.GetHiValue(), 1);
    ASSERT_EQ(doc.channel(0).sample_count(), 1000);
    EXPECT_EQ(doc.channel(0).sample(3), 0.25f);
    EXPECT_EQ(doc.channel(0).labels.size(), 1u);
    EXPECT_EQ(doc.channel(0).stereochanno, 1);
    EXPECT_EQ(doc.channel(1).sampfreq, 1000);
    EXPECT_DOUBLE_EQ(doc.theglobal.leftselcursor(), 0.2);
    EXPECT_DOUBLE_EQ(doc.theglobal.rightselcursor(), 0.4);
    EXPECT_EQ(doc.thischanno(), 0);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(doc.filename(), "/tmp/take.wav");
    EXPECT_EQ(doc.prefs.nSignificantDigits, 5);
}

TEST(Checkpoint, ALargeDocumentKeepsItsPropertiesWithoutCopyingSamples) {
    tdocument doc;
    two_channels(doc);
    const tdocumentcheckpoint before(doc, 1500);  // fewer than the 2000 samples held
    EXPECT_FALSE(before.has_samples());
    doc.channel(1).set_name("renamed");
    before.restore(doc);
    EXPECT_EQ(doc.channel(1).name(), "flow");
    EXPECT_EQ(doc.channel(1).sample_count(), 1000);
}

// Restoring samples a command changed gives them back bit for bit (a 0
// that became -0 as well) whatever pieces the channel reads in, and marks
// only the cache blocks that changed: the cache then equals a rebuild.
TEST(Checkpoint, RestoredSamplesAreBitExactAndOnlyTheirCacheBlocksAreComputed) {
    auto bits = [](const tchannel& ch) {
        const tsinglearr s = ch.samples_array();
        std::vector<std::uint32_t> b(s.size());
        if (!s.empty()) std::memcpy(b.data(), s.data(), s.size() * sizeof(float));
        return b;
    };
    const std::vector<float> ten(10, 0.75f), seven(7, -0.5f), tail(300, 0.125f);
    const float minuszero = -0.0f;
    const std::vector<std::function<void(tchannel&)>> edits{
        [&](tchannel& c) { c.write_samples(1000, ten.data(), ten.size()); },
        [&](tchannel& c) {
            c.insert_samples(2000, seven.data(), seven.size());
            c.write_samples(100, ten.data(), ten.size());
        },
        [](tchannel& c) { c.erase_samples(1500, 2600); },
        [](tchannel& c) { c.erase_samples(0, c.sample_count()); },
        [&](tchannel& c) { c.write_samples(400, &minuszero, 1); },
        [&](tchannel& c) { c.append_samples(tail.data(), tail.size()); },
        [](tchannel&) {},
    };
    for (std::size_t e = 0; e < edits.size(); ++e) {
        for (std::size_t limit : {std::size_t{0}, std::size_t{7}, std::size_t{1}}) {
            SCOPED_TRACE(std::to_string(e) + " limit " + std::to_string(limit));
            tdocument doc;
            two_channels(doc);
            tchannel& ch = doc.channel(0);
            tsinglearr v(3001);
            for (std::size_t i = 0; i < v.size(); ++i) v[i] = i % 400 == 0 ? 0.0f : 0.9f * std::sin(0.01f * i);
            ch.set_samples(v);
            ch.fix_sigcache();
            const std::vector<std::uint32_t> truth = bits(ch);
            const tdocumentcheckpoint before(doc);
            ASSERT_TRUE(before.has_samples());
            edits[e](ch);
            ch.fix_sigcache();
            ch.set_chunk_limit(limit);
            before.restore(doc);
            EXPECT_EQ(bits(ch), truth);
            EXPECT_FALSE(ch.sigcachedirty.full());
            EXPECT_EQ(tessal::testing::fixed_cache(ch), tessal::testing::rebuilt_cache(ch));
        }
    }
}

TEST(Checkpoint, FailureTextsSpeakToTheUser) {
    const std::string axis = failure_text(EAxisError("HiValue=0, must be >0 for log scale!"));
    EXPECT_EQ(axis,
              "A logarithmic axis can only show values above 0, and this command needed it to "
              "show 0 or less. Switch the axis to a linear scale (double-click the axis) and "
              "try again.\r(HiValue=0, must be >0 for log scale!)\rNothing was changed.");
    EXPECT_EQ(failure_text(std::bad_alloc()),
              "There is not enough memory for this command.\rNothing was changed.");
    EXPECT_EQ(failure_text(std::runtime_error("Disk full")),
              "The command could not be completed.\r(Disk full)\rNothing was changed.");
}
