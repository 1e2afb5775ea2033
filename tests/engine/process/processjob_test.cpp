// A process file run on files without a window (what tessal-cli run and the
// Python module's run_file share): the run's notes reach the caller before
// the save, a failure writes nothing and names the input or step, and a
// refused question leaves the old output as it was. The signals are known:
// a sine over a silent channel, so the division's zero divisors are the
// channel's length.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/document/batchdocument.h"
#include "engine/formats/twavfile.h"
#include "engine/process/processjob.h"
#include "support/tempdirtest.h"

namespace tessal {
namespace {

class ProcessJob : public testing::ttempdirtest {
protected:
    // `seconds` of a 300 Hz sine over a silent channel at 8 kHz, 16-bit.
    std::string stereo(const std::string& name, double seconds) {
        const auto n = static_cast<std::size_t>(std::lround(seconds * 8000));
        std::vector<tsinglearr> chans(2, tsinglearr(n));
        for (std::size_t i = 0; i < n; ++i) {
            chans[0][i] = static_cast<float>(0.5 * std::sin(2 * M_PI * 300 * static_cast<double>(i) / 8000));
            chans[1][i] = 0;
        }
        TWavFile w;
        w.Setsampfreq(8000);
        w.Setnbits(16);
        w.Setformat(tFormat::pcm);
        w.Setnchans(2);
        w.save_file(path(name), chans, false, false);
        return path(name);
    }
    std::string process(const std::string& name, const std::string& text) {
        std::ofstream(path(name)) << text;
        return path(name);
    }
    static std::string bytes(const std::string& file) {
        std::ifstream f(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    const std::string divide = "[Common]\nnsteps=3\n[Step_0]\nprocid=load\nChanno=0\n[Step_1]\nprocid=divch\n"
                               "Channo=1\n[Step_2]\nprocid=save\nChanno=-1\nFSDMode=0\n";
};

TEST_F(ProcessJob, TheNotesReachTheCallerBeforeTheSaveAndInTheResult) {
    const std::string in = stereo("z.wav", 0.1);
    tprocessjob job{process("div.tessalproc", divide), {in}, path("out.tessal"), std::nullopt, {}};
    int told = 0;
    job.ran = [&](const std::string& notes, const tprocrunner&, const tprocsteps& steps) {
        ++told;
        EXPECT_EQ(notes, "Done (Divide by channel 1: 800 samples divided by 0 set to 0)");
        EXPECT_EQ(steps.size(), 3u);
        EXPECT_FALSE(std::filesystem::exists(job.out)) << "told after the save";
    };
    tbatchdocument d(false);
    const tprocessjobresult r = run_process_job(d, job);
    ASSERT_EQ(r.status, tjobstatus::ok) << r.message;
    EXPECT_EQ(told, 1);
    EXPECT_EQ(r.notes, "Done (Divide by channel 1: 800 samples divided by 0 set to 0)");
    ASSERT_TRUE(std::filesystem::exists(job.out));
    // The saved document holds the quotient as a third channel.
    tbatchdocument back;
    ASSERT_EQ(back.open({job.out}), -1);
    EXPECT_EQ(back.doc.totnchans(), 3);
}

TEST_F(ProcessJob, FailuresWriteNothingAndSayWhy) {
    const std::string in = stereo("z.wav", 0.05);
    const std::string proc = process("div.tessalproc", divide);
    struct tcase {
        std::string what;
        tprocessjob job;
        tjobstatus status;
        std::string message;
        int unread;
    };
    const std::string out = path("out.tessal");
    const tcase cases[] = {
        {"the output is an input", {proc, {in}, in, std::nullopt, {}}, tjobstatus::usage,
         in + " is an input; write the result to another file", -1},
        {"no such format", {proc, {in}, out, std::string("nope"), {}}, tjobstatus::usage,
         "no save format \"nope\"", -1},
        {"no process file", {path("none.tessalproc"), {in}, out, std::nullopt, {}}, tjobstatus::input,
         "cannot read " + path("none.tessalproc"), -1},
        {"a step fails: channel 5 is not there", {process("bad.tessalproc", [&] {
                                                      std::string t = divide;
                                                      t.replace(t.find("Channo=1"), 8, "Channo=5");
                                                      return t;
                                                  }()),
                                                  {in}, out, std::nullopt, {}},
         tjobstatus::input, "", -1},
        {"the second input is empty", {proc, {in, process("empty.wav", "")}, out, std::nullopt, {}},
         tjobstatus::input, "", 1},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.what);
        bool told = false;
        tprocessjob job = c.job;
        job.ran = [&](const std::string&, const tprocrunner&, const tprocsteps&) { told = true; };
        tbatchdocument d(true);
        const tprocessjobresult r = run_process_job(d, job);
        EXPECT_EQ(r.status, c.status);
        if (!c.message.empty()) {
            EXPECT_EQ(r.message, c.message);
        }
        EXPECT_FALSE(r.message.empty());
        EXPECT_EQ(r.unread, c.unread);
        EXPECT_FALSE(told);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST_F(ProcessJob, ARefusedQuestionLeavesTheOldOutputAsItWas) {
    const std::string in = stereo("z.wav", 0.05);
    const std::string out = path("old.wav");
    std::ofstream(out) << "the old file";
    // Saving into a WAVE file asks whether to go on without the features
    // it cannot hold; without yes the question is refused.
    tbatchdocument d(false);
    ASSERT_TRUE(d.doc.prefs.WarnSaveWav);
    std::vector<std::string> heard;
    d.prompter.told = [&](const std::string& text, const std::string&, bool refused) {
        if (refused) heard.push_back(text);
    };
    const tprocessjobresult r = run_process_job(d, {process("div.tessalproc", divide), {in}, out, std::nullopt, {}});
    EXPECT_EQ(r.status, tjobstatus::usage);
    EXPECT_TRUE(r.told);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(r.message, with_newlines(heard[0]));
    EXPECT_EQ(bytes(out), "the old file");
}

}  // namespace
}  // namespace tessal
