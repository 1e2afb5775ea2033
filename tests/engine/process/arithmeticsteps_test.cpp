// Point-wise, min/max and channel-arithmetic steps inside processes: values
// against hand-computed ones, names and properties, labels, the Part's
// handling of zero divisors, logs of zero and roots of negatives, and the
// run's status saying how many samples became infinite.
#include "engine/process/chanarithsteps.h"
#include "engine/process/commentstep.h"
#include "engine/process/pointwisesteps.h"
#include "engine/process/processfile.h"

#include <fstream>

#include "processfixture.h"

namespace tessal::testing {
namespace {

class tarithtest : public tprocesstest {
protected:
    void set(int ch, tsinglearr v) { doc.channel(ch).set_samples(std::move(v)); }
    // load `from`, then `step`, then save to new channels; returns the result.
    tprocresult through(tintarr from, tprocsteps extra) {
        steps.clear();
        add<tloadchannel>("load").channo = from;
        for (auto& s : extra) steps.push_back(std::move(s));
        auto& s = add<tsavechannel>("save");
        s.channo.assign(from.size(), -1);
        s.fsdmode = fsdkeep;
        return run();
    }
    std::unique_ptr<tprocstep> step(const std::string& id) { return create_step(find_procid(id)); }
    template <class T>
    std::unique_ptr<tprocstep> step(const std::string& id, const std::function<void(T&)>& set) {
        auto s = step(id);
        set(dynamic_cast<T&>(*s));
        return s;
    }
    const tchannel& out(int back = 0) { return doc.channel(doc.totnchans() - 1 - back); }
    tsinglearr samples(int back = 0) { return out(back).samples_array(); }
    std::vector<std::string> status;
    void SetUp() override {
        tprocesstest::SetUp();  // the temporary folder
        runner.onstatus = [this](const std::string& s) { status.push_back(s); };
    }
};

tprocsteps one(std::unique_ptr<tprocstep> s) {
    tprocsteps v;
    v.push_back(std::move(s));
    return v;
}

TEST_F(tarithtest, PointwiseValuesNamesAndFormats) {
    make_channels(1, 5);
    set(0, {-4, -1, 0, 2, 9});
    doc.channel(0).nbits = 16;
    ASSERT_TRUE(through({0}, one(step("sqrt"))).ok);
    EXPECT_EQ(samples(), (tsinglearr{-2, -1, 0, std::sqrt(2.0f), 3}));
    EXPECT_EQ(out().name(), "Sqrt(ch0)");
    EXPECT_EQ(out().nbits, 32);
    EXPECT_EQ(status.back(), "Done ");  // nothing became infinite

    ASSERT_TRUE(through({0}, one(step("square"))).ok);
    EXPECT_EQ(samples(), (tsinglearr{16, 1, 0, 4, 81}));
    EXPECT_EQ(out().name(), "ch0^2");
    EXPECT_EQ(out().nbits, 16);  // unchanged

    ASSERT_TRUE(through({0}, one(step("abs"))).ok);
    EXPECT_EQ(samples(), (tsinglearr{4, 1, 0, 2, 9}));
    EXPECT_EQ(out().name(), "|ch0|");

    ASSERT_TRUE(through({0}, one(step<tclip>("clip", [](tclip& c) { c.max = 3; }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{-3, -1, 0, 2, 3}));
    EXPECT_EQ(out().name(), "ch0 clip abs < 3");
    ASSERT_TRUE(through({0}, one(step<tclip>("clip", [](tclip& c) {
                            c.symmetrical = false;
                            c.usemax = false;
                            c.min = -2;
                        }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{-2, -1, 0, 2, 9}));
    EXPECT_EQ(out().name(), "ch0 clip x > -2");

    ASSERT_TRUE(through({0}, one(step<tquantize>("quantize", [](tquantize& q) {
                            q.method = 1;
                            q.absolutesize = 4;
                        }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{-4, 0, 0, 0, 8}));  // halves to even: 2/4 -> 0
    EXPECT_EQ(out().name(), "ch0 Qstep=4");
    doc.channel(0).set_fsd(10);
    ASSERT_TRUE(through({0}, one(step<tquantize>("quantize", [](tquantize& q) { q.nsteps = 4; }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{-5, 0, 0, 0, 10}));  // q = 2 * 10 / 4
    EXPECT_EQ(out().name(), "ch0 Qn=4");

    ASSERT_TRUE(through({0}, one(step<tthreshold>("threshold", [](tthreshold& t) {
                            t.hithres = 1;
                            t.outhi = 5;
                            t.outlo = -5;
                        }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{-5, -5, -5, 5, 5}));
    EXPECT_EQ(out().name(), "ch0 Threshold 1");
}

TEST_F(tarithtest, LogarithmAndExponential) {
    make_channels(1, 5);
    set(0, {2, 0, -3, 1, 4});
    ASSERT_TRUE(through({0}, one(step("log"))).ok);
    EXPECT_EQ(samples(), (tsinglearr{1200, -1e10f, -1e10f, 0, 2400}));
    EXPECT_EQ(out().name(), "ch0 logarithm");
    EXPECT_EQ(status.back(), "Done ");  // the limit stands in for the log of 0: no note
    ASSERT_TRUE(through({0}, one(step<tlogarithm>("log", [](tlogarithm& l) {
                            l.a = 20;
                            l.base = 2;
                            l.b = 1;
                            l.minvalue = -100;
                            l.yunit = "dB";
                        }))).ok);
    EXPECT_FLOAT_EQ(samples()[0], static_cast<float>(20 * std::log10(2.0)));
    EXPECT_EQ(samples()[1], -100);
    EXPECT_EQ(out().yunit(), "dB");

    set(0, {1200, 0, -2400, 12000, 1e6});
    ASSERT_TRUE(through({0}, one(step<tlogarithm>("exp", [](tlogarithm& l) { l.b = 440; }))).ok);
    EXPECT_FLOAT_EQ(samples()[0], 880);
    EXPECT_FLOAT_EQ(samples()[2], 110);
    EXPECT_FLOAT_EQ(samples()[3], 440 * 1024);
    EXPECT_TRUE(std::isinf(samples()[4]));  // as the formula gives, and said
    EXPECT_EQ(status.back(), "Done (Exponential (): 1 sample became infinite or not a number)");

    const tprocresult r = through({0}, one(step<tlogarithm>("log", [](tlogarithm& l) { l.b = 0; })));
    EXPECT_EQ(r.error, "Logarithm (): Constant B must be above 0");
}

TEST_F(tarithtest, ConstantsDelayAndReverseWithLabels) {
    make_channels(3, 4);
    ASSERT_TRUE(through({0, 1, 2}, one(step<tadd>("add", [](tadd& a) { a.values = {1, 2}; }))).ok);
    EXPECT_EQ(samples(2), tsinglearr(4, 2.0f));  // 1 + 1
    EXPECT_EQ(samples(1), tsinglearr(4, 4.0f));  // 2 + 2
    EXPECT_EQ(samples(0), tsinglearr(4, 4.0f));  // 3 + 1
    EXPECT_EQ(out(2).name(), "ch0 + 1");

    ASSERT_TRUE(through({0}, one(step<tmultiply>("mul", [](tmultiply& m) { m.values = {-2.5}; }))).ok);
    EXPECT_EQ(samples(), tsinglearr(4, -2.5f));
    EXPECT_EQ(out().name(), "ch0 * -2.5");

    tsiglabel l;
    l.time = 0.001;
    l.duration = 0.0015;
    l.text = "a";
    doc.channel(0).labels = {l};
    set(0, {1, 2, 3, 4});
    ASSERT_TRUE(through({0}, one(step("reverse"))).ok);
    EXPECT_EQ(samples(), (tsinglearr{4, 3, 2, 1}));
    ASSERT_EQ(out().labels.size(), 1u);
    EXPECT_NEAR(out().labels[0].time, 0.004 - 0.001 - 0.0015, 1e-12);  // n/fs - t - d
    EXPECT_EQ(out().name(), "ch0 reverse");

    ASSERT_TRUE(through({0}, one(step<tdelay>("delay", [](tdelay& d) { d.values = {0.5}; }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{1, 2, 3, 4}));
    EXPECT_EQ(out().xshift, 500);
    EXPECT_NEAR(out().labels[0].time, 0.501, 1e-12);
    EXPECT_EQ(out().name(), "ch0 delayed 0.5 s");
}

// A user's number that would move a signal further than a time shift can
// hold is refused naming the field, before the channel changes; a shift
// just inside the range is kept exactly (no wrap-around to the other end).
TEST_F(tarithtest, ShiftsThatDoNotFitAreRefusedNamingTheField) {
    make_channels(1, 4);
    doc.channel(0).sampfreq = 44100;
    const tsinglearr before = doc.channel(0).samples_array();
    const int nchans = doc.totnchans();
    // 1e5 s at 44.1 kHz is 4.41e9 samples.
    tprocresult r = through({0}, one(step<tdelay>("delay", [](tdelay& d) { d.values = {1e5}; })));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Delay [s] 100000 s at 44100 Hz"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("4410000000"), std::string::npos) << r.error;
    EXPECT_EQ(doc.totnchans(), nchans);
    EXPECT_EQ(doc.channel(0).samples_array(), before);
    EXPECT_EQ(doc.channel(0).xshift, 0);
    r = through({0}, one(step<tdelay>("delay", [](tdelay& d) { d.values = {-1e5}; })));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("-4410000000"), std::string::npos) << r.error;

    // 48000 s is 2116800000 samples: inside, and kept to the sample.
    ASSERT_TRUE(through({0}, one(step<tdelay>("delay", [](tdelay& d) { d.values = {48000}; }))).ok);
    EXPECT_EQ(out().xshift, 2116800000LL);
    // A second delay that would carry it past the range is refused.
    r = through({doc.totnchans() - 1}, one(step<tdelay>("delay", [](tdelay& d) { d.values = {1000}; })));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("time shift"), std::string::npos) << r.error;

    // A channel shifted further than a working signal can be is refused by
    // the load step and by the channel arithmetic, naming the channel.
    doc.channel(0).xshift = 3000000000LL;
    r = through({0}, {});
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Channel 0"), std::string::npos) << r.error;
    doc.channel(0).xshift = -3000000000LL;
    doc.set_totnchans(2);
    doc.channel(1).sampfreq = 44100;
    doc.channel(1).set_samples({1, 2});
    r = through({1}, one(step<taddchannel>("addch", [](taddchannel& a) { a.channo = {0}; })));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Channel 0"), std::string::npos) << r.error;
}

TEST_F(tarithtest, MinMaxAlignsByTime) {
    make_channels(2, 4);
    set(0, {1, 5, -1, 0});
    set(1, {2, 2, 2, 2});
    doc.channel(1).xshift = 2;
    doc.channel(1).set_yunit("Pa");
    ASSERT_TRUE(through({0, 1}, one(step("max"))).ok == false);  // one output, two saves
    steps.pop_back();
    add<tsavechannel>("save").fsdmode = fsdkeep;
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(samples(), (tsinglearr{1, 5, 2, 2, 2, 2}));
    EXPECT_EQ(out().name(), "Max(ch0, ch1)");
    EXPECT_EQ(out().yunit(), "");
    EXPECT_EQ(out().fsd(), 2);
    dynamic_cast<tmax&>(*steps[1]).operation = 1;
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(samples(), (tsinglearr{1, 5, -1, 0, 2, 2}));
    EXPECT_EQ(out().name(), "Min(ch0, ch1)");
    doc.channel(1).sampfreq = 2000;
    EXPECT_EQ(run().error, "MinMax: Sampling rates must be identical");
}

TEST_F(tarithtest, ChannelArithmeticAlignsByTimeAndHandlesZeroDivisors) {
    make_channels(3, 10);
    doc.channel(1).xshift = 5;
    ASSERT_TRUE(through({0}, one(step<tchannelarith>("addch", [](tchannelarith& a) { a.channo = {1}; }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{1, 1, 1, 1, 1, 3, 3, 3, 3, 3, 2, 2, 2, 2, 2}));
    EXPECT_EQ(out().name(), "(ch0) + (ch1)");
    EXPECT_EQ(out().xshift, 0);

    // A channel shorter than the input, holding zeros: the tail is divided
    // by 1, the zeros give 0 and the status says how many.
    doc.channel(2).set_samples({2, 0, 0, 4});
    ASSERT_TRUE(through({1}, one(step<tchannelarith>("divch", [](tchannelarith& a) { a.channo = {2}; }))).ok);
    EXPECT_EQ(out().xshift, 0);
    // Channel 1 starts at 5: before it the input counts as 0.
    EXPECT_EQ(samples(), (tsinglearr{0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
    doc.channel(1).xshift = 0;
    ASSERT_TRUE(through({1}, one(step<tchannelarith>("divch", [](tchannelarith& a) { a.channo = {2}; }))).ok);
    EXPECT_EQ(samples(), (tsinglearr{1, 0, 0, 0.5, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(status.back(), "Done (Divide by channel 2: 2 samples divided by 0 set to 0)");
    EXPECT_EQ(out().name(), "(ch1) / (ch2)");

    // A tiny divisor overflows: the quotient is infinite, as division gives,
    // and counted.
    doc.channel(2).set_samples({1e-39f, 1});
    ASSERT_TRUE(through({1}, one(step<tchannelarith>("divch", [](tchannelarith& a) { a.channo = {2}; }))).ok);
    EXPECT_TRUE(std::isinf(samples()[0]));
    EXPECT_EQ(status.back(),
              "Done (Divide by channel 2: 1 sample became infinite or not a number)");

    ASSERT_TRUE(through({0, 1}, one(step<tchannelarith>("mulch", [](tchannelarith& a) { a.channo = {1, 0}; }))).ok);
    EXPECT_EQ(samples(1), tsinglearr(10, 2.0f));
    EXPECT_EQ(samples(0), tsinglearr(10, 2.0f));
    ASSERT_TRUE(through({0}, one(step<tchannelarith>("subch", [](tchannelarith& a) { a.channo = {1}; }))).ok);
    EXPECT_EQ(samples(), tsinglearr(10, -1.0f));

    EXPECT_EQ(through({0}, one(step<tchannelarith>("subch", [](tchannelarith& a) { a.channo = {99}; }))).error,
              "Channel 99 does not exist");
    doc.channel(2).sampfreq = 8000;
    EXPECT_EQ(through({0}, one(step<tchannelarith>("mulch", [](tchannelarith& a) { a.channo = {2}; }))).error,
              "Sampling rates must be the same to multiply channels(1000 vs 8000)");
    EXPECT_EQ(through({0}, one(step<tchannelarith>("addch", [](tchannelarith& a) { a.channo = {2}; }))).error,
              "Sampling rates must be the same to add channels (1000 vs 8000)");
}

TEST_F(tarithtest, HysteresisSwitchesAtItsTwoThresholds) {
    make_channels(1, 1000);
    tsinglearr wave(1000);
    for (int j = 0; j < 1000; ++j) wave[j] = static_cast<float>(0.5 + 0.5 * std::sin(j * 0.01));
    doc.channel(0).set_samples(wave);
    ASSERT_TRUE(through({0}, one(step<tthreshold>("threshold", [](tthreshold& t) {
                            t.lothres = 0.2;
                            t.hithres = 0.8;
                            t.usehysteresis = true;
                        }))).ok);
    const tsinglearr x = doc.channel(0).samples_array(), y = samples();
    bool high = false;
    int switches = 0;
    for (int j = 0; j < 1000; ++j) {
        const bool h = y[j] == 1;
        if (h != high) {
            EXPECT_TRUE(h ? x[j] > 0.8f : x[j] < 0.2f) << j;
            ++switches;
        }
        high = h;
    }
    EXPECT_GE(switches, 2);
    EXPECT_EQ(out().name(), "ch0 Threshold 0.2 & 0.8");
}

TEST_F(tarithtest, ListTextsAndForms) {
    tclip c;
    EXPECT_EQ(c.get_procname(), "Clip (abs < 1)");
    c.symmetrical = false;
    EXPECT_EQ(c.get_procname(), "Clip (-1 < x < 1)");
    c.usemax = c.usemin = false;
    EXPECT_EQ(c.get_procname(), "Clip (disabled)");
    auto cf = c.settings_form();
    EXPECT_EQ(cf->caption, "Clipping amplitude");
    cf->set_checked("symmetrical", true);
    EXPECT_FALSE(cf->field("min").enabled);
    cf->set_text("max", "-1");
    EXPECT_THROW(c.apply_form(*cf), EProcessError);

    tquantize q;
    EXPECT_EQ(q.get_procname(), "Qn=255");
    auto qf = q.settings_form();
    qf->set_text("nsteps", "0");
    EXPECT_EQ(qf->number_problem("nsteps"),
              "Number of quantization steps must be a number from 1 to 1000000000");
    EXPECT_THROW(q.apply_form(*qf), EProcessError);
    EXPECT_EQ(q.nsteps, 255);

    tdelay d;
    auto df = d.settings_form();
    EXPECT_EQ(df->caption, "Delay");
    EXPECT_EQ(df->field("values").caption, "Delay [s]");
    df->set_text("values", "0.5 -1e-3");
    d.apply_form(*df);
    EXPECT_EQ(d.get_procname(), "Delay 0.5 -0.001 s");
    df->set_text("values", " ");
    EXPECT_THROW(d.apply_form(*df), EProcessError);

    tmultiplychannel m;
    EXPECT_EQ(m.settings_form()->caption, "Muliply by channel");
    auto mf = m.settings_form();
    mf->set_text("channo", "1 3");
    m.apply_form(*mf);
    EXPECT_EQ(m.get_procname(), "Multiply by channel 1 3");
    mf->set_text("channo", "S");
    EXPECT_THROW(m.apply_form(*mf), EProcessError);

    tlogarithm l;
    auto lf = l.settings_form();
    EXPECT_EQ(lf->text("formula"), "y = A * log2 (x/B)");
    lf->set_index("base", 2);
    EXPECT_EQ(lf->text("formula"), "y = A * log10 (x/B)");
    lf->press("decibel");  // reference 2e-5
    EXPECT_EQ(lf->text("a"), "20");
    EXPECT_EQ(lf->text("b"), "0.00002");
    EXPECT_EQ(lf->index("base"), 2);
    EXPECT_EQ(lf->text("yunit"), "dB re 2e-5");
    lf->set_text("semitones_ref", "A3");
    lf->press("semitones");
    EXPECT_EQ(lf->text("b"), "220");
    EXPECT_EQ(lf->text("yunit"), "ST re A3");
    EXPECT_EQ(lf->text("formula"), "y = A * log2 (x/B)");
    lf->set_text("cents_ref", "H2");
    lf->press("cents");
    EXPECT_TRUE(lf->field("problem").visible);
    EXPECT_EQ(lf->text("a"), "12");  // unchanged
    l.apply_form(*lf);
    EXPECT_EQ(l.get_procname(), "Logarithm (ST re A3)");
    lf->set_text("a", "0");
    EXPECT_THROW(l.apply_form(*lf), EProcessError);
    EXPECT_EQ(texp().settings_form()->text("formula"), "y = B*exp(x/A)");

    tcomment k;
    auto kf = k.settings_form();
    EXPECT_EQ(kf->caption, "Edit comment");
    kf->set_text("comment", "vowels");
    k.apply_form(*kf);
    EXPECT_EQ(k.get_procname(), "   vowels");
    EXPECT_EQ(treverse().settings_form(), nullptr);
}

// A process file can hold "NAN" or "INF" where a term, factor or delay
// belongs. Reading it stops naming the key, and no channel is made or
// changed.
TEST_F(tarithtest, AValueFromAFileThatIsNoNumberIsRefused) {
    for (const char* id : {"add", "mul", "delay"}) {
        for (const char* bad : {"NAN", "INF", "-inf"}) {
            SCOPED_TRACE(std::string(id) + " " + bad);
            make_channels(2, 4);
            const std::string key = std::string(id) == "add" ? "Term" : std::string(id) == "mul" ? "Factor" : "DelaySecs";
            std::ofstream(path("p.tessalproc"))
                << "[Common]\nnsteps=3\n[Step_0]\nprocid=load\nnChans=2\nChanno0=0\nChanno1=1\n"
                << "[Step_1]\nprocid=" << id << "\nnChans=2\n" << key << "0=1\n" << key << "1=" << bad << "\n"
                << "[Step_2]\nprocid=save\nnChans=2\nChanno0=-1\nChanno1=-1\n";
            // The file is refused as it is read, naming the key, so no run
            // starts; a value set otherwise is refused by the run itself.
            steps.clear();
            try {
                open_process_file(path("p.tessalproc"), steps, 44100);
                ADD_FAILURE() << "read";
            } catch (const std::runtime_error& e) {
                EXPECT_NE(std::string(e.what()).find(key + "1"), std::string::npos) << e.what();
            }
            EXPECT_EQ(doc.totnchans(), 2);
            EXPECT_EQ(doc.channel(1).samples_array(), tsinglearr(4, 2.0f));
        }
    }
}

}  // namespace
}  // namespace tessal::testing
