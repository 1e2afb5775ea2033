// The spectrogram window: one strip per channel over the main window's
// time range, levels equal to the engine's for the strip's own rows and
// columns, recomputation only after the update countdown (and never while
// frozen), colour changes that rebuild pictures without recomputing,
// harmonic cursors and the crosshair drawn where the axes put them, a long
// strip computed on a worker that a newer request cancels, "Log cursor"
// with the engine's line, and settings kept in a file.
#include <memory>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <numbers>

#include "engine/core/tchannel.h"
#include "engine/dsp/notes.h"
#include "gui/context/appcontext.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/spectrogram/tcorrelogramwindow.h"
#include "gui/spectrogram/tspectrogramwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

struct tfixture : twindowfixture<tspectrogramwindow> {
    explicit tfixture(double seconds = 1.0) {
        tone_channels(w.document(), seconds, 16000, 1000);
        open("spectrogram", {900, 600});
        win->wait_for_workers();
        settle();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) win->tick();
        win->wait_for_workers();
        settle();
    }
};

}  // namespace

TEST(SpectrogramWindow, StripsShowTheEnginesLevelsOverTheMainRange) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    ASSERT_EQ(f.win->strip_count(), 2);
    EXPECT_EQ(f.win->time_axis().GetLoValue(), f.doc().xaxis.GetLoValue());
    EXPECT_EQ(f.win->time_axis().GetHiValue(), f.doc().xaxis.GetHiValue());
    for (int c = 0; c < 2; ++c) {
        const tspectrogramstrip& s = f.win->levels(c);
        ASSERT_GT(s.width, 100);
        ASSERT_GT(s.height, 50);
        const std::vector<double>& rows = f.win->row_freqs(c);
        // The ridge of channel c lies at its tone, (c + 1) kHz, within a bin
        // (fs / 128 = 125 Hz at 300 Hz bandwidth).
        for (int x = s.width / 4; x < 3 * s.width / 4; x += 17)
            EXPECT_LE(std::fabs(rows[static_cast<std::size_t>(s.peak_row(x))] - 1000.0 * (c + 1)), 125);
        // and equals the engine's column at the same time and rows.
        const double t = f.win->time_axis().GetLoValue() +
                         s.width / 2 * (f.win->time_axis().GetHiValue() - f.win->time_axis().GetLoValue()) /
                             (s.width - 1);
        tspectrogramworkspace ws;
        std::vector<float> col(rows.size());
        ws.column(sample_view(f.doc().channel(c)), f.win->state().fft, t, rows.data(),
                  static_cast<int>(rows.size()), col.data());
        for (int y = 0; y < s.height; y += 7) EXPECT_EQ(s.at(s.width / 2, y), col[static_cast<std::size_t>(y)]);
        EXPECT_FALSE(f.win->picture(c).isNull());
    }
}

TEST(SpectrogramWindow, DeferredUpdatesFreezeAndColourChanges) {
    tfixture f;
    // Only the test's own ticks count here: the window's 200 ms timer would
    // add ticks of its own on a slow machine.
    for (QTimer* t : f.win->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        if (t->interval() == 200) t->stop();
    // A countdown the opening resize started (and that timer may already
    // have shortened) runs out first, so the one below starts at its top.
    while (f.win->update_pending()) f.ticks(1);
    const int before = f.win->computations();
    // A change of bandwidth waits for the countdown.
    tspectrogramstate s = f.win->state();
    s.fft.bw = 100;
    f.win->set_state(s);
    EXPECT_TRUE(f.win->update_pending());
    EXPECT_EQ(f.win->computations(), before);
    f.ticks(4);
    EXPECT_EQ(f.win->computations(), before);
    f.ticks(1);
    EXPECT_EQ(f.win->computations(), before + 2);  // both strips
    // Frozen: the main window's range moves, nothing is computed, the
    // time axis stays; unfreezing follows the range.
    f.win->set_frozen(true);
    const double oldhi = f.win->time_axis().GetHiValue();
    f.doc().xaxis.set_hilovalues(0.5, 0.25);
    f.doc().theglobal.invalidate_paintboxes(true);
    f.ticks(6);
    EXPECT_EQ(f.win->computations(), before + 2);
    EXPECT_EQ(f.win->time_axis().GetHiValue(), oldhi);
    f.win->set_frozen(false);
    f.win->wait_for_workers();
    EXPECT_EQ(f.win->time_axis().GetHiValue(), 0.5);
    EXPECT_EQ(f.win->computations(), before + 4);
    // The colour mode rebuilds pictures from the kept levels.
    const int comps = f.win->computations(), builds = f.win->picture_builds();
    const QImage grey = f.win->picture(0);
    s = f.win->state();
    s.colormode = 2;
    f.win->set_state(s);
    f.win->grab();  // paints
    f.ticks(5);
    f.win->grab();
    EXPECT_GT(f.win->picture_builds(), builds);
    EXPECT_NE(f.win->picture(0), grey);
    // set_state counts as a settings change of the levels too (the
    // bandwidth may have changed); the colour alone is what matters here:
    // the picture of the levels is the engine's.
    tspegpicture p;
    p.lo = s.levello;
    p.hi = s.levelhi;
    p.tilt = s.tilt;
    p.colormode = 2;
    std::vector<std::uint32_t> px;
    spectrogram_picture(f.win->levels(0), f.win->row_freqs(0), p, px);
    EXPECT_EQ(f.win->picture(0).pixel(5, 5), px[5 * static_cast<std::size_t>(f.win->levels(0).width) + 5]);
    (void)comps;
}

TEST(SpectrogramWindow, CrosshairHarmonicsAndLog) {
    tfixture f;
    tspectrogramstate s = f.win->state();
    s.harmonics = true;
    s.harmonicno = 2;
    s.showgrid = false;
    f.win->set_state(s);
    f.ticks(5);
    f.doc().theglobal.set_freqcursor(2000);  // harmonic 2: lines every 1000 Hz
    f.doc().theglobal.set_timecursor(0.5);
    settle();
    const QImage img = f.win->grab().toImage();
    // Find strip 0's canvas in the grab: the rows of the 1 kHz multiples
    // carry blue, the red line lies at 2 kHz.
    TAxis& fa = f.win->freq_axis(0);
    QWidget* canvas = f.win->findChild<QWidget*>("spegpaint0");
    ASSERT_NE(canvas, nullptr);
    const QPoint o = canvas->mapTo(f.win, QPoint(0, 0));
    auto colour_at_row = [&](double hz) -> QColor {
        const int y = fa.value_to_pixel(hz);
        return img.pixelColor(o.x() + 10, o.y() + y);
    };
    EXPECT_EQ(colour_at_row(2000), QColor(Qt::red));
    // Harmonic lines are dashed: blue along part of the row.
    auto blue_in_row = [&](double hz) {
        const int y = fa.value_to_pixel(hz);
        int n = 0;
        for (int x = 0; x < 60; ++x) {
            const QColor c = img.pixelColor(o.x() + x, o.y() + y);
            n += c.blue() == 255 && c.red() < 60 && c.green() < 60;
        }
        return n;
    };
    EXPECT_GT(blue_in_row(1000), 10);
    EXPECT_GT(blue_in_row(3000), 10);
    EXPECT_EQ(blue_in_row(1500), 0);
    EXPECT_EQ(f.win->status()->text(0),
              "f=2000 Hz (" + QString::fromStdString(freq_to_notename(2000, true)) + ")");
    // Log cursor: the engine's heading and line.
    f.win->logcursoractionExecute();
    const auto& lines = f.w.context().measurements.datalog.lines();
    ASSERT_GE(lines.size(), 2u);
    const tspeglog expect = spectrogram_cursor_log(0.5, 2000, f.doc().prefs);
    EXPECT_EQ(lines[lines.size() - 2], expect.heading);
    EXPECT_EQ(lines.back(), expect.line);
}

TEST(SpectrogramWindow, LongStripOnAWorkerAndNewerRequestsWin) {
    tfixture f(120.0);  // two minutes: the whole view is work for a worker
    for (QTimer* t : f.win->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        if (t->interval() == 200) t->stop();
    while (f.win->update_pending()) f.ticks(1);
    // On a slow machine the opening strips may have run past their time
    // budget and finished on a worker; only the runs below count.
    const int runs = f.win->worker_runs();
    tspectrogramstate s = f.win->state();
    s.fft.bw = 5;  // 400 ms frames: work for a worker
    f.win->set_state(s);
    for (int i = 0; i < 5; ++i) f.win->tick();  // starts the workers
    s.fft.bw = 6;
    f.win->set_state(s);
    for (int i = 0; i < 5; ++i) f.win->tick();  // supersedes them
    EXPECT_EQ(f.win->worker_runs(), runs + 4);
    f.win->wait_for_workers();
    settle();
    const tspectrogramstrip& l = f.win->levels(0);
    ASSERT_GT(l.width, 100);
    // The levels are the newer request's, bit for bit.
    const std::vector<double>& rows = f.win->row_freqs(0);
    tspectrogramworkspace ws;
    std::vector<float> col(rows.size());
    const TAxis& ta = f.win->time_axis();
    const double t = ta.GetLoValue() + 10 * (ta.GetHiValue() - ta.GetLoValue()) / (l.width - 1);
    ws.column(sample_view(f.doc().channel(0)), s.fft, t, rows.data(), static_cast<int>(rows.size()), col.data());
    for (int y = 0; y < l.height; y += 5) EXPECT_EQ(l.at(10, y), col[static_cast<std::size_t>(y)]);
}

TEST(SpectrogramWindow, SettingsPersist) {
    tfixture f;
    tspectrogramstate s = f.win->state();
    s.fft.bw = 45;
    s.fft.fftwin = TFFTWindow::Blackman;
    s.relative = 1;
    s.freqaxis = 1;
    s.tilt = 3;
    s.harmonics = true;
    s.harmonicno = 4;
    s.colormode = 3;
    s.showgrid = false;
    s.zoomselection = true;
    s.tandem = true;
    s.levello = -80;
    s.levelhi = -5;
    f.win->set_state(s);
    QTemporaryDir dir;
    const QString path = dir.filePath("spg.ini");
    f.win->save_settings_to(path);
    tfixture g;
    g.win->load_settings_from(path);
    const tspectrogramstate& r = g.win->state();
    EXPECT_EQ(r.fft, s.fft);
    EXPECT_EQ(r.relative, 1);
    EXPECT_EQ(r.freqaxis, 1);
    EXPECT_EQ(r.tilt, 3);
    EXPECT_TRUE(r.harmonics);
    EXPECT_EQ(r.harmonicno, 4);
    EXPECT_EQ(r.colormode, 3);
    EXPECT_FALSE(r.showgrid);
    EXPECT_TRUE(r.zoomselection);
    EXPECT_TRUE(r.tandem);
    EXPECT_EQ(r.levello, -80);
    EXPECT_EQ(r.levelhi, -5);
    EXPECT_TRUE(g.win->freq_axis(0).GetLogarithmic());
}

TEST(AnalysisWindows, EscHidesTheCrosshairsOfSpectrogramAndCorrelogram) {
    tfixture f;
    auto* corr = dynamic_cast<tcorrelogramwindow*>(f.w.windows().window("correlogram"));
    ASSERT_NE(corr, nullptr);
    corr->resize(900, 600);
    f.w.windows().show("correlogram");
    settle();
    corr->wait_for_workers();
    // A drag on each window's first strip shows its crosshair: a red line
    // across the strip at the frequency cursor.
    auto drag = [](tstripwindow* win, double f) {
        QWidget* c = win->findChild<QWidget*>("spegpaint0");
        const int y = win->freq_axis(0).value_to_pixel(f);
        QTest::mousePress(c, Qt::LeftButton, {}, QPoint(100, y));
        QTest::mouseMove(c, QPoint(150, y));
        QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(150, y));
        return y;
    };
    auto red_row = [](tstripwindow* win, int y) {
        const QImage img = win->findChild<QWidget*>("spegpaint0")->grab().toImage();
        return red_in_row(img, y) * 10 / img.width();  // tenths of the width
    };
    const int ys = drag(f.win, 500);  // inside both windows' axes
    const int yc = corr->freq_axis(0).value_to_pixel(f.doc().theglobal.freqcursor());
    EXPECT_GE(red_row(f.win, f.win->freq_axis(0).value_to_pixel(f.doc().theglobal.freqcursor())), 9);
    EXPECT_GE(red_row(corr, yc), 9);
    // Esc in the main window: "Hide crosshairs".
    f.w.show();
    f.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.w));
    QTest::keyClick(&f.w, Qt::Key_Escape);
    settle();
    EXPECT_LE(red_row(f.win, ys), 1);
    EXPECT_LE(red_row(corr, yc), 1);
    // A new cursor shows them again.
    drag(f.win, 500);
    EXPECT_GE(red_row(f.win, ys), 9);
}

// Typed settings start the strips' jobs off the window's thread: the event
// loop keeps turning while they run, the status shows "Calculating
// spectrogram for channel N - x %", and when a newer request supersedes
// them only its levels are taken.
TEST(SpectrogramWindow, StripJobsRunOffTheWindowsThreadAndTheNewestWins) {
    tfixture f(120.0);
    auto* bw = f.win->findChild<QLineEdit*>("bandwidthedit");
    QComboBox* window = nullptr;
    for (QComboBox* c : f.win->findChildren<QComboBox*>())
        if (c->count() == 5 && c->itemText(4) == "Blackman") window = c;
    ASSERT_NE(bw, nullptr);
    ASSERT_NE(window, nullptr);
    // Below its range the field keeps the old bandwidth and says why.
    type_into(bw, "5");
    EXPECT_EQ(f.win->state().fft.bw, 300);
    auto* problem = f.win->findChild<QLabel*>("bandwidthproblem");
    ASSERT_NE(problem, nullptr);
    EXPECT_EQ(problem->text(), "Bandwidth must be a number from 10 to 10000 Hz.");
    EXPECT_FALSE(problem->isHidden());

    // Blackman at 10 Hz: 400 ms frames, work for the job lines.
    for (QTimer* t : f.win->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        if (t->interval() == 200) t->stop();
    window->setCurrentIndex(3);
    QTest::keyClick(window, Qt::Key_Down);  // "Blackman", as the user picks it
    ASSERT_EQ(f.win->state().fft.fftwin, TFFTWindow::Blackman);
    type_into(bw, "10");
    EXPECT_TRUE(problem->isHidden());
    EXPECT_EQ(f.win->state().fft.bw, 10);
    const int runs = f.win->worker_runs();
    for (int i = 0; i < 5; ++i) f.win->tick();
    ASSERT_EQ(f.win->worker_runs(), runs + 2);
    ASSERT_TRUE(f.win->strip_busy(0));
    // A newer request before the older is handed back: the older is never taken.
    type_into(bw, "12");
    for (int i = 0; i < 5; ++i) f.win->tick();
    ASSERT_EQ(f.win->worker_runs(), runs + 4);
    int ticks = 0, busyticks = 0;
    bool sawprogress = false;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        if (f.win->strip_busy(0) || f.win->strip_busy(1)) ++busyticks;
        f.win->tick();  // the window's own 200 ms timer shows the progress there
        if (f.win->status()->text(2).startsWith("Calculating spectrogram for channel ") &&
            f.win->status()->text(2).endsWith(" %"))
            sawprogress = true;
    });
    ticker.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!f.win->strip_busy(0) && !f.win->strip_busy(1)) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    ticker.stop();
    ASSERT_FALSE(f.win->strip_busy(0));
    EXPECT_GT(busyticks, 0);  // the window's thread kept turning while they ran
    EXPECT_TRUE(sawprogress);
    settle();
    EXPECT_EQ(f.win->status()->text(2), "Done ");
    const tspectrogramstate s = f.win->state();
    EXPECT_EQ(s.fft.bw, 12);
    EXPECT_EQ(s.fft.fftwin, TFFTWindow::Blackman);
    for (int c = 0; c < 2; ++c) {
        const tspectrogramstrip& l = f.win->levels(c);
        ASSERT_GT(l.width, 100);
        const std::vector<double>& rows = f.win->row_freqs(c);
        tspectrogramworkspace ws;
        std::vector<float> col(rows.size());
        const TAxis& ta = f.win->time_axis();
        for (int x : {10, l.width / 2, l.width - 3}) {
            const double t = ta.GetLoValue() + x * (ta.GetHiValue() - ta.GetLoValue()) / (l.width - 1);
            ws.column(sample_view(f.doc().channel(c)), s.fft, t, rows.data(), static_cast<int>(rows.size()),
                      col.data());
            for (int y = 0; y < l.height; y += 5) ASSERT_EQ(l.at(x, y), col[static_cast<std::size_t>(y)]) << c << " " << x;
        }
    }
}

// A window that goes while its strips compute cancels them and waits for
// its jobs: nothing arrives afterwards and the document is as it was.
TEST(SpectrogramWindow, AWindowGoingWhileComputingLeavesTheDocumentAlone) {
    tfixture f(120.0);
    const tsinglearr before = f.doc().channel(0).samples_array();
    auto own = std::make_unique<tspectrogramwindow>(f.w.context(), &f.w);
    own->resize(900, 600);
    own->show();
    settle();
    own->wait_for_workers();
    tspectrogramstate s = own->state();
    s.fft.bw = 10;
    s.fft.fftwin = TFFTWindow::Blackman;
    own->set_state(s);
    for (int i = 0; i < 5; ++i) own->tick();
    ASSERT_TRUE(own->strip_busy(0));
    own.reset();
    for (int i = 0; i < 30; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(f.doc().channel(0).samples_array(), before);
    EXPECT_EQ(f.doc().totnchans(), 2);
}

// A picture of the window while its strips compute and after (for looking
// at by hand: set TESSAL_TEST_SHOTS to a folder).
TEST(SpectrogramWindow, PictureWhileStripsCompute) {
    const QByteArray shots = qgetenv("TESSAL_TEST_SHOTS");
    if (shots.isEmpty()) GTEST_SKIP() << "set TESSAL_TEST_SHOTS to a folder to get the pictures";
    tfixture f(120.0);
    tspectrogramstate s = f.win->state();
    s.fft.bw = 10;
    s.fft.fftwin = TFFTWindow::Blackman;
    f.win->set_state(s);
    for (int i = 0; i < 5; ++i) f.win->tick();
    for (int i = 0; i < 8; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    f.win->tick();
    f.win->grab().save(QString::fromUtf8(shots) + "/spectrogram_running.png");
    f.win->wait_for_workers();
    settle();
    f.win->grab().save(QString::fromUtf8(shots) + "/spectrogram_done.png");
}

// A strip small enough to compute at once, asked for while a large request
// still runs on the pool: the large one is cancelled and never replaces it.
TEST(SpectrogramWindow, AnImmediateStripIsNotReplacedByAnOlderRunStillGoing) {
    tfixture f(120.0);
    auto* bw = f.win->findChild<QLineEdit*>("bandwidthedit");
    ASSERT_NE(bw, nullptr);
    for (QTimer* t : f.win->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        if (t->interval() == 200) t->stop();
    for (QComboBox* c : f.win->findChildren<QComboBox*>())
        if (c->count() == 5 && c->itemText(4) == "Blackman") {
            c->setCurrentIndex(3);
            QTest::keyClick(c, Qt::Key_Down);
        }
    ASSERT_EQ(f.win->state().fft.fftwin, TFFTWindow::Blackman);
    type_into(bw, "10");  // 400 ms frames over two minutes: work for the pool
    for (int i = 0; i < 5; ++i) f.win->tick();
    ASSERT_TRUE(f.win->strip_busy(0));
    type_into(bw, "2000");  // 0.5 ms frames: computed here and now
    for (int i = 0; i < 5; ++i) f.win->tick();
    EXPECT_FALSE(f.win->strip_busy(0));
    const tspectrogramstrip now = f.win->levels(0);
    QTest::qWait(3000);  // time for the large job to have finished, had it gone on
    EXPECT_EQ(f.win->state().fft.bw, 2000);
    const tspectrogramstrip& later = f.win->levels(0);
    ASSERT_EQ(later.width, now.width);
    ASSERT_EQ(later.height, now.height);
    EXPECT_TRUE(later.levels == now.levels);
}
