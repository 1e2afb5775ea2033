// The undo history over the real editing commands: random sequences of
// sample, label and channel commands on random documents, each followed by
// undoing everything (the document equals the original, samples bit for
// bit) and redoing everything (it equals the state after the sequence);
// what a step costs in memory; the budget; failed commands rolled back
// exactly; the modified flag across saves. The journal: the same random
// sequences (with undos and redos among them) written to a journal file and
// replayed onto the original document give the same document, and a
// journal cut or damaged at any point replays everything before the cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "engine/core/clipboard.h"
#include "engine/core/tdocument.h"
#include "engine/history/bytecodec.h"
#include "engine/document/channelcommands.h"
#include "engine/document/editcommands.h"
#include "engine/document/labelcommands.h"
#include "engine/document/levels.h"
#include "engine/history/journal.h"
#include "engine/history/undohistory.h"
#include "support/scriptedprompter.h"
#include "support/sigcachecheck.h"
#include "support/tempdirtest.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

// Everything a user could tell apart, samples as their bit patterns.
struct tpicture {
    struct tch {
        std::vector<std::uint32_t> bits;
        tchannelstate state;
        bool operator==(const tch&) const = default;
    };
    std::vector<tch> chans;
    bool modified = false;
    int thischanno = 0;
    double sel1 = 0, sel2 = 0;
    bool operator==(const tpicture&) const = default;
};

tpicture picture(const tdocument& doc) {
    tpicture p;
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel& c = doc.channel(i);
        tpicture::tch t;
        const tsinglearr s = c.samples_array();
        t.bits.resize(s.size());
        if (!s.empty()) std::memcpy(t.bits.data(), s.data(), s.size() * 4);
        t.state = tchannelstate::of(c);
        p.chans.push_back(std::move(t));
    }
    p.modified = doc.modified();
    p.thischanno = doc.thischanno();
    p.sel1 = doc.theglobal.sel1cursor();
    p.sel2 = doc.theglobal.sel2cursor();
    return p;
}

void random_document(tdocument& doc, std::mt19937& rng) {
    std::uniform_int_distribution<int> nch(1, 4), len(0, 400);
    std::normal_distribution<float> x(0, 0.3f);
    doc.set_totnchans(nch(rng));
    for (int c = 0; c < doc.totnchans(); ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 1000;
        ch.set_name("ch" + std::to_string(c));
        ch.set_created(tcreatedata{});  // the same whenever the document is made
        ch.xshift = std::uniform_int_distribution<int>(-20, 20)(rng);
        const int n = len(rng);
        tsinglearr v;
        for (int i = 0; i < n; ++i) v.push_back(x(rng));
        if (n > 3) v[1] = -0.0f;  // a sign a plain == would not see
        ch.set_samples(std::move(v));
        ch.add_label(0.05, 0.02, "a", "manual");
    }
    if (doc.totnchans() > 1) {
        doc.channel(0).stereochanno = 1;
        doc.channel(1).stereochanno = 0;
    }
    doc.set_modified(false);
}

// One random command through begin/commit, as the command guard runs it.
void random_command(tdocument& doc, tundohistory& h, teditcommands& cmd, tscriptedprompter& pr,
                    std::mt19937& rng) {
    std::uniform_real_distribution<double> t(-0.05, 0.45);
    double a = t(rng), b = t(rng);
    doc.theglobal.set_selection(std::min(a, b), std::max(a, b));
    if (doc.totnchans() > 0)
        doc.set_thischanno(std::uniform_int_distribution<int>(0, doc.totnchans() - 1)(rng));
    doc.selectmode = std::uniform_int_distribution<int>(1, 4)(rng);
    const int what = std::uniform_int_distribution<int>(0, 13)(rng);
    h.begin("command " + std::to_string(what));
    switch (what) {
        case 0: pr.answers.push_back(tanswer::ok); cmd.delete_selection(); break;
        case 1: cmd.cut(); break;
        case 2: cmd.copy(); cmd.paste(); break;
        case 3: cmd.paste(); break;
        case 4: cmd.zero(); break;
        case 5: cmd.reverse(); break;
        case 6: cmd.interpolate(); break;
        case 7: {
            tlevelchange c;
            c.type = std::uniform_int_distribution<int>(constantlevel, removedc)(rng);
            c.startvalue = 2;
            c.endvalue = -3;
            c.ramp_ms = std::uniform_int_distribution<int>(0, 30)(rng);
            edit_levels(doc, c);
            break;
        }
        case 8: add_manual_label(doc, "x" + std::to_string(rng() % 100)); break;
        case 9:
            select_all_labels(doc);
            pr.answers.push_back(tanswer::yes);
            pr.answers.push_back(tanswer::ok);
            delete_selected_labels(doc, pr);
            break;
        case 10: pr.answers.push_back(tanswer::yes); delete_current_channel(doc, pr); break;
        case 11: pr.answers.push_back(tanswer::yes); delete_current_channels(doc, pr); break;
        case 12: {
            tchannel& c = doc.create_channel(static_cast<int>(rng() % (doc.totnchans() + 1)));
            c.sampfreq = 1000;
            c.set_samples(tsinglearr(rng() % 50, 0.5f));
            doc.set_modified(true);
            break;
        }
        case 13:
            if (doc.totnchans() > 0) {
                tchannel& c = doc.channel(doc.thischanno());
                c.set_name(c.name() + "'");
                c.set_fsd(c.fsd() * 2);
                doc.set_modified(true);
            }
            break;
    }
    pr.answers.clear();
    h.commit();
}

}  // namespace

TEST(UndoHistory, RandomSequencesUndoToTheOriginalAndRedoToTheEnd) {
    std::mt19937 rng(20261209);
    int stepsseen = 0;
    for (int round = 0; round < 2500; ++round) {
        tdocument doc;
        tundohistory h(doc);
        tscriptedprompter pr;
        tmemoryblockclipboard clip;
        teditcommands cmd(doc, pr, clip);
        random_document(doc, rng);
        h.clear();
        doc.theglobal.set_selection(0.1, 0.2);
        const tpicture original = picture(doc);
        const int n = std::uniform_int_distribution<int>(1, 12)(rng);
        for (int k = 0; k < n; ++k) random_command(doc, h, cmd, pr, rng);
        const tpicture final = picture(doc);
        const bool anystep = h.undo_count() > 0;
        stepsseen += static_cast<int>(h.undo_count());
        while (h.undo()) {
        }
        ASSERT_EQ(picture(doc).chans, original.chans) << "round " << round;
        // (A command that only set the flag leaves nothing to undo.)
        if (anystep) {
            EXPECT_EQ(doc.modified(), original.modified);
        }
        while (h.redo()) {
        }
        tpicture redone = picture(doc);
        ASSERT_EQ(redone.chans, final.chans) << "round " << round;
        EXPECT_EQ(redone.modified, final.modified);
    }
    EXPECT_GT(stepsseen, 10000);  // the commands really changed things
}

TEST(UndoHistory, UndoOfDeleteOnAnHourLongChannelHoldsOnlyTheDeletedSamples) {
    tdocument doc;
    tundohistory h(doc);
    tscriptedprompter pr;
    tmemoryblockclipboard clip;
    teditcommands cmd(doc, pr, clip);
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = 16000;
    const std::size_t n = 3600u * 16000u;
    tsinglearr v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>(i % 1000);
    ch.set_samples(std::move(v));
    doc.set_modified(false);
    doc.selectmode = selmono;
    doc.theglobal.set_selection(100.0, 101.0);  // one second: 16000 samples
    pr.answers.push_back(tanswer::ok);
    h.begin("Delete");
    ASSERT_TRUE(cmd.delete_selection());
    h.commit();
    ASSERT_EQ(h.undo_name(), "Delete");
    // The deleted second lies inside blocks the channel still uses on both
    // sides of the cut: the step shares them and holds at most that second.
    EXPECT_LE(h.memory_bytes(), 16000 * sizeof(float) + 4096);
    ASSERT_TRUE(h.undo());
    ASSERT_EQ(doc.channel(0).sample_count(), static_cast<std::int64_t>(n));
    EXPECT_EQ(doc.channel(0).sample(1600000), 0.0f);
    EXPECT_EQ(doc.channel(0).sample(1600999), 999.0f);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(h.redo_name(), "Delete");
}

TEST(UndoHistory, TheOpenStepCountsWhatItsNestedCommandsHold) {
    // A recording keeps its step open while commands run inside it: what
    // they hold is counted while the step is open and moves to the kept
    // step when it is committed.
    tdocument doc;
    tundohistory h(doc);
    doc.set_totnchans(1);
    doc.channel(0).set_samples(tsinglearr(100000, 1.0f));
    h.clear();
    EXPECT_EQ(h.open_bytes(), 0u);
    h.begin("Record");
    for (int k = 0; k < 3; ++k) {
        h.begin("Zero");
        doc.samples_changing(doc.channel(0), 1000, 21000);
        const std::vector<float> v(20000, float(k));
        doc.channel(0).write_samples(1000, v.data(), v.size());
        h.commit();
    }
    EXPECT_FALSE(h.can_undo());
    EXPECT_EQ(h.memory_bytes(), 0u);
    // Each write replaced the block it fell in; only the history holds the
    // replaced ones.
    EXPECT_GE(h.open_bytes(), 3 * 20000 * sizeof(float));
    EXPECT_LE(h.open_bytes(), 3 * block_samples * sizeof(float) + 4096);
    const std::size_t open = h.open_bytes();
    h.commit();
    EXPECT_EQ(h.open_bytes(), 0u);
    // The kept step also notes the document's state before and after.
    EXPECT_GE(h.memory_bytes(), open);
    EXPECT_LE(h.memory_bytes(), open + 4096);
    ASSERT_TRUE(h.undo());
    EXPECT_EQ(doc.channel(0).sample(1000), 1.0f);
    EXPECT_EQ(doc.channel(0).sample(20999), 1.0f);
}

TEST(UndoHistory, TheBudgetDropsTheOldestSteps) {
    tdocument doc;
    tundohistory h(doc);
    doc.set_totnchans(1);
    doc.channel(0).set_samples(tsinglearr(100000, 1.0f));
    h.clear();
    // Each step replaces the first block (what only the history then
    // holds): room for one such block, not two.
    h.set_budget(block_samples * sizeof(float) * 3 / 2);
    for (int k = 0; k < 5; ++k) {
        h.begin("Zero " + std::to_string(k));
        doc.samples_changing(doc.channel(0), 0, 40000);
        const std::vector<float> v(40000, float(k));
        doc.channel(0).write_samples(0, v.data(), v.size());
        h.commit();
    }
    EXPECT_LE(h.memory_bytes(), block_samples * sizeof(float) * 3 / 2);
    EXPECT_EQ(h.undo_count(), 1u);
    EXPECT_EQ(h.dropped_steps(), 4u);
    EXPECT_EQ(h.undo_name(), "Zero 4");
    h.undo();
    EXPECT_EQ(doc.channel(0).sample(0), 3.0f);
    EXPECT_FALSE(h.can_undo());
}

TEST(UndoHistory, AFailedCommandIsRolledBackExactlyWhateverTheSize) {
    tdocument doc;
    tundohistory h(doc);
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        doc.channel(c).sampfreq = 1000;
        doc.channel(c).set_samples(tsinglearr(5000, 0.25f * (c + 1)));
        doc.channel(c).add_label(0.1, 0.2, "a", "manual");
    }
    doc.channel(0).stereochanno = 1;
    doc.set_filename("/tmp/take.wav");
    doc.set_modified(false);
    doc.theglobal.set_selection(0.2, 0.4);
    const tchannel* second = &doc.channel(1);
    const tpicture before = picture(doc);

    h.begin("Something");
    tchannel& ch = doc.channel(0);
    doc.samples_changing(ch, 10, 4000);
    ch.erase_samples(10, 4000);
    ch.set_name("changed");
    ch.labels.clear();
    doc.delete_channel(1);  // gone, and its partner number with it
    doc.create_channel(0).set_samples(tsinglearr(10, 9.0f));
    doc.theglobal.set_selection(0, 1);
    doc.set_modified(true);
    doc.set_filename("");
    h.rollback();

    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(&doc.channel(1), second);  // the same channel object came back
    EXPECT_EQ(picture(doc), before);
    EXPECT_EQ(doc.filename(), "/tmp/take.wav");
    EXPECT_FALSE(h.can_undo());
}

TEST(UndoHistory, TheModifiedFlagFollowsTheSavedPointAndViewChangesAreNoSteps) {
    tdocument doc;
    tundohistory h(doc);
    doc.set_totnchans(1);
    doc.channel(0).set_samples(tsinglearr(100, 1.0f));
    doc.set_modified(false);
    h.clear();
    auto edit = [&](float v) {
        h.begin("Zero");
        doc.samples_changing(doc.channel(0), 0, 10);
        const std::vector<float> ten(10, v);
        doc.channel(0).write_samples(0, ten.data(), ten.size());
        doc.set_modified(true);
        h.commit();
    };
    edit(2);
    edit(3);
    // A save: no step, but the file now holds the state after two edits.
    h.begin("Save");
    doc.set_modified(false);
    h.commit();
    EXPECT_EQ(h.undo_count(), 2u);
    // A view change is no step either.
    h.begin("Zoom");
    doc.channel(0).axis.set_hilovalues(5, -5);
    doc.theglobal.set_selection(0.01, 0.02);
    h.commit();
    EXPECT_EQ(h.undo_count(), 2u);
    h.undo();
    EXPECT_TRUE(doc.modified());
    EXPECT_EQ(doc.channel(0).sample(0), 2.0f);
    h.redo();
    EXPECT_FALSE(doc.modified());
    h.undo();
    h.undo();
    EXPECT_TRUE(doc.modified());
    EXPECT_EQ(doc.channel(0).sample(0), 1.0f);
    // A new edit here forgets the redo steps, and the saved state with them.
    edit(4);
    EXPECT_FALSE(h.can_redo());
    h.undo();
    EXPECT_TRUE(doc.modified());
}

TEST(UndoHistory, NestedStepsBelongToTheOutermostAndCloseForgetsEverything) {
    tdocument doc;
    tundohistory h(doc);
    doc.set_totnchans(1);
    doc.channel(0).set_samples(tsinglearr(100, 1.0f));
    h.clear();
    h.begin("Outer");
    doc.channel(0).set_name("a");
    h.begin("Inner");
    doc.channel(0).set_name("b");
    doc.create_channel(1);
    h.rollback();  // only the inner part goes back
    EXPECT_EQ(doc.channel(0).name(), "a");
    EXPECT_EQ(doc.totnchans(), 1);
    h.commit();
    EXPECT_EQ(h.undo_name(), "Outer");
    h.begin("Open");
    doc.contents_reset();
    doc.set_totnchans(0);
    doc.set_totnchans(2);
    h.commit();
    EXPECT_FALSE(h.can_undo());
    EXPECT_FALSE(h.can_redo());
    EXPECT_EQ(doc.totnchans(), 2);
}

TEST(UndoHistory, AnUnnamedStepIsNamedByItsWorkOrByANestedStep) {
    tdocument doc;
    tundohistory h(doc);
    doc.set_totnchans(1);
    doc.channel(0).set_samples(tsinglearr(100, 1.0f));
    h.clear();
    // The work names the step once it knows what it did.
    h.begin("");
    doc.channel(0).add_label(0.1, 0.2, "a", "manual");
    h.rename("Add label");
    EXPECT_EQ(h.step_name(), "Add label");
    h.commit();
    EXPECT_EQ(h.undo_name(), "Add label");
    // A dialog opened by an unnamed click names it, whatever the outer
    // work changes after the dialog closed; a rolled back nested step and
    // a later nested one do not.
    h.begin("");
    h.begin("Broken");
    doc.channel(0).set_name("x");
    h.rollback();
    EXPECT_EQ(h.step_name(), "");
    h.begin("Label properties");
    h.commit();
    h.begin("Other");
    h.commit();
    doc.channel(0).labels[0].text = "b";
    h.commit();
    EXPECT_EQ(h.undo_name(), "Label properties");
    // A named outer step keeps its name.
    h.begin("Outer");
    h.begin("Inner");
    doc.channel(0).set_name("c");
    h.commit();
    h.commit();
    EXPECT_EQ(h.undo_name(), "Outer");
    EXPECT_EQ(h.undo_count(), 3u);
    ASSERT_TRUE(h.undo());
    ASSERT_TRUE(h.undo());
    EXPECT_EQ(doc.channel(0).labels[0].text, "a");
    EXPECT_EQ(h.step_name(), "");  // none open
}

TEST(UndoHistory, UndoAndRollbackPutBackWhetherSamplesWantDither) {
    // Two channels read from a 16-bit file: every sample an exact step.
    tdocument doc;
    tundohistory h(doc);
    tscriptedprompter pr;
    tmemoryblockclipboard clip;
    teditcommands cmd(doc, pr, clip);
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 1000;
        ch.set_fsd(1);
        tsinglearr v(1000);
        for (int k = 0; k < 1000; ++k) v[k] = static_cast<float>((k * 37 % 2001) - 1000) / 32768;
        ch.set_samples(std::move(v));
        ch.needsdither = false;
    }
    doc.selectmode = selall;
    h.clear();
    auto flags = [&] { return std::vector<bool>{doc.channel(0).needsdither, doc.channel(1).needsdither}; };
    const std::vector<bool> none{false, false}, both{true, true};

    doc.theglobal.set_selection(0.1, 0.2);
    h.begin("Interpolate");
    ASSERT_TRUE(cmd.interpolate());
    h.commit();
    ASSERT_EQ(flags(), both);  // a straight line between steps is off the grid
    doc.theglobal.set_selection(0.5, 0.6);
    h.begin("Zero");
    ASSERT_TRUE(cmd.zero());
    h.commit();
    h.begin("Add label");
    add_manual_label(doc, "a");
    h.commit();
    h.begin("Name");
    doc.channel(1).set_name("b");
    h.commit();
    ASSERT_EQ(h.undo_count(), 4u);
    EXPECT_EQ(flags(), both);
    // Back to the file's samples: saved as they were read, undithered.
    while (h.undo()) {
    }
    EXPECT_EQ(flags(), none);
    while (h.redo()) {
    }
    EXPECT_EQ(flags(), both);
    while (h.undo()) {
    }
    // Only the name and a label change: the samples stay exact.
    h.begin("Name");
    doc.channel(0).set_name("c");
    add_manual_label(doc, "d");
    h.commit();
    ASSERT_TRUE(h.undo());
    ASSERT_TRUE(h.redo());
    EXPECT_EQ(flags(), none);
    // A failed command leaves the flags as they were.
    h.begin("Interpolate");
    ASSERT_TRUE(cmd.interpolate());
    h.rollback();
    EXPECT_EQ(flags(), none);
    // A new full scale puts the samples off the grid, and its undo back on.
    h.begin("Full scale");
    doc.channel(1).set_fsd(2);
    h.commit();
    EXPECT_TRUE(doc.channel(1).needsdither);
    ASSERT_TRUE(h.undo());
    EXPECT_EQ(flags(), none);
    ASSERT_TRUE(h.redo());
    EXPECT_TRUE(doc.channel(1).needsdither);
}

namespace {

struct Journal : tessal::testing::ttempdirtest {};

// The random document of `seed` with its history and the edit commands over
// it, the history journaled to `file` as steps commit and undo and redo move.
struct tjournaledrun {
    std::mt19937 rng;
    tdocument doc;
    tundohistory h{doc};
    tscriptedprompter pr;
    tmemoryblockclipboard clip;
    teditcommands cmd{doc, pr, clip};
    tjournal j;

    tjournaledrun(std::uint32_t seed, const std::string& file) : rng(seed), j(file, "") {
        random_document(doc, rng);
        h.clear();
        h.onstep = [this](const tundohistory::tstep& st) { j.append_step(doc, st); };
        h.onmove = [this](bool undo) { j.append_move(undo); };
    }
};

// Runs a random sequence with undos and redos among the commands, the
// history journaled to `file`; returns the final picture.
tpicture journaled_sequence(std::uint32_t seed, const std::string& file, int n) {
    tjournaledrun run(seed, file);
    auto& [rng, doc, h, pr, clip, cmd, j] = run;
    for (int k = 0; k < n; ++k) {
        const int r = static_cast<int>(rng() % 6);
        if (r == 0)
            h.undo();
        else if (r == 1)
            h.redo();
        else
            random_command(doc, h, cmd, pr, rng);
    }
    j.flush();
    return picture(doc);
}

tpicture replayed(std::uint32_t seed, const std::string& file, trecovery* out = nullptr,
                  std::size_t* undoable = nullptr) {
    std::mt19937 rng(seed);
    tdocument doc;
    tundohistory h(doc);
    random_document(doc, rng);
    h.clear();
    const tjournalcontents j = read_journal(file);
    EXPECT_TRUE(j.readable);
    trecovery r = replay_journal(doc, h, j);
    if (out) *out = r;
    if (undoable) *undoable = h.undo_count();
    return picture(doc);
}

}  // namespace

TEST_F(Journal, ReplayingTheJournalOntoTheOriginalGivesTheSameDocument) {
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        const std::string file = path("j" + std::to_string(seed) + ".tjournal");
        const tpicture final = journaled_sequence(seed, file, 15);
        trecovery r;
        const tpicture back = replayed(seed, file, &r);
        ASSERT_EQ(back.chans, final.chans) << "seed " << seed;
        EXPECT_EQ(back.modified, final.modified) << "seed " << seed;
        EXPECT_EQ(r.lost, "") << "seed " << seed;
    }
}

TEST_F(Journal, ACutOrDamagedEndReplaysEverythingBeforeItAndSaysSo) {
    const std::string file = path("cut.tjournal");
    journaled_sequence(77, file, 30);
    const tjournalcontents whole = read_journal(file);
    ASSERT_GT(whole.records.size(), 5u);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Cut in the middle of the file, and a byte flipped near the end.
    for (int variant = 0; variant < 2; ++variant) {
        std::string damaged = bytes;
        if (variant == 0)
            damaged.resize(bytes.size() / 2);
        else
            damaged[bytes.size() - 10] ^= 0x5A;
        const std::string f2 = path("damaged" + std::to_string(variant) + ".tjournal");
        std::ofstream(f2, std::ios::binary) << damaged;
        const tjournalcontents part = read_journal(f2);
        ASSERT_LT(part.records.size(), whole.records.size());
        EXPECT_GT(part.lostbytes, 0u);
        trecovery r;
        replayed(77, f2, &r);
        EXPECT_EQ(r.replayed, static_cast<int>(part.records.size()));
        EXPECT_NE(r.lost.find("damaged"), std::string::npos) << r.lost;
    }
    // Not a journal at all.
    std::ofstream(path("junk.tjournal")) << "hello";
    EXPECT_FALSE(read_journal(path("junk.tjournal")).readable);
}

namespace {

// A journal of one "Paste" step: channel 0, which had `before` samples,
// keeps its first `head` and last `tail` and gets `mid` between them.
tjournalcontents paste_journal(std::uint64_t before, std::uint64_t head, std::uint64_t tail,
                               const std::vector<float>& mid) {
    tbytewriter w;
    w.u8('S');  // a step
    w.str("Paste");
    w.u8('S');  // its samples
    w.i64(0);
    w.u64(before);
    w.u64(head);
    w.u64(tail);
    w.floats(mid.data(), mid.size());
    w.u8('E');
    w.u8(1);
    w.i64(0);
    w.i64(0);
    w.f64(0);
    w.f64(0);
    tjournalcontents j;
    j.readable = true;
    j.records.push_back(w.b);
    return j;
}

}  // namespace

// A sample record whose kept head and tail are too long, also when their
// sum wraps past 2^64, is not replayed and leaves the channel as it was.
TEST_F(Journal, ASampleRecordThatDoesNotFitTheChannelIsRefused) {
    const std::uint64_t big = ~std::uint64_t{0} - 500;
    for (auto [head, tail] : {std::pair<std::uint64_t, std::uint64_t>{big, 600},
                              {600, big}, {700, 301}, {1001, 0}, {400, 400}}) {
        tdocument doc;
        tundohistory h(doc);
        doc.set_totnchans(1);
        doc.channel(0).sampfreq = 1000;
        doc.channel(0).set_samples(tsinglearr(1000, 0.5f));
        h.clear();
        const trecovery r = replay_journal(doc, h, paste_journal(1000, head, tail, std::vector<float>(3, 0.25f)));
        if (head == 400) {  // the one that fits: 400 + 3 + 400 samples
            EXPECT_EQ(r.replayed, 1);
            EXPECT_EQ(doc.channel(0).sample_count(), 803);
            continue;
        }
        EXPECT_EQ(r.replayed, 0) << head << " " << tail;
        EXPECT_NE(r.lost, "");
        EXPECT_EQ(doc.channel(0).sample_count(), 1000);
        EXPECT_EQ(h.undo_count(), 0u);
    }
}

// Replaying a sample record edits the channel as the command did: only the
// min/max cache blocks it changed are computed, and the cache then equals a
// full rebuild, for records that keep the length, shorten the channel, grow
// it by a whole number of cache blocks and by a part of one.
TEST_F(Journal, ReplayOfASampleRecordLeavesTheCacheAFullRebuildWouldBuild) {
    struct tedit {
        std::uint64_t head, tail;
        std::size_t n;
    };
    for (const tedit& e : {tedit{1000, 3990, 10}, tedit{700, 1000, 50}, tedit{4000, 0, 1400},
                           tedit{1234, 3000, 766 + 200}, tedit{0, 4000, 7}, tedit{4999, 1, 0}}) {
        SCOPED_TRACE(std::to_string(e.head) + "/" + std::to_string(e.tail));
        tdocument doc;
        tundohistory h(doc);
        doc.set_totnchans(1);
        tchannel& ch = doc.channel(0);
        ch.sampfreq = 1000;
        std::vector<float> truth(5000);
        for (std::size_t i = 0; i < truth.size(); ++i) truth[i] = 0.8f * std::sin(0.003f * i * (1 + i % 7));
        ch.set_samples(tsinglearr(truth.begin(), truth.end()));
        ch.fix_sigcache();
        h.clear();
        std::vector<float> mid(e.n);
        for (std::size_t i = 0; i < mid.size(); ++i) mid[i] = -0.9f + 0.001f * i;
        ASSERT_EQ(replay_journal(doc, h, paste_journal(5000, e.head, e.tail, mid)).replayed, 1);
        truth.erase(truth.begin() + static_cast<std::ptrdiff_t>(e.head),
                    truth.end() - static_cast<std::ptrdiff_t>(e.tail));
        truth.insert(truth.begin() + static_cast<std::ptrdiff_t>(e.head), mid.begin(), mid.end());
        const tsinglearr got = ch.samples_array();
        EXPECT_EQ(std::vector<float>(got.begin(), got.end()), truth);
        EXPECT_FALSE(ch.sigcachedirty.full());
        EXPECT_EQ(tessal::testing::fixed_cache(ch), tessal::testing::rebuilt_cache(ch));
        // And undone, the channel and its cache are what they were.
        ASSERT_TRUE(h.undo());
        EXPECT_FALSE(ch.sigcachedirty.full());
        EXPECT_EQ(tessal::testing::fixed_cache(ch), tessal::testing::rebuilt_cache(ch));
        EXPECT_EQ(ch.sample_count(), 5000);
    }
}

// A step's record holds the same bytes whatever pieces its channels hand
// their samples out in: a changed span and a channel the step made.
TEST_F(Journal, AStepRecordDoesNotDependOnHowTheChannelIsRead) {
    auto record = [](std::size_t limit) {
        tdocument doc;
        tundohistory h(doc);
        doc.set_totnchans(1);
        tsinglearr v(3000);
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::cos(0.01f * i);
        doc.channel(0).set_samples(v);
        h.clear();
        std::vector<std::uint8_t> bytes;
        h.onstep = [&](const tundohistory::tstep& st) { bytes = encode_step(doc, st); };
        h.begin("Paste");
        tchannel& ch = doc.channel(0);
        doc.samples_changing(ch, 1000, 1003);
        ch.erase_samples(1000, 1003);
        const std::vector<float> paste(777, 0.3f);
        ch.insert_samples(1000, paste.data(), paste.size());
        tchannel& made = doc.create_channel(1);
        made.set_created(tcreatedata{});  // not the clock's time of this run
        made.set_samples(tsinglearr(v.begin(), v.begin() + 1001));
        ch.set_chunk_limit(limit);
        made.set_chunk_limit(limit);
        h.commit();
        return bytes;
    };
    const std::vector<std::uint8_t> whole = record(0);
    // The inserted channel's 1001 samples and the 777 pasted ones are there.
    EXPECT_GT(whole.size(), (1001 + 777) * sizeof(float));
    // The first byte that differs, -1 for none (a whole record is too long
    // to print).
    auto differs_at = [&whole](const std::vector<std::uint8_t>& b) {
        const auto m = std::mismatch(b.begin(), b.end(), whole.begin(), whole.end());
        return m.first == b.end() && m.second == whole.end() ? -1L : static_cast<long>(m.first - b.begin());
    };
    EXPECT_EQ(differs_at(record(7)), -1);
    EXPECT_EQ(differs_at(record(1)), -1);
    EXPECT_EQ(differs_at(record(1000)), -1);
}

namespace {

// A step held open across commands as a recording holds it: a new channel
// at the end (and, for odd seeds, channel 0 written over) by the step's own
// work, growing between random commands run inside it, the history
// journaled to `file` with the commands as they commit. `end` 0 leaves the
// step open (a crash), 1 commits it, 2 rolls it back. Returns the live
// picture; `made` gets the channels the open step made, `outer` whether
// channel 0 was written over, `removed` whether a command took a channel out.
struct topenrun {
    tpicture live;
    std::vector<bool> made;  // per live channel
    bool outer = false;
    bool removed = false;
};

topenrun journaled_open_step(std::uint32_t seed, const std::string& file, int end) {
    tjournaledrun run(seed, file);
    auto& [rng, doc, h, pr, clip, cmd, j] = run;
    h.oncommand = [&run](const tundohistory::tcommand& c) { run.j.append_command(run.doc, run.h, c); };
    h.oncommandsdropped = [&run] { run.j.append_commands_dropped(); };
    for (int k = 0; k < 3; ++k) random_command(doc, h, cmd, pr, rng);
    topenrun out;
    h.begin("Record");
    // The window prepares the channels inside a nested step of its own.
    h.begin("");
    tchannel& rec = doc.create_channel(doc.totnchans());
    rec.sampfreq = 1000;
    std::vector<tchannel*> made{&rec};
    tchannel* over = nullptr;
    if (seed % 2 == 1 && doc.totnchans() > 1) {
        over = &doc.channel(0);
        doc.samples_changing(*over, 0, static_cast<std::size_t>(over->sample_count()));
        over->set_samples(tsinglearr(30, 0.125f));
        over->set_name("Left");
        out.outer = true;
    }
    h.commit();
    h.hold_open();
    const int before = doc.totnchans();
    for (int k = 0; k < 8; ++k) {
        // The recorder's deliveries: appended without telling the history.
        const std::vector<float> v(20, static_cast<float>(k) / 8);
        rec.append_samples(v.data(), v.size());
        const float quarter = 0.25f;
        if (over) over->append_samples(&quarter, 1);
        const int n = doc.totnchans();
        random_command(doc, h, cmd, pr, rng);
        if (doc.totnchans() < n || doc.totnchans() < before) out.removed = true;
    }
    for (int i = 0; i < doc.totnchans(); ++i) {
        const tchannel* c = &doc.channel(i);
        bool m = c == &rec;
        // A channel a command made during the step: not in the document before it.
        for (const tundohistory::tdelta& d : h.open_deltas())
            if (d.kind == tundohistory::tdelta::tkind::channel && !d.held && d.ch == c) m = true;
        out.made.push_back(m);
    }
    if (end == 1) h.commit();
    if (end == 2) h.rollback();
    j.flush();
    out.live = picture(doc);
    if (end == 0) {
        // The crash: the file stays as it is while the step is still open.
        std::filesystem::copy_file(file, file + ".kept");
    }
    (void)made;
    return out;
}

}  // namespace

TEST_F(Journal, CommandsRunWhileAStepIsOpenAreReplayedAfterACrash) {
    int compared = 0, withcommands = 0;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        const std::string file = path("o" + std::to_string(seed) + ".tjournal");
        const topenrun run = journaled_open_step(seed, file, 0);
        std::filesystem::rename(file + ".kept", file);
        const tjournalcontents jc = read_journal(file);
        for (const auto& rec : jc.records)
            if (!rec.empty() && rec[0] == 'C') {
                ++withcommands;
                break;
            }
        trecovery r;
        const tpicture back = replayed(seed, file, &r);
        EXPECT_EQ(r.lost, "") << "seed " << seed;
        if (run.removed) continue;  // the channel numbers no longer say which channel
        // Every channel the open step did not make, as it was at the crash;
        // channel 0 written over by the step itself as it was before it.
        std::vector<tpicture::tch> want;
        for (std::size_t i = 0; i < run.live.chans.size(); ++i)
            if (!run.made[i]) want.push_back(run.live.chans[i]);
        ASSERT_EQ(back.chans.size(), want.size()) << "seed " << seed;
        for (std::size_t i = run.outer ? 1 : 0; i < want.size(); ++i)
            ASSERT_EQ(back.chans[i], want[i]) << "seed " << seed << " channel " << i;
        ++compared;
    }
    EXPECT_GT(compared, 100);
    EXPECT_GT(withcommands, 250);
}

TEST_F(Journal, AStepThatEndsReplacesTheCommandsRunInsideIt) {
    for (std::uint32_t seed = 1; seed <= 200; ++seed) {
        for (int end : {1, 2}) {
            const std::string file = path("e" + std::to_string(seed) + "_" + std::to_string(end) + ".tjournal");
            const topenrun run = journaled_open_step(seed, file, end);
            trecovery r;
            const tpicture back = replayed(seed, file, &r);
            ASSERT_EQ(back.chans, run.live.chans) << "seed " << seed << (end == 1 ? " committed" : " rolled back");
            EXPECT_EQ(r.lost, "") << "seed " << seed;
        }
    }
}

TEST_F(Journal, TheOriginFileIsIdentifiedBySizeTimeAndContent) {
    std::ofstream(path("a.wav"), std::ios::binary) << std::string(3000000, 'x');
    const tfileidentity a = file_identity(path("a.wav"));
    EXPECT_TRUE(a.exists);
    EXPECT_EQ(a.size, 3000000u);
    tjournal j(path("o.tjournal"), path("a.wav"));
    j.flush();
    EXPECT_EQ(read_journal(path("o.tjournal")).origin, a);
    {
        std::fstream f(path("a.wav"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(10);
        f.put('y');
    }
    EXPECT_NE(file_identity(path("a.wav")).checksum, a.checksum);
    j.discard();
    EXPECT_FALSE(std::filesystem::exists(path("o.tjournal")));
}

// A channel state this program never makes (a coding it does not know, a
// bit count or time shift a file cannot hold, a number that is not finite)
// is damage: the step is not replayed, the loss names the field, and the
// document keeps only what came before.
TEST_F(Journal, AChannelStateThatNoChannelCanHaveIsNotReplayed) {
    struct tcase {
        const char* field;
        void (*spoil)(tchannelstate&);
    };
    const tcase cases[] = {
        {"format", [](tchannelstate& s) { s.format = static_cast<tFormat>(33); }},
        {"number of bits", [](tchannelstate& s) { s.nbits = 99; }},
        {"time shift", [](tchannelstate& s) { s.xshift = 1LL << 40; }},
        {"sampling rate", [](tchannelstate& s) { s.sampfreq = std::nan(""); }},
        {"sampling rate", [](tchannelstate& s) { s.sampfreq = -8000; }},
        {"full scale", [](tchannelstate& s) { s.fsd = HUGE_VAL; }},
        {"label start", [](tchannelstate& s) { s.labels.push_back({}); s.labels.back().time = std::nan(""); }},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.field);
        tchannel model(nullptr, 0);
        model.sampfreq = model.orgsampfreq = 8000;
        model.set_samples(tsinglearr(10, 0.25f));
        tchannelstate s = tchannelstate::of(model);
        c.spoil(s);
        tjournalcontents j;
        j.readable = true;
        for (int k = 0; k < 2; ++k) {  // a good step, then the damaged one
            tbytewriter w;
            w.u8('S');
            w.str("New channel");
            w.u8('I');
            w.i64(k);
            w.state(k == 0 ? tchannelstate::of(model) : s);
            const tsinglearr v = model.samples_array();
            w.floats(v.data(), v.size());
            w.u8('E');
            w.u8(1);
            w.i64(0);
            w.i64(1);
            w.f64(0);
            w.f64(0);
            j.records.push_back(w.b);
        }
        tdocument doc;
        tundohistory h(doc);
        const trecovery r = replay_journal(doc, h, j);
        EXPECT_EQ(r.replayed, 1);
        EXPECT_EQ(doc.totnchans(), 1);
        EXPECT_EQ(doc.channel(0).format, tFormat::pcm);
        EXPECT_NE(r.lost.find(c.field), std::string::npos) << r.lost;
    }
}

// The journal names its file by a path that holds from any folder: a
// recovery run elsewhere finds the file, unchanged.
TEST_F(Journal, TheOriginIsNamedByAPathThatHoldsFromAnyFolder) {
    std::ofstream(path("take.wav"), std::ios::binary) << std::string(5000, 'x');
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    {
        tjournal j("rel.tjournal", "./take.wav");
        j.flush();
    }
    std::filesystem::create_directory(path("elsewhere"));
    std::filesystem::current_path(path("elsewhere"));
    const tjournalcontents back = read_journal(path("rel.tjournal"));
    const tfileidentity now = file_identity(back.origin.path);
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(back.readable);
    EXPECT_EQ(back.origin.path, path("take.wav"));
    EXPECT_TRUE(now.exists);
    EXPECT_EQ(now, back.origin);
}
