// Tests of the native signal file: whole documents round-trip with every
// property, the key names hold against containers built key by key, range
// saves cut samples, labels and EPG frames consistently, and damaged or
// truncated files leave the document exactly as it was.
#include "support/tempdirtest.h"
#include "engine/formats/tessalfile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "engine/core/tdocument.h"

namespace tessal {
namespace {

namespace fs = std::filesystem;

class tessalfiletest : public tessal::testing::ttempdirtest {};

tbytearr bytes_of(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return tbytearr(std::istreambuf_iterator<char>(f), {});
}

// Everything of a document that the file carries, as bytes: equal bytes
// mean nothing the file holds has changed.
tbytearr snapshot(const tdocument& doc) {
    TXIIFile x;
    fill_tessal_container(x, doc, {}, 0, 0);
    return x.save_bytes();
}

tentities entities(const std::string& descriptor, std::vector<tentity> e) {
    tentities r;
    r.descriptor = descriptor;
    r.no = std::move(e);
    return r;
}

// Three channels that differ in everything a file holds: two rates, an
// offset, units, codings, a stereo pair, labels with entities, notes, EPG.
void fill_document(tdocument& doc) {
    doc.set_totnchans(3);
    tchannel& a = doc.channel(0);
    a.set_name("mic");
    a.set_yunit("Pa");
    a.filename = "take1.wav";
    a.sampfreq = 44100;
    a.orgsampfreq = 48000;
    a.set_fsd(20.0);
    a.nbits = 24;
    a.needsdither = false;
    a.format = tFormat::pcm;
    a.dbreference = 2e-5;
    a.stereochanno = 1;
    tsinglearr wave;
    for (int k = 0; k < 1000; ++k) wave.push_back(static_cast<float>(std::sin(k * 0.01) * 3.0));
    a.set_samples(std::move(wave));
    a.set_created({45123.75, "lab-pc", "Wav file", "anna"});
    a.notes = {"first line", "", "third: äö"};
    a.notescolor = 0x00C0FFEE;
    a.add_label(0.001, 0.002, "a", "manual");
    a.add_label(0.004, 0, "point", "measurement",
                entities("F0", {{"F0", 123.25, "Hz"}, {"SPL", -3.5, "dB"}}));
    a.add_label(0.003, 0.01, "b", "invfilt", entities("", {}));

    tchannel& b = doc.channel(1);
    b.set_name("egg");
    b.sampfreq = 44100;
    b.orgsampfreq = 44100;
    b.set_fsd(1);
    b.needsdither = true;
    b.format = tFormat::ieeefloat;
    b.nbits = 32;
    b.stereochanno = 0;
    b.set_visible(false);
    b.set_samples({0.5f, -0.25f, 1e-30f, -INFINITY, NAN});
    b.epgexists = true;
    b.epgsampfreq = 100;
    b.epg = {0x0102030405060708ull, 0xFF000000000000FFull, 0};

    tchannel& c = doc.channel(2);
    c.set_name("flow");
    c.set_yunit("l/s");
    c.sampfreq = 1000.5;
    c.orgsampfreq = 2000;
    c.xshift = 250;
    c.set_fsd(0.75);
    c.format = tFormat::alaw;
    c.nbits = 8;
    c.set_samples(tsinglearr(300, 0.125f));
    c.set_created({0, "", "Tessal process", ""});
}

// Every property the file holds; `offset` is added to the partner index.
void expect_same_channel(const tchannel& want, const tchannel& got, int offset) {
    SCOPED_TRACE(want.name());
    EXPECT_EQ(got.name(), want.name());
    EXPECT_EQ(got.yunit(), want.yunit());
    EXPECT_EQ(got.visible(), want.visible());
    EXPECT_EQ(got.filename, want.filename);
    EXPECT_EQ(got.fsd(), want.fsd());
    EXPECT_EQ(got.nbits, want.nbits);
    EXPECT_EQ(got.needsdither, want.needsdither);
    EXPECT_EQ(got.format, want.format);
    EXPECT_EQ(got.dbreference, want.dbreference);
    EXPECT_EQ(got.sampfreq, want.sampfreq);
    EXPECT_EQ(got.orgsampfreq, want.orgsampfreq);
    EXPECT_EQ(got.stereochanno, want.stereochanno < 0 ? -1 : want.stereochanno + offset);
    EXPECT_EQ(got.xshift, want.xshift);
    EXPECT_EQ(got.created().date, want.created().date);
    EXPECT_EQ(got.created().user, want.created().user);
    EXPECT_EQ(got.created().computer, want.created().computer);
    EXPECT_EQ(got.created().origin, want.created().origin);
    EXPECT_EQ(got.notescolor, want.notescolor);
    EXPECT_EQ(got.notes, want.notes);
    ASSERT_EQ(got.labels.size(), want.labels.size());
    for (std::size_t i = 0; i < want.labels.size(); ++i) {
        const tsiglabel &w = want.labels[i], &g = got.labels[i];
        EXPECT_EQ(g.time, w.time);
        EXPECT_EQ(g.duration, w.duration);
        EXPECT_EQ(g.text, w.text);
        EXPECT_EQ(g.labeltype, w.labeltype);
        EXPECT_EQ(g.entities.descriptor, w.entities.descriptor);
        ASSERT_EQ(g.entities.no.size(), w.entities.no.size());
        for (std::size_t k = 0; k < w.entities.no.size(); ++k) {
            EXPECT_EQ(g.entities.no[k].entityname, w.entities.no[k].entityname);
            EXPECT_EQ(g.entities.no[k].value, w.entities.no[k].value);
            EXPECT_EQ(g.entities.no[k].yunit, w.entities.no[k].yunit);
        }
    }
    EXPECT_EQ(got.epgexists, want.epgexists);
    EXPECT_EQ(got.epgsampfreq, want.epgsampfreq);
    EXPECT_EQ(got.epg, want.epg);
    // Bit for bit, NaNs and signed zeros included.
    ASSERT_EQ(got.sample_count(), want.sample_count());
    const tsinglearr g = got.samples_array(), w = want.samples_array();
    EXPECT_EQ(std::memcmp(g.data(), w.data(), w.size() * sizeof(float)), 0);
}

TEST_F(tessalfiletest, AWholeDocumentRoundTripsAndIsAppended) {
    tdocument doc;
    fill_document(doc);
    write_tessal_file(doc, path("doc.tessal"), {}, 0, 0);

    tdocument other;
    other.set_totnchans(1);
    other.channel(0).set_name("already here");
    other.channel(0).set_samples({1, 2, 3});
    ASSERT_TRUE(read_tessal_file(other, path("doc.tessal")));
    ASSERT_EQ(other.totnchans(), 4);
    EXPECT_EQ(other.channel(0).name(), "already here");
    EXPECT_EQ(other.channel(0).samples_array(), (tsinglearr{1, 2, 3}));
    for (int c = 0; c < 3; ++c) expect_same_channel(doc.channel(c), other.channel(c + 1), 1);
    EXPECT_TRUE(other.channel(3).sigcachedirty);
    // Labels come back sorted, as a channel keeps them.
    EXPECT_EQ(other.channel(1).labels[1].text, "b");

    // Saved again, the appended channels give the same file.
    write_tessal_file(other, path("again.tessal"), {1, 2, 3}, 0, 0);
    EXPECT_EQ(bytes_of(path("again.tessal")), bytes_of(path("doc.tessal")));
}

TEST_F(tessalfiletest, TheWriterUsesTheDocumentedKeys) {
    tdocument doc;
    fill_document(doc);
    TXIIFile x;
    fill_tessal_container(x, doc, {}, 0, 0);
    EXPECT_EQ(x.GetFileId(), "TessalSignals");
    EXPECT_EQ(x.GetFileVersion(), "1.0");
    EXPECT_EQ(x.readinteger("Common", "nChans", 0), 3);
    // Every key of a channel, by the type it must have (a wrong type raises).
    for (const char* k : {"YUnit", "Name", "FileName", "CreatedUser", "CreatedComputer",
                          "CreatedProcess", "Notes2", "LabelText2", "LabelType2",
                          "LabelDescriptor2", "LabelEntitityName2_1", "LabelEntitityUnit2_1"})
        EXPECT_NE(x.readstring("Ch0", k, "absent"), "absent") << k;
    for (const char* k : {"FSD", "dBReference", "SampFreq", "OrgSampFreq", "CreatedDate",
                          "EPGSampFreq", "LabelStart2", "LabelDur0", "LabelEntitityValue2_1"})
        EXPECT_NE(x.readfloat("Ch0", k, -99), -99) << k;
    for (const char* k : {"nBits", "Format", "StereoChanno", "xShift", "NotesColor", "nNoteLines",
                          "nLabels", "nLabelEntities2", "nEPGFrames"})
        EXPECT_NE(x.readinteger("Ch0", k, -99), -99) << k;
    for (const char* k : {"Visible", "NeedsDither"}) EXPECT_TRUE(x.exists("Ch0", k)) << k;
    EXPECT_EQ(x.readbool("Ch1", "Visible", true), false);
    EXPECT_EQ(x.readinteger("Ch2", "Format", -1), 3);
    EXPECT_EQ(x.readinteger("Ch2", "xShift", 0), 250);
    EXPECT_EQ(x.readstring("Ch0", "LabelEntitityName2_1", ""), "SPL");
    // Byte r of a frame is electrode row r.
    EXPECT_EQ(x.readbytearr("Ch1", "EPGframe0", {}), (tbytearr{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(x.readsinglearr("Ch2", "Sig", {}).size(), 300u);
}

// A file as another writer might make it: keys in another order and case,
// some absent (they take a new channel's defaults).
TEST_F(tessalfiletest, ReadsAFileBuiltKeyByKey) {
    TXIIFile x;
    x.SetProgId({"Other", "Other", "7"});
    x.SetFileId("TessalSignals");
    x.writesinglearr("CH0", "SIG", {1, 2, 3, 4});
    x.writefloat("ch0", "sampfreq", 8000);
    x.writeinteger("Common", "nChans", 2);
    x.writeinteger("Ch0", "nLabels", 1);
    x.writefloat("Ch0", "LabelStart0", 0.25);
    x.writefloat("Ch0", "LabelDur0", 0.125);
    x.writestring("Ch0", "LabelText0", "vowel");
    x.writeinteger("Ch0", "nLabelEntities0", 1);
    x.writestring("Ch0", "LabelEntitityName0_0", "dur");
    x.writefloat("Ch0", "LabelEntitityValue0_0", 0.125);
    x.writeinteger("Ch0", "StereoChanno", 1);
    x.writeinteger("Ch1", "StereoChanno", 0);
    x.writefloat("Ch1", "SampFreq", 100);
    x.writeinteger("Ch1", "nEPGFrames", 1);
    x.writebytearr("Ch1", "EPGframe0", {0xFF, 0, 0, 0, 0, 0, 0, 0x81});
    x.save_file(path("hand.tessal"));

    tdocument doc;
    doc.set_totnchans(2);
    ASSERT_TRUE(read_tessal_file(doc, path("hand.tessal")));
    ASSERT_EQ(doc.totnchans(), 4);
    const tchannel& a = doc.channel(2);
    EXPECT_EQ(a.samples_array(), (tsinglearr{1, 2, 3, 4}));
    EXPECT_EQ(a.sampfreq, 8000);
    EXPECT_EQ(a.stereochanno, 3);
    EXPECT_EQ(doc.channel(3).stereochanno, 2);
    EXPECT_TRUE(a.visible());
    EXPECT_EQ(a.notescolor, 0xFFFFFFu);
    EXPECT_EQ(a.created().date, 0);
    EXPECT_EQ(a.created().origin, "Unknown");
    ASSERT_EQ(a.labels.size(), 1u);
    EXPECT_EQ(a.labels[0].text, "vowel");
    EXPECT_EQ(a.labels[0].duration, 0.125);
    ASSERT_EQ(a.labels[0].entities.no.size(), 1u);
    EXPECT_EQ(a.labels[0].entities.no[0].entityname, "dur");
    EXPECT_EQ(a.labels[0].entities.no[0].yunit, "");
    const tchannel& b = doc.channel(3);
    EXPECT_TRUE(b.epgexists);
    EXPECT_EQ(b.epg, (std::vector<std::uint64_t>{0x81000000000000FFull}));
    EXPECT_FALSE(a.epgexists);
    EXPECT_EQ(b.sample_count(), 0);
}

// ------------------------------------------------------------ ranges

TEST_F(tessalfiletest, ARangeSaveCutsSamplesLabelsAndFramesAlike) {
    tdocument doc;
    doc.set_totnchans(2);
    tchannel& a = doc.channel(0);
    a.sampfreq = 100;
    tsinglearr ramp;
    for (int k = 0; k < 100; ++k) ramp.push_back(static_cast<float>(k));
    a.set_samples(ramp);
    a.add_label(0.10, 0.30, "spans the start", "manual");  // 0.10 .. 0.40
    a.add_label(0.02, 0.05, "before", "manual");           // ends before the range
    a.add_label(0.30, 0.05, "inside", "manual");
    a.add_label(0.35, 0, "point inside", "manual");
    a.add_label(0.45, 0.30, "spans the end", "manual");    // 0.45 .. 0.75
    a.add_label(0.90, 0.01, "after", "manual");
    a.epgsampfreq = 10;
    a.epgexists = true;
    for (std::uint64_t f = 0; f < 10; ++f) a.epg.push_back(f);
    // A second channel starting inside the range.
    tchannel& b = doc.channel(1);
    b.sampfreq = 100;
    b.xshift = 30;
    for (float& v : ramp) v += 1000;
    b.set_samples(ramp);

    // From 0.255 s (sample 26 after rounding) up to 0.5 s (sample 50, not
    // included: the same half-open span as every other format).
    write_tessal_file(doc, path("sel.tessal"), {}, 0.255, 0.5);
    tdocument out;
    ASSERT_TRUE(read_tessal_file(out, path("sel.tessal")));
    ASSERT_EQ(out.totnchans(), 2);
    const tchannel& ra = out.channel(0);
    ASSERT_EQ(ra.sample_count(), 24);
    EXPECT_EQ(ra.sample(0), 26.0f);
    EXPECT_EQ(ra.sample(23), 49.0f);
    EXPECT_EQ(ra.xshift, 0);
    ASSERT_EQ(ra.labels.size(), 4u);
    EXPECT_EQ(ra.labels[0].text, "spans the start");
    EXPECT_EQ(ra.labels[0].time, 0);
    EXPECT_NEAR(ra.labels[0].duration, 0.40 - 0.255, 1e-12);
    EXPECT_EQ(ra.labels[1].text, "inside");
    EXPECT_NEAR(ra.labels[1].time, 0.30 - 0.255, 1e-12);
    EXPECT_NEAR(ra.labels[1].duration, 0.05, 1e-12);
    EXPECT_EQ(ra.labels[2].text, "point inside");
    EXPECT_EQ(ra.labels[2].duration, 0);
    EXPECT_EQ(ra.labels[3].text, "spans the end");
    EXPECT_NEAR(ra.labels[3].duration, 0.5 - 0.45, 1e-12);
    // Frames 3 (round(2.55)) up to 5.
    EXPECT_EQ(ra.epg, (std::vector<std::uint64_t>{3, 4}));
    // The late channel keeps its place relative to the range's start.
    const tchannel& rb = out.channel(1);
    EXPECT_EQ(rb.xshift, 4);
    ASSERT_EQ(rb.sample_count(), 20);  // its samples 0..19 lie at 0.30 .. 0.49 s
    EXPECT_EQ(rb.sample(0), 1000.0f);
    EXPECT_EQ(rb.sample(19), 1019.0f);

    // The labels were numbered without gaps.
    TXIIFile x;
    ASSERT_TRUE(x.open_file(path("sel.tessal")));
    EXPECT_EQ(x.readinteger("Ch0", "nLabels", 0), 4);
    EXPECT_EQ(x.readstring("Ch0", "LabelText3", ""), "spans the end");
    EXPECT_FALSE(x.exists("Ch0", "LabelText4"));

    // A range the channel does not reach gives it no samples; reversed ends
    // are the same range.
    write_tessal_file(doc, path("late.tessal"), {1}, 5, 2);
    tdocument late;
    ASSERT_TRUE(read_tessal_file(late, path("late.tessal")));
    EXPECT_EQ(late.channel(0).sample_count(), 0);
}

TEST_F(tessalfiletest, ASubsetSaveRenumbersStereoPartners) {
    tdocument doc;
    fill_document(doc);
    doc.channel(2).stereochanno = 0;
    doc.channel(0).stereochanno = 2;
    TXIIFile x;
    fill_tessal_container(x, doc, {2, 0}, 0, 0);
    EXPECT_EQ(x.readstring("Ch0", "Name", ""), "flow");
    EXPECT_EQ(x.readinteger("Ch0", "StereoChanno", 9), 1);
    EXPECT_EQ(x.readinteger("Ch1", "StereoChanno", 9), 0);
    fill_tessal_container(x, doc, {1}, 0, 0);  // partner 0 not saved
    EXPECT_EQ(x.readinteger("Ch0", "StereoChanno", 9), -1);
    EXPECT_THROW(fill_tessal_container(x, doc, {3}, 0, 0), ETessalFileError);
    EXPECT_THROW(fill_tessal_container(x, doc, {-1}, 0, 0), ETessalFileError);
}

// ------------------------------------------------------------ damage

struct tdamage {
    const char* what;
    std::function<void(TXIIFile&)> apply;
    const char* message;  // null: any message
};

TEST_F(tessalfiletest, DamagedContentLeavesTheDocumentAsItWas) {
    tdocument src;
    fill_document(src);
    const std::vector<tdamage> cases = {
        {"file id", [](TXIIFile& x) { x.SetFileId("TessalSettings"); },
         "Wrong TessalSignals file type: TessalSettings"},
        {"EPG frame", [](TXIIFile& x) { x.writebytearr("Ch1", "EPGframe1", {1, 2, 3, 4, 5, 6, 7}); },
         "Invalid EPG frame (n columns =7)"},
        {"missing EPG frame", [](TXIIFile& x) { x.writeinteger("Ch1", "nEPGFrames", 4); },
         "Invalid EPG frame (n columns =0)"},
        {"type", [](TXIIFile& x) { x.writedoublearr("Ch2", "Sig", {1.0}); },
         "Data has wrong type: 15, not17"},
        {"huge nChans", [](TXIIFile& x) { x.writeinteger("Common", "nChans", 0x7FFFFFFF); }, nullptr},
        {"negative nChans", [](TXIIFile& x) { x.writeinteger("Common", "nChans", -1); }, nullptr},
        {"huge nLabels", [](TXIIFile& x) { x.writeinteger("Ch0", "nLabels", 0x7FFFFFFF); },
         "Damaged Tessal file: \"nLabels\" of channel 0 is 2147483647"},
        {"huge entity count", [](TXIIFile& x) { x.writeinteger("Ch0", "nLabelEntities0", 1000000); },
         nullptr},
        {"huge note count", [](TXIIFile& x) { x.writeinteger("Ch2", "nNoteLines", 0x40000000); }, nullptr},
        {"sampling rate", [](TXIIFile& x) { x.writefloat("Ch2", "SampFreq", NAN); }, nullptr},
        {"zero rate", [](TXIIFile& x) { x.writefloat("Ch0", "SampFreq", 0); }, nullptr},
        {"label time", [](TXIIFile& x) { x.writefloat("Ch0", "LabelStart1", INFINITY); }, nullptr},
        {"format", [](TXIIFile& x) { x.writeinteger("Ch0", "Format", 4); },
         "Damaged Tessal file: \"Format\" of channel 0 is 4"},
        {"short integer", [](TXIIFile& x) { x.write_data("Ch1", "nBits", xii_integer, {1}); }, nullptr},
    };
    for (const tdamage& d : cases) {
        SCOPED_TRACE(d.what);
        TXIIFile x;
        fill_tessal_container(x, src, {}, 0, 0);
        d.apply(x);
        x.save_file(path("bad.tessal"));
        tdocument doc;
        doc.set_totnchans(1);
        doc.channel(0).set_name("mine");
        doc.channel(0).sampfreq = 1000;
        doc.channel(0).set_samples({1, 2});
        const tbytearr before = snapshot(doc);
        try {
            read_tessal_file(doc, path("bad.tessal"));
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            if (d.message) {
                EXPECT_STREQ(e.what(), d.message);
            }
        }
        EXPECT_EQ(doc.totnchans(), 1);
        EXPECT_EQ(snapshot(doc), before);
    }
    // A partner index outside the file pairs with nothing.
    TXIIFile x;
    fill_tessal_container(x, src, {}, 0, 0);
    x.writeinteger("Ch0", "StereoChanno", 7);
    x.writeinteger("Ch1", "StereoChanno", 1);
    tdocument doc;
    read_tessal_container(doc, x);
    EXPECT_EQ(doc.channel(0).stereochanno, -1);
    EXPECT_EQ(doc.channel(1).stereochanno, -1);
}

TEST_F(tessalfiletest, TruncatedOrCorruptedFilesNeverCrash) {
    tdocument src;
    src.set_totnchans(2);
    src.channel(0).sampfreq = 10;
    src.channel(0).set_samples({1, 2, 3});
    src.channel(0).add_label(0.1, 0.1, "l", "manual", entities("d", {{"e", 1, "u"}}));
    src.channel(0).notes = {"n"};
    src.channel(1).sampfreq = 20;
    src.channel(1).epg = {7};
    src.channel(1).epgsampfreq = 5;
    TXIIFile w;
    fill_tessal_container(w, src, {}, 0, 0);
    const tbytearr full = w.save_bytes();

    tdocument doc;
    doc.set_totnchans(1);
    doc.channel(0).sampfreq = 1000;
    const tbytearr before = snapshot(doc);
    for (std::size_t n = 0; n < full.size(); ++n) {
        TXIIFile x;
        ASSERT_FALSE(x.open_bytes(full.data(), n)) << n;
    }
    for (std::size_t n : {std::size_t{0}, std::size_t{20}, full.size() - 1}) {
        std::ofstream(path("cut.tessal"), std::ios::binary)
            .write(reinterpret_cast<const char*>(full.data()), static_cast<std::streamsize>(n));
        EXPECT_FALSE(read_tessal_file(doc, path("cut.tessal"))) << n;
        EXPECT_EQ(snapshot(doc), before);
    }
    EXPECT_FALSE(read_tessal_file(doc, path("no such file.tessal")));

    // Every byte replaced by values that break counts and lengths: an error
    // or a document with the file's channels, never anything else.
    int opened = 0, refused = 0;
    for (std::size_t i = 0; i < full.size(); ++i) {
        for (std::uint8_t v : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x7F},
                               static_cast<std::uint8_t>(full[i] ^ 1)}) {
            tbytearr b = full;
            b[i] = v;
            TXIIFile x;
            if (!x.open_bytes(b.data(), b.size())) {
                ++refused;
                continue;
            }
            tdocument d;
            try {
                read_tessal_container(d, x);
                ++opened;
                EXPECT_LE(d.totnchans(), x.nnodes());
            } catch (const std::runtime_error&) {
                ++refused;
                EXPECT_EQ(d.totnchans(), 0);
            }
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

// ------------------------------------------------------------ saving

class tshortwrite : public tfileops {
public:
    std::size_t write(std::FILE* f, const void* data, std::size_t n) override {
        if (n > 8) {
            tfileops::write(f, data, 8);
            errno = EIO;
            return 8;
        }
        return tfileops::write(f, data, n);
    }
};

TEST_F(tessalfiletest, AFailedSaveKeepsTheOldFile) {
    tdocument doc;
    fill_document(doc);
    write_tessal_file(doc, path("keep.tessal"), {0}, 0, 0);
    const tbytearr before = bytes_of(path("keep.tessal"));
    tshortwrite ops;
    EXPECT_THROW(write_tessal_file(doc, path("keep.tessal"), {}, 0, 0, ops), EFileSaveError);
    EXPECT_EQ(bytes_of(path("keep.tessal")), before);
    // A channel the file could not carry stops the save before any file work.
    doc.channel(1).sampfreq = 0;
    try {
        write_tessal_file(doc, path("keep.tessal"), {}, 0, 0);
        FAIL();
    } catch (const ETessalFileError& e) {
        EXPECT_STREQ(e.what(), "Cannot save channel 1 as a Tessal file: \"SampFreq\" is not a valid number");
    }
    EXPECT_EQ(bytes_of(path("keep.tessal")), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tessal
