// Opening a WAVE file into the document: one pass over the file gives the
// drawing cache, the peak and the sum of squares without keeping the decoded
// samples, and the channels get blocks that read the file. What a channel
// holds afterwards must equal, bit for bit, the arrays of the full read
// (TWavFile::read_channels), and the cache and figures must equal those
// computed again from those arrays by the channel's own code. The document
// runs under a block cache of a few blocks in a private folder, so blocks
// leave memory and are read again from the file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/formats/formatpaths.h"
#include "engine/formats/safereplace.h"
#include "engine/formats/twavfile.h"
#include "engine/formats/wavsource.h"
#include "engine/store/blocks.h"
#include "wav_test_support.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

// Records the warnings; answers yes.
class trecordingprompter : public tprompter {
public:
    tanswer ask(const std::string& text, const std::string&, tbuttons buttons, ticon) override {
        said.push_back(text);
        return buttons == tbuttons::ok ? tanswer::ok : buttons == tbuttons::okcancel ? tanswer::ok : tanswer::yes;
    }
    std::vector<std::string> said;
};

struct tio {
    trecordingprompter prompter;
    int nbits = 16;
    tFormat format = tFormat::pcm;
    tformatio io;
    explicit tio(tdocument& doc) : io{doc, prompter, nbits, format} {}
};

// Every coding the reader decodes, as the writer is asked for it.
const twavcoding codings[] = {twavcoding::u8,  twavcoding::alaw, twavcoding::ulaw, twavcoding::s16,
                              twavcoding::s24, twavcoding::s32,  twavcoding::f16,  twavcoding::f32};

struct tcoding {
    std::uint32_t bits;
    tFormat format;
    std::string label;
    explicit tcoding(twavcoding c)
        : bits(static_cast<std::uint32_t>(8 * wav_coding_bytes(c))),
          format(c == twavcoding::alaw   ? tFormat::alaw
                 : c == twavcoding::ulaw ? tFormat::ulaw
                 : wav_coding_is_float(c) ? tFormat::ieeefloat
                                          : tFormat::pcm),
          label(std::to_string(bits) + (c == twavcoding::alaw   ? "-bit A-law"
                                        : c == twavcoding::ulaw ? "-bit mu-law"
                                        : wav_coding_is_float(c) ? "-bit float"
                                                                 : "-bit PCM")) {}
};

bool same_bits(const float* a, const float* b, std::size_t n) { return n == 0 || std::memcmp(a, b, n * sizeof(float)) == 0; }

// `nchans` channels of `frames` samples: noise over a sine, different per
// channel, up to 0.9 of full scale.
std::vector<tsinglearr> signals(int nchans, std::size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-0.3f, 0.3f);
    std::vector<tsinglearr> r(static_cast<std::size_t>(nchans));
    for (int c = 0; c < nchans; ++c) {
        tsinglearr& s = r[static_cast<std::size_t>(c)];
        s.resize(frames);
        for (std::size_t i = 0; i < frames; ++i)
            s[i] = static_cast<float>(0.6 * std::sin(0.001 * static_cast<double>(i) * (c + 1))) + u(rng);
    }
    return r;
}

void write_wav(const std::string& name, const tcoding& k, const std::vector<tsinglearr>& chans) {
    TWavFile w;
    w.Setsampfreq(16000);
    w.Setnbits(k.bits);
    w.Setformat(k.format);
    w.Setnchans(static_cast<std::int32_t>(chans.size()));
    w.save_file(name, chans, false, false);
}

// The full read the open used to put into the channels.
std::vector<tsinglearr> full_read(const std::string& name) {
    TWavFile w;
    EXPECT_TRUE(w.open_file(name, true)) << w.Getopenerror();
    std::vector<tsinglearr> out;
    treadpass pass;
    w.read_channels(out, pass);
    return out;
}

// The channels of a WAVE file as sources; the reader is closed again.
std::vector<std::shared_ptr<twavsource>> sources_of(const std::string& name) {
    TWavFile w;
    if (!w.open_file(name, true)) return {};
    return wav_sources(w);
}

int open_descriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class wavopen : public ttempdirtest {
protected:
    // A document whose blocks go to a cache of `blocks` blocks in the
    // test's folder.
    void small_cache(tdocument& doc, std::size_t blocks = 2) {
        std::filesystem::create_directories(dir / "scratch");
        doc.set_block_cache(std::make_shared<tblockcache>(blocks * block_samples * sizeof(float), dir / "scratch"));
    }
    // Opens `name` into `doc` (appending its channels); false when nothing
    // was installed.
    static bool open(tio& t, const std::string& name, int threads = 0) {
        t.io.keep_stats = true;
        t.io.threads = threads;
        tloaded l = read_wav_document(t.io, name, "");
        if (!l.install) return false;
        l.install();
        return true;
    }
    // Stores of the sources, in a cache of one block, read whole equal `want`.
    void expect_stores(const std::vector<std::shared_ptr<twavsource>>& sources,
                       const std::vector<tsinglearr>& want) const {
        ASSERT_EQ(sources.size(), want.size());
        auto cache = std::make_shared<tblockcache>(block_samples * sizeof(float), dir);
        for (std::size_t c = 0; c < sources.size(); ++c) {
            const tsinglearr got = wav_store(sources[c], cache).to_array();
            ASSERT_EQ(got.size(), want[c].size());
            EXPECT_TRUE(same_bits(got.data(), want[c].data(), got.size())) << "channel " << c;
        }
    }
    // Every channel of `doc` from n0 on equals `want` bit for bit, read
    // again now through the channel.
    static void expect_samples(const tdocument& doc, int n0, const std::vector<tsinglearr>& want) {
        ASSERT_EQ(doc.totnchans() - n0, static_cast<int>(want.size()));
        for (std::size_t c = 0; c < want.size(); ++c) {
            const tchannel& ch = doc.channel(n0 + static_cast<int>(c));
            ASSERT_EQ(ch.sample_count(), static_cast<std::int64_t>(want[c].size())) << "channel " << c;
            std::vector<float> got(want[c].size());
            ch.read_samples(0, got.size(), got.data());
            EXPECT_TRUE(same_bits(got.data(), want[c].data(), got.size())) << "channel " << c;
        }
    }
};

}  // namespace

TEST_F(wavopen, ChannelsCacheAndFiguresEqualTheFullReadInEveryCoding) {
    const std::size_t lengths[] = {1, 201, 3 * block_samples + 4001};
    const int counts[] = {1, 2, 3, 8};
    for (const twavcoding coding : codings)
        for (const int nchans : counts)
            for (const std::size_t frames : lengths) {
                const tcoding k(coding);
                SCOPED_TRACE(k.label + ", " + std::to_string(nchans) + " channels, " +
                             std::to_string(frames) + " frames");
                const std::string name = path("f.wav");
                write_wav(name, k, signals(nchans, frames, static_cast<unsigned>(frames + nchans)));
                const std::vector<tsinglearr> want = full_read(name);
                ASSERT_EQ(want.size(), static_cast<std::size_t>(nchans));
                ASSERT_EQ(want[0].size(), frames);
                // Three threads over eight channels split them unevenly.
                for (const int threads : {1, 3}) {
                    SCOPED_TRACE(std::to_string(threads) + " threads");
                    tdocument doc;
                    small_cache(doc);
                    tio t(doc);
                    ASSERT_TRUE(open(t, name, threads));
                    EXPECT_TRUE(t.prompter.said.empty());
                    expect_samples(doc, 0, want);
                    for (int c = 0; c < nchans; ++c) {
                        const tchannel& ch = doc.channel(c);
                        const tsinglearr& s = want[static_cast<std::size_t>(c)];
                        // The cache as the channel builds it from the array.
                        tdocument other;
                        other.set_totnchans(1);
                        tchannel& ref = other.channel(0);
                        ref.set_samples(s);
                        ref.fix_sigcache();
                        ASSERT_FALSE(ch.sigcachedirty) << "channel " << c;
                        ASSERT_EQ(ch.sigcache.size(), ref.sigcache.size()) << "channel " << c;
                        EXPECT_TRUE(std::memcmp(ch.sigcache.data(), ref.sigcache.data(),
                                                ch.sigcache.size() * sizeof(tsinglepair)) == 0)
                            << "channel " << c;
                        EXPECT_EQ(ch.sigmax, ref.sigmax);
                        EXPECT_EQ(ch.sigmin, ref.sigmin);
                        // Peak and sum of squares in sample order, directly.
                        float peak = 0;
                        double sumsq = 0;
                        for (const float x : s) {
                            peak = std::max(peak, std::fabs(x));
                            sumsq += static_cast<double>(x) * x;
                        }
                        float gotpeak = -1;
                        double gotsumsq = -1;
                        ASSERT_TRUE(ch.stored_peak(gotpeak));
                        ASSERT_TRUE(ch.stored_sumsq(gotsumsq));
                        EXPECT_EQ(gotpeak, peak) << "channel " << c;
                        EXPECT_EQ(gotsumsq, sumsq) << "channel " << c;
                    }
                }
            }
}

TEST_F(wavopen, CancelLeavesTheDocumentAndNoOpenFile) {
    const std::string name = path("long.wav");
    write_wav(name, tcoding(twavcoding::s16), signals(3, 5 * block_samples, 7));
    for (const int stop_at : {1, 3}) {
        SCOPED_TRACE("cancelled at call " + std::to_string(stop_at));
        tdocument doc;
        small_cache(doc);
        doc.set_totnchans(1);
        doc.channel(0).set_samples(tsinglearr{1.0f, 2.0f});
        tio t(doc);
        int calls = 0;
        t.io.progress = [&calls, stop_at](const std::string&, double) { return ++calls < stop_at; };
        const int fds = open_descriptors();
        tloaded l = read_wav_document(t.io, name, "");
        EXPECT_FALSE(l.install);
        EXPECT_TRUE(t.io.cancelled);
        EXPECT_EQ(calls, stop_at);
        EXPECT_EQ(open_descriptors(), fds);
        EXPECT_EQ(doc.totnchans(), 1);
        EXPECT_EQ(doc.channel(0).sample_count(), 2);
        EXPECT_TRUE(t.prompter.said.empty());
    }
}

TEST_F(wavopen, AFileShorterThanItsHeaderOpensWhatItHolds) {
    const std::string name = path("cut.wav");
    const std::size_t frames = 2 * block_samples + 999;
    write_wav(name, tcoding(twavcoding::s24), signals(3, frames, 11));  // 24-bit, 9 bytes a frame
    const std::vector<tsinglearr> whole = full_read(name);
    // Cut in the middle of a frame: the partial frame is not read.
    const std::size_t keep = block_samples + 3001;
    const auto size = std::filesystem::file_size(name);
    std::filesystem::resize_file(name, size - (frames - keep) * 9 + 4);
    std::vector<tsinglearr> want = whole;
    for (auto& a : want) a.resize(keep);

    tdocument doc;
    small_cache(doc);
    tio t(doc);
    ASSERT_TRUE(open(t, name));
    expect_samples(doc, 0, want);
    ASSERT_EQ(t.prompter.said.size(), 1u);
    EXPECT_EQ(t.prompter.said[0], "The file is shorter than its header says: " + std::to_string(keep) + " of " +
                                      std::to_string(frames) + " samples were read");
    double sumsq = 0;
    for (const float x : want[2]) sumsq += static_cast<double>(x) * x;
    double got = -1;
    ASSERT_TRUE(doc.channel(2).stored_sumsq(got));
    EXPECT_EQ(got, sumsq);
    EXPECT_EQ(doc.channel(2).sigcache.size(), keep / sigcache_blocksize + 1);
}

TEST_F(wavopen, AFileThatCannotBeOpenedAgainIsRefusedWithTheReason) {
    // A file readable once: the pass reads it, and the sources, opening it
    // again, find it gone.
    const std::string name = path("gone.wav");
    write_wav(name, tcoding(twavcoding::s16), signals(2, 1000, 5));
    tdocument doc;
    tio t(doc);
    t.io.progress = [&name](const std::string&, double f) {
        if (f >= 1.0) std::filesystem::remove(name);
        return true;
    };
    tloaded l = read_wav_document(t.io, name, "");
    EXPECT_FALSE(l.install);
    ASSERT_EQ(t.prompter.said.size(), 1u);
    EXPECT_EQ(t.prompter.said[0].rfind("Could not open file\r" + name + "\r", 0), 0u) << t.prompter.said[0];
    EXPECT_EQ(doc.totnchans(), 0);
}

TEST_F(wavopen, ACodecsTemporaryFileIsReadAfterItWasRemoved) {
    const std::string original = path("speech.xyz");
    write_wav(original, tcoding(twavcoding::s16), signals(2, 3 * block_samples + 17, 3));
    const std::vector<tsinglearr> want = full_read(original);
    const std::string temporary = path("converted.wav");

    tdocument doc;
    small_cache(doc, 1);
    tio t(doc);
    t.io.convert = [&](const std::string& from, std::string& to) {
        std::filesystem::copy_file(from, temporary);
        to = temporary;
        return true;
    };
    std::vector<std::string> used;
    t.io.used = [&used](const std::string& p) { used.push_back(p); };
    tloaded l = read_through_codec(t.io, original, "");
    ASSERT_TRUE(l.install);
    EXPECT_FALSE(std::filesystem::exists(temporary));
    l.install();
    expect_samples(doc, 0, want);
    // A second time: the blocks left memory and are read from the removed file.
    expect_samples(doc, 0, want);
    EXPECT_EQ(used, std::vector<std::string>{original});
    EXPECT_EQ(doc.channel(0).name(), "speech.xyz Ch 0");
}

TEST_F(wavopen, SourcesKeepReadingTheirFileWhenItIsRemovedOrReplaced) {
    const std::string name = path("gone.wav");
    // After the sources opened the file it is removed, or a safe save puts
    // other samples of another length under its name by rename.
    const auto remove = [&name] { std::filesystem::remove(name); };
    const auto replace = [&name] {
        TWavFile other;
        other.Setsampfreq(16000);
        other.Setnbits(16);
        other.Setnchans(2);
        other.save_file(name, signals(2, 1000, 22), true, false);
        ASSERT_EQ(full_read(name)[0].size(), 1000u);
    };
    for (const bool removed : {true, false}) {
        SCOPED_TRACE(removed ? "removed" : "replaced");
        write_wav(name, tcoding(removed ? twavcoding::f32 : twavcoding::s16),
                  signals(removed ? 3 : 2, 2 * block_samples + 5, removed ? 9 : 21));
        const std::vector<tsinglearr> want = full_read(name);
        const auto sources = sources_of(name);
        ASSERT_FALSE(sources.empty());
        if (removed)
            remove();
        else
            replace();
        expect_stores(sources, want);
    }
}

TEST_F(wavopen, ADocumentSavedOverItsFileReadsWhatWasSaved) {
    const std::string name = path("edited.wav");
    const std::size_t frames = 4 * block_samples + 321;
    write_wav(name, tcoding(twavcoding::s16), signals(2, frames, 31));
    std::vector<tsinglearr> model = full_read(name);

    tdocument doc;
    doc.prefs.WarnSaveWav = false;
    doc.prefs.UseDither = 2;
    small_cache(doc, 1);
    tio t(doc);
    ASSERT_TRUE(open(t, name));
    // The same edits on the document and on the arrays: a span of both
    // channels erased across a block end, samples written over in another.
    const std::int64_t from = block_samples - 100, to = 2 * block_samples + 50;
    const std::vector<float> put(3000, 0.25f);
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.erase_samples(from, to);
        auto& m = model[static_cast<std::size_t>(c)];
        m.erase(m.begin() + from, m.begin() + to);
    }
    doc.channel(1).write_samples(2 * block_samples + 7, put.data(), put.size());
    std::copy(put.begin(), put.end(), model[1].begin() + 2 * block_samples + 7);

    tsaverequest req;
    req.path = name;
    req.nbits = 16;
    req.format = tFormat::pcm;
    ASSERT_TRUE(write_wav_document(t.io, req));
    // The file holds the edited samples (16-bit values stay exact), and the
    // document, read again from its blocks, still does too.
    const std::vector<tsinglearr> saved = full_read(name);
    ASSERT_EQ(saved.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c) {
        ASSERT_EQ(saved[c].size(), model[c].size());
        EXPECT_TRUE(same_bits(saved[c].data(), model[c].data(), saved[c].size())) << "channel " << c;
    }
    expect_samples(doc, 0, saved);
    // And an edit after the save reads the right samples around it.
    doc.channel(0).erase_samples(10, 20);
    model[0].erase(model[0].begin() + 10, model[0].begin() + 20);
    std::vector<float> got(model[0].size());
    doc.channel(0).read_samples(0, got.size(), got.data());
    EXPECT_TRUE(same_bits(got.data(), model[0].data(), got.size()));
}

TEST_F(wavopen, SixtyFourBitFloatsAreRefusedAsBefore) {
    // The reader has no 64-bit float coding: the file is refused with the
    // format's description and the document keeps what it had.
    const std::string name = path("f64.wav");
    tbytes data(8 * 2 * 10, 0);
    write_bytes(name, triffbuilder{}.chunk("fmt ", fmt_payload(3, 2, 8000, 64)).chunk("data", data).bytes());
    tdocument doc;
    tio t(doc);
    tloaded l = read_wav_document(t.io, name, "");
    EXPECT_FALSE(l.install);
    ASSERT_EQ(t.prompter.said.size(), 1u);
    EXPECT_NE(t.prompter.said[0].find("Cannot read wav file of this format"), std::string::npos) << t.prompter.said[0];
    EXPECT_NE(t.prompter.said[0].find("Bits per sample: 64"), std::string::npos) << t.prompter.said[0];
    EXPECT_EQ(doc.totnchans(), 0);
}

// Without the overview an open reads the header only: the channels read the
// same samples, the overview is built on first need and equals the one the
// pass gives, and a short or undecodable file is told as with the pass.
class wavopenheader : public wavopen {
protected:
    // Opens `name` with or without the pass; the messages said and the
    // progress calls (one per block the pass reads) are kept.
    bool open_with(bool overview, const std::string& name, tdocument& doc) {
        tio t(doc);
        t.io.overview = overview;
        t.io.progress = [this](const std::string&, double) { return ++calls, true; };
        tloaded l = read_wav_document(t.io, name, "");
        said = t.prompter.said;
        if (!l.install) return false;
        l.install();
        said = t.prompter.said;
        return true;
    }
    int calls = 0;
    std::vector<std::string> said;
};

TEST_F(wavopenheader, TheOverviewIsBuiltOnFirstNeedAndEqualsThePasses) {
    for (const twavcoding coding : {twavcoding::u8, twavcoding::s24, twavcoding::f32}) {
        const tcoding k(coding);
        SCOPED_TRACE(k.label);
        const std::string name = path("f.wav");
        write_wav(name, k, signals(3, 2 * block_samples + 777, 21));
        const std::vector<tsinglearr> want = full_read(name);
        tdocument withpass, without;
        small_cache(withpass);
        small_cache(without);
        calls = 0;
        ASSERT_TRUE(open_with(true, name, withpass));
        EXPECT_GT(calls, 0);
        calls = 0;
        ASSERT_TRUE(open_with(false, name, without));
        EXPECT_EQ(calls, 0) << "the data was read";
        EXPECT_TRUE(said.empty());
        expect_samples(without, 0, want);
        for (int c = 0; c < 3; ++c) {
            tchannel& ch = without.channel(c);
            const tchannel& ref = withpass.channel(c);
            float peak = 0;
            EXPECT_FALSE(ch.stored_peak(peak));
            ASSERT_TRUE(ch.sigcachedirty) << "a missing overview must read as one to build";
            ch.fix_sigcache();
            ASSERT_EQ(ch.sigcache.size(), ref.sigcache.size());
            EXPECT_EQ(std::memcmp(ch.sigcache.data(), ref.sigcache.data(), ch.sigcache.size() * sizeof(tsinglepair)),
                      0);
            EXPECT_EQ(ch.sigmax, ref.sigmax);
            EXPECT_EQ(ch.sigmin, ref.sigmin);
            EXPECT_EQ(ch.axis.GetMaxHiValue(), ref.axis.GetMaxHiValue());
            EXPECT_EQ(ch.axis.GetMinLoValue(), ref.axis.GetMinLoValue());
            EXPECT_EQ(ch.sample_count(), ref.sample_count());
            EXPECT_EQ(ch.fsd(), ref.fsd());
        }
    }
}

TEST_F(wavopenheader, AShortFileAndAnUnknownCodingAreToldAsWithThePass) {
    const std::string cut = path("cut.wav");
    const std::size_t frames = block_samples + 999;
    write_wav(cut, tcoding(twavcoding::s16), signals(2, frames, 5));
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 4 * 300 - 2);
    const std::string adpcm = path("adpcm.wav");
    write_bytes(adpcm, triffbuilder{}.chunk("fmt ", fmt_payload(2, 1, 8000, 8)).chunk("data", tbytes(100, 0)).bytes());
    for (const std::string& name : {cut, adpcm}) {
        SCOPED_TRACE(name);
        tdocument a, b;
        const bool reada = open_with(true, name, a);
        const std::vector<std::string> saida = said;
        const bool readb = open_with(false, name, b);
        EXPECT_EQ(reada, readb);
        EXPECT_EQ(said, saida);
        ASSERT_EQ(a.totnchans(), b.totnchans());
        for (int c = 0; c < a.totnchans(); ++c) EXPECT_EQ(a.channel(c).sample_count(), b.channel(c).sample_count());
    }
    tdocument d;
    ASSERT_TRUE(open_with(false, cut, d));
    EXPECT_EQ(d.channel(0).sample_count(), static_cast<std::int64_t>(frames - 301));
}
