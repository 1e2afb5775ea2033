// Subglottal pressure peaks: plateaus of known length and height give the
// scores worked out by hand from the ramps; the shape coefficients of a
// plateau and of a half sine against their closed forms; sections that cut
// a plateau; statistics against hand-computed quartiles; the log lines, the
// time sections and the labels with their questions.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/tools/psub.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// Zeros with plateaus {start s, length s, height} at rate fs.
void plateaus(tchannel& ch, double fs, double seconds,
              std::initializer_list<std::array<double, 3>> ps) {
    ch.sampfreq = fs;
    tsinglearr v(static_cast<std::size_t>(std::llround(fs * seconds)), 0.0f);
    for (const auto& p : ps) {
        const auto a = static_cast<std::size_t>(std::llround(p[0] * fs));
        const auto n = static_cast<std::size_t>(std::llround(p[1] * fs));
        for (std::size_t i = a; i < a + n; ++i) v[i] = static_cast<float>(p[2]);
    }
    ch.set_samples(std::move(v));
}

}  // namespace

TEST(PsubPeaks, PlateausScoreByTheirDuration) {
    tchannel ch(nullptr, 0);
    plateaus(ch, 1000, 3, {{0.5, 0.3, 5}, {1.5, 0.45, 5}});
    ch.set_yunit("cmH2O");
    const auto peaks = detect_peaks(ch, {0, 3}, tpsubparams{});
    ASSERT_EQ(peaks.size(), 2u);
    const tpeak& a = peaks[0];
    EXPECT_DOUBLE_EQ(a.starttime, 0.5);
    EXPECT_EQ(a.nwidth, 300);
    EXPECT_DOUBLE_EQ(a.duration, 0.3);
    EXPECT_EQ(a.peakheight, 5);
    EXPECT_EQ(a.maxheight, 5);
    EXPECT_EQ(a.variability, 0);
    EXPECT_EQ(a.score.noise, 1);
    EXPECT_EQ(a.score.longdur, 1);
    EXPECT_EQ(a.score.shortdur, 1);
    EXPECT_EQ(a.score.variability, 1);
    // A flat top: no slope (H2 = 0), H3/H1 = cot(3pi/2m)/cot(pi/2m), near 1/3.
    const double m = 299;
    EXPECT_NEAR(a.harm[1], 0, 1e-4);
    EXPECT_NEAR(a.harm[2] / a.harm[0],
                (1 / std::tan(3 * std::numbers::pi / (2 * m))) / (1 / std::tan(std::numbers::pi / (2 * m))),
                1e-5);
    EXPECT_NEAR(a.harm[0], 5.0 / 300 / std::tan(std::numbers::pi / (2 * m)), 1e-4);
    EXPECT_EQ(a.score.total, 1);
    EXPECT_EQ(a.score.category, "Nice peak");
    EXPECT_EQ(a.score.labelcat, "");

    const tpeak& b = peaks[1];
    EXPECT_NEAR(b.score.longdur, 0.5, 1e-9);
    EXPECT_NEAR(b.score.total, 0.5, 1e-9);
    EXPECT_EQ(b.score.category, "Long peak");
    EXPECT_EQ(b.score.labelcat, " - L");

    // A higher minimum score drops the long one.
    tpsubparams strict;
    strict.fminscore = 0.6;
    EXPECT_EQ(detect_peaks(ch, {0, 3}, strict).size(), 1u);
}

TEST(PsubPeaks, SectionsThatCutAPlateauIgnoreIt) {
    tchannel ch(nullptr, 0);
    plateaus(ch, 1000, 3, {{0.5, 0.3, 5}, {1.5, 0.2, 4}});
    EXPECT_EQ(detect_peaks(ch, {0.6, 3}, tpsubparams{}).size(), 1u);   // starts inside the first
    EXPECT_EQ(detect_peaks(ch, {0.6, 3}, tpsubparams{})[0].peakheight, 4);
    EXPECT_EQ(detect_peaks(ch, {0, 1.6}, tpsubparams{}).size(), 1u);   // ends inside the second
    EXPECT_TRUE(detect_peaks(ch, {0.55, 0.75}, tpsubparams{}).empty());
    // Outside the signal the indices are clamped; nothing to find, no fault.
    EXPECT_TRUE(detect_peaks(ch, {-5, -1}, tpsubparams{}).empty());
    EXPECT_EQ(detect_peaks(ch, {-5, 50}, tpsubparams{}).size(), 2u);
    // Durations outside the limits are no peaks.
    tpsubparams p;
    p.fmaxduration = 0.25;
    EXPECT_EQ(detect_peaks(ch, {0, 3}, p).size(), 1u);
    p.fmaxduration = 0.5;
    p.fminduration = 0.25;
    EXPECT_EQ(detect_peaks(ch, {0, 3}, p).size(), 1u);
}

TEST(PsubPeaks, ShapesGetTheirCategories) {
    const double fs = 1000;
    // A half sine of 0.3 s has hardly any third coefficient, so it is
    // rounded; its percentile height lies below its maximum.
    std::vector<float> x(1000, 0.0f);
    for (int i = 0; i < 300; ++i) x[200 + i] = static_cast<float>(1.01 + 5 * std::sin(std::numbers::pi * (i + 0.5) / 300));
    tpsubparams p;
    p.fminscore = 0;
    auto peaks = find_peaks(x.data(), 1000, 0, 0, fs, p);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_LT(peaks[0].score.rounding, 0.9);
    EXPECT_NE(peaks[0].score.category.find("ounded"), std::string::npos) << peaks[0].score.category;
    EXPECT_GT(peaks[0].maxheight, peaks[0].peakheight);

    // A ramp up weighs the second half of the shape: H2 < 0, an upwards
    // sloping peak; a ramp down the other way round.
    std::vector<float> up(1000, 0.0f), down(1000, 0.0f);
    for (int i = 0; i < 300; ++i) {
        up[200 + i] = static_cast<float>(2 + 4.0 * i / 300);
        down[200 + i] = static_cast<float>(6 - 4.0 * i / 300);
    }
    const tpeak u = find_peaks(up.data(), 1000, 0, 0, fs, p).at(0);
    const tpeak d = find_peaks(down.data(), 1000, 0, 0, fs, p).at(0);
    EXPECT_LT(u.harm[1], 0);
    EXPECT_GT(d.harm[1], 0);
    EXPECT_EQ(u.score.category.rfind("Upwards sloping ", 0), 0u) << u.score.category;
    EXPECT_EQ(d.score.category.rfind("Downwards sloping ", 0), 0u) << d.score.category;
    EXPECT_EQ(u.score.labelcat.rfind(" - U", 0), 0u);

    // A spike on a plateau: noisy.
    std::vector<float> spike(1000, 0.0f);
    for (int i = 0; i < 300; ++i) spike[200 + i] = 4;
    spike[350] = 7;
    const tpeak s = find_peaks(spike.data(), 1000, 0, 0, fs, p).at(0);
    EXPECT_NEAR(s.score.noise, (7.0 / 4 - 2.0) / (1.1 - 2.0), 1e-9);
    EXPECT_NE(s.score.labelcat.find('N'), std::string::npos);
}

TEST(PsubPeaks, RampsAndStatistics) {
    EXPECT_EQ(rising_ramp(-0.4, -0.3, -0.1), 0);
    EXPECT_NEAR(rising_ramp(-0.2, -0.3, -0.1), 0.5, 1e-12);
    EXPECT_EQ(rising_ramp(-0.1, -0.3, -0.1), 1);
    EXPECT_EQ(falling_ramp(0.01, 0.02, 0.2), 1);
    EXPECT_NEAR(falling_ramp(0.11, 0.02, 0.2), 0.5, 1e-12);
    EXPECT_EQ(falling_ramp(0.2, 0.02, 0.2), 0);
    EXPECT_EQ(rising_ramp(std::nan(""), 0, 1), 0);

    tchannel ch(nullptr, 0);
    ch.sampfreq = 1000;
    ch.set_yunit("cmH2O");
    ch.set_name("p");
    ch.filename = "a.wav";
    auto st = peak_statistics({}, ch, {0, 1});
    const auto lines = statistics_lines(st, 5);
    EXPECT_EQ(lines[0], "n peaks: 0");
    EXPECT_EQ(lines[5], "  Low quartile: -1 cmH2O");
    EXPECT_EQ(lines[6], "  High quartile: -1 cmH2O");
    EXPECT_EQ(st.peakmedian, -1);

    std::vector<tpeak> peaks(4);
    const double h[] = {8, 2, 4, 6};
    for (int i = 0; i < 4; ++i) peaks[i].peakheight = h[i];
    st = peak_statistics(peaks, ch, {0, 1});
    // Sorted 2 4 6 8: positions 0.75, 1.5, 2.25.
    EXPECT_DOUBLE_EQ(st.peakloquartile, 3.5);
    EXPECT_DOUBLE_EQ(st.peakmedian, 5);
    EXPECT_DOUBLE_EQ(st.peakhiquartile, 6.5);
    EXPECT_DOUBLE_EQ(st.peakaverage, 5);
    EXPECT_EQ(st.peakmin, 2);
    EXPECT_EQ(st.peakmax, 8);
    EXPECT_EQ(statistics_lines(st, 5),
              (std::vector<std::string>{"n peaks: 4", "Peak height", "  Average: 5 cmH2O",
                                        "  Median: 5 cmH2O", "", "  Low quartile: 3.5 cmH2O",
                                        "  High quartile: 6.5 cmH2O", "", "  Minimum: 2 cmH2O",
                                        "  Maximum: 8 cmH2O"}));
    peaks.resize(1);
    EXPECT_EQ(peak_statistics(peaks, ch, {0, 1}).peakloquartile, 8);

    const tpsublog sl = statistics_log(st, 5);
    EXPECT_EQ(sl.heading,
              "Starttime [s]\tEndtime [s]\tn peaks\tAverage [cmH2O]\tMedian [cmH2O]\tLow quartile "
              "[cmH2O]\tMinimum [cmH2O]\tMaximum [cmH2O]\tFilename\tChannel name\t");
    EXPECT_EQ(sl.rows.at(0), "0\t1\t4\t5\t5\t3.5\t2\t8\ta.wav\tp\t");
    EXPECT_EQ(psub_title(2), "Subglottal pressure - channel 2");
    EXPECT_EQ(threshold_caption("cmH2O"), "Threshold [cmH2O]");
    EXPECT_EQ(aspect_unit(""), "units/s");
    EXPECT_EQ(aspect_unit("Pa"), "Pa/s");
}

TEST(PsubPeaks, PeakLogHasARowPerPeak) {
    tchannel ch(nullptr, 0);
    plateaus(ch, 1000, 3, {{0.5, 0.3, 5}, {1.5, 0.45, 5}});
    ch.set_yunit("cmH2O");
    ch.set_name("oral");
    ch.filename = "p.wav";
    const auto peaks = detect_peaks(ch, {0, 3}, tpsubparams{});
    const tpsublog log = peaks_log(peaks, peak_statistics(peaks, ch, {0, 3}), 5);
    EXPECT_EQ(log.heading.rfind("Filename\tChannel\tTime [s]\tPeak height [cmH2O]\t", 0), 0u);
    EXPECT_NE(log.heading.find("Duration [s]\tScore\t"), std::string::npos);
    EXPECT_NE(log.heading.find("H1\tH2/H1\tH3/H1\t"), std::string::npos);
    ASSERT_EQ(log.rows.size(), 2u);
    EXPECT_EQ(log.rows[1].rfind("p.wav\toral\t1.5\t5\t0\t0.45\t0.5\tLong peak\t", 0), 0u) << log.rows[1];
}

TEST(PsubPeaks, TimeSections) {
    tpsubview v;
    v.left = 1, v.right = 1.02, v.timecursor = 2, v.visiblelo = 0.5, v.visiblehi = 4;
    v.channelstart = 0, v.channelend = 10;
    const tpsubparams p;
    const tsection cur{3, 5};
    auto eq = [](tsection s, double a, double b) { return s.from == a && s.to == b; };
    EXPECT_TRUE(eq(psub_section(tpsubsection::selection, cur, v, p), 2, 2.5));  // too short
    v.right = 1.5;
    EXPECT_TRUE(eq(psub_section(tpsubsection::selection, cur, v, p), 1, 1.5));
    EXPECT_TRUE(eq(psub_section(tpsubsection::fixedafter, cur, v, p), 2, 4));
    EXPECT_TRUE(eq(psub_section(tpsubsection::fixedaround, cur, v, p), 0.25, 2.25));
    EXPECT_TRUE(eq(psub_section(tpsubsection::manual, cur, v, p), 3, 5));
    EXPECT_TRUE(eq(psub_section(tpsubsection::mainwindow, cur, v, p), 0.5, 4));
    EXPECT_TRUE(eq(psub_section(tpsubsection::entirefile, cur, v, p), 0, 10));
}

TEST(PsubPeaks, LabelsAskAndReplaceOnlyWhenAllowed) {
    tdocument doc;
    tchannel& ch = doc.create_channel(0);
    plateaus(ch, 1000, 3, {{0.5, 0.3, 5}, {1.5, 0.45, 5}});
    ch.set_yunit("cmH2O");
    const auto peaks = detect_peaks(ch, {0, 3}, tpsubparams{});
    tscriptedprompter pr;
    EXPECT_EQ(add_psub_labels(doc, pr, 0, peaks, default_psub_quantities(), 2), 0);  // refused
    EXPECT_EQ(pr.asked.at(0).text, "Are you sure you want to add 2 labels to channel 0?");
    EXPECT_EQ(pr.asked.at(0).caption, "Add labels");
    EXPECT_TRUE(ch.labels.empty());

    pr.answers = {tanswer::yes};
    EXPECT_EQ(add_psub_labels(doc, pr, 0, peaks, default_psub_quantities(), 2), 2);
    ASSERT_EQ(ch.labels.size(), 2u);
    EXPECT_EQ(ch.labels[0].text, "5 cmH2O");
    EXPECT_EQ(ch.labels[1].text, "5 cmH2O - L");
    EXPECT_EQ(ch.labels[1].labeltype, "psub");
    EXPECT_DOUBLE_EQ(ch.labels[1].duration, 0.45);
    EXPECT_EQ(ch.labels[1].entities.descriptor, "Long peak");
    ASSERT_EQ(ch.labels[1].entities.no.size(), 4u);
    EXPECT_EQ(ch.labels[1].entities.no[2].entityname, "Duration");
    EXPECT_EQ(ch.labels[1].entities.no[2].yunit, "s");

    // Again, keeping the old ones (No), then replacing them (Yes).
    pr.answers = {tanswer::yes, tanswer::no};
    add_psub_labels(doc, pr, 0, peaks, default_psub_quantities(), 0);
    EXPECT_EQ(pr.asked.back().text, "Do you want to remove the 2 already present psub labels in channel0");
    EXPECT_EQ(pr.asked.back().caption, "Remove labels");
    EXPECT_EQ(ch.labels.size(), 4u);
    pr.answers = {tanswer::yes, tanswer::yes};
    std::vector<bool> all(static_cast<std::size_t>(tpsubquantity::count), true);
    add_psub_labels(doc, pr, 0, peaks, all, 0);
    ASSERT_EQ(ch.labels.size(), 2u);
    EXPECT_EQ(ch.labels[0].text, "5");
    EXPECT_EQ(ch.labels[0].entities.no.size(), 4u + 8u + 3u);
}
