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
#include "gui/spectrogram/tspectrogramwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

void tone_channels(tdocument& doc, double seconds, double fs, double f0) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = fs;
        ch.set_name(c ? "b" : "a");
        ch.sig.resize(static_cast<std::size_t>(seconds * fs));
        for (std::size_t i = 0; i < ch.sig.size(); ++i)
            ch.sig[i] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * f0 * (c + 1) * i / fs));
        ch.set_fsd(1);
    }
    doc.theglobal.channels_changed();
}

struct tfixture {
    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    tspectrogramwindow* win = nullptr;
    explicit tfixture(double seconds = 1.0) {
        w.first_activation({});
        tone_channels(w.document(), seconds, 16000, 1000);
        win = dynamic_cast<tspectrogramwindow*>(w.windows().window(twindowid::spectrogram));
        win->resize(900, 600);
        w.windows().show(twindowid::spectrogram);
        settle();
        win->wait_for_workers();
        settle();
    }
    tdocument& doc() { return w.document(); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) win->tick();
        win->wait_for_workers();
        settle();
    }
};

// Pure red pixels in row y (or column x) of a widget's picture.
int red_in_row(const QImage& img, int y) {
    int n = 0;
    for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == QColor(255, 0, 0);
    return n;
}

// A correlogram over two channels of 125 and 250 Hz, shown.
struct tcorrfixture {
    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    tspectrogramwindow* win = nullptr;
    tcorrfixture() {
        w.first_activation({});
        tone_channels(w.document(), 1.0, 16000, 125);
        win = dynamic_cast<tspectrogramwindow*>(w.windows().window(twindowid::correlogram));
        win->resize(900, 600);
        w.windows().show(twindowid::correlogram);
        settle();
        win->wait_for_workers();
        settle();
    }
    tdocument& doc() { return w.document(); }
    QWidget* canvas(int chno) const {
        return win->findChild<QWidget*>("spegpaint" + QString::number(chno));
    }
};

int ridge_row(const tspectrogramstrip& s, int x) {
    int best = 0;
    for (int y = 1; y < s.height; ++y)
        if (s.at(x, y) > s.at(x, best)) best = y;
    return best;
}

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
            EXPECT_LE(std::fabs(rows[static_cast<std::size_t>(ridge_row(s, x))] - 1000.0 * (c + 1)), 125);
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
    tspectrogramstate s = f.win->state();
    s.fft.bw = 5;  // 400 ms frames: work for a worker
    f.win->set_state(s);
    for (int i = 0; i < 5; ++i) f.win->tick();  // starts the workers
    s.fft.bw = 6;
    f.win->set_state(s);
    for (int i = 0; i < 5; ++i) f.win->tick();  // supersedes them
    EXPECT_EQ(f.win->worker_runs(), 4);
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

TEST(CorrelogramWindow, StripsTracesAndTraceFiles) {
    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    w.first_activation({});
    tone_channels(w.document(), 1.0, 16000, 125);  // periods of 8 and 4 ms
    auto* win = dynamic_cast<tspectrogramwindow*>(w.windows().window(twindowid::correlogram));
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(win->is_correlogram());
    win->resize(900, 600);
    w.windows().show(twindowid::correlogram);
    settle();
    win->wait_for_workers();
    settle();
    // Channel 0's strip: r = 1 on the row at 125 Hz (its period).
    const tspectrogramstrip& l = win->levels(0);
    ASSERT_GT(l.width, 100);
    const std::vector<double>& rows = win->row_freqs(0);
    int best = 0;
    for (int y = 0; y < l.height; ++y)
        if (l.at(l.width / 2, y) > l.at(l.width / 2, best)) best = y;
    EXPECT_NEAR(16000 / rows[static_cast<std::size_t>(best)], 128, 1.0);
    EXPECT_GT(l.at(l.width / 2, best), 0.999);
    // Saving without points: the message; adding a point with the mouse.
    QTemporaryDir dir;
    const QString path = dir.filePath("t.ctr");
    EXPECT_FALSE(win->save_trace(path, 0));
    ASSERT_FALSE(prompter->asked.empty());
    EXPECT_EQ(prompter->asked.back().text, "Channel 0 does not have a trace!");
    EXPECT_EQ(prompter->asked.back().caption, "Cannot save trace");
    win->set_trace_mode(1);
    TAxis& fa = win->freq_axis(0);
    win->strip_mouse(0, QPoint(200, fa.value_to_pixel(125)), 2, false);
    ASSERT_EQ(win->trace(0).size(), 1u);
    const TTracePoint p = win->trace(0)[0];
    EXPECT_NEAR((p.fmin + p.fmax) / 2, 125, 2);
    EXPECT_NEAR(p.fmax / p.fmin, 1.25 / 0.75, 1e-9);  // +-25 %
    ASSERT_TRUE(win->save_trace(path, 0));
    win->trace(0).clear();
    ASSERT_TRUE(win->open_trace(path, 0));
    ASSERT_EQ(win->trace(0).size(), 1u);
    EXPECT_NEAR(win->trace(0)[0].t, p.t, 1e-5);
    // A damaged file: a message, the trace as it was.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Common]\nnPoints=5\n");
    }
    const std::size_t asked = prompter->asked.size();
    EXPECT_FALSE(win->open_trace(path, 0));
    EXPECT_EQ(prompter->asked.size(), asked + 1);
    EXPECT_EQ(win->trace(0).size(), 1u);
    win->set_trace_mode(5);
    EXPECT_EQ(win->trace_mode(), 0);
    // Extraction along the trace into new channels: F0 of the 125 Hz tone
    // and r = 1, one value per 441 samples; the strips of the new channels
    // are hidden and the document is modified.
    EXPECT_FALSE(win->extract_from_trace(1, tf0settings{}, false));
    EXPECT_EQ(prompter->asked.back().text, "No trace set");
    tf0settings e;
    e.keeprate = false;
    ASSERT_TRUE(win->extract_from_trace(0, e, true));
    EXPECT_EQ(w.statusBar()->currentMessage(), "100%, done!");
    tdocument& doc = w.document();
    ASSERT_EQ(doc.totnchans(), 5);
    EXPECT_EQ(doc.channel(2).name(), "a F0");
    EXPECT_EQ(doc.channel(2).yunit(), "Hz");
    EXPECT_EQ(doc.channel(3).name(), "a Correlation");
    EXPECT_EQ(doc.channel(4).name(), "a Candidate Width");
    EXPECT_DOUBLE_EQ(doc.channel(2).sampfreq, 16000.0 / 441);
    ASSERT_EQ(doc.channel(2).sig.size(), 16000u / 441);
    for (std::size_t i = 0; i + 2 < doc.channel(2).sig.size(); ++i) {
        EXPECT_NEAR(doc.channel(2).sig[i], 125, 0.5);
        EXPECT_NEAR(doc.channel(3).sig[i], 1, 1e-4);
    }
    EXPECT_TRUE(doc.modified());
    EXPECT_FALSE(win->strip_visible(2));
}

TEST(CorrelogramWindow, TraceModesMoveDeleteCutAndSave) {
    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    w.first_activation({});
    tone_channels(w.document(), 1.0, 16000, 125);
    auto* win = dynamic_cast<tspectrogramwindow*>(w.windows().window(twindowid::correlogram));
    ASSERT_NE(win, nullptr);
    win->resize(900, 600);
    w.windows().show(twindowid::correlogram);
    settle();
    win->wait_for_workers();
    TAxis& fa = win->freq_axis(0);
    const TAxis& ta = win->time_axis();
    const int W = win->findChild<QWidget*>("spegpaint0")->width();
    auto px = [&](double t) {
        return static_cast<int>(std::lround((t - ta.GetLoValue()) / (ta.GetHiValue() - ta.GetLoValue()) * (W - 1)));
    };
    // Two points added with the mouse, then the modes step on a right click.
    win->action("addpointaction")->trigger();
    EXPECT_EQ(win->trace_mode(), 1);
    win->strip_mouse(0, QPoint(px(0.2), fa.value_to_pixel(200)), 2, false);
    win->strip_mouse(0, QPoint(px(0.6), fa.value_to_pixel(200)), 2, false);
    ASSERT_EQ(win->trace(0).size(), 2u);
    EXPECT_TRUE(win->trace_modified(0));
    win->strip_mouse(0, QPoint(0, 0), 3, false);
    EXPECT_EQ(win->trace_mode(), 2);
    EXPECT_TRUE(win->action("movepointaction")->isChecked());
    // Move: grab the first point's upper limit (250 Hz) and drag it.
    const double fmin0 = win->trace(0)[0].fmin;
    win->strip_mouse(0, QPoint(px(0.2), fa.value_to_pixel(250)), 0, false);
    win->strip_mouse(0, QPoint(px(0.3), fa.value_to_pixel(300)), 1, false);
    win->strip_mouse(0, QPoint(px(0.3), fa.value_to_pixel(300)), 2, false);
    const TTracePoint moved = win->trace(0)[0];
    EXPECT_NEAR(moved.t, 0.3, 2 * (ta.GetHiValue() - ta.GetLoValue()) / W);
    EXPECT_NEAR(moved.fmax, 300, 3);
    EXPECT_EQ(moved.fmin, fmin0);
    // Delete: press and release on the second point's lower limit.
    win->action("deletepointaction")->trigger();
    const QPoint lower(px(0.6), fa.value_to_pixel(150));
    win->strip_mouse(0, lower, 0, false);
    win->strip_mouse(0, lower, 2, false);
    ASSERT_EQ(win->trace(0).size(), 1u);
    // Pressing on nothing deletes nothing.
    win->strip_mouse(0, QPoint(px(0.8), 5), 0, false);
    win->strip_mouse(0, QPoint(px(0.8), 5), 2, false);
    EXPECT_EQ(win->trace(0).size(), 1u);
    // Cut, then back to the normal cursor through "Glue trace".
    win->action("cuttraceaction")->trigger();
    win->strip_mouse(0, QPoint(px(0.5), 10), 2, false);
    ASSERT_EQ(win->trace(0).size(), 2u);
    EXPECT_TRUE(win->trace(0)[1].cut);
    win->action("gluetraceaction")->trigger();
    EXPECT_EQ(win->trace_mode(), 0);
    EXPECT_TRUE(win->action("normalcursoraction")->isChecked());
    // "Save trace" writes the file last used and clears the modified flag.
    QTemporaryDir dir;
    const QString path = dir.filePath("m.ctr");
    ASSERT_TRUE(win->save_trace(path, 0));
    EXPECT_FALSE(win->trace_modified(0));
    win->trace(0).pop_back();
    w.document().set_thischanno(0);
    win->savetraceactionExecute();
    std::vector<TTracePoint> back;
    std::string err;
    ASSERT_TRUE(read_trace_file(path.toStdString(), back, err)) << err;
    EXPECT_EQ(back.size(), 1u);
    // A trace edited since is not thrown away by "New trace" unless the user says so.
    win->action("addpointaction")->trigger();
    win->strip_mouse(0, QPoint(px(0.7), fa.value_to_pixel(200)), 2, false);
    ASSERT_TRUE(win->trace_modified(0));
    const std::size_t n = win->trace(0).size();
    const std::size_t asked = prompter->asked.size();
    prompter->answers.push_back(tanswer::no);
    win->action("newtraceaction")->trigger();
    ASSERT_EQ(prompter->asked.size(), asked + 1);
    EXPECT_EQ(prompter->asked.back().caption, "Trace has been modified");
    EXPECT_EQ(win->trace(0).size(), n);
    prompter->answers.push_back(tanswer::yes);
    win->action("newtraceaction")->trigger();
    EXPECT_TRUE(win->trace(0).empty());
    EXPECT_FALSE(win->trace_modified(0));
}

TEST(CorrelogramWindow, SettingsTabExtractionOptionsCursorsAndRecording) {
    std::unique_ptr<tscriptedprompter> prompter_owner = std::make_unique<tscriptedprompter>();
    tscriptedprompter* prompter = prompter_owner.get();
    TMainWindow w{prompter};
    w.first_activation({});
    tone_channels(w.document(), 1.0, 16000, 125);
    auto* win = dynamic_cast<tspectrogramwindow*>(w.windows().window(twindowid::correlogram));
    win->resize(900, 600);
    w.windows().show(twindowid::correlogram);
    settle();
    win->wait_for_workers();
    // The spectrogram's own groups are not there; the correlogram's are.
    for (const char* gone : {"tiltedit", "bandwidthedit", "harmonicscheck"})
        EXPECT_FALSE(win->findChild<QWidget*>(gone)->isVisibleTo(win)) << gone;
    auto* length = win->findChild<QLineEdit*>("corrlengthedit");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length->text(), "10");
    // A new window length and the time axis recompute the strips after
    // the countdown; the strips' axes then read lags in ms.
    length->setText("20");
    emit length->editingFinished();
    EXPECT_DOUBLE_EQ(win->state().corr.ffixedcorrlength, 0.020);
    EXPECT_TRUE(win->update_pending());
    const QList<QRadioButton*> buttons = win->findChildren<QRadioButton*>();
    for (QRadioButton* b : buttons)
        if (b->text() == "Time") b->click();
    EXPECT_EQ(win->state().corr.fvertaxistype, 0);
    EXPECT_EQ(win->freq_axis(0).GetAxisText(), "[ms]");
    for (int i = 0; i < 6; ++i) win->tick();
    win->wait_for_workers();
    // Now the row of lag 8 ms (125 Hz) holds r = 1.
    const tspectrogramstrip& l = win->levels(0);
    const std::vector<double>& rows = win->row_freqs(0);
    int best = 0;
    for (int y = 0; y < l.height; ++y)
        if (l.at(l.width / 2, y) > l.at(l.width / 2, best)) best = y;
    EXPECT_NEAR(rows[static_cast<std::size_t>(best)], 8, 0.1);
    // Gamma only rebuilds pictures.
    const int comps = win->computations();
    auto* gamma = win->findChild<QLineEdit*>("gammaedit");
    gamma->setText("2");
    emit gamma->editingFinished();
    EXPECT_EQ(win->state().gamma, 2);
    EXPECT_FALSE(win->update_pending());
    EXPECT_EQ(win->computations(), comps);

    // Extraction as the tab sets it up: channel b, every 441st sample, only
    // the correlation, into a new channel.
    tdocument& doc = w.document();
    win->trace(1).push_back({false, 0.0, 150, 350, 0});
    win->findChild<QComboBox*>("analyzecombo")->setCurrentIndex(1);
    win->findChild<QCheckBox*>("keepratecheck")->setChecked(false);
    win->findChild<QCheckBox*>("f0output")->setChecked(false);
    win->action("extractaction")->trigger();
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(2).name(), "b Correlation");
    EXPECT_DOUBLE_EQ(doc.channel(2).sampfreq, 16000.0 / 441);
    // Again, now into channel 2 chosen as the target: no new channel.
    settle();
    win->findChild<QCheckBox*>("f0output")->setChecked(true);
    win->findChild<QComboBox*>("f0outputtarget")->setCurrentIndex(3);  // "2: ..."
    win->findChild<QCheckBox*>("correlationoutput")->setChecked(false);
    win->action("extractaction")->trigger();
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(2).name(), "b T0");  // time axis: T0 in s
    EXPECT_NEAR(doc.channel(2).sig[10], 1.0 / 250, 1e-5);

    // Channel cursors the main window shows are drawn on the strip.
    tviewstate& view = w.context().view;
    view.showcursors[3] = true;
    tchannel& a = doc.channel(0);
    a.cursorcolors[3] = 0x00FF00;  // green
    const TAxis& ta = win->time_axis();
    a.cursors[3] = (ta.GetLoValue() + ta.GetHiValue()) / 2;
    auto* canvas = win->findChild<QWidget*>("spegpaint0");
    const QImage img = canvas->grab().toImage();
    int green = 0;
    for (int x = 0; x < img.width(); ++x)
        if (img.pixelColor(x, img.height() / 3) == QColor(0, 255, 0)) ++green;
    EXPECT_GE(green, 1);
    view.showcursors[3] = false;
    const QImage none = canvas->grab().toImage();
    green = 0;
    for (int x = 0; x < none.width(); ++x)
        if (none.pixelColor(x, none.height() / 3) == QColor(0, 255, 0)) ++green;
    EXPECT_EQ(green, 0);

    // While recording nothing is computed; afterwards the strips catch up.
    view.recording = true;
    tspectrogramstate s = win->state();
    s.corr.ffixedcorrlength = 0.012;
    win->set_state(s);
    const int before = win->computations();
    for (int i = 0; i < 8; ++i) win->tick();
    EXPECT_EQ(win->computations(), before);
    view.recording = false;
    win->tick();
    EXPECT_GT(win->computations(), before);
}

TEST(CorrelogramWindow, OnATimeAxisTheCursorIsThePeriodsFrequency) {
    tcorrfixture f;
    for (QRadioButton* b : f.win->findChildren<QRadioButton*>())
        if (b->text() == "Time") b->click();
    ASSERT_EQ(f.win->freq_axis(0).GetAxisText(), "[ms]");
    TAxis& fa = f.win->freq_axis(0);
    QWidget* c = f.canvas(0);
    ASSERT_NE(c, nullptr);
    // Dragging the normal cursor over the row of 8 ms: the frequency
    // cursor is 1000 / 8 = 125 Hz (1000 / the lag the pixel stands for).
    const int y8 = fa.value_to_pixel(8.0);
    QTest::mousePress(c, Qt::LeftButton, {}, QPoint(100, y8 + 20));
    QTest::mouseMove(c, QPoint(200, y8));
    QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(200, y8));
    EXPECT_NEAR(f.doc().theglobal.freqcursor(), 1000 / fa.pixel_to_value(y8), 1e-9);
    EXPECT_NEAR(f.doc().theglobal.freqcursor(), 125, 2);
    EXPECT_TRUE(f.win->status()->text(0).startsWith("f=12")) << f.win->status()->text(0).toStdString();
    // A frequency set elsewhere (250 Hz) is drawn at its period, 4 ms.
    f.doc().theglobal.set_freqcursor(250);
    settle();
    const QImage img = c->grab().toImage();
    EXPECT_GE(red_in_row(img, fa.value_to_pixel(4.0)), img.width() * 9 / 10);
    EXPECT_LE(red_in_row(img, fa.value_to_pixel(8.0)), 3);
    // On a frequency axis the same drag reads the axis itself.
    for (QRadioButton* b : f.win->findChildren<QRadioButton*>())
        if (b->text() == "Frequency") b->click();
    const int y200 = fa.value_to_pixel(200.0);
    QTest::mousePress(c, Qt::LeftButton, {}, QPoint(100, y200 + 20));
    QTest::mouseMove(c, QPoint(200, y200));
    QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(200, y200));
    EXPECT_NEAR(f.doc().theglobal.freqcursor(), fa.pixel_to_value(y200), 1e-9);
}

TEST(CorrelogramWindow, ExtractedChannelsAreThirtyTwoBitFloat) {
    tcorrfixture f;
    tdocument& doc = f.doc();
    // Channel a came from a 16-bit file; channel b is 8-bit A-law and is
    // chosen as the target of the correlation.
    doc.channel(0).format = tFormat::pcm;
    doc.channel(0).nbits = 16;
    doc.channel(1).format = tFormat::alaw;
    doc.channel(1).nbits = 8;
    f.win->trace(0).push_back({false, 0.0, 100, 160, 0});
    f.win->fix_things();
    f.win->findChild<QComboBox*>("analyzecombo")->setCurrentIndex(0);
    f.win->findChild<QCheckBox*>("keepratecheck")->setChecked(false);
    f.win->findChild<QCheckBox*>("widthoutput")->setChecked(true);
    f.win->findChild<QComboBox*>("correlationoutputtarget")->setCurrentIndex(2);  // "1: b"
    QToolButton* extract = nullptr;
    for (QToolButton* b : f.win->findChildren<QToolButton*>())
        if (b->defaultAction() == f.win->action("extractaction")) extract = b;
    ASSERT_NE(extract, nullptr);
    extract->click();
    ASSERT_EQ(doc.totnchans(), 4);  // F0 and width new, the correlation over b
    EXPECT_EQ(doc.channel(1).name(), "a Correlation");
    EXPECT_EQ(doc.channel(2).name(), "a F0");
    EXPECT_EQ(doc.channel(3).name(), "a Candidate Width");
    for (int c = 1; c <= 3; ++c) {
        EXPECT_EQ(doc.channel(c).format, tFormat::ieeefloat) << c;
        EXPECT_EQ(doc.channel(c).nbits, 32) << c;
    }
    EXPECT_NEAR(doc.channel(2).sig[5], 125, 0.5);
    // The analysed channel keeps its own coding.
    EXPECT_EQ(doc.channel(0).format, tFormat::pcm);
    EXPECT_EQ(doc.channel(0).nbits, 16);
}

TEST(AnalysisWindows, EscHidesTheCrosshairsOfSpectrogramAndCorrelogram) {
    tfixture f;
    auto* corr = dynamic_cast<tspectrogramwindow*>(f.w.windows().window(twindowid::correlogram));
    ASSERT_NE(corr, nullptr);
    corr->resize(900, 600);
    f.w.windows().show(twindowid::correlogram);
    settle();
    corr->wait_for_workers();
    // A drag on each window's first strip shows its crosshair: a red line
    // across the strip at the frequency cursor.
    auto drag = [](tspectrogramwindow* win, double f) {
        QWidget* c = win->findChild<QWidget*>("spegpaint0");
        const int y = win->freq_axis(0).value_to_pixel(f);
        QTest::mousePress(c, Qt::LeftButton, {}, QPoint(100, y));
        QTest::mouseMove(c, QPoint(150, y));
        QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(150, y));
        return y;
    };
    auto red_row = [](tspectrogramwindow* win, int y) {
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
