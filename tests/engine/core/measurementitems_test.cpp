// Measurement items: numbers from the cursors and stored results, texts in
// the preference formats, "-" where the number cannot be computed, and the
// information and measurement lines.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/measurementitems.h"
#include "engine/core/tdocument.h"

using namespace tessal;

namespace {

struct tmeasured : testing::Test {
    tdocument doc;
    tchannel* ch = nullptr;
    void SetUp() override {
        doc.set_totnchans(1);
        ch = &doc.channel(0);
        ch->sampfreq = 1000;
        ch->set_fsd(1);
        ch->set_yunit("Pa");
        ch->set_name("mic");
        ch->filename = "a.wav";
        ch->dbreference = 2e-5;
        tsinglearr x;
        for (int i = 0; i < 2000; ++i) x.push_back(0.001f * i);  // x(t) = t
        ch->set_samples(std::move(x));
    }
};

}  // namespace

TEST_F(tmeasured, NumbersComeFromCursorsAndResults) {
    doc.theglobal.set_sel1cursor(0.5);
    doc.theglobal.set_sel2cursor(1.25);
    EXPECT_DOUBLE_EQ(ch->get_measurementfloat(8), 0.5);
    EXPECT_DOUBLE_EQ(ch->get_measurementfloat(9), 1.25);
    EXPECT_DOUBLE_EQ(ch->get_measurementfloat(10), 0.75);
    EXPECT_NEAR(ch->get_measurementfloat(11), 1 / 0.75, 1e-12);
    EXPECT_NEAR(ch->get_measurementfloat(16), 0.5, 1e-6);
    EXPECT_NEAR(ch->get_measurementfloat(17), 1.25, 1e-6);
    EXPECT_NEAR(ch->get_measurementfloat(6), 20 * std::log10(1.25), 1e-5);
    ch->peak = 1;
    ch->rms = 0.1;
    ch->rmsA = 0.02;
    EXPECT_NEAR(ch->get_measurementfloat(21), 0, 1e-12);
    EXPECT_NEAR(ch->get_measurementfloat(26), -20, 1e-12);
    EXPECT_NEAR(ch->get_measurementfloat(28), 60, 1e-9);
    EXPECT_NEAR(ch->get_measurementfloat(30), 10, 1e-12);
    EXPECT_NEAR(ch->get_measurementfloat(31), 20, 1e-12);
    EXPECT_EQ(ch->get_measurementvalue(26), "-20.00");
    EXPECT_EQ(ch->get_measurementvalue(8), "0.500");
    EXPECT_EQ(ch->get_measurementvalue(3), "1000");
    EXPECT_EQ(ch->get_measurementvalue(0), "0");
    EXPECT_EQ(ch->get_measurementvalue(1), "a.wav");
    EXPECT_EQ(ch->get_measurementvalue(2), "mic");
    EXPECT_TRUE(std::isnan(ch->get_measurementfloat(1)));
    EXPECT_EQ(ch->get_measurementunit(12), "Pa*s");
    EXPECT_EQ(ch->get_measurementunit(28), "dBA");
    EXPECT_EQ(ch->get_measurementunit(20), "Pa");
    EXPECT_EQ(ch->get_measurementheading(15), "Avg>");
    EXPECT_EQ(measurement_item(27).key, std::string("RMSLevelRef"));
    doc.prefs.dBFormat = "0.0";
    EXPECT_EQ(ch->get_measurementvalue(26), "-20.0");
}

TEST_F(tmeasured, FailedNumbersShowADash) {
    // No selection: 1/Dur divides by zero. Peak 0: log of zero. Rms 0:
    // crest divides by zero. Reference 0 likewise.
    EXPECT_EQ(ch->get_measurementvalue(11), "-");
    EXPECT_EQ(ch->get_measurementvalue(21), "-");
    EXPECT_EQ(ch->get_measurementvalue(30), "-");
    EXPECT_EQ(ch->get_measurementvalue(31), "-");
    ch->peak = 1;
    EXPECT_FALSE(ch->set_fsd(0));  // refused, so a level re FSD always has a base
    EXPECT_EQ(ch->get_measurementvalue(21), "0.00");
    ch->dbreference = 0;
    EXPECT_EQ(ch->get_measurementvalue(22), "-");
    // A value of exactly 0 at the cursor (t = 0) has no level.
    EXPECT_EQ(ch->get_measurementvalue(7), "-");
    // Items beyond 31 are empty with number 0.
    EXPECT_EQ(ch->get_measurementvalue(32), "");
    EXPECT_EQ(ch->get_measurementheading(40), "");
    EXPECT_EQ(ch->get_measurementfloat(32), 0);
    EXPECT_EQ(ch->get_measurementunit(-1), "");
}

TEST_F(tmeasured, InformationLineJoinsShownItems) {
    EXPECT_EQ(ch->get_infotext(", "), "0, a.wav, mic, 1000 Hz");
    doc.showmeasurement[1] = false;
    ch->filename.clear();
    ch->set_name("");
    doc.showmeasurement[1] = true;
    // Empty pieces add no separator.
    EXPECT_EQ(ch->get_infotext(", "), "0, 1000 Hz");
}

TEST_F(tmeasured, MeasurementLineWithAndWithoutSelection) {
    doc.showmeasurement.fill(false);
    for (int i : {4, 5, 6}) doc.showmeasurement[i] = true;
    doc.theglobal.set_sel1cursor(0.25);
    doc.theglobal.set_sel2cursor(0.25);
    EXPECT_EQ(ch->get_measurementtext("  "), "0.250 s  0.25 Pa  -12.04 dB re FSD");

    doc.showmeasurement.fill(false);
    for (int i : {10, 15, 21, 26}) doc.showmeasurement[i] = true;
    doc.measurementthreshold = 0.5;
    ch->avggt = 0.75;
    ch->peak = 0.5;
    doc.theglobal.set_sel2cursor(1.25);
    EXPECT_EQ(ch->get_measurementtext("; "),
              "Dur: 1.000 s; Avg>0.5: 0.75 Pa; Lpeak: -6.02 dB re FSD; Leq: -");

    // A channel outside the edit set shows nothing.
    doc.set_totnchans(2);
    doc.selectmode = selmono;
    EXPECT_EQ(doc.channel(1).get_measurementtext("; "), "");
}
