#include <gtest/gtest.h>

#include <cmath>

#include "engine/audio/playback.h"
#include "engine/audio/pcmconvert.h"
#include "engine/core/tdocument.h"
#include "fakeaudiodevice.h"

namespace tessal {
namespace {

using test::tfakeoutput;

TEST(PcmConvert, SixteenBitsAtAndBeyondFullScale) {
    tditherrandom rnd(1);
    // A sample at full scale is scaled to 32766; twice full scale clips.
    EXPECT_EQ(to_int16(1.0 * 32766, false, rnd), 32766);
    EXPECT_EQ(to_int16(2.0 * 32766, false, rnd), 32767);
    EXPECT_EQ(to_int16(-2.0 * 32766, false, rnd), -32768);
    EXPECT_EQ(to_int16(2.5, false, rnd), 2);   // ties to even
    EXPECT_EQ(to_int16(3.5, false, rnd), 4);
    EXPECT_EQ(to_int16(-2.5, false, rnd), -2);
    int lo = 99999, hi = -99999;
    double sum = 0;
    for (int i = 0; i < 20000; ++i) {
        int a = to_int16(2.0 * 32766, true, rnd);
        EXPECT_LE(a, 32766);
        int b = to_int16(-2.0 * 32766, true, rnd);
        EXPECT_GE(b, -32767);
        int c = to_int16(100.25, true, rnd);
        lo = std::min(lo, c);
        hi = std::max(hi, c);
        sum += c;
    }
    // Triangular dither of +-1 step: values 99..101, mean the input.
    EXPECT_EQ(lo, 99);
    EXPECT_EQ(hi, 101);
    EXPECT_NEAR(sum / 20000, 100.25, 0.02);
}

TEST(PcmConvert, ChunkSizes) {
    EXPECT_EQ(play_chunk_samples(16000), 1024);
    EXPECT_EQ(play_chunk_samples(8000), 512);
    EXPECT_EQ(play_chunk_samples(44100), 2048);
    EXPECT_EQ(play_chunk_samples(7700), 256);
    EXPECT_EQ(play_chunk_samples(1000), 256);
    // 2^round(log2(x)) switches where log2(x) = 8.5: x = 362.04, rate 7796
    EXPECT_EQ(play_chunk_samples(7790), 256);
    EXPECT_EQ(play_chunk_samples(7800), 512);
    EXPECT_EQ(record_chunk_samples(96000), 4096);
    EXPECT_EQ(record_chunk_samples(48000), 2048);
    EXPECT_EQ(record_chunk_samples(2000), 128);
}

TEST(TMPCPlay, BufferCycleAndFinalBuffer) {
    tfakeoutput dev;
    TMPCPlay p(dev);
    EXPECT_THROW(
        try { p.Run(); } catch (const EMPCError& e) {
            EXPECT_STREQ(e.what(), "Nothing assigned to OnStash!");
            throw;
        },
        EMPCError);
    p.set_nBuffers(3);
    p.set_nChunkSamples(4);
    int calls = 0;
    bool closed = false;
    p.OnClosed = [&] { closed = true; };
    p.OnStash = [&](TWaveChunk& a, int& used, bool& last) {
        for (int i = 0; i < used; ++i) a[i] = static_cast<std::int16_t>(calls * 10 + i);
        ++calls;
        if (calls == 5) used = 0;  // nothing more: becomes one silent frame
        (void)last;
    };
    p.Run();
    EXPECT_TRUE(p.OwnBoard());
    EXPECT_FALSE(dev.paused);  // restarted after queueing
    ASSERT_EQ(dev.queued.size(), 3u);
    EXPECT_EQ(dev.queued[0].user, 0);
    EXPECT_EQ(dev.queued[2].user, 2);
    EXPECT_THROW(p.set_nChans(2), EMPCError);
    EXPECT_THROW(p.set_sfTot(8000), EMPCError);
    dev.complete_all();
    // Buffers come back in order and are refilled in their own slot; the
    // final buffer carries the user value 100000000 and closes the device.
    EXPECT_EQ(dev.doneusers, (std::vector<int>{0, 1, 2, 0, final_buffer_user}));
    EXPECT_EQ(calls, 5);
    ASSERT_EQ(dev.played.size(), 4u * 4 + 1);
    EXPECT_EQ(dev.played[0], 0);
    EXPECT_EQ(dev.played[5], 11);
    EXPECT_EQ(dev.played[12], 30);
    EXPECT_EQ(dev.played.back(), 0);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(p.OwnBoard());
    EXPECT_EQ(dev.closes, 1);
}

TEST(TMPCPlay, DeviceErrorsAndVolume) {
    tfakeoutput dev;
    TMPCPlay p(dev);
    p.OnStash = [](TWaveChunk&, int&, bool&) {};
    dev.openerror = 7;
    try {
        p.Run();
        FAIL();
    } catch (const EMPCError& e) {
        EXPECT_EQ(std::string(e.what()), "WaveOutOpen: fake error 7");
    }
    EXPECT_FALSE(p.OwnBoard());
    dev.openerror = 0;
    dev.writeerror = 3;
    EXPECT_THROW(p.Run(), EMPCError);
    p.Stop();
    p.set_nChans(0);
    EXPECT_EQ(p.nChans(), 1);
    p.set_nBuffers(5000);
    EXPECT_EQ(p.nBuffers(), 1000);
    p.set_LeftVolume(0x1234);
    p.set_RightVolume(0xABCD);
    EXPECT_EQ(p.LeftVolume(), 0x1234);
    EXPECT_EQ(p.RightVolume(), 0xABCD);
    p.set_BothVolume(0x2000);
    EXPECT_EQ(dev.volume(-1), 0x20002000u);
    dev.names.push_back(std::string(40, 'x'));
    p.read_devicenames();
    ASSERT_EQ(p.nDevices(), 3);
    EXPECT_EQ(p.Devicenames()[2].size(), 32u);
}

struct PlaybackFixture : ::testing::Test {
    tdocument doc;
    tfakeoutput dev;
    tplayback play{doc, dev};

    tchannel& add(double fs, int n, double fsd, double f) {
        tchannel& ch = doc.create_channel(doc.totnchans());
        ch.sampfreq = fs;
        ch.set_fsd(fsd);
        ch.needsdither = false;  // exact samples; dither is tested on its own
        tsinglearr v;
        for (int i = 0; i < n; ++i) v.push_back(static_cast<float>(fsd * 0.5 * std::sin(f * i)));
        ch.set_samples(std::move(v));
        return ch;
    }
};

TEST_F(PlaybackFixture, PlaysTheSelectionThenSilenceAndCloses) {
    tchannel& ch = add(16000, 4000, 2.0, 0.01);
    play.start(0, false, 0.01, 0.02, 0, 0.25);
    EXPECT_TRUE(play.playing());
    EXPECT_EQ(play.playstart, 160);
    EXPECT_EQ(play.playend, 320);
    EXPECT_EQ(play.MPCPlay1.nChunkSamples(), 1024u);
    EXPECT_EQ(dev.fmt.rate, 16000);
    EXPECT_EQ(dev.fmt.channels, 1);
    dev.complete_all();
    EXPECT_FALSE(play.playing());
    EXPECT_EQ(dev.doneusers.back(), final_buffer_user);
    // The played range, each sample scaled by 32766 / FSD, then silence.
    for (long long k = 160; k <= 320; ++k)
        EXPECT_EQ(dev.played[k - 160], std::lrint(ch.sample(k) / 2.0 * 32766)) << k;
    for (std::size_t k = 161; k < dev.played.size(); ++k) EXPECT_EQ(dev.played[k], 0);
    // Everything up to the end has left the buffers: at least the latency
    // of 16 buffers of silence went out.
    EXPECT_GE(dev.played.size(), 161u + 16 * 1024);
}

TEST_F(PlaybackFixture, EmptySelectionPlaysVisibleRangeAndPlayLabelWins) {
    tchannel& ch = add(8000, 8000, 1.0, 0.02);
    play.start(0, false, 0.3, 0.3, 0.5, 0.75);
    EXPECT_EQ(play.playstart, 4000);
    EXPECT_EQ(play.playend, 6000);
    EXPECT_EQ(play.MPCPlay1.nChunkSamples(), 512u);
    play.start(0, false, 0, 0, 0, 0);  // stops while playing
    EXPECT_FALSE(play.playing());
    tsiglabel l;
    l.time = 0.1;
    l.duration = 0.05;
    l.playlabel = true;
    ch.labels.push_back(l);
    play.start(0, true, 0, 0, 0, 0);
    EXPECT_EQ(play.playstart, 800);
    EXPECT_EQ(play.playend, 1200);
    play.stop();
    EXPECT_FALSE(ch.labels[0].playlabel);  // cleared when the device closed
}

// Shifted channels play their samples at their own time indices and 0
// outside them, in stereo and looping over a range that starts before the
// left channel and ends past the right one's samples; a loop shorter than a
// buffer wraps several times inside it.
TEST_F(PlaybackFixture, ShiftedChannelsPlaySilenceOutsideTheirSamplesWhileLooping) {
    tchannel& a = add(8000, 700, 1.0, 0.05);
    tchannel& b = add(8000, 500, 1.0, 0.11);
    a.stereochanno = 1;
    b.stereochanno = 0;
    a.xshift = 40;   // a's samples lie at time indices 40..739
    b.xshift = -30;  // b's at -30..469
    // The selection: time indices 10..520 (samples at 8000 Hz).
    play.loop = true;
    play.start(0, false, 10 / 8000.0, 520 / 8000.0, 0, 0);
    ASSERT_EQ(dev.fmt.channels, 2);
    ASSERT_EQ(play.playstart, 10);
    ASSERT_EQ(play.playend, 520);
    dev.complete_all(12);  // several wraps of the 511-frame loop
    play.stop();
    ASSERT_GE(dev.played.size(), 4000u);
    auto at = [](const tchannel& ch, long long t) {
        const long long i = t - ch.xshift;
        return i < 0 || i >= ch.sample_count() ? 0.0 : static_cast<double>(ch.samples_array(i, i + 1)[0]);
    };
    const std::size_t frames = dev.played.size() / 2;
    for (std::size_t k = 0; k < frames; ++k) {
        const long long t = 10 + static_cast<long long>(k % 511);
        ASSERT_EQ(dev.played[2 * k], std::lrint(at(a, t) * 32766.0)) << k;
        ASSERT_EQ(dev.played[2 * k + 1], std::lrint(at(b, t) * 32766.0)) << k;
    }
}

TEST_F(PlaybackFixture, StereoPairLowerChannelLeftAndMismatchedRatePlaysMono) {
    tchannel& a = add(16000, 1000, 1.0, 0.01);
    tchannel& b = add(16000, 1000, 1.0, 0.03);
    a.stereochanno = 1;
    b.stereochanno = 0;
    play.start(1, true, 0, 0, 0, 0);
    EXPECT_EQ(play.playchanno, 0);
    EXPECT_EQ(play.playstereochanno, 1);
    EXPECT_EQ(dev.fmt.channels, 2);
    EXPECT_EQ(play.MPCPlay1.sfTot(), 32000);
    EXPECT_EQ(play.MPCPlay1.nChunkSamples(), 2048u);
    dev.complete_all();
    for (int k = 0; k < 1000; ++k) {
        ASSERT_EQ(dev.played[2 * k], std::lrint(a.sample(k) * 32766.0)) << k;
        ASSERT_EQ(dev.played[2 * k + 1], std::lrint(b.sample(k) * 32766.0)) << k;
    }
    b.sampfreq = 8000;
    play.start(0, true, 0, 0, 0, 0);
    EXPECT_EQ(play.playstereochanno, -1);
    EXPECT_EQ(dev.fmt.channels, 1);
    EXPECT_EQ(play.status().rfind("Playing channel 0 at ", 0), 0u);
    play.stop();
}

TEST_F(PlaybackFixture, LoopWrapsAndCursorTrailsByTheLatency) {
    add(16000, 16000, 1.0, 0.01);
    play.loop = true;
    play.start(0, true, 0, 0, 0, 0);
    // 16 buffers of 1024 frames queued at start: the cursor stays clamped at
    // the start until more than the latency has been read.
    // 16384 frames read from a 16000-sample channel: wrapped once.
    EXPECT_DOUBLE_EQ(play.playcursor, 0.0);
    EXPECT_EQ(play.playcount, 384);
    dev.complete_one();
    EXPECT_EQ(play.playcount, 1408);
    // playcount - latency lies before the start: clamped to it.
    EXPECT_DOUBLE_EQ(play.playcursor, 0.0);
    for (int i = 0; i < 100; ++i) dev.complete_one();
    EXPECT_TRUE(play.playing());  // looping never ends by itself
    long long expect = play.playcount - 16 * 1024;
    expect = std::clamp<long long>(expect, 0, 15999);
    EXPECT_DOUBLE_EQ(play.playcursor, expect / 16000.0);
    play.loop = false;
    dev.complete_all();
    EXPECT_FALSE(play.playing());
    EXPECT_TRUE(play.status().empty());
}

TEST_F(PlaybackFixture, CursorAfterLatencyWithoutLoop) {
    add(16000, 64000, 1.0, 0.01);
    play.start(0, true, 0, 0, 0, 0);
    for (int i = 0; i < 20; ++i) dev.complete_one();
    // 16 + 20 buffers read, 16 still queued: the cursor is 20 buffers in.
    EXPECT_EQ(play.playcount, 36 * 1024);
    EXPECT_DOUBLE_EQ(play.playcursor, 20 * 1024 / 16000.0);
    EXPECT_EQ(play.status(), "Playing channel 0 at 1.280 s");
    play.stop();
}

}  // namespace
}  // namespace tessal
