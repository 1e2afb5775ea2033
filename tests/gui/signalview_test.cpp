// The signal view on the offscreen platform: strips follow the channel
// list, mouse drags set the selection, labels and keys reach the document,
// the layers paint at device resolution; screenshots for a look by eye go
// to TESSAL_SCREENSHOT_DIR when it is set.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

#include "engine/formats/twavfile.h"
#include "engine/view/viewrange.h"
#include "gui/view/channelstrip.h"
#include "gui/view/infoline.h"
#include "gui/view/keyboardshortcutswindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/mainwindow/screenshot.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformlayer.h"
#include "gui/view/waveformview.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"
#include "gui/widgets/taxiswidget.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// A stereo recording: a decaying 220 Hz vowel-like tone and noise bursts.
void fill_stereo(tdocument& doc, double seconds, double sf) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = sf;
        ch.nbits = 16;
        ch.set_name(c ? "right" : "left");
        tsinglearr s(static_cast<std::size_t>(seconds * sf));
        unsigned seed = 1 + c;
        for (std::size_t k = 0; k < s.size(); ++k) {
            double t = k / sf;
            seed = seed * 1664525u + 1013904223u;
            double noise = (seed >> 8) / double(1 << 24) - 0.5;
            double env = 0.5 + 0.45 * std::sin(2 * M_PI * 0.7 * t + c);
            s[k] = static_cast<float>(env * (0.6 * std::sin(2 * M_PI * 220 * t) +
                                             0.2 * std::sin(2 * M_PI * 660 * t)) +
                                      0.1 * noise);
        }
        ch.set_samples(std::move(s));
        ch.set_fsd(1);
        ch.sigcachedirty = true;
        ch.stereochanno = 1 - c;
    }
    doc.channel(0).add_label(0.5, 0.4, "vowel", "manual");
    doc.channel(0).add_label(1.2, 0.2, "stop", "smp");
    doc.channel(1).add_label(0.8, 0.0, "p", "manual");
    fix_xaxis(doc, true);
    doc.theglobal.invalidate_paintboxes(true);
}

struct twindowfixture {
    tscriptedprompter prompter;
    TMainWindow w{&prompter};
    twindowfixture(double seconds = 3, double sf = 16000) {
        w.first_activation({});
        fill_stereo(w.document(), seconds, sf);
        w.resize(1000, 600);
        w.show();
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }
    tsignalpanel& panel() { return *w.signalpanel(); }
    twaveformview* wave(int i) { return panel().strip(i).wave; }
    void shot(const char* name) {
        const char* dir = std::getenv("TESSAL_SCREENSHOT_DIR");
        if (dir) render_window_png(&w, QDir(dir).filePath(name));
    }
};

}  // namespace

TEST(SignalView, StripsFollowTheChannelListAndLayout) {
    twindowfixture f;
    ASSERT_EQ(f.panel().stripcount(), 2);
    twaveformview* w0 = f.wave(0);
    twaveformview* w1 = f.wave(1);
    const int h0 = w0->height();
    EXPECT_EQ(w0->x(), f.panel().timeaxis()->x());
    EXPECT_EQ(w0->width(), f.panel().timeaxis()->width());
    EXPECT_EQ(w0->height(), w1->height());
    EXPECT_LE(w1->geometry().bottom(), f.panel().timeaxis()->y());
    EXPECT_EQ(f.panel().strip(0).axis->height(), w0->height());

    f.w.document().channel(0).set_visible(false);
    f.panel().resize_channels();
    EXPECT_FALSE(f.wave(0)->isVisible());
    EXPECT_GT(f.wave(1)->height(), h0);

    // Deleting a channel drops its strip without touching the dead axis.
    f.w.document().delete_channel(0);
    ASSERT_EQ(f.panel().stripcount(), 1);
    EXPECT_EQ(f.wave(0), w1);
    EXPECT_EQ(f.wave(0)->channo(), 0);
    f.w.document().set_totnchans(0);
    EXPECT_EQ(f.panel().stripcount(), 0);
}

TEST(SignalView, DragSelectsAndLabelsAndKeysReachTheDocument) {
    twindowfixture f;
    tdocument& doc = f.w.document();
    twaveformview* w = f.wave(1);
    const int y = w->height() / 2;
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(100, y));
    QTest::mouseMove(w, QPoint(300, y));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(300, y));
    EXPECT_EQ(doc.thischanno(), 1);
    EXPECT_NEAR(doc.theglobal.leftselcursor(), doc.xaxis.pixel_to_value(100), 1e-12);
    EXPECT_NEAR(doc.theglobal.rightselcursor(), doc.xaxis.pixel_to_value(300), 1e-12);
    EXPECT_TRUE(doc.measurementdirty);

    // A click in the label strip selects the label under it.
    int lx = doc.xaxis.value_to_pixel(0.7);
    QTest::mouseClick(f.wave(0), Qt::LeftButton, {}, QPoint(lx, 4));
    EXPECT_TRUE(doc.channel(0).labels[0].selected);
    f.shot("selection-and-labels.png");

    // Zoom and Zoom back through the menu commands.
    const double lo = doc.xaxis.GetLoValue(), hi = doc.xaxis.GetHiValue();
    doc.theglobal.set_selection(0.5, 1.0);
    f.w.commands().action("zoomaction")->trigger();
    EXPECT_DOUBLE_EQ(doc.xaxis.GetLoValue(), 0.5);
    f.w.commands().action("zoombackaction")->trigger();
    EXPECT_DOUBLE_EQ(doc.xaxis.GetLoValue(), lo);
    EXPECT_DOUBLE_EQ(doc.xaxis.GetHiValue(), hi);

    QTest::keyClick(&f.panel(), Qt::Key_PageDown);
    EXPECT_NEAR(doc.xaxis.GetLoValue(), lo + 0.1 * (hi - lo), 1e-9);
    ASSERT_EQ(doc.thischanno(), 0);  // since the label click
    QTest::keyClick(&f.panel(), Qt::Key_Up);
    EXPECT_EQ(doc.thischanno(), 1);  // wraps

    f.w.commands().action("editallaction")->trigger();
    EXPECT_EQ(doc.selectmode, selall);
    EXPECT_TRUE(f.w.commands().action("editallaction")->isChecked());
    EXPECT_FALSE(f.w.commands().action("editstereoaction")->isChecked());
}

TEST(SignalView, LayersPaintInEveryModeAtDeviceResolution) {
    twindowfixture f;
    tdocument& doc = f.w.document();
    twaveformview* w = f.wave(0);
    w->repaint();
    EXPECT_EQ(w->last_mode(), tdrawmode::raw);  // 48000 samples over ~900 pixels
    EXPECT_EQ(w->layer().size(), w->size() * w->devicePixelRatioF());
    // Something of the channel colour (black) was drawn.
    const QImage& img = w->layer();
    int dark = 0;
    for (int x = 0; x < img.width(); ++x)
        if (qGray(img.pixel(x, img.height() / 2)) < 64) ++dark;
    EXPECT_GT(dark, img.width() / 4);
    f.shot("stereo-full.png");

    f.w.commands().action("showsamplesaction")->trigger();
    doc.xaxis.set_hilovalues(1.005, 1.0);  // 80 samples
    w->repaint();
    EXPECT_EQ(w->last_mode(), tdrawmode::markers);
    f.shot("sample-markers.png");

    tsinglearr longer = doc.channel(0).samples_array();
    longer.resize(16000 * 600);  // ten minutes
    doc.channel(0).set_samples(std::move(longer));
    fix_xaxis(doc, true);
    w->repaint();
    EXPECT_EQ(w->last_mode(), tdrawmode::cache);
    f.w.commands().action("showgridaction")->trigger();
    f.shot("long-with-grid.png");
}

// A long file opened from disk is first drawn from the drawing cache the
// reading threads built: pixel for pixel the picture of a cache built again
// from the samples, and of the same cache scanned without its coarser
// levels.
using FirstDrawing = tessal::testing::ttempdirtest;

TEST_F(FirstDrawing, CacheFromTheReadingEqualsTheCacheFromTheSamples) {
    // Three channels of 130 s at 16 kHz and 77 samples more (no whole
    // number of cache blocks): a tone with a slow swell, a click train and
    // noise with a dropout, so columns differ from each other.
    const std::size_t n = 130 * 16000 + 77;
    std::vector<tsinglearr> sig(3, tsinglearr(n));
    unsigned seed = 7;
    for (std::size_t k = 0; k < n; ++k) {
        const double t = static_cast<double>(k) / 16000;
        sig[0][k] = static_cast<float>((0.2 + 0.7 * std::sin(2 * M_PI * 0.05 * t) * std::sin(2 * M_PI * 0.05 * t)) *
                                       std::sin(2 * M_PI * 150 * t));
        sig[1][k] = k % 4001 < 3 ? 0.9f : -0.05f;
        seed = seed * 1664525u + 1013904223u;
        const double noise = (seed >> 8) / double(1 << 24) - 0.5;
        sig[2][k] = t > 60 && t < 61 ? 0.0f : static_cast<float>(0.8 * noise);
    }
    TWavFile wav;
    wav.Setsampfreq(16000);
    wav.Setnbits(16);
    wav.Setnchans(3);
    wav.save_file(path("long.wav"), sig, false, false);

    tscriptedprompter prompter;
    TMainWindow w{&prompter};
    w.files().threads = 2;
    w.first_activation({QString::fromStdString(path("long.wav"))});
    ASSERT_EQ(w.document().totnchans(), 3);
    w.resize(1000, 600);
    w.show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    tdocument& doc = w.document();
    tsignalpanel& panel = *w.signalpanel();
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        twaveformview* v = panel.strip(c).wave;
        v->repaint();
        ASSERT_EQ(v->last_mode(), tdrawmode::cache);
        ASSERT_FALSE(v->layer().isNull());
        const QImage first = v->layer().copy();

        // The same cache, every column scanned block by block.
        tlayerinput in;
        in.doc = &doc;
        in.chno = c;
        in.view = &panel.view();
        in.width = v->width();
        in.height = v->height();
        in.dpr = v->devicePixelRatioF();
        QImage flat;
        render_waveform_layer(flat, in);
        EXPECT_TRUE(flat == first);

        // A cache built again from the samples.
        tchannel& ch = doc.channel(c);
        ASSERT_FALSE(ch.sigcachedirty);
        ch.sigcachedirty = true;
        ch.bmpdirty = true;
        v->repaint();
        ASSERT_FALSE(ch.sigcachedirty);
        EXPECT_TRUE(v->layer() == first);
        // Not an empty picture: in most columns the trace is a run of
        // several dark pixels (the zero and FSD lines give at most three).
        int traced = 0;
        for (int x = 0; x < first.width(); ++x) {
            int dark = 0;
            for (int y = 0; y < first.height(); ++y) dark += qGray(first.pixel(x, y)) < 64;
            traced += dark > 6;
        }
        EXPECT_GT(traced, first.width() / 2);
    }
}

TEST(SignalView, RawDrawingPutsEachVisibleSampleAtItsTime) {
    // Silence with one spike, on a shifted channel, zoomed in on a span in
    // the middle: raw drawing copies only the visible samples, and the
    // spike's column is where its time lies on the axis.
    twindowfixture f;
    tdocument& doc = f.w.document();
    twaveformview* w = f.wave(0);
    tchannel& ch = doc.channel(0);
    ch.xshift = 1000;
    tsinglearr v(static_cast<std::size_t>(ch.sample_count()), 0.0f);
    const long long spike = 30000;
    v[spike] = static_cast<float>(0.9 * ch.axis.GetHiValue());
    ch.set_samples(std::move(v));
    const double t = static_cast<double>(spike + ch.xshift) / ch.sampfreq;  // 1.9375 s
    for (double from : {t - 0.02, t - 0.049}) {  // the spike inside, and near the right edge
        SCOPED_TRACE(from);
        doc.xaxis.set_hilovalues(from + 0.05, from);  // 800 samples
        w->repaint();
        ASSERT_EQ(w->last_mode(), tdrawmode::raw);
        const QImage& img = w->layer();
        const double dpr = w->devicePixelRatioF();
        // The column with the longest dark run.
        int best = -1, bestrun = 0;
        for (int x = 0; x < img.width(); ++x) {
            int dark = 0;
            for (int y = 0; y < img.height(); ++y) dark += qGray(img.pixel(x, y)) < 64;
            if (dark > bestrun) bestrun = dark, best = x;
        }
        EXPECT_GT(bestrun, img.height() / 4);
        const double want = doc.xaxis.value_to_notclippedpixel(t) * dpr;
        EXPECT_NEAR(best, want, 2 * dpr + 1);
    }
}

namespace {

// Runs the event loop until `v`'s layer is no longer being computed (at
// most 20 s).
bool wait_for_layer(twaveformview* v) {
    QElapsedTimer t;
    t.start();
    while (v->layer_pending() && t.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return !v->layer_pending();
}

// The layer of `v` drawn at once, on this thread, from the samples.
QImage direct_layer(twindowfixture& f, twaveformview* v) {
    tlayerinput in;
    in.doc = &f.w.document();
    in.chno = v->channo();
    in.view = &f.panel().view();
    in.width = v->width();
    in.height = v->height();
    in.dpr = v->devicePixelRatioF();
    QImage img;
    EXPECT_EQ(render_waveform_layer(img, in), tdrawmode::raw);
    return img;
}

}  // namespace

TEST(SignalView, LongRawLayerComesFromAJobAndEqualsTheDirectPicture) {
    // A minute at 16 kHz seen 20 s at a time: raw mode from 320000 samples,
    // more than a paint computes at once.
    twindowfixture f(60, 16000);
    tdocument& doc = f.w.document();
    twaveformview* w = f.wave(0);
    ASSERT_GE(20 * 16000, twaveformview::job_samples);
    doc.xaxis.set_hilovalues(30, 10);
    doc.theglobal.invalidate_paintboxes(true);
    w->repaint();
    EXPECT_TRUE(w->layer_pending());
    ASSERT_TRUE(wait_for_layer(w));
    EXPECT_EQ(w->last_mode(), tdrawmode::raw);
    const QImage want = direct_layer(f, w);
    EXPECT_TRUE(w->layer() == want);
    // Not a blank picture: the trace darkens most columns.
    int dark = 0;
    for (int x = 0; x < want.width(); ++x)
        if (qGray(want.pixel(x, want.height() / 2)) < 64) ++dark;
    EXPECT_GT(dark, want.width() / 4);
}

TEST(SignalView, SupersededLayerJobNeverPaintsOverTheNewerOne) {
    twindowfixture f(60, 16000);
    tdocument& doc = f.w.document();
    twaveformview* w = f.wave(1);
    // Three views in quick succession, each rebuild starting before the one
    // before it finished: only the last one's columns end up in the layer.
    for (double lo : {5.0, 20.0, 33.5}) {
        doc.xaxis.set_hilovalues(lo + 22, lo);
        doc.theglobal.invalidate_paintboxes(true);
        w->repaint();
        ASSERT_TRUE(w->layer_pending());
    }
    ASSERT_TRUE(wait_for_layer(w));
    const QImage want = direct_layer(f, w);
    EXPECT_TRUE(w->layer() == want);
    // Whatever else was still queued changes nothing.
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(w->layer() == want);
    // And the picture of an earlier view differs from it (so the check above
    // can tell them apart).
    doc.xaxis.set_hilovalues(27, 5);
    doc.theglobal.invalidate_paintboxes(true);
    EXPECT_FALSE(direct_layer(f, w) == want);

    // A view that changes while its columns are computed: the columns that
    // arrive for the old view are dropped and the new view is drawn.
    w->repaint();
    ASSERT_TRUE(w->layer_pending());
    doc.xaxis.set_hilovalues(52, 30);
    doc.theglobal.invalidate_paintboxes(true);
    ASSERT_TRUE(wait_for_layer(w));
    w->repaint();
    ASSERT_TRUE(wait_for_layer(w));
    EXPECT_TRUE(w->layer() == direct_layer(f, w));
}

TEST(SignalView, InformationLineShowsWhatChanged) {
    twindowfixture f;
    tdocument& doc = f.w.document();
    tinfoline* info = f.panel().strip(0).info;
    const QImage before = info->grab().toImage();
    // Painted again unchanged: the same picture.
    info->update();
    QApplication::processEvents();
    EXPECT_TRUE(info->grab().toImage() == before);

    doc.channel(0).nbits = 24;  // the coding tag at the right: "24i"
    info->update();
    QApplication::processEvents();
    const QImage after = info->grab().toImage();
    EXPECT_FALSE(after == before);

    // Back as it was: the first picture again, not the one kept.
    doc.channel(0).nbits = 16;
    EXPECT_TRUE(info->grab().toImage() == before);

    info->resize(info->width() - 40, info->height());
    const QImage narrower = info->grab().toImage();
    EXPECT_EQ(narrower.size(), info->size() * info->devicePixelRatioF());
    // The tag moved left with the right edge.
    EXPECT_FALSE(narrower == before.copy(0, 0, narrower.width(), narrower.height()));
}

TEST(SignalView, KeyboardShortcutsWindowText) {
    QStringList lines = tkeyboardshortcutswindow::help_lines();
    EXPECT_EQ(lines.size(), 28);
    EXPECT_EQ(lines.first(), "esc: Stop sound");
    EXPECT_EQ(lines.last(), "ctrl- :Play entire file");
    twindowfixture f;
    EXPECT_NE(qobject_cast<tkeyboardshortcutswindow*>(
                  f.w.windows().window("keyboardshortcuts")),
              nullptr);
}
