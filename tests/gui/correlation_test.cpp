// The correlation window: the curve of a 100 Hz sine at the time cursor is
// the engine's, peaking at 10 ms; snap to peak puts the shared frequency
// cursor at 100 Hz with r = 1 and the exact status texts; the curve follows
// the time cursor and the window length; "Log cursor" writes the engine's
// line; settings are kept in a file. The curves are computed on the
// window's job line: a newer time cursor supersedes a running request (only
// the newer curve is ever drawn), closing the window cancels it and leaves
// the last curves and the document as they were, the window's event loop
// keeps running meanwhile, and "Window length [ms]" refuses more than its
// limit with the field's message.
#include <memory>
#include <vector>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "engine/analysis/correlation.h"
#include "engine/core/tchannel.h"
#include "engine/dsp/notes.h"
#include "gui/correlation/tcorrelationwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/widgets/taxislimitform.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Lets the window's event loop run until its computation is handed back.
void settle_curves(tcorrelationwindow* win) {
    for (int i = 0; i < 600000 && win->computing(); ++i) QTest::qWait(1);
    settle();
}

// The curve of channel `chno` for the window's present settings, once its
// computation is handed back.
const std::vector<double>& curve(tcorrelationwindow* win, int chno) {
    win->correlation_of(chno);
    settle_curves(win);
    EXPECT_TRUE(win->curve_current(chno));
    return win->correlation_of(chno);
}

// A 100 Hz sine for the first second, then silence, 2 s at 8 kHz.
struct tfixture : twindowfixture<tcorrelationwindow> {
    tfixture() {
        tdocument& doc = w.document();
        doc.set_totnchans(1);
        tchannel& ch = doc.channel(0);
        sine_channel(ch, 8000, 16000, 0.5, 100);
        const std::vector<float> silence(static_cast<std::size_t>(ch.sample_count() - 8000), 0.0f);
        ch.write_samples(8000, silence.data(), silence.size());
        ch.set_fsd(1);
        doc.theglobal.channels_changed();
        doc.theglobal.set_timecursor(0.25);
        open("correlation");
        settle_curves(win);
    }
};

}  // namespace

TEST(CorrelationWindow, SineCurveSnapAndStatus) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    const std::vector<double>& r = curve(f.win, 0);
    ASSERT_EQ(r.size(), 320u);  // 40 ms at 8 kHz
    EXPECT_EQ(r, correlation_at(sample_view(f.doc().channel(0)), 0.05, 0.25, 40));
    EXPECT_NEAR(r[80], 1, 1e-6);
    // Snap to peak from 9 ms: 100 Hz, r = 1.
    f.win->set_snap_mode(2);
    TAxis& x = f.win->plot()->xaxis()->axis();
    f.win->cursor_at(x.value_to_pixel(9.0), 10);
    EXPECT_NEAR(f.doc().theglobal.freqcursor(), 100, 0.01);
    EXPECT_NEAR(f.win->correlation_cursor(), 1, 1e-6);
    EXPECT_NEAR(f.win->period_cursor(), 0.01, 1e-6);
    EXPECT_EQ(f.win->status()->text(2), "Snap to peaks of channel 0");
    EXPECT_TRUE(f.win->status()->text(0).startsWith("T=10 ms, f=100 Hz ("));
    // Don't snap: the frequency cursor is 1 / lag under the mouse.
    f.win->set_snap_mode(0);
    f.win->cursor_at(x.value_to_pixel(20.0), 10);
    EXPECT_NEAR(1 / f.doc().theglobal.freqcursor(), x.pixel_to_value(x.value_to_pixel(20.0)) / 1000, 1e-12);
    EXPECT_EQ(f.win->status()->text(2), "");
    // In the silent second half the curve is 0 everywhere.
    f.doc().theglobal.set_timecursor(1.5);
    for (double v : curve(f.win, 0)) EXPECT_EQ(v, 0);
    // A shorter window gives a curve over the same lags from fewer samples.
    f.doc().theglobal.set_timecursor(0.25);
    f.win->set_winlength(0.02);
    EXPECT_EQ(curve(f.win, 0), correlation_at(sample_view(f.doc().channel(0)), 0.02, 0.25, 40));
}

TEST(CorrelationWindow, LogCursorAndSettings) {
    tfixture f;
    f.win->set_snap_mode(2);
    f.win->cursor_at(f.win->plot()->xaxis()->axis().value_to_pixel(9.0), 10);
    f.win->logcursoractionExecute();
    const auto& lines = f.w.context().measurements.datalog.lines();
    ASSERT_GE(lines.size(), 2u);
    const tcorrlog l = correlation_cursor_log(0.25, f.win->period_cursor(), f.win->correlation_cursor(),
                                              f.doc().prefs);
    EXPECT_EQ(lines[lines.size() - 2], l.heading);
    EXPECT_EQ(lines.back(), l.line);
    f.win->set_winlength(0.03);
    QTemporaryDir dir;
    const QString path = dir.filePath("corr.ini");
    f.win->save_settings_to(path);
    tfixture g;
    g.win->load_settings_from(path);
    EXPECT_DOUBLE_EQ(g.win->winlength(), 0.03);
    EXPECT_EQ(g.win->snap_mode(), 2);
}

TEST(CorrelationWindow, AxesOpenTheLimitsDialogUpToALogarithmicLagAxis) {
    tfixture f;
    // The lag axis 1..30 ms on a logarithmic scale: the curve is computed
    // again up to 30 ms (240 lags at 8 kHz).
    ASSERT_TRUE(set_limits_by_dialog(f.win->plot()->xaxis(), "1", "30", true));
    TAxis& x = f.win->plot()->xaxis()->axis();
    EXPECT_TRUE(x.GetLogarithmic());
    EXPECT_DOUBLE_EQ(x.GetLoValue(), 1);
    EXPECT_DOUBLE_EQ(x.GetHiValue(), 30);
    EXPECT_EQ(curve(f.win, 0).size(), 240u);
    // The value axis has its dialog too.
    ASSERT_TRUE(set_limits_by_dialog(f.win->plot()->yaxis(), "-0.5", "1", false));
    EXPECT_DOUBLE_EQ(f.win->plot()->yaxis()->axis().GetLoValue(), -0.5);
    EXPECT_DOUBLE_EQ(f.win->plot()->yaxis()->axis().GetHiValue(), 1);
}

namespace {

// 30 s at 48 kHz: a 100 Hz sine for 15 s, then 150 Hz. At a lag of 10 ms
// the first half correlates with r = 1 (a whole period), the second with
// r = -1 (one and a half periods); at 20 ms both give 1.
struct tlongfixture : twindowfixture<tcorrelationwindow> {
    tlongfixture() {
        tdocument& doc = w.document();
        doc.set_totnchans(1);
        tchannel& ch = doc.channel(0);
        const double fs = 48000;
        tsinglearr s(static_cast<std::size_t>(30 * fs));
        for (std::size_t i = 0; i < s.size(); ++i) {
            const double t = double(i) / fs;
            const double f = t < 15 ? 100 : 150;
            s[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * f * t));
        }
        ch.sampfreq = fs;
        ch.set_samples(std::move(s));
        ch.set_fsd(1);
        doc.theglobal.channels_changed();
        doc.theglobal.set_timecursor(1);
        open("correlation");
        settle_curves(win);
    }
    // Types `text` into "Window length [ms]" and presses Return.
    void type_length(const QString& text) {
        auto* e = win->findChild<QLineEdit*>("windowlengthedit");
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
};

}  // namespace

TEST(CorrelationWindow, ANewerTimeCursorSupersedesTheRunningCurve) {
    tlongfixture f;
    EXPECT_NEAR(f.win->correlation_of(0).at(80 * 6), 1, 1e-3);  // 10 ms at t = 1 s
    // A second's window over 90 ms of lags (4320 lags of 48000 products;
    // the axis ends at 4410 lags) takes a while: the window's loop keeps running, its timers tick.
    int ticks = 0;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    f.type_length("1000");
    EXPECT_DOUBLE_EQ(f.win->winlength(), 1.0);
    f.win->plot()->xaxis()->axis().set_hilovalues(90, 0);
    EXPECT_TRUE(f.win->computing());
    // The older curve is drawn meanwhile.
    EXPECT_EQ(f.win->correlation_of(0).size(), 1920u);
    // The time cursor moves into the 150 Hz half while that runs: only the
    // newer request's curve is ever handed back.
    f.doc().theglobal.set_timecursor(20);
    settle_curves(f.win);
    EXPECT_GT(ticks, 0);
    ASSERT_TRUE(f.win->curve_current(0));
    const std::vector<double> newer = f.win->correlation_of(0);
    ASSERT_EQ(newer.size(), 4320u);
    EXPECT_NEAR(newer[480], -1, 1e-3);
    EXPECT_NEAR(newer[960], 1, 1e-3);
    EXPECT_EQ(newer, correlation_at(sample_view(f.doc().channel(0)), 1.0, 20, 90));
    // The other order: a long request, then a short one that finishes
    // first; the long one, superseded, never paints over it.
    f.doc().theglobal.set_timecursor(2);
    EXPECT_TRUE(f.win->computing());
    f.win->plot()->xaxis()->axis().set_hilovalues(40, 0);
    settle_curves(f.win);
    QTest::qWait(50);
    settle();
    const std::vector<double>& shorter = f.win->correlation_of(0);
    ASSERT_EQ(shorter.size(), 1920u);
    EXPECT_TRUE(f.win->curve_current(0));
    EXPECT_NEAR(shorter[480], 1, 1e-3);  // t = 2 s: 100 Hz
    EXPECT_EQ(shorter, correlation_at(sample_view(f.doc().channel(0)), 1.0, 2, 40));
}

TEST(CorrelationWindow, ClosingCancelsAndKeepsTheLastCurveAndTheDocument) {
    tlongfixture f;
    const std::vector<double> before = f.win->correlation_of(0);
    const bool modified = f.doc().modified();
    f.type_length("1000");
    f.win->plot()->xaxis()->axis().set_hilovalues(90, 0);
    ASSERT_TRUE(f.win->computing());
    f.win->close();
    EXPECT_FALSE(f.win->computing());
    QTest::qWait(50);
    settle();
    EXPECT_EQ(f.win->correlation_of(0), before);
    EXPECT_EQ(f.doc().modified(), modified);
    EXPECT_EQ(f.doc().channel(0).sample_count(), 30 * 48000);
    EXPECT_EQ(f.doc().totnchans(), 1);
}

TEST(CorrelationWindow, WindowLengthRefusesMoreThanItsLimit) {
    tlongfixture f;
    f.type_length("5000");
    ASSERT_FALSE(f.prompter->asked.empty());
    EXPECT_EQ(f.prompter->asked.back().text, "Window length must be a number from 0.01 to 1000 ms.");
    EXPECT_EQ(f.prompter->asked.back().caption, "Correlation");
    EXPECT_DOUBLE_EQ(f.win->winlength(), 0.05);
    EXPECT_EQ(f.win->findChild<QLineEdit*>("windowlengthedit")->text(), "50");
    EXPECT_FALSE(f.win->computing());
    // Within it, the curve follows.
    const std::size_t asked = f.prompter->asked.size();
    f.type_length("20");
    EXPECT_EQ(f.prompter->asked.size(), asked);
    EXPECT_DOUBLE_EQ(f.win->winlength(), 0.02);
    EXPECT_EQ(curve(f.win, 0), correlation_at(sample_view(f.doc().channel(0)), 0.02, 1, 40));
}

TEST(CorrelationWindow, Picture) {
    tlongfixture f;
    f.win->resize(720, 480);
    settle();
    const char* dir = std::getenv("TESSAL_TEST_PICTURES");
    if (!dir) GTEST_SKIP() << "set TESSAL_TEST_PICTURES to a folder to look at the window";
    f.type_length("1000");
    f.win->plot()->xaxis()->axis().set_hilovalues(90, 0);
    f.doc().theglobal.set_timecursor(20);
    QTest::qWait(30);
    f.win->grab().save(QString(dir) + "/correlation_running.png");
    f.w.grab().save(QString(dir) + "/correlation_running_main.png");
    settle_curves(f.win);
    f.win->grab().save(QString(dir) + "/correlation_done.png");
}
