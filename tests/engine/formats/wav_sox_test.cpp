// WAVE files against sox, an independent implementation: files sox writes in
// every coding read as sox itself decodes them, files Tessal writes decode
// with sox to the values written, and G.711 coding matches sox's code for
// code. Skipped when sox is not installed.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/formats/g711.h"
#include "engine/formats/twavfile.h"
#include "wav_test_support.h"

namespace tessal {
namespace {

using testing::get16;
using testing::read_bytes;
using testing::read_raw;
using testing::run;

class WavSoxTest : public testing::twavtempdir {
protected:
    void SetUp() override {
        twavtempdir::SetUp();
        if (!testing::have_sox()) GTEST_SKIP() << "sox is not installed";
    }
};

struct tsoxcoding {
    const char* args;  // sox output options
    std::uint32_t bits;
    tFormat format;
};

const tsoxcoding sox_codings[] = {
    {"-b 8 -e unsigned-integer", 8, tFormat::pcm},   {"-b 16 -e signed-integer", 16, tFormat::pcm},
    {"-b 24 -e signed-integer", 24, tFormat::pcm},   {"-b 32 -e signed-integer", 32, tFormat::pcm},
    {"-b 32 -e floating-point", 32, tFormat::ieeefloat}, {"-b 8 -e a-law", 8, tFormat::alaw},
    {"-b 8 -e mu-law", 8, tFormat::ulaw},
};

TEST_F(WavSoxTest, FilesSoxWritesReadAsSoxDecodesThem) {
    for (const tsoxcoding& k : sox_codings) {
        for (int nchans : {1, 2, 3}) {
            const std::string f = path("sox.wav");
            // Noise reaches every code; the sine and square cover the extremes.
            const char* synth[] = {"", "whitenoise", "whitenoise sine 300", "whitenoise sine 300 square 77"};
            run("sox -D -R -n -r 11025 -c " + std::to_string(nchans) + " " + k.args + " " + f + " synth 0.2 " +
                synth[nchans]);
            const bool isfloat = k.format == tFormat::ieeefloat;
            run("sox " + f + (isfloat ? " -t f32 " : " -t raw -e signed-integer -b 32 ") + path("truth.raw"));
            const auto truth_i = read_raw<std::int32_t>(path("truth.raw"));
            const auto truth_f = read_raw<float>(path("truth.raw"));

            TWavFile w;
            ASSERT_TRUE(w.open_file(f, true)) << k.args << ": " << w.Getopenerror();
            const std::string label = std::string(k.args) + ", " + std::to_string(nchans) + " channels";
            EXPECT_EQ(w.Getnchans(), nchans) << label;
            EXPECT_EQ(w.Getsampfreq(), 11025) << label;
            EXPECT_EQ(w.Getnbits(), k.bits) << label;
            EXPECT_EQ(w.Getformat(), k.format) << label;
            ASSERT_EQ(w.Getnsamples() * nchans, static_cast<std::int64_t>(truth_i.size())) << label;
            // sox writes the extensible tag for more than 2 channels or more than 16 bits.
            const std::uint16_t tag = get16(read_bytes(f), 20);
            const int codes[] = {1, 3, 7, 6};
            EXPECT_EQ(w.Getformatstr(), tag == 65534 ? "65534 / " + std::to_string(codes[static_cast<int>(k.format)])
                                                     : std::to_string(tag))
                << label;

            // sox's 32-bit view puts the stored integer in the top bits.
            const int shift = k.format == tFormat::alaw || k.format == tFormat::ulaw ? 16 : 32 - static_cast<int>(k.bits);
            for (int c = 0; c < nchans; ++c) {
                tsinglearr x;
                w.read_channel(c, x);
                ASSERT_EQ(static_cast<std::int64_t>(x.size()), w.Getnsamples());
                tintarr v;
                if (!isfloat) w.read_channel(c, v);
                int bad = 0;
                for (std::size_t i = 0; i < x.size(); ++i) {
                    const std::size_t at = i * nchans + c;
                    float want;
                    if (isfloat) {
                        want = truth_f[at];
                    } else {
                        const std::int32_t stored = truth_i[at] >> shift;
                        bad += v[i] != stored;
                        want = k.bits == 8 && k.format == tFormat::pcm ? static_cast<float>(stored / 127.0)
                                                                       : static_cast<float>(truth_i[at] * 0x1p-31);
                    }
                    bad += x[i] != want;
                }
                EXPECT_EQ(bad, 0) << label << ", channel " << c;
            }
        }
    }
}

TEST_F(WavSoxTest, FilesTessalWritesDecodeWithSoxToTheValuesWritten) {
    // Two channels (three for the extended header), full scale 2, a chirp
    // that overloads at the end.
    const double fs = 2.0;
    for (const tsoxcoding& k : sox_codings) {
        for (int nchans : {2, 3}) {
            std::vector<tsinglearr> chans(static_cast<std::size_t>(nchans));
            for (int c = 0; c < nchans; ++c)
                for (int i = 0; i < 3000; ++i)
                    chans[c].push_back(static_cast<float>(fs * (0.4 + i / 2500.0) * std::sin(i * i * 1e-4 + c)));
            TWavFile w;
            w.Setsampfreq(12000);
            w.Setnbits(k.bits);
            w.Setformat(k.format);
            for (int c = 0; c < nchans; ++c) w.Setfullscale(c, fs);
            const std::string f = path("t.wav");
            w.save_file(f, chans, true, false);
            const bool isfloat = k.format == tFormat::ieeefloat;
            run("sox " + f + (isfloat ? " -t f32 " : " -t raw -e signed-integer -b 32 ") + path("out.raw"));
            const auto got_i = read_raw<std::int32_t>(path("out.raw"));
            const auto got_f = read_raw<float>(path("out.raw"));
            ASSERT_EQ(got_i.size(), 3000u * nchans) << k.args;
            const std::string label = std::string(k.args) + ", " + std::to_string(nchans) + " channels";
            int bad = 0;
            for (int c = 0; c < nchans; ++c) {
                for (std::size_t i = 0; i < 3000; ++i) {
                    const double x = chans[c][i];
                    const std::size_t at = i * nchans + c;
                    if (isfloat) {
                        // sox holds samples as 32-bit integers and converts them with
                        // float arithmetic: it clips at +-1 and keeps about 24 bits.
                        bad += std::fabs(got_f[at] - std::clamp(x, -1.0, 1.0)) > 0x1p-23;
                        continue;
                    }
                    auto q = [&](double steps, double lo, double hi) {
                        return static_cast<std::int64_t>(std::nearbyint(std::clamp(x / fs * steps, lo, hi)));
                    };
                    std::int64_t want;  // the sample as sox's 32-bit view holds it
                    if (k.format == tFormat::alaw || k.format == tFormat::ulaw) {
                        const auto s = static_cast<std::int16_t>(q(32768, -32768, 32767));
                        want = static_cast<std::int64_t>(k.format == tFormat::alaw ? alaw_to_linear(linear_to_alaw(s))
                                                                                   : ulaw_to_linear(linear_to_ulaw(s)))
                               << 16;
                    } else if (k.bits == 8) {
                        want = q(127, -128, 127) * (1 << 24);
                    } else {
                        want = q(std::ldexp(1.0, static_cast<int>(k.bits) - 1), -std::ldexp(1.0, static_cast<int>(k.bits) - 1),
                                 std::ldexp(1.0, static_cast<int>(k.bits) - 1) - 1)
                               << (32 - k.bits);
                    }
                    bad += got_i[at] != want;
                }
            }
            EXPECT_EQ(bad, 0) << label;
        }
    }
}

TEST_F(WavSoxTest, G711CodesMatchSoxInBothDirections) {
    // Expansion: every one of the 256 codes.
    testing::tbytes codes(256);
    for (int i = 0; i < 256; ++i) codes[i] = static_cast<std::uint8_t>(i);
    testing::write_bytes(path("codes.raw"), codes);
    // Compression: every 16-bit value, through the writer.
    std::vector<std::int16_t> all(65536);
    tsinglearr allf(65536);
    for (int i = 0; i < 65536; ++i) {
        all[i] = static_cast<std::int16_t>(i - 32768);
        allf[i] = static_cast<float>((i - 32768) / 32768.0);
    }
    testing::tbytes allb(all.size() * 2);
    std::memcpy(allb.data(), all.data(), allb.size());
    testing::write_bytes(path("all.raw"), allb);

    for (const char* law : {"a-law", "mu-law"}) {
        const bool a = law[0] == 'a';
        run(std::string("sox -t raw -r 8000 -c 1 -e ") + law + " -b 8 " + path("codes.raw") +
            " -t raw -e signed-integer -b 16 " + path("lin.raw"));
        const auto lin = read_raw<std::int16_t>(path("lin.raw"));
        ASSERT_EQ(lin.size(), 256u);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(a ? alaw_to_linear(static_cast<std::uint8_t>(i)) : ulaw_to_linear(static_cast<std::uint8_t>(i)),
                      lin[i])
                << law << " code " << i;

        run(std::string("sox -D -t raw -r 8000 -c 1 -e signed-integer -b 16 ") + path("all.raw") + " -t raw -e " + law +
            " -b 8 " + path("enc.raw"));
        const testing::tbytes sox = read_bytes(path("enc.raw"));
        TWavFile w;
        w.Setnbits(8);
        w.Setformat(a ? tFormat::alaw : tFormat::ulaw);
        w.Setfullscale(0, 1.0);
        w.save_file(path("enc.wav"), std::vector<tsinglearr>{allf}, false, false);
        const testing::tbytes ours = read_bytes(path("enc.wav"));
        ASSERT_EQ(sox.size(), 65536u);
        ASSERT_EQ(ours.size(), 44u + 65536u);
        // G.711 codes 13-bit (A-law) or 14-bit (mu-law) samples. Like the ITU
        // reference coder, Tessal drops the extra bits of a 16-bit sample;
        // sox rounds them first, which moves its decision levels off the
        // midpoints between output levels. So every 16-bit value must get the
        // code sox gives the value on the coder's grid below it.
        const int grid = a ? 8 : 4;
        int bad = 0;
        for (int i = 0; i < 65536; ++i) bad += ours[44 + i] != sox[i & ~(grid - 1)];
        EXPECT_EQ(bad, 0) << law;
    }
}

}  // namespace
}  // namespace tessal
