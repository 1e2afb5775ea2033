// The correlation window: the curve of a 100 Hz sine at the time cursor is
// the engine's, peaking at 10 ms; snap to peak puts the shared frequency
// cursor at 100 Hz with r = 1 and the exact status texts; the curve follows
// the time cursor and the window length; "Log cursor" writes the engine's
// line; settings are kept in a file.
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
    }
};

}  // namespace

TEST(CorrelationWindow, SineCurveSnapAndStatus) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    const std::vector<double>& r = f.win->correlation_of(0);
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
    for (double v : f.win->correlation_of(0)) EXPECT_EQ(v, 0);
    // A shorter window gives a curve over the same lags from fewer samples.
    f.doc().theglobal.set_timecursor(0.25);
    f.win->set_winlength(0.02);
    EXPECT_EQ(f.win->correlation_of(0), correlation_at(sample_view(f.doc().channel(0)), 0.02, 0.25, 40));
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
    EXPECT_EQ(f.win->correlation_of(0).size(), 240u);
    // The value axis has its dialog too.
    ASSERT_TRUE(set_limits_by_dialog(f.win->plot()->yaxis(), "-0.5", "1", false));
    EXPECT_DOUBLE_EQ(f.win->plot()->yaxis()->axis().GetLoValue(), -0.5);
    EXPECT_DOUBLE_EQ(f.win->plot()->yaxis()->axis().GetHiValue(), 1);
}
