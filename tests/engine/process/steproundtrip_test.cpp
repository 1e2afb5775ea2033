// Every step type of the channel, generator, filter, F0, level, resampling
// and arithmetic families reads a hand-written section holding each of its keys
// away from the default, and writes back exactly those keys in the file's
// order with the same values.
#include <fstream>
#include <map>
#include <sstream>

#include "engine/process/processfile.h"
#include "processfixture.h"

namespace tessal::testing {
namespace {

struct tcase {
    const char* procid;
    std::vector<std::pair<std::string, std::string>> keys;  // in the written order
};

const std::vector<tcase> cases = {
    {"load", {{"nChans", "2"}, {"Channo0", "3"}, {"Channo1", "-1"}, {"LoadLabels", "0"}}},
    {"save",
     {{"nChans", "1"}, {"Channo0", "5"}, {"ChannelName", "out"}, {"UseChannelName", "1"},
      {"Yunit", "Pa"}, {"UseYUnit", "1"}, {"FSDMode", "3"}, {"UsedBReference", "1"},
      {"UseStereoChanno", "0"}, {"dBReference", "2E-5"}, {"StereoChannos", "C 2"},
      {"FixedFSD", "0.5"}, {"RMSdBFSD", "12"}}},
    {"append", {{"nChans", "1"}, {"Channo0", "2"}, {"FSDMode", "2"}}},
    {"prepend", {{"nChans", "2"}, {"Channo0", "1"}, {"Channo1", "0"}, {"FSDMode", "0"}}},
    {"delete", {{"nChans", "1"}, {"Channo0", "4"}}},
    {"sine",
     {{"Freq", "220"}, {"Phase", "90"}, {"Delay", "0.25"}, {"AddDelay", "0.125"},
      {"Duration", "2.5"}, {"Amplitude", "0.5"}, {"nHarm", "7"}, {"InputMode", "1"},
      {"Tilt", "-12"}, {"OddOnly", "1"}, {"Sampfreq", "22050"}}},
    {"noise", {{"Duration", "3"}, {"Amplitude", "0.25"}, {"InputMode", "2"}, {"SampFreq", "8000"}}},
    {"impulses", {{"Duration", "4"}, {"Amplitude", "2"}, {"Freq", "100"}, {"SampFreq", "16000"}}},
    {"exponential",
     {{"Startvalue", "50"}, {"Endvalue", "5000"}, {"Duration", "1.5"}, {"Sampfreq", "32000"}}},
    {"ramp", {{"Startvalue", "-1"}, {"Endvalue", "1"}, {"Duration", "0.5"}, {"Sampfreq", "11025"}}},
    {"babble", {{"nVoices", "7"}, {"MonoToStereo", "1"}, {"DelayRange", "0.001"}}},
    {"diff", {}},
    {"int", {}},
    {"lpbrick",
     {{"WindowSize", "80"}, {"WindowPower", "3"}, {"CornerFreq", "4000"}, {"CornerMargin", "0.95"}}},
    {"lp2", {{"F0", "1200"}, {"Q", "4"}}},
    {"hp2", {{"F0", "80"}, {"Q", "0.707"}}},
    {"polezero", {{"PoleF0", "700"}, {"PoleQ", "7"}, {"ZeroF0", "1400"}, {"ZeroQ", "2"}}},
    {"realpolezero", {{"fPole", "300"}, {"fZero", "3000"}, {"fUnityGainAtHF", "1"}}},
    {"slope", {{"fLo", "50"}, {"fHi", "5000"}, {"nPerOctave", "2"}, {"Slope", "3.8"}}},
    {"level",
     {{"ZeroPhase", "1"}, {"ExtractMode", "0"}, {"DetectMode", "2"}, {"Weighting", "3"},
      {"F0", "20"}, {"WindowMode", "2"}, {"WinDurChanno", "3"}, {"WinDuration", "0.02"},
      {"MinWinDuration", "0.005"}, {"MaxWinDuration", "0.2"}, {"Hold", "1"}, {"PeakMode", "1"}}},
    {"f0",
     {{"Algorithm", "2"}, {"PeakRelease", "30"}, {"ExtractT0", "1"}, {"InvPolarity", "1"},
      {"StDevThreshold", "150"}, {"StDevWinTime", "0.03"}, {"MinF0", "60"}, {"MaxF0", "500"},
      {"nExtractors", "5"}, {"RemoveShortLength", "0.05"}, {"RemoveShortGap", "0.01"},
      {"PostProcess", "0"}}},
    // The path tracker's numbers are written only with its algorithm.
    {"f0",
     {{"Algorithm", "4"}, {"PeakRelease", "30"}, {"ExtractT0", "1"}, {"InvPolarity", "1"},
      {"StDevThreshold", "150"}, {"StDevWinTime", "0.03"}, {"MinF0", "60"}, {"MaxF0", "500"},
      {"nExtractors", "5"}, {"RemoveShortLength", "0.05"}, {"RemoveShortGap", "0.01"},
      {"PostProcess", "0"}, {"TimeStep", "0.005"}, {"VoicingThreshold", "0.5"},
      {"SilenceThreshold", "0.05"}, {"OctaveCost", "0.02"}, {"OctaveJumpCost", "0.4"},
      {"VoicedUnvoicedCost", "0.2"}}},
    {"reverse", {}},
    {"resample",
     {{"Method", "4"}, {"TargetFreq", "16000"}, {"WindowSize", "80"}, {"WindowPower", "3"},
      {"LPCcorner", "0.95"}}},
    {"square", {}},
    {"sqrt", {}},
    {"log",
     {{"A", "20"}, {"B", "2E-5"}, {"Base", "2"}, {"yUnit", "dB re 2e-5"}, {"MinValue", "-100"}}},
    {"exp", {{"A", "12"}, {"B", "440"}, {"Base", "1"}, {"yUnit", "Hz"}}},
    {"abs", {}},
    {"max", {{"Operation", "1"}}},
    {"clip",
     {{"Max", "0.5"}, {"Min", "-0.25"}, {"UseMax", "0"}, {"UseMin", "1"}, {"Symmetrical", "0"}}},
    {"threshold",
     {{"LoThres", "0.2"}, {"HiThres", "0.8"}, {"OutLo", "-1"}, {"OutHi", "2"},
      {"UseHysteresis", "1"}}},
    {"quantize", {{"Method", "1"}, {"nSteps", "15"}, {"AbsoluteSize", "0.125"}}},
    {"delay", {{"nChans", "2"}, {"DelaySecs0", "0.5"}, {"DelaySecs1", "-0.25"}}},
    {"add", {{"nChans", "2"}, {"Term0", "1"}, {"Term1", "2"}}},
    {"mul", {{"nChans", "1"}, {"Factor0", "3"}}},
    {"addch", {{"nChans", "2"}, {"Channo0", "3"}, {"Channo1", "1"}}},
    {"subch", {{"nChans", "1"}, {"Channo0", "2"}}},
    {"mulch", {{"nChans", "1"}, {"Channo0", "4"}}},
    {"divch", {{"nChans", "1"}, {"Channo0", "5"}}},
    {"comment", {{"Comment", "== vowels =="}}},
};

// The keys and values of one section of an ini text, in order.
std::vector<std::pair<std::string, std::string>> section_of(const std::string& path,
                                                            const std::string& name) {
    std::ifstream in(path);
    std::string line;
    std::vector<std::pair<std::string, std::string>> out;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inside = line == "[" + name + "]";
            continue;
        }
        const auto eq = line.find('=');
        if (inside && eq != std::string::npos) out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
}

class tsteproundtrip : public ttempdirtest {};

TEST_F(tsteproundtrip, EveryKeyIsReadAndWrittenBackInOrder) {
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.procid);
        std::ostringstream text;
        text << "[Common]\nnsteps=1\n[Step_0]\nprocid=" << c.procid << "\nEnabled=0\n";
        // Written in reverse order and in lower case: order and case on
        // reading do not matter.
        for (auto it = c.keys.rbegin(); it != c.keys.rend(); ++it) {
            std::string k = it->first;
            for (char& ch : k) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            text << k << "=" << it->second << "\n";
        }
        std::ofstream(path("in.tessalproc")) << text.str();
        tprocsteps steps;
        open_process_file(path("in.tessalproc"), steps, 44100);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_TRUE(steps[0]->available());
        EXPECT_FALSE(steps[0]->enabled);
        save_process_file(path("out.tessalproc"), steps);
        const auto back = section_of(path("out.tessalproc"), "Step_0");
        ASSERT_EQ(back.size(), c.keys.size() + 2);
        EXPECT_EQ(back[0], (std::pair<std::string, std::string>{"procid", c.procid}));
        EXPECT_EQ(back[1], (std::pair<std::string, std::string>{"Enabled", "0"}));
        for (std::size_t i = 0; i < c.keys.size(); ++i) {
            EXPECT_EQ(back[i + 2].first, c.keys[i].first);
            double want = 0, got = 0;
            if (try_parse_float(c.keys[i].second, want) && try_parse_float(back[i + 2].second, got))
                EXPECT_NEAR(got, want, 1e-12 * std::fabs(want)) << c.keys[i].first;
            else
                EXPECT_EQ(back[i + 2].second, c.keys[i].second);
        }
        // A copy made by the factory writes the same.
        tprocsteps copy;
        copy.push_back(create_step(steps[0]->procnum, steps[0].get()));
        copy[0]->enabled = false;
        save_process_file(path("copy.tessalproc"), copy);
        EXPECT_EQ(section_of(path("copy.tessalproc"), "Step_0"), back);
    }
}

}  // namespace
}  // namespace tessal::testing
