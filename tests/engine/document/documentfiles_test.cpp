// Opening files into the document and saving it: names, pairs, the
// questions of each save, and what a refused or failed step leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "engine/document/documentfiles.h"
#include "engine/history/journal.h"
#include "engine/history/recordspool.h"
#include "engine/formats/regularfile.h"
#include "engine/document/saveselection.h"
#include "engine/formats/tessalfile.h"
#include "engine/formats/twavfile.h"
#include "engine/formats/txiifile.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;
namespace fs = std::filesystem;

namespace {

struct tfiles : ::testing::Test {
    fs::path dir;
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tessal-docfiles-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        doc.prefs.WarnSaveWav = false;
    }
    void TearDown() override { fs::remove_all(dir); }

    // A WAVE file of `nch` sines at 1000 Hz, 16-bit.
    std::string wav(const std::string& name, int nch, int n = 1000, int rate = 1000) {
        std::vector<tsinglearr> chans(nch);
        for (int c = 0; c < nch; ++c)
            for (int i = 0; i < n; ++i)
                chans[c].push_back(0.5f * std::sin(2 * M_PI * (c + 1) * 5 * i / double(rate)));
        TWavFile w;
        w.Setsampfreq(rate);
        w.Setnbits(16);
        w.Setnchans(nch);
        std::string path = (dir / name).string();
        w.save_file(path, chans, false, false);
        return path;
    }
    std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

}  // namespace

TEST_F(tfiles, OpeningAStereoWaveNamesAndPairsItsChannels) {
    std::string path = wav("a.wav", 2);
    ASSERT_TRUE(files.open_document(path));
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.filename(), path);
    EXPECT_FALSE(doc.modified());
    const tchannel& c1 = doc.channel(1);
    EXPECT_EQ(c1.name(), "a.wav Ch 1");
    EXPECT_EQ(c1.filename, "a.wav");
    EXPECT_EQ(c1.stereochanno, 0);
    EXPECT_EQ(doc.channel(0).stereochanno, 1);
    EXPECT_EQ(c1.sampfreq, 1000);
    EXPECT_EQ(c1.nbits, 16);
    EXPECT_EQ(c1.dbreference, 1);
    EXPECT_EQ(c1.created().origin, "Wav file");
    EXPECT_FALSE(c1.needsdither);
    EXPECT_EQ(c1.fsd(), 1);
    EXPECT_NEAR(c1.sample(50), 0.5 * std::sin(2 * M_PI * 10 * 50 / 1000.0), 1.0 / 32768);
    EXPECT_EQ(life.currentnbits, 16);
}

TEST_F(tfiles, OpenThenAddEndsUntitledAndModified) {
    std::string a = wav("a.wav", 1), b = wav("b.wav", 3), c = wav("c.wav", 2);
    doc.set_totnchans(1);
    doc.set_modified(true);
    prompter.answers = {tanswer::no};
    ASSERT_TRUE(files.open_document(a));
    EXPECT_EQ(prompter.asked.size(), 1u);  // the save question of the old document
    EXPECT_TRUE(files.add_file(b));
    EXPECT_TRUE(files.add_file(c));
    EXPECT_EQ(doc.totnchans(), 6);
    EXPECT_EQ(doc.filename(), "");
    EXPECT_TRUE(doc.modified());
    EXPECT_EQ(doc.thischanno(), 4);
    EXPECT_EQ(doc.channel(1).stereochanno, -1);  // three channels: no pairs
    EXPECT_EQ(doc.channel(4).stereochanno, 5);
    EXPECT_EQ(doc.channel(5).stereochanno, 4);
}

TEST_F(tfiles, AddIntoAnEmptyDocumentLeavesItUnmodified) {
    EXPECT_TRUE(files.add_file(wav("a.wav", 1)));
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(doc.filename(), "");
}

TEST_F(tfiles, AnUnreadableFileAddsNothing) {
    std::string a = wav("a.wav", 2);
    ASSERT_TRUE(files.open_document(a));
    std::string bad = (dir / "bad.wav").string();
    std::ofstream(bad) << "RIFF this is not a wave file at all";
    EXPECT_FALSE(files.add_file(bad));
    EXPECT_EQ(doc.totnchans(), 2);
    ASSERT_FALSE(prompter.asked.empty());
    EXPECT_EQ(prompter.asked.back().caption, "Could not open file");
    EXPECT_EQ(prompter.asked.back().text.rfind("Could not open file", 0), 0u);
    EXPECT_FALSE(files.add_file((dir / "missing.wav").string()));
    EXPECT_FALSE(files.add_file((dir / "notes.txt").string()));  // unknown type: nothing read
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_FALSE(doc.modified());
}

TEST_F(tfiles, SavingTheWholeDocumentRenamesItAndSelectionsDoNot) {
    ASSERT_TRUE(files.open_document(wav("a.wav", 2)));
    doc.set_modified(true);
    std::string out = (dir / "out.wav").string();
    ASSERT_TRUE(files.save_file(out, 24, 0, 0, {}, tFormat::pcm));
    EXPECT_EQ(doc.filename(), out);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(life.currentnbits, 24);

    TWavFile back;
    ASSERT_TRUE(back.open_file(out, true));
    EXPECT_EQ(back.Getnchans(), 2);
    EXPECT_EQ(back.Getnbits(), 24u);
    EXPECT_EQ(back.Getnsamples(), 1000);
    tsinglearr s;
    back.read_channel(1, s);
    EXPECT_NEAR(s[77], doc.channel(1).sample(77), 1e-6);
    back.close_file();

    std::string part = (dir / "part.wav").string();
    ASSERT_TRUE(files.save_file(part, 16, 0.25, 0.5, {1}, tFormat::pcm));
    EXPECT_EQ(doc.filename(), out);
    ASSERT_TRUE(back.open_file(part, true));
    EXPECT_EQ(back.Getnchans(), 1);
    EXPECT_EQ(back.Getnsamples(), 250);
    back.read_channel(0, s);
    EXPECT_NEAR(s[0], doc.channel(1).sample(250), 1.0 / 32768);
}

TEST_F(tfiles, RefusedQuestionsWriteNothing) {
    ASSERT_TRUE(files.open_document(wav("a.wav", 1)));
    doc.set_modified(true);
    std::string out = (dir / "out.wav").string();

    doc.prefs.WarnSaveWav = true;
    prompter.answers = {tanswer::no};
    EXPECT_FALSE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
    EXPECT_EQ(prompter.asked.back().caption, "Save as wav");
    EXPECT_NE(prompter.asked.back().text.find("calibration in particular"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));

    doc.prefs.WarnSaveWav = false;
    const float over = 1.5f;  // beyond the FSD of 1
    doc.channel(0).write_samples(10, &over, 1);
    prompter.answers = {tanswer::cancel};
    EXPECT_FALSE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
    EXPECT_EQ(prompter.asked.back().caption, "Amplitude overload");
    EXPECT_EQ(prompter.asked.back().text,
              "Signal is stronger than FSD in channel 0 \rSaving the file will cause "
              "clipping.\rDo you still want to save it?");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(doc.modified());

    // 32-bit float is never clipped, so it is not asked.
    std::size_t asked = prompter.asked.size();
    EXPECT_TRUE(files.save_file(out, 32, 0, 0, {}, tFormat::ieeefloat));
    EXPECT_EQ(prompter.asked.size(), asked);

    EXPECT_FALSE(files.save_file((dir / "x.aiff").string(), 16, 0, 0, {}, tFormat::pcm));
    EXPECT_EQ(prompter.asked.back().text, "Cannot save file with extension .aiff");
    EXPECT_EQ(prompter.asked.back().caption, "Unknown file type");
}

TEST_F(tfiles, MixedRatesAreRefusedForWave) {
    files.add_file(wav("a.wav", 1, 1000, 1000));
    files.add_file(wav("b.wav", 1, 1000, 2000));
    std::string out = (dir / "out.wav").string();
    EXPECT_FALSE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
    EXPECT_EQ(prompter.asked.back().caption, "File was not saved");
    EXPECT_EQ(prompter.asked.back().text,
              "Channels have different sampling rates.\rSplit rate files can only be saved as "
              "Tessal files");
    EXPECT_FALSE(fs::exists(out));
    // One of them alone is fine.
    EXPECT_TRUE(files.save_file(out, 16, 0, 0, {1}, tFormat::pcm));
}

TEST_F(tfiles, ShiftedChannelsAreAlignedWithZeros) {
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        doc.channel(c).sampfreq = 100;
        doc.channel(c).set_fsd(1);
        doc.channel(c).set_samples({0.25f, 0.5f});
    }
    doc.channel(1).xshift = 3;
    std::string out = (dir / "out.wav").string();
    ASSERT_TRUE(files.save_file(out, 32, 0, 0, {}, tFormat::ieeefloat));
    TWavFile back;
    ASSERT_TRUE(back.open_file(out, true));
    ASSERT_EQ(back.Getnsamples(), 5);
    tsinglearr a, b;
    back.read_channel(0, a);
    back.read_channel(1, b);
    EXPECT_EQ(a, (tsinglearr{0.25f, 0.5f, 0, 0, 0}));
    EXPECT_EQ(b, (tsinglearr{0, 0, 0, 0.25f, 0.5f}));
}

TEST_F(tfiles, ElectropalatographSidecarIsReadBesideTheWave) {
    std::string path = wav("e.wav", 1, 1000, 1000);  // one second: at most 100 frames
    std::ofstream epg(dir / "e.epg", std::ios::binary);
    for (int f = 0; f < 150; ++f)
        for (int r = 0; r < 8; ++r) epg.put(static_cast<char>(f == 1 ? (1 << r) : r));
    epg.close();
    ASSERT_TRUE(files.add_file(path));
    const tchannel& c = doc.channel(0);
    EXPECT_TRUE(c.epgexists);
    EXPECT_EQ(c.epgsampfreq, 100);
    ASSERT_EQ(c.epg.size(), 100u);
    EXPECT_EQ(c.epg[0] & 0xFF, 0u);          // row 0 of frame 0
    EXPECT_EQ((c.epg[0] >> 56) & 0xFF, 7u);  // row 7 of frame 0
    EXPECT_EQ((c.epg[1] >> 8) & 0xFF, 2u);   // row 1 of frame 1: column 1
}

// A FIFO blocks its reader until something writes to it, and a device such
// as /dev/zero never ends: the document, its EPG sidecar, journals and
// recording spools refuse them by name instead of waiting or growing. The
// document is left as it was.
TEST_F(tfiles, FifosAndDevicesAreRefusedNotWaitedOn) {
    const std::string good = wav("good.wav", 1);
    ASSERT_TRUE(files.open_document(good));
    const std::string fifo = (dir / "fifo.wav").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& p : {fifo, std::string("/dev/zero"), dir.string()}) {
        SCOPED_TRACE(p);
        prompter.asked.clear();
        EXPECT_FALSE(files.open_document(p));
        EXPECT_FALSE(files.add_file(p));
        ASSERT_EQ(prompter.asked.size(), 2u);
        EXPECT_NE(prompter.asked[0].text.find(p + " is not a regular file"), std::string::npos)
            << prompter.asked[0].text;
        EXPECT_EQ(doc.totnchans(), 1);
    }
    EXPECT_NE(regular_file_problem(good, 100).find("is larger than 100 bytes"), std::string::npos);
    EXPECT_EQ(regular_file_problem(good), "");

    // A FIFO where the EPG sidecar would be: the sound opens without one.
    const std::string e = wav("e.wav", 1);
    ASSERT_EQ(::mkfifo((dir / "e.epg").c_str(), 0600), 0);
    ASSERT_TRUE(files.add_file(e));
    EXPECT_FALSE(doc.channel(1).epgexists);

    for (const char* name : {"x.journal", "x.spool"}) {
        const std::string p = (dir / name).string();
        ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
        EXPECT_FALSE(read_journal(p).readable);
        EXPECT_FALSE(read_spool(p).readable);
    }
}

TEST(SaveSelection, ProposedNamesAndCaptions) {
    tdocument doc;
    doc.set_totnchans(3);
    doc.channel(0).filename = "rec.wav";
    doc.channel(0).stereochanno = 1;
    doc.channel(1).stereochanno = 0;
    doc.channel(2).set_name("noext");
    doc.theglobal.set_selection(1.25, 2.0);

    tsaveselection s = save_selection(doc);
    EXPECT_EQ(s.proposedname, "rec_0-1_1_250.wav");
    EXPECT_EQ(s.chans, (std::vector<int>{0, 1}));
    EXPECT_DOUBLE_EQ(s.from, 1.25);
    EXPECT_DOUBLE_EQ(s.to, 2.0);
    EXPECT_EQ(save_selection_caption(doc), "Save selection of channels 0 and 1 as...");

    doc.set_thischanno(1);
    EXPECT_EQ(save_selection(doc).chans, (std::vector<int>{0, 1}));  // ascending
    doc.selectmode = selmono;
    doc.channel(1).filename = "rec.wav";
    EXPECT_EQ(save_selection(doc).proposedname, "rec_1_1_250.wav");
    doc.selectmode = selall;
    EXPECT_TRUE(save_selection(doc).chans.empty());
    EXPECT_EQ(save_selection(doc).proposedname, "rec_All_1_250.wav");
    EXPECT_EQ(save_selection_caption(doc), "Save selection of all channels as...");

    doc.set_thischanno(2);
    doc.selectmode = selstereo;
    doc.theglobal.set_selection(1.0, 1.0);
    EXPECT_EQ(save_selection(doc).proposedname, "noext_2");
    EXPECT_EQ(save_selection_caption(doc), "Save channel 2 as...");
    doc.selectmode = selvisible;
    doc.channel(1).set_visible(false);
    EXPECT_EQ(save_selection(doc).proposedname, "noext_0-2");
    EXPECT_EQ(save_selection_caption(doc), "Save all visible channels as...");

    doc.selectmode = selall;
    EXPECT_FALSE(save_selection_enabled(doc));  // all channels, no selection: that is Save as
    doc.selectmode = selmono;
    EXPECT_TRUE(save_selection_enabled(doc));
}

TEST_F(tfiles, NativeFilesKeepEverythingAndAcceptSplitRates) {
    files.add_file(wav("a.wav", 2, 1000, 1000));
    files.add_file(wav("b.wav", 1, 500, 2000));
    tchannel& c = doc.channel(1);
    c.set_yunit("Pa");
    c.notes = {"first note", "second"};
    c.xshift = 7;
    tentities e{"d", {{"F0", 120.5, "Hz"}}};
    c.add_label(0.1, 0.2, "vowel", "manual", e);
    std::string out = (dir / "doc.tessal").string();
    ASSERT_TRUE(files.save_file(out, 32, 0, 0, {}, tFormat::ieeefloat));
    EXPECT_EQ(doc.filename(), out);

    tdocument back;
    tscriptedprompter p2;
    tdocumentlifecycle l2{back, p2};
    tdocumentfiles f2{back, l2, p2};
    ASSERT_TRUE(f2.open_document(out));
    ASSERT_EQ(back.totnchans(), 3);
    const tchannel& b = back.channel(1);
    EXPECT_EQ(b.yunit(), "Pa");
    EXPECT_EQ(b.notes, c.notes);
    EXPECT_EQ(b.xshift, 7);
    EXPECT_EQ(b.samples_array(), c.samples_array());
    EXPECT_EQ(b.stereochanno, 0);
    ASSERT_EQ(b.labels.size(), 1u);
    EXPECT_EQ(b.labels[0].entities.no.at(0).value, 120.5);
    EXPECT_EQ(back.channel(2).sampfreq, 2000);
    EXPECT_EQ(back.channel(2).filename, "doc.tessal");

    std::ofstream(dir / "bad.tessal") << "not a container";
    EXPECT_FALSE(f2.add_file((dir / "bad.tessal").string()));
    EXPECT_EQ(back.totnchans(), 3);
    EXPECT_EQ(p2.asked.back().text.rfind("Cannot open Tessal file", 0), 0u);
}

TEST_F(tfiles, SmpFilesRoundTripWithLabels) {
    files.add_file(wav("a.wav", 2, 1000, 1000));
    doc.channel(0).set_yunit("Pa");
    doc.channel(0).add_label(0.25, 0.125, "burst", "manual");
    doc.prefs.WarnSaveSmp = true;
    std::string out = (dir / "a.smp").string();
    prompter.answers = {tanswer::no};
    EXPECT_FALSE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
    EXPECT_EQ(prompter.asked.back().caption, "Save as smp");
    EXPECT_FALSE(fs::exists(out));
    prompter.answers = {tanswer::yes};
    ASSERT_TRUE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));

    tdocument back;
    tscriptedprompter p2;
    tdocumentlifecycle l2{back, p2};
    tdocumentfiles f2{back, l2, p2};
    ASSERT_TRUE(f2.add_file(out));
    ASSERT_EQ(back.totnchans(), 2);
    EXPECT_EQ(back.channel(0).name(), "a.wav Ch 0");
    EXPECT_EQ(back.channel(0).yunit(), "Pa");
    EXPECT_EQ(back.channel(0).sampfreq, 1000);
    EXPECT_EQ(back.channel(0).created().origin, "SMP file");
    for (int i = 0; i < 1000; i += 97)
        EXPECT_NEAR(back.channel(1).sample(i), doc.channel(1).sample(i), 1.5 / 32765);
    ASSERT_EQ(back.channel(0).labels.size(), 1u);
    EXPECT_EQ(back.channel(0).labels[0].labeltype, "smp");
    EXPECT_EQ(back.channel(0).labels[0].text, "burst");
    EXPECT_NEAR(back.channel(0).labels[0].time, 0.25, 1e-9);
    EXPECT_NEAR(back.channel(0).labels[0].duration, 0.125, 1e-9);
}

TEST_F(tfiles, OrletRecordingsBecomeChannels) {
    TXIIFile x;
    x.SetFileId("Orlet");
    x.SetProgId({"Another", "Recorder", "2.1"});
    x.writeinteger("Test_1", "nSounds", 1);
    x.writeinteger("Test_1", "nChans0", 2);
    x.writeinteger("Test_1", "SampFreq0", 8000);
    x.writestring("Test_1", "FileName0", "vowel");
    x.writesmallintarr("Test_1", "Samples0", {32767, -32767, 0, 16384});
    x.writeinteger("Test_1", "nAnchors", 1);
    x.writestring("Test_1", "AnchorFileName0", "ref");
    x.writesmallintarr("Test_1", "AnchorSamples0", {100, 200, 300});
    std::string path = (dir / "r.orlet").string();
    x.save_file(path);
    ASSERT_TRUE(files.add_file(path));
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(0).name(), "vowel");
    EXPECT_EQ(doc.channel(0).samples_array(), (tsinglearr{1.0f, 0.0f}));
    EXPECT_EQ(doc.channel(1).samples_array(), (tsinglearr{-1.0f, 16384 / 32767.0f}));
    EXPECT_EQ(doc.channel(0).stereochanno, 1);
    EXPECT_EQ(doc.channel(0).sampfreq, 8000);
    EXPECT_EQ(doc.channel(2).name(), "Anchor: ref");
    EXPECT_EQ(doc.channel(2).sampfreq, 100);  // the default rate
    EXPECT_EQ(doc.channel(2).created().origin, "Orlet anchor sound");
    EXPECT_EQ(doc.channel(2).sample_count(), 3);

    x.SetFileId("Other");
    std::string other = (dir / "o.orlet").string();
    x.save_file(other);
    EXPECT_FALSE(files.add_file(other));
    EXPECT_EQ(prompter.asked.back().text, other + " does not appear to be a Orlet file. FileID=Other");
    EXPECT_EQ(doc.totnchans(), 3);
}

namespace {

// Counts what the listeners hear about the channel list.
struct tlistcount : tviewlistener {
    int added = 0, removed = 0, other = 0, lists = 0;
    void channel_changed(const tchannelchange& c) override {
        if (c.kind == tchannelchange::tkind::added) ++added;
        else if (c.kind == tchannelchange::tkind::removed) ++removed;
        else ++other;
    }
    void channels_changed() override { ++lists; }
};

void set_bytes(const std::string& path, std::streamoff at, std::initializer_list<unsigned char> bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(at);
    for (unsigned char b : bytes) f.put(static_cast<char>(b));
}

}  // namespace

TEST_F(tfiles, AWaveWithMoreChannelsThanItCanHoldIsRefusedAndTheDocumentStays) {
    const std::string a = wav("a.wav", 2);
    ASSERT_TRUE(files.open_document(a));
    // A second of 44.1 kHz stereo: its 176400 bytes could hold one frame of
    // 65535 channels, but its header's 4-byte frames cannot.
    const std::string ffff = wav("ffff.wav", 2, 44100, 44100);
    set_bytes(ffff, 22, {0xFF, 0xFF});
    prompter.asked.clear();
    EXPECT_FALSE(files.open_document(ffff));
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.filename(), a);
    ASSERT_EQ(prompter.asked.size(), 1u);
    const std::string& msg = prompter.asked[0].text;
    EXPECT_NE(msg.find("65535 channels of 16 bits"), std::string::npos) << msg;
    EXPECT_NE(msg.find("frames of 4 bytes"), std::string::npos) << msg;

    // No frame size in the header (0): the data alone bound the channels.
    const std::string noalign = wav("noalign.wav", 2);
    set_bytes(noalign, 22, {0xFF, 0xFF});
    set_bytes(noalign, 32, {0, 0});
    EXPECT_FALSE(files.add_file(noalign));
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_NE(prompter.asked.back().text.find("more than its 4000 bytes of samples can hold"),
              std::string::npos) << prompter.asked.back().text;

    // tessal-cli reads through the same reader.
    TWavFile w;
    EXPECT_FALSE(w.open_file(ffff, true));
    EXPECT_NE(w.Getopenerror().find("65535 channels"), std::string::npos);
}

// A header may claim up to 65535 channels; with no samples the file "holds"
// them all, and each would become a strip of the window. More than 16384
// are refused by their count, and the document stays as it was.
TEST_F(tfiles, AHeaderOfTensOfThousandsOfChannelsIsRefusedByItsCount) {
    ASSERT_TRUE(files.open_document(wav("a.wav", 2)));
    const std::string empty = wav("empty.wav", 1, 0);
    set_bytes(empty, 22, {0x40, 0x9C});  // 40000 channels
    set_bytes(empty, 32, {0x40, 0x9C});  // of 8 bits: frames of 40000 bytes
    set_bytes(empty, 34, {8, 0});
    prompter.asked.clear();
    EXPECT_FALSE(files.open_document(empty));
    EXPECT_FALSE(files.add_file(empty));
    EXPECT_EQ(doc.totnchans(), 2);
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_NE(prompter.asked[0].text.find("40000 channels; at most 16384"), std::string::npos)
        << prompter.asked[0].text;
}

TEST_F(tfiles, AFileOfManyChannelsIsOneChangeOfTheChannelList) {
    ASSERT_TRUE(files.open_document(wav("a.wav", 2)));
    const std::string many = wav("many.wav", 3000, 4);
    tlistcount count;
    doc.theglobal.add_listener(&count);
    ASSERT_TRUE(files.open_document(many));
    EXPECT_TRUE(files.add_file(many));
    doc.theglobal.remove_listener(&count);
    ASSERT_EQ(doc.totnchans(), 6000);
    EXPECT_EQ(doc.channel(5999).sample_count(), 4);
    // The old document's channels went in one notice, each file's came in one.
    EXPECT_EQ(count.removed, 1);
    EXPECT_EQ(count.added, 2);
    EXPECT_LE(count.lists, 4);
}

TEST_F(tfiles, AFileThatCannotBeReadNeverClosesTheOpenDocument) {
    const std::string a = wav("a.wav", 2);
    ASSERT_TRUE(files.open_document(a));
    doc.channel(0).set_name("kept");
    doc.set_modified(true);
    const std::string saved = (dir / "saved.tessal").string();
    write_tessal_file(doc, saved, {}, 0, 0);
    const std::string whole = slurp(saved);
    auto damaged = [&](const std::string& name, auto change) {
        std::string bytes = whole;
        change(bytes);
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    const std::string nokey = damaged("nokey.tessal", [](std::string& b) {
        const std::size_t at = b.find("nChans");
        for (std::size_t i = 1; i <= 4; ++i) b[at + i] = static_cast<char>(b[at + i] ^ 0x5A);
    });
    const std::string nomagic = damaged("nomagic.tessal", [](std::string& b) {
        for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(b[i] ^ 0xFF);
    });
    const std::string cut = damaged("cut.tessal", [](std::string& b) { b.resize(b.size() / 2); });
    const std::string notwave = (dir / "bad.wav").string();
    std::ofstream(notwave) << "RIFF this is not a wave file at all";
    const std::string text = (dir / "notes.txt").string();
    std::ofstream(text) << "hello";

    for (const std::string& path : {nokey, nomagic, cut, notwave, text}) {
        prompter.asked.clear();
        prompter.answers = {tanswer::no};  // the modified document is not saved
        EXPECT_FALSE(files.open_document(path)) << path;
        ASSERT_EQ(doc.totnchans(), 2) << path;
        EXPECT_EQ(doc.channel(0).name(), "kept") << path;
        EXPECT_EQ(doc.channel(1).sample_count(), 1000) << path;
        EXPECT_EQ(doc.filename(), a) << path;
        EXPECT_TRUE(doc.modified()) << path;
        // The save question (none for a file of no known kind), then what
        // is wrong with the file.
        ASSERT_EQ(prompter.asked.size(), path == text ? 1u : 2u) << path;
        EXPECT_NE(prompter.asked.back().text.find(path), std::string::npos) << prompter.asked.back().text;
    }
    EXPECT_EQ(prompter.asked.back().caption, "Unknown file type");
    // The file itself opens.
    prompter.answers = {tanswer::no};
    EXPECT_TRUE(files.open_document(saved));
    EXPECT_EQ(doc.filename(), saved);
    EXPECT_EQ(doc.channel(0).name(), "kept");
}

// A few bytes per sound can ask for 1024 channels each: a small file must
// not make hundreds of thousands of empty channels.
TEST_F(tfiles, OrletChannelCountsAreHeldToTheLimitInAll) {
    auto write = [&](int nsounds, int nchans) {
        TXIIFile x;
        x.SetFileId("Orlet");
        x.SetProgId({"Another", "Recorder", "2.1"});
        x.writeinteger("Test_1", "nSounds", nsounds);
        for (int q = 0; q < nsounds; ++q) x.writeinteger("Test_1", "nChans" + std::to_string(q), nchans);
        const std::string path = (dir / ("c" + std::to_string(nsounds) + ".orlet")).string();
        x.save_file(path);
        return path;
    };
    const std::string many = write(3, 1024);
    EXPECT_FALSE(files.add_file(many));
    EXPECT_EQ(doc.totnchans(), 0);
    ASSERT_FALSE(prompter.asked.empty());
    EXPECT_EQ(prompter.asked.back().caption, "Could not open file");
    EXPECT_NE(prompter.asked.back().text.find("nChans"), std::string::npos);
    // At the limit the sounds are read (empty channels, as the file says).
    ASSERT_TRUE(files.add_file(write(2, 512)));
    EXPECT_EQ(doc.totnchans(), 1024);
}
