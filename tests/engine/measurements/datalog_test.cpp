// The data log and the two measurement commands: one heading over repeated
// rows, the exact tab layout of Log measurements across channels, the
// question of New log, fresh values before logging or copying, and the
// copied text.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "engine/core/tdocument.h"
#include "engine/measurements/datalog.h"
#include "engine/measurements/measurements.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// Two channels at 10 Hz: channel 0 "a" with volts 1, -1, 1, -1, ...;
// channel 1 "b" all 0.5, unit-less.
struct logfixture {
    tdocument doc;
    tmeasurements m{doc};
    int shown = 0;
    logfixture() {
        doc.set_totnchans(2);
        for (int i = 0; i < 2; ++i) {
            tchannel& ch = doc.channel(i);
            ch.sampfreq = 10;
            ch.set_fsd(1);
            ch.filename = "take.wav";
        }
        doc.channel(0).set_name("a");
        doc.channel(0).set_yunit("V");
        doc.channel(0).set_samples({1, -1, 1, -1, 1, -1, 1, -1, 1, -1});
        doc.channel(1).set_name("b");
        doc.channel(1).set_samples(tsinglearr(10, 0.5f));
        doc.selectmode = selall;
        doc.showmeasurement.fill(false);
        doc.theglobal.set_selection(0, 0.9);
        m.show_log = [this] { ++shown; };
    }
};

}  // namespace

TEST(DataLog, HeadingOnlyWhenItChanges) {
    tdatalog log;
    int changes = 0;
    log.changed = [&] { ++changes; };
    log.add_line("A\tB\t", "1\t2\t");
    log.add_line("A\tB\t", "3\t4\t");
    EXPECT_EQ(log.text(), "A\tB\t\n1\t2\t\n3\t4\t\n");
    log.add_line("C\t", "5\t");
    log.add_line("A\tB\t", "6\t7\t");  // back to the first kind: a new heading
    EXPECT_EQ(log.lines().size(), 7u);
    EXPECT_EQ(log.logheadinglineno(), 5);
    EXPECT_EQ(log.heading(), "A\tB\t");
    EXPECT_EQ(changes, 4);
    // An empty heading is still a heading the first time.
    tdatalog empty;
    empty.add_line("", "x");
    empty.add_line("", "y");
    EXPECT_EQ(empty.text(), "\nx\ny\n");
}

TEST(DataLog, NewLogAsksAndClearsOnlyOnOk) {
    tdatalog log;
    log.add_line("h", "1");
    tscriptedprompter p;
    p.answers = {tanswer::cancel, tanswer::ok};
    EXPECT_FALSE(log.new_log(p));
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_TRUE(log.new_log(p));
    EXPECT_TRUE(log.lines().empty());
    ASSERT_EQ(p.asked.size(), 2u);
    EXPECT_EQ(p.asked[0].text, "Do you want to clear the log?\r(All logged data will be deleted)");
    EXPECT_EQ(p.asked[0].caption, "Clear log");
    EXPECT_EQ(p.asked[0].buttons, tbuttons::okcancel);
    // After clearing, the same heading is written again.
    log.add_line("h", "2");
    EXPECT_EQ(log.text(), "h\n2\n");
    tmemoryclipboard clip;
    log.copy_log(clip);
    EXPECT_EQ(clip.text, "h\n2\n");
}

TEST(LogMeasurements, TwoPressesGiveOneHeadingAndTwoRowsInExactLayout) {
    logfixture f;
    for (int i : {0, 2, 15, 25, 26, 30}) f.doc.showmeasurement[i] = true;
    f.doc.measurementthreshold = 0.25;
    f.m.log_measurements();
    f.m.log_measurements();
    ASSERT_EQ(f.m.datalog.lines().size(), 3u);
    EXPECT_EQ(f.shown, 2);
    EXPECT_EQ(f.m.datalog.lines()[0],
              "Channel\tChannel name\tAvg>0.25 [V]\tRMS [V]\tLeq [dB re FSD]\tCrest\t"
              "\t"
              "Channel\tChannel name\tAvg>0.25\tRMS\tLeq [dB re FSD]\tCrest\t");
    EXPECT_EQ(f.m.datalog.lines()[1],
              "0\ta\t1\t1\t0.00\t1\t"
              "\t"
              "1\tb\t0.5\t0.5\t-6.02\t1\t");
    EXPECT_EQ(f.m.datalog.lines()[2], f.m.datalog.lines()[1]);
}

TEST(LogMeasurements, WaitsForThePendingPassAndFollowsTheEditSet) {
    logfixture f;
    f.doc.showmeasurement[20] = true;  // Peak
    f.m.log_measurements();
    // The selection moves and the samples change; logging at once still
    // reports the new values, not the stored ones.
    f.doc.channel(1).set_samples(tsinglearr(10, 0.75f));
    f.doc.theglobal.set_selection(0, 0.5);
    f.doc.selectmode = selmono;
    f.doc.set_thischanno(1);
    f.m.log_measurements();
    ASSERT_EQ(f.m.datalog.lines().size(), 4u);
    EXPECT_EQ(f.m.datalog.lines()[1], "1\t\t0.5\t");
    EXPECT_EQ(f.m.datalog.lines()[2], "Peak\t");
    EXPECT_EQ(f.m.datalog.lines()[3], "0.75\t");
    EXPECT_FALSE(f.m.pending());

    // An item that cannot be computed logs "-"; no channels: nothing at all.
    f.doc.showmeasurement.fill(false);
    f.doc.showmeasurement[27] = true;  // Leq re ref with no reference
    f.m.log_measurements();
    EXPECT_EQ(f.m.datalog.lines().back(), "-\t");
    f.doc.set_totnchans(0);
    const std::size_t before = f.m.datalog.lines().size();
    f.m.log_measurements();
    EXPECT_EQ(f.m.datalog.lines().size(), before);
}

TEST(CopyMeasurements, InfoAndMeasurementsOfEveryChannelTabSeparated) {
    logfixture f;
    for (int i : {0, 2, 20, 26}) f.doc.showmeasurement[i] = true;
    f.doc.selectmode = selmono;
    f.doc.set_thischanno(0);
    tmemoryclipboard clip;
    f.m.copy_measurements(clip);
    // Channel 1 is outside the edit set: only its information line.
    EXPECT_EQ(clip.text, "0\ta\tPeak: 1 V\tLeq: 0.00 dB re FSD\t1\tb");
    // Without a selection the cursor items (none shown here) replace them.
    f.doc.theglobal.set_selection(0.3, 0.3);
    f.doc.showmeasurement[5] = true;
    f.m.copy_measurements(clip);
    EXPECT_EQ(clip.text, "0\ta\t-1 V\t1\tb");
}

TEST(MeasureNow, ItemListsAndTheRowsOfADocumentBuiltInCode) {
    std::array<bool, nmeasurementitems> shown{};
    std::string error;
    ASSERT_TRUE(parse_measurement_items(" 0, rmslevelfsd,Average>,31,", shown, error));
    for (int i = 0; i < nmeasurementitems; ++i)
        EXPECT_EQ(shown[i], i == 0 || i == 26 || i == 15 || i == 31) << i;
    for (const char* bad : {"", " , ", "32", "-1", "0,Leq", "007"}) {
        EXPECT_FALSE(parse_measurement_items(bad, shown, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(shown[26]);  // a refused list leaves the choice alone

    logfixture f;
    f.doc.showmeasurement = shown;
    f.doc.selectmode = selmono;
    f.doc.set_thischanno(1);
    f.doc.theglobal.set_selection(f.doc.first_time(), f.doc.last_time());
    const tlogrow row = measure_log_row_now(f.doc);
    EXPECT_EQ(row.heading, "Channel\tAvg>0\tLeq [dB re FSD]\tCrest [dB]\t");
    EXPECT_EQ(row.line, "1\t0.5\t-6.02\t0.00\t");
    EXPECT_FALSE(f.doc.measurementdirty);
}

namespace {

std::vector<std::string> split_tabs(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t b = 0, t;
    while ((t = line.find('\t', b)) != std::string::npos) {
        cells.push_back(line.substr(b, t - b));
        b = t + 1;
    }
    cells.push_back(line.substr(b));
    return cells;
}

// Where each cell of an aligned line starts: after the line start or after
// a run of two or more blanks (cell texts hold single blanks at most).
std::vector<std::size_t> cell_starts(const std::string& line) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') continue;
        if (i == 0 || (i >= 2 && line[i - 1] == ' ' && line[i - 2] == ' ')) starts.push_back(i);
    }
    return starts;
}

// Every set of shown items worth telling apart: none, each alone, each
// pair, and all of them.
std::vector<std::array<bool, nmeasurementitems>> item_sets() {
    std::vector<std::array<bool, nmeasurementitems>> sets;
    std::array<bool, nmeasurementitems> s{};
    sets.push_back(s);
    for (int i = 0; i < nmeasurementitems; ++i) {
        s.fill(false);
        s[i] = true;
        sets.push_back(s);
        for (int j = i + 1; j < nmeasurementitems; ++j) {
            s.fill(false);
            s[i] = s[j] = true;
            sets.push_back(s);
        }
    }
    s.fill(true);
    sets.push_back(s);
    return sets;
}

}  // namespace

TEST(LogMeasurements, EveryRowHasAsManyColumnsAsItsHeadingForEverySetOfShownItems) {
    logfixture f;
    f.doc.channel(1).filename.clear();  // an empty cell is still a column
    f.doc.measurementthreshold = 0.25;
    for (int mode : {selmono, selall}) {
        f.doc.selectmode = mode;
        for (const auto& set : item_sets()) {
            f.doc.showmeasurement = set;
            f.m.log_measurements();
            const tlogrow row = measurement_log_row(f.doc);
            ASSERT_EQ(split_tabs(row.heading).size(), split_tabs(row.line).size()) << row.heading;
        }
    }
}

TEST(DataLog, AlignedLinesPutEveryValueUnderItsHeading) {
    logfixture f;
    f.doc.measurementthreshold = 0.25;
    for (const auto& set : item_sets()) {
        f.doc.showmeasurement = set;
        f.m.datalog.clear();
        f.m.log_measurements();
        f.m.log_measurements();
        const std::vector<std::string> shown = aligned_log_lines(f.m.datalog.lines());
        ASSERT_EQ(shown.size(), f.m.datalog.lines().size());
        if (shown.size() < 3) continue;
        for (const std::string& l : shown) EXPECT_EQ(l.find('\t'), std::string::npos);
        // "Sampling rate" above "10", "Channel name" above "a", ...
        EXPECT_EQ(cell_starts(shown[1]), cell_starts(shown[0])) << shown[0] << "\n" << shown[1];
        EXPECT_EQ(shown[2], shown[1]);
    }
}

TEST(DataLog, AlignmentKeepsPlainLinesAndStartsANewTableAfterThem) {
    const std::vector<std::string> lines = {"a\tbbbb\t", "ccccc\td\t", "profile of step 1",
                                            "x\ty"};
    const std::vector<std::string> shown = aligned_log_lines(lines);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "a      bbbb");
    EXPECT_EQ(shown[1], "ccccc  d");
    EXPECT_EQ(shown[2], "profile of step 1");
    EXPECT_EQ(shown[3], "x  y");
    // Widths count characters: "µ" is one.
    EXPECT_EQ(aligned_log_lines({"\xC2\xB5V\tb", "xyz\tc"})[0], "\xC2\xB5V   b");
}
