// The correlogram's extraction into channels: F0 of a synthetic vowel
// against the period it was made with (125 Hz, then 200 Hz), T0 on a time
// axis, the channels' names, units, rates, coding and full scales, a chosen
// channel written over as one undo step taken back bit for bit, and no
// change at all without a trace or when the progress cancels.
#include "engine/tools/correlogramchannels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/history/undohistory.h"
#include "lfvowel.h"
#include "support/scriptedprompter.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;

namespace {

constexpr double fs = 16000;

// The two-pitch vowel as channel 0 "v".
void vowel_document(tdocument& doc) {
    const std::vector<float> v = tessal::testing::two_pitch_vowel(fs);
    tchannel& ch = doc.create_channel(0);
    ch.sampfreq = ch.orgsampfreq = fs;
    ch.set_name("v");
    ch.set_samples(tsinglearr(v.begin(), v.end()));
    ch.set_fsd(1);
}

std::vector<TTracePoint> band(double lo, double hi) {
    return {{false, 0.0, lo, hi, 0}, {false, 1.0, lo, hi, 0}};
}

std::vector<std::uint32_t> bits(const tchannel& c) {
    const tsinglearr s = c.samples_array();
    std::vector<std::uint32_t> b(s.size());
    if (!b.empty()) std::memcpy(b.data(), s.data(), b.size() * 4);
    return b;
}

}  // namespace

TEST(CorrelogramChannels, F0OfAVowelIsThePeriodItWasMadeWith) {
    tdocument doc;
    vowel_document(doc);
    doc.set_modified(false);
    tscriptedprompter prompter;
    tf0settings e;
    e.keeprate = false;
    e.skip = 160;  // 10 ms
    tf0targets t;
    t.width = true;
    const tf0channels r = make_f0_channels(doc, 0, band(110, 250), tcorrelogramsettings{}, e, t, 1000, prompter);
    ASSERT_EQ(r.outcome, tf0channels::toutcome::done);
    ASSERT_EQ(r.channels, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(prompter.asked.empty());
    ASSERT_EQ(doc.totnchans(), 4);
    const tchannel& f0 = doc.channel(1);
    const tchannel& corr = doc.channel(2);
    const tchannel& width = doc.channel(3);
    EXPECT_EQ(f0.name(), "v F0");
    EXPECT_EQ(f0.yunit(), "Hz");
    EXPECT_EQ(f0.fsd(), 1000);
    EXPECT_EQ(corr.name(), "v Correlation");
    EXPECT_EQ(corr.yunit(), "");
    EXPECT_DOUBLE_EQ(corr.fsd(), 1.1);
    EXPECT_EQ(width.name(), "v Candidate Width");
    EXPECT_EQ(width.yunit(), "%");
    EXPECT_EQ(width.fsd(), 100);
    for (const tchannel* c : {&f0, &corr, &width}) {
        EXPECT_DOUBLE_EQ(c->sampfreq, fs / 160);
        EXPECT_EQ(c->sample_count(), 16000 / 160);
        EXPECT_EQ(c->format, tFormat::ieeefloat);
        EXPECT_EQ(c->nbits, 32);
        EXPECT_EQ(c->dbreference, 1);
        EXPECT_EQ(c->stereochanno, -1);
        EXPECT_FALSE(c->showcorrelation);
        EXPECT_EQ(c->created().origin, "Tessal correlogram");
    }
    EXPECT_TRUE(doc.modified());
    // Away from the start (the resonators settle), the join and the end (the
    // window reaches past the samples): the periods of the synthesis.
    for (std::size_t k = 3; k < 100; ++k) {
        const double tk = static_cast<double>(k) * 160 / fs;
        if (tk > 0.47 && tk < 0.53) continue;
        if (tk > 0.97) continue;
        const double want = tk < 0.5 ? 125 : 200;
        EXPECT_NEAR(f0.sample(k), want, 0.25) << "at " << tk << " s";
        EXPECT_GT(corr.sample(k), 0.99) << "at " << tk << " s";
        EXPECT_GT(width.sample(k), 0) << "at " << tk << " s";
        EXPECT_LT(width.sample(k), 100) << "at " << tk << " s";
    }
}

TEST(CorrelogramChannels, OnATimeAxisT0InSecondsAndTheRateKept) {
    tdocument doc;
    vowel_document(doc);
    doc.channel(0).xshift = 320;  // starts 20 ms late
    tscriptedprompter prompter;
    tcorrelogramsettings s;
    s.fvertaxistype = 0;
    tf0settings e;  // one output per input sample, computed every 441st
    tf0targets t;
    t.correlation = false;
    const tf0channels r = make_f0_channels(doc, 0, band(110, 250), s, e, t, 20, prompter);
    ASSERT_EQ(r.channels, std::vector<int>{1});
    const tchannel& t0 = doc.channel(1);
    EXPECT_EQ(t0.name(), "v T0");
    EXPECT_EQ(t0.yunit(), "s");
    EXPECT_EQ(t0.fsd(), 20);
    EXPECT_DOUBLE_EQ(t0.sampfreq, fs);
    EXPECT_EQ(t0.xshift, 320);
    ASSERT_EQ(t0.sample_count(), doc.channel(0).sample_count());
    EXPECT_NEAR(t0.sample(4000), 0.008, 2e-5);
    EXPECT_NEAR(t0.sample(12000), 0.005, 2e-5);
    // Between the analysed samples the last result is repeated.
    EXPECT_EQ(t0.sample(441 * 10 + 1), t0.sample(441 * 10 + 440));
}

TEST(CorrelogramChannels, AChosenChannelIsWrittenOverAsOneUndoStep) {
    tdocument doc;
    vowel_document(doc);
    tchannel& other = doc.create_channel(1);
    other.sampfreq = 8000;
    other.set_name("other");
    other.format = tFormat::alaw;
    other.nbits = 8;
    other.set_samples(tsinglearr(1000, 0.25f));
    doc.set_modified(false);
    tundohistory history(doc);
    const auto before = bits(doc.channel(1));
    tscriptedprompter prompter;
    tf0settings e;
    e.keeprate = false;
    tf0targets t;
    t.correlationchan = 1;  // the correlation over channel 1, F0 new
    t.f0t0chan = 0;         // the analysed channel itself: a new channel
    history.begin(make_f0_channels_caption);
    const tf0channels r = make_f0_channels(doc, 0, band(110, 250), tcorrelogramsettings{}, e, t, 1000, prompter);
    history.commit();
    ASSERT_EQ(r.channels, (std::vector<int>{2, 1}));
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(1).name(), "v Correlation");
    EXPECT_EQ(doc.channel(1).format, tFormat::ieeefloat);
    EXPECT_EQ(doc.channel(1).nbits, 32);
    EXPECT_EQ(doc.channel(2).name(), "v F0");
    EXPECT_EQ(history.undo_name(), "Extract F0/T0");
    ASSERT_TRUE(history.undo());
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.channel(1).name(), "other");
    EXPECT_EQ(doc.channel(1).format, tFormat::alaw);
    EXPECT_EQ(bits(doc.channel(1)), before);
    EXPECT_FALSE(doc.modified());
}

TEST(CorrelogramChannels, NoTraceOrACancelChangesNothing) {
    tdocument doc;
    vowel_document(doc);
    doc.set_modified(false);
    tscriptedprompter prompter;
    tf0channels r = make_f0_channels(doc, 0, {}, tcorrelogramsettings{}, tf0settings{}, tf0targets{}, 1000, prompter);
    EXPECT_EQ(r.outcome, tf0channels::toutcome::notrace);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, "No trace set");
    EXPECT_EQ(prompter.asked[0].caption, "Correlogram");
    int told = 0;
    r = make_f0_channels(doc, 0, band(110, 250), tcorrelogramsettings{}, tf0settings{}, tf0targets{}, 1000,
                         prompter, [&](double f) { return ++told < 3 && f < 1; });
    EXPECT_EQ(r.outcome, tf0channels::toutcome::interrupted);
    EXPECT_EQ(told, 3);
    EXPECT_TRUE(r.channels.empty());
    EXPECT_EQ(doc.totnchans(), 1);
    EXPECT_FALSE(doc.modified());
    // A channel the document does not have: nothing, and no message.
    r = make_f0_channels(doc, 4, band(110, 250), tcorrelogramsettings{}, tf0settings{}, tf0targets{}, 1000, prompter);
    EXPECT_EQ(r.outcome, tf0channels::toutcome::notrace);
    EXPECT_EQ(prompter.asked.size(), 1u);
}
