// TWavFile: round trips of every coding, the header layouts written, and the
// reader's handling of unusual and damaged files built byte by byte.
#include "engine/formats/twavfile.h"
#include "engine/formats/int24.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include "support/scriptedprompter.h"
#include "wav_test_support.h"

namespace tessal {
namespace {

using testing::fmt_payload;
using testing::get16;
using testing::get32;
using testing::read_bytes;
using testing::tbytes;
using testing::triffbuilder;
using testing::write_bytes;

class TWavFileTest : public testing::twavtempdir {
protected:
    // Writes `chans` with the given coding and full scale, then reads every
    // channel back as floats (full scale 1 on reading).
    std::vector<tsinglearr> round_trip(const std::vector<tsinglearr>& chans, std::uint32_t bits, tFormat format,
                                       double fs) {
        TWavFile w;
        w.Setsampfreq(16000);
        w.Setnbits(bits);
        w.Setformat(format);
        for (std::size_t c = 0; c < chans.size(); ++c) w.Setfullscale(static_cast<int>(c), fs);
        w.save_file(path("rt.wav"), chans, true, false);
        TWavFile r;
        EXPECT_TRUE(r.open_file(path("rt.wav"), true)) << r.Getopenerror();
        EXPECT_EQ(r.Getnbits(), bits);
        EXPECT_EQ(r.Getformat(), format);
        EXPECT_EQ(r.Getsampfreq(), 16000);
        std::vector<tsinglearr> back(static_cast<std::size_t>(r.Getnchans()));
        for (int c = r.Getnchans() - 1; c >= 0; --c) r.read_channel(c, back[static_cast<std::size_t>(c)]);
        return back;
    }
};

// Signal of two channels: a sine near full scale, values on and beyond
// +-full scale, and a ramp, all in units where full scale is fs.
std::vector<tsinglearr> test_signal(double fs) {
    tsinglearr a, b;
    for (int i = 0; i < 500; ++i) {
        a.push_back(static_cast<float>(fs * 0.9 * std::sin(i * 0.37)));
        b.push_back(static_cast<float>(fs * (i - 250) / 200.0));  // runs to +-1.25 fs
    }
    a.push_back(static_cast<float>(fs));
    b.push_back(static_cast<float>(-fs));
    return {a, b};
}

TEST_F(TWavFileTest, IntegerCodingsRoundTripToTheNearestStepAndClip) {
    struct tcase {
        std::uint32_t bits;
        double steps, lo, hi;
    };
    const double fs = 2.5;
    const auto sig = test_signal(fs);
    for (const tcase& k : {tcase{16, 32768, -32768, 32767}, tcase{24, 8388608, -8388608, 8388607},
                           tcase{32, 2147483648.0, -2147483648.0, 2147483647.0}}) {
        const auto back = round_trip(sig, k.bits, tFormat::pcm, fs);
        ASSERT_EQ(back.size(), 2u);
        for (std::size_t c = 0; c < 2; ++c) {
            ASSERT_EQ(back[c].size(), sig[c].size());
            for (std::size_t i = 0; i < sig[c].size(); ++i) {
                const double step = std::clamp(std::nearbyint(sig[c][i] / fs * k.steps), k.lo, k.hi);
                EXPECT_EQ(back[c][i], static_cast<float>(step / k.steps)) << k.bits << " bits, sample " << i;
            }
        }
    }
}

TEST_F(TWavFileTest, EightBitPcmMapsFullScaleOntoTheEndsOfTheByte) {
    tsinglearr x = {1.0f, -1.0f, 0.0f, 0.5f, 3.0f, -3.0f};
    const auto back = round_trip({x}, 8, tFormat::pcm, 1.0);
    const tbytes file = read_bytes(path("rt.wav"));
    ASSERT_EQ(file.size(), 44u + 6u);
    EXPECT_EQ(file[44], 255);  // +1.0 of full scale
    EXPECT_EQ(file[45], 1);    // -1.0
    EXPECT_EQ(file[46], 128);
    EXPECT_EQ(file[48], 255);  // clipped
    EXPECT_EQ(file[49], 0);    // clipped to -128
    EXPECT_EQ(back[0][0], 1.0f);
    EXPECT_EQ(back[0][1], -1.0f);
    EXPECT_FLOAT_EQ(back[0][3], static_cast<float>((std::nearbyint(63.5 + 128) - 128) / 127.0));
    EXPECT_FLOAT_EQ(back[0][5], static_cast<float>(-128 / 127.0));
}

TEST_F(TWavFileTest, FloatCodingsKeepValuesAndHalfFloatsSaturate) {
    tsinglearr x = {0.0f, 1.5f, -7.25f, 1e-3f, 70000.0f, -1e9f, 65504.0f, 3.1e-5f};
    auto back = round_trip({x}, 32, tFormat::ieeefloat, 1.0);
    EXPECT_EQ(back[0], x);  // no scaling, no clipping
    back = round_trip({x}, 16, tFormat::ieeefloat, 1.0);
    const tsinglearr want = {0.0f, 1.5f, -7.25f, 0.0010004043579101562f, 65504.0f, -65504.0f, 65504.0f,
                             3.0994415283203125e-05f};
    EXPECT_EQ(back[0], want);
}

TEST_F(TWavFileTest, CompandedCodingsSaturateBeyondFullScale) {
    // The 16-bit value is clipped before coding, so an overload stays at the
    // extreme code instead of wrapping round to the other sign.
    for (tFormat f : {tFormat::alaw, tFormat::ulaw}) {
        const auto back = round_trip({{1.0f, 1.7f, -1.0f, -5.0f}}, 8, f, 1.0);
        EXPECT_EQ(back[0][1], back[0][0]);
        EXPECT_GT(back[0][1], 0.98f);
        EXPECT_EQ(back[0][3], back[0][2]);
        EXPECT_LT(back[0][3], -0.98f);
    }
}

TEST_F(TWavFileTest, DitherIsTriangularOfOneStepAndUnbiased) {
    // A constant 0.3 steps above zero: without dither every sample is 0; with
    // dither the mean is 0.3 steps and no sample strays more than one step.
    tsinglearr x(200000, static_cast<float>(0.3 / 32768));
    TWavFile w;
    w.Setfullscale(0, 1.0);
    w.save_file(path("d.wav"), std::vector<tsinglearr>{x}, false, true);
    TWavFile r;
    ASSERT_TRUE(r.open_file(path("d.wav"), true));
    tintarr v;
    r.read_channel(0, v);
    double sum = 0;
    int lo = 0, hi = 0;
    for (std::int32_t s : v) {
        sum += s;
        lo = std::min(lo, s);
        hi = std::max(hi, s);
    }
    EXPECT_NEAR(sum / v.size(), 0.3, 0.01);
    EXPECT_EQ(lo, -1);
    EXPECT_EQ(hi, 1);
}

TEST_F(TWavFileTest, HeadersHave44Or58BytesWithAFactCount) {
    struct tcase {
        int nchans;
        std::uint32_t bits;
        tFormat format;
        std::size_t header;
    };
    for (const tcase& k : {tcase{2, 16, tFormat::pcm, 44}, tcase{1, 8, tFormat::alaw, 44},
                           tcase{3, 16, tFormat::pcm, 58}, tcase{1, 24, tFormat::pcm, 58},
                           tcase{2, 32, tFormat::ieeefloat, 58}, tcase{1, 16, tFormat::ieeefloat, 58}}) {
        TWavFile w;
        w.Setsampfreq(22050);
        w.Setnbits(k.bits);
        w.Setformat(k.format);
        for (int c = 0; c < k.nchans; ++c) w.Setfullscale(c, 1.0);
        std::vector<tsinglearr> chans(static_cast<std::size_t>(k.nchans), tsinglearr(7, 0.25f));
        w.save_file(path("h.wav"), chans, true, false);
        const tbytes b = read_bytes(path("h.wav"));
        const std::uint32_t align = k.nchans * (k.bits / 8);
        const std::uint32_t data = 7 * align;
        ASSERT_EQ(b.size(), k.header + data);
        EXPECT_EQ(get32(b, 4), b.size() - 8);
        EXPECT_EQ(get32(b, 16), k.header == 44 ? 16u : 18u);
        const std::uint16_t tags[] = {1, 3, 7, 6};
        EXPECT_EQ(get16(b, 20), tags[static_cast<int>(k.format)]);
        EXPECT_EQ(get16(b, 22), k.nchans);
        EXPECT_EQ(get32(b, 24), 22050u);
        EXPECT_EQ(get32(b, 28), 22050u * align);
        EXPECT_EQ(get16(b, 32), align);
        EXPECT_EQ(get16(b, 34), k.bits);
        if (k.header == 58) {
            EXPECT_EQ(get16(b, 36), 0);
            EXPECT_EQ(std::string(b.begin() + 38, b.begin() + 42), "fact");
            EXPECT_EQ(get32(b, 42), 4u);
            EXPECT_EQ(get32(b, 46), 7u * k.nchans);
        }
        EXPECT_EQ(std::string(b.end() - data - 8, b.end() - data - 4), "data");
        EXPECT_EQ(get32(b, b.size() - data - 4), data);
    }
}

TEST_F(TWavFileTest, IntegerFormsAndShorterChannels) {
    TWavFile w;
    w.Setnbits(16);
    w.save_file(path("s.wav"), std::vector<tsmallintarr>{{-32768, 32767, 5}, {1}}, true, false);
    EXPECT_EQ(w.Getnsamples(), 3);
    EXPECT_EQ(w.Getnchans(), 2);
    TWavFile r;
    ASSERT_TRUE(r.open_file(path("s.wav"), true));
    tintarr a, b;
    r.read_channel(0, a);
    r.read_channel(1, b);
    EXPECT_EQ(a, (tintarr{-32768, 32767, 5}));
    EXPECT_EQ(b, (tintarr{1, 0, 0}));  // padded with zeros

    w.Setnbits(24);
    w.save_file(path("t.wav"), std::vector<tint24arr>{{int32_to_int24(-8388608), int32_to_int24(8388607)}}, true,
                false);
    ASSERT_TRUE(r.open_file(path("t.wav"), true));
    r.read_channel(0, a);
    EXPECT_EQ(a, (tintarr{-8388608, 8388607}));

    // Each integer form writes its own width only, and nothing is created.
    EXPECT_THROW(
        try { w.save_file(path("u.wav"), std::vector<tsmallintarr>{{1}}, true, false); } catch (
            const EWavFileError& e) {
            EXPECT_STREQ(e.what(), "Invalid file type (nbits=24)");
            throw;
        },
        EWavFileError);
    w.Setnbits(12);
    EXPECT_THROW(w.save_file(path("u.wav"), std::vector<tsinglearr>{{1}}, true, false), EWavFileError);
    w.Setnbits(16);
    w.Setfullscale(0, 0.0);
    EXPECT_THROW(w.save_file(path("u.wav"), std::vector<tsinglearr>{{1}}, true, false), EWavFileError);
    EXPECT_FALSE(testing::fs::exists(path("u.wav")));
    EXPECT_THROW(int32_to_int24(8388608), EInt24Error);
    EXPECT_THROW(int32_to_int24(-8388609), EInt24Error);
}

// The one-pass reader against the one-channel reader, on a file of a dozen
// blocks, with one thread held up now and then: every thread sees its
// channels' blocks in order and without gaps, and the samples are those
// read one channel at a time; a pass stopped half way leaves every channel
// cut at the same frame with every frame before it visited.
TEST_F(TWavFileTest, OnePassOfSeveralThreadsReadsWhatOneChannelReadsGive) {
    const std::size_t frames = 300001;  // 3 MB of 16-bit frames: a dozen blocks
    std::vector<tsinglearr> sig(5, tsinglearr(frames));
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < sig.size(); ++c)
            sig[c][i] = static_cast<float>(0.8 * std::sin(0.0007 * static_cast<double>(i) * (c + 1)));
    TWavFile w;
    w.Setsampfreq(16000);
    w.Setnbits(16);
    w.Setnchans(5);
    w.save_file(path("many.wav"), sig, false, false);
    std::vector<tsinglearr> single(sig.size());
    {
        TWavFile r;
        ASSERT_TRUE(r.open_file(path("many.wav"), true));
        for (int c = 0; c < 5; ++c) r.read_channel(c, single[static_cast<std::size_t>(c)]);
    }
    for (int threads : {1, 2, 3, 5}) {
        for (double stop : {2.0, 0.4}) {
            SCOPED_TRACE(::testing::Message() << threads << " threads, stop at " << stop);
            std::mutex m;
            std::map<int, std::size_t> next;  // channel -> first frame it expects
            std::map<int, std::vector<int>> threadchans;
            bool ordered = true;
            std::vector<tsinglearr> seen(5, tsinglearr(frames));
            treadpass pass;
            pass.threads = threads;
            pass.align = 200;
            pass.visit = [&](std::size_t first, std::size_t n, const int* chans, const float* const* samples,
                             int count) {
                if (chans[0] == 1 && first % 3 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                std::lock_guard lock(m);
                std::vector<int> mine(chans, chans + count);
                auto [it, fresh] = threadchans.emplace(chans[0], mine);
                if (!fresh && it->second != mine) ordered = false;
                for (int k = 0; k < count; ++k) {
                    if (first % 200 != 0 || next[chans[k]] != first) ordered = false;
                    next[chans[k]] = first + n;
                    std::copy(samples[k], samples[k] + n, seen[static_cast<std::size_t>(chans[k])].begin() + first);
                }
            };
            pass.progress = [&](std::int64_t done, std::int64_t total) {
                return static_cast<double>(done) < stop * static_cast<double>(total);
            };
            TWavFile r;
            ASSERT_TRUE(r.open_file(path("many.wav"), true));
            std::vector<tsinglearr> out;
            const bool whole = r.read_channels(out, pass);
            EXPECT_EQ(whole, stop > 1);
            EXPECT_TRUE(ordered);
            EXPECT_EQ(static_cast<int>(threadchans.size()), threads);
            ASSERT_EQ(out.size(), 5u);
            const std::size_t n = out[0].size();
            if (whole)
                EXPECT_EQ(n, frames);
            else
                EXPECT_TRUE(n > 0 && n < frames) << n;
            for (std::size_t c = 0; c < 5; ++c) {
                ASSERT_EQ(out[c].size(), n) << c;
                EXPECT_EQ(next[static_cast<int>(c)], n) << c;
                for (std::size_t i = 0; i < n; ++i) {
                    ASSERT_EQ(out[c][i], single[c][i]) << c << " " << i;
                    ASSERT_EQ(seen[c][i], single[c][i]) << c << " " << i;
                }
            }
        }
    }
}

TEST_F(TWavFileTest, FloatFilesHaveNoIntegerReading) {
    round_trip({{0.5f}}, 32, tFormat::ieeefloat, 1.0);
    TWavFile r;
    ASSERT_TRUE(r.open_file(path("rt.wav"), true));
    tintarr v;
    try {
        r.read_channel(0, v);
        FAIL();
    } catch (const EWavFileError& e) {
        EXPECT_STREQ(e.what(),
                     "Cannot read wav file of this format:\rBits per sample: 32\rNumber of channels: 1\r"
                     "Sample rate: 16000\rFormat tag: 3");
    }
}

TEST_F(TWavFileTest, ChannelsCanBeReadInAnyOrderAndAgain) {
    const std::vector<tsinglearr> sig = {{0.25f, 0.5f}, {-0.25f, -0.5f}, {0.125f, 0.0f}};
    round_trip(sig, 16, tFormat::pcm, 1.0);
    TWavFile r;
    ASSERT_TRUE(r.open_file(path("rt.wav"), false));
    tsinglearr a;
    for (int c : {1, 1, 0, 2, 0}) {
        r.read_channel(c, a);
        EXPECT_EQ(a, sig[static_cast<std::size_t>(c)]) << c;
    }
    EXPECT_THROW(r.read_channel(3, a), EWavFileError);
    EXPECT_THROW(r.read_channel(-1, a), EWavFileError);
    r.close_file();
    EXPECT_FALSE(r.Getisopen());
    try {
        r.read_channel(0, a);
        FAIL();
    } catch (const EWavFileError& e) {
        EXPECT_STREQ(e.what(), "Wav file is not open.");
    }
}

// ---- files built byte by byte ----

tbytes pcm16_frames(std::initializer_list<std::int16_t> v) {
    tbytes b;
    for (std::int16_t s : v) testing::put16(b, static_cast<std::uint16_t>(s));
    return b;
}

class TWavFileReadTest : public TWavFileTest {
protected:
    // Writes the bytes, opens them; returns the open result.
    bool open(const tbytes& file) {
        write_bytes(path("in.wav"), file);
        wav.set_prompter(&prompter);
        return wav.open_file(path("in.wav"), true);
    }
    tsinglearr channel(int c) {
        tsinglearr a;
        wav.read_channel(c, a);
        return a;
    }
    testing::tscriptedprompter prompter;
    TWavFile wav;
};

TEST_F(TWavFileReadTest, OddAndUnknownChunksAreSkippedWithTheirPadByte) {
    const tbytes data = pcm16_frames({100, -200, 300, -400});
    ASSERT_TRUE(open(triffbuilder()
                         .chunk("JUNK", tbytes(3, 0xAB))  // odd size before "fmt "
                         .chunk("fmt ", fmt_payload(1, 2, 8000, 16))
                         .chunk("LIST", tbytes(5, 'x'))  // odd size between "fmt " and "data"
                         .chunk("fact", tbytes(0))
                         .chunk("data", data)
                         .chunk("id3 ", tbytes(7, 1))
                         .bytes()));
    EXPECT_EQ(wav.Getnsamples(), 2);
    EXPECT_EQ(wav.Getformatstr(), "1");
    EXPECT_EQ(channel(0), (tsinglearr{100 / 32768.0f, 300 / 32768.0f}));
    EXPECT_EQ(channel(1), (tsinglearr{-200 / 32768.0f, -400 / 32768.0f}));
    // The "data" chunk may also come first.
    ASSERT_TRUE(open(triffbuilder().chunk("data", data).chunk("fmt ", fmt_payload(1, 1, 8000, 16)).bytes()));
    EXPECT_EQ(wav.Getnsamples(), 4);
}

TEST_F(TWavFileReadTest, ZeroAndOversizedSizesUseTheFileLength) {
    const tbytes data = pcm16_frames({1, 2, 3, 4, 5});
    const tbytes fmt = fmt_payload(1, 1, 8000, 16);
    // A recorder that stopped before filling in the sizes.
    ASSERT_TRUE(open(triffbuilder().chunk("fmt ", fmt).chunk_sized("data", data, 0).bytes(0)));
    EXPECT_EQ(wav.Getnsamples(), 5);
    EXPECT_EQ(wav.Getstateddatasize(), 10u);
    EXPECT_EQ(channel(0).size(), 5u);
    // A placeholder size of 0xFFFFFFFF, and a truncated copy cut mid-sample.
    for (std::uint32_t size : {0xFFFFFFFFu, 100u}) {
        tbytes f = triffbuilder().chunk("fmt ", fmt).chunk_sized("data", data, size).bytes(0xFFFFFFFF);
        f.push_back(0x7F);  // half a sample
        ASSERT_TRUE(open(f));
        EXPECT_EQ(wav.Getnsamples(), 5);
        EXPECT_EQ(channel(0), (tsinglearr{1 / 32768.0f, 2 / 32768.0f, 3 / 32768.0f, 4 / 32768.0f, 5 / 32768.0f}));
    }
    // A "data" chunk of size 0 in the middle of a complete file runs to the end.
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(TWavFileReadTest, FormatRecordsOfEveryLength) {
    const tbytes data = pcm16_frames({-32768, 32767});
    for (int length : {16, 18, 40, 52}) {
        ASSERT_TRUE(open(triffbuilder().chunk("fmt ", fmt_payload(1, 1, 8000, 16, length, 1)).chunk("data", data).bytes()))
            << length;
        EXPECT_EQ(channel(0), (tsinglearr{-1.0f, 32767 / 32768.0f}));
    }
    // Extensible with PCM, float and an unknown sub-format.
    ASSERT_TRUE(open(triffbuilder().chunk("fmt ", fmt_payload(65534, 1, 8000, 16, 40, 1)).chunk("data", data).bytes()));
    EXPECT_EQ(wav.Getformatstr(), "65534 / 1");
    EXPECT_EQ(wav.Getformat(), tFormat::pcm);
    tbytes fdata;
    testing::put32(fdata, 0x40490FDB);  // pi as a float
    ASSERT_TRUE(open(triffbuilder().chunk("fmt ", fmt_payload(65534, 1, 8000, 32, 40, 3)).chunk("data", fdata).bytes()));
    EXPECT_EQ(wav.Getformatstr(), "65534 / 3");
    EXPECT_EQ(wav.Getformat(), tFormat::ieeefloat);
    EXPECT_EQ(channel(0), (tsinglearr{3.14159274f}));
    // Unknown codings open (the tag is shown) but refuse to be read as PCM.
    for (const tbytes& fmt : {fmt_payload(65534, 1, 8000, 16, 40, 2), fmt_payload(85, 1, 8000, 16)}) {
        ASSERT_TRUE(open(triffbuilder().chunk("fmt ", fmt).chunk("data", data).bytes()));
        try {
            channel(0);
            FAIL();
        } catch (const EWavFileError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot read wav file of this format:\rBits per sample: 16\rNumber of channels: 1\r"
                      "Sample rate: 8000\rFormat tag: " +
                          wav.Getformatstr());
        }
    }
    EXPECT_EQ(wav.Getformatstr(), "85");
}

TEST_F(TWavFileReadTest, FilesThatCannotBeUsedAreRefusedWithAReason) {
    const tbytes data = pcm16_frames({1, 2});
    struct tcase {
        tbytes file;
        const char* reason;
    };
    const tcase cases[] = {
        {tbytes{'R', 'I', 'F'}, "is not a RIFF WAVE file"},
        {tbytes(100, 0), "is not a RIFF WAVE file"},
        {triffbuilder().chunk("fmt ", fmt_payload(1, 1, 8000, 16)).bytes(), "has no \"data\" chunk"},
        {triffbuilder().chunk("data", data).bytes(), "has no format chunk"},
        {triffbuilder().chunk("fmt ", fmt_payload(1, 0, 8000, 16)).chunk("data", data).bytes(), "has no channels"},
        {triffbuilder().chunk("fmt ", fmt_payload(1, 1, 8000, 4)).chunk("data", data).bytes(), "fewer than 8 bits"},
        {triffbuilder().chunk("fmt ", fmt_payload(1, 1, 8000, 12)).chunk("data", data).bytes(),
         "Cannot read wav file of this format:\rBits per sample: 12"},
        {triffbuilder().chunk("fmt ", fmt_payload(3, 1, 8000, 64)).chunk("data", data).bytes(), "Bits per sample: 64"},
        {triffbuilder().chunk("fmt ", fmt_payload(7, 1, 8000, 16)).chunk("data", data).bytes(), "Format tag: 7"},
        {triffbuilder().chunk("fmt ", fmt_payload(1, 1, 0, 16)).chunk("data", data).bytes(), "sampling frequency of 0"},
        {triffbuilder().chunk_sized("fmt ", tbytes(6, 1), 16).bytes(), "format chunk"},
        // A RIFF size too small to reach the "data" chunk.
        {triffbuilder().chunk("fmt ", fmt_payload(1, 1, 8000, 16)).chunk("data", data).bytes(30), "\"data\" chunk"},
    };
    for (const tcase& k : cases) {
        EXPECT_FALSE(open(k.file)) << k.reason;
        EXPECT_NE(wav.Getopenerror().find(k.reason), std::string::npos) << wav.Getopenerror();
        EXPECT_FALSE(wav.Getisopen());
        tsinglearr a;
        EXPECT_THROW(wav.read_channel(0, a), EWavFileError);
    }
    tbytes notwave = triffbuilder().chunk("fmt ", fmt_payload(1, 1, 8000, 16)).chunk("data", data).bytes();
    notwave[8] = 'A';
    EXPECT_FALSE(open(notwave));
    EXPECT_NE(wav.Getopenerror().find("not a WAVE file"), std::string::npos);
    EXPECT_FALSE(wav.open_file(path("missing.wav"), true));
    EXPECT_NE(wav.Getopenerror().find("Cannot open file"), std::string::npos);
    EXPECT_EQ(wav.Getnchans(), 0);
    EXPECT_EQ(wav.Getsampfreq(), 1);
    // The files without "data" told the developer as the component always has.
    int debugs = 0;
    for (const auto& q : prompter.asked) {
        EXPECT_EQ(q.caption, "DEBUG");
        EXPECT_EQ(q.text, "Datastartpos: -1");
        ++debugs;
    }
    EXPECT_EQ(debugs, 3);
}

TEST_F(TWavFileReadTest, AFileThatShrinksAfterOpeningReadsWhatIsLeft) {
    ASSERT_TRUE(open(triffbuilder().chunk("fmt ", fmt_payload(1, 1, 8000, 16)).chunk("data", tbytes(40000, 0)).bytes()));
    testing::fs::resize_file(path("in.wav"), 44 + 20000);
    EXPECT_EQ(channel(0).size(), 10000u);
    EXPECT_EQ(wav.Getnsamples(), 10000);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, "arrcount<>length(arr): 10000 vs 20000");
    EXPECT_EQ(prompter.asked[0].caption, "DEBUG");
}

}  // namespace
}  // namespace tessal
