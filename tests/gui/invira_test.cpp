// The Invira window: the mouse tools on the spectrum (add, add zero, move
// with Ctrl for fine steps, delete, the right-button cycle), the list of
// elements, the rate warnings and title, and making channels with the log;
// the recomputations as jobs (a newer handle move wins over an older one)
// and "Make channels" on a long signal keeping the event loop running, its
// "Cancel" leaving the document and the log as they were; "Estimate filter"
// as a job (progress, "Cancel", a newer estimate superseding an older one,
// closing the window or the program mid-run).
#include <memory>
#include <QApplication>
#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tchannel.h"
#include "gui/inversefilter/tinvirawindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/measurements/tmeasurementcommands.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// The excitation every 8 ms: a unit pulse, or (glottal) the derivative of
// a Rosenberg glottal pulse (opening over 40 % of the period, closing over
// 16 %, closed for the rest) as a voice has.
double excitation(std::size_t i, double fs, bool glottal) {
    const std::size_t period = static_cast<std::size_t>(fs * 0.008);
    if (!glottal) return i % period == 0 ? 1.0 : 0.0;
    const double T = static_cast<double>(period), tp = 0.4 * T, tn = 0.16 * T;
    const auto flow = [&](double t) {
        t = std::fmod(t + T, T);
        if (t < tp) return 0.5 * (1 - std::cos(M_PI * t / tp));
        if (t < tp + tn) return std::cos(M_PI * (t - tp) / (2 * tn));
        return 0.0;
    };
    return flow(static_cast<double>(i)) - flow(static_cast<double>(i) - 1);
}

struct tfixture : twindowfixture<tinvirawindow> {
    explicit tfixture(double fs = 16000, bool glottal = false) {
        tdocument& doc = w.document();
        doc.set_totnchans(1);
        tchannel& ch = doc.channel(0);
        ch.set_name("mic");
        ch.sampfreq = fs;
        tsinglearr s(static_cast<std::size_t>(fs));
        // Excitation every 8 ms through one 800 Hz resonance.
        double y1 = 0, y2 = 0;
        const double C = -std::exp(-2 * M_PI * 80 / fs), B = 2 * std::exp(-M_PI * 80 / fs) * std::cos(2 * M_PI * 800 / fs);
        for (std::size_t i = 0; i < s.size(); ++i) {
            const double x = excitation(i, fs, glottal);
            const double y = (1 - B - C) * x + B * y1 + C * y2;
            y2 = y1, y1 = y;
            s[i] = static_cast<float>(y);
        }
        ch.set_samples(std::move(s));
        doc.theglobal.channels_changed();
        doc.theglobal.set_timecursor(0.25);
        open("invira");
        win->finish_jobs();
    }
    QPointF at(double f, double db) {
        TAxis& x = win->specplot()->xaxis()->axis();
        TAxis& y = win->specplot()->yaxis()->axis();
        return QPointF(x.value_to_notclippedpixel(f), y.value_to_notclippedpixel(db));
    }
    void click(QPointF p, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
        win->spectrum_press(p, b, m);
        win->spectrum_release(p, b, m);
    }
};

}  // namespace

TEST(InviraWindow, ToolsAddMoveDeleteAndCycle) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    EXPECT_EQ(f.win->windowTitle().toStdString().substr(0, 12), "0: mic @ 0.2");
    EXPECT_EQ(f.win->warning_text(), "");
    // The right button cycles the tools; move and delete only with elements.
    EXPECT_EQ(f.win->tool(), fanone);
    f.click(f.at(500, 0), Qt::RightButton);
    EXPECT_EQ(f.win->tool(), faadd);
    f.click(f.at(500, 0), Qt::RightButton);
    EXPECT_EQ(f.win->tool(), faaddzero);
    f.click(f.at(500, 0), Qt::RightButton);
    EXPECT_EQ(f.win->tool(), fanone);

    f.win->set_tool(faadd);
    f.click(f.at(800, 20));
    f.click(f.at(2000, 20));
    f.win->set_tool(faaddzero);
    f.click(f.at(1500, 25));
    tinvfilter& flt = f.win->filter();
    ASSERT_EQ(flt.formants.size(), 3u);
    EXPECT_NEAR(flt.formants[0].f0, 800, 15);
    EXPECT_NEAR(flt.formants[0].bw, flt.formants[0].f0 / 10, 3);
    EXPECT_TRUE(flt.formants[1].iszero);
    f.win->finish_jobs();
    EXPECT_EQ(f.win->status()->text(2).toStdString(), "");
    ASSERT_EQ(flt.invfilters.size(), 2u);
    EXPECT_EQ(flt.invfilters[0].GetFilterType(), tfiltertype::ftboth);
    EXPECT_EQ(f.win->memo_text().count('\n'), 2);
    EXPECT_TRUE(f.win->memo_text().startsWith("F1: f="));

    // The cycle now reaches move and delete.
    f.win->set_tool(faaddzero);
    f.click(f.at(500, 0), Qt::RightButton);
    EXPECT_EQ(f.win->tool(), famove);
    f.click(f.at(500, 0), Qt::RightButton);
    EXPECT_EQ(f.win->tool(), fadelete);

    // Move: the handle follows the pointer and the outputs follow at once.
    f.win->set_tool(famove);
    const std::vector<double> before = flt.invderarr;
    const QPointF h = f.at(flt.formants[0].f0, handle_level(flt.formants[0].f0, flt.formants[0].bw));
    f.win->spectrum_press(h + QPointF(2, 1), Qt::LeftButton, Qt::NoModifier);
    f.win->spectrum_move(f.at(700, 20), Qt::LeftButton, Qt::NoModifier);
    f.win->finish_jobs();
    EXPECT_NEAR(flt.formants[0].f0, 700, 15);
    EXPECT_NE(flt.invderarr, before);
    // With Ctrl a tenth of the movement.
    f.win->spectrum_release(f.at(700, 20), Qt::LeftButton, Qt::NoModifier);
    const double f0 = flt.formants[0].f0;
    const QPointF h2 = f.at(f0, handle_level(f0, flt.formants[0].bw));
    f.win->spectrum_press(h2, Qt::LeftButton, Qt::NoModifier);
    f.win->spectrum_release(h2 + QPointF(100, 0), Qt::LeftButton, Qt::ControlModifier);
    TAxis& x = f.win->specplot()->xaxis()->axis();
    EXPECT_NEAR(flt.formants[0].f0, x.pixel_to_value(static_cast<int>(h2.x()) + 10), 1e-6);

    // Delete all: the tool returns to none and move/delete are disabled.
    f.win->set_tool(fadelete);
    while (!flt.formants.empty()) {
        const tformant e = flt.formants[0];
        f.click(f.at(e.f0, handle_level(e.f0, e.bw)));
    }
    EXPECT_EQ(f.win->tool(), fanone);
    EXPECT_FALSE(f.win->action("moveaction")->isEnabled());
}

TEST(InviraWindow, RateWarningAndNoChannels) {
    tfixture f(44100);
    EXPECT_EQ(f.win->warning_text(),
              "The signal has a very high sampling rate (44100 Hz), you may want to change it to eg 16000 Hz.");
    EXPECT_EQ(f.win->unit_warning_text(), "Channel 0 is not calibrated in Pa");
    f.doc().set_totnchans(0);
    f.win->finish_jobs();
    EXPECT_EQ(f.win->windowTitle(), "Invira");
    for (double v : f.win->filter().invderarr) ASSERT_EQ(v, 0);
}

TEST(InviraWindow, MakeChannelsLogsAndAddsTwoChannels) {
    tfixture f;
    tinvfilter& flt = f.win->filter();
    flt.add_element(false, 800, 80);
    const std::size_t lines = f.w.measurements().measurements().datalog.lines().size();
    f.win->findChild<QRadioButton*>("rangeradio2")->setChecked(true);
    f.win->saveactionExecute();
    ASSERT_EQ(f.doc().totnchans(), 3);
    EXPECT_EQ(f.doc().channel(1).name(), "mic inverse filtered flow");
    EXPECT_EQ(f.doc().channel(2).name(), "mic inverse filtered flow derivative");
    EXPECT_EQ(f.doc().channel(2).yunit(), "");
    // A new heading goes in first, then the filter's line.
    EXPECT_EQ(f.w.measurements().measurements().datalog.lines().size(), lines + 2);
    EXPECT_EQ(f.w.measurements().measurements().datalog.lines().back().substr(0, 4), "\tmic");
    EXPECT_EQ(f.w.measurements().measurements().datalog.heading(), "File name\tChannel\tTime [s]\tF1 [Hz]\tB1 [Hz]\t");
    // The derivative is the pulse train again: the resonance is gone.
    const tsinglearr d = f.doc().channel(2).samples_array();
    EXPECT_NEAR(d[128 * 10 + 5] / d[128 * 10], 0.0, 1e-3);
}

// A drag sends one request per move; the last one's numbers are the ones
// shown, equal to the engine's for the element where the drag ended.
TEST(InviraWindow, NewerHandleMoveWinsOverTheOlder) {
    tfixture f;
    QWidget* canvas = f.win->specplot()->canvas();
    f.win->set_tool(faadd);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, f.at(800, 20).toPoint());
    f.win->finish_jobs();
    tinvfilter& flt = f.win->filter();
    ASSERT_EQ(flt.formants.size(), 1u);
    const std::vector<double> first = flt.invderarr;

    f.win->set_tool(famove);
    const tformant e = flt.formants[0];
    QTest::mousePress(canvas, Qt::LeftButton, {}, f.at(e.f0, handle_level(e.f0, e.bw)).toPoint());
    QTest::mouseMove(canvas, f.at(650, 20).toPoint());
    QTest::mouseMove(canvas, f.at(1300, 25).toPoint());
    EXPECT_TRUE(f.win->computing());
    // Until the hand-back the window still has the last finished outputs.
    EXPECT_EQ(flt.invderarr, first);
    f.win->finish_jobs();
    QTest::qWait(100);  // an older request's result would arrive here
    ASSERT_EQ(flt.formants.size(), 1u);
    EXPECT_NEAR(flt.formants[0].f0, 1300, 20);

    tinvfilter ref;
    ref.load_segment(f.doc().channel(0), f.doc().theglobal.timecursor());
    ref.formants = flt.formants;
    ref.rebuild_cascade();
    ref.recompute_outputs();
    EXPECT_EQ(flt.invderarr, ref.invderarr);
    EXPECT_EQ(flt.invflowarr, ref.invflowarr);
    EXPECT_EQ(flt.invfilterarr, ref.invfilterarr);
    EXPECT_NE(flt.invderarr, first);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, f.at(1300, 25).toPoint());
    f.win->finish_jobs();
    // The list names it F1 and gives its frequency near where it was left.
    const QString memo = f.win->memo_text();
    ASSERT_TRUE(memo.startsWith("F1: f=")) << memo.toStdString();
    EXPECT_NEAR(memo.mid(6).section(' ', 0, 0).toDouble(), 1300, 20) << memo.toStdString();

    // A picture of the window, for a look at it.
    if (const char* dir = std::getenv("TESSAL_INVIRA_SHOT_DIR")) f.win->grab().save(QString(dir) + "/invira.png");
}

// "Make channels" over a long signal: the event loop runs while it
// filters, a progress dialog offers "Cancel", and cancelling leaves the
// document and the log as they were; without cancelling it makes them.
TEST(InviraWindow, MakeChannelsOnALongSignalCanBeCancelled) {
    tfixture f;
    tdocument& doc = f.doc();
    {
        tsinglearr s(6000000);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<float>(0.3 * std::sin(i * 0.05) + 0.1 * std::sin(i * 0.37));
        doc.channel(0).set_samples(std::move(s));
        doc.theglobal.channels_changed();
    }
    tinvfilter& flt = f.win->filter();
    for (double fr : {500.0, 900.0, 1500.0, 2300.0, 3100.0, 3900.0}) flt.add_element(false, fr, fr / 10);
    f.win->findChild<QRadioButton*>("rangeradio2")->setChecked(true);  // entire file
    f.win->finish_jobs();
    const std::size_t loglines = f.w.measurements().measurements().datalog.lines().size();

    int tickswhilewaiting = 0;
    bool waiting = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { tickswhilewaiting += waiting; });
    timer.start(10);
    tessal::testing::tprogresscanceller canceller("Making inverse filtered channels", [&] { return tickswhilewaiting >= 3; });
    waiting = true;
    f.win->action("saveaction")->trigger();
    waiting = false;
    EXPECT_TRUE(canceller.clicked());
    EXPECT_GE(tickswhilewaiting, 3);
    QTest::qWait(100);
    EXPECT_EQ(doc.totnchans(), 1);
    EXPECT_EQ(doc.channel(0).sample_count(), 6000000);
    EXPECT_EQ(f.w.measurements().measurements().datalog.lines().size(), loglines);

    // Without cancelling: both channels, as long as the source.
    f.win->action("saveaction")->trigger();
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(1).sample_count(), 6000000);
    EXPECT_GT(f.w.measurements().measurements().datalog.lines().size(), loglines);
}

// "Estimate filter" on glottal pulses through one 800 Hz resonance finds
// that resonance among the elements, sets the type and high-pass the
// estimate assumes, and "Undo estimate" returns to the elements before it.
TEST(InviraWindow, EstimateFilterFromTheSelectionAndUndo) {
    tfixture f(16000, true);
    ASSERT_NE(f.win, nullptr);
    tinvfilter& filt = f.win->filter();
    filt.add_element(true, 3000, 200);
    f.win->findChild<QRadioButton*>("flowradio")->setChecked(true);
    const std::vector<tformant> before = filt.formants;
    EXPECT_FALSE(f.win->findChild<QPushButton*>("undoestimatebutton")->isEnabled());
    f.doc().theglobal.set_selection(0.2, 0.6);
    f.win->findChild<QPushButton*>("estimatebutton")->click();
    f.win->finish_jobs();
    ASSERT_FALSE(filt.formants.empty());
    const auto narrowest = std::min_element(filt.formants.begin(), filt.formants.end(),
                                            [](const tformant& a, const tformant& b) { return a.bw < b.bw; });
    EXPECT_NEAR(narrowest->f0, 800, 30);  // harmonics 125 Hz apart pull it a little
    EXPECT_NEAR(narrowest->bw, 80, 30);
    EXPECT_TRUE(f.win->findChild<QRadioButton*>("micradio")->isChecked());
    EXPECT_EQ(filt.signaltype, tinvsignaltype::mic);
    EXPECT_EQ(filt.fhpfilterfreq, 20.0);
    EXPECT_TRUE(f.win->memo_text().contains("F1: f="));
    EXPECT_TRUE(f.win->findChild<QPushButton*>("undoestimatebutton")->isEnabled());
    // A second estimate, then two undos back to the start.
    f.win->findChild<QPushButton*>("estimatebutton")->click();
    f.win->finish_jobs();
    f.win->findChild<QPushButton*>("undoestimatebutton")->click();
    f.win->findChild<QPushButton*>("undoestimatebutton")->click();
    f.win->finish_jobs();
    ASSERT_EQ(filt.formants.size(), before.size());
    EXPECT_EQ(filt.formants[0].f0, 3000.0);
    EXPECT_TRUE(filt.formants[0].iszero);
    EXPECT_TRUE(f.win->findChild<QRadioButton*>("flowradio")->isChecked());
    EXPECT_FALSE(f.win->findChild<QPushButton*>("undoestimatebutton")->isEnabled());
    // Silence is refused with a message and changes nothing.
    f.doc().channel(0).set_samples(tsinglearr(16000, 0.0f));
    f.doc().theglobal.channels_changed();
    const std::size_t asked = f.prompter->asked.size();
    f.win->findChild<QPushButton*>("estimatebutton")->click();
    f.win->finish_jobs();
    ASSERT_EQ(f.prompter->asked.size(), asked + 1);
    EXPECT_NE(f.prompter->asked.back().text.find("silent"), std::string::npos);
    EXPECT_EQ(filt.formants.size(), before.size());
}

namespace {

// Three minutes at 16 kHz of the fixture's pulses through one resonance,
// selected whole: an estimate long enough to be seen running.
void long_selection(tfixture& f) {
    tdocument& doc = f.doc();
    const double fs = 16000;
    tsinglearr s(static_cast<std::size_t>(180 * fs));
    double y1 = 0, y2 = 0;
    const double C = -std::exp(-2 * M_PI * 80 / fs), B = 2 * std::exp(-M_PI * 80 / fs) * std::cos(2 * M_PI * 800 / fs);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double x = excitation(i, fs, true);
        const double y = (1 - B - C) * x + B * y1 + C * y2;
        y2 = y1, y1 = y;
        s[i] = static_cast<float>(y);
    }
    doc.channel(0).set_samples(std::move(s));
    doc.theglobal.channels_changed();
    doc.theglobal.set_selection(0, 180);
    f.win->finish_jobs();
}

}  // namespace

// While a long estimate runs the window's event loop turns (a timer ticks,
// the status bar counts its progress) and "Cancel" is offered; cancelling
// leaves the elements and the undo as they were, even after the worker
// would have finished.
TEST(InviraWindow, EstimateRunsAsAJobAndCanBeCancelled) {
    tfixture f;
    long_selection(f);
    tinvfilter& filt = f.win->filter();
    filt.add_element(false, 3000, 200);
    const std::vector<tformant> before = filt.formants;
    auto* cancel = f.win->findChild<QPushButton*>("cancelestimatebutton");
    ASSERT_NE(cancel, nullptr);
    EXPECT_FALSE(cancel->isEnabled());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    f.win->findChild<QPushButton*>("estimatebutton")->click();
    ASSERT_TRUE(f.win->estimating());
    EXPECT_TRUE(cancel->isEnabled());
    QTest::qWait(100);
    ASSERT_TRUE(f.win->estimating()) << "the estimate finished too soon to be cancelled";
    EXPECT_GE(ticks, 3);
    EXPECT_TRUE(f.win->status()->text(2).startsWith("Estimating filter - ")) << f.win->status()->text(2).toStdString();
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(f.win->estimating());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(f.win->status()->text(2), "Estimate cancelled");
    QTest::qWait(100);
    f.win->finish_jobs();
    ASSERT_EQ(filt.formants.size(), before.size());
    EXPECT_EQ(filt.formants[0].f0, 3000.0);
    EXPECT_FALSE(f.win->findChild<QPushButton*>("undoestimatebutton")->isEnabled());
}

// Two estimates in a row: the older is superseded and never handed back,
// so one undo returns to the elements before both; the newer's result is
// the resonance.
TEST(InviraWindow, NewerEstimateSupersedesTheOlder) {
    tfixture f;
    long_selection(f);
    tinvfilter& filt = f.win->filter();
    filt.add_element(true, 3000, 200);
    f.win->findChild<QPushButton*>("estimatebutton")->click();
    QTest::qWait(20);
    // The newer over a short span only.
    f.doc().theglobal.set_selection(1.0, 1.4);
    f.win->findChild<QPushButton*>("estimatebutton")->click();
    f.win->finish_jobs();
    EXPECT_FALSE(f.win->estimating());
    const auto narrowest = std::min_element(filt.formants.begin(), filt.formants.end(),
                                            [](const tformant& a, const tformant& b) { return a.bw < b.bw; });
    ASSERT_NE(narrowest, filt.formants.end());
    EXPECT_NEAR(narrowest->f0, 800, 30);
    f.win->findChild<QPushButton*>("undoestimatebutton")->click();
    f.win->finish_jobs();
    ASSERT_EQ(filt.formants.size(), 1u);
    EXPECT_TRUE(filt.formants[0].iszero);
    EXPECT_FALSE(f.win->findChild<QPushButton*>("undoestimatebutton")->isEnabled());
}

// Closing the window mid-run cancels the estimate (nothing lands in the
// hidden window), and the program going away mid-run waits for the worker
// before the window's members go (the sanitizer build sees any use after).
TEST(InviraWindow, ClosingMidEstimateIsSafe) {
    {
        tfixture f;
        long_selection(f);
        const std::size_t n = f.win->filter().formants.size();
        f.win->findChild<QPushButton*>("estimatebutton")->click();
        ASSERT_TRUE(f.win->estimating());
        f.win->close();
        EXPECT_FALSE(f.win->estimating());
        QTest::qWait(100);
        EXPECT_EQ(f.win->filter().formants.size(), n);
    }
    {
        tfixture f;
        long_selection(f);
        f.win->findChild<QPushButton*>("estimatebutton")->click();
        ASSERT_TRUE(f.win->estimating());
        QTest::qWait(20);
    }
    SUCCEED();
}
