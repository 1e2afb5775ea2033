// The T-naq window: the first prompt, the three lines after a period and a
// closed phase are marked on a train of symmetric triangles (T0 10 ms,
// NAQ 0.3, SQ 1), the log row, copying, the lock, and the empty document;
// mouse drags on a 16-bit LF vowel; T-naq and Invira following clicks and
// zooms in the main window.
#include <memory>
#include <QApplication>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

#include "engine/core/tchannel.h"
#include "engine/core/textclipboard.h"
#include "engine/dsp/numformat.h"
#include "engine/tools/lfvowel.h"
#include "engine/view/viewrange.h"
#include "gui/inversefilter/tinvirawindow.h"
#include "gui/inversefilter/ttnaqwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/view/channelstrip.h"
#include "gui/view/signalpanel.h"
#include "gui/view/waveformview.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

struct tmemoryclipboard : ttextclipboard {
    std::string text;
    void set_text(const std::string& t) override { text = t; }
};

struct tfixture : twindowfixture<ttnaqwindow> {
    tmemoryclipboard clip;
    tfixture() {
        w.context().clipboard.set_texts(&clip);
        tdocument& doc = w.document();
        doc.set_totnchans(2);
        for (int c = 0; c < 2; ++c) {
            tchannel& ch = doc.channel(c);
            ch.set_name(c == 0 ? "flow" : "other");
            ch.set_yunit("l/s");
            ch.sampfreq = 10000;
            tsinglearr s(20000);
            for (std::size_t i = 0; i < s.size(); ++i) {
                const int p = static_cast<int>(i % 100);
                s[i] = c == 1 ? 0.0f : static_cast<float>(p < 30 ? p / 30.0 : p < 60 ? (60 - p) / 30.0 : 0.0);
            }
            ch.set_samples(std::move(s));
        }
        doc.theglobal.channels_changed();
        doc.theglobal.set_timecursor(0.5);
        open("tnaq");
    }
    ~tfixture() { w.context().clipboard.set_texts(nullptr); }
};

}  // namespace

TEST(TnaqWindow, LinesLogCopyAndLock) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    f.win->finish_jobs();
    EXPECT_EQ(f.win->line(0), "Select a location in the flow waveform in the main window!");
    EXPECT_EQ(f.win->windowTitle(), "0: flow @ 0.500 s - T-Naq");
    f.win->mark_period(0.0131, 0.0231);
    f.win->finish_jobs();
    EXPECT_TRUE(f.win->line(0).startsWith("T=0.513 s, F0=100 Hz (G2 +35 cent), Min=0 l/s, Max=1 l/s"));
    EXPECT_TRUE(f.win->line(1).startsWith("T0=10 ms, ptp=1 l/s, MDR=333.33 l/s/s, AQ=3 ms, NAQ=0.3, H1/H2="));
    EXPECT_EQ(f.win->line(2), "Click and drag in the upper panel to mark the closed phase");
    f.win->mark_closed(0.02, 0.016);
    f.win->finish_jobs();
    EXPECT_EQ(f.win->line(2), "TC=4 ms, CQ=40 %, OQ=60 %, SQ=1");
    // Right-drag extremes stay until the next period.
    f.win->set_extremes(0.2, 0.9);
    f.win->finish_jobs();
    EXPECT_TRUE(f.win->line(1).startsWith("T0=10 ms, ptp=0.7 l/s"));

    f.win->logpointactionExecute();
    const auto& log = f.w.context().measurements.datalog;
    EXPECT_EQ(log.heading(), f.win->flow().heading());
    EXPECT_EQ(log.lines().back(), f.win->flow().datarow(f.doc().prefs));
    f.win->copyheaderactionExecute();
    EXPECT_EQ(f.clip.text, f.win->flow().heading());
    f.win->copyactionExecute();
    EXPECT_EQ(f.clip.text.substr(0, 17), "\tflow\t0.513\t10\t10");

    // Locked, a change of the current channel is not followed.
    f.win->action("lockaction")->trigger();
    f.doc().set_thischanno(1);
    f.doc().theglobal.fix_things();
    f.win->finish_jobs();
    EXPECT_EQ(f.win->flockchanno(), 0);
    f.win->action("lockaction")->trigger();
    f.doc().theglobal.fix_things();
    f.win->finish_jobs();
    EXPECT_EQ(f.win->flockchanno(), 1);

    // The early period gives the selection message.
    f.doc().set_thischanno(0);
    f.doc().theglobal.fix_things();
    f.win->mark_period(0.0031, 0.0131);
    f.win->finish_jobs();
    EXPECT_EQ(f.win->line(1), "Select a MDR peak further to the right to allow a full period before it!");

    f.doc().set_totnchans(0);
    f.win->finish_jobs();
    EXPECT_EQ(f.win->windowTitle(), "T-Naq");
    EXPECT_EQ(f.win->line(0), "");
}

// Marks made in a row are requests on the window's job line: the last one's
// measures are shown, the same as the engine's for those marks, and until
// its hand-back the lines stay as the last finished result left them.
TEST(TnaqWindow, NewerMarksWinAndEqualTheEngine) {
    tfixture f;
    f.win->finish_jobs();
    f.win->mark_period(0.0031, 0.0131);
    f.win->finish_jobs();
    const QString before = f.win->line(1);
    f.win->mark_period(0.0131, 0.0231);
    f.win->mark_closed(0.02, 0.016);
    f.win->mark_period(0.0231, 0.0331);
    EXPECT_TRUE(f.win->computing());
    EXPECT_EQ(f.win->line(1), before);
    f.win->finish_jobs();
    QTest::qWait(50);  // an older request's result would arrive here

    tglottalflow ref;
    ref.load_segment(f.doc().channel(0), 0.5);
    ref.mark_period(0.0031, 0.0131);
    ref.mark_period(0.0131, 0.0231);
    ref.mark_closed(0.02, 0.016);
    ref.mark_period(0.0231, 0.0331);
    const tpreferences& p = f.doc().prefs;
    EXPECT_EQ(f.win->line(0).toStdString(), ref.line1(p));
    EXPECT_EQ(f.win->line(1).toStdString(), ref.line2(p));
    EXPECT_EQ(f.win->line(2).toStdString(), ref.line3(p));
    EXPECT_TRUE(f.win->line(0).startsWith("T=0.523 s")) << f.win->line(0).toStdString();

    // Closed while a request runs: nothing breaks, the document stays.
    f.win->mark_period(0.0131, 0.0231);
    f.win->close();
    QTest::qWait(50);
    EXPECT_EQ(f.doc().totnchans(), 2);
    EXPECT_EQ(f.doc().channel(0).sample_count(), 20000);
}

namespace {

// A main window on the screen with a flow channel that is a 16-bit LF
// vowel (F0 120 Hz, NAQ 0.102, CQ 0.44, 44.1 kHz, peak flow at 5 % of full
// scale, so that the derivative has flat steps on its flanks) and a second
// channel of silence; the T-naq and Invira windows open.
struct tvowelfixture : tscriptedmain {
    const double fs = 44100;
    const tlfcycle cycle{1 / 120.0, 0.31, 0.47, 0.010, 0.56, 1.0};
    tvowel v = make_vowel(fs, 1.0, {cycle}, {});
    ttnaqwindow* tnaq = nullptr;
    tinvirawindow* invira = nullptr;
    tvowelfixture() {
        tdocument& doc = w.document();
        doc.set_totnchans(2);
        const double scale = 0.05 / v.pulses[0].peakflow();
        for (int c = 0; c < 2; ++c) {
            tchannel& ch = doc.channel(c);
            ch.set_name(c == 0 ? "flow" : "quiet");
            ch.set_yunit("l/s");
            ch.sampfreq = fs;
            tsinglearr s(v.flow.size());
            for (std::size_t i = 0; i < s.size(); ++i)
                s[i] = c ? 0.0f : static_cast<float>(std::round(v.flow[i] * scale * 32768) / 32768);
            ch.set_samples(std::move(s));
        }
        fix_xaxis(doc, true);
        doc.theglobal.channels_changed();
        doc.theglobal.set_timecursor(0.1);
        w.resize(1000, 600);
        w.show();
        tnaq = dynamic_cast<ttnaqwindow*>(w.windows().window("tnaq"));
        invira = dynamic_cast<tinvirawindow*>(w.windows().window("invira"));
        w.windows().show("tnaq");
        w.windows().show("invira");
        settle_jobs();
    }
    // The events, then the two windows' computations handed back.
    void settle_jobs() {
        settle();
        tnaq->finish_jobs();
        invira->finish_jobs();
        settle();
    }
    tdocument& doc() { return w.document(); }
    // MDR instant of cycle k, ms from the segment start at `at`.
    double te_ms(std::size_t k, double at) const { return (v.cyclestart[k] + v.pulses[k].te - at) * 1000; }
    // A left drag on the T-naq derivative panel from t1 to t2 (ms).
    void drag_derivative(double t1, double t2) {
        QWidget* c = tnaq->derplot()->canvas();
        const TAxis& x = tnaq->derplot()->xaxis()->axis();
        const int y = c->height() / 2;
        const QPoint a(x.value_to_pixel(t1), y), b(x.value_to_pixel(t2), y);
        QTest::mousePress(c, Qt::LeftButton, {}, a);
        QTest::mouseMove(c, (a + b) / 2);
        QTest::mouseMove(c, b);
        QTest::mouseRelease(c, Qt::LeftButton, {}, b);
        settle_jobs();
    }
    // The number after "<name>=" in a result line.
    static double value_in(const QString& line, const QString& name) {
        const int i = line.indexOf(name + "=");
        if (i < 0) return std::nan("");
        return line.mid(i + name.size() + 1).section(QRegularExpression("[ ,]"), 0, 0).toDouble();
    }
};

}  // namespace

// Dragging on the derivative a little before the MDR peaks, as a hand does,
// measures the cycle the peaks bound; a click or a drag over two cycles
// measures nothing and says what to do instead.
TEST(TnaqWindow, DragsOnTheDerivativeSnapOntoTheMDRPeaks) {
    tvowelfixture f;
    ASSERT_NE(f.tnaq, nullptr);
    const double naq = f.v.pulses[0].peakflow() / (f.cycle.Ee * f.cycle.T0);
    ASSERT_NEAR(naq, 0.102, 0.0005);
    const double te0 = f.te_ms(13, 0.1), te1 = f.te_ms(14, 0.1), te2 = f.te_ms(15, 0.1);

    // Press and release on one spot.
    const TAxis& x = f.tnaq->derplot()->xaxis()->axis();
    QTest::mouseClick(f.tnaq->derplot()->canvas(), Qt::LeftButton, {},
                      QPoint(x.value_to_pixel(te0), f.tnaq->derplot()->canvas()->height() / 2));
    f.settle_jobs();
    EXPECT_EQ(f.tnaq->line(0), "Keep the button down and drag to the next MDR peak to mark a period");
    EXPECT_EQ(f.tnaq->line(1), "");
    EXPECT_FALSE(f.tnaq->flow().period_ok());

    f.drag_derivative(te0 - 0.4, te1 - 0.4);
    ASSERT_TRUE(f.tnaq->flow().period_ok()) << f.tnaq->line(0).toStdString();
    const QString l2 = f.tnaq->line(1);
    EXPECT_TRUE(l2.startsWith("T0=")) << l2.toStdString();
    EXPECT_NEAR(tvowelfixture::value_in(l2, "NAQ"), naq, 0.03 * naq) << l2.toStdString();
    EXPECT_NEAR(tvowelfixture::value_in(l2, "T0"), f.cycle.T0 * 1000, 0.05) << l2.toStdString();
    EXPECT_EQ(f.tnaq->line(2), "Click and drag in the upper panel to mark the closed phase");

    // The closed phase of this cycle gives CQ 0.44 and a positive SQ.
    QWidget* up = f.tnaq->flowplot()->canvas();
    const TAxis& ux = f.tnaq->flowplot()->xaxis()->axis();
    const double c0 = (f.v.cyclestart[13] + f.cycle.tc * f.cycle.T0 - 0.1) * 1000;
    const double c1 = (f.v.cyclestart[14] - 0.1) * 1000;
    QTest::mousePress(up, Qt::LeftButton, {}, QPoint(ux.value_to_pixel(c0), 10));
    QTest::mouseMove(up, QPoint(ux.value_to_pixel(c1), 10));
    QTest::mouseRelease(up, Qt::LeftButton, {}, QPoint(ux.value_to_pixel(c1), 10));
    f.settle_jobs();
    const QString l3 = f.tnaq->line(2);
    EXPECT_NEAR(tvowelfixture::value_in(l3, "CQ"), 44, 1.5) << l3.toStdString();
    EXPECT_GT(tvowelfixture::value_in(l3, "SQ"), 0) << l3.toStdString();

    f.drag_derivative(te0 - 0.4, te2 - 0.4);
    EXPECT_EQ(f.tnaq->line(0),
              "More than one cycle between the marks: drag in the lower panel from one MDR peak to the next");
    EXPECT_EQ(f.tnaq->line(1), "");
    // Nothing to log while no cycle is marked.
    const std::size_t logged = f.w.context().measurements.datalog.lines().size();
    f.tnaq->action("logpointaction")->trigger();
    EXPECT_EQ(f.w.context().measurements.datalog.lines().size(), logged);
}

// Clicks in the main window move the time cursor and may change the current
// channel; zooms only redraw. The Invira and T-naq windows follow at once.
TEST(TnaqWindow, ToolWindowsFollowClicksAndZoomsInTheMainWindow) {
    tvowelfixture f;
    ASSERT_NE(f.invira, nullptr);
    tdocument& doc = f.doc();
    auto expect_following = [&](int chno, const char* name) {
        f.settle_jobs();
        const QString t = QString::fromStdString(format_float_pattern(doc.prefs.SecondsFormat, doc.theglobal.timecursor()));
        EXPECT_EQ(f.tnaq->flockchanno(), chno);
        EXPECT_EQ(f.tnaq->windowTitle(), QString::number(chno) + ": " + name + " @ " + t + " s - T-Naq");
        EXPECT_EQ(f.invira->flockchanno(), chno);
        EXPECT_TRUE(f.invira->windowTitle().startsWith(QString::number(chno) + ": " + name + " @ " + t + " s - "))
            << f.invira->windowTitle().toStdString();
    };
    expect_following(0, "flow");

    twaveformview* quiet = f.w.signalpanel()->strip(1).wave;
    twaveformview* flow = f.w.signalpanel()->strip(0).wave;
    QTest::mouseClick(quiet, Qt::LeftButton, {}, QPoint(300, quiet->height() / 2));
    ASSERT_EQ(doc.thischanno(), 1);
    ASSERT_NE(doc.theglobal.timecursor(), 0.1);
    expect_following(1, "quiet");

    // A selection on the flow channel, then a zoom onto it.
    QTest::mousePress(flow, Qt::LeftButton, {}, QPoint(400, flow->height() / 2));
    QTest::mouseMove(flow, QPoint(500, flow->height() / 2));
    QTest::mouseRelease(flow, Qt::LeftButton, {}, QPoint(500, flow->height() / 2));
    expect_following(0, "flow");
    f.w.commands().action("zoomaction")->trigger();
    expect_following(0, "flow");
    QTest::mouseClick(flow, Qt::LeftButton, {}, QPoint(200, flow->height() / 2));
    expect_following(0, "flow");
    EXPECT_NEAR(f.tnaq->flow().cursortime, doc.xaxis.pixel_to_value(200), 1e-12);

    // Locked, T-naq keeps its channel but follows the time.
    f.tnaq->action("lockaction")->trigger();
    QTest::mouseClick(quiet, Qt::LeftButton, {}, QPoint(250, quiet->height() / 2));
    f.settle_jobs();
    EXPECT_EQ(f.tnaq->flockchanno(), 0);
    EXPECT_NEAR(f.tnaq->flow().cursortime, doc.theglobal.timecursor(), 1e-12);
}

// "Log all cycles" logs one row per triangle of the selection, each the row
// the engine's cycle finder gives, and without a selection only asks for one.
TEST(TnaqWindow, LogAllCyclesOfTheSelection) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    auto& log = f.w.context().measurements.datalog;
    const std::size_t asked = f.prompter->asked.size();
    EXPECT_EQ(f.win->logallactionExecute(), 0);
    EXPECT_EQ(f.prompter->asked.size(), asked + 1);
    f.doc().theglobal.set_selection(0.5, 0.6);
    const std::size_t before = log.lines().size();
    EXPECT_EQ(f.win->logallactionExecute(), 9);
    ASSERT_GE(log.lines().size(), before + 9);
    const std::vector<std::string> rows(log.lines().end() - 9, log.lines().end());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EXPECT_NE(rows[k].find("\tflow\t0.5" + std::to_string(k) + "3\t10\t100\t"), std::string::npos) << rows[k];
        EXPECT_NE(rows[k].find("\t0.3\t"), std::string::npos) << rows[k];
        EXPECT_NE(rows[k].find("\t0.4\t0.6\t1\t"), std::string::npos) << rows[k];
    }
}
