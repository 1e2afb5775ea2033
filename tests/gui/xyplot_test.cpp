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
