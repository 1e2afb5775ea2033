// "Make label" of the spectrum window: one "Spectrum" label over the span
// on each channel that has a measure to store, carrying the FCP, its
// frequency and slope and the ticked valid bands with the values measured,
// a labels notice per channel and nothing for a channel without measures.
#include "engine/tools/spectrumlabels.h"

#include <gtest/gtest.h>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "support/labelnotices.h"

using namespace tessal;
using tessal::testing::tlabelnotices;

TEST(SpectrumLabels, OneLabelPerChannelWithItsMeasures) {
    tdocument doc;
    doc.set_totnchans(3);
    for (int c = 0; c < 3; ++c) doc.channel(c).sampfreq = 16000;
    doc.set_modified(false);
    tlabelnotices heard;
    doc.theglobal.add_listener(&heard);
    tspectrummeas a;
    a.chno = 0;
    a.trend.valid = true;
    a.trend.fcp = 12.5;
    a.trend.fcpfreq = 3000;
    a.trend.slope = -9.25;
    a.bands = {{0, 2000, true}, {2000, 5000, false}, {5000, 8000, true}};
    a.banddata = {{-20.5, true}, {-30, true}, {0, false}};
    tspectrummeas b;  // channel 1: nothing valid
    b.chno = 1;
    b.bands = a.bands;
    b.banddata.assign(3, {});
    tspectrummeas c = a;
    c.chno = 2;
    c.trend.valid = false;
    EXPECT_EQ(make_spectrum_labels(doc, {a, b, c}, true, true, 0.25, 0.75), 2);
    doc.theglobal.remove_listener(&heard);
    ASSERT_EQ(doc.channel(0).labels.size(), 1u);
    const tsiglabel& l = doc.channel(0).labels[0];
    EXPECT_EQ(l.text, "Spectrum");
    EXPECT_EQ(l.labeltype, "spectrum");
    EXPECT_DOUBLE_EQ(l.time, 0.25);
    EXPECT_DOUBLE_EQ(l.duration, 0.5);
    const std::vector<tentity> want{{"FCP", 12.5, "dB"},
                                    {"FCP f", 3000, "Hz"},
                                    {"Slope", -9.25, "dB/oct"},
                                    {"0-2000 Hz", -20.5, "dB"}};
    EXPECT_EQ(l.entities.no, want);
    EXPECT_TRUE(doc.channel(1).labels.empty());
    ASSERT_EQ(doc.channel(2).labels.size(), 1u);  // the band alone
    ASSERT_EQ(doc.channel(2).labels[0].entities.no.size(), 1u);
    EXPECT_EQ(doc.channel(2).labels[0].entities.no[0].entityname, "0-2000 Hz");
    EXPECT_EQ(heard.labels, (std::vector<int>{0, 2}));
    EXPECT_GE(heard.repaints, 1);
    EXPECT_TRUE(doc.modified());
    // Without FCP and bands shown there is nothing to store.
    EXPECT_EQ(make_spectrum_labels(doc, {a}, false, false, 0.25, 0.75), 0);
    EXPECT_EQ(doc.channel(0).labels.size(), 1u);
}
