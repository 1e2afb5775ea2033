// The title and the questions at New and Exit, answered by a script.
#include <gtest/gtest.h>

#include "engine/document/lifecycle.h"
#include "engine/document/title.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

TEST(Title, CaptionShowsPathMarkerAndProgram) {
    tdocumenttitle t = document_title("/data/rec/a.wav", true);
    EXPECT_EQ(t.caption, "/data/rec/a.wav *  - Tessal");
    EXPECT_EQ(t.apptitle, "a.wav - Tessal");
    EXPECT_EQ(t.savename, "a.wav");
    t = document_title("/data/rec/a.wav", false);
    EXPECT_EQ(t.caption, "/data/rec/a.wav - Tessal");
    t = document_title("", true);
    EXPECT_EQ(t.caption, " * Tessal");
    EXPECT_EQ(t.apptitle, "Tessal");
    EXPECT_EQ(document_title("", false).caption, "Tessal");
}

namespace {

struct tclosing : ::testing::Test {
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    int stops = 0;
    void SetUp() override {
        doc.set_totnchans(2);
        doc.set_filename("/tmp/x.wav");
        doc.set_modified(true);
        life.currentnbits = 24;
        life.hooks.stop_playback = [this] { ++stops; };
    }
};

}  // namespace

TEST_F(tclosing, CancelKeepsTheDocument) {
    prompter.answers = {tanswer::cancel};
    EXPECT_FALSE(life.close_document());
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_TRUE(doc.modified());
    EXPECT_EQ(doc.filename(), "/tmp/x.wav");
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, "The file has been modified.\rDo you want to save the changes?");
    EXPECT_EQ(prompter.asked[0].caption, "File has been modified");
    EXPECT_EQ(prompter.asked[0].buttons, tbuttons::yesnocancel);
}

TEST_F(tclosing, NoDiscardsAndEmpties) {
    prompter.answers = {tanswer::no};
    EXPECT_TRUE(life.new_document());
    EXPECT_EQ(doc.totnchans(), 0);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(doc.filename(), "");
    EXPECT_EQ(life.currentnbits, 0);
    EXPECT_EQ(stops, 1);
}

TEST_F(tclosing, ClosingEmptiesTheZoomHistoryACancelKeepsIt) {
    tzoomhistory zoom;
    life.zoomhistory = &zoom;
    zoom.push(1, 2, false);
    zoom.push(1.2, 1.8, true);
    prompter.answers = {tanswer::cancel};
    EXPECT_FALSE(life.close_document());
    EXPECT_EQ(zoom.zoomstack().size(), 2u);
    prompter.answers = {tanswer::no};
    EXPECT_TRUE(life.close_document());
    EXPECT_TRUE(zoom.zoomstack().empty());
    EXPECT_FALSE(zoom.lastzoombykey());
}

TEST_F(tclosing, YesWithoutASaveRefusesTheClose) {
    prompter.answers = {tanswer::yes};
    EXPECT_FALSE(life.close_document());
    EXPECT_EQ(doc.totnchans(), 2);
    // A save that works lets it close.
    life.hooks.save_as = [this] { doc.set_modified(false); };
    prompter.answers = {tanswer::yes};
    EXPECT_TRUE(life.close_document());
    EXPECT_EQ(doc.totnchans(), 0);
}

TEST_F(tclosing, UnmodifiedClosesWithoutAQuestion) {
    doc.set_modified(false);
    EXPECT_TRUE(life.close_document());
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(tclosing, ExitAsksAboutDocumentThenProcess) {
    bool procmodified = true;
    int procsaves = 0;
    life.hooks.process_modified = [&] { return procmodified; };
    life.hooks.process_name = [] { return std::string("/p/f0.tessalproc"); };
    life.hooks.save_process = [&] { ++procsaves; };

    prompter.answers = {tanswer::cancel};
    EXPECT_FALSE(life.confirm_exit());
    EXPECT_EQ(prompter.asked.back().caption, "File has been modified - Tessal");

    prompter.answers = {tanswer::no, tanswer::cancel};
    EXPECT_FALSE(life.confirm_exit());
    EXPECT_EQ(prompter.asked.back().text,
              "The process has been modified.\rDo you want to save the changes?\r/p/f0.tessalproc");
    EXPECT_EQ(prompter.asked.back().caption, "Process has been modified - Tessal");

    // Yes to the process whose save fails keeps the program open.
    prompter.answers = {tanswer::no, tanswer::yes};
    EXPECT_FALSE(life.confirm_exit());
    EXPECT_EQ(procsaves, 1);

    prompter.answers = {tanswer::no, tanswer::no};
    EXPECT_TRUE(life.confirm_exit());
    procmodified = false;
    prompter.answers = {tanswer::no};
    EXPECT_TRUE(life.confirm_exit());
    // Exit leaves the document itself alone; the program is ending.
    EXPECT_EQ(doc.totnchans(), 2);
}
