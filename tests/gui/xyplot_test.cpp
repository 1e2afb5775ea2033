// The xy-plot window: channel lists that keep their choices, axes taken
// from the channels' value axes, the plot drawing exactly what the engine's
// pixel grid holds, and an empty plot for channels of different rates.
#include <QApplication>
#include <QComboBox>
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tchannel.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/plots/txyplotwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

int dark_pixels(const QImage& img) {
    int n = 0;
    // Inside the plot, away from the axes and their texts.
    for (int y = 5; y < img.height() - 40; ++y)
        for (int x = 60; x < img.width() - 10; ++x) n += qGray(img.pixel(x, y)) < 60;
    return n;
}

}  // namespace

TEST(XyPlotWindow, PlotsChannelsAndKeepsChoices) {
    auto* prompter = new tscriptedprompter;
    TMainWindow w{prompter};
    w.first_activation({});
    tdocument& doc = w.document();
    doc.set_totnchans(3);
    for (int c = 0; c < 3; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = c == 2 ? 2000 : 1000;
        ch.set_name("c" + std::to_string(c));
        ch.sig.resize(2000);
        for (size_t i = 0; i < ch.sig.size(); ++i)
            ch.sig[i] = static_cast<float>(0.5 * std::sin(i * 0.01 + c));
        ch.axis.set_hilovalues(1 - 0.25 * c, -1 + 0.25 * c);
        ch.axis.SetAxisText("v" + std::to_string(c));
    }
    doc.theglobal.channels_changed();
    doc.theglobal.set_selection(0, 2);
    auto* win = dynamic_cast<txyplotwindow*>(w.windows().window(twindowid::xyplot));
    ASSERT_NE(win, nullptr);
    w.windows().show(twindowid::xyplot);
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

// A long span is drawn in slices over several paints while events go on;
// once it is done the screen holds exactly the engine's grid, and a picture
// for export is drawn whole at once.
TEST(XyPlotWindow, LongSpanDrawnInSlicesEndsAsTheWholeGrid) {
    auto* prompter = new tscriptedprompter;
    TMainWindow w{prompter};
    w.first_activation({});
    tdocument& doc = w.document();
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 10000;
        ch.sig.resize(3000000);
        for (size_t i = 0; i < ch.sig.size(); ++i)
            ch.sig[i] = static_cast<float>(0.8 * std::sin(i * (c ? 0.00173 : 0.00111)) * std::cos(i * 1e-6));
        ch.axis.set_hilovalues(1, -1);
    }
    doc.theglobal.channels_changed();
    auto* win = dynamic_cast<txyplotwindow*>(w.windows().window(twindowid::xyplot));
    ASSERT_NE(win, nullptr);
    w.windows().show(twindowid::xyplot);
    win->set_span(txyspan::entire);
    win->set_channels(0, 1);
    win->resize(500, 400);
    for (int i = 0; i < 2000 && !win->drawing_done(); ++i) {
        win->plot()->canvas()->repaint();
        QApplication::processEvents();
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
