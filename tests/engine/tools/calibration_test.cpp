// Calibration to physical units: the four modes against analytic signals,
// the weighting against the A and C curves' tabled values, the labels, the
// channels that cannot be calibrated, and a calibrated channel's trip
// through a native file.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/document/documentfiles.h"
#include "engine/measurements/measurementpass.h"
#include "engine/tools/calibration.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

void sine(tchannel& ch, double fs, double seconds, double f, double amp, double offset = 0) {
    ch.sampfreq = ch.orgsampfreq = fs;
    const auto n = static_cast<std::size_t>(std::llround(fs * seconds));
    tsinglearr v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<float>(offset + amp * std::sin(2 * M_PI * f * double(i) / fs));
    ch.set_samples(std::move(v));
}

double rms_of(const tchannel& ch, std::size_t a, std::size_t b) {
    double s = 0;
    const tsinglearr x = ch.samples_array(static_cast<std::int64_t>(a), static_cast<std::int64_t>(b));
    for (float v : x) s += double(v) * v;
    return std::sqrt(s / double(b - a));
}

double db(double x) { return 20 * std::log10(x); }

struct tcalib : ::testing::Test {
    tdocument doc;
    tscriptedprompter prompter;
    tchannel& add(double fs, double seconds, double f, double amp, double offset = 0) {
        tchannel& c = doc.create_channel(doc.totnchans());
        sine(c, fs, seconds, f, amp, offset);
        return c;
    }
};

}  // namespace

TEST_F(tcalib, LevelOfACalibratorToneGivesPascalsAndOneLabel) {
    tchannel& c = add(48000, 2, 1000, 0.5 * std::sqrt(2.0));
    tcalibration p;
    p.value = 94;
    const auto r = calibrate_channels(doc, {0}, p, 0.5, 1.5);
    ASSERT_EQ(r.calibrated, std::vector<int>{0});
    EXPECT_NEAR(rms_of(c, 24000, 72001), 1.0024, 5e-5);
    EXPECT_EQ(c.yunit(), "Pa");
    EXPECT_DOUBLE_EQ(c.dbreference, 2e-5);
    EXPECT_NEAR(c.fsd(), 1.0024 / 0.5, 2e-4);
    EXPECT_TRUE(c.needsdither);
    EXPECT_TRUE(doc.modified());
    ASSERT_EQ(c.labels.size(), 1u);
    const tsiglabel& l = c.labels[0];
    EXPECT_EQ(l.text, "94 dB");
    EXPECT_EQ(l.labeltype, "calibration");
    EXPECT_DOUBLE_EQ(l.time, 0.5);
    EXPECT_DOUBLE_EQ(l.duration, 1.0);
    ASSERT_EQ(l.entities.no.size(), 2u);
    EXPECT_EQ(l.entities.no[0].entityname, "Level");
    EXPECT_EQ(l.entities.no[0].yunit, "dB");
    EXPECT_EQ(l.entities.no[1].entityname, "Reference");
    EXPECT_EQ(l.entities.no[1].yunit, "Pa");
    EXPECT_FALSE(l.entities.descriptor.empty());

    // Once more at another level: the earlier calibration label goes, other labels stay.
    c.add_label(0.1, 0, "mine", "manual");
    p.value = 100;
    calibrate_channels(doc, {0}, p, 0.5, 1.5);
    int calibs = 0;
    for (const tsiglabel& x : c.labels) calibs += x.labeltype == "calibration";
    EXPECT_EQ(calibs, 1);
    EXPECT_EQ(c.labels.size(), 2u);
    EXPECT_NEAR(db(rms_of(c, 24000, 72001) / 2e-5), 100, 1e-3);
}

// The weighted readings follow the A and C curves (IEC 61672 tabled values);
// the low-pass section carries the response near the top of the band and
// exists only when the rate is above twice its corner.
TEST_F(tcalib, WeightedReadingsFollowTheCurvesAndTheLowPassNeedsItsRate) {
    EXPECT_FALSE(calibration_uses_lowpass(16000));
    EXPECT_FALSE(calibration_uses_lowpass(24000));
    EXPECT_TRUE(calibration_uses_lowpass(44100));
    struct trow {
        double fs, f, a_db, c_db, tol;
    };
    // Digital sections drift from the analog curve near half the rate; at
    // 10 kHz the low-pass's share (about 4 dB) is what tells it ran.
    for (const trow& t : {trow{44100, 1000, 0, 0, 0.05}, trow{44100, 100, -19.1, -0.3, 0.1},
                          trow{44100, 31.5, -39.4, -3.0, 0.15}, trow{44100, 10000, -2.5, -4.4, 0.8},
                          trow{16000, 1000, 0, 0, 0.05}, trow{16000, 100, -19.1, -0.3, 0.2}}) {
        SCOPED_TRACE(std::to_string(t.f) + " Hz at " + std::to_string(t.fs));
        tchannel ch(nullptr, 0);
        sine(ch, t.fs, 3, t.f, std::sqrt(2.0));
        EXPECT_NEAR(calibration_rms(ch, 1.5, 2.5, tcalibweighting::linear), 1.0, 1e-3);
        EXPECT_NEAR(db(calibration_rms(ch, 1.5, 2.5, tcalibweighting::A)), t.a_db, t.tol);
        EXPECT_NEAR(db(calibration_rms(ch, 1.5, 2.5, tcalibweighting::C)), t.c_db, t.tol);
    }
    // Without the low-pass at 16 kHz, 6 kHz passes the C chain nearly whole
    // (the curve's -2.0 dB is the low-pass's share).
    tchannel ch(nullptr, 0);
    sine(ch, 16000, 3, 6000, std::sqrt(2.0));
    EXPECT_NEAR(db(calibration_rms(ch, 1.5, 2.5, tcalibweighting::C)), 0, 0.1);
    sine(ch, 44100, 3, 6000, std::sqrt(2.0));
    EXPECT_NEAR(db(calibration_rms(ch, 1.5, 2.5, tcalibweighting::C)), -1.4, 0.3);

    // An A-weighted calibration at 100 Hz: the weighted level becomes the target.
    tchannel& c = add(44100, 3, 100, 1);
    tcalibration p;
    p.weighting = tcalibweighting::A;
    p.value = 80;
    calibrate_channels(doc, {0}, p, 1.5, 2.5);
    EXPECT_NEAR(db(calibration_rms(c, 1.5, 2.5, tcalibweighting::A) / 2e-5), 80, 1e-3);
    EXPECT_NEAR(db(calibration_rms(c, 1.5, 2.5, tcalibweighting::linear) / 2e-5), 80 + 19.1, 0.1);
    EXPECT_EQ(c.labels.at(0).text, "80 dBA");
}

TEST_F(tcalib, RmsAndIntegralScaleToTheEnteredValue) {
    tchannel& c = add(8000, 1, 50, 0.25);
    tcalibration p;
    p.mode = tcalibmode::rms;
    p.value = 3;
    p.unit = " cmH2O ";
    calibrate_channels(doc, {0}, p, 0.2, 0.6);
    EXPECT_NEAR(rms_of(c, 1600, 4801), 3, 1e-4);
    EXPECT_EQ(c.yunit(), "cmH2O");
    EXPECT_EQ(c.dbreference, 0);
    EXPECT_EQ(c.labels.at(0).text, "3 cmH2O");
    EXPECT_EQ(c.labels.at(0).entities.no.at(0).entityname, "Amplitude");

    // Flow of 0.5 (unknown unit) for 0.4 s has an integral of 0.2; called 1 l.
    tchannel& f = add(1000, 1, 0, 0, 0.5);
    p.mode = tcalibmode::integral;
    p.value = 1;
    p.unit = "l/s";
    calibrate_channels(doc, {1}, p, 0.2, 0.6);
    EXPECT_NEAR(f.sample(100), 0.5 * 1 / (0.5 * 401 / 1000.0), 1e-5);
    EXPECT_EQ(f.labels.at(0).text, "1 l");
    EXPECT_EQ(f.labels.at(0).entities.no.at(0).yunit, "l");
    EXPECT_EQ(calibration_value_caption(tcalibmode::integral, tcalibweighting::linear, "l/s"),
              "Integral of selection [l]");
}

TEST_F(tcalib, TwoAmplitudesMapTheMarkMeansAndEqualMeansAreRefused) {
    // 0.2 for the first half, 0.7 for the second: called 0 and 10 cmH2O.
    tchannel& c = add(1000, 2, 0, 0, 0.2);
    const std::vector<float> upper(1000, 0.7f);
    c.write_samples(1000, upper.data(), upper.size());
    tchannel& flat = add(1000, 2, 0, 0, 0.2);
    for (tchannel* ch : {&c, &flat}) {
        ch->cursors[3] = 0.8, ch->cursors[4] = 0.2;
        ch->cursors[5] = 1.2, ch->cursors[6] = 1.8;
    }
    tcalibration p;
    p.mode = tcalibmode::two;
    p.value = 0;
    p.value2 = 10;
    p.unit = "cmH2O";
    const tsinglearr before = flat.samples_array();
    const auto r = calibrate_and_warn(doc, prompter, {0, 1, 7}, p, 0.1, 0.3);
    EXPECT_EQ(r.calibrated, std::vector<int>{0});
    EXPECT_EQ(r.failed, std::vector<int>{1});
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, "Could not calibrate channel 1");
    EXPECT_EQ(prompter.asked[0].caption, "Calibration");
    EXPECT_EQ(flat.samples_array(), before);
    EXPECT_TRUE(flat.labels.empty());
    EXPECT_EQ(flat.yunit(), "");

    EXPECT_NEAR(c.sample(500), 0, 1e-5);
    EXPECT_NEAR(c.sample(1500), 10, 1e-5);
    // a = 20 per unit, b = -4: full scale is the larger of the images of
    // +1 and -1 (16 and -24).
    EXPECT_NEAR(c.fsd(), 16, 1e-5);
    // The labels span the selection, not the marks.
    ASSERT_EQ(c.labels.size(), 2u);
    EXPECT_EQ(c.labels[0].text, "0 cmH2O");
    EXPECT_EQ(c.labels[1].text, "10 cmH2O");
    for (const tsiglabel& l : c.labels) {
        EXPECT_DOUBLE_EQ(l.time, 0.1);
        EXPECT_DOUBLE_EQ(l.duration, 0.2);
    }

    // Integral of silence: refused the same way.
    tcalibration q;
    q.mode = tcalibmode::integral;
    tchannel& z = add(1000, 1, 0, 0);
    calibrate_and_warn(doc, prompter, {2}, q, 0.1, 0.5);
    EXPECT_EQ(prompter.asked.back().text, "Could not calibrate channel 2");
    EXPECT_EQ(z.fsd(), 1);

    // A value whose samples a float cannot hold: refused, samples kept.
    tchannel& big = add(1000, 1, 10, 0.5);
    const float s100 = big.sample(100);
    tcalibration huge;
    huge.mode = tcalibmode::rms;
    huge.value = 1e39;
    calibrate_and_warn(doc, prompter, {3}, huge, 0.1, 0.5);
    EXPECT_EQ(prompter.asked.back().text, "Could not calibrate channel 3");
    EXPECT_EQ(big.sample(100), s100);
    EXPECT_TRUE(big.labels.empty());
}

TEST_F(tcalib, PiecesOfAnyLengthGiveTheSameSamplesAndTheSameRefusal) {
    // Long enough to span several of calibration's buffers; the fit check
    // and the rewrite see the samples cut at 7 and 1000 as well.
    tchannel& whole = add(48000, 4, 997, 0.4);
    tchannel& cut7 = add(48000, 4, 997, 0.4);
    tchannel& cut1000 = add(48000, 4, 997, 0.4);
    cut7.set_chunk_limit(7);
    cut1000.set_chunk_limit(1000);
    tcalibration p;
    p.value = 94;
    ASSERT_EQ(calibrate_channels(doc, {0, 1, 2}, p, 0.5, 1.5).calibrated, (std::vector<int>{0, 1, 2}));
    const tsinglearr w = whole.samples_array();
    EXPECT_EQ(cut7.samples_array(), w);
    EXPECT_EQ(cut1000.samples_array(), w);
    // 94 dB re 20 µPa over the selection: an RMS of 1.0024 Pa.
    EXPECT_NEAR(rms_of(whole, 24000, 72001), 1.0024, 5e-4);
    // One sample a float cannot hold after the change, deep inside a piece:
    // found whatever the cut, and nothing changes.
    for (std::size_t limit : {std::size_t(0), std::size_t(7)}) {
        tchannel& c = add(48000, 4, 997, 0.4);
        c.set_chunk_limit(limit);
        const float loud = 3e38f;
        c.write_samples(150003, &loud, 1);
        const tsinglearr before = c.samples_array();
        tcalibration q;
        q.mode = tcalibmode::rms;
        q.value = 10;
        const int no = c.channo();
        EXPECT_EQ(calibrate_channels(doc, {no}, q, 0.5, 1.5).failed, std::vector<int>{no});
        EXPECT_EQ(c.samples_array(), before);
    }
}

TEST_F(tcalib, TargetsAndMarksAndCaptions) {
    add(1000, 1, 0, 0);
    add(1000, 1, 0, 0);
    add(1000, 1, 0, 0);
    doc.channel(0).stereochanno = 1;
    doc.channel(1).stereochanno = 0;
    EXPECT_EQ(calibration_targets(doc, -1, false), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(calibration_targets(doc, 0, false), std::vector<int>{0});
    EXPECT_EQ(calibration_targets(doc, 0, true), (std::vector<int>{0, 1}));
    EXPECT_EQ(calibration_targets(doc, 2, true), std::vector<int>{2});
    EXPECT_TRUE(calibration_targets(doc, 5, true).empty());

    tchannel& c = doc.channel(2);
    c.xshift = 1000;  // spans 1..2 s
    EXPECT_TRUE(reset_calibration_marks(c));
    EXPECT_DOUBLE_EQ(c.cursors[3], 1.1);
    EXPECT_DOUBLE_EQ(c.cursors[6], 1.8);
    EXPECT_FALSE(reset_calibration_marks(c));
    c.cursors[5] = 2.5;
    EXPECT_TRUE(reset_calibration_marks(c));
    EXPECT_DOUBLE_EQ(c.cursors[3], 1.1);
    EXPECT_DOUBLE_EQ(c.cursors[5], 1.6);

    EXPECT_EQ(calibration_value_caption(tcalibmode::level, tcalibweighting::C, "Pa"),
              "Level of selection [dBC]");
    EXPECT_EQ(calibration_value2_caption(tcalibmode::level, " Pa "), "Reference [Pa]");
    EXPECT_EQ(calibration_value_caption(tcalibmode::two, tcalibweighting::linear, ""),
              "Average value between green cursors ");
    EXPECT_EQ(calibration_mode_items("Pa")[2], "Two amplitudes [Pa]");
}

namespace {
struct tcalibfile : tessal::testing::ttempdirtest {};
}  // namespace

TEST_F(tcalibfile, ACalibratedChannelKeepsItsCalibrationInANativeFile) {
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    tchannel& c = doc.create_channel(0);
    sine(c, 16000, 1, 1000, 0.5 * std::sqrt(2.0));
    tcalibration p;
    p.value = 94;
    calibrate_channels(doc, {0}, p, 0.25, 0.75);
    const double fsd = c.fsd();

    // The measurement pass reads the new values in the new unit.
    tweightingfilters filters;
    measure_channel(c, 0.25, 0.75, true, 0, filters);
    int rmsitem = -1;
    for (int i = 0; i < nmeasurementitems; ++i)
        if (c.get_measurementheading(i) == "RMS") rmsitem = i;
    ASSERT_GE(rmsitem, 0);
    EXPECT_NEAR(c.get_measurementfloat(rmsitem), 1.0024, 1e-4);
    EXPECT_EQ(c.get_measurementunit(rmsitem), "Pa");

    ASSERT_TRUE(files.save_file(path("cal.tessal"), 32, 0, 0, {}, tFormat::ieeefloat));
    tdocument back;
    tscriptedprompter p2;
    tdocumentlifecycle l2{back, p2};
    tdocumentfiles f2{back, l2, p2};
    ASSERT_TRUE(f2.open_document(path("cal.tessal")));
    const tchannel& b = back.channel(0);
    EXPECT_EQ(b.yunit(), "Pa");
    EXPECT_DOUBLE_EQ(b.fsd(), fsd);
    EXPECT_DOUBLE_EQ(b.dbreference, 2e-5);
    ASSERT_EQ(b.labels.size(), 1u);
    EXPECT_EQ(b.labels[0].text, "94 dB");
    EXPECT_EQ(b.labels[0].labeltype, "calibration");
    EXPECT_EQ(b.labels[0].entities.no.size(), 2u);
    EXPECT_NEAR(rms_of(b, 4000, 12001), 1.0024, 5e-5);
}
