// The analysis caches: a result is found again under the same channel,
// samples and parameters; a change notice drops exactly the results whose
// samples it touched, whether it comes straight from a test or from a real
// edit of the document; the oldest result gives way when the cache is full.
// The amplitude histogram is checked against counts made by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/analysis/analysiscache.h"
#include "engine/analysis/histogram.h"
#include "engine/core/clipboard.h"
#include "engine/core/tdocument.h"
#include "engine/document/editcommands.h"
#include "engine/document/levels.h"
#include "support/scriptedprompter.h"

using namespace tessal;

namespace {

tanalysiskey key(int ch, long long a, long long b, double p = 0) { return {ch, a, b, {p}}; }

}  // namespace

TEST(AnalysisCache, KeysAreChannelRangeAndParameters) {
    tanalysiscache<std::string> cache;
    int computed = 0;
    auto compute = [&] { return std::to_string(++computed); };
    EXPECT_EQ(cache.get(key(0, 0, 100), compute), "1");
    EXPECT_EQ(cache.get(key(0, 0, 100), compute), "1");  // found again
    EXPECT_EQ(cache.get(key(0, 0, 101), compute), "2");  // another range
    EXPECT_EQ(cache.get(key(1, 0, 100), compute), "3");  // another channel
    EXPECT_EQ(cache.get(key(0, 0, 100, 2), compute), "4");  // other parameters
    EXPECT_EQ(cache.size(), 4u);
    EXPECT_EQ(cache.find(key(0, 0, 100))->c_str(), std::string("1"));
    EXPECT_EQ(cache.find(key(2, 0, 100)), nullptr);
}

TEST(AnalysisCache, NoticesDropOnlyWhatTheyTouch) {
    tanalysiscache<int> cache;
    cache.store(key(0, 0, 100), 1);
    cache.store(key(0, 100, 200), 2);
    cache.store(key(0, 300, 400), 3);
    cache.store(key(1, 0, 100), 4);
    // Zeroing samples 150..159 of channel 0: only the result over 100..199.
    cache.drop_touched(tchannelchange::samples(0, 150, 160));
    EXPECT_NE(cache.find(key(0, 0, 100)), nullptr);
    EXPECT_EQ(cache.find(key(0, 100, 200)), nullptr);
    EXPECT_NE(cache.find(key(0, 300, 400)), nullptr);
    EXPECT_NE(cache.find(key(1, 0, 100)), nullptr);
    // Deleting 200..249 moves 300..399: that result goes, 0..99 stays.
    cache.drop_touched(tchannelchange::samples(0, 200, 250, -50));
    EXPECT_NE(cache.find(key(0, 0, 100)), nullptr);
    EXPECT_EQ(cache.find(key(0, 300, 400)), nullptr);
    // Labels leave results alone; channel 0 removed renumbers channel 1.
    cache.drop_touched(tchannelchange::labels(1));
    EXPECT_EQ(cache.size(), 2u);
    cache.drop_touched(tchannelchange::removed(0));
    EXPECT_EQ(cache.size(), 0u);
}

TEST(AnalysisCache, TheResultUsedLongestAgoGivesWay) {
    tanalysiscache<int> cache(2);
    cache.store(key(0, 0, 1), 1);
    cache.store(key(0, 0, 2), 2);
    ASSERT_NE(cache.find(key(0, 0, 1)), nullptr);  // now the most recent
    cache.store(key(0, 0, 3), 3);
    EXPECT_NE(cache.find(key(0, 0, 1)), nullptr);
    EXPECT_EQ(cache.find(key(0, 0, 2)), nullptr);
    EXPECT_EQ(cache.size(), 2u);
}

TEST(AnalysisCache, EditsOfTheDocumentReachACacheThatListens) {
    tdocument doc;
    doc.set_totnchans(2);
    for (int i = 0; i < 2; ++i) {
        doc.channel(i).sampfreq = 1000;
        doc.channel(i).set_samples(tsinglearr(1000, 0.25f));
    }
    doc.selectmode = selmono;
    doc.set_thischanno(0);
    tessal::testing::tscriptedprompter prompter;
    tmemoryblockclipboard clipboard;
    teditcommands cmd{doc, prompter, clipboard};
    tanalysiscache<thistogram> cache(doc.theglobal);

    doc.theglobal.set_selection(0.100, 0.199);  // samples 100..199
    const thistogram h0 = selection_histogram(cache, doc, 0);
    EXPECT_EQ(h0[32768 + 8192], 100);  // 0.25 of full scale 1
    doc.theglobal.set_selection(0.600, 0.699);
    selection_histogram(cache, doc, 0);
    selection_histogram(cache, doc, 1);
    ASSERT_EQ(cache.size(), 3u);

    // Levels on 0.3..0.4 s without ramps: none of the three is touched.
    doc.theglobal.set_selection(0.300, 0.400);
    ASSERT_TRUE(edit_levels(doc, tlevelchange{constantfactor, 2, 0, 0}));
    EXPECT_EQ(cache.size(), 3u);
    // Zero inside 600..699 of channel 0: only that histogram goes.
    doc.theglobal.set_selection(0.650, 0.660);
    ASSERT_TRUE(cmd.zero());
    EXPECT_EQ(cache.size(), 2u);
    doc.theglobal.set_selection(0.600, 0.699);
    EXPECT_EQ(selection_histogram(cache, doc, 0)[32768], 11);   // recomputed
    EXPECT_EQ(selection_histogram(cache, doc, 1)[32768], 0);    // kept, untouched
    // A delete before 600 moves those samples: dropped again; 100..199 stays.
    doc.theglobal.set_selection(0.400, 0.450);
    prompter.answers = {tanswer::ok};
    ASSERT_TRUE(cmd.delete_selection());
    doc.theglobal.set_selection(0.100, 0.199);
    const tanalysiskey k = histogram_key(doc.channel(0), 0, 0.100, 0.199);
    EXPECT_NE(cache.find(k), nullptr);
    EXPECT_EQ(cache.find(histogram_key(doc.channel(0), 0, 0.600, 0.699)), nullptr);
    // A new full scale is a new key (and a property notice besides).
    doc.channel(0).set_fsd(0.5);
    EXPECT_EQ(cache.find(k), nullptr);
    EXPECT_EQ(selection_histogram(cache, doc, 0)[32768 + 16384], 100);
}

TEST(Histogram, BinsScaleByFsdRoundAndClip) {
    tchannel ch(nullptr, 0);
    ch.sampfreq = 10;
    ch.set_fsd(32767);  // one unit per bin
    ch.set_samples({0.0f, 0.5f, -0.5f, 16383.5f, 1e6f, -1e6f});
    thistogram h = amplitude_histogram(ch, 0, 10);
    ASSERT_EQ(h.size(), 65536u);
    EXPECT_EQ(h[32768 + 0], 1);
    EXPECT_EQ(h[32768 + 1], 1);  // halves round away from zero
    EXPECT_EQ(h[32768 - 1], 1);
    EXPECT_EQ(h[32768 + 16384], 1);
    EXPECT_EQ(h[32768 + 32767], 1);  // clipped
    EXPECT_EQ(h[0], 1);
    // Only the selection counts: samples 1 and 2 (0.1 s and 0.2 s).
    h = amplitude_histogram(ch, 0.1, 0.2);
    double total = 0;
    for (double v : h) total += v;
    EXPECT_EQ(total, 2);
    EXPECT_EQ(h[32768 + 1], 1);
    EXPECT_EQ(h[32768 - 1], 1);
    // No samples: all zeros.
    ch.set_samples({});
    h = amplitude_histogram(ch, 0, 1);
    EXPECT_EQ(h.size(), 65536u);
    total = 0;
    for (double v : h) total += v;
    EXPECT_EQ(total, 0);
}

TEST(Histogram, CountsDoNotDependOnHowTheSamplesArePieced) {
    // Samples counted one by one here against the channel's pass over its
    // pieces, in default pieces and in pieces of 1, 7 and 1000.
    tchannel ch(nullptr, 0);
    ch.sampfreq = 1000;
    ch.set_fsd(1);
    tsinglearr x(20000);
    unsigned seed = 4321;
    for (float& v : x) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    ch.set_samples(x);
    thistogram truth(65536, 0.0);
    for (long long i = 1234; i <= 17001; ++i) truth[std::lround(x[i] * 32767.0) + 32768] += 1;
    for (std::size_t limit : {0u, 1u, 7u, 1000u}) {
        ch.set_chunk_limit(limit);
        EXPECT_EQ(amplitude_histogram(ch, 1.234, 17.001), truth) << limit;
    }
}
