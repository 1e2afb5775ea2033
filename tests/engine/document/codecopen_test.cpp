// Open and Add through a codec: the converter's WAVE file is read under the
// original file's name and removed; entries are tried in order; a failing
// conversion leaves the document as it was and says why.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "engine/document/documentfiles.h"
#include "engine/formats/twavfile.h"
#include "support/scriptedprompter.h"
#include "support/tempdirtest.h"

using namespace tessal;
using tessal::testing::tscriptedprompter;
namespace fs = std::filesystem;

namespace {

struct tcodecopen : tessal::testing::ttempdirtest {
    tdocument doc;
    tscriptedprompter prompter;
    tdocumentlifecycle life{doc, prompter};
    tdocumentfiles files{doc, life, prompter};
    std::vector<tcodecentry> codecs{{"missing", ".xyz", "nothing", "%i %o"},
                                    {"copy", "xyz", "cp", "%i %o"}};
    std::vector<std::string> calls;  // entry name, input

    void SetUp() override {
        ttempdirtest::SetUp();
        fs::create_directory(dir / "tmp");
        files.codecfolder = (dir / "tmp").string();
        files.codecs = &codecs;
        // The "copy" entry decodes by writing a stereo sine as WAVE; the
        // first entry's program is not installed.
        files.run_codec = [this](const tcodecentry& c, const std::string& in,
                                 const std::string& out) -> std::string {
            calls.push_back(c.Name + " " + in);
            if (c.Exename == "nothing") return "The codec could not be started.";
            if (c.Exename == "fail") {
                std::ofstream(out) << "half";
                return "failed with exit code 1";
            }
            std::vector<tsinglearr> chans(2);
            for (int i = 0; i < 800; ++i) {
                chans[0].push_back(0.5f * std::sin(2 * M_PI * 100 * i / 8000.0));
                chans[1].push_back(0.25f);
            }
            TWavFile w;
            w.Setsampfreq(8000);
            w.Setnbits(16);
            w.Setnchans(2);
            w.save_file(out, chans, false, false);
            return "";
        };
    }
    std::string foreign(const std::string& name) {
        std::ofstream(path(name)) << "not a wave";
        return path(name);
    }
};

}  // namespace

TEST_F(tcodecopen, OpenReadsTheConvertedFileUnderItsOwnNameAndRemovesTheTemporary) {
    const std::string in = foreign("take one.XYZ");
    ASSERT_TRUE(files.opens_through_codec(in));
    EXPECT_FALSE(files.opens_through_codec(path("a.wav")));  // a reader knows it
    EXPECT_FALSE(files.opens_through_codec(path("a.abc")));
    ASSERT_TRUE(files.open_document(in));
    EXPECT_EQ(calls, (std::vector<std::string>{"missing " + in, "copy " + in}));
    ASSERT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.channel(0).name(), "take one.XYZ Ch 0");
    EXPECT_EQ(doc.channel(1).filename, "take one.XYZ");
    EXPECT_EQ(doc.channel(1).stereochanno, 0);
    EXPECT_EQ(doc.channel(0).sampfreq, 8000);
    EXPECT_NEAR(doc.channel(0).sample(20), 0.5 * std::sin(2 * M_PI * 100 * 20 / 8000.0), 1.0 / 32768);
    EXPECT_EQ(doc.filename(), "");  // Save must not write WAVE under the foreign name
    EXPECT_FALSE(doc.modified());
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));

    ASSERT_TRUE(files.add_file(in));
    EXPECT_EQ(doc.totnchans(), 4);
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST_F(tcodecopen, AFailedConversionLeavesTheDocumentAndNoFileBehind) {
    codecs = {{"bad", ".xyz", "fail", "%i %o"}};
    EXPECT_FALSE(files.open_document(foreign("first.xyz")));
    EXPECT_EQ(doc.totnchans(), 0);
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].caption, "Could not open file");
    EXPECT_NE(prompter.asked[0].text.find("failed with exit code 1"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));

    // An open document stays as it was, name and all.
    codecs = {{"copy", ".xyz", "cp", "%i %o"}, {"bad", ".abc", "fail", "%i %o"}};
    ASSERT_TRUE(files.open_document(foreign("good.xyz")));
    doc.set_filename(path("kept.tessal"));
    EXPECT_FALSE(files.open_document(foreign("bad.abc")));
    EXPECT_FALSE(files.add_file(path("bad.abc")));
    EXPECT_EQ(doc.totnchans(), 2);
    EXPECT_EQ(doc.filename(), path("kept.tessal"));
    EXPECT_FALSE(doc.modified());
    // A file that is not there is not handed to the program.
    calls.clear();
    EXPECT_FALSE(files.add_file(path("gone.xyz")));
    EXPECT_TRUE(calls.empty());
    EXPECT_NE(prompter.asked.back().text.find("does not exist"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}
