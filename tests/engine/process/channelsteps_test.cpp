#include <fstream>

#include "engine/process/processfile.h"
#include "processfixture.h"
#include "support/sigcachecheck.h"

namespace tessal::testing {
namespace {

TEST_F(tprocesstest, LoadCopiesSamplesPropertiesAndLabels) {
    make_channels(2);
    tchannel& c1 = doc.channel(1);
    c1.set_yunit("Pa");
    c1.dbreference = 2e-5;
    c1.nbits = 24;
    c1.format = tFormat::ieeefloat;
    c1.stereochanno = 0;
    c1.xshift = 5;
    tentities ent;
    ent.no.push_back({"f", 3, "Hz"});
    c1.add_label(0.002, 0.001, "a", "w", ent);
    tloadchannel l;
    l.channo = {1};
    l.run_process(env);
    ASSERT_EQ(l.outarr.size(), 1u);
    EXPECT_TRUE(l.outarr[0].is_store());  // the channel's blocks, not a copy
    EXPECT_EQ(l.outarr[0].to_array(), tsinglearr(10, 2.0f));
    const tchannelproperties& p = l.props[0];
    EXPECT_EQ(p.name, "ch1");
    EXPECT_EQ(p.fsd, 2);
    EXPECT_EQ(p.yunit, "Pa");
    EXPECT_EQ(p.dbreference, 2e-5);
    EXPECT_EQ(p.nbits, 24);
    EXPECT_EQ(p.format, tFormat::ieeefloat);
    EXPECT_EQ(p.stereochanno, -1);
    EXPECT_EQ(p.xshift, 5);
    ASSERT_EQ(p.labels.size(), 1u);
    EXPECT_EQ(p.labels[0].entities.no[0].yunit, "Hz");
    l.loadlabels = false;
    l.run_process(env);
    EXPECT_TRUE(l.props[0].labels.empty());
    l.channo = {};
    l.run_process(env);
    EXPECT_TRUE(l.outarr.empty());
    l.channo = {0, 4};
    try {
        l.run_process(env);
        FAIL();
    } catch (const EProcessError& e) {
        EXPECT_STREQ(e.what(), "Channel 4 does not exist");
    }
}

TEST_F(tprocesstest, ChannelCodesResolveWhenEachStepRuns) {
    make_channels(3);
    doc.channel(0).stereochanno = 2;
    doc.set_thischanno(0);
    // Deleting channel 0 before the load makes "0" the former channel 1.
    add<tdeletechannel>("delete").channo = {0};
    add<tloadchannel>("load").channo = {0};
    add<tsavechannel>("save").channo = {-1};
    ASSERT_TRUE(run().ok);
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(doc.channel(2).samples_array(), tsinglearr(10, 2.0f));
    EXPECT_EQ(doc.channel(2).created().origin, "Tessal process");

    // S is the current channel and C its partner, as they are at run time.
    steps.clear();
    make_channels(3);
    doc.channel(1).stereochanno = 2;
    doc.set_thischanno(1);
    add<tloadchannel>("load").channo = {-2};
    add<tsavechannel>("save").channo = {-3};
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(doc.channel(2).samples_array(), tsinglearr(10, 2.0f));
    // C without a partner names no channel.
    doc.channel(1).stereochanno = -1;
    const tprocresult r = run();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "Channel -3 does not exist");
}

TEST_F(tprocesstest, SaveFsdModesAgainstAnalyticValues) {
    make_channels(1, 0);
    doc.channel(0).set_samples(sine(1000, 0.5, 50, 1000));  // whole periods: RMS 0.5/sqrt(2)
    doc.channel(0).set_fsd(0.75);
    struct tcase {
        int mode;
        double expected;
    } cases[] = {{fsdkeep, 0.75}, {fsdpeak, 0.5}, {fsdfixed, 3.5},
                 {fsddbaboverms, 0.5 / std::sqrt(2.0) * 10.0}};
    for (const tcase& c : cases) {
        steps.clear();
        add<tloadchannel>("load");
        auto& s = add<tsavechannel>("save");
        s.fsdmode = c.mode;
        s.fixedfsd = 3.5;
        s.rmsdbfsd = 20;
        ASSERT_TRUE(run().ok);
        EXPECT_NEAR(doc.channel(doc.totnchans() - 1).fsd(), c.expected, 1e-6) << c.mode;
    }
    // Silence and emptiness fall back to 1.
    for (int mode : {fsdpeak, fsddbaboverms}) {
        tsavechannel s;
        s.fsdmode = mode;
        s.inarr = {tsinglearr(mode == fsdpeak ? 8 : 0, 0.0f)};
        s.props.assign(1, default_channelproperties(1000));
        s.props[0].fsd = 9;
        s.run_process(env);
        EXPECT_EQ(s.props[0].fsd, 1.0) << mode;
    }
}

TEST_F(tprocesstest, SaveSetsNamesUnitsReferenceAndStereoPartners) {
    make_channels(2);
    doc.channel(0).add_label(0.005, 0, "b", "");
    doc.channel(0).add_label(0.001, 0, "a", "");
    add<tloadchannel>("load").channo = {0, 1};
    auto& s = add<tsavechannel>("save");
    s.channo = {-1, -1};
    s.usechannelname = true;
    s.channelname = "flow";
    s.useyunit = true;
    s.yunit = "l/s";
    s.usedbreference = true;
    s.dbreference = 0.25;
    s.stereochanno = {0};  // one entry applies to every input
    ASSERT_TRUE(run().ok);
    ASSERT_EQ(doc.totnchans(), 4);
    for (int c : {2, 3}) {
        const tchannel& ch = doc.channel(c);
        EXPECT_EQ(ch.name(), "flow");
        EXPECT_EQ(ch.yunit(), "l/s");
        EXPECT_EQ(ch.dbreference, 0.25);
        EXPECT_EQ(ch.stereochanno, 0);
        EXPECT_EQ(ch.sampfreq, 1000);
    }
    EXPECT_EQ(doc.channel(2).samples_array(), tsinglearr(10, 1.0f));  // in order
    EXPECT_EQ(doc.channel(3).samples_array(), tsinglearr(10, 2.0f));
    ASSERT_EQ(doc.channel(2).labels.size(), 2u);
    EXPECT_EQ(doc.channel(2).labels[0].text, "a");
    EXPECT_EQ(s.actualchanno, 3);

    // A number beyond the end grows the document with "<empty>" channels.
    steps.clear();
    doc.prefs.DefaultSampFreq = 8000;
    add<tloadchannel>("load");
    add<tsavechannel>("save").channo = {6};
    ASSERT_TRUE(run().ok);
    ASSERT_EQ(doc.totnchans(), 7);
    EXPECT_EQ(doc.channel(5).name(), "<empty>");
    EXPECT_EQ(doc.channel(5).sampfreq, 8000);
    EXPECT_EQ(doc.channel(6).name(), "ch0");
}

// A channel number near the top of the integers once wrapped the new
// channel count round, emptied the document and then failed. It is refused
// naming the field, before anything is written, from the form's number as
// from a process file's; numbers up to the limit still make the channels
// up to them, and a file's number past 32 bits stays out of range instead
// of wrapping round to an existing channel.
TEST_F(tprocesstest, SaveRefusesChannelNumbersPastTheLimitBeforeWriting) {
    make_channels(2, 10);
    for (int c : {2147483647, 2147483646, 100000}) {
        SCOPED_TRACE(c);
        steps.clear();
        add<tloadchannel>("load").channo = {0};
        add<tsavechannel>("save").channo = {c};
        const tprocresult r = run();
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("Channel number (N=new channel) " + std::to_string(c)),
                  std::string::npos)
            << r.error;
        ASSERT_EQ(doc.totnchans(), 2);
        EXPECT_EQ(doc.channel(0).samples_array(), tsinglearr(10, 1.0f));
        EXPECT_EQ(doc.channel(1).samples_array(), tsinglearr(10, 2.0f));
    }
    // Two inputs, the second one's number refused: the first is not written.
    steps.clear();
    add<tloadchannel>("load").channo = {0, 1};
    add<tsavechannel>("save").channo = {1, 2147483647};
    EXPECT_FALSE(run().ok);
    EXPECT_EQ(doc.channel(1).samples_array(), tsinglearr(10, 2.0f));

    steps.clear();
    add<tloadchannel>("load").channo = {0};
    add<tsavechannel>("save").channo = {4095};
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(doc.totnchans(), 4096);
    EXPECT_EQ(doc.channel(4095).samples_array(), tsinglearr(10, 1.0f));
    EXPECT_EQ(doc.channel(3000).name(), "<empty>");

    // The same number from a process file, and one past 32 bits.
    doc.set_totnchans(2);
    for (const char* text : {"2147483647", "4294967296"}) {
        SCOPED_TRACE(text);
        const std::string file = path("p.tessalproc");
        {
            std::ofstream out(file);
            out << "[Common]\nnsteps=2\n[Step_0]\nprocid=load\nnChans=1\nChanno0=0\n"
                << "[Step_1]\nprocid=save\nnChans=1\nChanno0=" << text << "\n";
        }
        tprocsteps read;
        open_process_file(file, read, doc.prefs.DefaultSampFreq);
        ASSERT_EQ(read.size(), 2u);
        const tprocresult r = runner.run(read, env);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("Channel number (N=new channel) 2147483647"), std::string::npos)
            << r.error;
        ASSERT_EQ(doc.totnchans(), 2);
        EXPECT_EQ(doc.channel(0).samples_array(), tsinglearr(10, 1.0f));
    }
}

TEST_F(tprocesstest, AppendAndPrependMoveTheRightLabels) {
    make_channels(2, 100);  // 0.1 s each at 1000 Hz
    doc.channel(0).add_label(0.01, 0, "old", "");
    doc.channel(1).add_label(0.02, 0, "new", "");
    add<tloadchannel>("load").channo = {1};
    add<tappendchannel>("append").channo = {0};
    ASSERT_TRUE(run().ok);
    tchannel& ch = doc.channel(0);
    ASSERT_EQ(ch.sample_count(), 200);
    EXPECT_EQ(ch.sample(99), 1.0f);
    EXPECT_EQ(ch.sample(100), 2.0f);
    ASSERT_EQ(ch.labels.size(), 2u);
    EXPECT_DOUBLE_EQ(ch.labels[0].time, 0.01);
    EXPECT_DOUBLE_EQ(ch.labels[1].time, 0.12);
    EXPECT_EQ(ch.fsd(), 2);  // peak over the joined channel
    // The append marked the drawing cache's blocks: fixed, it is what a
    // full rebuild makes.
    tessal::testing::expect_sigcache_as_rebuilt(ch);

    make_channels(2, 100);
    doc.channel(0).labels.clear();
    doc.channel(1).labels.clear();
    doc.channel(0).add_label(0.01, 0, "old", "");
    doc.channel(1).add_label(0.02, 0, "new", "");
    doc.channel(1).format = tFormat::ieeefloat;
    doc.channel(1).nbits = 32;
    steps.clear();
    add<tloadchannel>("load").channo = {1};
    auto& p = add<tprependchannel>("prepend");
    p.fsdmode = fsdfixed;
    p.fixedfsd = 5;
    ASSERT_TRUE(run().ok);
    ASSERT_EQ(doc.channel(0).sample_count(), 200);
    EXPECT_EQ(doc.channel(0).sample(0), 2.0f);
    EXPECT_EQ(doc.channel(0).sample(100), 1.0f);
    ASSERT_EQ(doc.channel(0).labels.size(), 2u);
    EXPECT_EQ(doc.channel(0).labels[0].text, "new");
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[0].time, 0.02);
    EXPECT_DOUBLE_EQ(doc.channel(0).labels[1].time, 0.11);
    EXPECT_EQ(doc.channel(0).format, tFormat::ieeefloat);
    EXPECT_EQ(doc.channel(0).nbits, 32);
    EXPECT_EQ(doc.channel(0).fsd(), 5);
}

TEST_F(tprocesstest, AppendChecksEveryTargetAndRateBeforeWriting) {
    make_channels(3);
    doc.channel(2).sampfreq = 2000;
    add<tloadchannel>("load").channo = {0, 1};
    add<tappendchannel>("append").channo = {1, 2};
    tprocresult r = run();
    EXPECT_EQ(r.error,
              "Appendchannel: Sample rates do not match: 1000 vs 2000 Hz\r(Trying to append to "
              "channel number 2)");
    EXPECT_EQ(doc.channel(1).sample_count(), 10);  // the first target is untouched too
    steps.pop_back();
    add<tprependchannel>("prepend").channo = {1, 5};
    r = run();
    EXPECT_EQ(r.error,
              "Prependchannel: Channel number is higher than the highest existing channel "
              "number. \r(Trying to prepend to channel number 5; highest available channel "
              "number is 2)");
    EXPECT_EQ(doc.channel(1).sample_count(), 10);
    steps.back() = create_step(find_procid("append"));
    r = run();
    EXPECT_EQ(r.error,
              "Appendchannel: Number of channels to append to does not match number of input "
              "channels, (fitting 2 channels into channel(s): 0)");
}

TEST_F(tprocesstest, DeleteWalksBackwardsAndWarnsForMissingChannels) {
    make_channels(3);
    add<tdeletechannel>("delete").channo = {0, 1};
    ASSERT_TRUE(run().ok);
    ASSERT_EQ(doc.totnchans(), 1);
    EXPECT_EQ(doc.channel(0).name(), "ch2");
    steps.clear();
    add<tdeletechannel>("delete").channo = {7};
    add<tloadchannel>("load");
    ASSERT_TRUE(run().ok);  // the run goes on
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, "Channel 7 does not exist!");
    EXPECT_EQ(prompter.asked[0].caption, "Cannot delete channel");
    // ... and the run's environment keeps it, for a caller without a window.
    EXPECT_EQ(env.missing, std::vector<std::string>{"Channel 7 does not exist"});
}

}  // namespace
}  // namespace tessal::testing
