// The correlogram window over the strip view: r = 1 on the row of a tone's
// period, traces drawn, moved, deleted and cut with the mouse (real
// events on the strip), the modes stepped by a right click, trace files
// with their messages, the settings tab with its extraction options, the
// frequency cursor read as a period on a time axis, and extracted channels
// in 32-bit float.
#include <memory>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "engine/core/tchannel.h"
#include "gui/context/appcontext.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/spectrogram/tcorrelogramwindow.h"
#include "gui/widgets/tplotpanel.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {


// A correlogram over two channels of 125 and 250 Hz, shown.
struct tcorrfixture : twindowfixture<tcorrelogramwindow> {
    tcorrfixture() {
        tone_channels(w.document(), 1.0, 16000, 125);  // periods of 8 and 4 ms
        open("correlogram", {900, 760});
        win->wait_for_workers();
        settle();
    }
    QWidget* canvas(int chno) const {
        return win->findChild<QWidget*>("spegpaint" + QString::number(chno));
    }
};


}  // namespace

TEST(CorrelogramWindow, StripsTracesAndTraceFiles) {
    tcorrfixture f;
    ASSERT_NE(f.win, nullptr);
    TMainWindow& w = f.w;
    tscriptedprompter* prompter = f.prompter;
    tcorrelogramwindow* win = f.win;
    // Channel 0's strip: r = 1 on the row at 125 Hz (its period).
    const tspectrogramstrip& l = win->levels(0);
    ASSERT_GT(l.width, 100);
    const std::vector<double>& rows = win->row_freqs(0);
    // A row a pixel over 0..20 ms: with at least one pixel for each whole
    // sample of lag (321 at 16 kHz), the period's lag has a row of its own.
    ASSERT_GE(l.height, 321);
    const int best = l.peak_row(l.width / 2);
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
    QTest::mouseClick(win->findChild<QWidget*>("spegpaint0"), Qt::LeftButton, {}, QPoint(200, fa.value_to_pixel(125)));
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
    ASSERT_EQ(doc.channel(2).sample_count(), 16000 / 441);
    for (std::int64_t i = 0; i + 2 < doc.channel(2).sample_count(); ++i) {
        EXPECT_NEAR(doc.channel(2).sample(i), 125, 0.5);
        EXPECT_NEAR(doc.channel(3).sample(i), 1, 1e-4);
    }
    EXPECT_TRUE(doc.modified());
    EXPECT_FALSE(win->strip_visible(2));
}

TEST(CorrelogramWindow, TraceModesMoveDeleteCutAndSave) {
    tcorrfixture f;
    ASSERT_NE(f.win, nullptr);
    TMainWindow& w = f.w;
    tscriptedprompter* prompter = f.prompter;
    tcorrelogramwindow* win = f.win;
    TAxis& fa = win->freq_axis(0);
    const TAxis& ta = win->time_axis();
    QWidget* canvas = win->findChild<QWidget*>("spegpaint0");
    ASSERT_NE(canvas, nullptr);
    const int W = canvas->width();
    auto px = [&](double t) {
        return static_cast<int>(std::lround((t - ta.GetLoValue()) / (ta.GetHiValue() - ta.GetLoValue()) * (W - 1)));
    };
    // Two points added with clicks on the strip, then the modes step on a
    // right click.
    win->action("addpointaction")->trigger();
    EXPECT_EQ(win->trace_mode(), 1);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(px(0.2), fa.value_to_pixel(200)));
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(px(0.6), fa.value_to_pixel(200)));
    ASSERT_EQ(win->trace(0).size(), 2u);
    EXPECT_TRUE(win->trace_modified(0));
    EXPECT_NEAR(win->trace(0)[0].t, 0.2, 2 * (ta.GetHiValue() - ta.GetLoValue()) / W);
    EXPECT_NEAR((win->trace(0)[0].fmin + win->trace(0)[0].fmax) / 2, 200, 3);
    QTest::mouseClick(canvas, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(win->trace_mode(), 2);
    EXPECT_TRUE(win->action("movepointaction")->isChecked());
    // Move: grab the first point's upper limit (250 Hz) and drag it.
    const double fmin0 = win->trace(0)[0].fmin;
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(px(0.2), fa.value_to_pixel(250)));
    QTest::mouseMove(canvas, QPoint(px(0.25), fa.value_to_pixel(280)));
    QTest::mouseMove(canvas, QPoint(px(0.3), fa.value_to_pixel(300)));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(px(0.3), fa.value_to_pixel(300)));
    const TTracePoint moved = win->trace(0)[0];
    EXPECT_NEAR(moved.t, 0.3, 2 * (ta.GetHiValue() - ta.GetLoValue()) / W);
    EXPECT_NEAR(moved.fmax, 300, 3);
    EXPECT_EQ(moved.fmin, fmin0);
    // Delete: press and release on the second point's lower limit.
    win->action("deletepointaction")->trigger();
    const QPoint lower(px(0.6), fa.value_to_pixel(150));
    QTest::mouseClick(canvas, Qt::LeftButton, {}, lower);
    ASSERT_EQ(win->trace(0).size(), 1u);
    // Pressing on nothing deletes nothing.
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(px(0.8), 5));
    EXPECT_EQ(win->trace(0).size(), 1u);
    // Cut, then back to the normal cursor through "Glue trace".
    win->action("cuttraceaction")->trigger();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(px(0.5), 10));
    ASSERT_EQ(win->trace(0).size(), 2u);
    EXPECT_TRUE(win->trace(0)[1].cut);
    EXPECT_NEAR(win->trace(0)[1].t, 0.5, 2 * (ta.GetHiValue() - ta.GetLoValue()) / W);
    // The trace is drawn: green squares at the remaining point's limits.
    {
        const QImage img = canvas->grab().toImage();
        const QPoint at(px(0.3), fa.value_to_pixel(300));
        int green = 0;
        for (int dx = -3; dx <= 3; ++dx)
            for (int dy = -3; dy <= 3; ++dy)
                green += img.pixelColor(at.x() + dx, at.y() + dy) == QColor(0, 160, 0);
        EXPECT_GE(green, 4);
    }
    // A right click from the last mode comes round to the normal cursor.
    QTest::mouseClick(canvas, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(win->trace_mode(), 0);
    win->action("cuttraceaction")->trigger();
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
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(px(0.7), fa.value_to_pixel(200)));
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
    tcorrfixture f;
    ASSERT_NE(f.win, nullptr);
    TMainWindow& w = f.w;
    tcorrelogramwindow* win = f.win;
    // The spectrogram's own groups are not there; the correlogram's are.
    for (const char* gone : {"tiltedit", "bandwidthedit", "harmonicscheck"})
        EXPECT_EQ(win->findChild<QWidget*>(gone), nullptr) << gone;
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
    // A row a pixel over 0..20 ms: with at least one pixel for each whole
    // sample of lag (321 at 16 kHz), the period's lag has a row of its own.
    ASSERT_GE(l.height, 321);
    const int best = l.peak_row(l.width / 2);
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
    EXPECT_NEAR(doc.channel(2).sample(10), 1.0 / 250, 1e-5);

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
    tcorrelogramstate s = win->state();
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
    EXPECT_NEAR(doc.channel(2).sample(5), 125, 0.5);
    // The analysed channel keeps its own coding.
    EXPECT_EQ(doc.channel(0).format, tFormat::pcm);
    EXPECT_EQ(doc.channel(0).nbits, 16);
}


// The settings file keeps its keys: the correlogram's own, the spectral
// ones the spectrogram writes too (as they were read), then the strips'.
TEST(CorrelogramWindow, SettingsPersistUnderTheirKeys) {
    QTemporaryDir dir;
    const QString path = dir.filePath("correlogramwindow.ini");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Correlogram]\nCorrLength=0.02\nCorrLengthMode=1\nCorrFactor=1.5\nVerticalAxis=0\nGamma=2\n"
                "TraceWidth=0.3\nSkipSamples=100\nKeepRate=0\nUseThresholds=1\nLoThreshold=0.4\n"
                "HiThreshold=0.8\nBandwidth=45\nWindow=2\nTilt=3\nColorMode=2\nShowGrid=0\nLevelLo=0.2\n"
                "LevelHi=0.9\n");
    }
    tcorrfixture f;
    f.win->load_settings_from(path);
    const tcorrelogramstate& s = f.win->state();
    EXPECT_DOUBLE_EQ(s.corr.ffixedcorrlength, 0.02);
    EXPECT_EQ(s.corr.fwinlengthmode, 1);
    EXPECT_DOUBLE_EQ(s.corr.fwinlengthfactor, 1.5);
    EXPECT_EQ(s.corr.fvertaxistype, 0);
    EXPECT_EQ(s.gamma, 2);
    EXPECT_DOUBLE_EQ(s.tracewidth, 0.3);
    EXPECT_EQ(s.extraction.skip, 100);
    EXPECT_FALSE(s.extraction.keeprate);
    EXPECT_TRUE(s.extraction.thresholds);
    EXPECT_EQ(s.colormode, 2);
    EXPECT_FALSE(s.showgrid);
    EXPECT_DOUBLE_EQ(s.levello, 0.2);
    EXPECT_EQ(f.win->findChild<QLineEdit*>("corrlengthedit")->text(), "20");
    EXPECT_EQ(f.win->freq_axis(0).GetAxisText(), "[ms]");
    const QString again = dir.filePath("again.ini");
    f.win->save_settings_to(again);
    QFile in(again);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QStringList keys;
    QString text = QString::fromUtf8(in.readAll());
    for (const QString& line : text.split('\n'))
        if (line.contains('=')) keys << line.section('=', 0, 0);
    EXPECT_EQ(keys, (QStringList{"CorrLength", "CorrLengthMode", "CorrFactor", "VerticalAxis", "Gamma", "TraceFile",
                                 "TraceWidth", "SkipSamples", "KeepRate", "UseThresholds", "LoThreshold",
                                 "HiThreshold", "Bandwidth", "Window", "Relative", "FrequencyAxis", "Tilt",
                                 "HarmonicCursors", "HarmonicNumber", "ColorMode", "ShowGrid", "ZoomSelection",
                                 "TandemAxes", "LevelLo", "LevelHi"}));
    // The spectral keys come back as they were read.
    EXPECT_TRUE(text.contains("Bandwidth= 4.50000000000000E+0001")) << text.toStdString();
    EXPECT_TRUE(text.contains("Window=2")) << text.toStdString();
    EXPECT_TRUE(text.contains("Tilt= 3.00000000000000E+0000")) << text.toStdString();
}

namespace {

// Types `text` into the line edit `id` of the window and presses Return.
void type_into(QWidget* win, const char* id, const QString& text) {
    auto* e = win->findChild<QLineEdit*>(id);
    ASSERT_NE(e, nullptr) << id;
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

QRadioButton* radio(QWidget* win, const QString& text) {
    for (QRadioButton* b : win->findChildren<QRadioButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

}  // namespace

// In "Corr delay x" mode the window grows with the lag: with the factor 10
// over the 20 ms of lags a time axis opens with a strip is far more work than its fixed 10 ms window
// says, and it runs on a worker (the window goes on) instead of being
// waited for. Its rows still read r = 1 at the tone's period.
TEST(CorrelogramWindow, ProportionalWindowsAreNotWaitedFor) {
    tcorrfixture f;
    QRadioButton* time = radio(f.win, "Time");
    QRadioButton* prop = radio(f.win, "Corr delay x");
    ASSERT_NE(time, nullptr);
    ASSERT_NE(prop, nullptr);
    time->click();
    EXPECT_EQ(f.win->state().corr.fvertaxistype, 0);
    type_into(f.win, "factoredit", "10");
    prop->click();
    EXPECT_EQ(f.win->state().corr.fwinlengthmode, 1);
    EXPECT_EQ(f.win->state().corr.fwinlengthfactor, 10);
    while (f.win->update_pending()) f.win->tick();
    // The update returned with the strips still being computed.
    EXPECT_TRUE(f.win->status()->text(2).startsWith("Calculating correlogram for channel"))
        << f.win->status()->text(2).toStdString();
    f.win->wait_for_workers();
    settle();
    const tspectrogramstrip& s = f.win->levels(0);
    const std::vector<double>& rows = f.win->row_freqs(0);
    ASSERT_GT(s.width, 10);
    // The row nearest 8 ms (the 125 Hz period) at a column in the tone.
    std::size_t best = 0;
    for (std::size_t y = 0; y < rows.size(); ++y)
        if (std::fabs(rows[y] - 8) < std::fabs(rows[best] - 8)) best = y;
    ASSERT_NEAR(rows[best], 8, 0.2);
    // The column at 0.3 s, well inside the tone with the 220 ms it reads.
    const TAxis& ta = f.win->time_axis();
    const int x = static_cast<int>(std::lround((0.3 - ta.GetLoValue()) / (ta.GetHiValue() - ta.GetLoValue()) * (s.width - 1)));
    ASSERT_GE(x, 0);
    ASSERT_LT(x, s.width);
    EXPECT_NEAR(s.at(x, static_cast<int>(best)), 1, 0.01) << "t axis " << ta.GetLoValue() << ".." << ta.GetHiValue();
}

TEST(CorrelogramWindow, WindowFieldsRefuseMoreThanTheirLimits) {
    tcorrfixture f;
    const double before = f.win->state().corr.ffixedcorrlength;
    type_into(f.win, "corrlengthedit", "500");
    ASSERT_FALSE(f.prompter->asked.empty());
    EXPECT_EQ(f.prompter->asked.back().text, "Window length must be a number from 0.01 to 100 ms.");
    EXPECT_EQ(f.prompter->asked.back().caption, "Correlogram");
    EXPECT_EQ(f.win->state().corr.ffixedcorrlength, before);
    EXPECT_EQ(f.win->findChild<QLineEdit*>("corrlengthedit")->text(), "10");
    type_into(f.win, "factoredit", "1000");
    EXPECT_EQ(f.prompter->asked.back().text, "Corr delay factor must be a number from 0.01 to 10.");
    EXPECT_EQ(f.win->state().corr.fwinlengthfactor, 1);
    type_into(f.win, "corrlengthedit", "20");
    EXPECT_DOUBLE_EQ(f.win->state().corr.ffixedcorrlength, 0.02);
}

// "Extract F0/T0" on a long channel: its progress dialog shows while the
// window's loop runs (a timer ticks), and "Cancel" leaves the document, the
// trace and the channels as they were.
TEST(CorrelogramWindow, CancellingTheExtractionLeavesTheDocument) {
    twindowfixture<tcorrelogramwindow> f;
    tone_channels(f.doc(), 600.0, 16000, 125);
    f.open("correlogram", {900, 600});
    f.win->wait_for_workers();
    settle();
    tdocument& doc = f.doc();
    doc.set_modified(false);
    f.win->trace(0).push_back({false, 0.0, 100, 160, 0});
    f.win->findChild<QComboBox*>("analyzecombo")->setCurrentIndex(0);
    f.win->findChild<QCheckBox*>("keepratecheck")->setChecked(true);
    QToolButton* extract = nullptr;
    for (QToolButton* b : f.win->findChildren<QToolButton*>())
        if (b->defaultAction() == f.win->action("extractaction")) extract = b;
    ASSERT_NE(extract, nullptr);
    int ticks = 0, seen = 0;
    QTimer canceller;
    canceller.setInterval(10);
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        ++ticks;
        for (QProgressDialog* d : f.win->findChildren<QProgressDialog*>()) {
            if (!d->isVisible()) continue;
            seen = std::max(seen, d->value() + 1);
            for (QPushButton* b : d->findChildren<QPushButton*>())
                if (b->text() == "Cancel") QTest::mouseClick(b, Qt::LeftButton);
        }
    });
    canceller.start();
    const std::vector<TTracePoint> trace = f.win->trace(0);
    QTest::mouseClick(extract, Qt::LeftButton);
    canceller.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_GT(seen, 0);
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(doc.channel(0).sample_count(), 600 * 16000);
    EXPECT_EQ(f.win->trace(0), trace);
    EXPECT_EQ(f.w.statusBar()->currentMessage(), "Interrupted!");
}

// The strips one update computes at once share a time budget. With none,
// every strip goes to its job line; with one that runs out within the
// first strip, that strip goes on on its line from the column it stopped
// at, and the strips after it go there whole. Whichever way, the levels
// and the pictures are those of the strips computed at once (where r = 1
// on the row of the tone's period).
TEST(CorrelogramWindow, StripsPastTheUpdateBudgetGoOnOnTheirJobLines) {
    twindowfixture<tcorrelogramwindow> f;
    tone_channels(f.w.document(), 1.0, 16000, 125);
    f.open("correlogram", {640, 520});
    ASSERT_NE(f.win, nullptr);
    tcorrelogramwindow& win = *f.win;
    const int n = win.strip_count();
    ASSERT_EQ(n, 2);
    auto update = [&](double budget_ms) {
        win.wait_for_workers();
        win.set_immediate_budget(budget_ms);
        win.set_state(win.state());
        while (win.update_pending()) win.tick();
    };
    auto pictures = [&] {
        std::vector<QImage> v;
        for (int c = 0; c < n; ++c) {
            win.findChild<QWidget*>("spegpaint" + QString::number(c))->repaint();
            v.push_back(win.picture(c));
        }
        return v;
    };

    // All of it at once: small strips, an ample budget.
    update(1e6);
    int runs = win.worker_runs();
    for (int c = 0; c < n; ++c) EXPECT_FALSE(win.strip_busy(c));
    std::vector<tspectrogramstrip> direct;
    for (int c = 0; c < n; ++c) direct.push_back(win.levels(c));
    const std::vector<QImage> directpics = pictures();
    ASSERT_GT(direct[0].width, 50);
    // Channel 0's 125 Hz: r = 1 on the row of its period.
    const std::vector<double>& rows = win.row_freqs(0);
    std::size_t best = 0;
    for (std::size_t y = 0; y < rows.size(); ++y)
        if (std::fabs(rows[y] - 125) < std::fabs(rows[best] - 125)) best = y;
    ASSERT_NEAR(rows[best], 125, 3);
    EXPECT_GT(direct[0].at(direct[0].width / 2, static_cast<int>(best)), 0.99);

    for (double budget_ms : {0.0, 0.05}) {
        SCOPED_TRACE(budget_ms);
        update(budget_ms);
        const int queued = win.worker_runs() - runs;
        runs = win.worker_runs();
        if (budget_ms == 0) EXPECT_EQ(queued, n);
        else EXPECT_GE(queued, 1);
        win.wait_for_workers();
        for (int c = 0; c < n; ++c) {
            EXPECT_EQ(win.levels(c).width, direct[c].width);
            EXPECT_EQ(win.levels(c).levels, direct[c].levels) << "channel " << c;
        }
        const std::vector<QImage> pics = pictures();
        for (int c = 0; c < n; ++c) EXPECT_EQ(pics[c], directpics[c]) << "channel " << c;
    }
}
