// The "Histograms/KDE" window: one box per ticked channel showing exactly
// the engine's bins and statistics, "Log stats" adding the engine's heading
// and line, refused field texts, and settings kept in a file.
#include <memory>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/core/tchannel.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/plots/thistwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// "flow" and "press": 97 Hz sines of amplitude 0.3 and 0.6, 2 s at 8 kHz.
struct thistfixture : twindowfixture<thistwindow> {
    thistfixture() {
        tdocument& doc = w.document();
        doc.set_totnchans(2);
        for (int c = 0; c < 2; ++c) {
            tchannel& ch = doc.channel(c);
            ch.set_name(c ? "press" : "flow");
            sine_channel(ch, 8000, 16000, 0.3 + 0.3 * c, 97);
        }
        doc.theglobal.channels_changed();
        doc.theglobal.set_selection(0, 2);
        open("histograms");
    }
};

}  // namespace

TEST(HistogramsWindow, ShowsTheEngineBinsAndLogsItsStats) {
    thistfixture f;
    ASSERT_NE(f.win, nullptr);
    ASSERT_NE(f.win->panel_of(0), nullptr);
    ASSERT_NE(f.win->panel_of(1), nullptr);
    thiststate s = f.win->state();
    s.kernel = tkernel::hanning;
    s.winwidth = 20;
    s.percentiles[0] = true;
    f.win->set_state(s);
    const tchannel& ch = f.w.document().channel(1);
    const TAxis& x = f.win->panel_of(1)->xaxis()->axis();
    const auto expect = smooth_bins(
        value_histogram(ch, 0, 2, x.GetLoValue(), x.GetHiValue(), 1000, tbinning::pairs),
        tkernel::hanning, 20);
    EXPECT_EQ(f.win->bins_of(1), expect);
    const thiststats st = f.win->stats_of(1);
    EXPECT_NEAR(st.percentiles[3], -0.6 * std::cos(std::numbers::pi / 4), 0.02);

    f.win->logstatsExecute();
    const auto& lines = f.w.context().measurements.datalog.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].substr(0, 35), "Channel\tFrom [s]\tTo [s]\tBin width [");
    EXPECT_NE(lines.back().find("press"), std::string::npos);

    // Unchecking a channel drops its box.
    f.win->set_channel_checked(0, false);
    EXPECT_EQ(f.win->panel_of(0), nullptr);
    if (const char* out = std::getenv("TESSAL_HIST_SHOT")) {
        f.win->set_channel_checked(0, true);
        f.win->resize(900, 600);
        settle();
        f.win->grab().save(out);
    }
}

TEST(HistogramsWindow, FieldsBelowTwoBecomeTwoAndSettingsPersist) {
    thistfixture f;
    auto* nbins = f.win->findChild<QLineEdit*>("nbinsedit");
    nbins->setText("1");
    emit nbins->editingFinished();
    EXPECT_EQ(f.win->state().nbins, 2);
    nbins->setText("abc");
    emit nbins->editingFinished();
    EXPECT_EQ(f.win->state().nbins, 2);

    QTemporaryDir dir;
    const QString path = dir.filePath("h.ini");
    thiststate s = f.win->state();
    s.nbins = 321;
    s.kernel = tkernel::parabolic;
    s.method = tbinning::two_nearest;
    s.percentiles = {true, false, false, false, true, false, false, false, true};
    s.autoscale = true;
    f.win->set_state(s);
    f.win->save_settings_to(path);
    f.win->set_state(thiststate{});
    f.win->load_settings_from(path);
    EXPECT_EQ(f.win->state().nbins, 321);
    EXPECT_EQ(f.win->state().kernel, tkernel::parabolic);
    EXPECT_EQ(f.win->state().method, tbinning::two_nearest);
    EXPECT_EQ(f.win->state().percentiles, s.percentiles);
    EXPECT_TRUE(f.win->state().autoscale);
}
