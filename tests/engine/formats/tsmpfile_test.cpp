// TSMPfile: files built byte by byte as the format defines them, round trips
// of samples, items, labels (in the header and in the label file), split
// rates and code page 437 text, header growth, damaged and truncated files,
// and saves that fail halfway without touching the files on disk.
#include "support/tempdirtest.h"
#include "engine/formats/tsmpfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/formats/codepage437.h"

namespace tessal {
namespace {

namespace fs = std::filesystem;
using bytes = std::vector<std::uint8_t>;

bytes read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(f), {});
}

void write_file(const fs::path& p, const bytes& b) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

bytes text_bytes(const std::string& s) { return bytes(s.begin(), s.end()); }

// A header as the format defines it: item lines, "=", comment lines, each
// ending in CR LF, then 00 04 1A and zeros up to `head` bytes.
bytes make_header(const std::vector<std::string>& items, const std::vector<std::string>& comments, std::size_t head) {
    std::string t;
    for (const auto& i : items) t += i + "\r\n";
    t += "=\r\n";
    for (const auto& c : comments) t += c + "\r\n";
    t += std::string("\0\4\x1a", 3);
    bytes b = text_bytes(t);
    b.resize(std::max(head, b.size()), 0);
    return b;
}

void append16(bytes& b, int v, bool msbfirst = false) {
    const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
    if (msbfirst) {
        b.push_back(static_cast<std::uint8_t>(u >> 8));
        b.push_back(static_cast<std::uint8_t>(u & 0xFF));
    } else {
        b.push_back(static_cast<std::uint8_t>(u & 0xFF));
        b.push_back(static_cast<std::uint8_t>(u >> 8));
    }
}

// Where the header text ends (after 00 04 1A) in a file's bytes.
std::size_t header_text_end(const bytes& b) {
    for (std::size_t i = 0; i + 2 < b.size(); ++i)
        if (b[i] == 0 && b[i + 1] == 4 && b[i + 2] == 26) return i + 3;
    return 0;
}

// File-system calls that fail on purpose: writes beyond a byte budget come
// up short, and the n-th rename is refused.
class tfaultyops : public tfileops {
public:
    std::int64_t writebudget = -1;  // -1: no limit
    int failrename = -1;            // index of the rename to refuse, -1: none
    int renames = 0;
    std::size_t write_at(std::FILE* f, std::int64_t pos, const void* data, std::size_t n) override {
        if (writebudget >= 0 && static_cast<std::int64_t>(n) > writebudget) {
            const auto ok = static_cast<std::size_t>(writebudget);
            writebudget = 0;
            tfileops::write_at(f, pos, data, ok);
            errno = ENOSPC;
            return ok;
        }
        if (writebudget >= 0) writebudget -= static_cast<std::int64_t>(n);
        return tfileops::write_at(f, pos, data, n);
    }
    bool rename(const std::string& from, const std::string& to) override {
        if (renames++ == failrename) {
            errno = EACCES;
            return false;
        }
        return tfileops::rename(from, to);
    }
};

class TSMPfileTest : public tessal::testing::ttempdirtest {};

TEST(Codepage437, MapsTheHighHalfBothWaysAndReplacesTheRest) {
    // Bytes from the code page chart: u-umlaut 81, A-umlaut 8E, sharp s E1, micro E6, degree F8.
    EXPECT_EQ(cp437_to_utf8("M\x81ller \x8E \xE1 \xE6V \xF8"), "Müller Ä ß µV °");
    EXPECT_EQ(utf8_to_cp437("Müller Ä ß µV °"), "M\x81ller \x8E \xE1 \xE6V \xF8");
    std::string all;
    for (int b = 0x80; b <= 0xFF; ++b) all += static_cast<char>(b);
    EXPECT_EQ(utf8_to_cp437(cp437_to_utf8(all)), all);
    // Greek mu folds onto the micro sign; the euro sign and broken UTF-8 have no byte.
    EXPECT_EQ(utf8_to_cp437("\xCE\xBC"), "\xE6");
    EXPECT_EQ(utf8_to_cp437("\xE2\x82\xAC \xC3 \xC0\x80 x"), "? ? ?? x");
}

TEST_F(TSMPfileTest, ReadsAHandBuiltFile) {
    bytes f = make_header({"head=512", "file=samp", "sftot=2000", "nchans=2", "sftot=9999", "channel0=M\x81ller",
                           "CH1=Flow", "view1=-2,2,l/s", "range1=-10,10", "L1=2,4,first, with comma", "L2=bad"},
                          {"recorded in the lab", ""}, 512);
    for (int v : {1, -32768, 2, 0, 3, 16384}) append16(f, v);
    write_file(path("a.smp"), f);

    TSMPfile s;
    ASSERT_TRUE(s.open_file(path("a.smp"), true)) << s.Getopenerror();
    EXPECT_EQ(s.HeadSize(), 512);
    EXPECT_EQ(s.nChans(), 2);
    EXPECT_DOUBLE_EQ(s.SfTot(), 2000);  // the first of two equal keys counts
    EXPECT_FALSE(s.MSBFirst());
    EXPECT_FALSE(s.IsSplitRate());
    EXPECT_DOUBLE_EQ(s.Getsampfreq(1), 1000);
    EXPECT_EQ(s.Getchannelname(0), "Müller");
    EXPECT_EQ(s.Getchannelname(1), "Flow");
    EXPECT_EQ(s.Getchannelname(7), "Channel 7");
    EXPECT_EQ(s.Getchannelunit(1), "l/s");
    double lo = 0, hi = 0;
    s.Getview(0, lo, hi);
    EXPECT_EQ(lo, -1);
    EXPECT_EQ(hi, 1);
    EXPECT_DOUBLE_EQ(s.Getfsd(0), 32768);
    EXPECT_DOUBLE_EQ(s.Getfsd(1), 10);
    ASSERT_EQ(s.Getcomments().size(), 1u);
    EXPECT_EQ(s.Getcomments()[0], "recorded in the lab");

    tsmallintarr raw;
    s.read_channel_raw(0, raw);
    EXPECT_EQ(raw, (tsmallintarr{1, 2, 3}));
    tsinglearr v;
    s.read_channel(1, v);
    EXPECT_EQ(v, (tsinglearr{-10, 0, 5}));  // -32768..32768 onto -10..10

    ASSERT_EQ(s.nlabels(), 2);
    EXPECT_DOUBLE_EQ(s.Getlabelstart(0), 0.001);
    EXPECT_DOUBLE_EQ(s.Getlabellength(0), 0.002);
    EXPECT_EQ(s.Getlabeltext(0), "first, with comma");
    EXPECT_EQ(s.Getlabelstart(1), -1);
    ASSERT_EQ(s.Getsiglabels().size(), 1u);
    EXPECT_EQ(s.Getsiglabels()[0].labeltype, "smp");
    ASSERT_EQ(s.Getwarnings().size(), 1u);
    EXPECT_NE(s.Getwarnings()[0].find("Label 2"), std::string::npos);
}

TEST_F(TSMPfileTest, ByteOrderAndSplitRateScans) {
    // msb=first swaps every sample; absent means least significant byte first.
    for (bool msb : {false, true}) {
        bytes f = make_header({"head=64", msb ? "msb=first" : "file=samp"}, {}, 64);
        append16(f, 0x1234, msb);
        append16(f, -2, msb);
        write_file(path("o.smp"), f);
        TSMPfile s;
        ASSERT_TRUE(s.open_file(path("o.smp"), true)) << s.Getopenerror();
        tsmallintarr raw;
        s.read_channel_raw(0, raw);
        EXPECT_EQ(raw, (tsmallintarr{0x1234, -2})) << msb;
    }

    // Slots 0,1,0,2: channel 0 runs at twice the rate of 1 and 2. The file
    // ends three values into its fourth scan.
    bytes f = make_header({"head=128", "nchans=3", "sftot=4000", "scan= 0; 1-0 /2"}, {}, 128);
    int n0 = 0, n1 = 0, n2 = 0;
    for (int scan = 0; scan < 3; ++scan)
        for (int ch : {0, 1, 0, 2}) append16(f, ch * 1000 + (ch == 0 ? n0++ : ch == 1 ? n1++ : n2++));
    append16(f, n0++);
    append16(f, 1000 + n1++);
    append16(f, n0++);
    write_file(path("split.smp"), f);

    TSMPfile s;
    ASSERT_TRUE(s.open_file(path("split.smp"), true)) << s.Getopenerror();
    EXPECT_TRUE(s.IsSplitRate());
    EXPECT_EQ(s.ScanStr(), "0,1,0,2");
    EXPECT_EQ(s.ScanCount(), 4);
    EXPECT_DOUBLE_EQ(s.Getsampfreq(0), 2000);
    EXPECT_DOUBLE_EQ(s.Getsampfreq(1), 1000);
    EXPECT_DOUBLE_EQ(s.Getsampfreq(2), 1000);
    const int want[3] = {n0, n1, n2};
    for (int c = 0; c < 3; ++c) {
        tsmallintarr raw;
        s.read_channel_raw(c, raw);
        ASSERT_EQ(static_cast<int>(raw.size()), want[c]) << c;
        EXPECT_EQ(s.Getnsamples(c), want[c]);
        for (int i = 0; i < want[c]; ++i) EXPECT_EQ(raw[i], c * 1000 + i);
    }
}

TEST_F(TSMPfileTest, DocumentRoundTripWithExternalLabelsAndCodePageNames) {
    const double fs = 2.5;
    tsinglearr a, b;
    for (int i = 0; i < 40000; ++i) {  // more than one chunk of 16384 values
        a.push_back(static_cast<float>(fs * 0.9 * std::sin(i * 0.01)));
        b.push_back(static_cast<float>(fs * (i % 200 - 100) / 100.0));
    }
    {
        TSMPfile s;
        s.new_file(path("doc.smp"));
        s.insert_nonpresent_defaults();
        s.set_proc("Tessal");
        s.SetnChans(2);
        s.SetSfTot(32000);
        s.set_channel(0, "Mikrofon Ä", "µV", fs);
        s.set_channel(1, "Fluß", "l/s", fs);
        s.write_channel(0, a, false);
        s.write_channel(1, b, false);
        s.SetExternalLabels(true);
        s.add_label(0.5, 0.25, "vowel é");
        s.add_label(1.0, 0, "point, with; separators");
        ASSERT_TRUE(s.save_file()) << s.Getsaveerror();
        s.close_file();
    }
    EXPECT_EQ(listing(), (std::vector<std::string>{"doc.csv", "doc.smp"}));
    const bytes disk = read_file(path("doc.smp"));
    const std::string head(disk.begin(), disk.begin() + static_cast<long>(header_text_end(disk)));
    EXPECT_EQ(head.rfind("head=1024\r\n", 0), 0u);
    EXPECT_NE(head.find("channel0=Mikrofon \x8E\r\n"), std::string::npos);
    EXPECT_NE(head.find("view0=-2.5,2.5,\xE6V\r\n"), std::string::npos);
    EXPECT_NE(head.find("labels=doc.csv\r\n"), std::string::npos);
    EXPECT_EQ(disk.size(), 1024u + 4 * 40000);
    // 0.5 s at 16000 frames per second of 2 channels; the text in code page 437.
    EXPECT_EQ(read_file(path("doc.csv")),
              text_bytes("doc.smp\r\nL1=16000,8000,vowel \x82\r\nL2=32000,0,point, with; separators\r\n"));

    TSMPfile r;
    ASSERT_TRUE(r.open_file(path("doc.smp"), true)) << r.Getopenerror();
    EXPECT_EQ(r.get_item("proc0"), "Tessal");
    EXPECT_FALSE(r.get_item("date").empty());
    EXPECT_EQ(r.Getchannelname(0), "Mikrofon Ä");
    EXPECT_EQ(r.Getchannelname(1), "Fluß");
    EXPECT_EQ(r.Getchannelunit(0), "µV");
    EXPECT_DOUBLE_EQ(r.Getfsd(1), fs);
    EXPECT_DOUBLE_EQ(r.Getsampfreq(0), 16000);
    tsinglearr ra, rb;
    r.read_channel(0, ra);
    r.read_channel(1, rb);
    ASSERT_EQ(ra.size(), a.size());
    ASSERT_EQ(rb.size(), b.size());
    const double lsb = fs / 32768;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_NEAR(ra[i], a[i], 0.5 * lsb + 1e-6) << i;
        ASSERT_NEAR(rb[i], std::min<double>(b[i], fs - lsb), 0.5 * lsb + 1e-6) << i;  // +fs clips by one step
    }
    const tsiglabels labels = r.Getsiglabels();
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_DOUBLE_EQ(labels[0].time, 0.5);
    EXPECT_DOUBLE_EQ(labels[0].duration, 0.25);
    EXPECT_EQ(labels[0].text, "vowel é");
    EXPECT_EQ(labels[1].text, "point, with; separators");
}

TEST_F(TSMPfileTest, LabelNumbersItemsAndLabelFileForms) {
    TSMPfile s;
    s.new_file(path("l.smp"));
    s.add_label("10,5,one");
    s.add_label("20,5,two");
    s.add_label("30,5,three");
    EXPECT_EQ(s.get_item("L2"), "20,5,two");
    s.set_item("l1", "");  // keys in any case
    s.add_label("40,5,four");
    EXPECT_EQ(s.get_item("L1"), "40,5,four");  // the first free number
    EXPECT_EQ(s.Getlabeltext(0), "four");      // labels in number order

    // Moving to the label file and back keeps them in order.
    s.SetExternalLabels(true);
    EXPECT_EQ(s.get_item("L1"), "");
    EXPECT_EQ(s.nlabels(), 3);
    s.SetExternalLabels(false);
    EXPECT_EQ(s.get_item("L3"), "30,5,three");
    ASSERT_TRUE(s.save_file()) << s.Getsaveerror();
    EXPECT_EQ(listing(), (std::vector<std::string>{"l.smp"}));

    // A label file written elsewhere: the name stored as a DOS path in
    // upper case, item-form and broken lines, ";" separators.
    write_file(path("REC.CSV"), text_bytes("REC.SMP\r\n100,50,a,b\r\nL2=200;10;\x84h\r\nzz\r\n\r\n"));
    bytes f = make_header({"head=64", "sftot=100", "labels=C:\\DATA\\REC.CSV"}, {}, 64);
    write_file(path("rec.smp"), f);
    TSMPfile r;
    ASSERT_TRUE(r.open_file(path("rec.smp"), false)) << r.Getopenerror();
    EXPECT_TRUE(r.GetExternalLabels());
    EXPECT_EQ(r.Getcsvfilename(), path("REC.CSV"));
    ASSERT_EQ(r.nlabels(), 3);
    EXPECT_EQ(r.Getlabeltext(0), "a,b");
    EXPECT_DOUBLE_EQ(r.Getlabelstart(1), 2.0);
    EXPECT_EQ(r.Getlabeltext(1), "äh");
    EXPECT_EQ(r.Getlabelstart(2), -1);
    EXPECT_EQ(r.Getsiglabels().size(), 2u);

    // Labels back into the header: the label file goes, when asked to.
    r.SetExternalLabels(false);
    ASSERT_TRUE(r.save_file()) << r.Getsaveerror();
    EXPECT_FALSE(fs::exists(path("REC.CSV")));
    TSMPfile again;
    ASSERT_TRUE(again.open_file(path("rec.smp"), true));
    EXPECT_FALSE(again.GetExternalLabels());
    EXPECT_EQ(again.get_item("L2"), "200;10;äh");

    // A header that names the .smp file itself as its label file: saving
    // must not put labels in place of the samples.
    bytes self = make_header({"head=64", "labels=self.smp"}, {}, 64);
    append16(self, 1234);
    write_file(path("self.smp"), self);
    TSMPfile sf;
    ASSERT_TRUE(sf.open_file(path("self.smp"), false));
    sf.clear_labels();
    sf.add_label("0,1,x");
    ASSERT_TRUE(sf.save_file()) << sf.Getsaveerror();
    tsmallintarr raw;
    sf.read_channel_raw(0, raw);
    EXPECT_EQ(raw, tsmallintarr{1234});
    EXPECT_EQ(sf.Getcsvfilename(), path("self.csv"));

    // A named label file that is not there is a warning, not a failure.
    write_file(path("gone.smp"), make_header({"head=64", "labels=gone.csv"}, {}, 64));
    TSMPfile g;
    ASSERT_TRUE(g.open_file(path("gone.smp"), true));
    EXPECT_EQ(g.nlabels(), 0);
    ASSERT_EQ(g.Getwarnings().size(), 1u);
}

TEST_F(TSMPfileTest, ItemRules) {
    TSMPfile s;
    s.add_line("file=samp");
    s.add_line("sftot=1000");
    s.add_line("SFTOT=2000");
    s.set_item("Head", "2048");
    EXPECT_EQ(s.Getitems().front().key, "Head");  // head always first
    EXPECT_EQ(s.get_item("sftot"), "2000");       // the last one, before validation
    s.validate_items();
    EXPECT_EQ(s.get_item("sftot"), "1000");  // of equal keys the first stays
    s.set_item("sftot", "3000");
    EXPECT_EQ(s.Getitems().size(), 3u);
    s.set_item("note", "two\r\nlines");
    EXPECT_EQ(s.get_item("note"), "two  lines");
    s.set_item("long", std::string(300, 'x'));
    EXPECT_EQ(s.get_item("long").size(), 255u);
    EXPECT_THROW(s.set_item("a=b", "c"), ESMPfileError);
    s.set_proc("One");
    s.set_proc("Two");
    EXPECT_EQ(s.get_item("proc1"), "Two");
    s.set_item("note", "");
    EXPECT_EQ(s.get_item("note", "none"), "none");

    s.set_item("dBgain", "3.5");
    s.set_item("calib", "1,2");
    s.set_item("proc0", "Kelp 2.1");
    EXPECT_TRUE(s.calibration_suspect());
    s.set_item("dBgain", "0.00");
    EXPECT_FALSE(s.calibration_suspect());
}

TEST_F(TSMPfileTest, HeaderGrowsInWholeScansAndKeepsEverySample) {
    // 3 channels: the header may only grow in steps of 6 bytes.
    bytes f = make_header({"head=256", "nchans=3", "sftot=300"}, {}, 256);
    for (int i = 0; i < 300; ++i) append16(f, i * 7 - 1000);
    write_file(path("g.smp"), f);

    TSMPfile s;
    ASSERT_TRUE(s.open_file(path("g.smp"), false)) << s.Getopenerror();
    for (int i = 0; i < 12; ++i) s.set_item("remark" + std::to_string(i), std::string(30, 'r'));
    ASSERT_TRUE(s.save_file()) << s.Getsaveerror();
    const bytes disk = read_file(path("g.smp"));
    const std::size_t needed = header_text_end(disk);
    ASSERT_GT(needed, 256u);
    const int head = s.HeadSize();
    EXPECT_EQ((head - 256) % 6, 0);
    EXPECT_GE(head, static_cast<int>(needed));
    EXPECT_LT(head - 6, static_cast<int>(needed));  // the smallest such step
    EXPECT_EQ(s.get_item("head"), std::to_string(head));
    EXPECT_TRUE(std::all_of(disk.begin() + static_cast<long>(needed), disk.begin() + head, [](auto b) { return b == 0; }));
    // The samples moved along with the header: none is overwritten.
    EXPECT_TRUE(std::equal(disk.begin() + head, disk.end(), f.begin() + 256, f.end()));
    EXPECT_EQ(disk.size(), head + f.size() - 256);

    // A header that cannot fit at all is refused, the file untouched.
    for (int i = 0; i < 200; ++i) s.set_item("more" + std::to_string(i), std::string(200, 'm'));
    EXPECT_FALSE(s.save_file());
    EXPECT_NE(s.Getsaveerror().find("32768"), std::string::npos);
    EXPECT_EQ(read_file(path("g.smp")), disk);
}

TEST_F(TSMPfileTest, WritingChannelsGrowsByWholeScansAndKeepsOtherSlots) {
    TSMPfile s;
    s.new_file(path("w.smp"));
    s.SetnChans(2);
    s.SetScanStr("0,1,0");  // channel 0 at twice the rate
    s.SetChunknSamples(4);  // several blocks even for short data
    s.write_channel_raw(0, {1, 2, 3, 4, 5});
    s.write_channel_raw(1, {-1, -2});
    s.write_channel_raw(0, {10, 20});  // only the first two of channel 0 change
    ASSERT_TRUE(s.save_file()) << s.Getsaveerror();
    const bytes disk = read_file(path("w.smp"));
    bytes want(disk.begin(), disk.begin() + 1024);
    for (int v : {10, -1, 20, 3, -2, 4, 5, 0, 0}) append16(want, v);
    EXPECT_EQ(disk, want);
    EXPECT_EQ(s.Getnsamples(0), 6);
    EXPECT_EQ(s.Getnsamples(1), 3);

    // Dither: a level of 0.3 steps comes out as 0.3 on average; full scale clips.
    TSMPfile d;
    d.new_file(path("d.smp"));
    d.write_channel(0, tsinglearr(20000, 0.3f), true);
    d.write_channel(0, tsinglearr(20000, 0.3f), true);
    tsmallintarr raw;
    d.read_channel_raw(0, raw);
    double mean = 0;
    for (auto v : raw) mean += v;
    EXPECT_NEAR(mean / raw.size(), 0.3, 0.02);
    d.write_channel(0, {1e6f, -1e6f}, false);
    d.read_channel_raw(0, raw);
    EXPECT_EQ(raw[0], 32767);
    EXPECT_EQ(raw[1], -32768);
}

TEST_F(TSMPfileTest, DamagedFilesGiveAClearMessage) {
    struct tcase {
        bytes file;
        const char* says;
    };
    std::string many_slots;
    for (int i = 0; i < 513; ++i) many_slots += "0,";
    bytes past = text_bytes("head=16\r\nfile=samp\r\n=\r\n");
    past.resize(64, 0);
    const std::vector<tcase> cases = {
        {{}, "empty"},
        {make_header({"head=abc"}, {}, 64), "not a number"},
        {make_header({"head=63"}, {}, 64), "must be even"},
        {make_header({"head=40000"}, {}, 64), "must be even"},
        {make_header({"head=-2"}, {}, 64), "must be even"},
        {make_header({"head=99999999999999999999"}, {}, 64), "not a number"},
        {make_header({"head=2048"}, {}, 64), "longer than the file"},
        {make_header({"file=samp"}, {}, 100), "longer than the file"},  // default 1024
        {past, "runs past"},
        {make_header({"head=64", "nchans=0"}, {}, 64), "number of channels"},
        {make_header({"head=64", "nchans=200"}, {}, 64), "number of channels"},
        {make_header({"head=64", "nchans=2", "scan=0,5"}, {}, 64), "lists channel 5"},
        {make_header({"head=64", "nchans=3", "scan=0,1,0"}, {}, 64), "Channel 2 does not appear"},
        {make_header({"head=64", "scan=x"}, {}, 64), "lists no channels"},
        {make_header({"head=2048", "scan=" + many_slots}, {}, 2048), "at most 512"},
        {make_header({"head=64", "sftot=0"}, {}, 64), "sample rate"},
        {make_header({"head=64", "sftot=nan"}, {}, 64), "sample rate"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        write_file(path("bad.smp"), cases[i].file);
        TSMPfile s;
        EXPECT_FALSE(s.open_file(path("bad.smp"), true)) << i;
        EXPECT_NE(s.Getopenerror().find(cases[i].says), std::string::npos) << i << ": " << s.Getopenerror();
        EXPECT_FALSE(s.Getisopen());
        tsmallintarr raw;
        EXPECT_THROW(s.read_channel_raw(0, raw), ESMPfileError) << i;
    }
    TSMPfile s;
    EXPECT_FALSE(s.open_file(path("missing.smp"), true));
    EXPECT_FALSE(s.open_file(dir.string(), true));
    EXPECT_EQ(listing(), (std::vector<std::string>{"bad.smp"}));
}

// The range is the scale of every sample: a range item that is there but is
// not two finite numbers, the first below the second, is damage, refused
// naming the item, where a file without one gets the 16-bit range.
TEST_F(TSMPfileTest, ARangeThatIsNoPairOfNumbersIsRefused) {
    for (const char* range : {"nan,32768", "-32768,inf", "-inf,1", "5,5", "1,-1", "abc", "-1e999,1"}) {
        for (const char* key : {"range0=", "range="}) {  // the channel's own, or the one of every channel
            SCOPED_TRACE(std::string(key) + range);
            bytes f = make_header({"head=512", "file=samp", "sftot=2000", "nchans=1", std::string(key) + range},
                                  {}, 512);
            for (int v : {1, -32768, 2}) append16(f, v);
            write_file(path("r.smp"), f);
            TSMPfile s;
            ASSERT_TRUE(s.open_file(path("r.smp"), true)) << s.Getopenerror();
            tsinglearr a;
            try {
                s.read_channel(0, a);
                ADD_FAILURE() << "read with range " << range;
            } catch (const ESMPfileError& e) {
                EXPECT_NE(std::string(e.what()).find(std::string(key) + range), std::string::npos) << e.what();
            }
        }
    }
    // A channel's own range takes the place of the common one, which is
    // then not read at all.
    {
        bytes f = make_header({"head=512", "file=samp", "sftot=2000", "nchans=1", "range=nan,1", "range0=-2,2"}, {},
                              512);
        for (int v : {1, -32768, 16384}) append16(f, v);
        write_file(path("own.smp"), f);
        TSMPfile s;
        ASSERT_TRUE(s.open_file(path("own.smp"), true));
        tsinglearr a;
        s.read_channel(0, a);
        ASSERT_EQ(a.size(), 3u);
        EXPECT_EQ(a[1], -2.0f);
    }
    bytes f = make_header({"head=512", "file=samp", "sftot=2000", "nchans=1"}, {}, 512);
    for (int v : {1, -32768, 16384}) append16(f, v);
    write_file(path("none.smp"), f);
    TSMPfile s;
    ASSERT_TRUE(s.open_file(path("none.smp"), true));
    tsinglearr a;
    s.read_channel(0, a);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[1], -32768.0f);
    EXPECT_EQ(a[2], 16384.0f);
}

TEST_F(TSMPfileTest, EveryTruncationOfAValidFileIsSafe) {
    bytes f = make_header({"head=96", "nchans=2", "scan=0,1,1", "msb=first", "L1=1,2,x", "channel0=a"}, {"c"}, 96);
    for (int i = 0; i < 21; ++i) append16(f, i * 100, true);
    for (std::size_t cut = 0; cut <= f.size(); ++cut) {
        write_file(path("t.smp"), bytes(f.begin(), f.begin() + static_cast<long>(cut)));
        TSMPfile s;
        const bool ok = s.open_file(path("t.smp"), true);
        EXPECT_EQ(ok, cut >= 96) << cut << " " << s.Getopenerror();
        if (!ok) continue;
        const std::int64_t values = (static_cast<std::int64_t>(cut) - 96) / 2;
        tsmallintarr a, b;
        s.read_channel_raw(0, a);
        s.read_channel_raw(1, b);
        EXPECT_EQ(static_cast<std::int64_t>(a.size() + b.size()), values) << cut;
        for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], static_cast<int>(i * 3 * 100));
        EXPECT_EQ(s.Getsiglabels().size(), 1u);
    }
}

TEST_F(TSMPfileTest, AFailedSaveLeavesBothFilesAsTheyWere) {
    bytes f = make_header({"head=64", "nchans=2", "labels=keep.csv"}, {}, 64);
    for (int i = 0; i < 500; ++i) append16(f, i);
    const bytes csv = text_bytes("keep.smp\r\n0,10,old\r\n");
    const std::vector<std::string> files = {"keep.csv", "keep.smp"};

    // Every failure point: short writes at several depths, each rename refused.
    struct tfault {
        std::int64_t budget;
        int rename;
        bool samples;  // samples written first, so the save works on a copy
    };
    std::vector<tfault> faults;
    for (std::int64_t b : {0, 10, 64, 900}) faults.push_back({b, -1, false});
    for (int r = 0; r < 4; ++r) faults.push_back({-1, r, false});
    for (int r = 0; r < 4; ++r) faults.push_back({-1, r, true});
    faults.push_back({0, -1, true});
    for (const auto& fault : faults) {
        write_file(path("keep.smp"), f);
        write_file(path("keep.csv"), csv);
        tfaultyops ops;
        TSMPfile s;
        s.set_fileops(&ops);
        ASSERT_TRUE(s.open_file(path("keep.smp"), false)) << s.Getopenerror();
        s.add_label("20,10,new");
        if (!fault.samples) s.set_item("remark", std::string(100, 'x'));  // a header that must grow
        if (fault.samples) s.write_channel_raw(1, tsmallintarr(300, 7));
        ops.writebudget = fault.budget;
        ops.failrename = fault.rename;
        EXPECT_FALSE(s.save_file()) << fault.budget << " " << fault.rename;
        EXPECT_FALSE(s.Getsaveerror().empty());
        s.close_file();
        EXPECT_EQ(read_file(path("keep.smp")), f) << fault.budget << " " << fault.rename << " " << fault.samples;
        EXPECT_EQ(read_file(path("keep.csv")), csv) << fault.budget << " " << fault.rename << " " << fault.samples;
        EXPECT_EQ(listing(), files);
    }

    // The same save without a fault goes through.
    TSMPfile s;
    ASSERT_TRUE(s.open_file(path("keep.smp"), false));
    s.add_label("20,10,new");
    s.write_channel_raw(1, tsmallintarr(300, 7));
    ASSERT_TRUE(s.save_file()) << s.Getsaveerror();
    s.close_file();
    EXPECT_EQ(listing(), files);
    EXPECT_EQ(read_file(path("keep.csv")), text_bytes("keep.smp\r\nL1=0,10,old\r\nL2=20,10,new\r\n"));

    // A file opened read-only is never written; closing discards unsaved samples.
    const bytes before = read_file(path("keep.smp"));
    TSMPfile ro;
    ASSERT_TRUE(ro.open_file(path("keep.smp"), true));
    EXPECT_THROW(ro.write_channel_raw(0, {1}), ESMPfileError);
    EXPECT_FALSE(ro.save_file());
    TSMPfile rw;
    ASSERT_TRUE(rw.open_file(path("keep.smp"), false));
    rw.write_channel_raw(0, {1, 2, 3});
    rw.close_file();
    EXPECT_EQ(read_file(path("keep.smp")), before);
    EXPECT_EQ(listing(), files);
}

}  // namespace
}  // namespace tessal
