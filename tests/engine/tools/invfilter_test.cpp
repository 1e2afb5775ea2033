// Inverse filtering: the cascade recovers a synthetic vowel's glottal flow
// and derivative, the cascade's structure, filter files, and making
// channels.
#include "engine/tools/invfilter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "engine/core/tdocument.h"
#include "engine/jobs/jobline.h"
#include "engine/tools/channelsegment.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"
#include "jobprobe.h"
#include "lfvowel.h"

namespace tessal {
namespace {

using testing::correlation;
using testing::make_vowel;
using testing::tlfcycle;
using testing::tresonance;
using testing::tvowel;

const std::vector<tresonance> vowel_formants = {{600, 60}, {1100, 80}, {2500, 120}, {3500, 180}};

std::vector<tlfcycle> varied_cycles() {
    return {{0.0085, 0.45, 0.60, 0.020, 0.70, 1.0},
            {0.0081, 0.40, 0.55, 0.030, 0.68, 1.2},
            {0.0089, 0.48, 0.62, 0.015, 0.72, 0.9},
            {0.0083, 0.42, 0.58, 0.025, 0.75, 1.1}};
}

void load_mic(tinvfilter& f, const tvowel& v, double at) {
    const long long base = std::llround(at * v.fs);
    f.signaltype = tinvsignaltype::mic;
    f.load_samples(v.fs, [&](int i) { return v.mic[static_cast<std::size_t>(base + i)]; });
}

struct trecovery {
    double rder, rflow;
};

trecovery recover(const tvowel& v, double at, const std::vector<tresonance>& guess) {
    tinvfilter f;
    for (const tresonance& r : guess) f.add_element(false, r.f, r.bw);
    f.set_sampfreq(v.fs);
    f.rebuild_cascade();
    load_mic(f, v, at);
    f.recompute_outputs();
    const long long base = std::llround(at * v.fs);
    // The first difference stands for the derivative half a sample back.
    std::vector<double> trueder(invfilter_seglen + 1), trueflow(invfilter_seglen + 1);
    for (int i = 0; i <= invfilter_seglen; ++i) {
        trueder[i] = v.der_at((static_cast<double>(base + i) - 0.5) / v.fs);
        trueflow[i] = v.flow[static_cast<std::size_t>(base + i)];
    }
    const double* der = f.invderarr.data() + invfilter_lead;
    const double* flow = f.invflowarr.data() + invfilter_lead;
    return {correlation(der, trueder.data(), trueder.size()),
            correlation(flow, trueflow.data(), trueflow.size())};
}

TEST(InverseFilterTruth, TrueFormantsRecoverFlowAndDerivative) {
    const tvowel v = make_vowel(16000, 2.0, varied_cycles(), vowel_formants);
    const trecovery r = recover(v, 0.5, vowel_formants);
    std::printf("correlation with the model: derivative %.5f, flow %.5f\n", r.rder, r.rflow);
    EXPECT_GT(r.rder, 0.99);
    EXPECT_GT(r.rflow, 0.98);

    // Formants 15 % off leave ripple the model has not got.
    std::vector<tresonance> off = vowel_formants;
    for (tresonance& x : off) x.f *= 1.15;
    const trecovery w = recover(v, 0.5, off);
    std::printf("with formants 15 %% too high: derivative %.5f, flow %.5f\n", w.rder, w.rflow);
    EXPECT_LT(w.rder, r.rder - 0.02);
}

TEST(InverseFilterTruth, FlowSignalDifferentiatesAndFilters) {
    // A flow signal (as from a mask) through one resonance: the derivative
    // is the first difference times fs, and the cascade undoes the tract.
    const tvowel v = make_vowel(16000, 2.0, varied_cycles(), {});
    std::vector<double> tract = v.flow;
    const double fs = v.fs, f = 700, bw = 90;
    const double C = -std::exp(-2 * M_PI * bw / fs), B = 2 * std::exp(-M_PI * bw / fs) * std::cos(2 * M_PI * f / fs);
    double y1 = 0, y2 = 0;
    for (double& x : tract) {
        const double y = (1 - B - C) * x + B * y1 + C * y2;
        y2 = y1, y1 = y, x = y;
    }
    tinvfilter flt;
    flt.signaltype = tinvsignaltype::flow;
    flt.add_element(false, f, bw);
    const long long base = 8000;
    flt.load_samples(fs, [&](int i) { return tract[static_cast<std::size_t>(base + i)]; });
    flt.rebuild_cascade();
    flt.recompute_outputs();
    EXPECT_DOUBLE_EQ(tinvfilter::at(flt.derarr, 10), (tract[base + 10] - tract[base + 9]) * fs);
    const double r = correlation(flt.invflowarr.data() + invfilter_lead, v.flow.data() + base, invfilter_seglen);
    EXPECT_GT(r, 0.9999);
}

TEST(InverseFilterCascade, SlotsAndSkippedElements) {
    tinvfilter f;
    f.set_sampfreq(16000);
    f.add_element(false, 700, 80);
    f.add_element(true, 1500, 100);
    f.add_element(false, 1200, 90);
    f.rebuild_cascade();
    const auto memo = f.memo_lines();
    ASSERT_EQ(f.invfilters.size(), 2u);
    EXPECT_EQ(f.invfilters[0].GetFilterType(), tfiltertype::ftboth);
    EXPECT_EQ(f.invfilters[1].GetFilterType(), tfiltertype::ftzero);
    EXPECT_DOUBLE_EQ(f.invfilters[0].GetZeroF0(), 700);
    EXPECT_DOUBLE_EQ(f.invfilters[0].GetPoleF0(), 1500);
    EXPECT_DOUBLE_EQ(f.invfilters[1].GetZeroF0(), 1200);
    ASSERT_EQ(memo.size(), 3u);
    EXPECT_EQ(memo[0], "F1: f=700 Hz, BW=80 Hz");
    EXPECT_EQ(memo[1], "F2: f=1200 Hz, BW=90 Hz");
    EXPECT_EQ(memo[2], "Z3: f=1500 Hz, BW=100 Hz");

    // An element added above fs/2 (a grey handle) changes nothing.
    const tvowel v = make_vowel(16000, 1.5, varied_cycles(), vowel_formants);
    load_mic(f, v, 0.3);
    f.recompute_outputs();
    const std::vector<double> before = f.invderarr;
    f.add_element(false, 9000, 300);
    f.rebuild_cascade();
    EXPECT_EQ(f.memo_lines().size(), 3u);
    f.recompute_outputs();
    EXPECT_EQ(f.invderarr, before);

    // Deleting swaps with the last and sorts again.
    f.delete_element(0);
    ASSERT_EQ(f.formants.size(), 3u);
    EXPECT_DOUBLE_EQ(f.formants[0].f0, 1200);
    EXPECT_DOUBLE_EQ(f.formants[2].f0, 9000);
}

TEST(InverseFilterCascade, MovingFollowsTheElementThroughTheSort) {
    tinvfilter f;
    f.add_element(false, 500, 50);
    f.add_element(false, 1500, 80);
    f.add_element(false, 2500, 100);
    int i = f.set_element(0, 2000, 60);
    EXPECT_EQ(i, 1);
    EXPECT_DOUBLE_EQ(f.formants[1].f0, 2000);
    i = f.set_element(i, 3000, 60);
    EXPECT_EQ(i, 2);
    // Handles: level 20 log10(f/bw) and back.
    EXPECT_NEAR(handle_level(1000, 100), 20.0, 1e-12);
    EXPECT_NEAR(bandwidth_at_level(1000, 20.0), 100.0, 1e-9);
    EXPECT_EQ(handle_level(0, 100), 200.0);
}

TEST(InverseFilterCascade, SpectrumOfTheCascadeIsTheTract) {
    // The negated spectrum of the impulse response peaks at the formants.
    tinvfilter f;
    f.set_sampfreq(16000);
    f.add_element(false, 1000, 60);
    f.rebuild_cascade();
    f.recompute_outputs();
    EXPECT_EQ(f.invfilterarr.size(), 1600u);
    tinvspectrum sp;
    f.filter_spectrum(sp);
    ASSERT_FALSE(sp.db.empty());
    std::size_t best = 0;
    for (std::size_t j = 0; j < sp.db.size(); ++j)
        if (sp.db[j] > sp.db[best]) best = j;
    EXPECT_NEAR(sp.freq[best], 1000, 16);
    // Fewer than three samples: no spectrum.
    tinvspectrum s2;
    f.signal_spectrum(f.derarr, 0, 2, s2);
    EXPECT_TRUE(s2.db.empty());
}

TEST(InverseFilterMessages, RateWarningsAndGuides) {
    EXPECT_EQ(sampling_rate_warning(44100),
              "The signal has a very high sampling rate (44100 Hz), you may want to change it to eg 16000 Hz.");
    EXPECT_EQ(sampling_rate_warning(3000),
              "The signal has a very low sampling rate (3000 Hz), you may want to use another signal.");
    EXPECT_EQ(sampling_rate_warning(16000), "");
    const auto lo = bandwidth_guide(false);
    ASSERT_EQ(lo.size(), 13u);
    EXPECT_EQ(lo.front(), std::make_pair(100.0, 25.0));
    EXPECT_EQ(lo[1], std::make_pair(200.0, 25.0));
    EXPECT_EQ(lo[2], std::make_pair(400.0, 25.0));
    EXPECT_EQ(lo.back(), std::make_pair(4000.0, 100.0));
    EXPECT_EQ(bandwidth_guide(true).back(), std::make_pair(4000.0, 400.0));
}

class InverseFilterFiles : public testing::ttempdirtest {};

TEST_F(InverseFilterFiles, ForFileRoundTripAndDefaults) {
    tinvfilter f;
    f.add_element(false, 612.5, 55);
    f.add_element(true, 1800, 120);
    ASSERT_TRUE(f.write_for_file(path("a.for"), "1.0"));
    tinvfilter g;
    ASSERT_TRUE(g.read_for_file(path("a.for")));
    ASSERT_EQ(g.formants.size(), 2u);
    EXPECT_DOUBLE_EQ(g.formants[0].f0, 612.5);
    EXPECT_FALSE(g.formants[0].iszero);
    EXPECT_TRUE(g.formants[1].iszero);
    EXPECT_DOUBLE_EQ(g.formants[1].bw, 120);

    std::ofstream(path("b.for")) << "[Common]\nnFormants=3\n";
    ASSERT_TRUE(g.read_for_file(path("b.for")));
    ASSERT_EQ(g.formants.size(), 3u);
    EXPECT_DOUBLE_EQ(g.formants[0].f0, 0);
    EXPECT_DOUBLE_EQ(g.formants[1].f0, 500);
    EXPECT_DOUBLE_EQ(g.formants[2].f0, 1000);
    EXPECT_DOUBLE_EQ(g.formants[2].bw, 100);
    g.set_sampfreq(16000);
    // The one at 0 Hz is left out of the cascade and the list.
    g.rebuild_cascade();
    EXPECT_EQ(g.memo_lines().size(), 2u);
    EXPECT_EQ(g.invfilters.size(), 3u);
    EXPECT_EQ(g.invfilters[0].GetZeroF0(), 500);

    // A file that does not exist leaves the elements as they were.
    std::string err;
    EXPECT_FALSE(g.read_for_file(path("none.for"), &err));
    EXPECT_EQ(g.formants.size(), 3u);
    EXPECT_FALSE(err.empty());

    std::string head, line;
    g.log_lines("x.wav", "mic", "0.500", 5, head, line);
    EXPECT_EQ(head, "File name\tChannel\tTime [s]\tF1 [Hz]\tF2 [Hz]\tB1 [Hz]\tB2 [Hz]\t");
    EXPECT_EQ(line, "x.wav\tmic\t0.500\t500\t1000\t100\t100\t");
}

// A bandwidth of 0 or less would put an inverse zero's pole on or outside
// the unit circle (the flow grows to infinity). Such a file is refused
// naming the key and the section, and the filter keeps its elements; an
// element at 0 Hz, which the filter never uses, may carry any bandwidth.
TEST_F(InverseFilterFiles, ABandwidthOfZeroOrLessIsRefused) {
    for (const char* bw : {"-700", "0", "-1e-300"}) {
        for (const char* zero : {"1", "0"}) {
            SCOPED_TRACE(std::string(bw) + " zero " + zero);
            tinvfilter g;
            g.add_element(false, 700, 80);
            std::ofstream(path("bad.for")) << "[Common]\nnFormants=2\n[Formant0]\nIsZero=0\nF0=900\nBandwidth=70\n"
                                           << "[Formant1]\nIsZero=" << zero << "\nF0=1500\nBandwidth=" << bw << "\n";
            std::string err;
            EXPECT_FALSE(g.read_for_file(path("bad.for"), &err));
            EXPECT_NE(err.find("\"Bandwidth\" of Formant1"), std::string::npos) << err;
            ASSERT_EQ(g.formants.size(), 1u);
            EXPECT_EQ(g.formants[0].f0, 700);
        }
    }
    std::ofstream(path("unused.for")) << "[Common]\nnFormants=1\n[Formant0]\nIsZero=1\nF0=0\nBandwidth=-5\n";
    tinvfilter g;
    EXPECT_TRUE(g.read_for_file(path("unused.for")));
}

// A frequency, bandwidth or count that is there but is no number (nan, inf,
// a word) is damage, not a missing key: it is refused naming the key and the
// section instead of being read as the default a missing key gets.
TEST_F(InverseFilterFiles, ANumberThatIsNoNumberIsRefusedNamingTheKey) {
    const std::string good = "[Formant0]\nIsZero=0\nF0=900\nBandwidth=70\n";
    struct tbad {
        std::string text, named;
    };
    std::vector<tbad> cases;
    for (const char* v : {"nan", "-nan", "inf", "-inf", "1e999", "abc"}) {
        cases.push_back({"[Common]\nnFormants=1\n[Formant0]\nIsZero=0\nF0=" + std::string(v) + "\nBandwidth=70\n",
                         "\"F0\" of Formant0"});
        cases.push_back({"[Common]\nnFormants=1\n[Formant0]\nIsZero=1\nF0=900\nBandwidth=" + std::string(v) + "\n",
                         "\"Bandwidth\" of Formant0"});
        cases.push_back({"[Common]\nnFormants=" + std::string(v) + "\n" + good, "\"nFormants\""});
    }
    for (const tbad& c : cases) {
        SCOPED_TRACE(c.text);
        tinvfilter g;
        g.add_element(false, 700, 80);
        std::ofstream(path("bad.for")) << c.text;
        std::string err;
        EXPECT_FALSE(g.read_for_file(path("bad.for"), &err));
        EXPECT_NE(err.find(c.named), std::string::npos) << err;
        ASSERT_EQ(g.formants.size(), 1u);
        EXPECT_EQ(g.formants[0].f0, 700);
    }
    // Keys that are not there still take their defaults.
    std::ofstream(path("short.for")) << "[Common]\nnFormants=1\n[Formant0]\nF0=800\n";
    tinvfilter g;
    ASSERT_TRUE(g.read_for_file(path("short.for")));
    EXPECT_EQ(g.formants.at(0).bw, 100);
}

tdocument& vowel_document(tdocument& doc, const tvowel& v, const std::string& unit) {
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.set_name("mic");
    ch.set_yunit(unit);
    ch.sampfreq = v.fs;
    ch.set_samples(tsinglearr(v.mic.begin(), v.mic.end()));
    return doc;
}

TEST(InverseFilterMake, EntireFileToTwoNewChannels) {
    const tvowel v = make_vowel(16000, 1.0, varied_cycles(), vowel_formants);
    tdocument doc;
    vowel_document(doc, v, "Pa");
    tinvfilter f;
    for (const tresonance& r : vowel_formants) f.add_element(false, r.f, r.bw);
    testing::tscriptedprompter ask;
    tinvmakeoptions opt;
    opt.range = tinvrange::entire;
    opt.distance_cm = 50;
    const tinvmakeresult res = make_invfilter_channels(doc, 0, f, opt, ask);
    ASSERT_TRUE(res.made);
    ASSERT_EQ(doc.totnchans(), 3);
    EXPECT_EQ(res.flowchanno, 1);
    EXPECT_EQ(res.derchanno, 2);
    const tchannel& fl = doc.channel(1);
    const tchannel& dr = doc.channel(2);
    EXPECT_EQ(fl.name(), "mic inverse filtered flow");
    EXPECT_EQ(dr.name(), "mic inverse filtered flow derivative");
    EXPECT_EQ(fl.yunit(), "l/s");
    EXPECT_EQ(dr.yunit(), "l/s2");
    EXPECT_EQ(fl.sample_count(), static_cast<std::int64_t>(v.mic.size()));
    EXPECT_EQ(fl.created().origin, "Tessal inverse filter");
    // The derivative channel is the tract removed and scaled: r 4 pi / rho
    // 1000 times the model's derivative.
    const double scale = 0.5 * 4 * M_PI / 1.204 * 1000;
    EXPECT_NEAR(invfilter_scale(tinvsignaltype::mic, true, " pa ", 50), scale, 1e-9);
    std::vector<double> d(8000), t(8000);
    for (int i = 0; i < 8000; ++i) {
        d[i] = dr.sample(4000 + i) / scale;
        t[i] = v.der_at((4000 + i - 0.5) / v.fs);
    }
    EXPECT_GT(correlation(d.data(), t.data(), d.size()), 0.99);
    // Auto FSD: the peak.
    float pk = 0;
    for (float x : dr.samples_array()) pk = std::max(pk, std::fabs(x));
    EXPECT_FLOAT_EQ(static_cast<float>(dr.fsd()), pk);
    // The label with the filter's elements.
    ASSERT_EQ(fl.labels.size(), 1u);
    EXPECT_EQ(fl.labels[0].text, "Inverse filter");
    EXPECT_EQ(fl.labels[0].labeltype, "invfilt");
    EXPECT_DOUBLE_EQ(fl.labels[0].duration, 1.0);
    ASSERT_EQ(fl.labels[0].entities.no.size(), 8u);
    EXPECT_EQ(fl.labels[0].entities.no[0].entityname, "F1");
    EXPECT_EQ(fl.labels[0].entities.no[1].entityname, "B1");
    EXPECT_DOUBLE_EQ(fl.labels[0].entities.no[1].value, 60);
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(ask.asked.empty());
}

TEST(InverseFilterMake, PinkCursorsAskAndRangesStayInside) {
    const tvowel v = make_vowel(16000, 1.0, varied_cycles(), vowel_formants);
    tdocument doc;
    vowel_document(doc, v, "");
    doc.channel(0).cursors[7] = 0.6;
    doc.channel(0).cursors[8] = 0.4;
    tinvfilter f;
    f.add_element(false, 600, 60);
    testing::tscriptedprompter ask;
    tinvmakeoptions opt;
    opt.range = tinvrange::pink;
    opt.timecursor = 0.9;
    opt.savechanno = -1;
    opt.saveder = false;
    int logged = 0;
    opt.beforemaking = [&] { ++logged; };
    // No: nothing happens, not even the log.
    EXPECT_FALSE(make_invfilter_channels(doc, 0, f, opt, ask).made);
    ASSERT_EQ(ask.asked.size(), 1u);
    EXPECT_EQ(ask.asked[0].text,
              "The cursor is not positioned between the pink cursors,\r do you want to make the channels anyway?");
    EXPECT_EQ(ask.asked[0].caption, "Are the pink cursors positioned correctly?");
    EXPECT_EQ(doc.totnchans(), 1);
    EXPECT_FALSE(doc.modified());
    EXPECT_EQ(logged, 0);
    // Cursor inside: no question; only 0.4 ... 0.6 s written.
    opt.timecursor = 0.5;
    const tinvmakeresult res = make_invfilter_channels(doc, 0, f, opt, ask);
    ASSERT_TRUE(res.made);
    EXPECT_EQ(ask.asked.size(), 1u);
    EXPECT_EQ(logged, 1);
    const tchannel& fl = doc.channel(res.flowchanno);
    EXPECT_EQ(fl.yunit(), "");  // not converted
    EXPECT_EQ(fl.sample(6399), 0.0f);
    EXPECT_NE(fl.sample(6400), 0.0f);
    EXPECT_NE(fl.sample(9599), 0.0f);
    EXPECT_EQ(fl.sample(9600), 0.0f);
    EXPECT_DOUBLE_EQ(fl.labels.at(0).time, 0.4);

    // Bad targets are refused before anything changes.
    opt.savechanno = 7;
    EXPECT_THROW(make_invfilter_channels(doc, 0, f, opt, ask), std::runtime_error);
    opt.savechanno = 0;
    EXPECT_THROW(make_invfilter_channels(doc, 0, f, opt, ask), std::runtime_error);
    EXPECT_EQ(doc.totnchans(), 2);
}

TEST(InverseFilterMake, FlowSignalKeepsItsUnit) {
    EXPECT_EQ(invfilter_scale(tinvsignaltype::flow, true, "Pa", 30), 1.0);
    EXPECT_NEAR(invfilter_scale(tinvsignaltype::mic, true, "V", 50), 0.3 * 4 * M_PI / 1.204 * 1000, 1e-9);
    const tvowel v = make_vowel(16000, 0.5, varied_cycles(), {});
    tdocument doc;
    vowel_document(doc, v, "ml/s");
    tinvfilter f;
    f.signaltype = tinvsignaltype::flow;
    testing::tscriptedprompter ask;
    tinvmakeoptions opt;
    opt.range = tinvrange::entire;
    opt.autofsd = false;
    const tinvmakeresult res = make_invfilter_channels(doc, 0, f, opt, ask);
    EXPECT_EQ(doc.channel(res.flowchanno).yunit(), "ml/s");
    EXPECT_EQ(doc.channel(res.derchanno).yunit(), "ml/s/s");
    EXPECT_EQ(doc.channel(res.derchanno).fsd(), 1.0);
    // Derivative: forward difference times fs, the last value repeated.
    const tsinglearr d = doc.channel(res.derchanno).samples_array();
    const tsinglearr s = doc.channel(0).samples_array();
    EXPECT_FLOAT_EQ(d[100], static_cast<float>((static_cast<double>(s[101]) - s[100]) * 16000));
    EXPECT_EQ(d[d.size() - 1], d[d.size() - 2]);
}

TEST(InverseFilterMake, PiecesOfAnyLengthGiveTheSameChannels) {
    // The source is read piece by piece and the results written buffer by
    // buffer: cut at 7 samples, the channels made are the same bit for bit.
    const tvowel v = make_vowel(16000, 6.0, varied_cycles(), vowel_formants);
    std::vector<tsinglearr> made[2];
    for (int run = 0; run < 2; ++run) {
        tdocument doc;
        vowel_document(doc, v, "Pa");
        doc.channel(0).set_chunk_limit(run == 0 ? 0 : 7);
        tinvfilter f;
        for (const tresonance& r : vowel_formants) f.add_element(false, r.f, r.bw);
        testing::tscriptedprompter ask;
        tinvmakeoptions opt;
        opt.range = tinvrange::entire;
        const tinvmakeresult res = make_invfilter_channels(doc, 0, f, opt, ask);
        ASSERT_TRUE(res.made);
        for (int c : {res.flowchanno, res.derchanno}) {
            doc.channel(c).set_chunk_limit(run == 0 ? 0 : 7);
            made[run].push_back(doc.channel(c).samples_array());
        }
        EXPECT_EQ(made[run][0].size(), v.mic.size());
    }
    EXPECT_EQ(made[0], made[1]);
}

TEST(ChannelSegment, SamplesFromATimeOnZeroOutsideTheChannel) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = 1000;
    ch.xshift = 100;  // sample 0 at 0.1 s
    tsinglearr v(500);
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = static_cast<float>(k + 1);
    ch.set_samples(v);
    // From 0.05 s: 50 indices before the first sample, the last at i = 549.
    const tchannelsegment seg(ch, 0.05, -10, 600);
    for (int i = -10; i <= 600; ++i)
        ASSERT_EQ(seg(i), i >= 50 && i < 550 ? i - 49 : 0) << i;
    // A segment asked only for 0..9 from the middle.
    const tchannelsegment mid(ch, 0.3, 0, 9);
    for (int i = 0; i <= 9; ++i) EXPECT_EQ(mid(i), 201 + i);
    // The segment keeps its copy when the channel changes afterwards.
    ch.erase_samples(0, 500);
    EXPECT_EQ(mid(3), 204);
}


// The three steps give what the one call gives, from the samples as they
// were planned: the source changed after the plan does not reach the
// channels made.
TEST(InverseFilterMake, PlanComputeApplyReadTheSamplesOfThePlan) {
    const tvowel v = make_vowel(16000, 1.0, varied_cycles(), vowel_formants);
    tinvfilter f;
    for (const tresonance& r : vowel_formants) f.add_element(false, r.f, r.bw);
    testing::tscriptedprompter ask;
    tinvmakeoptions opt;
    opt.range = tinvrange::entire;
    tdocument once;
    vowel_document(once, v, "Pa");
    ASSERT_TRUE(make_invfilter_channels(once, 0, f, opt, ask).made);

    tdocument doc;
    vowel_document(doc, v, "Pa");
    const tinvmakeplan plan = plan_invfilter_channels(doc, 0, f, opt, ask);
    ASSERT_TRUE(plan.go);
    doc.channel(0).set_samples(tsinglearr(v.mic.size(), 0.0f));
    const tinvmakedata data = compute_invfilter_channels(plan);
    ASSERT_TRUE(apply_invfilter_channels(doc, plan, data).made);
    ASSERT_EQ(doc.totnchans(), 3);
    for (int c : {1, 2}) EXPECT_EQ(doc.channel(c).samples_array(), once.channel(c).samples_array()) << c;
}

// On a worker the computation reports a rising progress up to the end, and
// a cancel stops it at its next look, long before the end.
TEST(InverseFilterMake, ComputeReportsProgressAndStopsWhenCancelled) {
    tdocument doc;
    doc.set_totnchans(1);
    tchannel& ch = doc.channel(0);
    ch.sampfreq = 16000;
    tsinglearr s(4000000);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<float>(std::sin(i * 0.05) + 0.3 * std::sin(i * 0.31));
    ch.set_samples(std::move(s));
    tinvfilter f;
    f.add_element(false, 700, 80);
    f.add_element(false, 1200, 90);
    f.add_element(false, 2500, 120);
    testing::tscriptedprompter ask;
    tinvmakeoptions opt;
    opt.range = tinvrange::entire;
    const tinvmakeplan plan = plan_invfilter_channels(doc, 0, f, opt, ask);
    ASSERT_TRUE(plan.go);

    std::vector<int> seen = testing::progress_seen(
        [&](tjobcontext& job) {
            const tinvmakedata d = compute_invfilter_channels(plan, &job);
            EXPECT_EQ(d.flow.size(), 4000000u);
        },
        std::chrono::microseconds(200));
    EXPECT_EQ(seen.back(), 1000);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    std::sort(seen.begin(), seen.end());
    EXPECT_GE(std::unique(seen.begin(), seen.end()) - seen.begin(), 4);
    const testing::tcancelrun stopped =
        testing::cancel_once_started([&](tjobcontext& job) { compute_invfilter_channels(plan, &job); });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_LT(stopped.permille, 500);
}

TEST(InverseFilterCascade, ListAndStatusNameElementsAlike) {
    tinvfilter f;
    f.set_sampfreq(16000);
    f.add_element(false, 700.773860705073, 80.123456);
    f.add_element(true, 1500, 100);
    f.add_element(false, 1200, 90);
    f.add_element(false, 9000, 300);  // above fs/2: not in the list
    // Five significant digits, as the settings say by default.
    const auto memo = f.memo_lines(5);
    ASSERT_EQ(memo.size(), 3u);
    EXPECT_EQ(memo[0], "F1: f=700.77 Hz, BW=80.123 Hz");
    EXPECT_EQ(memo[1], "F2: f=1200 Hz, BW=90 Hz");
    EXPECT_EQ(memo[2], "Z3: f=1500 Hz, BW=100 Hz");
    // The status bar names each element the way the list does: the lowest
    // formant is F1, never F0.
    for (int i = 0; i < 3; ++i) {
        const std::string name = f.element_name(i);
        EXPECT_EQ(memo[static_cast<std::size_t>(i)].substr(0, name.size() + 1), name + ":");
    }
    EXPECT_EQ(f.element_status(0, 700.773860705073, 80.123456), "*F1=701 Hz, BW=80.12 Hz");
    EXPECT_EQ(f.element_status(2, 1500, 100), "*Z3=1500 Hz, BW=100.00 Hz");
    EXPECT_EQ(f.element_name(3), "");
    EXPECT_EQ(f.element_name(7), "");
}

}  // namespace
}  // namespace tessal
