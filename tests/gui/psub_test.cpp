// The p-sub window: on plateaus of 0.3 s and 0.45 s it finds the peaks the
// engine finds, shows them and their statistics on its pages, follows the
// detection fields and the section modes, logs the engine's lines, and puts
// labels on the peaks after asking.
#include <memory>
#include <QApplication>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tchannel.h"
#include "gui/mainwindow/mainwindow.h"
#include "gui/psub/tpsubwindow.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

struct tfixture : twindowfixture<tpsubwindow> {
    tfixture() {
        tdocument& doc = w.document();
        doc.set_totnchans(1);
        tchannel& ch = doc.channel(0);
        ch.sampfreq = 1000;
        ch.set_yunit("cmH2O");
        tsinglearr x(3000, 0.0f);
        for (int i = 500; i < 800; ++i) x[i] = 5;
        for (int i = 1500; i < 1950; ++i) x[i] = 6;
        ch.set_samples(std::move(x));
        ch.set_fsd(10);
        doc.theglobal.channels_changed();
        doc.theglobal.set_selection(0, 3);
        open("psub");
    }
};

}  // namespace

TEST(PsubWindow, FindsThePeaksAndShowsThem) {
    tfixture f;
    ASSERT_NE(f.win, nullptr);
    EXPECT_EQ(f.win->windowTitle(), "Subglottal pressure - channel 0");
    ASSERT_EQ(f.win->peaks().size(), 2u);
    EXPECT_EQ(f.win->peaks()[0].score.category, "Nice peak");
    EXPECT_EQ(f.win->peaks()[1].score.category, "Long peak");
    EXPECT_EQ(f.win->threshold_caption_text(), "Threshold [cmH2O]");
    EXPECT_EQ(f.win->peaks_text().split('\n').size(), 2);
    EXPECT_TRUE(f.win->statistics_text().startsWith("n peaks: 2\nPeak height\n  Average: 5.5 cmH2O"));

    // A minimum score of 60 % drops the long one; a threshold above both, all.
    f.win->set_field("minscoreedit", "60");
    EXPECT_EQ(f.win->peaks().size(), 1u);
    f.win->set_field("thresholdedit", "7");
    EXPECT_TRUE(f.win->peaks().empty());
    EXPECT_TRUE(f.win->statistics_text().contains("  Low quartile: -1 cmH2O"));
    // An unreadable field keeps the value it had.
    f.win->set_field("thresholdedit", "x");
    EXPECT_EQ(f.win->params().fthreshold, 7);
}

TEST(PsubWindow, SectionModesFollowTheMainWindow) {
    tfixture f;
    // A selection that starts inside the first plateau: only the second.
    f.doc().theglobal.set_selection(0.6, 3);
    settle();
    ASSERT_EQ(f.win->peaks().size(), 1u);
    EXPECT_DOUBLE_EQ(f.win->peaks()[0].starttime, 1.5);
    f.win->set_section_mode(tpsubsection::entirefile);
    EXPECT_EQ(f.win->peaks().size(), 2u);
    EXPECT_DOUBLE_EQ(f.win->section().to, 3);
    // Too short a selection: fmaxduration from the time cursor.
    f.win->set_section_mode(tpsubsection::selection);
    f.doc().theglobal.set_selection(0.2, 0.21);
    settle();
    EXPECT_DOUBLE_EQ(f.win->section().from, f.doc().theglobal.timecursor());
    EXPECT_NEAR(f.win->section().to - f.win->section().from, 0.5, 1e-12);
    // The x:y ratio is set as asked.
    f.win->set_aspect_ratio(20);
    EXPECT_NEAR(f.win->aspect_ratio(), 20, 0.5);
}

TEST(PsubWindow, LogsAndLabels) {
    tfixture f;
    const auto before = f.w.context().measurements.datalog.lines().size();
    f.win->logpeaksactionExecute();
    const auto& lines = f.w.context().measurements.datalog.lines();
    ASSERT_EQ(lines.size(), before + 3);  // heading and two rows
    EXPECT_TRUE(lines[before].rfind("Filename\tChannel\tTime [s]\tPeak height [cmH2O]\t", 0) == 0);
    f.win->logstatisticsactionExecute();
    EXPECT_EQ(lines.back().substr(0, 8), "0\t3\t2\t5.");

    f.prompter->answers = {tanswer::yes};
    EXPECT_EQ(f.win->addlabelsExecute(), 2);
    const tchannel& ch = f.doc().channel(0);
    ASSERT_EQ(ch.labels.size(), 2u);
    EXPECT_EQ(ch.labels[0].labeltype, "psub");
    EXPECT_EQ(ch.labels[0].text, "5 cmH2O");
    // Refused: nothing more.
    EXPECT_EQ(f.win->addlabelsExecute(), 0);
    EXPECT_EQ(ch.labels.size(), 2u);
}
