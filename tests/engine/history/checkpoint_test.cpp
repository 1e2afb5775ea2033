// A command that fails half way: the checkpoint taken before it brings the
// document back whole (names, units, full scale, axis scale, samples,
// labels, channel list, cursors, flags), and the failure text says what
// happened in the user's words.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "engine/core/tdocument.h"
#include "engine/history/checkpoint.h"

using namespace tessal;

namespace {

void two_channels(tdocument& doc) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 1000;
        ch.sig.assign(1000, 0.25f * (c + 1));
        ch.set_name(c ? "flow" : "mic");
        ch.set_yunit(c ? "l/s" : "Pa");
        ch.set_fsd(1);
        ch.add_label(0.1, 0.2, "a", "manual");
    }
    doc.channel(0).stereochanno = 1;
    doc.channel(1).stereochanno = 0;
    doc.theglobal.set_selection(0.2, 0.4);
    doc.set_filename("/tmp/take.wav");
    doc.set_modified(false);
}

}  // namespace

TEST(Checkpoint, RestoreUndoesEveryPartOfAHalfDoneCommand) {
    tdocument doc;
    two_channels(doc);
    doc.channel(0).axis.set_hilovalues(1, 0.01);
    doc.channel(0).axis.SetLogarithmic(true);
    const tchannel* first = &doc.channel(0);
    const tdocumentcheckpoint before(doc);
    ASSERT_TRUE(before.has_samples());

    // What the failing command got done before it raised.
    tchannel& ch = doc.channel(0);
    ch.set_name("glottis");
    ch.set_yunit("V");
    ch.axis.SetLogarithmic(false);
    ch.set_fsd(5);
    ch.sig[3] = 9;
    ch.sig.resize(10);
    ch.labels.clear();
    ch.stereochanno = -1;
    doc.channel(1).sampfreq = 8000;
    doc.create_channel(doc.totnchans());
    doc.theglobal.set_selection(0, 0.9);
    doc.set_thischanno(2);
    doc.set_modified(true);
    doc.set_filename("");
    doc.prefs.nSignificantDigits = 12;

    before.restore(doc);

    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(&doc.channel(0), first);
    EXPECT_EQ(doc.channel(0).name(), "mic");
    EXPECT_EQ(doc.channel(0).yunit(), "Pa");
    EXPECT_EQ(doc.channel(0).fsd(), 1);
    EXPECT_TRUE(doc.channel(0).axis.GetLogarithmic());
    EXPECT_DOUBLE_EQ(doc.channel(0).axis.GetLoValue(), 0.01);
    EXPECT_DOUBLE_EQ(doc.channel(0).axis.GetHiValue(), 1);
    ASSERT_EQ(doc.channel(0).sig.size(), 1000u);
    EXPECT_EQ(doc.channel(0).sig[3], 0.25f);
    EXPECT_EQ(doc.channel(0).labels.size(), 1u);
    EXPECT_EQ(doc.channel(0).stereochanno, 1);
    EXPECT_EQ(doc.channel(1).sampfreq, 1000);
    EXPECT_DOUBLE_EQ(doc.theglobal.leftselcursor(), 0.2);
    EXPECT_DOUBLE_EQ(doc.theglobal.rightselcursor(), 0.4);
    EXPECT_EQ(doc.thischanno(), 0);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(doc.filename(), "/tmp/take.wav");
    EXPECT_EQ(doc.prefs.nSignificantDigits, 5);
}

TEST(Checkpoint, ALargeDocumentKeepsItsPropertiesWithoutCopyingSamples) {
    tdocument doc;
    two_channels(doc);
    const tdocumentcheckpoint before(doc, 1500);  // fewer than the 2000 samples held
    EXPECT_FALSE(before.has_samples());
    doc.channel(1).set_name("renamed");
    before.restore(doc);
    EXPECT_EQ(doc.channel(1).name(), "flow");
    EXPECT_EQ(doc.channel(1).sig.size(), 1000u);
}

TEST(Checkpoint, FailureTextsSpeakToTheUser) {
    const std::string axis = failure_text(EAxisError("HiValue=0, must be >0 for log scale!"));
    EXPECT_EQ(axis,
              "A logarithmic axis can only show values above 0, and this command needed it to "
              "show 0 or less. Switch the axis to a linear scale (double-click the axis) and "
              "try again.\r(HiValue=0, must be >0 for log scale!)\rNothing was changed.");
    EXPECT_EQ(failure_text(std::bad_alloc()),
              "There is not enough memory for this command.\rNothing was changed.");
    EXPECT_EQ(failure_text(std::runtime_error("Disk full")),
              "The command could not be completed.\r(Disk full)\rNothing was changed.");
}
