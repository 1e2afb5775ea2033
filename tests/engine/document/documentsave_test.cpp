// Saving a document without losing anything: Save writes a WAVE file back in
// the coding it was read with (checked sample by sample with sox, an
// independent decoder), a partial save leaves the document modified, one
// selection gives one length in every format, labels are cut to the saved
// range, a cut file opens with a word about it, a file that cannot be read
// leaves no trace, and a file's FSD of 0 is replaced.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/clipboard.h"
#include "engine/document/documentfiles.h"
#include "engine/document/editcommands.h"
#include "engine/formats/formatregistry.h"
#include "engine/formats/tessalfile.h"
#include "engine/formats/textgrid.h"
#include "engine/formats/tsmpfile.h"
#include "engine/formats/twavfile.h"
#include "engine/formats/txiifile.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

bool have_sox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

bool run(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()) == 0; }

template <class T>
std::vector<T> read_raw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string b{std::istreambuf_iterator<char>(in), {}};
    std::vector<T> r(b.size() / sizeof(T));
    if (!r.empty()) std::memcpy(r.data(), b.data(), r.size() * sizeof(T));
    return r;
}

// The samples of a 16-bit float WAVE file, decoded here from its "data"
// chunk (sox does not read half floats), independently of the reader.
std::vector<float> halves_in(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string b{std::istreambuf_iterator<char>(in), {}};
    std::vector<float> r;
    const std::size_t at = b.find("data");
    if (at == std::string::npos) return r;
    for (std::size_t i = at + 8; i + 1 < b.size(); i += 2) {
        const unsigned h = static_cast<unsigned char>(b[i]) | static_cast<unsigned char>(b[i + 1]) << 8;
        const int e = (h >> 10) & 31, m = h & 1023;
        const double mag = e == 0 ? std::ldexp(m, -24) : std::ldexp(1024 + m, e - 25);
        r.push_back(static_cast<float>(h & 0x8000 ? -mag : mag));
    }
    return r;
}

struct tsavefixture : tessal::testing::ttempdirtest {
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    tmemoryblockclipboard clipboard;
    teditcommands edit{doc, prompter, clipboard};

    void SetUp() override {
        ttempdirtest::SetUp();
        doc.prefs.WarnSaveWav = false;
        doc.prefs.WarnSaveSmp = false;
    }

    // A WAVE file written by this program's own writer.
    std::string wav(const std::string& name, std::vector<tsinglearr> chans, int rate,
                    int nbits = 16, tFormat format = tFormat::pcm) {
        TWavFile w;
        w.Setsampfreq(rate);
        w.Setnbits(static_cast<std::uint32_t>(nbits));
        w.Setformat(format);
        w.Setnchans(static_cast<std::int32_t>(chans.size()));
        std::string p = path(name);
        w.save_file(p, chans, false, false);
        return p;
    }
    static tsinglearr ramp(int n, float scale = 0.5f) {
        tsinglearr s(n);
        for (int i = 0; i < n; ++i) s[i] = scale * std::sin(0.05f * i);
        return s;
    }
};

// --- Save keeps the coding --------------------------------------------------------

struct tcoding {
    const char* name;
    const char* make;  // sox options for the file, or "" for our half-float writer
    int nbits;
    tFormat format;
    bool isfloat;
};

const tcoding codings[] = {
    {"8-bit PCM", "-b 8 -e unsigned-integer", 8, tFormat::pcm, false},
    {"16-bit PCM", "-b 16 -e signed-integer", 16, tFormat::pcm, false},
    {"24-bit PCM", "-b 24 -e signed-integer", 24, tFormat::pcm, false},
    // Samples are 32-bit floats in memory, so a 32-bit PCM file keeps 24
    // significant bits; sox widens a 24-bit signal to 32 bits for it.
    {"32-bit PCM", "-b 32 -e signed-integer", 32, tFormat::pcm, false},
    {"32-bit float", "-b 32 -e floating-point", 32, tFormat::ieeefloat, true},
    {"A-law", "-b 8 -e a-law", 8, tFormat::alaw, false},
    {"mu-law", "-b 8 -e mu-law", 8, tFormat::ulaw, false},
    {"16-bit float", "", 16, tFormat::ieeefloat, true},
};

using SaveKeepsTheCoding = tsavefixture;

// Open, zero one sample of channel 0, Save: the file keeps its coding and
// every other sample decodes, with sox, exactly as before.
TEST_F(SaveKeepsTheCoding, EveryCodingSurvivesOpenEditSave) {
    if (!have_sox()) GTEST_SKIP() << "sox is not installed";
    const int rate = 8000, edited = 123;
    for (const tcoding& k : codings) {
        SCOPED_TRACE(k.name);
        const std::string f = path(std::string("in_") + std::to_string(k.nbits) +
                                   std::to_string(static_cast<int>(k.format)) + ".wav");
        if (*k.make == 0) {
            // sox does not write half floats: values a half holds exactly.
            std::vector<tsinglearr> chans(2);
            for (int i = 0; i < 2000; ++i) {
                chans[0].push_back(std::ldexp(std::round(std::sin(0.01 * i) * 1024) / 1024, 2));
                chans[1].push_back(std::ldexp(std::round(std::cos(0.03 * i) * 1024) / 1024, -3));
            }
            wav(f.substr(f.rfind('/') + 1), chans, rate, 16, tFormat::ieeefloat);
        } else {
            const std::string synth = " synth 0.25 whitenoise sine 300 vol 0.9";
            if (k.nbits == 32 && k.format == tFormat::pcm) {
                ASSERT_TRUE(run("sox -D -R -n -r 8000 -c 2 -b 24 -e signed-integer " +
                                path("w24.wav") + synth));
                ASSERT_TRUE(run("sox -D " + path("w24.wav") + " " + k.make + " " + f));
            } else {
                ASSERT_TRUE(run(std::string("sox -D -R -n -r 8000 -c 2 ") + k.make + " " + f +
                                synth));
            }
        }
        // The truth as an independent decoder sees the file, interleaved
        // (float files as floats, integers at sox's 32-bit scale), through
        // the raw file `raw`; nothing when sox fails.
        auto decoded = [&](const std::string& raw) -> std::vector<float> {
            if (*k.make == 0) return halves_in(f);
            if (k.isfloat) {
                if (!run("sox " + f + " -t f32 " + path(raw))) return {};
                return read_raw<float>(path(raw));
            }
            if (!run("sox " + f + " -t raw -e signed-integer -b 32 " + path(raw))) return {};
            std::vector<float> v;
            for (std::int32_t i : read_raw<std::int32_t>(path(raw)))
                v.push_back(static_cast<float>(i / 2147483648.0));
            return v;
        };
        const std::vector<float> before = decoded("before.raw");
        ASSERT_GT(before.size(), 1000u);

        ASSERT_TRUE(files.open_document(f));
        ASSERT_EQ(doc.totnchans(), 2);
        EXPECT_EQ(doc.channel(0).nbits, k.nbits);
        EXPECT_EQ(doc.channel(0).format, k.format);
        doc.selectmode = selmono;
        doc.set_thischanno(0);
        doc.theglobal.set_selection(edited / double(rate), (edited + 0.4) / rate);
        ASSERT_TRUE(edit.zero());
        ASSERT_TRUE(doc.modified());
        const std::size_t asked = prompter.asked.size();
        ASSERT_TRUE(files.save_document());
        EXPECT_EQ(prompter.asked.size(), asked) << prompter.asked.back().text;
        EXPECT_FALSE(doc.modified());

        TWavFile back;
        ASSERT_TRUE(back.open_file(f, true));
        EXPECT_EQ(back.Getnbits(), static_cast<std::uint32_t>(k.nbits));
        EXPECT_EQ(back.Getformat(), k.format);
        back.close_file();

        const std::vector<float> after = decoded("after.raw");
        ASSERT_EQ(after.size(), before.size());
        int changed = 0;
        for (std::size_t i = 0; i < after.size(); ++i)
            if (i != 2 * edited && after[i] != before[i]) ++changed;
        EXPECT_EQ(changed, 0);
        // The edited sample is (G.711's nearest code to) zero.
        EXPECT_NEAR(after[2 * edited], 0.0, 1.0 / 2048);
        EXPECT_NE(before[2 * edited], after[2 * edited]);
        life.close_document();
    }
}

TEST_F(SaveKeepsTheCoding, SaveAsCodingIsKeptAndOffered) {
    std::string a = wav("a.wav", {ramp(500)}, 1000, 8, tFormat::alaw);
    ASSERT_TRUE(files.open_document(a));
    // Save as proposes the coding the channels were read with.
    ASSERT_TRUE(files.proposed_wave_coding({}).has_value());
    EXPECT_EQ(files.proposed_wave_coding({})->nbits, 8);
    EXPECT_EQ(files.proposed_wave_coding({})->format, tFormat::alaw);
    // A whole Save as 24-bit makes the document that file: Save keeps 24 bits.
    std::string b = path("b.wav");
    ASSERT_TRUE(files.save_file(b, 24, 0, 0, {}, tFormat::pcm));
    doc.set_modified(true);
    ASSERT_TRUE(files.save_document());
    TWavFile w;
    ASSERT_TRUE(w.open_file(b, true));
    EXPECT_EQ(w.Getnbits(), 24u);
    EXPECT_EQ(w.Getformat(), tFormat::pcm);
    w.close_file();
    // A selection saved as 8-bit changes nothing about the document's file.
    doc.set_modified(true);
    ASSERT_TRUE(files.save_file(path("part.wav"), 8, 0.1, 0.2, {}, tFormat::pcm));
    ASSERT_TRUE(files.save_document());
    ASSERT_TRUE(w.open_file(b, true));
    EXPECT_EQ(w.Getnbits(), 24u);
    w.close_file();
    // A document not read from a WAVE file proposes nothing.
    life.close_document();
    doc.set_totnchans(1);
    doc.channel(0).set_samples(ramp(10));
    EXPECT_FALSE(files.proposed_wave_coding({}).has_value());
    EXPECT_FALSE(files.save_document());  // untitled: Save as is the caller's
}

// --- Save selection as leaves the rest unsaved ------------------------------------

TEST_F(tsavefixture, APartialSaveLeavesTheDocumentModified) {
    ASSERT_TRUE(files.open_document(wav("a.wav", {ramp(1000), ramp(1000)}, 1000)));
    for (const char* ext : {".wav", ".smp", ".tessal"}) {
        SCOPED_TRACE(ext);
        doc.set_modified(true);
        // One channel of two.
        ASSERT_TRUE(files.save_file(path(std::string("one") + ext), 16, 0, 0, {1}, tFormat::pcm));
        EXPECT_TRUE(doc.modified());
        // A stretch of every channel.
        ASSERT_TRUE(files.save_file(path(std::string("part") + ext), 16, 0.2, 0.4, {},
                                    tFormat::pcm));
        EXPECT_TRUE(doc.modified());
        // A selection around everything is the whole document.
        ASSERT_TRUE(files.save_file(path(std::string("all") + ext), 16, 0, 1.0, {0, 1},
                                    tFormat::pcm));
        EXPECT_FALSE(doc.modified());
    }
    EXPECT_EQ(doc.filename(), path("a.wav"));  // never renamed by a selection
}

// --- one span in every format, labels cut to it -----------------------------------

TEST_F(tsavefixture, OneSelectionGivesOneLengthInEveryFormat) {
    ASSERT_TRUE(files.open_document(wav("a.wav", {ramp(3000)}, 1000)));
    // A label from 0.3 s to 0.7 s starts before the selection 0.5 .. 1.8 s.
    doc.channel(0).add_label(0.3, 0.4, "early", "manual");
    doc.channel(0).add_label(1.0, 2.0, "late", "manual");

    ASSERT_TRUE(files.save_file(path("s.wav"), 16, 0.5, 1.8, {}, tFormat::pcm));
    ASSERT_TRUE(files.save_file(path("s.smp"), 16, 0.5, 1.8, {}, tFormat::pcm));
    ASSERT_TRUE(files.save_file(path("s.tessal"), 32, 0.5, 1.8, {}, tFormat::ieeefloat));
    for (const char* name : {"s.wav", "s.smp", "s.tessal"}) {
        SCOPED_TRACE(name);
        tdocument back;
        tscriptedprompter p2;
        tdocumentlifecycle l2{back, p2};
        tdocumentfiles f2{back, l2, p2};
        ASSERT_TRUE(f2.open_document(path(name)));
        ASSERT_EQ(back.totnchans(), 1);
        EXPECT_EQ(back.channel(0).sample_count(), 1300);
        // The first sample is the one at 0.5 s.
        EXPECT_NEAR(back.channel(0).sample(0), doc.channel(0).sample(500), 1.0 / 16000);
        if (std::string(name) == "s.wav") continue;
        const tsiglabels& l = back.channel(0).labels;
        ASSERT_EQ(l.size(), 2u);
        EXPECT_EQ(l[0].text, "early");
        EXPECT_NEAR(l[0].time, 0.0, 1e-3);
        EXPECT_NEAR(l[0].duration, 0.2, 1e-3);  // 0.5 .. 0.7 s
        EXPECT_EQ(l[1].text, "late");
        EXPECT_NEAR(l[1].time, 0.5, 1e-3);
        EXPECT_NEAR(l[1].duration, 0.8, 1e-3);  // cut at 1.8 s
    }
}

// --- a file shorter than its header says ------------------------------------------

TEST_F(tsavefixture, ACutFileOpensWithWhatItHoldsAndSaysSo) {
    const std::string whole = wav("whole.wav", {ramp(60000), ramp(60000)}, 8000);
    std::ifstream in(whole, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(bytes.size(), 44u + 60000 * 4);
    struct tcut {
        std::size_t size;
        long long frames;
    };
    for (tcut c : {tcut{50, 1}, tcut{100000, (100000 - 44) / 4}}) {
        SCOPED_TRACE(c.size);
        const std::string cut = path("cut.wav");
        std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(c.size));
        prompter.asked.clear();
        ASSERT_TRUE(files.open_document(cut));
        ASSERT_EQ(doc.totnchans(), 2);
        EXPECT_EQ(doc.channel(1).sample_count(), c.frames);
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_EQ(prompter.asked[0].text, "The file is shorter than its header says: " +
                                              std::to_string(c.frames) + " of 60000 samples were read");
    }
    // A whole file says nothing.
    prompter.asked.clear();
    ASSERT_TRUE(files.open_document(whole));
    EXPECT_TRUE(prompter.asked.empty());
}

// --- a failed open leaves no trace ------------------------------------------------

TEST_F(tsavefixture, AFailedOpenIsNeitherTitleNorRecentFile) {
    std::vector<std::string> recent;
    files.recent_file_used = [&](const std::string& p) { recent.push_back(p); };
    const std::string good = wav("good.wav", {ramp(100)}, 1000);
    ASSERT_TRUE(files.open_document(good));
    EXPECT_EQ(recent, std::vector<std::string>{good});
    const std::string bad = path("bad.wav");
    std::ofstream(bad) << "RIFF this is not a wave file at all";
    std::ofstream(path("bad.tessal")) << "not a container";
    for (const std::string& p : {bad, path("missing.wav"), path("bad.tessal")}) {
        SCOPED_TRACE(p);
        EXPECT_FALSE(files.open_document(p));
        // The open document stays, under its own name.
        EXPECT_EQ(doc.filename(), good);
        EXPECT_EQ(doc.totnchans(), 1);
        EXPECT_EQ(recent.size(), 1u);
    }
}

// --- a file's FSD of 0 ------------------------------------------------------------

TEST_F(tsavefixture, AFileWithFsdZeroOpensWithItsPeak) {
    doc.set_totnchans(2);
    doc.channel(0).sampfreq = doc.channel(1).sampfreq = 1000;
    doc.channel(0).set_samples({0.25f, -0.75f, 0.5f});
    doc.channel(1).set_samples({0, 0, 0});
    TXIIFile x;
    fill_tessal_container(x, doc, {}, 0, 0);
    x.writefloat("Ch0", "FSD", 0);
    x.writefloat("Ch1", "FSD", 0);
    const std::string f = path("zero.tessal");
    x.save_file(f);
    tdocument back;
    tscriptedprompter p2;
    tdocumentlifecycle l2{back, p2};
    tdocumentfiles f2{back, l2, p2};
    ASSERT_TRUE(f2.open_document(f));
    EXPECT_EQ(back.channel(0).fsd(), 0.75);
    EXPECT_EQ(back.channel(1).fsd(), 1);  // silent
    // And it saves as WAVE, which an FSD of 0 could not.
    back.prefs.WarnSaveWav = false;
    EXPECT_TRUE(f2.save_file(path("z.wav"), 16, 0, 0, {}, tFormat::pcm));
}

// --- cut and paste give the file back ---------------------------------------------

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A file sox made, opened, its selection cut and pasted back at the same
// place (and copied, deleted and pasted back), saved: sox decodes every
// frame of it as it decoded the original, the file has as many frames as
// before, and its bytes are those of a save of the untouched document. The
// selection saved alone has the frames the Cut removed. Mono and stereo, 8
// to 32 bits, with the cursors between samples.
TEST_F(tsavefixture, CutThenPasteAtTheSamePlaceGivesTheFileBackByteForByte) {
    if (!have_sox()) GTEST_SKIP() << "sox is not installed";
    struct tcase {
        const char* make;
        int chans, nbits;
        tFormat format;
        int rate, frames;
        double L, R;
        long long n;  // frames in the selection
    };
    const tcase cases[] = {
        {"-b 16 -e signed-integer", 1, 16, tFormat::pcm, 44100, 97953, 1.1, 1.68, 25578},
        {"-b 8 -e unsigned-integer", 1, 8, tFormat::pcm, 16000, 20251, 0.3, 0.7, 6400},
        {"-b 24 -e signed-integer", 2, 24, tFormat::pcm, 44100, 30000, 5444.6 / 44100,
         16410.4 / 44100, 10965},
        {"-b 32 -e signed-integer", 2, 32, tFormat::pcm, 8000, 9000, 0.20001, 0.79996, 4800},
        {"-b 32 -e floating-point", 1, 32, tFormat::ieeefloat, 22050, 11111, 0.1, 0.4, 6615},
    };
    int casenumber = 0;
    for (const tcase& k : cases) {
        SCOPED_TRACE(k.make + std::string(k.chans == 2 ? " stereo" : " mono"));
        const std::string f = path("in" + std::to_string(++casenumber) + ".wav");
        // Samples are floats in memory: a 32-bit PCM file holds a 24-bit
        // signal widened by sox, as a recording would.
        const bool wide = k.nbits == 32 && k.format == tFormat::pcm;
        const std::string synth = " synth " + std::to_string(k.frames) + "s whitenoise sine 300 vol 0.9";
        // The null input at the file's rate, so that "s" counts its frames.
        const std::string rate = std::to_string(k.rate);
        const std::string head =
            "sox -D -R -r " + rate + " -n -r " + rate + " -c " + std::to_string(k.chans);
        if (wide) {
            ASSERT_TRUE(run(head + " -b 24 -e signed-integer " + path("w24.wav") + synth));
            ASSERT_TRUE(run("sox -D " + path("w24.wav") + " " + k.make + " " + f));
        } else {
            ASSERT_TRUE(run(head + " " + k.make + " " + f + synth));
        }
        ASSERT_TRUE(run("sox " + f + " -t raw -e signed-integer -b 32 " + path("before.raw")));
        const auto before = read_raw<std::int32_t>(path("before.raw"));
        ASSERT_EQ(before.size(), static_cast<std::size_t>(k.frames * k.chans));

        // The untouched document saved the same way.
        ASSERT_TRUE(files.open_document(f));
        ASSERT_EQ(doc.totnchans(), k.chans);
        ASSERT_TRUE(files.save_file(path("untouched.wav"), k.nbits, 0, 0, {}, k.format));
        ASSERT_TRUE(files.open_document(f));
        doc.selectmode = k.chans == 2 ? selstereo : selmono;
        doc.set_thischanno(0);

        // The selection saved alone.
        doc.theglobal.set_selection(k.L, k.R);
        ASSERT_TRUE(files.save_file(path("selection.wav"), k.nbits, k.L, k.R, {}, k.format));
        ASSERT_TRUE(run("sox " + path("selection.wav") + " -t raw -e signed-integer -b 32 " +
                        path("sel.raw")));
        EXPECT_EQ(static_cast<long long>(read_raw<std::int32_t>(path("sel.raw")).size()),
                  k.n * k.chans);

        prompter.answers = {tanswer::ok};
        ASSERT_TRUE(edit.cut());
        for (int c = 0; c < k.chans; ++c)
            EXPECT_EQ(doc.channel(c).sample_count(), k.frames - k.n);
        ASSERT_TRUE(edit.paste());
        doc.theglobal.set_selection(k.L, k.R);
        ASSERT_TRUE(edit.copy());
        prompter.answers = {tanswer::ok};
        ASSERT_TRUE(edit.delete_selection());
        ASSERT_TRUE(edit.paste());
        for (int c = 0; c < k.chans; ++c)
            EXPECT_EQ(doc.channel(c).sample_count(), k.frames);
        ASSERT_TRUE(files.save_document());

        ASSERT_TRUE(run("sox " + f + " -t raw -e signed-integer -b 32 " + path("after.raw")));
        const auto after = read_raw<std::int32_t>(path("after.raw"));
        ASSERT_EQ(after.size(), before.size());
        EXPECT_TRUE(after == before);
        EXPECT_TRUE(file_bytes(f) == file_bytes(path("untouched.wav")));
    }
}

}  // namespace

// --- a rate the file cannot hold -----------------------------------------------------

// A rate read from a native file is a double; a WAVE header holds a whole
// number below 2^31. 2^32 + 8000 Hz must be refused, not written as 8000 Hz,
// and the file already at the path stays as it was.
TEST_F(tsavefixture, AWaveFileRefusesARateItCannotHold) {
    const std::string out = wav("out.wav", {ramp(100)}, 8000);
    const std::vector<char> raw = read_raw<char>(out);
    const std::string before(raw.data(), raw.size());
    for (double rate : {4294975296.0, 2147483648.0, 0.4, std::nan("")}) {
        SCOPED_TRACE(rate);
        doc.set_totnchans(0);
        tchannel& ch = doc.create_channel(0);
        ch.set_samples(ramp(100));
        ch.sampfreq = ch.orgsampfreq = rate;
        prompter.asked.clear();
        EXPECT_FALSE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_NE(prompter.asked[0].text.find("sampling rate"), std::string::npos) << prompter.asked[0].text;
        const std::vector<char> now = read_raw<char>(out);
        EXPECT_EQ(std::string(now.data(), now.size()), before);
    }
    // The largest rate the header holds is written as it is.
    doc.channel(0).sampfreq = 2147483647.0;
    ASSERT_TRUE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
    TWavFile back;
    ASSERT_TRUE(back.open_file(out, true));
    EXPECT_EQ(back.Getsampfreq(), 2147483647);
}

// A channel shifted far from time 0 is padded with zeros from time 0 when it
// is saved. A shift whose padding no WAVE file can hold (2^31 - 1 samples of
// 16 bits) is refused by name before any memory is
// taken, and the file at the path stays as it was; a modest shift is written
// as leading zeros.
TEST_F(tsavefixture, AWaveFileRefusesAShiftItCannotHold) {
    const std::string out = wav("out.wav", {ramp(100)}, 8000);
    const std::vector<char> raw = read_raw<char>(out);
    const std::string before(raw.data(), raw.size());
    for (long long shift : {2147483647LL, 4000000000LL}) {
        SCOPED_TRACE(shift);
        doc.set_totnchans(0);
        tchannel& ch = doc.create_channel(0);
        ch.set_samples(ramp(100));
        ch.sampfreq = ch.orgsampfreq = 8000;
        ch.xshift = shift;
        prompter.asked.clear();
        EXPECT_FALSE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
        ASSERT_EQ(prompter.asked.size(), 1u);
        EXPECT_NE(prompter.asked[0].text.find("x shift " + std::to_string(shift)), std::string::npos)
            << prompter.asked[0].text;
        const std::vector<char> now = read_raw<char>(out);
        EXPECT_EQ(std::string(now.data(), now.size()), before);
    }
    doc.channel(0).xshift = 50;
    ASSERT_TRUE(files.save_file(out, 16, 0, 0, {}, tFormat::pcm));
    TWavFile back;
    ASSERT_TRUE(back.open_file(out, true));
    tsinglearr s;
    back.read_channel(0, s);
    ASSERT_EQ(s.size(), 150u);
    EXPECT_EQ(s[49], 0.0f);
    EXPECT_NEAR(s[51], ramp(100)[1], 1.0 / 32768);
}

// 40,000 labels (on two channels, each label on both) go to an SMP file and
// its label file once each, in channel order, and read back as they were.
// Writing them looked every earlier label up per label.
TEST_F(tsavefixture, ManyLabelsSaveAsSmpOnceEach) {
    const int n = 20000;
    doc.set_totnchans(0);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.create_channel(c);
        ch.set_samples(ramp(n * 4));
        ch.sampfreq = ch.orgsampfreq = 1000;
        tsiglabels list;
        for (int i = 0; i < n; ++i) {
            tsiglabel l;
            l.time = i * 0.004;
            l.duration = 0.002;
            l.text = (i % 2 ? "odd " : "even ") + std::to_string(i);
            list.push_back(l);
        }
        add_labels(ch, list);
        ch.add_label(0.001, 0.001, "only " + std::to_string(c), "manual");
    }
    ASSERT_TRUE(files.save_file(path("many.smp"), 16, 0, 0, {}, tFormat::pcm));
    tdocument back;
    tscriptedprompter p2;
    tdocumentlifecycle l2{back, p2};
    tdocumentfiles f2{back, l2, p2};
    ASSERT_TRUE(f2.open_document(path("many.smp")));
    const tsiglabels& l = back.channel(0).labels;
    ASSERT_EQ(l.size(), static_cast<std::size_t>(n + 2));
    EXPECT_EQ(l[0].text, "even 0");
    EXPECT_EQ(l[1].text, "only 0");
    EXPECT_EQ(l[2].text, "only 1");
    EXPECT_EQ(l[3].text, "odd 1");
    EXPECT_EQ(l.back().text, "odd " + std::to_string(n - 1));
    EXPECT_NEAR(l.back().time, (n - 1) * 0.004, 1e-9);
}

// --- Every registry row round trip --------------------------------------------------
// Every row of the format registry that can be written, in every coding it
// offers, survives a round trip through the document's file commands: the
// file read back gives the samples within the coding's step (exactly for
// the native float file), labels where the format keeps them, and saving
// what was read writes the same bytes again where the file holds nothing
// else (WAVE).

namespace {

struct tfiles {
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    tfiles() {
        doc.prefs.WarnSaveWav = false;
        doc.prefs.WarnSaveSmp = false;
        doc.prefs.UseDither = 2;
    }
};

// The largest step between neighbouring values of a coding near full scale.
double coding_step(int nbits, tFormat format) {
    if (format == tFormat::alaw || format == tFormat::ulaw) return 1.0 / 32;
    if (format == tFormat::ieeefloat) return nbits == 32 ? 0 : 1.0 / 1024;
    return 2.0 / std::pow(2.0, nbits);
}

}  // namespace

class FormatRoundTrip : public tessal::testing::ttempdirtest {};

TEST_F(FormatRoundTrip, EveryWritableRowInEveryCoding) {
    int tried = 0;
    for (const tfileformat& f : file_formats()) {
        if (!f.write) continue;
        for (const tsavecodingrow& c : f.codings) {
            SCOPED_TRACE(c.idstr);
            tfiles a;
            a.doc.set_totnchans(2);
            for (int k = 0; k < 2; ++k) {
                tchannel& ch = a.doc.channel(k);
                ch.sampfreq = ch.orgsampfreq = 8000;
                tsinglearr s(4000);
                for (int i = 0; i < 4000; ++i)
                    s[i] = static_cast<float>(0.6 * std::sin(0.01 * (k + 1) * i));
                ch.set_samples(std::move(s));
            }
            a.doc.channel(0).labels.push_back(tsiglabel{});
            a.doc.channel(0).labels.back().time = 0.1;
            a.doc.channel(0).labels.back().duration = 0.2;
            a.doc.channel(0).labels.back().text = "vowel";
            const std::string first = path("first" + f.ext), second = path("second" + f.ext);
            ASSERT_TRUE(a.files.save_file(first, c.nbits, 0, 0, {}, c.format));

            tfiles b;
            ASSERT_TRUE(b.files.open_document(first));
            ASSERT_EQ(b.doc.totnchans(), 2);
            const double step = coding_step(c.nbits, c.format);
            for (int k = 0; k < 2; ++k) {
                const tchannel& x = a.doc.channel(k);
                const tchannel& y = b.doc.channel(k);
                ASSERT_EQ(y.sample_count(), x.sample_count());
                EXPECT_EQ(y.sampfreq, 8000);
                double worst = 0;
                for (std::int64_t i = 0; i < x.sample_count(); ++i)
                    worst = std::max(worst, std::fabs(static_cast<double>(y.sample(i)) - x.sample(i)));
                EXPECT_LE(worst, step) << "channel " << k;
            }
            if (f.caps.labels) {
                ASSERT_FALSE(b.doc.channel(0).labels.empty());
                EXPECT_EQ(b.doc.channel(0).labels.front().text, "vowel");
                EXPECT_NEAR(b.doc.channel(0).labels.front().time, 0.1, 1e-9);
            }
            ASSERT_TRUE(b.files.save_file(second, c.nbits, 0, 0, {}, c.format));
            // A WAVE file holds nothing but the samples and its coding, so
            // saving what was read gives the same bytes; the SMP and native
            // files also carry what changes with each save.
            if (f.caps.codings) {
                EXPECT_EQ(read_raw<char>(second), read_raw<char>(first));
            }
            ++tried;
        }
    }
    EXPECT_EQ(tried, 10);
}
