// The "Histograms/KDE" window: one box per ticked channel showing exactly
// the engine's bins and statistics, "Log stats" adding the engine's heading
// and line, refused field texts, and settings kept in a file; the bins
// computed off the window's thread, a newer request winning over an older
// one, "Cancel" leaving everything as it was, and the event loop running
// while a long selection is counted.
#include <memory>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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

// Until the window's bins are computed (false when that takes too long).
bool wait_bins(thistwindow* win) {
    win->update_bins();
    for (int i = 0; i < 12000 && win->computing(); ++i) QTest::qWait(5);
    QApplication::processEvents();
    return !win->computing();
}

std::vector<double> engine_bins(const tchannel& ch, double L, double R, const TAxis& x, int nbins,
                                tbinning method = tbinning::pairs) {
    return value_histogram(ch, L, R, x.GetLoValue(), x.GetHiValue(), nbins, method);
}

// Two 1 kHz sines of 1 M samples at 48 kHz (about 21 s): with 100000 bins
// the pairs spread over thousands of bins each, which takes a while.
struct tlonghistfixture : twindowfixture<thistwindow> {
    tlonghistfixture() {
        tdocument& doc = w.document();
        doc.set_totnchans(2);
        for (int c = 0; c < 2; ++c) {
            tchannel& ch = doc.channel(c);
            ch.set_name(c ? "b" : "a");
            sine_channel(ch, 48000, 1000000, 0.5, 1000 + 10 * c);
        }
        doc.theglobal.channels_changed();
        doc.theglobal.set_selection(0, 1000000 / 48000.0);
        open("histograms");
    }
    void set_nbins(int n) {
        thiststate s = win->state();
        s.nbins = n;
        win->set_state(s);
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
    ASSERT_TRUE(wait_bins(f.win));
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
        wait_bins(f.win);
        settle();
        f.win->grab().save(out);
    }
}

// A slow request superseded by a quick one: the quick one's bins are
// shown and stay, the slow one never paints over them.
TEST(HistogramsWindow, NewerRequestWinsOverOlder) {
    tlonghistfixture f;
    ASSERT_TRUE(wait_bins(f.win));
    f.set_nbins(100000);
    f.win->update_bins();
    EXPECT_TRUE(f.win->computing());
    // The selection changes while the slow one runs, and the bins go back to 500.
    tdocument& doc = f.w.document();
    doc.theglobal.set_selection(1, 3);
    f.set_nbins(500);
    ASSERT_TRUE(wait_bins(f.win));
    QTest::qWait(200);  // time for a stray older result to arrive
    for (int c = 0; c < 2; ++c) {
        const auto expect = engine_bins(doc.channel(c), 1, 3, f.win->panel_of(c)->xaxis()->axis(), 500);
        EXPECT_EQ(f.win->bins_of(c), expect) << c;
    }
    // The other order: a quick request, then one for another selection.
    doc.theglobal.set_selection(2, 4);
    f.win->update_bins();
    doc.theglobal.set_selection(0.5, 1.5);
    ASSERT_TRUE(wait_bins(f.win));
    QTest::qWait(50);
    EXPECT_EQ(f.win->bins_of(0), engine_bins(doc.channel(0), 0.5, 1.5, f.win->panel_of(0)->xaxis()->axis(), 500));
}

// A change of the time axis only changes the view; a change of the value
// axis counts again, and the old bins are shown meanwhile.
TEST(HistogramsWindow, ValueAxisCountsAgainTimeAxisDoesNot) {
    thistfixture f;
    ASSERT_TRUE(wait_bins(f.win));
    const std::vector<double> before = f.win->bins_of(1);
    TPlotPanel* panel = f.win->panel_of(1);
    panel->yaxis()->axis().set_hilovalues(0.01, 0);
    panel->canvas()->repaint();
    EXPECT_FALSE(f.win->computing());
    EXPECT_EQ(f.win->bins_of(1), before);
    TAxis& x = panel->xaxis()->axis();
    x.set_hilovalues(0.3, -0.3);
    panel->canvas()->repaint();
    EXPECT_EQ(f.win->bins_of(1), before);  // the last finished, until the new ones come
    ASSERT_TRUE(wait_bins(f.win));
    EXPECT_EQ(f.win->bins_of(1), engine_bins(f.w.document().channel(1), 0, 2, x, 1000));
}

// "Log stats" on a slow computation shows a progress dialog; its "Cancel"
// leaves the log, the bins and the document as they were.
TEST(HistogramsWindow, LogStatsCancelLeavesEverything) {
    tlonghistfixture f;
    ASSERT_TRUE(wait_bins(f.win));
    const std::vector<double> before = f.win->bins_of(0);
    const std::size_t loglines = f.w.context().measurements.datalog.lines().size();
    f.set_nbins(100000);
    tessal::testing::tprogresscanceller canceller("Calculating histogram", {}, 20);
    f.win->findChild<QAction*>("logstatsaction")->trigger();
    EXPECT_TRUE(canceller.clicked());
    EXPECT_FALSE(f.win->computing());
    EXPECT_EQ(f.w.context().measurements.datalog.lines().size(), loglines);
    QTest::qWait(100);
    EXPECT_EQ(f.win->bins_of(0), before);
    EXPECT_FALSE(f.win->computing());  // not started again unasked
    EXPECT_EQ(f.w.document().channel(0).sample_count(), 1000000);
    // Without cancelling, it waits and logs.
    f.set_nbins(1000);
    f.win->findChild<QAction*>("logstatsaction")->trigger();
    EXPECT_GT(f.w.context().measurements.datalog.lines().size(), loglines);
}

// While a long selection is counted the window's thread goes on: a timer
// keeps ticking and the boxes keep painting the last bins.
TEST(HistogramsWindow, EventLoopRunsWhileCounting) {
    tlonghistfixture f;
    ASSERT_TRUE(wait_bins(f.win));
    int ticks = 0, tickswhilebusy = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (f.win->computing()) ++tickswhilebusy;
    });
    timer.start(10);
    f.set_nbins(100000);
    f.win->update_bins();
    for (int i = 0; i < 2000 && tickswhilebusy < 5 && f.win->computing(); ++i) QTest::qWait(5);
    EXPECT_GE(tickswhilebusy, 5);
    const QImage shot = f.win->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    if (const char* dir = std::getenv("TESSAL_HIST_SHOT_DIR")) shot.save(QString(dir) + "/hist_busy.png");
    // Closing the window cancels; the document stays.
    f.win->close();
    QTest::qWait(50);
    EXPECT_EQ(f.w.document().channel(1).sample_count(), 1000000);
}

// "n bins" and "Kernel width [bins]" refuse more than their bound with a
// message naming it, typed as a user types.
TEST(HistogramsWindow, BinFieldsHaveUpperBounds) {
    thistfixture f;
    auto* nbins = f.win->findChild<QLineEdit*>("nbinsedit");
    auto* problem = f.win->findChild<QLabel*>("binsproblem");
    ASSERT_NE(problem, nullptr);
    nbins->setFocus();
    nbins->selectAll();
    QTest::keyClicks(nbins, "100001");
    QTest::keyClick(nbins, Qt::Key_Return);
    EXPECT_EQ(f.win->state().nbins, 1000);
    EXPECT_EQ(problem->text(), "n bins must be a number from 2 to 100000");
    EXPECT_FALSE(problem->isHidden());
    nbins->selectAll();
    QTest::keyClicks(nbins, "100000");
    QTest::keyClick(nbins, Qt::Key_Return);
    EXPECT_EQ(f.win->state().nbins, 100000);
    EXPECT_TRUE(problem->isHidden());

    thiststate s = f.win->state();
    s.kernel = tkernel::triangle;
    s.nbins = 1000;
    f.win->set_state(s);
    auto* width = f.win->findChild<QLineEdit*>("winwidthedit");
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, "99999999999");
    QTest::keyClick(width, Qt::Key_Return);
    EXPECT_EQ(f.win->state().winwidth, 10);
    EXPECT_EQ(problem->text(), "Kernel width [bins] must be a number from 2 to 10000");
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
