// The Labels menu: adding, selecting through the edit set, deleting with
// and without the question, the changing captions, Log labels' rows, the
// Label properties values and the Notes stamp.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/tdocument.h"
#include "engine/measurements/datalog.h"
#include "engine/document/labelcommands.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

struct tlabelfixture {
    tdocument doc;
    tscriptedprompter prompter;
    explicit tlabelfixture(int n = 2) {
        doc.set_totnchans(n);
        for (int i = 0; i < n; ++i) {
            doc.channel(i).sampfreq = 1000;
            doc.channel(i).set_samples(tsinglearr(2000, 0.5f));
        }
        doc.selectmode = selmono;
    }
    tsiglabels& labels(int c) { return doc.channel(c).labels; }
};

}  // namespace

TEST(LabelAdd, ManualOverTheSelectionAndEmptyTextAddsNothing) {
    tlabelfixture f;
    f.doc.set_thischanno(1);
    f.doc.theglobal.set_selection(0.7, 0.2);
    f.doc.set_modified(false);
    EXPECT_FALSE(add_manual_label(f.doc, ""));
    EXPECT_TRUE(f.labels(1).empty());
    EXPECT_FALSE(f.doc.modified());
    ASSERT_TRUE(add_manual_label(f.doc, "vowel"));
    ASSERT_EQ(f.labels(1).size(), 1u);
    EXPECT_EQ(f.labels(1)[0].labeltype, "manual");
    EXPECT_DOUBLE_EQ(f.labels(1)[0].time, 0.2);
    EXPECT_DOUBLE_EQ(f.labels(1)[0].duration, 0.5);
    EXPECT_TRUE(f.labels(0).empty());
    f.doc.theglobal.set_selection(0.3, 0.3);
    ASSERT_TRUE(add_manual_label(f.doc, "point"));
    EXPECT_EQ(f.labels(1)[1].duration, 0);
}

TEST(LabelAdd, MeasurementLabelCarriesTheShownItemsAfterTheWait) {
    tlabelfixture f(3);
    f.doc.selectmode = selall;
    f.doc.channel(1).set_visible(false);
    f.doc.selectmode = selvisible;
    for (int i = 0; i < nmeasurementitems; ++i) f.doc.showmeasurement[i] = i <= 3;
    bool waited = false;
    f.doc.theglobal.set_selection(0.1, 0.4);
    ASSERT_TRUE(add_measurement_label(f.doc, [&] { waited = true; }));
    EXPECT_TRUE(waited);
    EXPECT_TRUE(f.labels(1).empty());
    for (int c : {0, 2}) {
        ASSERT_EQ(f.labels(c).size(), 1u);
        const tsiglabel& l = f.labels(c)[0];
        EXPECT_EQ(l.text, "Measurement");
        EXPECT_EQ(l.labeltype, "measurement");
        EXPECT_DOUBLE_EQ(l.duration, 0.3);
        ASSERT_EQ(l.entities.no.size(), 1u);
        EXPECT_EQ(l.entities.no[0].entityname, "Sampling rate");
        EXPECT_EQ(l.entities.no[0].value, 1000);
        EXPECT_EQ(l.entities.no[0].yunit, "Hz");
    }
    // The threshold joins the "Avg>" heading.
    f.doc.showmeasurement[15] = true;
    f.doc.measurementthreshold = 0.25;
    tentities e = measurement_entities(f.doc, f.doc.channel(0));
    EXPECT_EQ(e.no.back().entityname, "Avg>0.25");
}

TEST(LabelSelect, StereoPartnerTypesAndSignalAtLabel) {
    tlabelfixture f(3);
    f.doc.channel(1).stereochanno = 0;
    f.doc.channel(0).stereochanno = 1;
    for (int c = 0; c < 3; ++c) {
        f.doc.channel(c).add_label(0.1, 0.1, "a", "manual");
        f.doc.channel(c).add_label(0.5, 0.2, "b", "overload");
    }
    f.doc.selectmode = selstereo;
    f.doc.set_thischanno(1);
    select_all_labels(f.doc);
    EXPECT_EQ(f.doc.channel(0).labels_selectcount(), 2);
    EXPECT_EQ(f.doc.channel(1).labels_selectcount(), 2);
    EXPECT_EQ(f.doc.channel(2).labels_selectcount(), 0);
    EXPECT_EQ(log_labels_caption(f.doc), "Log 4 selected labels");
    EXPECT_EQ(delete_labels_caption(f.doc), "Delete 4 selected labels");
    EXPECT_FALSE(can_select_signal_at_label(f.doc));  // two selected in the current channel
    deselect_all_labels(f.doc);
    EXPECT_EQ(log_labels_caption(f.doc), "Log all 6 labels");
    EXPECT_EQ(delete_labels_caption(f.doc), "Delete labels");
    EXPECT_FALSE(can_deselect_labels(f.doc));
    select_labels_by_type(f.doc, 2);  // "overload"
    EXPECT_EQ(log_labels_caption(f.doc), "Log 2 selected labels");
    EXPECT_TRUE(f.labels(1)[1].selected);
    EXPECT_FALSE(f.labels(1)[0].selected);
    ASSERT_TRUE(can_select_signal_at_label(f.doc));
    ASSERT_TRUE(select_signal_at_label(f.doc));
    EXPECT_DOUBLE_EQ(f.doc.theglobal.sel1cursor(), 0.5);
    EXPECT_DOUBLE_EQ(f.doc.theglobal.sel2cursor(), 0.7);
    f.doc.selectmode = selmono;
    deselect_all_labels(f.doc);
    EXPECT_EQ(log_labels_caption(f.doc), "Log 1 selected label");
    select_labels_by_type(f.doc, 99);  // no such tag: nothing
    tlabelfixture e(1);
    EXPECT_EQ(log_labels_caption(e.doc), "Log labels");
    EXPECT_FALSE(can_log_labels(e.doc));
}

TEST(LabelDelete, AskedUnlessSwitchedOffAndRefusalKeepsThem) {
    tlabelfixture f(2);
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 4; ++k) f.doc.channel(c).add_label(0.1 * k, 0, std::to_string(k), "manual");
    f.labels(0)[1].selected = f.labels(0)[3].selected = true;
    f.labels(1)[0].selected = true;
    f.doc.set_modified(false);
    EXPECT_FALSE(delete_selected_labels(f.doc, f.prompter));  // No
    EXPECT_EQ(f.prompter.asked.at(0).text, "Do you want to delete the selected labels?");
    EXPECT_EQ(f.prompter.asked.at(0).caption, "Delete labels?");
    EXPECT_EQ(f.labels(0).size(), 4u);
    EXPECT_FALSE(f.doc.modified());
    f.prompter.answers = {tanswer::yes};
    ASSERT_TRUE(delete_selected_labels(f.doc, f.prompter));
    ASSERT_EQ(f.labels(0).size(), 2u);
    EXPECT_EQ(f.labels(0)[0].text, "0");
    EXPECT_EQ(f.labels(0)[1].text, "2");
    EXPECT_EQ(f.labels(1)[0].text, "1");
    // One label, asked in the singular; then without asking at all.
    f.labels(1)[2].selected = true;
    delete_selected_labels(f.doc, f.prompter);
    EXPECT_EQ(f.prompter.asked.back().caption, "Delete label?");
    f.doc.prefs.AskDeleteLabel = false;
    const std::size_t asked = f.prompter.asked.size();
    ASSERT_TRUE(delete_selected_labels(f.doc, f.prompter));
    EXPECT_EQ(f.prompter.asked.size(), asked);
    EXPECT_EQ(f.labels(1).size(), 2u);
    EXPECT_FALSE(delete_selected_labels(f.doc, f.prompter));  // none selected
}

TEST(LabelLog, SelectedOnlyWhereAnyIsSelected) {
    tlabelfixture f(2);
    f.doc.channel(0).filename = "a.wav";
    f.doc.channel(0).set_name("mic");
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 3; ++k) f.doc.channel(c).add_label(0.25 * k, 0.125, "t", "manual");
    f.labels(0)[1].selected = true;
    tentities ents;
    ents.descriptor = "desc";
    ents.no = {{"Leq", 3.14159, "dB re FSD"}, {"Dur", 0.5, "s"}, {"RMS", NAN, "Pa"},
               {"Peak", 1234.5678, "Pa"}};
    f.doc.channel(0).labels[1].entities = ents;
    std::vector<tlogrow> rows = label_log_rows(f.doc);
    ASSERT_EQ(rows.size(), 4u);  // one from channel 0, three from channel 1
    EXPECT_EQ(rows[0].heading,
              "Channel\tTime [s]\tDuration [s]\tLabel type\tText\tLeq [dB re FSD]\tDur [s]\t"
              "RMS [Pa]\tPeak [Pa]\tdescription\tFilename\tChannel name");
    EXPECT_EQ(rows[0].line, "0\t0.250\t0.125\tmanual\tt\t3.14\t0.500\t-\t1234.6\tdesc\ta.wav\tmic");
    EXPECT_EQ(rows[1].line, "1\t0.000\t0.125\tmanual\tt\t\t\t");
    tdatalog log;
    ASSERT_TRUE(log_labels(f.doc, log));
    // Two headings: channel 0's row has entities, channel 1's rows do not.
    EXPECT_EQ(log.lines().size(), 4u + 2);
}

TEST(LabelProperties, UserLabelsEditTimeSystemLabelsDoNot) {
    tlabelfixture f(1);
    tsiglabel l;
    l.time = 0.5;
    l.duration = 0.25;
    l.text = "old";
    l.labeltype = "SMP";
    l.entities.descriptor = "made by a test";
    l.entities.no = {{"F0", 120.0, "Hz"}};
    tlabelproperties p = label_properties(f.doc, l);
    EXPECT_TRUE(p.timeeditable);
    EXPECT_EQ(p.typecaption, "Label type: SMP");
    ASSERT_EQ(p.memo.size(), 2u);
    EXPECT_EQ(p.memo[1], "F0=120 Hz");
    p.text = "new";
    p.time = "0.75";
    p.duration = "x";
    tsiglabel edited = l;
    f.doc.set_modified(false);
    EXPECT_FALSE(save_label_properties(f.doc, edited, p));
    EXPECT_EQ(edited.text, "old");
    EXPECT_FALSE(f.doc.modified());
    p.duration = "0.1";
    ASSERT_TRUE(save_label_properties(f.doc, edited, p));
    EXPECT_EQ(edited.text, "new");
    EXPECT_EQ(edited.time, 0.75);
    EXPECT_TRUE(f.doc.modified());

    l.labeltype = "overload";
    p = label_properties(f.doc, l);
    EXPECT_FALSE(p.timeeditable);
    p.time = "junk";  // not read for a system label
    p.text = "renamed";
    edited = l;
    ASSERT_TRUE(save_label_properties(f.doc, edited, p));
    EXPECT_EQ(edited.text, "renamed");
    EXPECT_EQ(edited.time, 0.5);

    // Stored back, the labels stay sorted.
    f.doc.channel(0).add_label(0.1, 0, "a", "manual");
    f.doc.channel(0).add_label(0.2, 0, "b", "manual");
    tsiglabel moved = f.labels(0)[0];
    moved.time = 0.3;
    ASSERT_TRUE(store_label(f.doc, 0, 0, moved));
    EXPECT_EQ(f.labels(0)[0].text, "b");
    EXPECT_EQ(f.labels(0)[1].text, "a");
}

TEST(LabelNotes, StampAndSave) {
    tcreatedata c;
    EXPECT_EQ(notes_stamp(c)[0], "Date: -");
    c.date = 45658.75;  // 2025-01-01 18:00
    c.user = "ann";
    c.computer = "lab";
    c.origin = "Tessal process";
    std::vector<std::string> s = notes_stamp(c);
    EXPECT_EQ(s[0], "Date: 2025-01-01 18:00:00");
    EXPECT_EQ(s[1], "By: ann");
    EXPECT_EQ(s[2], "at: lab");
    EXPECT_EQ(s[3], "Origin: Tessal process");
    EXPECT_EQ(daynumber_text(2), "1900-01-01 00:00:00");
    EXPECT_EQ(daynumber_text(-1), "1899-12-29 00:00:00");
    EXPECT_EQ(notes_caption(3), "Notes for channel 3");
    tlabelfixture f(1);
    save_notes(f.doc, 0, {"line 1", "line 2"}, 0x00FFFF);
    EXPECT_EQ(f.doc.channel(0).notes.size(), 2u);
    EXPECT_EQ(f.doc.channel(0).notescolor, 0x00FFFFu);
    EXPECT_TRUE(f.doc.modified());
}
