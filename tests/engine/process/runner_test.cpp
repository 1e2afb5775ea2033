#include <atomic>

#include "engine/measurements/datalog.h"
#include "processfixture.h"

namespace tessal::testing {
namespace {

// Records what it was given and emits `emit` signals of value `value`.
class trecorder : public tprocstep {
public:
    std::unique_ptr<tprocstep> clone() const override {
        return std::make_unique<trecorder>(*this);
    }
    trecorder() = default;
    trecorder(const trecorder& r) : tprocstep(r) {}
    void run_process(tprocenv& env) override {
        ++runs;
        seen_in.clear();
        for (const tworksig& s : inarr) seen_in.push_back(s.to_array());
        seen_props = props;
        if (on_run) on_run(env);
        outarr.assign(emit, tsinglearr(4, value));
        props.resize(outarr.size());
    }
    std::string get_procname() const override { return "Recorder"; }
    int runs = 0;
    int emit = 1;
    float value = 7;
    std::vector<tsinglearr> seen_in;
    std::vector<tchannelproperties> seen_props;
    std::function<void(tprocenv&)> on_run;
};

trecorder& add_recorder(tprocsteps& steps) {
    auto r = std::make_unique<trecorder>();
    r->enabled = true;
    trecorder& ref = *r;
    steps.push_back(std::move(r));
    return ref;
}

TEST_F(tprocesstest, EmptyProcessIsRefusedWithAMessage) {
    const tprocresult r = run();
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, "Process is empty");
    EXPECT_EQ(prompter.asked[0].caption, "No process");
    EXPECT_FALSE(doc.modified());
}

TEST_F(tprocesstest, FirstStepGetsEmptyInputAndOneDefaultRecord) {
    doc.prefs.DefaultSampFreq = 22050;
    trecorder& r = add_recorder(steps);
    ASSERT_TRUE(run().ok);
    EXPECT_TRUE(r.seen_in.empty());
    ASSERT_EQ(r.seen_props.size(), 1u);
    EXPECT_EQ(r.seen_props[0].sampfreq, 22050);
    EXPECT_EQ(r.seen_props[0].fsd, 1.0);
    EXPECT_EQ(r.seen_props[0].stereochanno, -1);
    EXPECT_EQ(r.seen_props[0].dbreference, 1.0);
    EXPECT_TRUE(r.seen_props[0].name.empty());
}

TEST_F(tprocesstest, SaveAsFirstStepFailsOnTheEmptyWorkingSet) {
    make_channels(1);
    add<tsavechannel>("save");
    const tprocresult r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error,
              "Savechannel: Number of channels to save to does not match number of input "
              "channels, (fitting 0 channels into channel(s): N)");
    EXPECT_EQ(r.status, "Running Save to channel N");
    EXPECT_EQ(doc.totnchans(), 1);
    EXPECT_FALSE(doc.modified());  // no end-of-run refresh after a failure
}

TEST_F(tprocesstest, DisabledStepIsSkippedAndCostsNothing) {
    trecorder& a = add_recorder(steps);
    a.value = 3;
    trecorder& b = add_recorder(steps);
    b.enabled = false;
    trecorder& c = add_recorder(steps);
    c.emit = 2;
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(b.runs, 0);
    ASSERT_EQ(c.seen_in.size(), 1u);
    EXPECT_EQ(c.seen_in[0][0], 3.0f);  // a's output, not b's
    EXPECT_EQ(b.profiling_timestamp[0], b.profiling_timestamp[1]);
    const auto lines = runner.profile_lines(steps);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind(" ---- Process performance profiling ", 0), 0u);
    EXPECT_EQ(lines[1].rfind("Total process execution time: ", 0), 0u);
    EXPECT_EQ(lines[3], "0 s \t0.000% \tRecorder");
    // Written once per run.
    tdatalog log;
    EXPECT_TRUE(runner.write_profile(steps, log));
    EXPECT_EQ(log.lines().size(), 5u);
    EXPECT_FALSE(runner.write_profile(steps, log));
}

TEST_F(tprocesstest, LastOutputIsDroppedAndRunRefreshes) {
    make_channels(2);
    doc.set_modified(false);
    // Whatever was computed from channel 1 is told it no longer holds.
    struct tchangelog : tviewlistener {
        std::vector<int> stale;
        void channel_changed(const tchannelchange& c) override {
            if (c.touches(1, 0, 10)) stale.push_back(c.channel);
        }
    } changes;
    doc.theglobal.add_listener(&changes);
    add<tloadchannel>("load").channo = {0, 1};
    trecorder& r = add_recorder(steps);
    r.enabled = false;  // the load step is then the last enabled one
    ASSERT_TRUE(run().ok);
    EXPECT_TRUE(steps[0]->outarr.empty());
    EXPECT_TRUE(steps[0]->inarr.empty());
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.channel(0).samples_array(), tsinglearr(10, 1.0f));
    EXPECT_TRUE(doc.modified());
    doc.theglobal.remove_listener(&changes);
    EXPECT_FALSE(changes.stale.empty());
}

TEST_F(tprocesstest, CancelBeforeAStepAndInsideAStepKeepsEarlierWrites) {
    make_channels(1);
    std::atomic<bool> cancel{false};
    env.cancel = &cancel;
    std::vector<std::pair<int, double>> progress;
    env.onprogress = [&](int k, double f) { progress.push_back({k, f}); };
    add<tloadchannel>("load");
    add<tsavechannel>("save");
    trecorder& r = add_recorder(steps);
    r.on_run = [&](tprocenv& e) {
        cancel = true;
        e.progress(0.5);
    };
    trecorder& after = add_recorder(steps);
    doc.set_modified(false);
    const tprocresult res = run();
    EXPECT_TRUE(res.cancelled);
    EXPECT_EQ(res.status, "Cancelled");
    EXPECT_EQ(doc.totnchans(), 2);  // the save before the cancel stays
    EXPECT_EQ(after.runs, 0);
    EXPECT_TRUE(r.outarr.empty());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), (std::pair<int, double>{0, 0.0}));
    // A flag already set stops before the first step.
    const tprocresult again = run();
    EXPECT_TRUE(again.cancelled);
    EXPECT_EQ(doc.totnchans(), 2);
}

}  // namespace
}  // namespace tessal::testing
