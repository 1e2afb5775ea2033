// Moving about the signal with the wheel and the scroll bar, the strips'
// minimum height and the width of the channel column, and showing the red
// and blue marks.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tdocument.h"
#include "engine/view/viewlayout.h"
#include "engine/view/viewmouse.h"
#include "engine/view/viewrange.h"
#include "engine/view/viewscroll.h"
#include "engine/view/viewstate.h"

using namespace tessal;

namespace {

// Channels of 10 s at 1 kHz, a 1001-pixel time axis showing 2..4 s.
struct tscrollfixture {
    tdocument doc;
    explicit tscrollfixture(int n = 1, double seconds = 10) {
        doc.set_totnchans(n);
        for (int i = 0; i < n; ++i) {
            doc.channel(i).sampfreq = 1000;
            doc.channel(i).set_samples(tsinglearr(static_cast<std::size_t>(seconds * 1000), 0.0f));
        }
        fix_xaxis(doc, false);
        doc.xaxis.SetWidth(1001);
        doc.xaxis.set_hilovalues(4, 2);
    }
    double lo() const { return doc.xaxis.GetLoValue(); }
    double hi() const { return doc.xaxis.GetHiValue(); }
};

}  // namespace

TEST(WheelScroll, NotchesMoveATenthOfTheSpanAndStopAtTheEnds) {
    tscrollfixture f;
    wheel_scroll(f.doc, 1);
    EXPECT_NEAR(f.lo(), 2.2, 1e-12);
    EXPECT_NEAR(f.hi(), 4.2, 1e-12);
    wheel_scroll(f.doc, -2.5);  // a fine-grained touchpad turn
    EXPECT_NEAR(f.lo(), 1.7, 1e-12);
    wheel_scroll(f.doc, -100);  // not past the start, span kept
    EXPECT_NEAR(f.lo(), 0, 1e-12);
    EXPECT_NEAR(f.hi(), 2, 1e-12);
    wheel_scroll(f.doc, 1000);  // not past the end
    EXPECT_NEAR(f.lo(), 8, 1e-12);
    EXPECT_NEAR(f.hi(), 10, 1e-12);

    // A view already beyond the end may come back but not go further.
    f.doc.xaxis.set_hilovalues(14, 11);
    wheel_scroll(f.doc, 1);
    EXPECT_NEAR(f.lo(), 11, 1e-12);
    wheel_scroll(f.doc, -1);
    EXPECT_NEAR(f.lo(), 10.7, 1e-12);
}

TEST(WheelZoom, KeepsThePointedTimeAtItsPixel) {
    tscrollfixture f;
    const int x = 250;
    const double at = f.doc.xaxis.pixel_to_value(x);  // 2.5 s
    wheel_zoom(f.doc, 1, at);
    EXPECT_NEAR(f.hi() - f.lo(), 1.6, 1e-12);
    EXPECT_NEAR(f.doc.xaxis.pixel_to_value(x), at, 1e-12);
    wheel_zoom(f.doc, -1, at);  // and back out exactly
    EXPECT_NEAR(f.lo(), 2, 1e-12);
    EXPECT_NEAR(f.hi(), 4, 1e-12);

    // Out no further than the whole signal, which then fills the view.
    wheel_zoom(f.doc, -20, at);
    EXPECT_NEAR(f.lo(), 0, 1e-12);
    EXPECT_NEAR(f.hi(), 10, 1e-12);
    // In no further than 10 microseconds.
    wheel_zoom(f.doc, 200, 5);
    EXPECT_NEAR(f.hi() - f.lo(), 1e-5, 1e-12);
    EXPECT_LE(f.lo(), 5);
    EXPECT_GE(f.hi(), 5);
}

TEST(TimeScrollbar, ShowsTheVisiblePartAndMovesIt) {
    tscrollfixture f;
    const int R = time_scroll_resolution;
    ttimescrollbar b = time_scrollbar(f.doc);
    EXPECT_EQ(b.pagestep, R / 5);  // 2 s of 10
    EXPECT_EQ(b.maximum, R - R / 5);
    EXPECT_EQ(b.value, R / 5);  // starts at 2 s
    EXPECT_EQ(b.singlestep, R / 50);

    scroll_time_to(f.doc, R / 2);
    EXPECT_NEAR(f.lo(), 5, 1e-9);
    EXPECT_NEAR(f.hi(), 7, 1e-9);
    EXPECT_EQ(time_scrollbar(f.doc).value, R / 2);
    scroll_time_to(f.doc, b.maximum);  // the end exactly
    EXPECT_DOUBLE_EQ(f.hi(), 10);
    scroll_time_to(f.doc, 0);
    EXPECT_DOUBLE_EQ(f.lo(), 0);
    EXPECT_NEAR(f.hi(), 2, 1e-12);

    // The whole signal in view: nothing to scroll.
    f.doc.xaxis.set_hilovalues(10, 0);
    b = time_scrollbar(f.doc);
    EXPECT_EQ(b.maximum, 0);
    EXPECT_EQ(b.pagestep, R);
    // A view reaching past the end widens the extent to take it in.
    f.doc.xaxis.set_hilovalues(15, 10);
    b = time_scrollbar(f.doc);
    EXPECT_EQ(b.pagestep, R / 3);
    EXPECT_EQ(b.value, b.maximum);

    // No channels: nothing to scroll and nothing moves.
    tdocument empty;
    b = time_scrollbar(empty);
    EXPECT_EQ(b.maximum, 0);
    scroll_time_to(empty, 5);
    EXPECT_EQ(empty.xaxis.GetLoValue(), 0);
}

TEST(ViewLayout, StripsKeepAMinimumHeightAndThenScroll) {
    // Eight channels, info lines 18 high, the time axis at y = 300: the
    // strips would get (298 - 144) / 8 = 19 pixels.
    std::vector<bool> eight(8, true);
    tviewlayout l = layout_channels(eight, 18, 300, 20, false, min_wave_height);
    EXPECT_TRUE(l.scrolls);
    EXPECT_EQ(l.waveheight, min_wave_height);
    for (int i = 1; i < 8; ++i)  // stacked, never overlapping
        EXPECT_EQ(l.strips[i].infotop, l.strips[i - 1].wavetop + min_wave_height);
    EXPECT_EQ(l.contentheight, 2 + 8 * (18 + min_wave_height));
    // With room enough nothing scrolls and the strips fill it.
    l = layout_channels(eight, 18, 802, 20, false, min_wave_height);
    EXPECT_FALSE(l.scrolls);
    EXPECT_EQ(l.waveheight, 82);
    EXPECT_EQ(l.contentheight, 802);
}

TEST(ViewLayout, ChannelColumnIsOneWidthLeavingTheNumberClearOfTheNotesIcon) {
    // The default metrics: 7 pixels a character.
    tdocument doc;
    const int axis = doc.theglobal.channelaxiswidth();
    EXPECT_EQ(channel_column_width(doc), axis);
    doc.set_totnchans(8);
    EXPECT_EQ(channel_column_width(doc), axis);
    // Channel numbers of up to five digits need 2 + 35 + 3 + 35 pixels.
    doc.set_totnchans(10001);
    EXPECT_EQ(channel_column_width(doc), std::max(axis, 2 + 5 * 7 + 3 + 35));
    EXPECT_GE(channel_column_width(doc) - 35, 2 + 5 * 7 + 3);
}

TEST(RedBlueMarks, ShowingPlacesUnplacedMarksApartAndKeepsPlacedOnes) {
    tscrollfixture f(2);
    tviewstate view;
    f.doc.channel(1).cursors[1] = 2.5;
    f.doc.channel(1).cursors[2] = 3.5;
    show_red_blue_marks(f.doc, view, true);
    EXPECT_TRUE(view.showcursors[1] && view.showcursors[2]);
    EXPECT_FALSE(view.showcursors[0] || view.showcursors[3] || view.showcursors[7]);
    EXPECT_TRUE(mark_shown(view, 0, 1) && mark_shown(view, 0, 2));
    EXPECT_NEAR(f.doc.channel(0).cursors[1], 2 + 2.0 / 3, 1e-12);
    EXPECT_NEAR(f.doc.channel(0).cursors[2], 2 + 4.0 / 3, 1e-12);
    EXPECT_EQ(f.doc.channel(1).cursors[1], 2.5);
    EXPECT_EQ(f.doc.channel(1).cursors[2], 3.5);
    show_red_blue_marks(f.doc, view, false);
    EXPECT_FALSE(view.showcursors[1] || view.showcursors[2]);
    EXPECT_NEAR(f.doc.channel(0).cursors[1], 2 + 2.0 / 3, 1e-12);  // kept for next time
}
