#include <fstream>
#include <random>
#include <sstream>

#include "engine/process/f0step.h"
#include "engine/process/pointwisesteps.h"
#include "engine/process/processdocument.h"
#include "engine/process/processfile.h"
#include "engine/settings/tsetting.h"
#include "processfixture.h"

namespace tessal::testing {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class tprocfiletest : public ttempdirtest {};

TEST_F(tprocfiletest, EveryStepTypeReopensWithEveryKeyIdentical) {
    tprocsteps steps;
    for (int i = 0; i < 45; ++i)
        if (auto s = create_step(i, nullptr, 16000)) steps.push_back(std::move(s));
    // Parameters away from their defaults.
    auto& save = dynamic_cast<tsavechannel&>(*steps[1]);
    save.channo = {-1, 3, -2};
    save.channelname = "F0 [Hz]";
    save.usechannelname = true;
    save.yunit = "Hz";
    save.fsdmode = fsddbaboverms;
    save.rmsdbfsd = 12.5;
    save.stereochanno = {-3, 1};
    save.usestereochanno = false;
    dynamic_cast<tloadchannel&>(*steps[0]).loadlabels = false;
    dynamic_cast<tappendchannel&>(*steps[2]).fsdmode = fsdkeep;
    steps[4]->enabled = false;
    for (auto& s : steps)
        if (auto* d = dynamic_cast<tdelay*>(s.get())) d->values = {1.5, -2.25};
    for (auto& s : steps)
        if (auto* f = dynamic_cast<tf0*>(s.get())) f->nextractors = 7;
    save_process_file(path("a.tessalproc"), steps);

    tprocsteps back;
    open_process_file(path("a.tessalproc"), back);
    ASSERT_EQ(back.size(), 40u);
    EXPECT_FALSE(back[4]->enabled);
    EXPECT_EQ(dynamic_cast<tsavechannel&>(*back[1]).stereochanno, (tintarr{-3, 1}));
    save_process_file(path("b.tessalproc"), back);
    EXPECT_EQ(slurp(path("a.tessalproc")), slurp(path("b.tessalproc")));
    const std::string text = slurp(path("a.tessalproc"));
    EXPECT_NE(text.find("[Common]\nnsteps=40"), std::string::npos) << text.substr(0, 80);
    EXPECT_NE(text.find("StereoChannos=C 1"), std::string::npos);
    EXPECT_NE(text.find("DelaySecs1="), std::string::npos);
    auto& f0 = dynamic_cast<tf0&>(*back[find_procid("f0") - 2]);
    EXPECT_EQ(f0.nextractors, 7);
    EXPECT_NE(text.find("nExtractors= 7.00000000000000E+0000"), std::string::npos);
}

TEST_F(tprocfiletest, HandWrittenFileKeysIgnoreCaseAndUnknownsAreHarmless) {
    spit(path("h.tessalproc"),
         "; written by hand\n"
         "[common]\nNSTEPS=3\nAuthor=me\n"
         "[Extra]\nfoo=bar\n"
         "[step_0]\nPROCID=load\nchanno=2\nloadlabels=0\nColour=red\n"
         "[Step_1]\nprocid=save\nenabled=0\nnchans=1\nchanno0=-1\n"
         "YUNIT=Pa\nuseyunit=1\nfsdmode=2\nfixedfsd= 2.50000000000000E+0000\n"
         "[Step_2]\nprocid=mul\nnChans=2\nFactor0= 3.00000000000000E+0000\n");
    tprocsteps steps;
    open_process_file(path("h.tessalproc"), steps);
    ASSERT_EQ(steps.size(), 3u);
    auto& load = dynamic_cast<tloadchannel&>(*steps[0]);
    EXPECT_EQ(load.channo, (tintarr{2}));  // no "nChans": the single "Channo" key
    EXPECT_FALSE(load.loadlabels);
    EXPECT_TRUE(load.enabled);
    auto& save = dynamic_cast<tsavechannel&>(*steps[1]);
    EXPECT_FALSE(save.enabled);
    EXPECT_EQ(save.yunit, "Pa");
    EXPECT_TRUE(save.useyunit);
    EXPECT_EQ(save.fsdmode, fsdfixed);
    EXPECT_EQ(save.fixedfsd, 2.5);
    auto& mul = dynamic_cast<tmultiply&>(*steps[2]);
    EXPECT_EQ(mul.values, (tdoublearr{3.0, 1.0}));  // a missing factor is 1
}

TEST_F(tprocfiletest, EmptyAndBadFiles) {
    tprocsteps steps;
    spit(path("z.tessalproc"), "[Common]\nnsteps=0\n");
    steps.push_back(create_step(0));
    open_process_file(path("z.tessalproc"), steps);
    EXPECT_TRUE(steps.empty());

    // Reading stops at the first bad step and keeps those before it.
    for (const char* bad : {"nosuch", "-"}) {
        spit(path("u.tessalproc"), std::string("[Common]\nnsteps=3\n[Step_0]\nprocid=load\n"
                                               "[Step_1]\nprocid=") +
                                       bad + "\n[Step_2]\nprocid=save\n");
        try {
            open_process_file(path("u.tessalproc"), steps);
            FAIL() << bad;
        } catch (const EProcessError& e) {
            if (std::string(bad) == "nosuch") {
                EXPECT_STREQ(e.what(), "Invalid procid: -1");
            }
        }
        ASSERT_EQ(steps.size(), 1u) << bad;
        EXPECT_EQ(steps[0]->get_procid(), "load");
    }
    // A count beyond the sections ends at the first missing one.
    spit(path("c.tessalproc"), "[Common]\nnsteps=1000000000\n[Step_0]\nprocid=delete\n");
    EXPECT_THROW(open_process_file(path("c.tessalproc"), steps), EProcessError);
    EXPECT_EQ(steps.size(), 1u);
}

// A number that is there but is none ("nan", "inf", "1e999", a word) is
// refused naming the key and section, instead of silently taking the value a
// missing key gets or reaching a step that takes it as it is; a missing key
// still gets its default.
TEST_F(tprocfiletest, ANumberThatIsNoNumberIsRefusedNamingTheKey) {
    const std::string head = "[Common]\nnsteps=1\n[Step_0]\nprocid=resample\nEnabled=1\nMethod=4\n";
    for (const char* key : {"WindowSize", "WindowPower", "TargetFreq"}) {
        for (const char* v : {"nan", "-nan", "inf", "-inf", "1e999", "abc", "1.5x"}) {
            SCOPED_TRACE(std::string(key) + "=" + v);
            spit(path("n.tessalproc"), head + key + "=" + v + "\n");
            tprocsteps steps;
            try {
                open_process_file(path("n.tessalproc"), steps);
                ADD_FAILURE() << "read";
            } catch (const std::runtime_error& e) {
                EXPECT_NE(std::string(e.what()).find(std::string("\"") + key + "\" in [Step_0]"), std::string::npos)
                    << e.what();
            }
        }
    }
    spit(path("count.tessalproc"), "[Common]\nnsteps=nan\n");
    tprocsteps steps;
    EXPECT_THROW(open_process_file(path("count.tessalproc"), steps), std::runtime_error);
    spit(path("short.tessalproc"), head + "TargetFreq=8000\n");
    open_process_file(path("short.tessalproc"), steps);
    EXPECT_EQ(steps.size(), 1u);
}

// Random bytes are no process at all, not an empty one; and a process
// document that fails to read one keeps what it had.
TEST_F(tprocfiletest, AFileThatIsNoProcessIsRefusedAndTheOpenProcessStays) {
    std::mt19937 random(17);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random() & 0xFF);
    spit(path("r.tessalproc"), noise);
    tprocsteps steps;
    try {
        open_process_file(path("r.tessalproc"), steps);
        FAIL();
    } catch (const EProcessError& e) {
        EXPECT_NE(std::string(e.what()).find("is not a process file"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(path("r.tessalproc")), std::string::npos);
    }

    spit(path("good.tessalproc"), "[Common]\nnsteps=1\n[Step_0]\nprocid=delete\n");
    spit(path("half.tessalproc"), "[Common]\nnsteps=2\n[Step_0]\nprocid=load\n[Step_1]\nprocid=nosuch\n");
    tprocessdocument doc;
    doc.open(path("good.tessalproc"));
    for (const char* bad : {"r.tessalproc", "half.tessalproc"}) {
        EXPECT_THROW(doc.open(path(bad)), EProcessError) << bad;
        ASSERT_EQ(doc.steps.size(), 1u) << bad;
        EXPECT_EQ(doc.steps[0]->get_procid(), "delete");
        EXPECT_EQ(doc.name(), path("good.tessalproc"));
        EXPECT_FALSE(doc.modified());
    }
    // An empty process is still a process.
    spit(path("z.tessalproc"), "[Common]\nnsteps=0\n");
    doc.open(path("z.tessalproc"));
    EXPECT_TRUE(doc.steps.empty());
}

TEST_F(tprocfiletest, SectionOfAnotherTypeIsRejected) {
    spit(path("m.tessalproc"), "[Step_0]\nprocid=save\n");
    TSetting setting;
    setting.SetLocation(Location::slfile);
    setting.SetFilename(path("m.tessalproc"));
    auto load = create_step(find_procid("load"));
    try {
        load->open_proc("Step_0", setting);
        FAIL();
    } catch (const EProcessError& e) {
        EXPECT_STREQ(e.what(), "Invalid procids: \"save\" <> \"load\"");
    }
}

}  // namespace
}  // namespace tessal::testing
