// The T-naq window: the first prompt, the three lines after a period and a
// closed phase are marked on a train of symmetric triangles (T0 10 ms,
// NAQ 0.3, SQ 1), the log row, copying, the lock, and the empty document.
#include <QApplication>
#include <gtest/gtest.h>

#include "engine/core/tchannel.h"
#include "engine/core/textclipboard.h"
#include "gui/inversefilter/ttnaqwindow.h"
#include "gui/mainwindow/mainwindow.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

struct tmemoryclipboard : ttextclipboard {
    std::string text;
    void set_text(const std::string& t) override { text = t; }
};

struct tfixture {
    tscriptedprompter* prompter = new tscriptedprompter;
    TMainWindow w{prompter};
    ttnaqwindow* win = nullptr;
    tmemoryclipboard clip;
    tfixture() {
        w.first_activation({});
        w.context().clipboard.set_texts(&clip);
        tdocument& doc = w.document();
        doc.set_totnchans(2);
        for (int c = 0; c < 2; ++c) {
            tchannel& ch = doc.channel(c);
            ch.set_name(c == 0 ? "flow" : "other");
            ch.set_yunit("l/s");
            ch.sampfreq = 10000;
            ch.sig.resize(20000);
            for (std::size_t i = 0; i < ch.sig.size(); ++i) {
                const int p = static_cast<int>(i % 100);
                ch.sig[i] = c == 1 ? 0.0f : static_cast<float>(p < 30 ? p / 30.0 : p < 60 ? (60 - p) / 30.0 : 0.0);
            }
        }
        doc.theglobal.channels_changed();
        doc.theglobal.set_timecursor(0.5);
        win = dynamic_cast<ttnaqwindow*>(w.windows().window(twindowid::tnaq));
        w.windows().show(twindowid::tnaq);
        settle();
    }
    ~tfixture() { w.context().clipboard.set_texts(nullptr); }
    tdocument& doc() { return w.document(); }
};

}  // namespace

TEST(TnaqWindow, LinesLogCopyAndLock) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    EXPECT_EQ(f.win->line(0), "Select a location in the flow waveform in the main window!");
    EXPECT_EQ(f.win->windowTitle(), "0: flow @ 0.500 s - T-Naq");
    f.win->mark_period(0.0131, 0.0231);
    EXPECT_TRUE(f.win->line(0).startsWith("T=0.513 s, F0=100 Hz (G2 +35 cent), Min=0 l/s, Max=1 l/s"));
    EXPECT_TRUE(f.win->line(1).startsWith("T0=10 ms, ptp=1 l/s, MDR=333.33 l/s/s, AQ=3 ms, NAQ=0.3, H1/H2="));
    EXPECT_EQ(f.win->line(2), "Click and drag in the upper panel to mark the closed phase");
    f.win->mark_closed(0.02, 0.016);
    EXPECT_EQ(f.win->line(2), "TC=4 ms, CQ=40 %, OQ=60 %, SQ=1");
    // Right-drag extremes stay until the next period.
    f.win->set_extremes(0.2, 0.9);
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
    f.win->ensure_current();
    EXPECT_EQ(f.win->flockchanno(), 0);
    f.win->action("lockaction")->trigger();
    f.doc().theglobal.fix_things();
    f.win->ensure_current();
    EXPECT_EQ(f.win->flockchanno(), 1);

    // The early period gives the selection message.
    f.doc().set_thischanno(0);
    f.doc().theglobal.fix_things();
    f.win->mark_period(0.0031, 0.0131);
    EXPECT_EQ(f.win->line(1), "Select a MDR peak further to the right to allow a full period before it!");

    f.doc().set_totnchans(0);
    f.win->ensure_current();
    EXPECT_EQ(f.win->windowTitle(), "T-Naq");
    EXPECT_EQ(f.win->line(0), "");
}
