// A recording through the "Record from soundcard" window with the fake
// input device is one undo step, "Record", from the preparing of its
// channels to the device closing; Undo and Redo are off while it runs. What
// it captures goes to a spool file beside the journal as it comes in; the
// spool goes once the journal holds the finished recording, and the journal
// alone then rebuilds it. A spool left by a recording that never finished
// puts the recorded audio back, into its channels after the journal's
// changes or into a new document when the journal is gone.
#include <memory>
#include <QAction>
#include <filesystem>
#include <gtest/gtest.h>

#include "engine/history/journal.h"
#include "engine/history/recovery.h"
#include "gui/editing/undomodule.h"
#include "support/fakerecording.h"
#include "support/scriptedprompter.h"
#include "windowfixture.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Two channels at 8 kHz; sample k of channel c holds (c + 1) * k / 1e4.
void fill(tdocument& doc) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = ch.orgsampfreq = 8000;
        ch.set_fsd(1);
        tsinglearr v(800);
        for (int k = 0; k < 800; ++k) v[k] = static_cast<float>((c + 1) * k / 1e4);
        ch.set_samples(std::move(v));
    }
    doc.set_modified(false);
}

}  // namespace

TEST(RecordUndo, ARecordingIsOneStepAndTheJournalAloneRebuildsIt) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    fill(w.document());
    const std::vector<float> before0 = samples(w.document(), 0);
    tfakerecording rec(w);
    rec.setup("Stereo", 8000, -1, -1);
    rec.window->record_clicked();
    ASSERT_NE(rec.device, nullptr);
    ASSERT_TRUE(rec.device->started);
    ASSERT_EQ(w.document().totnchans(), 4);
    EXPECT_FALSE(enabled(w, "undoaction"));  // nothing to take back while it runs
    const std::string journal = w.undo().journal_path();
    ASSERT_FALSE(journal.empty());
    ASSERT_EQ(list_spools(journal_folder()).size(), 1u);
    EXPECT_TRUE(is_spool_of(list_spools(journal_folder())[0], journal));

    const auto captured = tfakerecording::signal(3000, 2, 1);
    rec.device->capture16(captured);
    rec.window->record_clicked();  // Stop!
    ASSERT_FALSE(rec.window->recorder().frecording);
    w.undo().flush_journal();
    EXPECT_TRUE(list_spools(journal_folder()).empty());  // the journal holds it now
    ASSERT_TRUE(enabled(w, "undoaction"));
    EXPECT_EQ(w.commands().action("undoaction")->text(), "Undo Record");
    const std::vector<float> left = samples(w.document(), 2), right = samples(w.document(), 3);
    EXPECT_EQ(left, side(captured, 2, 0));
    EXPECT_EQ(right, side(captured, 2, 1));

    // Undo takes the whole recording back, Redo brings it again bit for bit.
    w.commands().action("undoaction")->trigger();
    ASSERT_EQ(w.document().totnchans(), 2);
    EXPECT_EQ(samples(w.document(), 0), before0);
    EXPECT_FALSE(w.document().modified());
    w.commands().refresh();
    w.commands().action("redoaction")->trigger();
    ASSERT_EQ(w.document().totnchans(), 4);
    EXPECT_EQ(samples(w.document(), 2), left);
    EXPECT_EQ(samples(w.document(), 3), right);
    EXPECT_EQ(w.document().channel(2).name(), "Left");

    // The journal replayed onto the document as it was gives the recording.
    w.undo().flush_journal();
    tdocument again;
    fill(again);
    tundohistory h(again);
    const trecovery r = replay_journal(again, h, read_journal(journal));
    EXPECT_TRUE(r.lost.empty()) << r.lost;
    ASSERT_EQ(again.totnchans(), 4);
    EXPECT_EQ(samples(again, 2), left);
    EXPECT_EQ(samples(again, 3), right);
    EXPECT_EQ(again.channel(3).name(), "Right");
}

TEST(RecordUndo, ARecordingIntoAChannelIsUndoneToItsSamplesAndLabels) {
    tscriptedmain m;
    TMainWindow& w = m.w;
    fill(w.document());
    w.document().channel(1).add_label(0.01, 0.02, "kept", "", {});
    const std::vector<float> before1 = samples(w.document(), 1);
    tfakerecording rec(w);
    rec.setup("Mono", 8000, 1, 1);
    rec.window->record_clicked();
    ASSERT_EQ(w.document().totnchans(), 2);
    // Loud enough at the end to be marked as overloaded when the device closes.
    std::vector<std::int16_t> captured = tfakerecording::signal(2000, 1, 2);
    captured.insert(captured.end(), 10, 32767);
    rec.device->capture16(captured);
    rec.window->record_clicked();
    ASSERT_EQ(w.document().channel(1).labels.size(), 1u);
    EXPECT_EQ(w.document().channel(1).labels[0].text, "Overload!");
    EXPECT_EQ(samples(w.document(), 1), side(captured, 1, 0));
    w.commands().refresh();
    w.commands().action("undoaction")->trigger();
    EXPECT_EQ(samples(w.document(), 1), before1);
    ASSERT_EQ(w.document().channel(1).labels.size(), 1u);
    EXPECT_EQ(w.document().channel(1).labels[0].text, "kept");
    w.commands().refresh();
    w.commands().action("redoaction")->trigger();
    EXPECT_EQ(samples(w.document(), 1), side(captured, 1, 0));
    ASSERT_EQ(w.document().channel(1).labels.size(), 1u);
    EXPECT_EQ(w.document().channel(1).labels[0].text, "Overload!");
}

TEST(RecordUndo, ASpoolLeftBehindPutsTheRecordingBack) {
    std::string journal, spool;
    // Ten whole buffers of 256 frames: all of it is delivered before the crash.
    std::vector<std::int16_t> captured = tfakerecording::signal(2560, 2, 3);
    {
        tscriptedmain m;
        TMainWindow& w = m.w;
        fill(w.document());
        w.document().set_modified(true);
        tfakerecording rec(w);
        rec.setup("Stereo", 8000, 0, -1);  // over channel 0 and into a new one
        rec.window->record_clicked();
        rec.device->capture16(captured);
        rec.window->flush_spool();
        journal = w.undo().journal_path();
        ASSERT_EQ(list_spools(journal_folder()).size(), 1u);
        spool = list_spools(journal_folder())[0];
        // A crash now: the journal and the spool stay as they are on disk.
        std::filesystem::copy_file(journal, journal + ".kept");
        std::filesystem::copy_file(spool, spool + ".kept");
    }
    std::filesystem::rename(journal + ".kept", journal);
    std::filesystem::rename(spool + ".kept", spool);
    const auto found = list_leftovers(journal_folder());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].spool, spool);

    // After the journal (no changes here) the recording goes back into
    // channel 0 and a new channel 2.
    tdocument doc;
    fill(doc);
    tundohistory h(doc);
    const tspoolcontents s = read_spool(spool);
    EXPECT_EQ(describe_recording(s), "a recording of 0.3 s on channels 0 and 2");
    const trecovery r = recover_leftover(doc, h, read_journal(journal), &s);
    EXPECT_TRUE(r.lost.empty()) << r.lost;
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(samples(doc, 0), side(captured, 2, 0));
    EXPECT_EQ(samples(doc, 2), side(captured, 2, 1));
    EXPECT_EQ(doc.channel(0).name(), "Left");
    EXPECT_EQ(h.undo_name(), "Record");
    h.undo();
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_FLOAT_EQ(doc.channel(0).sample(10), 10 / 1e4f);

    // The journal gone: the recording alone, as new channels 0 and 1.
    std::filesystem::remove(journal);
    const auto alone = list_leftovers(journal_folder());
    ASSERT_EQ(alone.size(), 1u);
    EXPECT_TRUE(alone[0].journal.empty());
    tdocument fresh;
    tundohistory h2(fresh);
    const tspoolcontents s2 = as_new_channels(read_spool(spool), 0);
    recover_leftover(fresh, h2, tjournalcontents{.readable = true}, &s2);
    ASSERT_EQ(fresh.totnchans(), 2);
    EXPECT_EQ(samples(fresh, 0), side(captured, 2, 0));
    EXPECT_EQ(samples(fresh, 1), side(captured, 2, 1));

    // A spool cut in the middle of a delivery keeps the whole deliveries.
    const auto size = std::filesystem::file_size(spool);
    std::filesystem::resize_file(spool, size - 100);
    const tspoolcontents cut = read_spool(spool);
    EXPECT_TRUE(cut.readable);
    EXPECT_GT(cut.lostbytes, 0u);
    EXPECT_EQ(cut.samples[0].size(), 2560u);
    EXPECT_LT(cut.samples[1].size(), 2560u);
    EXPECT_GT(cut.frames(), 0u);
    for (std::size_t k = 0; k < cut.samples[0].size(); ++k)
        ASSERT_EQ(cut.samples[0][k], side(captured, 2, 0)[k]) << k;
}

TEST(RecordUndo, CommandsRunDuringTheRecordingComeBackWithItAfterACrash) {
    std::string journal, spool;
    std::vector<float> edited;
    const std::vector<std::int16_t> captured = tfakerecording::signal(2560, 1, 5);
    {
        tscriptedmain m;
        TMainWindow& w = m.w;
        fill(w.document());
        tfakerecording rec(w);
        rec.setup("Mono", 8000, -1, -1);  // into a new channel 2
        rec.window->record_clicked();
        ASSERT_EQ(w.document().totnchans(), 3);
        rec.device->capture16({captured.begin(), captured.begin() + 1280});
        // Two commands on channel 0 while the recording runs.
        tdocument& doc = w.document();
        doc.selectmode = selmono;
        doc.set_thischanno(0);
        doc.theglobal.set_selection(0.01, 0.02);
        w.commands().refresh();
        w.commands().action("reverseaction")->trigger();
        doc.theglobal.set_selection(0.05, 0.06);
        w.commands().refresh();
        m.prompter->answers.push_back(tanswer::ok);  // the question Cut asks before it removes
        w.commands().action("cutaction")->trigger();
        rec.device->capture16({captured.begin() + 1280, captured.end()});
        ASSERT_TRUE(rec.window->recorder().frecording);
        edited = samples(doc, 0);
        ASSERT_EQ(edited.size(), 720u);  // the cut took 80 samples
        EXPECT_NE(edited[80], 80 / 1e4f);  // reversed
        rec.window->flush_spool();
        w.undo().flush_journal();
        journal = w.undo().journal_path();
        spool = list_spools(journal_folder()).at(0);
        // A crash now, the recording still running.
        std::filesystem::copy_file(journal, journal + ".kept");
        std::filesystem::copy_file(spool, spool + ".kept");
    }
    std::filesystem::rename(journal + ".kept", journal);
    std::filesystem::rename(spool + ".kept", spool);
    tdocument doc;
    fill(doc);
    tundohistory h(doc);
    const tspoolcontents s = read_spool(spool);
    const trecovery r = recover_leftover(doc, h, read_journal(journal), &s);
    EXPECT_TRUE(r.lost.empty()) << r.lost;
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(samples(doc, 0), edited);
    EXPECT_EQ(samples(doc, 2), side(captured, 1, 0));
    // The commands and the recording are steps of their own.
    EXPECT_EQ(h.undo_count(), 3u);
    EXPECT_EQ(h.undo_name(), "Record");
    std::filesystem::remove(journal);
    std::filesystem::remove(spool);
}
