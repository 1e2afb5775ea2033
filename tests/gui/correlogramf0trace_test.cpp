// "Trace from F0" in the correlogram window: on a synthetic vowel (a glide
// whose every cycle's F0 is known) the command makes the trace, which is
// then "Extract F0/T0"'s without drawing and gives the true F0; a trace
// drawn and modified is kept unless the user lets it go; "Cancel" leaves
// the trace and the document as they were.
#include <QComboBox>
#include <QCheckBox>
#include <QStatusBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tchannel.h"
#include "engine/process/synthvowel.h"
#include "gui/spectrogram/tcorrelogramwindow.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

constexpr double fs = 16000;

QToolButton* button(tcorrelogramwindow* win, const char* action) {
    for (QToolButton* b : win->findChildren<QToolButton*>())
        if (b->defaultAction() == win->action(action)) return b;
    return nullptr;
}

}  // namespace

TEST(CorrelogramF0Trace, TraceFromF0ThenExtractGivesTheVowelsF0) {
    tvowelparams p;
    p.fs = fs;
    p.voiced = 0.8;
    p.f0 = [](double t) { return 120 + 60 * t; };
    p.snrdb = 35;
    p.formants = {{650, 80}, {1100, 90}, {2500, 120}};
    const tvowel v = make_vowel(p);
    twindowfixture<tcorrelogramwindow> f;
    tdocument& doc = f.doc();
    tchannel& ch = doc.create_channel(0);
    ch.sampfreq = ch.orgsampfreq = fs;
    ch.set_name("v");
    ch.set_samples(tsinglearr(v.x));
    ch.set_fsd(1);
    doc.theglobal.channels_changed();
    doc.xaxis.set_hilovalues(v.x.size() / fs, 0);  // the span: the whole vowel and its silences
    f.open("correlogram", {900, 600});
    f.win->wait_for_workers();
    settle();
    doc.set_modified(false);

    QToolButton* trace = button(f.win, "tracefromf0action");
    ASSERT_NE(trace, nullptr);
    EXPECT_EQ(trace->text(), "Trace from F0");
    QTest::mouseClick(trace, Qt::LeftButton);
    const std::vector<TTracePoint> made = f.win->trace(0);
    ASSERT_GT(made.size(), 60u);
    // A cut in the silence before and after the vowel; the points' bands
    // hold the true F0.
    EXPECT_TRUE(made.front().cut);
    EXPECT_TRUE(made.back().cut);
    for (const TTracePoint& q : made)
        if (!q.cut && std::fabs(q.t - v.start.front()) > 0.03 && std::fabs(q.t - v.start.back()) > 0.03) {
            const double truth = v.f0_at(q.t);
            EXPECT_NEAR((q.fmin + q.fmax) / 2, truth, 0.02 * truth) << q.t;
        }
    // Set as a drawn trace: modified, the document not.
    EXPECT_TRUE(f.win->trace_modified(0));
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(f.w.statusBar()->currentMessage(), "100%, done!");

    // Extraction along it, without drawing: F0 every 10 ms.
    f.win->findChild<QComboBox*>("analyzecombo")->setCurrentIndex(0);
    f.win->findChild<QCheckBox*>("keepratecheck")->setChecked(false);
    type_into(f.win->findChild<QLineEdit*>("skipedit"), "160");
    QToolButton* extract = button(f.win, "extractaction");
    ASSERT_NE(extract, nullptr);
    QTest::mouseClick(extract, Qt::LeftButton);
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(1).name(), "v F0");
    const tsinglearr f0 = doc.channel(1).samples_array();
    int voiced = 0;
    for (std::size_t k = 0; k < f0.size(); ++k) {
        const double t = k * 0.01, mid = t + 0.009;
        if (std::fabs(t - v.start.front()) < 0.03 || std::fabs(t - v.start.back()) < 0.03) continue;
        const double truth = v.f0_at(mid);
        if (truth > 0) {
            ++voiced;
            EXPECT_NEAR(f0[k], truth, 0.01 * truth) << t;
        } else {
            EXPECT_EQ(f0[k], -1) << t;
        }
    }
    EXPECT_GT(voiced, 60);

    // The trace is modified: asked again, the answer "No" keeps it.
    f.prompter->asked.clear();
    f.win->trace(0).pop_back();
    const std::vector<TTracePoint> edited = f.win->trace(0);
    QTest::mouseClick(trace, Qt::LeftButton);
    ASSERT_EQ(f.prompter->asked.size(), 1u);
    EXPECT_EQ(f.prompter->asked[0].caption, "Trace has been modified");
    EXPECT_EQ(f.win->trace(0), edited);
}

// On a long channel the progress dialog shows; "Cancel" leaves the trace
// (unmodified, so not asked about) and the document as they were.
TEST(CorrelogramF0Trace, CancelLeavesTheTraceAndDocument) {
    twindowfixture<tcorrelogramwindow> f;
    tone_channels(f.doc(), 600.0, fs, 125);
    f.doc().xaxis.set_hilovalues(600, 0);
    f.open("correlogram", {900, 600});
    f.win->wait_for_workers();
    settle();
    tdocument& doc = f.doc();
    doc.set_modified(false);
    f.win->trace(0).push_back({false, 1.0, 100, 160, 0});
    const std::vector<TTracePoint> before = f.win->trace(0);
    QToolButton* trace = button(f.win, "tracefromf0action");
    ASSERT_NE(trace, nullptr);
    tprogresscanceller canceller("Tracing F0");
    QTest::mouseClick(trace, Qt::LeftButton);
    EXPECT_TRUE(canceller.clicked());
    EXPECT_TRUE(f.prompter->asked.empty());
    EXPECT_EQ(f.win->trace(0), before);
    EXPECT_FALSE(f.win->trace_modified(0));
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(f.w.statusBar()->currentMessage(), "Interrupted!");
}

// A lag range the tracker cannot take is said, and nothing changes.
TEST(CorrelogramF0Trace, AnUnusableLagRangeIsSaid) {
    twindowfixture<tcorrelogramwindow> f;
    tone_channels(f.doc(), 1.0, fs, 125);
    f.open("correlogram", {900, 600});
    f.win->wait_for_workers();
    settle();
    f.win->freq_axis(0).set_hilovalues(9000, 8000);  // above half the rate
    EXPECT_FALSE(f.win->auto_trace(0));
    ASSERT_FALSE(f.prompter->asked.empty());
    EXPECT_EQ(f.prompter->asked.back().caption, "Trace from F0");
    EXPECT_TRUE(f.win->trace(0).empty());
}
