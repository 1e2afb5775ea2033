// Export to text: the header and rows of each option, downsampling on the
// absolute index, time shifts, refused rate mixes and separators, and the file on disk
// when writing fails (no file left, an existing one untouched).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "engine/core/tchannel.h"
#include "engine/core/tdocument.h"
#include "engine/formats/textexport.h"
#include "support/tempdirtest.h"

using namespace tessal;

namespace {

void fill(tdocument& doc) {
    doc.set_totnchans(2);
    const char* names[] = {"flow", "press"};
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.channel(c);
        ch.sampfreq = 10;
        ch.set_name(names[c]);
        tsinglearr v;
        for (int i = 0; i < 10; ++i) v.push_back(static_cast<float>(c == 0 ? i + 0.5 : 100.25 + 2 * i));
        ch.set_samples(std::move(v));
    }
}

std::vector<std::string> rows(const std::string& t) {
    std::vector<std::string> r;
    size_t p = 0;
    while (p < t.size()) {
        const size_t e = t.find("\r\n", p);
        EXPECT_NE(e, std::string::npos) << "every line ends with CR LF";
        if (e == std::string::npos) break;
        r.push_back(t.substr(p, e - p));
        p = e + 2;
    }
    return r;
}

std::string slurp(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class tfullfs : public tfileops {
public:
    std::size_t limit = 0;
    std::size_t write(std::FILE* f, const void* d, std::size_t n) override {
        const std::size_t take = std::min(n, limit - done);
        const std::size_t w = tfileops::write(f, d, take);
        done += w;
        if (w < n) errno = ENOSPC;
        return w;
    }
    std::size_t done = 0;
};

}  // namespace

TEST(TextExport, TableForEachOption) {
    tdocument doc;
    fill(doc);
    ttextexportoptions o;
    o.channels = {0, 1};
    auto r = rows(text_export_table(doc, o));
    ASSERT_EQ(r.size(), 11u);
    EXPECT_EQ(r[0], "Time [s]\tflow\tpress");
    EXPECT_EQ(r[1], "0.000000\t5.00E-01\t1.00E+02");
    EXPECT_EQ(r[10], "0.900000\t9.50E+00\t1.18E+02");

    // No time column: rows start with the first value; other separators,
    // patterns and the decimal comma.
    o.timecolumn = false;
    o.separator = tcolumnseparator::semicolon;
    o.pattern = "0.00";
    o.decimal = tdecimalseparator::comma;
    r = rows(text_export_table(doc, o));
    EXPECT_EQ(r[0], "flow;press");
    EXPECT_EQ(r[3], "2,50;104,25");
    o.channels = {1};
    o.separator = tcolumnseparator::space;
    o.decimal = tdecimalseparator::period;
    EXPECT_EQ(rows(text_export_table(doc, o))[1], "100.25");
}

TEST(TextExport, DownsamplingCountsFromTheAbsoluteIndex) {
    tdocument doc;
    fill(doc);
    ttextexportoptions o;
    o.channels = {0};
    o.downsample = 3;
    auto r = rows(text_export_table(doc, o));
    ASSERT_EQ(r.size(), 5u);  // 0, 3, 6, 9
    EXPECT_EQ(r[2], "0.300000\t3.50E+00");
    EXPECT_EQ(r[4], "0.900000\t9.50E+00");
    // A selection from index 2 to 7: rows 3 and 6, not 2, 5.
    doc.theglobal.set_selection(0.2, 0.7);
    o.span = texportspan::selection;
    r = rows(text_export_table(doc, o));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1], "0.300000\t3.50E+00");
    EXPECT_EQ(r[2], "0.600000\t6.50E+00");
}

TEST(TextExport, StartTimeZeroAndShiftedChannels) {
    tdocument doc;
    fill(doc);
    doc.theglobal.set_selection(0.4, 0.6);
    ttextexportoptions o;
    o.channels = {0, 1};
    o.span = texportspan::selection;
    o.startzero = true;
    auto r = rows(text_export_table(doc, o));
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0], "Time re 0.400000[s]\tflow\tpress");
    EXPECT_EQ(r[1], "0.000000\t4.50E+00\t1.08E+02");
    // Start time 0 is ignored for the entire file.
    o.span = texportspan::entire;
    EXPECT_EQ(rows(text_export_table(doc, o))[0], "Time [s]\tflow\tpress");
    // A channel starting 2 samples late (and one starting 1 early) widens the
    // range; samples outside a channel read as 0.
    doc.channel(1).xshift = 2;
    doc.channel(0).xshift = -1;
    o.startzero = false;
    r = rows(text_export_table(doc, o));
    ASSERT_EQ(r.size(), 14u);  // -1 .. 11
    EXPECT_EQ(r[1], "-0.100000\t5.00E-01\t0.00E+00");
    EXPECT_EQ(r[13], "1.100000\t0.00E+00\t1.18E+02");
    // The window: the time axis' range.
    doc.xaxis.SetLoValue(0.0);
    doc.xaxis.SetHiValue(0.2);
    o.span = texportspan::window;
    EXPECT_EQ(rows(text_export_table(doc, o)).size(), 4u);
}

class TextExportFile : public tessal::testing::ttempdirtest {};

TEST_F(TextExportFile, DifferingRatesAreRefusedAndWriteNothing) {
    tdocument doc;
    fill(doc);
    doc.channel(1).sampfreq = 20;
    ttextexportoptions o;
    o.channels = {0, 1};
    try {
        export_text_file(doc, o, path("t.txt"));
        FAIL();
    } catch (const ETextExportError& e) {
        EXPECT_STREQ(e.what(),
                     "Channels with different sampling rates cannot be exported to the same text "
                     "file!");
        EXPECT_EQ(e.caption(), "Sampling rates differ");
    }
    EXPECT_TRUE(listing().empty());
    o.channels = {1};
    export_text_file(doc, o, path("t.txt"));
    EXPECT_EQ(rows(slurp(path("t.txt"))).size(), 11u);
}

TEST_F(TextExportFile, CommaAsBothSeparatorsIsRefusedAndAnOldFileKept) {
    tdocument doc;
    fill(doc);
    ttextexportoptions o;
    o.channels = {0, 1};
    export_text_file(doc, o, path("t.txt"));
    const std::string before = slurp(path("t.txt"));
    o.separator = tcolumnseparator::comma;
    o.decimal = tdecimalseparator::comma;
    EXPECT_THROW(export_text_file(doc, o, path("t.txt")), ETextExportError);
    EXPECT_EQ(slurp(path("t.txt")), before);
    EXPECT_EQ(listing().size(), 1u);
    // Either one alone is fine, and each row splits into its three columns.
    for (auto [sep, dec] : {std::pair{tcolumnseparator::comma, tdecimalseparator::period},
                            std::pair{tcolumnseparator::semicolon, tdecimalseparator::comma}}) {
        o.separator = sep;
        o.decimal = dec;
        const auto r = rows(text_export_table(doc, o));
        ASSERT_GT(r.size(), 1u);
        EXPECT_EQ(std::count(r[1].begin(), r[1].end(), separator_char(sep)), 2) << r[1];
    }
}

TEST_F(TextExportFile, AFullDiskLeavesNoFileAndTheOldOneIntact) {
    tdocument doc;
    fill(doc);
    ttextexportoptions o;
    o.channels = {0, 1};
    tfullfs full;
    full.limit = 40;
    EXPECT_THROW(export_text_file(doc, o, path("new.txt"), full), EFileSaveError);
    EXPECT_TRUE(listing().empty());

    { std::ofstream(path("old.txt"), std::ios::binary) << "keep me"; }
    full.done = 0;
    EXPECT_THROW(export_text_file(doc, o, path("old.txt"), full), EFileSaveError);
    EXPECT_EQ(listing(), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(slurp(path("old.txt")), "keep me");

    export_text_file(doc, o, path("old.txt"));
    EXPECT_EQ(slurp(path("old.txt")), text_export_table(doc, o));
    EXPECT_EQ(listing(), std::vector<std::string>{"old.txt"});
}

// A channel shifted 2^31 - 1 samples would make the entire-file table two
// billion rows of zeros: it is refused by name before the file is touched,
// and an old file keeps its contents. Downsampling that brings the rows under
// the ceiling lets the same range through.
TEST_F(TextExportFile, ATableOfBillionsOfRowsIsRefused) {
    tdocument doc;
    fill(doc);
    doc.channel(1).xshift = 2147483647;
    ttextexportoptions o;
    o.channels = {0, 1};
    { std::ofstream(path("old.txt"), std::ios::binary) << "keep me"; }
    try {
        export_text_file(doc, o, path("old.txt"));
        FAIL();
    } catch (const ETextExportError& e) {
        EXPECT_NE(std::string(e.what()).find("x shift 2147483647"), std::string::npos) << e.what();
    }
    EXPECT_THROW(text_export_table(doc, o), ETextExportError);
    EXPECT_EQ(listing(), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(slurp(path("old.txt")), "keep me");
    // The ceiling itself is allowed, one row more is not.
    doc.channel(1).xshift = text_export_max_rows - 10;  // rows 0 .. xshift + 9
    EXPECT_EQ(text_export_range(doc, o).s1, text_export_max_rows - 1);
    doc.channel(1).xshift += 1;
    EXPECT_THROW(text_export_range(doc, o), ETextExportError);
    o.downsample = 2;
    EXPECT_NO_THROW(text_export_range(doc, o));
}
