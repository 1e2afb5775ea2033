// Savers and readers go through the channel's sample functions a bounded
// block at a time. The channels here have their pieces cut at every 7th
// sample (set_chunk_limit), so a saver that lost its place at a piece end, or
// padded the file span wrongly, writes other bytes than a file made from an
// explicitly zero-padded array of the same samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/formats/formatpaths.h"
#include "engine/formats/savespan.h"
#include "engine/formats/tessalfile.h"
#include "engine/formats/textexport.h"
#include "engine/formats/twavfile.h"
#include "engine/formats/txiifile.h"
#include "wav_test_support.h"

using namespace tessal;
using namespace tessal::testing;

namespace {

constexpr double rate = 8000;

// Two channels longer than a WAVE block (65536 frames of two 16-bit
// channels) and than a part of the container's arrays: one starts 3 samples
// before time 0, the other 1001 samples after it.
void fill(tdocument& doc, std::size_t limit) {
    doc.set_totnchans(2);
    doc.prefs.UseDither = 2;
    doc.prefs.WarnSaveWav = false;
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.set_name(c == 0 ? "mic" : "egg");
        ch.sampfreq = ch.orgsampfreq = rate;
        ch.set_fsd(1);
        ch.nbits = 16;
        ch.format = tFormat::pcm;
        ch.needsdither = false;
        ch.xshift = c == 0 ? -3 : 1001;
        tsinglearr s(c == 0 ? 150001 : 70003);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<float>(0.7 * std::sin(0.0123 * static_cast<double>(i) * (c + 1)) +
                                      0.001 * static_cast<double>(i % 13));
        ch.set_samples(std::move(s));
        ch.set_chunk_limit(limit);
    }
}

// The file with the value of its header's "date" item blanked out.
tbytes without_save_time(tbytes bytes) {
    const std::string key = "date=";
    auto at = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
    if (at == bytes.end()) return bytes;
    for (at += static_cast<std::ptrdiff_t>(key.size()); at != bytes.end() && *at != '\r' && *at != '\n'; ++at)
        *at = ' ';
    return bytes;
}

// Time indices begin..end-1 of the channel, zeros where it has no sample,
// built sample by sample from a whole copy.
tsinglearr padded(const tchannel& ch, long long begin, long long end) {
    tsinglearr r(static_cast<std::size_t>(end - begin), 0.0f);
    const tsinglearr s = ch.samples_array();
    for (long long i = 0; i < static_cast<long long>(s.size()); ++i) {
        const long long t = i + ch.xshift;
        if (t >= begin && t < end) r[static_cast<std::size_t>(t - begin)] = s[static_cast<std::size_t>(i)];
    }
    return r;
}

struct tio {
    tfixedprompter prompter{tanswer::yes};
    int nbits = 16;
    tFormat format = tFormat::pcm;
    tformatio io;
    explicit tio(tdocument& doc, tanswer answer = tanswer::yes)
        : prompter(answer), io{doc, prompter, nbits, format} {}
};

class savestream : public ttempdirtest {};

}  // namespace

TEST_F(savestream, ReadPaddedGivesZerosOutsideTheSamples) {
    tdocument doc;
    fill(doc, 7);
    const tchannel& ch = doc.channel(1);  // time indices 1001 .. 71003
    const long long cases[][2] = {{0, 10},      {990, 30},    {1001, 1},     {1000, 70005},
                                  {5000, 7},    {71000, 10},  {71004, 50},   {-20, 80000},
                                  {71003, 1},   {1002, 65536}};
    for (const auto& [pos, n] : cases) {
        SCOPED_TRACE(std::to_string(pos) + " + " + std::to_string(n));
        std::vector<float> got(static_cast<std::size_t>(n), -1.0f);
        ch.read_shifted(pos, got.size(), got.data());
        const tsinglearr want = padded(ch, pos, pos + n);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
    }
}

TEST_F(savestream, WaveSavesAreTheFilesOfExplicitlyPaddedArrays) {
    struct tcoding {
        int nbits;
        tFormat format;
    };
    for (const tcoding k : {tcoding{16, tFormat::pcm}, tcoding{24, tFormat::pcm}, tcoding{32, tFormat::ieeefloat}}) {
        // A span from before both channels to past their ends, and the whole
        // document (which starts at the earlier channel).
        for (const bool whole : {false, true}) {
            SCOPED_TRACE(std::to_string(k.nbits) + (whole ? " whole" : " span"));
            tdocument doc;
            fill(doc, 7);
            const long long begin = whole ? -3 : -80, end = whole ? 150001 - 3 : 150001 + 120;
            tsaverequest req;
            req.path = path("streamed.wav");
            req.nbits = k.nbits;
            req.format = k.format;
            if (!whole) {
                req.from = static_cast<double>(begin) / rate;
                req.to = static_cast<double>(end) / rate;
            }
            tio t(doc);
            ASSERT_TRUE(write_wav_document(t.io, req));

            TWavFile w;
            w.Setsampfreq(static_cast<std::int32_t>(rate));
            w.Setnbits(static_cast<std::uint32_t>(k.nbits));
            w.Setformat(k.format);
            w.Setnchans(2);
            for (int c = 0; c < 2; ++c) w.Setfullscale(c, 1);
            w.save_file(path("padded.wav"),
                        std::vector<tsinglearr>{padded(doc.channel(0), begin, end), padded(doc.channel(1), begin, end)},
                        true, false);
            const tbytes a = read_bytes(path("streamed.wav")), b = read_bytes(path("padded.wav"));
            ASSERT_EQ(a.size(), b.size());
            EXPECT_TRUE(a == b);
        }
    }
}

TEST_F(savestream, PulledSamplesSaveAsTheSameSamplesInArrays) {
    // Three channels of different lengths: the array form pads the shorter
    // ones; the pulled form is asked for each block of each channel in turn.
    std::vector<tsinglearr> arrays(3);
    for (std::size_t c = 0; c < 3; ++c) {
        arrays[c].resize(100000 + 20000 * c);
        for (std::size_t i = 0; i < arrays[c].size(); ++i)
            arrays[c][i] = static_cast<float>(0.5 * std::cos(0.002 * static_cast<double>(i * (c + 2))));
    }
    const std::size_t length = arrays[2].size();
    auto setup = [](TWavFile& w) {
        w.Setsampfreq(16000);
        w.Setnbits(24);
        w.Setformat(tFormat::pcm);
        w.Setnchans(3);
        for (int c = 0; c < 3; ++c) w.Setfullscale(c, 1);
    };
    TWavFile a, b;
    setup(a);
    setup(b);
    a.save_file(path("arrays.wav"), arrays, true, false);
    std::size_t next = 0;
    bool inorder = true;
    b.save_file(path("pulled.wav"), 3, length,
                [&](std::size_t ch, std::size_t from, std::size_t n, float* out) {
                    if (ch == 0) {
                        inorder = inorder && from == next;
                        next = from + n;
                    }
                    for (std::size_t i = 0; i < n; ++i)
                        out[i] = from + i < arrays[ch].size() ? arrays[ch][from + i] : 0.0f;
                },
                true, false);
    EXPECT_TRUE(inorder);
    EXPECT_EQ(next, length);
    EXPECT_TRUE(read_bytes(path("arrays.wav")) == read_bytes(path("pulled.wav")));
}

TEST_F(savestream, SmpSavesAreTheFilesOfExplicitlyPaddedChannels) {
    const long long begin = -50, end = 150001 + 99;
    tdocument doc;
    fill(doc, 7);
    // The same samples, each channel already padded over the whole span.
    tdocument flat;
    fill(flat, 0);
    for (int c = 0; c < 2; ++c) {
        flat.channel(c).set_samples(padded(doc.channel(c), begin, end));
        flat.channel(c).xshift = begin;
    }
    tsaverequest req;
    req.from = static_cast<double>(begin) / rate;
    req.to = static_cast<double>(end) / rate;
    req.path = path("streamed.smp");
    tio t(doc);
    ASSERT_TRUE(write_smp_document(t.io, req));
    req.path = path("flat.smp");
    tio u(flat);
    ASSERT_TRUE(write_smp_document(u.io, req));
    // The two saves may fall on either side of a second: the header's save
    // time is the one thing allowed to differ.
    const tbytes a = without_save_time(read_bytes(path("streamed.smp")));
    const tbytes b = without_save_time(read_bytes(path("flat.smp")));
    ASSERT_GT(a.size(), static_cast<std::size_t>(2 * (end - begin) * 2));
    EXPECT_TRUE(a == b);
}

TEST_F(savestream, TheOwnFormatWritesTheSamplesOfTheRangeInParts) {
    tdocument doc;
    fill(doc, 7);
    // Samples 77 .. 140076 of the first channel (time indices 74 .. 140073).
    write_tessal_file(doc, path("range.tessal"), {0}, 74 / rate, 140074 / rate);
    TXIIFile x;
    ASSERT_TRUE(x.open_file(path("range.tessal")));
    const tsinglearr sig = x.readsinglearr("Ch0", "Sig", {});
    EXPECT_TRUE(sig == doc.channel(0).samples_array(77, 140077));
    // The whole document, read back.
    write_tessal_file(doc, path("whole.tessal"), {}, 0, 0);
    tdocument back;
    ASSERT_TRUE(read_tessal_file(back, path("whole.tessal")));
    ASSERT_EQ(back.totnchans(), 2);
    for (int c = 0; c < 2; ++c) EXPECT_TRUE(back.channel(c).samples_array() == doc.channel(c).samples_array());
}

TEST_F(savestream, TextExportReadsRowsInBlocksAcrossPieceEnds) {
    for (const long long k : {1LL, 7LL, 70000LL}) {
        SCOPED_TRACE(k);
        tdocument doc;
        fill(doc, 7);
        ttextexportoptions o;
        o.channels = {0, 1};
        o.pattern = "0.000000E+00";
        o.decimal = tdecimalseparator::period;
        o.downsample = k;
        const std::string table = text_export_table(doc, o);
        std::istringstream in(table);
        std::string line;
        std::getline(in, line);  // the heading
        const long long s0 = -3, s1 = 150001 - 4;
        const tsinglearr a = padded(doc.channel(0), s0, s1 + 1), b = padded(doc.channel(1), s0, s1 + 1);
        long long rows = 0;
        // Rows at the multiples of k from s0 on: -3 itself for k = 1, else 0.
        for (long long s = k == 1 ? s0 : 0; s <= s1; s += k) {
            ASSERT_TRUE(std::getline(in, line)) << s;
            double t = 0, x = 0, y = 0;
            std::istringstream row(line);
            row >> t >> x >> y;
            ASSERT_FALSE(row.fail()) << line;
            EXPECT_NEAR(t, static_cast<double>(s) / rate, 1e-6);
            const auto i = static_cast<std::size_t>(s - s0);
            EXPECT_NEAR(x, a[i], 1e-6 * std::max(1e-30, std::fabs(static_cast<double>(a[i])))) << s;
            EXPECT_NEAR(y, b[i], 1e-6 * std::max(1e-30, std::fabs(static_cast<double>(b[i])))) << s;
            ++rows;
        }
        EXPECT_FALSE(std::getline(in, line));
        // The same table when the channel hands out whole blocks.
        for (int c = 0; c < 2; ++c) doc.channel(c).set_chunk_limit(0);
        EXPECT_EQ(text_export_table(doc, o), table);
    }
}

TEST_F(savestream, TheOverloadCheckFindsAPeakPastAPieceEnd) {
    for (const long long at : {4095LL, 4096LL, 3 * 4096LL + 5, 150000LL}) {
        SCOPED_TRACE(at);
        tdocument doc;
        fill(doc, 7);
        const float over = 1.25f;
        doc.channel(0).write_samples(at, &over, 1);
        tsaverequest req;
        req.path = path("over.wav");
        tio refuse(doc, tanswer::no);
        EXPECT_FALSE(write_wav_document(refuse.io, req));
        // Outside the saved range the peak does not count.
        req.from = static_cast<double>(at - 3 + 1) / rate;
        req.to = static_cast<double>(at - 3 + 2000) / rate;
        EXPECT_TRUE(write_wav_document(refuse.io, req));
    }
}

TEST_F(savestream, OrletSoundsLongerThanABlockDeinterleave) {
    const std::size_t frames = 70001;
    tsmallintarr v(2 * frames);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::int16_t>((i * 7919) % 65535 - 32767);
    // One stereo sound, no anchors, as another recorder writes it.
    TXIIFile x;
    x.SetFileId("Orlet");
    x.SetProgId({"Another", "Recorder", "2.1"});
    x.writesmallintarr("Test_1", "Samples0", v);
    const std::pair<const char*, int> counts[] = {{"nSounds", 1}, {"nChans0", 2}, {"SampFreq0", 8000}, {"nAnchors", 0}};
    for (const auto& [key, value] : counts) x.writeinteger("Test_1", key, value);
    x.save_file(path("long.orlet"));
    tdocument doc;
    tio t(doc);
    tloaded l = read_orlet_document(t.io, path("long.orlet"), "");
    ASSERT_EQ(l.nchans, 2);
    l.install();
    ASSERT_EQ(doc.totnchans(), 2);
    for (int c = 0; c < 2; ++c) {
        const tsinglearr s = doc.channel(c).samples_array();
        ASSERT_EQ(s.size(), frames);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < frames; ++i)
            wrong += s[i] != static_cast<float>(v[2 * i + static_cast<std::size_t>(c)]) / 32767.0f;
        EXPECT_EQ(wrong, 0u);
    }
}
