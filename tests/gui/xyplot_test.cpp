// The xy-plot window: channel lists that keep their choices, axes taken
// from the channels' value axes, the plot drawing exactly what the engine's
// pixel grid holds, and an empty plot for channels of different rates.
#include <memory>
#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tchannel.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/plots/txyplotwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "engine/formats/tessalfile.h"
#include "gui/view/channelstrip.h"
#include "gui/view/signalpanel.h"
#include "gui/widgets/taxislimitform.h"
#include "gui/widgets/taxiswidget.h"
#include "support/comboclick.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"
#include "support/tempdirtest.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

int dark_pixels(const QImage& img) {
    int n = 0;
    // Inside the plot, away from the axes and their texts.
    for (int y = 5; y < img.height() - 40; ++y)
        for (int x = 60; x < img.width() - 10; ++x) n += qGray(img.pixel(x, y)) < 60;
    return n;
}

}  // namespace

TEST(XyPlotWindow, PlotsChannelsAndKeepsChoices) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    doc.set_totnchans(3);
    for (int c = 0; c < 3; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = c == 2 ? 2000 : 1000;
        ch.set_name("c" + std::to_string(c));
        tsinglearr s(2000);
        for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<float>(0.5 * std::sin(i * 0.01 + c));
        ch.set_samples(std::move(s));
        ch.axis.set_hilovalues(1 - 0.25 * c, -1 + 0.25 * c);
        ch.axis.SetAxisText("v" + std::to_string(c));
    }
    doc.theglobal.channels_changed();
    doc.theglobal.set_selection(0, 2);
    auto* win = dynamic_cast<txyplotwindow*>(w.windows().window("xyplot"));
    ASSERT_NE(win, nullptr);
    w.windows().show("xyplot");
    win->set_channels(1, 0);
    settle();
    EXPECT_EQ(win->plot()->xaxis()->axis().GetHiValue(), 0.75);
    EXPECT_EQ(win->plot()->yaxis()->axis().GetAxisText(), "v0");
    EXPECT_EQ(win->range().first, 0);
    EXPECT_EQ(win->range().last, 1999);
    const QImage drawn = win->plot()->render_image(QSize(300, 300));
    EXPECT_GT(dark_pixels(drawn), 200);

    // Rebuilding the lists keeps the choices.
    doc.theglobal.channels_changed();
    EXPECT_EQ(win->findChild<QComboBox*>("xchannelbox")->currentIndex(), 1);
    EXPECT_EQ(win->findChild<QComboBox*>("ychannelbox")->currentText(), "0: c0");

    // Different rates: grid only, which has no black pixels.
    win->set_channels(2, 0);
    EXPECT_TRUE(win->range().empty());
    const QImage empty = win->plot()->render_image(QSize(300, 300));
    EXPECT_EQ(dark_pixels(empty), 0);
}

// A long span is computed off the window's thread while events go on;
// once it is done the screen holds exactly the engine's grid, and a picture
// for export is drawn whole at once.
TEST(XyPlotWindow, LongSpanEndsAsTheWholeGrid) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 10000;
        tsinglearr s(3000000);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<float>(0.8 * std::sin(i * (c ? 0.00173 : 0.00111)) * std::cos(i * 1e-6));
        ch.set_samples(std::move(s));
        ch.axis.set_hilovalues(1, -1);
    }
    doc.theglobal.channels_changed();
    auto* win = dynamic_cast<txyplotwindow*>(w.windows().window("xyplot"));
    ASSERT_NE(win, nullptr);
    w.windows().show("xyplot");
    win->set_span(txyspan::entire);
    win->set_channels(0, 1);
    win->resize(500, 400);
    for (int i = 0; i < 2000 && !win->drawing_done(); ++i) {
        win->plot()->canvas()->repaint();
        QTest::qWait(10);
    }
    ASSERT_TRUE(win->drawing_done());
    settle();
    const QImage shown = win->plot()->canvas()->grab().toImage();
    const TAxis& xa = win->plot()->xaxis()->axis();
    const TAxis& ya = win->plot()->yaxis()->axis();
    const auto grid = xy_raster(doc.channel(0), doc.channel(1), win->range(), xa, ya, shown.width(),
                                shown.height(), true);
    int expected = 0, black = 0, wrong = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const bool on = grid[static_cast<size_t>(y) * shown.width() + x] != 0;
            const bool isblack = shown.pixel(x, y) == qRgb(0, 0, 0);
            expected += on;
            black += isblack;
            wrong += on != isblack;
        }
    EXPECT_GT(expected, 1000);
    EXPECT_EQ(wrong, 0) << black << " black pixels, " << expected << " in the grid";
    // An export draws the whole span in one go.
    EXPECT_GT(dark_pixels(win->plot()->render_image(QSize(400, 300))), 1000);
}

namespace {

// Two channels of n samples at 10 kHz, Lissajous-like.
void long_pair(tdocument& doc, std::size_t n) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 10000;
        tsinglearr s(n);
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<float>(0.8 * std::sin(i * (c ? 0.00173 : 0.00111)) * std::cos(i * 1e-6));
        ch.set_samples(std::move(s));
        ch.axis.set_hilovalues(1, -1);
    }
    doc.theglobal.channels_changed();
}

// The pixels of the canvas that differ from the engine's grid of the span.
int wrong_pixels(txyplotwindow* win, const tdocument& doc, txyrange r, bool lines = true) {
    const QImage shown = win->plot()->canvas()->grab().toImage();
    const auto grid = xy_raster(doc.channel(0), doc.channel(1), r, win->plot()->xaxis()->axis(),
                                win->plot()->yaxis()->axis(), shown.width(), shown.height(), lines);
    int wrong = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            wrong += (grid[static_cast<size_t>(y) * shown.width() + x] != 0) != (shown.pixel(x, y) == qRgb(0, 0, 0));
    return wrong;
}

bool wait_drawn(txyplotwindow* win) {
    for (int i = 0; i < 6000 && !win->drawing_done(); ++i) {
        win->plot()->canvas()->update();
        QTest::qWait(5);
    }
    return win->drawing_done();
}

}  // namespace

// A long span being computed is superseded by a short one chosen with the
// "What to plot" box: the short one's grid is shown and the long one never
// paints over it; the event loop runs meanwhile, the old picture stays on
// screen, and closing the window mid-way leaves the document alone.
TEST(XyPlotWindow, NewerSpanWinsAndEventLoopRuns) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    tdocument& doc = w.document();
    long_pair(doc, 6000000);
    doc.theglobal.set_selection(10, 10.5);
    auto* win = dynamic_cast<txyplotwindow*>(w.windows().window("xyplot"));
    ASSERT_NE(win, nullptr);
    w.windows().show("xyplot");
    win->resize(500, 400);
    win->set_channels(0, 1);
    ASSERT_TRUE(wait_drawn(win));
    settle();
    ASSERT_TRUE(wait_drawn(win));
    const QImage selpicture = win->plot()->canvas()->grab().toImage();

    int ticks = 0, tickswhilebusy = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (!win->drawing_done()) ++tickswhilebusy;
    });
    timer.start(10);
    auto* what = win->findChild<QComboBox*>("whatbox");
    what->setFocus();
    QTest::keyClick(what, Qt::Key_End);  // "Entire file"
    ASSERT_EQ(what->currentIndex(), 2);
    win->plot()->canvas()->repaint();
    EXPECT_FALSE(win->drawing_done());
    for (int i = 0; i < 400 && tickswhilebusy < 3 && !win->drawing_done(); ++i) QTest::qWait(5);
    EXPECT_GE(tickswhilebusy, 3);
    // Meanwhile the selection's picture is still shown (with the progress).
    const QImage meanwhile = win->plot()->canvas()->grab().toImage();
    if (const char* dir = std::getenv("TESSAL_XY_SHOT_DIR")) meanwhile.save(QString(dir) + "/xy_busy.png");
    int same = 0;
    for (int y = 20; y < meanwhile.height(); ++y)
        for (int x = 0; x < meanwhile.width(); ++x) same += meanwhile.pixel(x, y) == selpicture.pixel(x, y);
    EXPECT_GT(same, (meanwhile.height() - 20) * meanwhile.width() * 9 / 10);

    QTest::keyClick(what, Qt::Key_Home);  // back to "Selection"
    ASSERT_EQ(what->currentIndex(), 0);
    ASSERT_TRUE(wait_drawn(win));
    QTest::qWait(300);  // a stray older grid would arrive here
    win->plot()->canvas()->repaint();
    EXPECT_TRUE(win->drawing_done());
    EXPECT_EQ(wrong_pixels(win, doc, win->range()), 0);

    // Entire file again, and the window closed while it computes.
    QTest::keyClick(what, Qt::Key_End);
    win->plot()->canvas()->repaint();
    EXPECT_FALSE(win->drawing_done());
    win->close();
    QTest::qWait(50);
    EXPECT_EQ(doc.channel(0).sample_count(), 6000000);
    EXPECT_EQ(doc.channel(1).sample_count(), 6000000);
}

namespace {

// A document as an F0 extraction leaves it: the F0 contour (100..300 Hz,
// full scale 500 Hz) in the first channel, the voice (full scale 1) in
// the second.
void write_f0_document(const std::string& path) {
    tdocument d;
    d.set_totnchans(2);
    tchannel& f0 = d.channel(0);
    f0.set_name("F0");
    f0.set_yunit("Hz");
    f0.sampfreq = f0.orgsampfreq = 1000;
    tsinglearr hz(2000);
    for (size_t i = 0; i < hz.size(); ++i) hz[i] = static_cast<float>(100 + 100 * (1 + std::sin(i * 0.003)));
    f0.set_samples(std::move(hz));
    f0.set_fsd(500);
    tchannel& voice = d.channel(1);
    voice.set_name("voice");
    voice.sampfreq = voice.orgsampfreq = 1000;
    tsinglearr v(2000);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(0.5 * std::sin(i * 0.9));
    voice.set_samples(std::move(v));
    voice.set_fsd(1);
    write_tessal_file(d, path, {}, 0, 0);
}

struct XyPlotLog : tessal::testing::ttempdirtest {};

}  // namespace

// The channel's axis made logarithmic, everything selected, the xy-plot
// opened and that channel picked in the y list while the y axis still
// shows the voice's -1.2..1.2: the plot takes the channel's range before
// its logarithmic scale, and draws.
TEST_F(XyPlotLog, LogarithmicChannelPickedInTheYList) {
    write_f0_document(path("f0.tessal"));
    tscriptedprompter prompter;
    TMainWindow w{&prompter};
    w.first_activation({});
    ASSERT_TRUE(w.files().open_document(path("f0.tessal")));
    w.resize(900, 560);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    settle();
    tdocument& doc = w.document();
    ASSERT_EQ(doc.totnchans(), 2);
    ASSERT_EQ(doc.channel(0).name(), "F0");

    // Double-click the F0 channel's amplitude axis: 400 / 50, logarithmic.
    ASSERT_TRUE(set_limits_by_dialog(w.signalpanel()->strip(0).axis, "50", "400", true));
    ASSERT_TRUE(doc.channel(0).axis.GetLogarithmic());
    ASSERT_DOUBLE_EQ(doc.channel(0).axis.GetLoValue(), 50);
    ASSERT_DOUBLE_EQ(doc.channel(0).axis.GetHiValue(), 400);

    // Ctrl+A, then Analysis > xy-plot. A desktop makes the main window
    // active again when the dialog closes; the offscreen platform leaves
    // the hidden dialog active.
    QApplication::setActiveWindow(&w);
    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    settle();
    ASSERT_TRUE(doc.theglobal.has_selection());
    w.commands().action("xyplotaction")->trigger();
    auto* win = dynamic_cast<txyplotwindow*>(w.windows().window("xyplot"));
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(win));
    settle();
    auto* ybox = win->findChild<QComboBox*>("ychannelbox");
    ASSERT_EQ(ybox->currentIndex(), 1);
    const TAxis& ya = win->plot()->yaxis()->axis();
    ASSERT_FALSE(ya.GetLogarithmic());
    ASSERT_LT(ya.GetLoValue(), 0);
    prompter.asked.clear();

    click_combo_item(ybox, 0);
    settle();

    EXPECT_TRUE(prompter.asked.empty()) << prompter.asked.front().text;
    EXPECT_EQ(ybox->currentIndex(), 0);
    EXPECT_TRUE(ya.GetLogarithmic());
    EXPECT_DOUBLE_EQ(ya.GetLoValue(), 50);
    EXPECT_DOUBLE_EQ(ya.GetHiValue(), 400);
    EXPECT_EQ(ya.GetAxisText(), doc.channel(0).axis.GetAxisText());
    // The plot draws F0 against itself.
    const QImage drawn = win->plot()->render_image(QSize(300, 300));
    EXPECT_GT(dark_pixels(drawn), 100);

    // Back to the voice: linear again, its own range.
    click_combo_item(ybox, 1);
    settle();
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_FALSE(ya.GetLogarithmic());
    EXPECT_DOUBLE_EQ(ya.GetLoValue(), doc.channel(1).axis.GetLoValue());
}
