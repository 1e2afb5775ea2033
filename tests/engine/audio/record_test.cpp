#include <gtest/gtest.h>

#include <cmath>

#include "engine/audio/recorder.h"
#include "engine/core/tdocument.h"
#include "fakeaudiodevice.h"
#include "support/sigcachecheck.h"

namespace tessal {
namespace {

using test::tfakeinput;

TEST(TMPCRecord, DeliversInOrderAndStopHandsBackThePartialBuffer) {
    tfakeinput dev;
    TMPCRecord r(dev);
    EXPECT_THROW(r.Run(), EMPCError);
    r.set_nChunkSamples(4);
    r.set_nBuffers(2);
    r.set_nBits(20);  // refused
    EXPECT_EQ(r.nBits(), 16);
    std::vector<std::int16_t> got;
    bool closed = false;
    r.OnFetch = [&](const TWaveChunk& a, int used, bool&) { got.insert(got.end(), a.begin(), a.begin() + used); };
    r.OnClosed = [&] { closed = true; };
    r.Run();
    EXPECT_TRUE(dev.started);
    EXPECT_THROW(r.set_nBits(24), EMPCError);
    EXPECT_THROW(r.set_sfTot(8000), EMPCError);
    std::vector<std::int16_t> in;
    for (int i = 0; i < 11; ++i) in.push_back(static_cast<std::int16_t>(i * 100 - 500));
    dev.capture16(in);
    EXPECT_EQ(got.size(), 8u);  // two full buffers, three samples waiting
    r.Stop();
    EXPECT_TRUE(closed);
    EXPECT_EQ(got, in);  // the partly filled buffer came back too
}

TEST(TMPCRecord, OpenErrorTexts) {
    tfakeinput dev;
    TMPCRecord r(dev);
    r.OnFetch = [](const TWaveChunk&, int, bool&) {};
    dev.openerror = 4;
    try {
        r.Run();
        FAIL();
    } catch (const EMPCError& e) {
        EXPECT_EQ(std::string(e.what()), "waveinOpen: fake error 4");
    }
    EXPECT_FALSE(r.OwnBoard());
}

TEST(Overloads, ThresholdAndStretches) {
    EXPECT_EQ(overload_threshold(0.2, 32767), 32021);
    EXPECT_EQ(overload_threshold(0.2, 8388607), 8197659);  // round(0.97723722 * 8388607)
    std::vector<toverload> l;
    add_overload(l, 1000, 10000);
    add_overload(l, 1000 + 2000, 10000);  // 0.2 s later: same stretch
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].length, 2000);
    add_overload(l, 3000 + 3000, 10000);  // 0.3 s after the stretch's end
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[1].start, 6000);
    EXPECT_EQ(l[1].length, 1);
}

TEST(RingBuffer, KeepsTheLastSamplesAndColumns) {
    tRingBuffer r;
    r.set_nsamples(20);
    r.set_wavedisplaywidth(4);
    EXPECT_EQ(r.ratefactor(), 6);
    for (int i = 1; i <= 30; ++i) r.add_sample(static_cast<std::int16_t>(i));
    EXPECT_EQ(r.get_sample(0), 30);
    EXPECT_EQ(r.get_sample(5), 25);
    EXPECT_EQ(r.get_sample(24), 0);   // out of range
    EXPECT_EQ(r.get_sample(-1), 0);
    EXPECT_EQ(r.get_wavechunk(0, 2), (std::vector<std::int16_t>{30, 29, 28}));
    auto cols = r.Getwavedisplay();
    ASSERT_EQ(cols.size(), 4u);
    // 24 slots of 6-sample columns; sample i sits at position i % 24, so
    // sample 30 has just opened column 1 and is alone in it. Oldest first
    // come column 2 (samples 12..17), 3 (18..23), 0 (24..29), then 1.
    EXPECT_EQ(cols.back().max, 30);
    EXPECT_EQ(cols.back().min, 30);
    EXPECT_EQ(cols.front().min, 12);
    EXPECT_EQ(cols.front().max, 17);
    EXPECT_EQ(cols[2].min, 24);
    EXPECT_EQ(cols[2].max, 29);
}

struct RecorderFixture : ::testing::Test {
    tdocument doc;
    tfakeinput dev;
    trecorder rec{doc, dev};

    void feed_stereo(int frames, std::int16_t (*f)(int, int)) {
        std::vector<std::int16_t> s;
        for (int i = 0; i < frames; ++i) {
            s.push_back(f(i, 0));
            s.push_back(f(i, 1));
        }
        dev.capture16(s);
    }
};

std::int16_t ramp(int i, int side) { return static_cast<std::int16_t>((i % 1000) * (side ? -3 : 3)); }

TEST_F(RecorderFixture, StereoSixteenBitsIntoNewChannelsWithCompanions) {
    trecordsetup s;
    s.rate = 48000;
    s.use24 = false;
    s.companions = true;
    s.lefttarget = 0;
    s.righttarget = 1;
    rec.start(s);
    EXPECT_EQ(rec.MPCRecord1.sfTot(), 96000);
    EXPECT_EQ(rec.MPCRecord1.nChunkSamples(), 4096u);
    EXPECT_EQ(dev.fmt.rate, 48000);
    EXPECT_EQ(dev.fmt.bits, 16);
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.channel(0).name(), "Left");
    EXPECT_EQ(doc.channel(1).stereochanno, 0);
    EXPECT_TRUE(doc.modified());
    feed_stereo(10000, ramp);
    rec.stop();
    EXPECT_FALSE(rec.frecording);
    ASSERT_EQ(doc.channel(0).sample_count(), 10000);
    ASSERT_EQ(doc.channel(1).sample_count(), 10000);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(doc.channel(0).sample(i), ramp(i, 0) / 32768.0f);
        ASSERT_EQ(doc.channel(1).sample(i), ramp(i, 1) / 32768.0f);
    }
    EXPECT_EQ(doc.channel(0).sampfreq, 48000);
    EXPECT_TRUE(doc.channel(0).labels.empty());
    EXPECT_NEAR(rec.peakhold[0], 2997 / 32768.0, 1e-9);
}

TEST_F(RecorderFixture, OverloadLabelsAtTheThreshold) {
    trecordsetup s;
    s.rate = 10000;
    s.use24 = false;
    s.mode = tchannelmode::mono;
    rec.start(s);
    EXPECT_EQ(rec.MPCRecord1.nChunkSamples(), 256u);
    std::vector<std::int16_t> x(10000, 0);
    x[100] = 32020;   // just below: not an overload
    x[1000] = 32021;  // overload
    x[3000] = -32021;  // 0.2 s later: merges
    x[6000] = 32767;   // 0.3 s later: a second stretch
    dev.capture16(x);
    rec.stop();
    const tchannel& ch = doc.channel(0);
    ASSERT_EQ(ch.labels.size(), 2u);
    EXPECT_EQ(ch.labels[0].text, "Overload!");
    EXPECT_EQ(ch.labels[0].labeltype, "overload");
    EXPECT_DOUBLE_EQ(ch.labels[0].time, 0.1);
    EXPECT_DOUBLE_EQ(ch.labels[0].duration, 0.2);
    EXPECT_DOUBLE_EQ(ch.labels[1].time, 0.6);
    EXPECT_EQ(ch.labels[1].entities.descriptor,
              "This part of the signal is overloaded and should not be used.");
    ASSERT_EQ(ch.labels[1].entities.no.size(), 1u);
    EXPECT_EQ(ch.labels[1].entities.no[0].entityname, "Detection margin");
    EXPECT_DOUBLE_EQ(ch.labels[1].entities.no[0].value, 0.2);
    EXPECT_EQ(ch.labels[1].entities.no[0].yunit, "dB");
}

TEST_F(RecorderFixture, TestModeLeavesTheDocumentAndMetersRun) {
    doc.create_channel(0).set_samples(tsinglearr(50, 0.25f));
    doc.set_modified(false);
    trecordsetup s;
    s.rate = 8000;
    s.use24 = false;
    s.test = true;
    rec.start(s);
    feed_stereo(4000, [](int, int side) { return static_cast<std::int16_t>(side ? 16384 : 8192); });
    EXPECT_NEAR(rec.level[1], 0.5 + 0.1 * 0 / 32768.0, 1e-3);
    EXPECT_NEAR(rec.peakhold[0], 0.25, 1e-3);
    EXPECT_EQ(rec.ringbuffer[1].get_sample(0), 16384);
    rec.stop();
    EXPECT_EQ(doc.totnchans(), 1);
    EXPECT_EQ(doc.channel(0).sample_count(), 50);
    EXPECT_FALSE(doc.modified());
}

TEST_F(RecorderFixture, SameExistingChannelRecordsLeftOnlyAndPauseStoresNothing) {
    doc.create_channel(0);
    doc.create_channel(1);
    trecordsetup s;
    s.rate = 8000;
    s.use24 = false;
    s.lefttarget = 1;
    s.righttarget = 1;
    rec.start(s);
    EXPECT_EQ(rec.channelmode, tchannelmode::left);
    EXPECT_EQ(rec.rightchanno, -1);
    EXPECT_EQ(rec.MPCRecord1.nChunkSamples(), 512u);
    // Pause applies per delivered buffer of 256 frames.
    feed_stereo(256, ramp);
    rec.set_paused(true);
    feed_stereo(512, ramp);
    rec.set_paused(false);
    feed_stereo(256, ramp);
    rec.stop();
    EXPECT_EQ(doc.channel(1).sample_count(), 512);
    EXPECT_EQ(doc.totnchans(), 2);
    // Same new channel for both: right goes one past it.
    s.lefttarget = s.righttarget = 2;
    rec.start(s);
    EXPECT_EQ(rec.leftchanno, 2);
    EXPECT_EQ(rec.rightchanno, 3);
    rec.stop();
    EXPECT_EQ(doc.totnchans(), 4);
}

TEST_F(RecorderFixture, TwentyFourBitsScaleAndOverview) {
    trecordsetup s;
    s.rate = 2000;
    s.mode = tchannelmode::mono;
    rec.start(s);
    EXPECT_EQ(rec.MPCRecord1.nChunkSamples(), 128u);
    EXPECT_EQ(dev.fmt.bits, 24);
    std::vector<tint24> x;
    for (int i = 0; i < 300; ++i) x.push_back(make_int24(i * 1000 - 150000));
    dev.capture(x.data(), x.size() * 3);
    rec.stop();
    ASSERT_EQ(doc.channel(0).sample_count(), 300);
    EXPECT_EQ(doc.channel(0).nbits, 24);
    EXPECT_FLOAT_EQ(doc.channel(0).sample(7), (7000 - 150000) / 8388608.0f);
    EXPECT_EQ(rec.ringbuffer[0].get_sample(0), (299000 - 150000) >> 8);
}

TEST_F(RecorderFixture, DeviceFailingMidRecordingKeepsTheSamples) {
    trecordsetup s;
    s.rate = 16000;
    s.use24 = false;
    s.mode = tchannelmode::mono;
    rec.start(s);
    std::vector<std::int16_t> x(5000);
    for (int i = 0; i < 5000; ++i) x[i] = static_cast<std::int16_t>(i);
    dev.capture16(x);  // 4 buffers of 800 delivered, 1800 still in the device's buffers
    doc.set_modified(false);
    dev.fail("The sound server went away");
    EXPECT_FALSE(rec.frecording);
    EXPECT_EQ(rec.stopreason, "The sound server went away");
    ASSERT_EQ(doc.channel(0).sample_count(), 5000);
    EXPECT_EQ(doc.channel(0).sample(4999), 4999 / 32768.0f);
    EXPECT_TRUE(doc.modified());
}

// The recorder writes into the channels it prepared, not into whatever
// channel has their numbers later. Channel 0 ("Left") deleted while a
// stereo recording runs: "Right" goes on holding the right input; the
// recording stops after the next buffer (256 frames at 8 kHz stereo) and
// the left input, all of it, is kept in a new channel.
TEST_F(RecorderFixture, ATargetThatLeavesEndsTheRecordingAndKeepsItsSamplesInANewChannel) {
    trecordsetup s;
    s.rate = 8000;
    s.use24 = false;
    s.companions = true;
    s.lefttarget = s.righttarget = 0;  // new channels
    rec.start(s);
    ASSERT_EQ(doc.totnchans(), 2);
    feed_stereo(1024, ramp);
    doc.delete_channel(0);
    EXPECT_TRUE(rec.frecording);  // the device is stopped from its own delivery
    feed_stereo(1024, ramp);
    EXPECT_FALSE(rec.frecording);
    ASSERT_EQ(doc.totnchans(), 2);
    const tchannel& right = doc.channel(0);
    const tchannel& left = doc.channel(1);
    EXPECT_EQ(right.name(), "Right");
    EXPECT_EQ(left.name(), "Left");
    ASSERT_EQ(right.sample_count(), 1280);
    ASSERT_EQ(left.sample_count(), 1280);
    for (int i = 0; i < 1280; ++i) {
        ASSERT_EQ(left.sample(i), ramp(i % 1024, 0) / 32768.0f) << i;
        ASSERT_EQ(right.sample(i), ramp(i % 1024, 1) / 32768.0f) << i;
    }
    EXPECT_EQ(left.sampfreq, 8000);
    EXPECT_EQ(left.created().origin, "Tessal recording");
    EXPECT_EQ(left.stereochanno, 0);
    EXPECT_EQ(right.stereochanno, 1);
    EXPECT_EQ(rec.leftchanno, 1);
    EXPECT_EQ(rec.rightchanno, 0);
}

// The document emptied and another file's channels made in their place
// (an open that got through): those channels are left alone and the
// recording, at its own rate, goes into new channels after them.
TEST_F(RecorderFixture, ADocumentReplacedUnderneathGetsTheRecordingInNewChannelsAtItsRate) {
    trecordsetup s;
    s.rate = 8000;
    s.use24 = false;
    s.lefttarget = s.righttarget = 0;
    rec.start(s);
    feed_stereo(1024, ramp);
    doc.set_totnchans(0);
    doc.set_totnchans(2);
    for (int c = 0; c < 2; ++c) {
        doc.channel(c).sampfreq = 4000;
        doc.channel(c).set_samples(tsinglearr(100, 0.5f));
    }
    feed_stereo(512, ramp);
    EXPECT_FALSE(rec.frecording);
    ASSERT_EQ(doc.totnchans(), 4);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(doc.channel(c).sample_count(), 100);
        EXPECT_EQ(doc.channel(c).sampfreq, 4000);
    }
    for (int c = 2; c < 4; ++c) {
        EXPECT_EQ(doc.channel(c).sampfreq, 8000);
        ASSERT_EQ(doc.channel(c).sample_count(), 1280);
        EXPECT_EQ(doc.channel(c).sample(1100), ramp(1100 % 1024, c - 2) / 32768.0f);
    }
    EXPECT_EQ(doc.channel(2).name(), "Left");
    EXPECT_EQ(doc.channel(3).name(), "Right");
}

// Channels added before a target while it records (a channel made at the
// front) move it; the recording follows it.
TEST_F(RecorderFixture, ATargetThatMovesIsFollowed) {
    trecordsetup s;
    s.rate = 8000;
    s.use24 = false;
    s.mode = tchannelmode::mono;
    s.lefttarget = 0;
    rec.start(s);
    feed_stereo(256, ramp);
    doc.create_channel(0);
    feed_stereo(256, ramp);
    rec.stop();
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_TRUE(doc.channel(0).sample_count() == 0);
    EXPECT_EQ(doc.channel(1).sample_count(), 1024);
    EXPECT_EQ(rec.leftchanno, 1);
}

// The partner link is set on both targets and taken from a channel that
// was a target's partner; without "companions" both targets lose theirs.
TEST_F(RecorderFixture, PartnerLinksAreSetOnBothAndClearedOnAFormerPartner) {
    doc.set_totnchans(4);
    doc.channel(1).stereochanno = 2;
    doc.channel(2).stereochanno = 1;
    doc.channel(0).stereochanno = 3;
    doc.channel(3).stereochanno = 0;
    trecordsetup s;
    s.rate = 8000;
    s.use24 = false;
    s.companions = true;
    s.lefttarget = 0;
    s.righttarget = 1;
    rec.start(s);
    rec.stop();
    EXPECT_EQ(doc.channel(0).stereochanno, 1);
    EXPECT_EQ(doc.channel(1).stereochanno, 0);
    EXPECT_EQ(doc.channel(2).stereochanno, -1);
    EXPECT_EQ(doc.channel(3).stereochanno, -1);
    doc.channel(2).stereochanno = 1;
    s.companions = false;
    s.mode = tchannelmode::mono;
    s.lefttarget = 1;
    rec.start(s);
    rec.stop();
    EXPECT_EQ(doc.channel(1).stereochanno, -1);
    EXPECT_EQ(doc.channel(0).stereochanno, -1);
    EXPECT_EQ(doc.channel(2).stereochanno, -1);
}

// A recording delivered in many small pieces of different lengths ends with
// the same samples, the same samples handed to the spool and the same
// min/max cache as one delivered whole, and each delivery marks only the
// cache blocks at the end of the channel (no full rebuild while drawing).
TEST(Recorder, ManySmallDeliveriesGiveWhatOneBigOneGives) {
    const int frames = 3001;
    std::vector<std::int16_t> in;
    for (int i = 0; i < frames; ++i) {
        in.push_back(static_cast<std::int16_t>(std::lround(20000 * std::sin(0.013 * i))));
        in.push_back(static_cast<std::int16_t>((i * 37) % 6001 - 3000));
    }
    struct trun {
        tdocument doc;
        tfakeinput dev;
        trecorder rec{doc, dev};
        std::array<std::vector<float>, 2> spooled;
        bool fullrebuild = false;
    };
    auto record = [&](trun& r, const std::vector<int>& pieces) {
        trecordsetup s;
        s.rate = 8000;
        s.use24 = false;
        s.lefttarget = 0;
        s.righttarget = 1;
        r.rec.stored = [&r](int side, const float* p, std::size_t n) {
            r.spooled[static_cast<std::size_t>(side)].insert(r.spooled[static_cast<std::size_t>(side)].end(), p, p + n);
        };
        r.rec.start(s);
        for (int c = 0; c < 2; ++c) r.doc.channel(c).fix_sigcache();  // drawn once before
        std::size_t at = 0;
        for (std::size_t k = 0; at < in.size(); ++k) {
            const std::size_t n = std::min(in.size() - at, static_cast<std::size_t>(pieces[k % pieces.size()]));
            r.rec.fetch16(in.data() + at, static_cast<int>(n));
            at += n;
            for (int c = 0; c < 2; ++c) {
                // What drawing after each delivery would do.
                r.fullrebuild = r.fullrebuild || r.doc.channel(c).sigcachedirty.full();
                r.doc.channel(c).fix_sigcache();
            }
        }
        r.rec.stop();
    };
    trun whole, bits;
    record(whole, {static_cast<int>(in.size())});
    record(bits, {2, 14, 400, 1000, 6, 398, 202});
    EXPECT_FALSE(bits.fullrebuild);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        std::vector<float> truth;
        for (int i = 0; i < frames; ++i) truth.push_back(in[static_cast<std::size_t>(2 * i + c)] / 32768.0f);
        const tsinglearr a = whole.doc.channel(c).samples_array(), b = bits.doc.channel(c).samples_array();
        EXPECT_EQ(std::vector<float>(a.begin(), a.end()), truth);
        EXPECT_EQ(std::vector<float>(b.begin(), b.end()), truth);
        EXPECT_EQ(whole.spooled[static_cast<std::size_t>(c)], truth);
        EXPECT_EQ(bits.spooled[static_cast<std::size_t>(c)], truth);
        const testing::tcachepairs cache = testing::fixed_cache(bits.doc.channel(c));
        EXPECT_EQ(cache, testing::rebuilt_cache(bits.doc.channel(c)));
        EXPECT_EQ(cache, testing::fixed_cache(whole.doc.channel(c)));
    }
}

}  // namespace
}  // namespace tessal
