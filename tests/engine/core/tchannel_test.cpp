// Channels: labels kept attached on insert and delete, the label finder,
// the min/max cache, the FSD and the dither decision.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tdocument.h"

using namespace tessal;

namespace {

struct tlabelcase {
    double attime, atdur;
    bool kept;
    double time, duration;
};

}  // namespace

TEST(AdjustLabels, InsertAndDeleteKeepLabelsOnTheSignal) {
    // A label from 1.0 s lasting 0.5 s against every kind of edit.
    const tlabelcase cases[] = {
        {1.2, 0.2, true, 1.0, 0.7},    // insert inside: longer
        {0.9, 0.2, true, 1.2, 0.5},    // insert before: moved
        {1.0, 0.2, true, 1.2, 0.5},    // insert at its start: moved
        {1.5, 0.2, true, 1.0, 0.7},    // insert at its end: longer
        {1.6, 0.2, true, 1.0, 0.5},    // insert after: untouched
        {0.9, -0.8, false, 0, 0},      // delete 0.9..1.7: gone
        {1.2, -0.1, true, 1.0, 0.4},   // delete 1.2..1.3: shorter
        {0.8, -0.4, true, 0.8, 0.3},   // delete 0.8..1.2: starts at the cut
        {0.2, -0.3, true, 0.7, 0.5},   // delete before: moved left
        {1.3, -0.5, true, 1.0, 0.3},   // delete from inside past its end
        {1.0, -0.5, false, 0, 0},      // delete exactly the label
    };
    for (const tlabelcase& c : cases) {
        tchannel ch(nullptr, 0);
        ch.add_label(1.0, 0.5, "a", "manual");
        ch.adjust_labelstime(c.attime, c.atdur);
        SCOPED_TRACE(testing::Message() << "at " << c.attime << " dur " << c.atdur);
        ASSERT_EQ(ch.labels.size(), c.kept ? 1u : 0u);
        if (c.kept) {
            EXPECT_NEAR(ch.labels[0].time, c.time, 1e-12);
            EXPECT_NEAR(ch.labels[0].duration, c.duration, 1e-12);
        }
    }
}

TEST(AdjustLabels, DeletingSeveralLabelsKeepsTheRightOnes) {
    tchannel ch(nullptr, 0);
    for (int i = 0; i < 10; ++i) ch.add_label(i, 0.5, std::to_string(i), "manual");
    ch.adjust_labelstime(2.0, -5.0);  // removes 2.0 .. 7.0
    ASSERT_EQ(ch.labels.size(), 5u);
    const char* texts[] = {"0", "1", "7", "8", "9"};
    const double times[] = {0, 1, 2, 3, 4};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ch.labels[i].text, texts[i]);
        EXPECT_DOUBLE_EQ(ch.labels[i].time, times[i]);
    }
}

TEST(Labels, SortedStablySelectedByTypeAndDeletedSafely) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.add_label(2, 0, "late", "manual");
    ch.add_label(1, 0, "first", "smp");
    ch.add_label(1, 0, "second", "Manual");
    EXPECT_TRUE(doc.modified());
    ASSERT_EQ(ch.labels.size(), 3u);
    EXPECT_EQ(ch.labels[0].text, "first");
    EXPECT_EQ(ch.labels[1].text, "second");
    EXPECT_EQ(ch.labels[2].text, "late");
    ch.select_labels("manual");  // case-sensitive
    EXPECT_EQ(ch.labels_selectcount(), 1);
    EXPECT_TRUE(ch.labels[2].selected);
    ch.select_all_labels();
    EXPECT_EQ(ch.labels_selectcount(), 3);
    ch.deselect_labels();
    EXPECT_EQ(ch.labels_selectcount(), 0);
    doc.set_modified(false);
    ch.delete_label(7);  // out of range: nothing removed, still marks modified
    EXPECT_EQ(ch.labels.size(), 3u);
    EXPECT_TRUE(doc.modified());
    ch.delete_label(0);
    EXPECT_EQ(ch.labels[0].text, "second");
    tentities e{"formants", {{"F1", 500, "Hz"}}};
    ch.add_label(0.5, 0.1, "e", "measurement", e);
    EXPECT_EQ(ch.labels[0].entities.no.at(0).entityname, "F1");
    EXPECT_EQ(ch.labels[0].entities.descriptor, "formants");
}

TEST(Labels, FindLabelAtGrabsEdgesAndWholeLabel) {
    tdocument doc;
    doc.set_totnchans(1);
    doc.xaxis.SetWidth(1001);
    doc.xaxis.set_hilovalues(10, 0);  // 100 pixels a second
    tchannel& ch = doc.channel(0);
    ch.add_label(1.0, 2.0, "wide", "manual");  // pixels 100..300, tolerance 20
    int strip = doc.theglobal.axisfont().text_height("Yg");
    EXPECT_EQ(ch.find_label_at(200, 0).labelno, 0);
    EXPECT_EQ(ch.find_label_at(200, 0).shiftmode, 1);
    EXPECT_EQ(ch.find_label_at(110, 2).shiftmode, 0);
    EXPECT_EQ(ch.find_label_at(290, 2).shiftmode, 2);
    EXPECT_EQ(ch.find_label_at(200, strip).labelno, -1);  // below the strip
    EXPECT_EQ(ch.find_label_at(99, 0).labelno, -1);
    // A later overlapping label wins.
    ch.add_label(2.0, 0.5, "narrow", "manual");  // pixels 200..250, tolerance 5
    tfoundlabel f = ch.find_label_at(225, 0);
    EXPECT_EQ(f.labelno, 1);
    EXPECT_EQ(f.shiftmode, 1);
    EXPECT_EQ(ch.find_label_at(203, 0).shiftmode, 0);
    ch.set_visible(false);
    EXPECT_EQ(ch.find_label_at(225, 0).labelno, -1);
}

TEST(SigCache, BlocksOfTwoHundredWithSentinels) {
    tchannel empty(nullptr, 0);
    empty.set_fsd(1);
    empty.sigcachedirty = true;
    empty.fix_sigcache();
    ASSERT_EQ(empty.sigcache.size(), 1u);
    EXPECT_EQ(empty.sigcache[0].lo, 1e38f);
    EXPECT_EQ(empty.sigcache[0].hi, -1e38f);
    EXPECT_EQ(empty.sigmin, 1e38f);
    EXPECT_EQ(empty.sigmax, -1e38f);
    // The axis limits then come from the FSD alone.
    EXPECT_NEAR(empty.axis.GetMaxHiValue(), 1.7, 1e-12);
    EXPECT_NEAR(empty.axis.GetMinLoValue(), -1.7, 1e-12);

    for (int n : {199, 200, 401}) {
        tchannel ch(nullptr, 0);
        tsinglearr x;
        for (int i = 0; i < n; ++i) x.push_back(std::sin(0.1 * i) * (i + 1));
        ch.set_samples(x);
        ch.sigcachedirty = true;
        ch.fix_sigcache();
        ASSERT_EQ(ch.sigcache.size(), static_cast<std::size_t>(n / 200 + 1));
        for (std::size_t b = 0; b < ch.sigcache.size(); ++b) {
            float lo = 1e38f, hi = -1e38f;
            for (int i = b * 200; i < std::min<int>(n, (b + 1) * 200); ++i) {
                lo = std::min(lo, x[i]);
                hi = std::max(hi, x[i]);
            }
            EXPECT_EQ(ch.sigcache[b].lo, lo);
            EXPECT_EQ(ch.sigcache[b].hi, hi);
        }
        EXPECT_FALSE(ch.sigcachedirty);
    }
    tchannel two(nullptr, 0);
    two.set_samples(tsinglearr(200, 0.5f));
    two.set_fsd(0.25);  // below the signal, so the signal sets the axis limit
    two.sigcachedirty = true;
    two.fix_sigcache();
    EXPECT_EQ(two.sigcache[1].lo, 1e38f);  // the second block holds no sample
    EXPECT_EQ(two.sigmax, 0.5f);
    EXPECT_NEAR(two.axis.GetMaxHiValue(), 0.85, 1e-7);
}

TEST(SigCache, SkipJumpsIgnoresSamplesOutsideTheAxisRange) {
    tchannel ch(nullptr, 0);
    ch.set_fsd(1);  // axis -1.2 .. 1.2
    ch.set_samples({0.5f, 5.0f, -0.25f, 1.2f, -3.0f});
    ch.set_skipjumps(true);
    ch.fix_sigcache();
    EXPECT_EQ(ch.sigcache[0].hi, 0.5f);  // 1.2 is on the edge: excluded
    EXPECT_EQ(ch.sigcache[0].lo, -0.25f);
    ch.set_skipjumps(false);
    ch.fix_sigcache();
    EXPECT_EQ(ch.sigcache[0].hi, 5.0f);
    EXPECT_EQ(ch.sigcache[0].lo, -3.0f);
}

TEST(Channel, FsdShiftedSamplesAndDither) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    doc.measurementdirty = false;
    ch.set_fsd(-2);
    EXPECT_EQ(ch.fsd(), 2);
    EXPECT_TRUE(ch.needsdither);
    EXPECT_TRUE(doc.measurementdirty);
    EXPECT_NEAR(ch.axis.GetHiValue(), 2.4, 1e-12);
    EXPECT_NEAR(ch.axis.GetLoValue(), -2.4, 1e-12);
    EXPECT_NEAR(ch.axis.GetMaxHiValue(), 3.4, 1e-12);

    ch.set_samples({1, 2, 3});
    ch.xshift = 10;
    EXPECT_EQ(ch.shifted_signal(9), 0);
    EXPECT_EQ(ch.shifted_signal(10), 1);
    EXPECT_EQ(ch.shifted_signal(12), 3);
    EXPECT_EQ(ch.shifted_signal(13), 0);
    EXPECT_EQ(ch.shifted_signal(-5), 0);

    ch.needsdither = false;
    doc.prefs.UseDither = 0;
    EXPECT_TRUE(ch.get_usedither());
    doc.prefs.UseDither = 1;
    EXPECT_FALSE(ch.get_usedither());
    doc.prefs.UseDither = 2;
    ch.needsdither = true;
    EXPECT_FALSE(ch.get_usedither());

    ch.set_yunit("Pa");
    EXPECT_EQ(ch.axis.GetAxisText(), "[Pa]");
    ch.set_yunit("");
    EXPECT_EQ(ch.axis.GetAxisText(), "");
}
