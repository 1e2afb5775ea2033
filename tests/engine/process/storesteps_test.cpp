// Processes over channels held as block stores: the load step shares the
// channel's blocks, the save step takes a store as the channel's samples,
// the F0 step reads its input and writes its contour through the store
// (the same numbers as over one array, for a channel cut into many short
// pieces whose blocks have left memory), and a step that needs arrays is
// refused with the sizes when they would not fit the sample memory.
#include <memory>
#include <random>

#include "engine/process/f0step.h"
#include "engine/process/pointwisesteps.h"
#include "engine/store/blocks.h"
#include "processfixture.h"
#include "synthvowel.h"

namespace tessal::testing {
namespace {

class tstoresteps : public tprocesstest {
protected:
    // A cache of `budget` bytes whose scratch file goes to the test's folder.
    void small_cache(std::size_t budget) {
        cache = std::make_shared<tblockcache>(budget, dir / "scratch");
        doc.set_block_cache(cache);
    }
    // Channel 0 holds x, built by inserting pieces of 1..3000 samples in a
    // shuffled order so that its store is many short extents.
    void pieced_channel(const tsinglearr& x, double fs) {
        doc.set_totnchans(1);
        tchannel& ch = doc.channel(0);
        ch.set_name("mic");
        ch.sampfreq = fs;
        std::mt19937 rng(5);
        std::uniform_int_distribution<std::size_t> len(1, 3000);
        std::vector<std::pair<std::size_t, std::size_t>> pieces;
        for (std::size_t a = 0; a < x.size();) {
            const std::size_t n = std::min(len(rng), x.size() - a);
            pieces.push_back({a, n});
            a += n;
        }
        // Inserting the pieces from the last to the first at the front
        // gives each its own extent.
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
            ch.insert_samples(0, x.data() + it->first, it->second);
        ASSERT_EQ(ch.samples_array(), x);
        ASSERT_GT(ch.samples().extent_count(), 20u);
    }
    void load_f0_save(const tf0& f0) {
        auto& l = add<tloadchannel>("load");
        l.channo = {0};
        l.enabled = true;
        steps.push_back(f0.clone());
        steps.back()->enabled = true;
        auto& s = add<tsavechannel>("save");
        s.channo = {1};
        s.enabled = true;
    }
    std::shared_ptr<tblockcache> cache;
};

tvowel test_vowel() {
    return make_vowel({"a", [](double t) { return 110.0 + 40 * std::sin(2 * std::numbers::pi * 3 * t); }, 0.01,
                       20, {{730, 90}, {1090, 110}, {2440, 170}}, 2.0, 0.3, 16000, 7});
}

TEST_F(tstoresteps, F0OverAPiecedChannelOutOfMemoryEqualsF0OverOneArray) {
    small_cache(32 * 1024);  // a fifth of the signal
    const tvowel v = test_vowel();
    pieced_channel(v.x, v.fs);
    // Every algorithm, with and without post processing, and another
    // number of extractors; the path tracker reads its frames from the
    // store.
    for (int a = 0; a < 6; ++a) {
        tf0 f0;
        f0.algorithm = a < 2 ? a : a == 5 ? 4 : 2;
        f0.postprocess = a != 3;
        f0.nextractors = a == 4 ? 3 : 4;
        f0.invpolarity = a == 1;
        auto [want, wp] = run_alone(f0, v.x, v.fs);

        steps.clear();
        load_f0_save(f0);
        const tprocresult r = run();
        ASSERT_TRUE(r.ok) << r.error;
        const tchannel& out = doc.channel(1);
        EXPECT_EQ(out.sampfreq, wp.sampfreq);
        ASSERT_EQ(out.samples_array(), want) << "algorithm " << a;
        // The contour was not trivially flat.
        int nonzero = 0;
        for (float y : want) nonzero += y > 0;
        EXPECT_GT(nonzero, static_cast<int>(want.size() / 3)) << a;
    }
    // The input's blocks left memory: the channel was read back from the
    // scratch file, within the budget.
    EXPECT_GT(cache->stats().spills, 0u);
    EXPECT_GT(cache->stats().loads, 0u);
}

TEST_F(tstoresteps, SineThroughStoresGivesItsFrequency) {
    small_cache(2 * block_samples * sizeof(float));
    const double fs = 10000;
    pieced_channel(sine(400000, 0.8, 100, fs), fs);
    tf0 f0;
    f0.algorithm = 1;
    load_f0_save(f0);
    ASSERT_TRUE(run().ok);
    const tsinglearr y = doc.channel(1).samples_array();
    ASSERT_EQ(y.size(), 400000u);
    for (std::size_t j = 250; j < y.size() - 100; ++j) ASSERT_NEAR(y[j], 100.0, 0.02) << j;
}

TEST_F(tstoresteps, LoadAndSaveShareBlocksInsteadOfCopying) {
    pieced_channel(sine(50000, 0.5, 440, 8000), 8000);
    auto& l = add<tloadchannel>("load");
    l.channo = {0};
    l.enabled = true;
    auto& s = add<tsavechannel>("save");
    s.channo = {1};
    s.enabled = true;
    ASSERT_TRUE(run().ok);
    const auto& a = doc.channel(0).samples().extents();
    const auto& b = doc.channel(1).samples().extents();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(a[k].block.get(), b[k].block.get());
        EXPECT_EQ(a[k].offset, b[k].offset);
        EXPECT_EQ(a[k].length, b[k].length);
    }
    EXPECT_EQ(doc.channel(1).samples_array(), doc.channel(0).samples_array());
}

TEST_F(tstoresteps, StepNeedingArraysOverTheSampleMemoryIsRefusedWithTheSizes) {
    // 1 MB of samples, 256 KB of sample memory.
    small_cache(block_samples * sizeof(float));
    doc.set_totnchans(2);
    doc.channel(0).sampfreq = 1000;
    doc.channel(0).set_samples(tsinglearr(250000, 0.5f));
    doc.channel(1).set_samples(tsinglearr(10, 3.0f));
    auto& l = add<tloadchannel>("load");
    l.channo = {0};
    l.enabled = true;
    add<tprocstep>("reverse").enabled = true;
    auto& s = add<tsavechannel>("save");
    s.channo = {1};
    s.enabled = true;
    const tprocresult r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, steps[1]->get_procname() +
                           ": needs 1.0 MB for its signals as arrays, the sample memory is 0.3 MB");
    // Nothing was saved.
    EXPECT_EQ(doc.channel(1).samples_array(), tsinglearr(10, 3.0f));

    // With room for them the same process runs.
    cache->set_budget(std::size_t(8) << 20);
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(doc.channel(1).samples_array(), tsinglearr(250000, 0.5f));
}

// Runs load, the step made by `make` and save over channel 0 into channel
// 1, and the same step alone over x as one array: the same samples.
template <class M>
void same_as_array(tstoresteps& t, tprocsteps& steps, tdocument& doc, const tsinglearr& x, double fs, M make,
                   const std::string& what) {
    std::unique_ptr<tprocstep> alone = make();
    ASSERT_TRUE(alone->takes_stores()) << what << " should read stores";
    auto [want, wp] = run_alone(*alone, x, fs);
    steps.clear();
    auto l = create_step(find_procid("load"));
    dynamic_cast<tloadchannel&>(*l).channo = {0};
    steps.push_back(std::move(l));
    steps.push_back(make());
    auto s = create_step(find_procid("save"));
    dynamic_cast<tsavechannel&>(*s).channo = {1};
    steps.push_back(std::move(s));
    for (auto& st : steps) st->enabled = true;
    tscriptedprompter prompter;
    tprocenv env(doc, prompter);
    tprocrunner runner;
    const tprocresult r = runner.run(steps, env);
    ASSERT_TRUE(r.ok) << what << ": " << r.error;
    EXPECT_EQ(doc.channel(1).samples_array(), want) << what;
    EXPECT_EQ(doc.channel(1).name(), wp.name) << what;
    (void)t;
}

TEST_F(tstoresteps, PointwiseStepsOverAPiecedChannelEqualTheirArrayResults) {
    small_cache(32 * 1024);
    const double fs = 16000;
    tsinglearr x = sine(60000, 3.0, 173.3, fs);
    for (std::size_t i = 0; i < x.size(); i += 7) x[i] = -x[i] * 0.37f;  // not one smooth curve
    pieced_channel(x, fs);
    // Each step with its defaults, or with a value that changes something.
    auto step = [](const char* id, double value) {
        return [id, value]() {
            auto s = create_step(find_procid(id));
            if (auto* v = dynamic_cast<tvaluelist*>(s.get())) v->values = {value};
            return s;
        };
    };
    for (const char* id : {"square", "sqrt", "abs", "log", "exp", "clip", "quantize"})
        same_as_array(*this, steps, doc, x, fs, step(id, 0), id);
    same_as_array(*this, steps, doc, x, fs, step("add", 0.25), "add");
    same_as_array(*this, steps, doc, x, fs, step("mul", -1.7), "mul");
    same_as_array(*this, steps, doc, x, fs, step("delay", 0.01), "delay");
    EXPECT_GT(cache->stats().spills, 0u);
}

TEST_F(tstoresteps, RecursiveFilterStepsOverAPiecedChannelEqualTheirArrayResults) {
    small_cache(32 * 1024);
    const double fs = 16000;
    tsinglearr x = sine(60000, 0.6, 211.0, fs);
    for (std::size_t i = 0; i < x.size(); i += 5) x[i] += 0.3f;
    pieced_channel(x, fs);
    // The filters carry their state from one piece to the next; the
    // derivative's first sample takes the second's difference.
    for (const char* id : {"diff", "int", "lp2", "hp2", "polezero", "realpolezero", "slope"})
        same_as_array(*this, steps, doc, x, fs, [id] { return create_step(find_procid(id), nullptr, 16000); }, id);
    EXPECT_GT(cache->stats().spills, 0u);
}

}  // namespace
}  // namespace tessal::testing
