// The Edit and Channels menus' sample and channel commands: the clipboard
// block and its round trip, paste around shifted channels, delete across
// labels, the edit sets, zero / reverse / interpolate at their ends, the
// level changes against the raised-cosine ramp's properties, Set FSD,
// alignment and channel information, and that refused questions and
// unreadable numbers change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "engine/core/clipboard.h"
#include "engine/core/tdocument.h"
#include "engine/document/channelcommands.h"
#include "engine/document/clipboardblock.h"
#include "engine/document/editcommands.h"
#include "engine/document/levels.h"
#include "engine/history/undohistory.h"
#include "support/scriptedprompter.h"
#include "support/sigcachecheck.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// n channels at `fs`, sample k of channel i = 1000 * i + k, so every
// sample says where it came from.
struct tfixture {
    tdocument doc;
    tscriptedprompter prompter;
    tmemoryblockclipboard clipboard;
    teditcommands cmd{doc, prompter, clipboard};
    explicit tfixture(int n = 2, double fs = 1000, int len = 2000) {
        doc.set_totnchans(n);
        for (int i = 0; i < n; ++i) {
            tchannel& c = doc.channel(i);
            c.sampfreq = c.orgsampfreq = fs;
            tsinglearr v(static_cast<std::size_t>(len));
            for (int k = 0; k < len; ++k) v[static_cast<std::size_t>(k)] = static_cast<float>(1000 * i + k);
            c.set_samples(std::move(v));
        }
        doc.selectmode = selmono;
        doc.set_modified(false);
    }
    void select(double a, double b) { doc.theglobal.set_selection(a, b); }
    // A copy of channel c's samples (const, so that no test writes into it
    // believing it edits the channel).
    const tsinglearr sig(int c) const { return doc.channel(c).samples_array(); }
    void set_sig(int c, tsinglearr v) { doc.channel(c).set_samples(std::move(v)); }
    void put(int c, long long k, float v) { doc.channel(c).write_samples(k, &v, 1); }
    void pair(int a, int b) {
        doc.channel(a).stereochanno = b;
        doc.channel(b).stereochanno = a;
    }
};

std::vector<std::uint8_t> block_bytes(const tclipblock& b) { return serialise_clipblock(b); }

}  // namespace

// --- the clipboard block ----------------------------------------------------------

TEST(ClipboardBlock, LayoutAndRoundTrip) {
    tclipblock b;
    b.start = 1.25f;
    b.chans.push_back({8000, 2, {1.5f, -2.0f}});
    b.chans.push_back({44100, 0.5f, {}});
    std::vector<std::uint8_t> bytes = serialise_clipblock(b);
    ASSERT_EQ(bytes.size(), 8u + (12 + 8) + 12);
    // Little-endian fields where the format puts them.
    const std::uint8_t head[] = {2, 0, 0, 0, 0x00, 0x00, 0xA0, 0x3F, 2, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes.data(), head, sizeof head));
    float f;
    std::memcpy(&f, bytes.data() + 12, 4);
    EXPECT_EQ(f, 8000.0f);
    std::memcpy(&f, bytes.data() + 20, 4);
    EXPECT_EQ(f, 1.5f);
    tclipblock back = parse_clipblock(bytes);
    ASSERT_EQ(back.chans.size(), 2u);
    EXPECT_EQ(back.start, 1.25f);
    EXPECT_EQ(back.chans[0].samples, b.chans[0].samples);
    EXPECT_EQ(back.chans[1].sampfreq, 44100.0f);
    EXPECT_TRUE(back.chans[1].samples.empty());
}

TEST(ClipboardBlock, DamagedBlocksAreRefusedBeforeAllocating) {
    tclipblock b;
    b.chans.push_back({1000, 1, {1, 2, 3}});
    const std::vector<std::uint8_t> good = serialise_clipblock(b);
    // Every shorter block, and one byte too many.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_THROW(parse_clipblock({good.begin(), good.begin() + n}), EClipboardError) << n;
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_THROW(parse_clipblock(longer), EClipboardError);
    // Counts that claim far more than the block holds, or are negative.
    for (std::uint32_t claim : {0x7FFFFFFFu, 0xFFFFFFFFu, 4u}) {
        std::vector<std::uint8_t> bad = good;
        std::memcpy(bad.data() + 8, &claim, 4);
        EXPECT_THROW(parse_clipblock(bad), EClipboardError) << claim;
        bad = good;
        std::memcpy(bad.data(), &claim, 4);
        EXPECT_THROW(parse_clipblock(bad), EClipboardError) << claim;
    }
}

// --- copy and paste -------------------------------------------------------------------

TEST(EditCopy, HalfSecondAtTenKilohertzGivesStereoBlockOf5000Samples) {
    tfixture f(3, 10000, 20000);
    f.pair(1, 2);
    f.doc.selectmode = selstereo;
    f.doc.set_thischanno(2);
    f.doc.channel(2).set_fsd(3);
    f.select(0.5, 1.0);
    ASSERT_TRUE(f.cmd.copy());
    tclipblock b = parse_clipblock(f.clipboard.blocks.at("Tessal Sampled Data"));
    ASSERT_EQ(b.chans.size(), 2u);
    EXPECT_EQ(b.start, 0.5f);
    // Current channel first, then its partner.
    for (int i = 0; i < 2; ++i) {
        const int c = i == 0 ? 2 : 1;
        // The half-open span 5000..9999: the sample at 1.0 s is not part
        // of the selection, as it is not of a Delete or a saved selection.
        ASSERT_EQ(b.chans[i].samples.size(), 5000u);
        EXPECT_EQ(b.chans[i].samples.front(), 1000 * c + 5000);
        EXPECT_EQ(b.chans[i].samples.back(), 1000 * c + 9999);
        EXPECT_EQ(b.chans[i].sampfreq, 10000);
    }
    EXPECT_EQ(b.chans[0].fsd, 3);
    EXPECT_FALSE(f.doc.modified());
}

TEST(EditCopy, OutsideTheSamplesCopiesZeros) {
    tfixture f(1, 1000, 100);
    f.doc.channel(0).xshift = 50;  // samples at 0.05 .. 0.149 s
    f.select(0.0, 0.2);
    ASSERT_TRUE(f.cmd.copy());
    tclipblock b = parse_clipblock(f.clipboard.blocks.at(sampleddata_format));
    const auto& s = b.chans.at(0).samples;
    ASSERT_EQ(s.size(), 200u);
    EXPECT_EQ(s[49], 0);
    EXPECT_EQ(s[50], 0);  // sample 0 of the channel holds 0
    EXPECT_EQ(s[51], 1);
    EXPECT_EQ(s[149], 99);
    EXPECT_EQ(s[150], 0);
    EXPECT_EQ(s[199], 0);
}

TEST(EditPaste, BeforeAShiftedChannelsFirstSample) {
    tfixture f(1, 1000, 10);
    tchannel& c = f.doc.channel(0);
    c.xshift = 500;  // first sample at 0.5 s
    c.add_label(0.505, 0.002, "on data", "manual");
    f.clipboard.set_data(sampleddata_format, block_bytes({0, {{1000, 1, {7, 8, 9}}}}));
    f.select(0.4, 0.4);  // 100 samples before the first one
    ASSERT_TRUE(f.cmd.paste());
    ASSERT_EQ(c.sample_count(), 10 + 3 + 100);
    EXPECT_EQ(c.xshift, 400);  // the channel starts at the cursor
    EXPECT_EQ(c.sample(0), 7);
    EXPECT_EQ(c.sample(2), 9);
    for (int k = 3; k < 103; ++k) ASSERT_EQ(c.sample(k), 0) << k;
    EXPECT_EQ(c.sample(103), 0);  // old sample 0
    EXPECT_EQ(c.sample(104), 1);
    EXPECT_EQ(c.sample(112), 9);
    // Old sample 5 now lies 3 samples later, and so does its label.
    EXPECT_DOUBLE_EQ((104 + 4 + c.xshift) / 1000.0, 0.508);
    EXPECT_NEAR(c.labels[0].time, 0.508, 1e-12);
    EXPECT_TRUE(f.doc.modified());
}

TEST(EditPaste, InsideAShiftedChannelLeavesEarlierLabelsAlone) {
    // The insertion point is a time on the document's axis; a label before
    // it stays where it is however far the channel is shifted.
    tfixture f(1, 1000, 1000);
    tchannel& c = f.doc.channel(0);
    c.xshift = 500;
    c.add_label(0.6, 0.0, "before", "manual");
    c.add_label(0.9, 0.0, "after", "manual");
    c.add_label(0.75, 0.1, "across", "manual");
    f.clipboard.set_data(sampleddata_format, block_bytes({0, {{1000, 1, std::vector<float>(100, -1)}}}));
    f.select(0.8, 0.8);
    ASSERT_TRUE(f.cmd.paste());
    EXPECT_EQ(c.sample(299), 299);
    EXPECT_EQ(c.sample(300), -1);
    EXPECT_EQ(c.sample(400), 300);
    EXPECT_NEAR(c.labels[0].time, 0.6, 1e-12);
    EXPECT_NEAR(c.labels[1].time, 0.75, 1e-12);
    EXPECT_NEAR(c.labels[1].duration, 0.2, 1e-12);
    EXPECT_NEAR(c.labels[2].time, 1.0, 1e-12);
}

TEST(EditPaste, BeyondTheEndFillsWithZeros) {
    tfixture f(1, 1000, 10);
    f.clipboard.set_data(sampleddata_format, block_bytes({0, {{1000, 1, {5, 6}}}}));
    f.select(0.02, 0.02);
    ASSERT_TRUE(f.cmd.paste());
    tsinglearr s = f.sig(0);
    ASSERT_EQ(s.size(), 22u);
    EXPECT_EQ(s[9], 9);
    for (int k = 10; k < 20; ++k) EXPECT_EQ(s[k], 0);
    EXPECT_EQ(s[20], 5);
    EXPECT_EQ(s[21], 6);
    // Exactly at the end: appended, no zeros.
    f.select(0.022, 0.022);
    ASSERT_TRUE(f.cmd.paste());
    s = f.sig(0);
    ASSERT_EQ(s.size(), 24u);
    EXPECT_EQ(s[22], 5);
}

TEST(EditPaste, StereoCopyIntoAnotherPairAndMismatches) {
    tfixture f(4, 1000, 100);
    f.pair(0, 1);
    f.pair(2, 3);
    f.doc.selectmode = selstereo;
    f.doc.set_thischanno(0);
    f.select(0.010, 0.013);
    ASSERT_TRUE(f.cmd.copy());
    f.doc.set_thischanno(3);
    f.select(0.050, 0.050);
    ASSERT_TRUE(f.cmd.paste());
    // Channel 0's stretch goes into the current channel, 1's into its partner.
    EXPECT_EQ(f.sig(3)[50], 10);
    EXPECT_EQ(f.sig(3)[52], 12);
    EXPECT_EQ(f.sig(3)[53], 3050);
    EXPECT_EQ(f.sig(2)[50], 1010);
    EXPECT_EQ(f.sig(0).size(), 100u);
    EXPECT_TRUE(f.prompter.asked.empty());

    // Two channels where the current one has no partner: nothing changes.
    f.doc.channel(3).stereochanno = f.doc.channel(2).stereochanno = -1;
    const tsinglearr before = f.sig(3);
    f.doc.set_modified(false);
    EXPECT_FALSE(f.cmd.paste());
    ASSERT_EQ(f.prompter.asked.size(), 1u);
    EXPECT_EQ(f.prompter.asked[0].caption, "Channel mismatch");
    EXPECT_EQ(f.prompter.asked[0].text,
              "Clipboard signals do not fit at cursor\r(2 channels on clipboard, 4 at cursor)");
    EXPECT_EQ(f.sig(3), before);
    EXPECT_FALSE(f.doc.modified());

    // One channel into an empty document.
    tfixture e(0);
    e.clipboard.set_data(sampleddata_format, block_bytes({0, {{1000, 1, {1}}}}));
    EXPECT_FALSE(e.cmd.paste());
    EXPECT_EQ(e.prompter.asked.at(0).text,
              "Clipboard signal does not fit at cursor\r(1 channel on clipboard, 0 at cursor)");
}

TEST(EditPaste, DamagedOrMissingBlockChangesNothing) {
    tfixture f(1, 1000, 10);
    EXPECT_FALSE(f.cmd.can_paste());
    EXPECT_FALSE(f.cmd.paste());
    f.clipboard.set_data(sampleddata_format, {1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F});
    EXPECT_TRUE(f.cmd.can_paste());
    EXPECT_FALSE(f.cmd.paste());
    EXPECT_EQ(f.sig(0).size(), 10u);
    EXPECT_EQ(f.prompter.asked.size(), 1u);
}

// --- delete and cut ---------------------------------------------------------------------

TEST(EditDelete, RemovesTheSelectionAndCarriesLabels) {
    tfixture f(1, 1000, 3000);
    tchannel& c = f.doc.channel(0);
    c.add_label(0.5, 0.2, "before", "manual");
    c.add_label(1.2, 0.1, "inside", "manual");
    c.add_label(0.8, 0.4, "into", "manual");
    c.add_label(1.4, 0.3, "out of", "manual");
    c.add_label(2.0, 0.1, "after", "manual");
    f.select(1.5, 1.0);  // cursors either way round
    f.prompter.answers = {tanswer::ok};
    ASSERT_TRUE(f.cmd.delete_selection());
    EXPECT_EQ(f.prompter.asked[0].text, "Do you want to delete the selection of channel 0?");
    EXPECT_EQ(f.prompter.asked[0].caption, "Confirm delete of waveform");
    ASSERT_EQ(c.sample_count(), 2500);
    EXPECT_EQ(c.sample(999), 999);
    EXPECT_EQ(c.sample(1000), 1500);
    ASSERT_EQ(c.labels.size(), 4u);
    EXPECT_EQ(c.labels[0].text, "before");
    EXPECT_NEAR(c.labels[1].time, 0.8, 1e-12);  // "into" now ends at the cut
    EXPECT_NEAR(c.labels[1].duration, 0.2, 1e-12);
    EXPECT_EQ(c.labels[2].text, "out of");  // starts at the cut with what was left
    EXPECT_NEAR(c.labels[2].time, 1.0, 1e-12);
    EXPECT_NEAR(c.labels[2].duration, 0.2, 1e-12);
    EXPECT_NEAR(c.labels[3].time, 1.5, 1e-12);
    EXPECT_EQ(f.doc.theglobal.sel1cursor(), 1.0);
    EXPECT_EQ(f.doc.theglobal.sel2cursor(), 1.0);
    EXPECT_TRUE(f.doc.modified());
}

TEST(EditDelete, RefusedOrWithoutSelectionChangesNothing) {
    tfixture f(2, 1000, 3000);
    f.pair(0, 1);
    f.doc.selectmode = selstereo;
    f.doc.channel(0).add_label(1.2, 0.1, "x", "manual");
    f.doc.set_modified(false);
    f.select(1.0, 1.5);
    EXPECT_FALSE(f.cmd.delete_selection());  // the box closed: cancel
    EXPECT_EQ(f.prompter.asked.at(0).text,
              "Do you want to delete the selection of channels 0 and 1?");
    EXPECT_EQ(f.sig(0).size(), 3000u);
    EXPECT_EQ(f.doc.channel(0).labels.at(0).time, 1.2);
    EXPECT_EQ(f.doc.theglobal.rightselcursor(), 1.5);
    EXPECT_FALSE(f.doc.modified());
    // Cut copies, then asks; refused, the samples stay.
    EXPECT_FALSE(f.cmd.cut());
    EXPECT_TRUE(f.cmd.can_paste());
    EXPECT_EQ(f.sig(1).size(), 3000u);
    f.select(1.0, 1.0);
    f.prompter.asked.clear();
    EXPECT_FALSE(f.cmd.delete_selection());
    EXPECT_TRUE(f.prompter.asked.empty());
}

TEST(EditDelete, QuestionsOfEveryEditSet) {
    tfixture f(4);
    f.select(0.1, 0.2);
    f.doc.set_thischanno(2);
    f.doc.selectmode = selstereo;  // no partner: as mono
    EXPECT_EQ(f.cmd.delete_question(), "Do you want to delete the selection of channel 2?");
    f.doc.selectmode = selall;
    EXPECT_EQ(f.cmd.delete_question(), "Do you want to delete the selection (all channels)?");
    f.doc.selectmode = selvisible;
    f.doc.channel(1).set_visible(false);
    EXPECT_EQ(f.cmd.delete_question(),
              "Do you want to delete the selection of channels 0, 2 and 3?");
    f.doc.channel(0).set_visible(false);
    f.doc.channel(3).set_visible(false);
    EXPECT_EQ(f.cmd.delete_question(), "Do you want to delete the selection of channel 2?");
}

TEST(EditDelete, SelectionReachingPastAShorterChannelMovesItsLabelsOnlyAsFarAsItsSamples) {
    tfixture f(2, 1000, 2000);
    f.doc.channel(1).erase_samples(1200, 2000);  // channel 1 ends at 1.2 s
    f.doc.selectmode = selall;
    f.doc.channel(1).add_label(1.1, 0.05, "on data", "manual");
    f.select(1.0, 1.5);
    f.prompter.answers = {tanswer::ok};
    ASSERT_TRUE(f.cmd.delete_selection());
    EXPECT_EQ(f.sig(0).size(), 1500u);
    // Samples 1000..1199 go, the last one included (the selection covers
    // it); the label on them goes with them.
    EXPECT_EQ(f.sig(1).size(), 1000u);
    EXPECT_EQ(f.sig(1)[999], 1999);
    EXPECT_TRUE(f.doc.channel(1).labels.empty());
}

// One selection is one half-open span of samples: Copy takes the samples
// Delete removes, Cut and Paste at the same place give every channel back
// sample for sample with its labels, wherever the cursors fall between
// samples and whether the selection ends inside or past the samples.
TEST(EditCutPaste, OneSpanForCopyCutDeleteAndPaste) {
    struct tcase {
        const char* what;
        double fs;
        int len;
        double L, R;  // seconds
        long long n;  // samples in the span
    };
    const tcase cases[] = {
        // The drag of 1.1 .. 1.68 s in a 97953-frame file at 44.1 kHz.
        {"1.1 .. 1.68 s", 44100, 97953, 1.1, 1.68, 25578},
        // Cursors at 5444.6 and 16410.4 samples: rounded, 10965 samples,
        // though the selection is 10965.8 samples long.
        {"fractions", 44100, 30000, 5444.6 / 44100, 16410.4 / 44100, 10965},
        // Reaching past the last sample: everything from L on.
        {"past the end", 1000, 2000, 1.5, 2.5, 500},
    };
    for (const tcase& k : cases) {
        SCOPED_TRACE(k.what);
        tfixture f(2, k.fs, k.len);
        f.pair(0, 1);
        f.doc.selectmode = selstereo;
        // Labels before and after the selection (one inside would go with
        // the Cut: the clipboard carries samples only).
        const double end = k.len / k.fs;
        f.doc.channel(0).add_label(k.L / 2, 0.001, "before", "manual");
        f.doc.channel(1).add_label(k.L / 3, 0.0, "before", "manual");
        if (k.R < end) f.doc.channel(1).add_label((k.R + end) / 2, 0.0, "after", "manual");
        const tsinglearr a0 = f.sig(0), a1 = f.sig(1);
        const auto labels0 = f.doc.channel(0).labels, labels1 = f.doc.channel(1).labels;

        // Copy: n samples a channel, from round(L * fs) on.
        f.select(k.L, k.R);
        ASSERT_TRUE(f.cmd.copy());
        tclipblock b = parse_clipblock(f.clipboard.blocks.at(sampleddata_format));
        ASSERT_EQ(b.chans.size(), 2u);
        const long long s = std::llround(k.L * k.fs);
        for (int i = 0; i < 2; ++i) {
            const long long copied = std::min<long long>(k.n, k.len - s);
            ASSERT_GE(static_cast<long long>(b.chans[i].samples.size()), copied);
            EXPECT_EQ(b.chans[i].samples.size(), static_cast<std::size_t>(std::llround(k.R * k.fs) - s));
            EXPECT_EQ(b.chans[i].samples[0], 1000 * i + s);
            EXPECT_EQ(b.chans[i].samples[copied - 1], 1000 * i + s + copied - 1);
        }

        // Cut removes exactly n samples of each channel of the pair ...
        f.prompter.answers = {tanswer::ok};
        ASSERT_TRUE(f.cmd.cut());
        EXPECT_EQ(static_cast<long long>(f.sig(0).size()), k.len - k.n);
        EXPECT_EQ(static_cast<long long>(f.sig(1).size()), k.len - k.n);
        b = parse_clipblock(f.clipboard.blocks.at(sampleddata_format));
        EXPECT_EQ(static_cast<long long>(b.chans[0].samples.size()), k.n);
        EXPECT_EQ(static_cast<long long>(b.chans[1].samples.size()), k.n);
        // ... and a Paste at the same place inserts them back.
        ASSERT_EQ(f.doc.theglobal.rightselcursor(), k.L);
        ASSERT_TRUE(f.cmd.paste());
        EXPECT_TRUE(f.sig(0) == a0);
        EXPECT_TRUE(f.sig(1) == a1);
        ASSERT_EQ(f.doc.channel(0).labels.size(), labels0.size());
        ASSERT_EQ(f.doc.channel(1).labels.size(), labels1.size());
        for (std::size_t i = 0; i < labels0.size(); ++i)
            EXPECT_NEAR(f.doc.channel(0).labels[i].time, labels0[i].time, 1e-9) << i;
        for (std::size_t i = 0; i < labels1.size(); ++i)
            EXPECT_NEAR(f.doc.channel(1).labels[i].time, labels1[i].time, 1e-9) << i;

        // Copy, Delete, Paste: the same.
        f.select(k.L, k.R);
        ASSERT_TRUE(f.cmd.copy());
        f.prompter.answers = {tanswer::ok};
        ASSERT_TRUE(f.cmd.delete_selection());
        EXPECT_EQ(static_cast<long long>(f.sig(0).size()), k.len - k.n);
        ASSERT_TRUE(f.cmd.paste());
        if (k.R * k.fs <= k.len) {
            EXPECT_TRUE(f.sig(0) == a0);
            EXPECT_TRUE(f.sig(1) == a1);
        } else {
            // The copy held the zeros past the end as well.
            EXPECT_EQ(f.sig(0).size(), static_cast<std::size_t>(std::llround(k.R * k.fs)));
            EXPECT_TRUE(std::equal(a0.begin(), a0.end(), f.sig(0).begin()));
        }
    }
}

// --- select all, zero, reverse, interpolate ----------------------------------------------

TEST(EditSelectAll, SpansTheEditSetIncludingShifts) {
    tfixture f(3, 1000, 1000);
    f.doc.channel(1).xshift = -200;
    f.doc.channel(2).xshift = 3000;
    f.doc.selectmode = selmono;
    f.doc.set_thischanno(1);
    ASSERT_TRUE(f.cmd.select_all());
    EXPECT_DOUBLE_EQ(f.doc.theglobal.leftselcursor(), -0.2);
    EXPECT_DOUBLE_EQ(f.doc.theglobal.rightselcursor(), 0.799);
    f.doc.selectmode = selall;
    ASSERT_TRUE(f.cmd.select_all());
    EXPECT_DOUBLE_EQ(f.doc.theglobal.leftselcursor(), -0.2);
    EXPECT_DOUBLE_EQ(f.doc.theglobal.rightselcursor(), 3.999);
}

TEST(EditZero, TouchesOnlyTheEditSetAndExtendsToTheEnd) {
    tfixture f(3, 1000, 100);
    f.pair(0, 2);
    f.doc.selectmode = selstereo;
    f.select(0.090, 0.110);
    ASSERT_TRUE(f.cmd.zero());
    for (int c : {0, 2}) {
        ASSERT_EQ(f.sig(c).size(), 111u) << c;
        EXPECT_EQ(f.sig(c)[89], 1000 * c + 89);
        for (int k = 90; k <= 110; ++k) EXPECT_EQ(f.sig(c)[k], 0);
    }
    EXPECT_EQ(f.sig(1).size(), 100u);
    EXPECT_EQ(f.sig(1)[95], 1095);

    // Entirely before a shifted channel: nothing changes there.
    f.doc.selectmode = selmono;
    f.doc.set_thischanno(1);
    f.doc.channel(1).xshift = 1000;
    f.select(0.1, 0.5);
    const tsinglearr before = f.sig(1);
    f.cmd.zero();
    EXPECT_EQ(f.sig(1), before);
}

TEST(EditReverse, InPlaceClampedToTheSamples) {
    tfixture f(2, 1000, 10);
    f.doc.selectmode = selvisible;
    f.doc.channel(1).set_visible(false);
    f.select(0.005, 0.050);  // past the end: reverses 5..9
    ASSERT_TRUE(f.cmd.reverse());
    EXPECT_EQ(f.sig(0), (tsinglearr{0, 1, 2, 3, 4, 9, 8, 7, 6, 5}));
    EXPECT_EQ(f.sig(1)[5], 1005);
    f.select(0.002, 0.005);
    ASSERT_TRUE(f.cmd.reverse());
    EXPECT_EQ(f.sig(0), (tsinglearr{0, 1, 9, 4, 3, 2, 8, 7, 6, 5}));
}

TEST(EditInterpolate, StraightLineBetweenKeptEnds) {
    tfixture f(1, 1000, 10);
    f.set_sig(0, {0, 5, -3, 7, 8, 1, 1, 1, 1, 4});
    f.select(0.001, 0.004);
    ASSERT_TRUE(f.cmd.interpolate());
    EXPECT_EQ(f.sig(0), (tsinglearr{0, 5, 6, 7, 8, 1, 1, 1, 1, 4}));
    EXPECT_TRUE(f.doc.channel(0).needsdither);
    // The end clamps to the last sample, which stays.
    f.select(0.005, 1.0);
    ASSERT_TRUE(f.cmd.interpolate());
    EXPECT_EQ(f.sig(0), (tsinglearr{0, 5, 6, 7, 8, 1, 1.75f, 2.5f, 3.25f, 4}));
    // Neighbouring samples have nothing between them.
    f.select(0.0, 0.001);
    EXPECT_FALSE(f.cmd.interpolate());
}

TEST(EditFsd, PeakOfEachChannel) {
    tfixture f(3, 1000, 10);
    f.pair(0, 1);
    f.doc.selectmode = selstereo;
    f.put(1, 3, -5000);
    ASSERT_TRUE(f.cmd.set_fsd_to_peak());
    EXPECT_EQ(f.doc.channel(0).fsd(), 9);
    EXPECT_EQ(f.doc.channel(1).fsd(), 5000);
    EXPECT_EQ(f.doc.channel(2).fsd(), 1);  // not in the edit set: a new channel's FSD
}

TEST(EditEnablings, SelectionClipboardAndModes) {
    tfixture f(1);
    EXPECT_FALSE(f.cmd.can_copy());
    f.select(0.1, 0.2);
    EXPECT_TRUE(f.cmd.can_copy());
    EXPECT_TRUE(f.cmd.can_change_selection());
    EXPECT_TRUE(f.cmd.can_set_selectmode(selmono));
    EXPECT_FALSE(f.cmd.can_set_selectmode(selstereo));
    EXPECT_FALSE(f.cmd.can_set_selectmode(selvisible));
    tfixture e(0);
    EXPECT_FALSE(e.cmd.can_select_all());
    EXPECT_FALSE(e.cmd.can_set_fsd_to_peak());
}

// --- levels -----------------------------------------------------------------------

namespace {

void fill(tfixture& f, float v) { f.set_sig(0, tsinglearr(f.sig(0).size(), v)); }

}  // namespace

TEST(EditLevels, SixDecibelsDoublesWithRaisedCosineRampsOutside) {
    tfixture f(1, 1000, 1000);
    fill(f, 1);
    f.select(0.4, 0.6);  // samples 400..600; 30 ms = 30 samples of ramp
    ASSERT_TRUE(edit_levels(f.doc, constantlevel, "6.0206", "", "30"));
    const tsinglearr s = f.sig(0);
    for (int k = 400; k <= 600; ++k) ASSERT_NEAR(s[k], 2.0, 1e-4) << k;
    EXPECT_EQ(s[369], 1);
    EXPECT_EQ(s[370], 1);  // the ramp starts at gain 1
    EXPECT_EQ(s[631], 1);
    EXPECT_NEAR(s[385], 1.5, 1e-4);  // half way up: the mean of 1 and 2
    EXPECT_NEAR(s[615], 1.5, 1e-4);
    for (int j = 1; j < 30; ++j) {
        ASSERT_LT(s[370 + j - 1], s[370 + j]);  // rises steadily
        ASSERT_NEAR(s[400 - j], s[600 + j], 1e-6);  // the off-ramp mirrors the on-ramp
        // Raised cosine: points at equal distance from the middle add to 1 + g.
        ASSERT_NEAR(s[370 + j] + s[400 - j], 3.0, 1e-4);
    }
    EXPECT_TRUE(f.doc.channel(0).needsdither);
    EXPECT_TRUE(f.doc.modified());
}

TEST(EditLevels, RampedFactorAndRampedLevelAreLinearInTheirUnits) {
    tfixture f(1, 1000, 100);
    fill(f, 1);
    f.select(0.010, 0.030);
    ASSERT_TRUE(edit_levels(f.doc, rampedfactor, "1", "3", "0"));
    EXPECT_NEAR(f.sig(0)[10], 1, 1e-6);
    EXPECT_NEAR(f.sig(0)[20], 2, 1e-6);
    EXPECT_NEAR(f.sig(0)[30], 3, 1e-6);
    EXPECT_EQ(f.sig(0)[31], 1);
    fill(f, 1);
    ASSERT_TRUE(edit_levels(f.doc, rampedlevel, "0", "-40", "0"));
    EXPECT_NEAR(f.sig(0)[20], 0.1, 1e-6);  // -20 dB half way
    EXPECT_NEAR(f.sig(0)[30], 0.01, 1e-7);
    // One sample: multiplied by the start level.
    fill(f, 1);
    tlevelchange c{rampedlevel, 20, -20, 0};
    apply_level_change(f.doc.channel(0), 50, 50, c);
    EXPECT_NEAR(f.sig(0)[50], 10, 1e-5);
    EXPECT_EQ(f.sig(0)[49], 1);
}

TEST(EditLevels, RemoveDcAndDcRamps) {
    tfixture f(1, 1000, 3);
    f.set_sig(0, {1, 2, 3});
    f.select(0.0, 0.002);
    ASSERT_TRUE(edit_levels(f.doc, removedc, "", "", "30"));  // the ramps fall outside
    EXPECT_EQ(f.sig(0), (tsinglearr{-1, 0, 1}));

    tfixture g(1, 1000, 200);
    fill(g, 0);
    g.select(0.080, 0.120);
    ASSERT_TRUE(edit_levels(g.doc, dcconstant, "2", "", "20"));
    const tsinglearr s = g.sig(0);
    EXPECT_EQ(s[60], 0);
    EXPECT_NEAR(s[70], 1, 1e-6);
    EXPECT_NEAR(s[100], 2, 1e-6);
    EXPECT_NEAR(s[130], 1, 1e-6);
    EXPECT_NEAR(s[140], 0, 1e-6);
    for (int j = 1; j < 20; ++j) ASSERT_NEAR(s[80 - j], s[120 + j], 1e-6);
}

TEST(EditLevels, RampsAtTheChannelEndsStayInside) {
    tfixture f(1, 1000, 50);
    fill(f, 1);
    f.select(0.005, 0.045);
    ASSERT_TRUE(edit_levels(f.doc, constantfactor, "2", "", "30"));
    EXPECT_EQ(f.sig(0).size(), 50u);
    EXPECT_EQ(f.sig(0)[5], 2);
    EXPECT_GT(f.sig(0)[0], 1.5);  // part of the way up a ramp that began before sample 0
}

TEST(EditLevels, UnreadableNumbersChangeNothing) {
    tfixture f(1, 1000, 100);
    f.select(0.01, 0.02);
    const tsinglearr before = f.sig(0);
    EXPECT_FALSE(edit_levels(f.doc, constantlevel, "abc", "", "30"));
    EXPECT_FALSE(edit_levels(f.doc, rampedfactor, "1", "", "30"));
    EXPECT_FALSE(edit_levels(f.doc, constantfactor, "2", "", "ms"));
    EXPECT_FALSE(edit_levels(f.doc, constantfactor, "2", "", "-5"));
    EXPECT_FALSE(edit_levels(f.doc, constantlevel, "nan", "", "30"));
    EXPECT_EQ(f.sig(0), before);
    EXPECT_FALSE(f.doc.modified());
    // Fields the type does not use are not read.
    EXPECT_TRUE(edit_levels(f.doc, removedc, "junk", "junk", "0"));
}

TEST(EditLevels, CaptionsAndReadAverage) {
    EXPECT_EQ(levels_start_caption(dcconstant, "Pa"), "DC shift [Pa]");
    EXPECT_EQ(levels_start_caption(dcconstant, ""), "DC shift");
    EXPECT_EQ(levels_end_caption(rampedlevel), "Level change at end [dB]");
    EXPECT_FALSE(levels_shows_start(removedc));
    EXPECT_TRUE(levels_shows_readavg(dcconstant, selmono));
    EXPECT_FALSE(levels_shows_readavg(dcconstant, selstereo));
    tfixture f(1, 1000, 10);
    tchannel& c = f.doc.channel(0);
    c.cursors[1] = 0.008;
    c.cursors[2] = 0.003;  // samples 3..8: mean 5.5
    EXPECT_DOUBLE_EQ(read_avg_between_marks(c), -5.5);
    c.cursors[2] = 0.011;  // 8, 9 and two zeros beyond the end
    EXPECT_DOUBLE_EQ(read_avg_between_marks(c), -17.0 / 4);
}

// --- Set FSD, align, channel information, delete channel --------------------------

TEST(SetFsdWindow, LevelOfTheSelectionAndKeepImbalance) {
    tfixture f(2, 1000, 1000);
    f.pair(0, 1);
    tsinglearr a(1000), b(1000);
    for (std::size_t k = 0; k < 1000; ++k) {
        a[k] = k % 2 ? 0.1f : -0.1f;  // rms 0.1
        b[k] = k % 2 ? 0.05f : -0.05f;
    }
    f.set_sig(0, a);
    f.set_sig(1, b);
    f.doc.selectmode = selmono;
    f.select(0.1, 0.2);
    ASSERT_TRUE(set_fsd_to_level(f.doc, "-20", true));
    EXPECT_NEAR(f.doc.channel(0).fsd(), 1.0, 1e-6);
    EXPECT_EQ(f.doc.channel(1).fsd(), 1);  // untouched
    f.doc.selectmode = selstereo;
    ASSERT_TRUE(set_fsd_to_level(f.doc, "-20", true));
    EXPECT_NEAR(f.doc.channel(1).fsd(), 1.0, 1e-6);
    ASSERT_TRUE(set_fsd_to_level(f.doc, "0", false));
    EXPECT_NEAR(f.doc.channel(0).fsd(), 0.1, 1e-7);
    EXPECT_NEAR(f.doc.channel(1).fsd(), 0.05, 1e-7);
    EXPECT_FALSE(set_fsd_to_level(f.doc, "loud", false));
    EXPECT_NEAR(f.doc.channel(1).fsd(), 0.05, 1e-7);
    // A silent selection keeps the FSD instead of making it 0.
    f.set_sig(0, tsinglearr(f.sig(0).size(), 0.0f));
    f.doc.selectmode = selmono;
    EXPECT_FALSE(set_fsd_to_level(f.doc, "-20", false));
    EXPECT_NEAR(f.doc.channel(0).fsd(), 0.1, 1e-7);
}

TEST(SetFsdWindow, Headings) {
    tfixture f(4);
    f.pair(1, 2);
    f.doc.set_thischanno(1);
    f.doc.selectmode = selmono;
    EXPECT_EQ(setfsd_heading(f.doc), "Set FSD such that the Leq of the entire channel 1 becomes");
    f.select(0.1, 0.2);
    EXPECT_EQ(setfsd_heading(f.doc),
              "Set FSD such that the Leq of the selection of channel 1 becomes");
    f.doc.selectmode = selstereo;
    EXPECT_EQ(setfsd_heading(f.doc),
              "Set FSD such that the Leq of the selection of channels 1 and 2 become");
    f.doc.selectmode = selall;
    EXPECT_EQ(setfsd_heading(f.doc), "Set FSD such that the Leq of selection of each channel become");
    f.select(0.1, 0.1);
    EXPECT_EQ(setfsd_heading(f.doc), "Set FSD such that the Leq of each channel become [dB re FSD]");
    f.doc.selectmode = selvisible;
    f.doc.channel(2).set_visible(false);
    EXPECT_EQ(setfsd_heading(f.doc),
              "Set FSD such that the Leq of the entire channels 0, 1 and 3 become");
}

TEST(AlignChannels, MarksMeetTheReferenceMarks) {
    tfixture f(2, 1000, 10000);
    tchannel& ref = f.doc.channel(0);
    tchannel& c = f.doc.channel(1);
    ref.cursors[1] = 1.0;
    ref.cursors[2] = 5.0;
    c.cursors[1] = 1.5;  // its clock runs 1 % fast and 0.5 s late
    c.cursors[2] = 5.54;
    const double i1 = 1.5 * 1000, i2 = 5.54 * 1000;  // sample indices under its marks
    ASSERT_EQ(align_channels(f.doc, 0, {1}, false), "");
    EXPECT_NEAR((i1 + c.xshift) / c.sampfreq, 1.0, 1.0 / c.sampfreq);
    EXPECT_NEAR((i2 + c.xshift) / c.sampfreq, 5.0, 1.0 / c.sampfreq);
    EXPECT_NEAR(c.sampfreq, 1010, 1e-9);
    EXPECT_EQ(c.cursors[2], 5.0);
    EXPECT_EQ(f.sig(1)[0], 1000);  // the samples themselves untouched
    remove_alignment(f.doc, {1});
    EXPECT_EQ(c.sampfreq, 1000);
    EXPECT_EQ(c.xshift, 0);

    c.cursors[1] = 1.25;
    ASSERT_EQ(align_channels(f.doc, 0, {1}, true), "");
    EXPECT_EQ(c.xshift, -250);
    EXPECT_EQ(c.sampfreq, 1000);
    EXPECT_EQ(c.cursors[1], 1.0);
    // Marks on one spot cannot give a rate.
    c.cursors[1] = c.cursors[2] = 2.0;
    EXPECT_NE(align_channels(f.doc, 0, {1}, false), "");
    EXPECT_EQ(c.sampfreq, 1000);
}

TEST(ChannelInformation, ApplyPairsBothWaysAndRefusesUnreadableNumbers) {
    tfixture f(3, 1000, 100);
    f.pair(0, 1);
    tchannelinfo info = channel_info(f.doc, 0);
    EXPECT_EQ(info.sampfreq, "1000");
    EXPECT_EQ(info.stereochanno, 1);
    info.name = "mic";
    info.unit = "Pa";
    info.fsd = "20";
    info.sampfreq = "2000";
    info.timeshift = "0.5";
    info.stereochanno = 2;
    info.dbreference = "2e-5";
    ASSERT_EQ(apply_channel_info(f.doc, 0, info), "");
    const tchannel& c = f.doc.channel(0);
    EXPECT_EQ(c.name(), "mic");
    EXPECT_EQ(c.yunit(), "Pa");
    EXPECT_EQ(c.fsd(), 20);
    EXPECT_EQ(c.xshift, 1000);
    EXPECT_EQ(c.stereochanno, 2);
    EXPECT_EQ(f.doc.channel(2).stereochanno, 0);
    EXPECT_EQ(f.doc.channel(1).stereochanno, -1);  // the old partner is let go
    EXPECT_EQ(dbreference_caption("Pa"), "dB reference (0=disable) [Pa]");

    for (auto bad : {&tchannelinfo::fsd, &tchannelinfo::sampfreq, &tchannelinfo::timeshift,
                     &tchannelinfo::dbreference}) {
        tchannelinfo b = channel_info(f.doc, 0);
        b.name = "changed";
        b.*bad = "x1";
        EXPECT_NE(apply_channel_info(f.doc, 0, b), "");
        EXPECT_EQ(c.name(), "mic");
    }
    tchannelinfo zero = channel_info(f.doc, 0);
    zero.sampfreq = "0";
    EXPECT_NE(apply_channel_info(f.doc, 0, zero), "");
    zero = channel_info(f.doc, 0);
    zero.stereochanno = 0;
    EXPECT_NE(apply_channel_info(f.doc, 0, zero), "");
    EXPECT_EQ(c.sampfreq, 2000);
}

TEST(DeleteChannels, AskedAndHigherNumberFirst) {
    tfixture f(4, 1000, 10);
    f.pair(1, 3);
    f.doc.set_thischanno(3);
    EXPECT_EQ(delete_channel_caption(f.doc), "Delete channel 3");
    EXPECT_EQ(delete_channels_caption(f.doc), "Delete channels 3 and 1");
    EXPECT_FALSE(delete_current_channels(f.doc, f.prompter));  // No
    EXPECT_EQ(f.prompter.asked.at(0).text, "Do you want to delete channels number 3 and 1?");
    EXPECT_EQ(f.prompter.asked.at(0).caption, "Confirm deletion of channel");
    EXPECT_EQ(f.doc.totnchans(), 4);
    f.prompter.answers = {tanswer::yes};
    ASSERT_TRUE(delete_current_channels(f.doc, f.prompter));
    ASSERT_EQ(f.doc.totnchans(), 2);
    EXPECT_EQ(f.sig(0)[0], 0);
    EXPECT_EQ(f.sig(1)[0], 2000);
    f.prompter.answers = {tanswer::yes};
    f.doc.set_thischanno(0);
    ASSERT_TRUE(delete_current_channel(f.doc, f.prompter));
    EXPECT_EQ(f.prompter.asked.back().text, "Do you want to delete channel number 0?");
    EXPECT_EQ(f.sig(0)[0], 2000);
    EXPECT_FALSE(can_delete_channels(f.doc));
}

// --- no FSD of 0, no sample that is not finite -----------------------------------

TEST(FsdNeverZero, EveryWayOfSettingItKeepsTheOldOneAndSaysWhy) {
    tfixture f(2, 1000, 100);
    EXPECT_EQ(f.doc.channel(0).fsd(), 1);  // a new channel
    f.set_sig(1, tsinglearr(f.sig(1).size(), 0.0f));  // digital silence
    f.doc.channel(1).set_fsd(0.5);
    f.pair(0, 1);
    f.doc.selectmode = selstereo;

    // Set FSD to peak value: the silent channel keeps its FSD, the other
    // takes its peak, and the user is told which channel and why.
    ASSERT_TRUE(f.cmd.set_fsd_to_peak());
    EXPECT_EQ(f.doc.channel(0).fsd(), 99);
    EXPECT_EQ(f.doc.channel(1).fsd(), 0.5);
    ASSERT_EQ(f.prompter.asked.size(), 1u);
    EXPECT_NE(f.prompter.asked[0].text.find("Channel 1 is silent"), std::string::npos);
    EXPECT_EQ(f.doc.channel(1).axis.GetHiValue(), 1.2 * 0.5);  // the trace stays drawn

    // Channel information with a full scale of 0 changes nothing and says why.
    tchannelinfo info = channel_info(f.doc, 1);
    info.name = "renamed";
    for (const char* bad : {"0", "-0", "1e-320"}) {
        info.fsd = bad;
        const std::string why = apply_channel_info(f.doc, 1, info);
        EXPECT_NE(why.find("full scale of 0 cannot be used"), std::string::npos) << bad;
        EXPECT_EQ(f.doc.channel(1).fsd(), 0.5);
        EXPECT_NE(f.doc.channel(1).name(), "renamed");
    }

    // The Set FSD window: a level so high that the FSD would underflow to 0.
    f.doc.selectmode = selmono;
    EXPECT_FALSE(set_fsd_to_level(f.doc, "1e300", false));
    EXPECT_EQ(f.doc.channel(0).fsd(), 99);

    // The channel itself refuses 0 and non-numbers from any caller.
    tchannel& c = f.doc.channel(0);
    EXPECT_FALSE(c.set_fsd(0));
    EXPECT_FALSE(c.set_fsd(NAN));
    EXPECT_FALSE(c.set_fsd(INFINITY));
    EXPECT_EQ(c.fsd(), 99);
    EXPECT_TRUE(c.set_fsd(-2));
    EXPECT_EQ(c.fsd(), 2);
}

TEST(EditLevels, AGainWhoseResultIsNotFiniteIsRefused) {
    tfixture f(2, 1000, 1000);
    for (int c = 0; c < 2; ++c) f.set_sig(c, tsinglearr(f.sig(c).size(), 0.5f));
    f.put(1, 450, 3e38f);  // the loudest sample a float nearly holds
    f.doc.selectmode = selall;
    f.select(0.4, 0.6);
    const tsinglearr before0 = f.sig(0), before1 = f.sig(1);
    const auto unchanged = [&] { return f.sig(0) == before0 && f.sig(1) == before1; };

    std::string why;
    EXPECT_FALSE(edit_levels(f.doc, constantlevel, "1000", "", "30", &why));
    EXPECT_NE(why.find("too large to store"), std::string::npos);
    EXPECT_TRUE(unchanged());
    EXPECT_FALSE(f.doc.modified());
    // Channel 1's loud sample overflows with 6 dB, so neither channel changes.
    why.clear();
    EXPECT_FALSE(edit_levels(f.doc, constantlevel, "6", "", "30", &why));
    EXPECT_NE(why.find("channel 1"), std::string::npos);
    EXPECT_TRUE(unchanged());
    // The ramps count too: the loud sample lies in the on-ramp.
    f.select(0.455, 0.6);
    EXPECT_FALSE(edit_levels(f.doc, constantfactor, "4", "", "30", &why));
    EXPECT_FALSE(edit_levels(f.doc, rampedlevel, "0", "1e6", "0", &why));
    EXPECT_FALSE(edit_levels(f.doc, dcconstant, "1e38", "", "30", &why));
    EXPECT_TRUE(unchanged());
    // What fits is done, and nothing stored is ever infinite or NaN.
    f.doc.selectmode = selmono;
    f.doc.set_thischanno(0);
    f.select(0.4, 0.6);
    EXPECT_TRUE(edit_levels(f.doc, constantlevel, "600", "", "30", &why));
    for (float v : f.sig(0)) ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(f.sig(0)[500], 0.5e30, 1e24);
}

TEST(EditCommands, NoEditStoresASampleThatIsNotFinite) {
    tfixture f(1, 1000, 10);
    // A pasted block carrying an infinity is refused whole.
    tclipblock b;
    b.chans.push_back({1000, 1, {1.0f, INFINITY, 2.0f}});
    f.clipboard.set_data(sampleddata_format, serialise_clipblock(b));
    const tsinglearr before = f.sig(0);
    f.select(0.002, 0.002);
    EXPECT_FALSE(f.cmd.paste());
    EXPECT_EQ(f.sig(0), before);
    ASSERT_FALSE(f.prompter.asked.empty());
    EXPECT_EQ(f.prompter.asked.back().caption, "Paste");
    // Interpolation from an end that is not a number draws no line.
    f.put(0, 2, NAN);
    f.select(0.002, 0.008);
    EXPECT_FALSE(f.cmd.interpolate());
    for (int i = 3; i < 8; ++i) EXPECT_EQ(f.sig(0)[i], before[i]);
}

// --- the commands against a plain model --------------------------------------------

namespace {

// What the sample commands do, written over a plain vector: the channel's
// samples and its x-shift.
struct tmodel {
    std::vector<float> v;
    long long xshift = 0;
    long long len() const { return static_cast<long long>(v.size()); }
    void erase(long long s, long long e) {
        s = std::clamp(s, 0LL, len());
        e = std::clamp(e, 0LL, len());
        if (e > s) v.erase(v.begin() + s, v.begin() + e);
    }
    void paste(long long at, const std::vector<float>& clip) {
        const long long b = at - xshift;
        if (b < 0) {
            std::vector<float> w(clip);
            w.resize(clip.size() + static_cast<std::size_t>(-b), 0.0f);
            w.insert(w.end(), v.begin(), v.end());
            v.swap(w);
            xshift = at;
        } else {
            if (b > len()) v.resize(static_cast<std::size_t>(b), 0.0f);
            v.insert(v.begin() + b, clip.begin(), clip.end());
        }
    }
    void zero(long long s, long long e) {  // e inclusive
        if (e < 0) return;
        s = std::clamp(s, 0LL, len());
        if (s > e) return;
        if (e >= len()) v.resize(static_cast<std::size_t>(e + 1), 0.0f);
        std::fill(v.begin() + s, v.begin() + e + 1, 0.0f);
    }
    void reverse(long long s, long long e) {
        if (v.empty()) return;
        s = std::clamp(s, 0LL, len() - 1);
        e = std::clamp(e, 0LL, len() - 1);
        if (e > s) std::reverse(v.begin() + s, v.begin() + e + 1);
    }
    void interpolate(long long s, long long e) {
        if (v.empty()) return;
        s = std::clamp(s, 0LL, len() - 1);
        e = std::clamp(e, 0LL, len() - 1);
        if (e - s < 2) return;
        const double x0 = v[s], x1 = v[e];
        const double step = (x1 - x0) / static_cast<double>(e - s);
        for (long long i = s + 1; i < e; ++i)
            v[i] = static_cast<float>(x0 + step * static_cast<double>(i - s));
    }
};

}  // namespace

TEST(EditCommands, RandomEditsMatchAPlainModelAcrossBufferEnds) {
    // Channels longer than the commands' buffers (64 K samples) with spans
    // that start and end anywhere, and pieces cut small; every step is
    // undone and redone through the history afterwards.
    for (std::size_t limit : {std::size_t(0), std::size_t(7), std::size_t(1000)}) {
        std::mt19937 rng(static_cast<unsigned>(31 + limit));
        tfixture f(1, 1000, 0);
        tchannel& ch = f.doc.channel(0);
        ch.set_chunk_limit(limit);
        tmodel m;
        m.v.resize(150000);
        for (float& x : m.v) x = std::uniform_real_distribution<float>(-1, 1)(rng);
        f.set_sig(0, tsinglearr(m.v.begin(), m.v.end()));
        ch.fix_sigcache();
        tundohistory history(f.doc);
        std::vector<std::vector<float>> states{m.v};
        std::vector<long long> shifts{0};
        auto pick = [&](long long lo, long long hi) {
            return std::uniform_int_distribution<long long>(lo, hi)(rng);
        };
        for (int step = 0; step < 40; ++step) {
            const long long len = m.len() + m.xshift;  // the last time index + 1
            long long t0 = pick(-2000 + m.xshift, len + 2000), t1 = pick(-2000 + m.xshift, len + 2000);
            if (t0 > t1) std::swap(t0, t1);
            if (pick(0, 3) == 0) t1 = std::min(t0 + pick(0, 3), len + 2000);  // short spans too
            f.select(static_cast<double>(t0) / 1000.0, static_cast<double>(t1) / 1000.0);
            const long long s = t0 - m.xshift, e = t1 - m.xshift;
            const int op = static_cast<int>(pick(0, 4));
            history.begin("edit");
            switch (op) {
                case 0:
                    f.prompter.answers = {tanswer::ok};
                    f.cmd.delete_selection();
                    if (t0 != t1) m.erase(s, e);
                    break;
                case 1: {
                    std::vector<float> clip(static_cast<std::size_t>(pick(1, 70000)));
                    for (float& x : clip) x = std::uniform_real_distribution<float>(-2, 2)(rng);
                    tclipblock b;
                    b.chans.push_back({1000, 1, clip});
                    f.clipboard.set_data(sampleddata_format, serialise_clipblock(b));
                    ASSERT_TRUE(f.cmd.paste());
                    m.paste(t0, clip);
                    break;
                }
                case 2:
                    f.cmd.zero();
                    if (t0 != t1) m.zero(s, e);
                    break;
                case 3:
                    f.cmd.reverse();
                    if (t0 != t1) m.reverse(s, e);
                    break;
                default:
                    f.cmd.interpolate();
                    if (t0 != t1) m.interpolate(s, e);
                    break;
            }
            history.commit();
            ASSERT_EQ(ch.xshift, m.xshift) << "step " << step << " op " << op;
            ASSERT_EQ(ch.sample_count(), m.len()) << "step " << step << " op " << op;
            const tsinglearr now = ch.samples_array();
            ASSERT_TRUE(std::equal(now.begin(), now.end(), m.v.begin()))
                << "step " << step << " op " << op << " limit " << limit;
            tessal::testing::expect_sigcache_as_rebuilt(ch);
            if (states.back() != m.v || shifts.back() != m.xshift) {
                states.push_back(m.v);
                shifts.push_back(m.xshift);
            }
        }
        // Each step's samples_changing told the history exactly what changed.
        while (history.undo()) {}
        tsinglearr back = ch.samples_array();
        ASSERT_TRUE(std::equal(back.begin(), back.end(), states.front().begin(), states.front().end()));
        EXPECT_EQ(ch.xshift, 0);
        tessal::testing::expect_sigcache_as_rebuilt(ch);
        while (history.redo()) {}
        back = ch.samples_array();
        ASSERT_TRUE(std::equal(back.begin(), back.end(), m.v.begin(), m.v.end()));
        tessal::testing::expect_sigcache_as_rebuilt(ch);
    }
}

TEST(EditLevels, ChunkLimitChangesNoSample) {
    // Remove DC sums the selection piece by piece; the ramps and the gain
    // rewrite it buffer by buffer. Cut small or not, the result is the same
    // sample for sample, and the DC taken off is the selection's mean.
    auto run = [](std::size_t limit, int type, const char* a, const char* b) {
        tfixture f(1, 1000, 200000);
        tsinglearr v(200000);
        for (std::size_t k = 0; k < v.size(); ++k)
            v[k] = 0.25f + 0.5f * static_cast<float>(std::sin(0.001 * static_cast<double>(k * k % 100003)));
        f.set_sig(0, v);
        f.doc.channel(0).set_chunk_limit(limit);
        f.select(10.0001, 140.0);
        EXPECT_TRUE(edit_levels(f.doc, type, a, b, "70"));
        tessal::testing::expect_sigcache_as_rebuilt(f.doc.channel(0));
        return f.sig(0);
    };
    for (int type : {removedc, constantlevel, rampedlevel, rampedfactor, dcconstant}) {
        const tsinglearr whole = run(0, type, "3", "-4");
        EXPECT_EQ(run(7, type, "3", "-4"), whole) << type;
        EXPECT_EQ(run(1000, type, "3", "-4"), whole) << type;
        if (type == removedc) {
            double sum = 0;
            for (long long k = 10000; k <= 140000; ++k) sum += whole[static_cast<std::size_t>(k)];
            // Each stored sample is within half a float step (< 6e-8) of exact.
            EXPECT_NEAR(sum / 130001.0, 0.0, 6e-8);
        }
    }
}
