// The calibration window: captions follow the mode, weighting and unit; the
// two-amplitude mode shows the green and purple marks on the main window
// (placed inside the signal) and hides them again; "Calibrate!" calibrates
// the chosen channel as the engine does, warns for the one it cannot
// calibrate, and refuses unreadable fields without changing anything; the
// two-amplitude labels span the selection.
#include <memory>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "gui/calibration/tcalibrationwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Channel 0 holds a 1 kHz sine of RMS 0.5, channel 1 silence, 2 s at 16 kHz.
struct tfixture : twindowfixture<tcalibrationwindow> {
    tfixture() {
        tdocument& doc = w.document();
        doc.set_totnchans(2);
        for (int c = 0; c < 2; ++c) {
            tchannel& ch = doc.channel(c);
            sine_channel(ch, 16000, 32000, c == 0 ? 0.5 * std::numbers::sqrt2 : 0.0, 1000);
            ch.set_fsd(1);
        }
        doc.theglobal.channels_changed();
        doc.theglobal.fix_things();
        doc.theglobal.set_selection(0.5, 1.5);
        open("calibration");
    }
};

}  // namespace

TEST(CalibrationWindow, CaptionsFollowModeWeightingAndUnit) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    EXPECT_EQ(f.win->windowTitle(), "Calibration");
    EXPECT_EQ(f.win->channelcombo()->count(), 3);
    EXPECT_EQ(f.win->channelcombo()->itemText(0), "All channels");
    EXPECT_EQ(f.win->amplitude_caption(), "Level of selection [dB]");
    EXPECT_EQ(f.win->amplitude2_caption(), "Reference [Pa]");
    f.win->set_weighting(tcalibweighting::A);
    EXPECT_EQ(f.win->amplitude_caption(), "Level of selection [dBA]");
    f.win->unitedit()->setText("cmH2O");
    f.win->set_mode(tcalibmode::two);
    EXPECT_EQ(f.win->amplitude_caption(), "Average value between green cursors [cmH2O]");
    EXPECT_EQ(f.win->amplitude2_caption(), "Average value between purple cursors [cmH2O]");
    f.win->set_mode(tcalibmode::integral);
    EXPECT_EQ(f.win->amplitude_caption(), "Integral of selection [cmH2O*s]");
}

TEST(CalibrationWindow, TwoAmplitudeModeShowsTheMarksInsideTheSignal) {
    tfixture f;
    const tviewstate& v = f.w.context().view;
    EXPECT_FALSE(v.showcursors[3]);
    f.doc().channel(0).cursors[5] = 7.0;  // beyond the 2 s signal
    f.win->set_mode(tcalibmode::two);
    for (int i = 3; i <= 6; ++i) EXPECT_TRUE(v.showcursors[i]) << i;
    const tchannel& ch = f.doc().channel(0);
    for (int i = 3; i <= 6; ++i) {
        EXPECT_GE(ch.cursors[i], 0) << i;
        EXPECT_LE(ch.cursors[i], 2) << i;
    }
    EXPECT_LT(ch.cursors[3], ch.cursors[4]);
    f.win->set_mode(tcalibmode::rms);
    EXPECT_FALSE(v.showcursors[5]);
    f.win->set_mode(tcalibmode::two);
    f.win->hide();
    EXPECT_FALSE(v.showcursors[3]);
}

TEST(CalibrationWindow, CalibrateChangesTheChosenChannelAndWarnsForTheOther) {
    tfixture f;
    f.win->amplitudeedit()->setText("94");
    ASSERT_TRUE(f.win->calibrateExecute());
    const tchannel& ch = f.doc().channel(0);
    EXPECT_EQ(ch.yunit(), "Pa");
    ASSERT_EQ(ch.labels.size(), 1u);
    EXPECT_EQ(ch.labels[0].text, "94 dB");
    EXPECT_TRUE(f.doc().channel(1).labels.empty());
    EXPECT_TRUE(f.doc().modified());

    // All channels: the silent one cannot be calibrated and says so; the
    // other is calibrated again with one label.
    f.win->channelcombo()->setCurrentIndex(0);
    f.win->channelcombo()->activated(0);
    EXPECT_EQ(f.win->channo(), -1);
    EXPECT_EQ(f.doc().selectmode, selall);
    f.win->set_mode(tcalibmode::rms);
    f.win->amplitudeedit()->setText("2");
    f.prompter->asked.clear();
    EXPECT_TRUE(f.win->calibrateExecute());
    ASSERT_EQ(f.prompter->asked.size(), 1u);
    EXPECT_EQ(f.prompter->asked[0].text, "Could not calibrate channel 1");
    EXPECT_EQ(ch.labels.size(), 1u);
    EXPECT_EQ(ch.labels[0].text, "2 Pa");
    EXPECT_EQ(f.doc().channel(1).yunit(), "");

    // An unreadable value changes nothing.
    const float before = ch.sample(100);
    f.win->amplitudeedit()->setText("two");
    EXPECT_FALSE(f.win->calibrateExecute());
    EXPECT_EQ(f.prompter->asked.back().caption, "Calibration");
    EXPECT_EQ(ch.sample(100), before);
}

TEST(CalibrationWindow, FollowsTheMainWindowsChannelAndItsUnit) {
    tfixture f;
    f.doc().channel(1).set_yunit("cmH2O");
    f.doc().channel(1).dbreference = 0.5;
    f.win->select_channel(1);
    EXPECT_EQ(f.win->channelcombo()->currentIndex(), 2);
    EXPECT_EQ(f.win->unitedit()->text(), "cmH2O");
    EXPECT_EQ(f.win->referenceedit()->text(), "0.5");
}

// Two amplitudes read the marks but label the selection, as every mode
// does: both labels (the green value, then the purple one) span it.
TEST(CalibrationWindow, TwoAmplitudeLabelsSpanTheSelection) {
    tfixture f;
    tchannel& ch = f.doc().channel(0);
    tsinglearr steps(static_cast<std::size_t>(ch.sample_count()));
    for (std::size_t i = 0; i < steps.size(); ++i) steps[i] = i < 16000 ? 0.2f : 0.7f;
    ch.set_samples(std::move(steps));
    auto* two = [&]() -> QRadioButton* {
        for (QRadioButton* r : f.win->findChildren<QRadioButton*>())
            if (r->text().startsWith("Two amplitudes")) return r;
        return nullptr;
    }();
    ASSERT_NE(two, nullptr);
    QTest::mouseClick(two, Qt::LeftButton);
    ASSERT_TRUE(f.w.context().view.showcursors[3]);
    ch.cursors[3] = 0.2, ch.cursors[4] = 0.8;
    ch.cursors[5] = 1.2, ch.cursors[6] = 1.8;
    f.win->unitedit()->setText("cmH2O");
    f.win->amplitudeedit()->setText("0");
    f.win->amplitude2edit()->setText("10");
    QPushButton* go = nullptr;
    for (QPushButton* b : f.win->findChildren<QPushButton*>())
        if (b->text() == "Calibrate!") go = b;
    ASSERT_NE(go, nullptr);
    QTest::mouseClick(go, Qt::LeftButton);
    settle();
    EXPECT_NEAR(ch.sample(8000), 0, 1e-5);
    EXPECT_NEAR(ch.sample(24000), 10, 1e-5);
    ASSERT_EQ(ch.labels.size(), 2u);
    EXPECT_EQ(ch.labels[0].text, "0 cmH2O");
    EXPECT_EQ(ch.labels[1].text, "10 cmH2O");
    for (const tsiglabel& l : ch.labels) {
        EXPECT_DOUBLE_EQ(l.time, 0.5);
        EXPECT_DOUBLE_EQ(l.duration, 1.0);
        EXPECT_EQ(l.labeltype, "calibration");
    }
}
