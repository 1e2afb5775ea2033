// TextGrid labels of a whole document: the export of every channel's labels
// read back into another channel, the end of the grid at the longest
// channel or label, a file that is no TextGrid refused with nothing added,
// and the notices the import sends.
#include "engine/formats/textgridlabels.h"

#include <gtest/gtest.h>

#include <fstream>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "support/labelnotices.h"
#include "support/tempdirtest.h"

using namespace tessal;
using tessal::testing::tlabelnotices;

namespace {

class TextGridLabels : public tessal::testing::ttempdirtest {};

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST_F(TextGridLabels, ExportedLabelsComeBackOnAnotherChannel) {
    tdocument doc;
    doc.set_totnchans(2);
    tchannel& a = doc.channel(0);
    a.sampfreq = 1000;
    a.set_name("mic");
    a.set_samples(tsinglearr(2000, 0.f));  // 2 s
    a.add_label(0.5, 0.25, "a:", "manual");
    a.add_label(1.0, 0, "burst", "manual");
    tchannel& b = doc.channel(1);
    b.sampfreq = 1000;
    b.set_name("egg");
    b.set_samples(tsinglearr(1000, 0.f));
    b.add_label(2.5, 0.5, "late", "manual");  // past every channel's end
    const std::string path = this->path("l.TextGrid");
    export_textgrid_labels(doc, path);
    const std::string text = read_all(path);
    EXPECT_NE(text.find("xmax = 3"), std::string::npos) << text;
    EXPECT_NE(text.find("name = \"mic\""), std::string::npos);
    EXPECT_NE(text.find("name = \"egg\""), std::string::npos);

    tdocument other;
    other.set_totnchans(1);
    other.channel(0).sampfreq = 1000;
    other.channel(0).add_label(0.1, 0, "kept", "manual");
    other.set_modified(false);
    tlabelnotices heard;
    other.theglobal.add_listener(&heard);
    EXPECT_EQ(import_textgrid_labels(other, 0, path), 3u);
    other.theglobal.remove_listener(&heard);
    EXPECT_EQ(heard.labels, std::vector<int>{0});
    EXPECT_GE(heard.repaints, 1);
    EXPECT_TRUE(other.modified());
    const tsiglabels& got = other.channel(0).labels;
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].text, "kept");
    EXPECT_EQ(got[1].text, "a:");
    EXPECT_DOUBLE_EQ(got[1].time, 0.5);
    EXPECT_DOUBLE_EQ(got[1].duration, 0.25);
    EXPECT_EQ(got[2].text, "burst");
    EXPECT_DOUBLE_EQ(got[2].duration, 0);
    EXPECT_EQ(got[3].text, "late");
    EXPECT_DOUBLE_EQ(got[3].time, 2.5);
}

TEST_F(TextGridLabels, OtherFilesAreRefusedWithNothingAdded) {
    tdocument doc;
    doc.set_totnchans(1);
    doc.channel(0).sampfreq = 1000;
    const std::string path = this->path("x.TextGrid");
    {
        std::ofstream out(path);
        out << "no grid here\n";
    }
    doc.set_modified(false);
    tlabelnotices heard;
    doc.theglobal.add_listener(&heard);
    EXPECT_THROW(import_textgrid_labels(doc, 0, path), ETextGridError);
    EXPECT_THROW(import_textgrid_labels(doc, 0, this->path("missing.TextGrid")), ETextGridError);
    EXPECT_THROW(import_textgrid_labels(doc, 0, dir.string()), ETextGridError);  // a folder
    EXPECT_THROW(import_textgrid_labels(doc, 1, path), std::out_of_range);
    doc.theglobal.remove_listener(&heard);
    EXPECT_TRUE(doc.channel(0).labels.empty());
    EXPECT_TRUE(heard.labels.empty());
    EXPECT_FALSE(doc.modified());
}
