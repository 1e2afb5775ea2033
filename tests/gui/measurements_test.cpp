// The measurement commands and windows in the main window: F5 twice fills
// the data log window with one heading and two rows, Ctrl+M copies, the
// Measurements dialog stores its choices only on OK, New log asks first,
// and the countdown runs from a 100 ms timer.
#include <memory>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "engine/core/measurementitems.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/mainwindow/screenshot.h"
#include "gui/measurements/tdatalogwindow.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "gui/measurements/tmeasurementsdialog.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

void fill(TMainWindow& w) {
    tdocument& doc = w.document();
    for (int i = 0; i < nmeasurementitems; ++i)
        doc.showmeasurement[i] = measurement_shown_by_default(i);
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = 1000;
    ch.set_fsd(1);
    ch.set_name("mic");
    ch.filename = "tone.wav";
    tsinglearr s(2000);
    for (int i = 0; i < 2000; ++i) s[i] = (i % 2) ? 0.5f : -0.5f;
    ch.set_samples(std::move(s));
    doc.theglobal.set_selection(0.0, 1.999);
    w.commands().refresh_enablings();
}

}  // namespace

TEST(MeasurementCommands, TwoLogPressesShowOneHeadingAndTwoRows) {
    tscriptedmain m(false);
    TMainWindow& w = m.w;
    QAction* log = w.commands().action("logmeasurementsaction");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->shortcut().toString(), "F5");
    EXPECT_EQ(w.commands().action("copymeasurementsaction")->shortcut().toString(), "Ctrl+M");
    EXPECT_FALSE(log->isEnabled());  // no channels
    fill(w);
    ASSERT_TRUE(log->isEnabled());
    log->trigger();
    log->trigger();
    auto* win = qobject_cast<tdatalogwindow*>(w.windows().window("datalog"));
    ASSERT_NE(win, nullptr);
    EXPECT_TRUE(win->isVisible());
    // The memo shows each value under its heading; the log keeps its tabs.
    const QString expected =
        "Channel  File name  Channel name  Sampling rate [Hz]  Lpeak [dB re FSD]  "
        "Leq [dB re FSD]  Crest [dB]\n"
        "0        tone.wav   mic           1000                -6.02              "
        "-6.02            0.00\n"
        "0        tone.wav   mic           1000                -6.02              "
        "-6.02            0.00";
    EXPECT_EQ(win->memo()->toPlainText(), expected);
    const QString logged =
        "Channel\tFile name\tChannel name\tSampling rate [Hz]\tLpeak [dB re FSD]\t"
        "Leq [dB re FSD]\tCrest [dB]\t\n"
        "0\ttone.wav\tmic\t1000\t-6.02\t-6.02\t0.00\t\n"
        "0\ttone.wav\tmic\t1000\t-6.02\t-6.02\t0.00\t";

    if (const char* dir = std::getenv("TESSAL_SHOT_DIR")) {
        win->resize(760, 200);
        render_window_png(win, QString(dir) + "/datalog.png", {});
        render_window_png(&w, QString(dir) + "/mainwindow-measured.png", {});
    }

    // Copy log gives the logged lines with their tabs; New log asks and
    // clears on OK only.
    tmemoryclipboard clip;
    w.measurements().set_clipboard(&clip);
    win->copy_log();
    EXPECT_EQ(QString::fromStdString(clip.text), logged + "\n");
    m.prompter->answers = {tanswer::cancel, tanswer::ok};
    win->new_log();
    EXPECT_FALSE(win->memo()->toPlainText().isEmpty());
    win->new_log();
    EXPECT_TRUE(win->memo()->toPlainText().isEmpty());
    ASSERT_EQ(m.prompter->asked.size(), 2u);
    EXPECT_EQ(m.prompter->asked[1].caption, "Clear log");
    log->trigger();
    EXPECT_EQ(win->memo()->toPlainText().count('\n'), 1);

    w.commands().action("copymeasurementsaction")->trigger();
    EXPECT_EQ(clip.text, "0\ttone.wav\tmic\t1000 Hz\tLpeak: -6.02 dB re FSD\t"
                         "Leq: -6.02 dB re FSD\tCrest: 0.00 dB");
    w.measurements().set_clipboard(nullptr);
}

TEST(MeasurementCommands, TimerDrivesTheCountdown) {
    tscriptedprompter w_prompter;
    TMainWindow w(&w_prompter);
    fill(w);
    QTimer* t = w.measurements().timer();
    EXPECT_EQ(t->interval(), 100);
    EXPECT_TRUE(t->isActive());
    w.document().theglobal.set_selection(0, 0.5);
    // One timer period each, without waiting for it.
    auto period = [t] { QMetaObject::invokeMethod(t, "timeout", Qt::DirectConnection); };
    for (int i = 0; i < 4; ++i) period();
    EXPECT_TRUE(w.document().measurementdirty);
    period();
    EXPECT_FALSE(w.document().measurementdirty);
    EXPECT_NEAR(w.document().channel(0).rms, 0.5, 1e-12);
}

TEST(MeasurementsDialog, OkStoresChoicesAndCancelDoesNot) {
    tscriptedmain m(false);
    TMainWindow& w = m.w;
    fill(w);
    w.commands().action("measurementsaction")->trigger();
    auto* dlg = qobject_cast<tmeasurementsdialog*>(w.windows().window("measurements"));
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->isModal());
    EXPECT_EQ(dlg->windowTitle(), "Measurements");
    EXPECT_EQ(dlg->box(15)->text(), "Average of samples > ");
    EXPECT_EQ(dlg->box(28)->text(), "RMS level re reference (dBA)");
    EXPECT_TRUE(dlg->box(26)->isChecked());
    EXPECT_FALSE(dlg->box(28)->isChecked());

    dlg->box(28)->setChecked(true);
    dlg->threshold()->setText("0.25");
    dlg->reject();
    EXPECT_FALSE(w.document().showmeasurement[28]);

    w.commands().action("measurementsaction")->trigger();
    EXPECT_FALSE(dlg->box(28)->isChecked());  // shown again from the document
    dlg->box(28)->setChecked(true);
    dlg->box(26)->setChecked(false);
    dlg->threshold()->setText("x");
    w.document().measurementdirty = false;
    dlg->accept();
    EXPECT_TRUE(dlg->isVisible());  // not a number: the dialog stays
    ASSERT_EQ(m.prompter->asked.size(), 1u);
    EXPECT_EQ(m.prompter->asked[0].text, "'x' is not a valid floating point value");
    dlg->threshold()->setText("0.25");
    dlg->accept();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(w.document().showmeasurement[28]);
    EXPECT_FALSE(w.document().showmeasurement[26]);
    EXPECT_EQ(w.document().measurementthreshold, 0.25);
    EXPECT_TRUE(w.document().measurementdirty);
    EXPECT_EQ(w.measurements().measurements().measurementdirtycount, 5);
}
