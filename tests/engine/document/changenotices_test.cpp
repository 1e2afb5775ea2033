// The change notices the editing commands send: each names the channel and
// the exact samples it changed (in the indices they had before), and how far
// the later samples moved; commands that change nothing say nothing.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/clipboard.h"
#include "engine/core/tdocument.h"
#include "engine/document/channelcommands.h"
#include "engine/document/clipboardblock.h"
#include "engine/document/editcommands.h"
#include "engine/document/labelcommands.h"
#include "engine/document/levels.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;
using kind = tchannelchange::tkind;

namespace {

struct tnotices : tviewlistener {
    std::vector<tchannelchange> got;
    void channel_changed(const tchannelchange& c) override { got.push_back(c); }
};

// Two channels of 1000 samples at 1 kHz, so sample k lies at k ms.
struct tfixture {
    tdocument doc;
    tscriptedprompter prompter;
    tmemoryblockclipboard clipboard;
    teditcommands cmd{doc, prompter, clipboard};
    tnotices heard;
    tfixture() {
        doc.set_totnchans(2);
        for (int i = 0; i < 2; ++i) {
            doc.channel(i).sampfreq = 1000;
            doc.channel(i).set_samples(tsinglearr(1000, 0.5f));
        }
        doc.selectmode = selmono;
        doc.theglobal.add_listener(&heard);
    }
    ~tfixture() { doc.theglobal.remove_listener(&heard); }
    void select(double a, double b) { doc.theglobal.set_selection(a, b); }
    // The one sample notice heard since the last call.
    tchannelchange only() {
        EXPECT_EQ(heard.got.size(), 1u);
        tchannelchange c = heard.got.empty() ? tchannelchange{} : heard.got.back();
        heard.got.clear();
        return c;
    }
};

void expect_samples(const tchannelchange& c, int chno, long long first, long long last,
                    long long shift) {
    EXPECT_EQ(c.kind, kind::samples);
    EXPECT_EQ(c.channel, chno);
    EXPECT_EQ(c.first, first);
    EXPECT_EQ(c.last, last);
    EXPECT_EQ(c.shift, shift);
}

}  // namespace

TEST(ChangeNotices, SampleEditsSendTheExactRange) {
    tfixture f;
    f.doc.set_thischanno(1);

    // Zero 0.100..0.200 s: samples 100..200, both ends included.
    f.select(0.100, 0.200);
    ASSERT_TRUE(f.cmd.zero());
    expect_samples(f.only(), 1, 100, 201, 0);
    EXPECT_EQ(f.doc.channel(1).sample(200), 0);
    EXPECT_EQ(f.doc.channel(1).sample(201), 0.5f);

    // Reverse and interpolate: the samples they wrote.
    f.select(0.300, 0.310);
    ASSERT_TRUE(f.cmd.reverse());
    expect_samples(f.only(), 1, 300, 311, 0);
    ASSERT_TRUE(f.cmd.interpolate());
    expect_samples(f.only(), 1, 301, 310, 0);

    // Delete 0.500..0.600: samples 500..599 go, the rest move down by 100.
    f.select(0.500, 0.600);
    f.prompter.answers = {tanswer::ok};
    ASSERT_TRUE(f.cmd.delete_selection());
    expect_samples(f.only(), 1, 500, 600, -100);
    EXPECT_EQ(f.doc.channel(1).sample_count(), 900);

    // Paste 3 samples at 0.250 s: inserted before sample 250.
    f.clipboard.set_data(sampleddata_format, serialise_clipblock({0, {{1000, 1, {7, 8, 9}}}}));
    f.select(0.250, 0.250);
    ASSERT_TRUE(f.cmd.paste());
    expect_samples(f.only(), 1, 250, 250, 3);
    EXPECT_EQ(f.doc.channel(1).sample(250), 7);

    // Past the end (samples 0..902 now): zeros, then the block, appended.
    f.select(1.000, 1.000);
    ASSERT_TRUE(f.cmd.paste());
    expect_samples(f.only(), 1, 903, 903, 1003 - 903);
    EXPECT_EQ(f.doc.channel(1).sample_count(), 1003);

    // Before the start of a shifted channel: every old sample moves up.
    f.doc.channel(1).xshift = 10;
    f.select(0.004, 0.004);
    ASSERT_TRUE(f.cmd.paste());
    expect_samples(f.only(), 1, 0, 0, 3 + 6);
    EXPECT_EQ(f.doc.channel(1).xshift, 4);

    // Zero reaching past the end: samples to the end and those appended.
    f.doc.set_thischanno(0);
    f.select(0.990, 1.009);
    ASSERT_TRUE(f.cmd.zero());
    expect_samples(f.only(), 0, 990, 1000, 10);

    // Only the other channel of the stereo pair... none here: a refused
    // delete sends nothing.
    f.select(0.1, 0.2);
    f.prompter.answers = {tanswer::cancel};
    EXPECT_FALSE(f.cmd.delete_selection());
    EXPECT_TRUE(f.heard.got.empty());
}

TEST(ChangeNotices, LevelsOnPartOfAChannelIncludeTheirRamps) {
    tfixture f;
    f.doc.set_thischanno(0);
    f.select(0.400, 0.500);
    // Without ramps: exactly the selection.
    ASSERT_TRUE(edit_levels(f.doc, tlevelchange{constantfactor, 2, 0, 0}));
    expect_samples(f.only(), 0, 400, 501, 0);
    // A 20 ms ramp on either side changes 20 more samples each way.
    ASSERT_TRUE(edit_levels(f.doc, tlevelchange{constantfactor, 2, 0, 20}));
    expect_samples(f.only(), 0, 380, 521, 0);
    // (the outermost ramp samples are written with weight 0 or 1)
    EXPECT_NE(f.doc.channel(0).sample(381), 0.5f);  // really written...
    EXPECT_NE(f.doc.channel(0).sample(519), 0.5f);
    EXPECT_EQ(f.doc.channel(0).sample(379), 0.5f);  // ...and no further
    EXPECT_EQ(f.doc.channel(0).sample(521), 0.5f);
    // Ramps clipped at the channel's ends.
    f.select(0.005, 0.995);
    ASSERT_TRUE(edit_levels(f.doc, tlevelchange{constantfactor, 1, 0, 20}));
    expect_samples(f.only(), 0, 0, 1000, 0);
    // All channels: one notice each.
    f.doc.selectmode = selall;
    f.select(0.1, 0.2);
    ASSERT_TRUE(edit_levels(f.doc, tlevelchange{dcconstant, 1, 0, 0}));
    ASSERT_EQ(f.heard.got.size(), 2u);
    expect_samples(f.heard.got[0], 0, 100, 201, 0);
    expect_samples(f.heard.got[1], 1, 100, 201, 0);
}

TEST(ChangeNotices, PropertiesChannelsAndLabels) {
    tfixture f;
    tchannelinfo info = channel_info(f.doc, 1);
    info.sampfreq = "2000";
    ASSERT_EQ(apply_channel_info(f.doc, 1, info), "");
    bool props = false;
    for (const tchannelchange& c : f.heard.got)
        props |= c.kind == kind::properties && c.channel == 1;
    EXPECT_TRUE(props);
    f.heard.got.clear();

    f.doc.set_thischanno(0);
    f.select(0.100, 0.200);
    ASSERT_TRUE(add_manual_label(f.doc, "a"));
    const tchannelchange l = f.only();
    EXPECT_EQ(l.kind, kind::labels);
    EXPECT_EQ(l.channel, 0);
    EXPECT_EQ(l.first, 100);
    EXPECT_EQ(l.last, 201);

    f.doc.set_thischanno(1);
    f.prompter.answers = {tanswer::yes, tanswer::ok};
    ASSERT_TRUE(delete_current_channel(f.doc, f.prompter));
    const tchannelchange d = f.heard.got.back();
    EXPECT_EQ(d.kind, kind::removed);
    EXPECT_EQ(d.channel, 1);
}
