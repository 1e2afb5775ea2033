// The signal view's commands as document changes: strip layout, the zoom
// history with the keyboard zoom, Stretch, the keyboard map, selection and
// mark dragging, and label dragging with its flip and discard rules.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tdocument.h"
#include "engine/view/viewkeys.h"
#include "engine/view/viewlayout.h"
#include "engine/view/viewmouse.h"
#include "engine/view/viewrange.h"
#include "engine/view/viewstate.h"

using namespace tessal;

namespace {

// A document with `n` channels of `seconds` of a 1 kHz-sampled sine, a
// 1001-pixel time axis (1 ms a pixel over 0..1 s).
struct tviewfixture {
    tdocument doc;
    tviewstate view;
    explicit tviewfixture(int n = 2, double seconds = 2) {
        doc.set_totnchans(n);
        for (int i = 0; i < n; ++i) {
            tchannel& c = doc.channel(i);
            c.sampfreq = 1000;
            tsinglearr x(static_cast<std::size_t>(seconds * 1000));
            for (std::size_t k = 0; k < x.size(); ++k)
                x[k] = static_cast<float>((i + 1) * std::sin(2 * M_PI * 5 * k / 1000.0));
            c.set_samples(std::move(x));
            c.set_fsd(4);
            c.axis.SetHeight(110);
        }
        fix_xaxis(doc, false);
        doc.xaxis.SetWidth(1001);
        doc.xaxis.set_hilovalues(1, 0);
    }
    double lo() const { return doc.xaxis.GetLoValue(); }
    double hi() const { return doc.xaxis.GetHiValue(); }
    tmouseinput at(int x, int y, tmousebutton b = tmousebutton::left, tkeymods m = {}) const {
        tmouseinput in;
        in.x = x;
        in.y = y;
        in.height = 100;
        in.button = b;
        in.mods = m;
        return in;
    }
};

const tkeymods none{}, shift{true, false, false}, ctrl{false, true, false},
    ctrlshift{true, true, false}, alt{false, false, true};

}  // namespace

TEST(ViewLayout, HeightsWithAndWithoutHiddenInformation) {
    // Three channels, the middle one hidden, info lines 18 high, the time
    // axis at y = 502.
    auto l = layout_channels({true, false, true}, 18, 502, 25, false);
    EXPECT_EQ(l.waveheight, 223);  // (500 - 54) / 2
    EXPECT_EQ(l.strips[0].infotop, 2);
    EXPECT_EQ(l.strips[0].wavetop, 20);
    EXPECT_TRUE(l.strips[1].infovisible);
    EXPECT_FALSE(l.strips[1].wavevisible);
    EXPECT_EQ(l.strips[1].infotop, 2 + 18 + 223);
    EXPECT_EQ(l.strips[2].infotop, 2 + 18 + 223 + 18);
    EXPECT_EQ(l.strips[2].wavetop + l.waveheight, 502);  // fills to the axis
    EXPECT_EQ(l.minpanelheight, 3 * 18 + 20 + 25);

    auto h = layout_channels({true, false, true}, 18, 502, 25, true);
    EXPECT_EQ(h.waveheight, 232);  // 500 / 2 - 18
    EXPECT_FALSE(h.strips[1].infovisible);
    EXPECT_EQ(h.strips[2].infotop, 2 + 18 + 232);
    EXPECT_EQ(h.strips[2].wavetop + h.waveheight, 502);

    EXPECT_EQ(layout_channels({false, false}, 18, 502, 25, false).waveheight, 40);
    EXPECT_EQ(layout_channels({}, 18, 502, 25, false).strips.size(), 0u);
}

TEST(ZoomHistory, KeyboardZoomRunIsOneStepAndZoomBackFallsBackToTheExtent) {
    tviewfixture f;
    f.doc.theglobal.set_selection(0.4, 0.6);
    view_key(f.doc, f.view, tviewkey::right, ctrlshift);
    EXPECT_NEAR(f.lo(), 0.05, 1e-12);  // 0 + 0.1 * 0.5
    EXPECT_NEAR(f.hi(), 0.95, 1e-12);
    view_key(f.doc, f.view, tviewkey::right, ctrlshift);
    EXPECT_EQ(f.view.zoom.zoomstack().size(), 1u);
    f.view.zoom.zoom_back(f.doc);
    EXPECT_DOUBLE_EQ(f.lo(), 0);
    EXPECT_DOUBLE_EQ(f.hi(), 1);

    // "Zoom" between keyboard zooms starts a new entry.
    f.view.zoom.zoom_to_selection(f.doc);
    EXPECT_DOUBLE_EQ(f.lo(), 0.4);
    EXPECT_DOUBLE_EQ(f.hi(), 0.6);
    view_key(f.doc, f.view, tviewkey::right, ctrlshift);
    EXPECT_EQ(f.view.zoom.zoomstack().size(), 2u);
    f.view.zoom.zoom_back(f.doc);
    EXPECT_DOUBLE_EQ(f.lo(), 0.4);
    f.view.zoom.zoom_back(f.doc);
    EXPECT_DOUBLE_EQ(f.hi(), 1);
    // Empty history: every channel's extent, here 0 .. 1.999 s.
    f.view.zoom.zoom_back(f.doc);
    EXPECT_DOUBLE_EQ(f.lo(), 0);
    EXPECT_DOUBLE_EQ(f.hi(), 1.999);
}

TEST(ViewKeys, ZoomOutUndoesZoomInAndPagingScrolls) {
    tviewfixture f;
    f.doc.theglobal.set_selection(0.3, 0.3);
    view_key(f.doc, f.view, tviewkey::right, ctrlshift);
    view_key(f.doc, f.view, tviewkey::left, ctrlshift);
    EXPECT_NEAR(f.lo(), 0, 1e-12);
    EXPECT_NEAR(f.hi(), 1, 1e-12);

    auto r = view_key(f.doc, f.view, tviewkey::pagedown, none);
    EXPECT_TRUE(r.timeaxisscrolled);
    EXPECT_NEAR(f.lo(), 0.1, 1e-12);
    EXPECT_NEAR(f.hi(), 1.1, 1e-12);
    view_key(f.doc, f.view, tviewkey::pageup, ctrl);  // high -= 0.1 span
    EXPECT_NEAR(f.hi(), 1.0, 1e-12);
    view_key(f.doc, f.view, tviewkey::pagedown, ctrlshift);  // both ends in by 0.1 span
    EXPECT_NEAR(f.lo(), 0.19, 1e-12);
    EXPECT_NEAR(f.hi(), 0.91, 1e-12);
}

TEST(ViewKeys, CursorStepsScrollHomeEndChannelsAndModes) {
    tviewfixture f(3);
    tglobal& g = f.doc.theglobal;
    g.set_selection(0.5, 0.5);
    view_key(f.doc, f.view, tviewkey::right, none);
    EXPECT_NEAR(g.sel1cursor(), 0.501, 1e-12);
    EXPECT_EQ(g.sel2cursor(), g.sel1cursor());
    view_key(f.doc, f.view, tviewkey::right, alt);  // ten pixels
    EXPECT_NEAR(g.sel2cursor(), 0.511, 1e-12);
    view_key(f.doc, f.view, tviewkey::left, shift);
    EXPECT_NEAR(g.sel2cursor(), 0.510, 1e-12);
    EXPECT_NEAR(g.sel1cursor(), 0.511, 1e-12);

    // Leaving the view on the right scrolls it: the cursor sits 0.2 span
    // inside the right edge.
    g.set_selection(0.9995, 0.9995);
    view_key(f.doc, f.view, tviewkey::right, none);
    EXPECT_NEAR(f.hi() - g.sel1cursor(), 0.2, 1e-9);

    view_key(f.doc, f.view, tviewkey::home, none);
    EXPECT_EQ(g.sel1cursor(), f.lo());
    view_key(f.doc, f.view, tviewkey::end, shift);
    EXPECT_EQ(g.sel1cursor(), f.lo());
    EXPECT_EQ(g.sel2cursor(), f.hi());

    f.doc.channel(2).set_visible(false);
    f.doc.set_thischanno(1);
    view_key(f.doc, f.view, tviewkey::down, none);  // skips hidden 2, wraps
    EXPECT_EQ(f.doc.thischanno(), 0);
    view_key(f.doc, f.view, tviewkey::up, none);
    EXPECT_EQ(f.doc.thischanno(), 1);

    f.doc.selectmode = selvisible;
    view_key(f.doc, f.view, tviewkey::f4, none);
    EXPECT_EQ(f.doc.selectmode, selmono);

    EXPECT_EQ(view_key(f.doc, f.view, tviewkey::space, ctrl).request, tkeyrequest::playall);
    EXPECT_FALSE(view_key(f.doc, f.view, tviewkey::space, alt).handled);

    f.view.showcursors[1] = f.view.showcursors[2] = true;
    f.doc.channel(1).cursors[1] = 0.7;
    f.doc.channel(1).cursors[2] = 0.2;
    view_key(f.doc, f.view, tviewkey::f8, none);
    EXPECT_DOUBLE_EQ(g.leftselcursor(), 0.2);
    EXPECT_DOUBLE_EQ(g.rightselcursor(), 0.7);
}

TEST(Stretch, MarginsFromAxisHeightAndFsdOnTheEditSet) {
    tviewfixture f(3);
    f.doc.channel(0).stereochanno = 1;
    f.doc.channel(1).stereochanno = 0;
    f.doc.selectmode = selstereo;
    f.doc.theglobal.set_selection(0, 1);  // whole periods: peaks at +-1 and +-2
    tminmaxpair mm = selection_minmax_value(f.doc, 0, false);
    EXPECT_NEAR(mm.max, 1, 1e-6);
    EXPECT_NEAR(mm.min, -1, 1e-6);
    // 110 pixels: each end widens by 2 * 10 / 100.
    mm = selection_minmax_value(f.doc, 1, true);
    EXPECT_NEAR(mm.max, 2.4, 1e-5);
    stretch(f.doc);
    EXPECT_NEAR(f.doc.channel(0).axis.GetHiValue(), 1.2, 1e-5);
    EXPECT_NEAR(f.doc.channel(1).axis.GetLoValue(), -2.4, 1e-5);
    EXPECT_NEAR(f.doc.channel(2).axis.GetHiValue(), 4.8, 1e-9);  // untouched: 1.2 FSD

    // No margin below 16 pixels; selection past the end is clamped.
    f.doc.channel(0).axis.SetHeight(15);
    f.doc.theglobal.set_selection(1.5, 9);
    mm = selection_minmax_value(f.doc, 0, true);
    EXPECT_NEAR(mm.max, 1, 1e-6);

    f.doc.channel(0).axis.set_hilovalues(0.5, -0.5);
    stretch_to_fsd(f.doc);
    EXPECT_DOUBLE_EQ(f.doc.channel(0).axis.GetHiValue(), 4.8);
    EXPECT_DOUBLE_EQ(f.doc.channel(0).axis.GetLoValue(), -4.8);

    tchannel& empty = f.doc.create_channel(3);
    (void)empty;
    mm = selection_minmax_value(f.doc, 3, true);
    EXPECT_EQ(mm.min, 0);
    EXPECT_EQ(mm.max, 0);
}

TEST(Stretch, ExtremesDoNotDependOnHowTheSamplesArePieced) {
    // A spike on either side of a piece end and one at the span's ends,
    // found whatever pieces the channel hands its samples over in.
    tviewfixture f(1);
    tchannel& c = f.doc.channel(0);
    const float spikes[4] = {3.5f, -3.25f, 2.0f, -2.5f};
    c.write_samples(300, &spikes[0], 1);
    c.write_samples(1301, &spikes[1], 1);
    c.write_samples(200, &spikes[2], 1);   // the first sample of the span
    c.write_samples(1400, &spikes[3], 1);  // the last
    f.doc.theglobal.set_selection(0.2, 1.4);
    for (std::size_t limit : {0u, 1u, 7u, 1000u}) {
        c.set_chunk_limit(limit);
        const tminmaxpair mm = selection_minmax_value(f.doc, 0, false);
        EXPECT_EQ(mm.max, 3.5) << limit;
        EXPECT_EQ(mm.min, -3.25) << limit;
    }
    f.doc.theglobal.set_selection(0.5, 0.5);  // no selection: the visible 0..1 s
    c.set_chunk_limit(7);
    const tminmaxpair mm = selection_minmax_value(f.doc, 0, false);
    EXPECT_EQ(mm.max, 3.5);
    EXPECT_NEAR(mm.min, -1, 1e-6);  // the spike at 1.301 s is out of view
}

TEST(ViewRange, EndTimeOfChannelsShiftedBeforeTheStart) {
    // A channel shifted so far back that it ends before time 0 ends at its
    // own last time, not at a wrapped-around size; the latest end wins.
    tdocument doc;
    doc.set_totnchans(2);
    doc.channel(0).sampfreq = 1000;
    doc.channel(0).set_samples(tsinglearr(100, 0.0f));
    doc.channel(0).xshift = -5000;  // samples at -5.0 .. -4.901 s
    doc.channel(1).sampfreq = 0;    // no rate: not counted
    doc.channel(1).set_samples(tsinglearr(10, 0.0f));
    EXPECT_EQ(channels_end_time(doc), 0.0);
    doc.channel(0).xshift = -50;  // ends at 0.05 s
    EXPECT_DOUBLE_EQ(channels_end_time(doc), 0.05);
    doc.channel(1).sampfreq = 100;
    doc.channel(1).xshift = 3;  // ends at 0.13 s
    EXPECT_DOUBLE_EQ(channels_end_time(doc), 0.13);
}

TEST(ViewMouse, SelectionDragWithCtrlAndMarks) {
    tviewfixture f;
    tglobal& g = f.doc.theglobal;
    auto r = view_mouse_down(f.doc, f.view, 1, f.at(200, 50));
    EXPECT_TRUE(r.currentchanged);
    EXPECT_EQ(f.doc.thischanno(), 1);
    EXPECT_EQ(f.view.cursortomove, -1);
    EXPECT_DOUBLE_EQ(g.sel1cursor(), 0.2);
    view_mouse_move(f.doc, f.view, 1, f.at(400, 50));
    EXPECT_DOUBLE_EQ(g.leftselcursor(), 0.2);
    EXPECT_DOUBLE_EQ(g.rightselcursor(), 0.4);
    view_mouse_move(f.doc, f.view, 1, f.at(450, 50, tmousebutton::left, ctrl));
    EXPECT_DOUBLE_EQ(g.sel1cursor(), 0.45);
    EXPECT_FALSE(g.has_selection());
    view_mouse_up(f.doc, f.view, 1, f.at(450, 50));
    EXPECT_EQ(f.view.cursortomove, -2);

    // In the handle strip the nearest shown mark closer than 50 pixels is
    // dragged; none near means nothing moves.
    f.view.showcursors[3] = f.view.showcursors[4] = true;
    f.doc.channel(1).cursors[3] = 0.3;
    f.doc.channel(1).cursors[4] = 0.34;
    view_mouse_down(f.doc, f.view, 1, f.at(335, 95));
    EXPECT_EQ(f.view.cursortomove, 4);
    view_mouse_move(f.doc, f.view, 1, f.at(500, 95));
    EXPECT_DOUBLE_EQ(f.doc.channel(1).cursors[4], 0.5);
    view_mouse_up(f.doc, f.view, 1, f.at(500, 95));
    view_mouse_down(f.doc, f.view, 1, f.at(900, 95));
    EXPECT_EQ(f.view.cursortomove, -2);
    EXPECT_DOUBLE_EQ(g.sel1cursor(), 0.45);

    EXPECT_EQ(view_mouse_down(f.doc, f.view, 0, f.at(10, 50, tmousebutton::right)).request,
              tmouserequest::playchannel);
}

TEST(ViewMouse, LabelClicksSelectAndAltDragFlipsOrDiscards) {
    tviewfixture f;
    tchannel& c = f.doc.channel(0);
    c.add_label(0.1, 0.1, "a", "manual");
    c.add_label(0.3, 0.2, "b", "Manual");
    c.add_label(0.6, 0.1, "c", "overload");
    f.doc.channel(1).add_label(0.1, 0.1, "z", "manual");
    f.doc.channel(1).labels[0].selected = true;

    view_mouse_down(f.doc, f.view, 0, f.at(150, 5));  // plain click: only this one
    EXPECT_TRUE(c.labels[0].selected);
    EXPECT_FALSE(f.doc.channel(1).labels[0].selected);
    view_mouse_down(f.doc, f.view, 0, f.at(650, 5, tmousebutton::left, shift));
    EXPECT_TRUE(c.labels[1].selected && c.labels[2].selected);
    view_mouse_down(f.doc, f.view, 0, f.at(400, 5, tmousebutton::left, ctrl));
    EXPECT_FALSE(c.labels[1].selected);

    // Alt on a label of another type does not move it.
    view_mouse_down(f.doc, f.view, 0, f.at(650, 5, tmousebutton::left, alt));
    EXPECT_FALSE(c.labels[2].moving);

    // Grab the start edge of "b" (0.3 .. 0.5) and drag it past the end.
    view_mouse_down(f.doc, f.view, 0, f.at(301, 5, tmousebutton::left, alt));
    ASSERT_TRUE(c.labels[1].moving);
    EXPECT_EQ(f.view.foundlabel.shiftmode, 0);
    view_mouse_move(f.doc, f.view, 0, f.at(581, 5, tmousebutton::left, alt));
    EXPECT_NEAR(c.labels[1].newtime, 0.5, 1e-12);
    EXPECT_NEAR(c.labels[1].newduration, 0.08, 1e-12);
    EXPECT_DOUBLE_EQ(c.labels[1].time, 0.3);  // only previewed so far
    // Below the strip the preview snaps back; releasing there discards.
    view_mouse_move(f.doc, f.view, 0, f.at(581, 40, tmousebutton::left, alt));
    EXPECT_DOUBLE_EQ(c.labels[1].newtime, 0.3);
    f.doc.set_modified(false);
    view_mouse_up(f.doc, f.view, 0, f.at(581, 40, tmousebutton::left, alt));
    EXPECT_DOUBLE_EQ(c.labels[1].time, 0.3);
    EXPECT_DOUBLE_EQ(c.labels[1].duration, 0.2);
    EXPECT_FALSE(c.labels[1].moving);
    EXPECT_FALSE(f.doc.modified());

    // Whole-label move released in the strip takes effect and keeps the
    // labels sorted.
    view_mouse_down(f.doc, f.view, 0, f.at(400, 5, tmousebutton::left, alt));
    EXPECT_EQ(f.view.foundlabel.shiftmode, 1);
    view_mouse_move(f.doc, f.view, 0, f.at(100, 5, tmousebutton::left, alt));
    view_mouse_up(f.doc, f.view, 0, f.at(100, 5, tmousebutton::left, alt));
    EXPECT_TRUE(f.doc.modified());
    EXPECT_EQ(c.labels[0].text, "b");
    EXPECT_NEAR(c.labels[0].time, 0.0, 1e-12);
    EXPECT_NEAR(c.labels[0].duration, 0.2, 1e-12);
}

TEST(LabelDrag, EndEdgeBeforeStartFlips) {
    tsiglabel l;
    l.time = 1.0;
    l.duration = 0.5;
    drag_label(l, 2, -0.8);  // end to 0.7
    EXPECT_NEAR(l.newtime, 0.7, 1e-12);
    EXPECT_NEAR(l.newduration, 0.3, 1e-12);
    drag_label(l, 0, 0.8);  // start to 1.8
    EXPECT_NEAR(l.newtime, 1.5, 1e-12);
    EXPECT_NEAR(l.newduration, 0.3, 1e-12);
}
