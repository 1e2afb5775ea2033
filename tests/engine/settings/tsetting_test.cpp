// The ini store: values of every kind survive a fresh store over the same
// file, the 23-character real encoding agrees with printf's, and missing,
// malformed and hostile values behave.
#include "engine/settings/tsetting.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

#include "tempenv.h"

namespace tessal {
namespace {

using testing::ttempenv;

TEST(TSetting, RealsAreTwentyThreeCharactersAsPrintfWritesThem) {
    std::setlocale(LC_NUMERIC, "C");
    for (double x : {0.0, 1.0, -1.0, 123.45, -0.000123456789, 44100.0, 0.2, 1e300, -4.9e-324,
                     6.02214076e23, 9.999999999999999}) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.14E", x);
        std::string want(buf);
        // printf writes at least two exponent digits; the file has four.
        const std::size_t e = want.find('E');
        std::string digits = want.substr(e + 2);
        want = want.substr(0, e + 2) + std::string(4 - digits.size(), '0') + digits;
        if (want[0] != '-') want = " " + want;
        const std::string got = setting_float_text(x);
        EXPECT_EQ(got, want) << x;
        EXPECT_EQ(got.size(), 23u) << got;
        double back = 0;
        ASSERT_TRUE(parse_setting_float(got, back));
        // 15 significant digits are kept.
        EXPECT_NEAR(back, x, std::fabs(x) * 1e-14) << got;
    }
}

TEST(TSetting, RealsIgnoreTheLocaleAndRejectMalformedText) {
    double x = 7;
    EXPECT_FALSE(parse_setting_float("", x));
    EXPECT_FALSE(parse_setting_float("1,5", x));
    EXPECT_FALSE(parse_setting_float("1.5x", x));
    EXPECT_FALSE(parse_setting_float("E+0003", x));
    EXPECT_EQ(x, 7);
    EXPECT_TRUE(parse_setting_float(" 2.50000000000000E-0001 ", x));
    EXPECT_EQ(x, 0.25);
    EXPECT_TRUE(parse_setting_float(setting_float_text(-HUGE_VAL), x));
    EXPECT_EQ(x, -HUGE_VAL);
    EXPECT_TRUE(parse_setting_float(setting_float_text(std::nan("")), x));
    EXPECT_TRUE(std::isnan(x));
}

TEST(TSetting, EveryKindSurvivesAFreshStore) {
    ttempenv env;
    const std::string name = (env.dir / "proc.ini").string();
    tsettingfont font{"DejaVu Sans", 12, 0xFF8000, true, false, true, true};
    {
        TSetting s;
        s.SetLocation(Location::slfile);
        s.SetFilename(name);
        s.WriteString("Step1", "Name", "low-pass & friends");
        s.WriteInteger("Step1", "Order", -42);
        s.WriteInteger("Step1", "Big", 1LL << 40);
        s.WriteBool("Step1", "On", true);
        s.WriteBool("Step1", "Off", false);
        s.WriteFloat("Step1", "Cutoff", 1234.5678);
        s.WriteFont("Plot", "Axis", font);
        s.WriteString("Step2", "Name", "second");
    }
    EXPECT_NE(ttempenv::read(name).find("Cutoff= 1.23456780000000E+0003\n"), std::string::npos);
    EXPECT_NE(ttempenv::read(name).find("On=1\n"), std::string::npos);
    TSetting s;
    s.SetLocation(Location::slfile);
    s.SetFilename(name);
    // Sections and keys match regardless of case.
    EXPECT_EQ(s.ReadString("step1", "NAME", ""), "low-pass & friends");
    EXPECT_EQ(s.ReadInteger("Step1", "Order", 0), -42);
    EXPECT_EQ(s.ReadInteger("Step1", "Big", 0), 1LL << 40);
    EXPECT_TRUE(s.ReadBool("Step1", "On", false));
    EXPECT_FALSE(s.ReadBool("Step1", "Off", true));
    EXPECT_DOUBLE_EQ(s.ReadFloat("Step1", "Cutoff", 0), 1234.5678);
    EXPECT_EQ(s.ReadFont("Plot", "Axis", {}), font);
    EXPECT_EQ(s.ReadSections(), (std::vector<std::string>{"Step1", "Plot", "Step2"}));
    EXPECT_EQ(s.ReadSection("Plot").size(), 7u);
    EXPECT_EQ(s.ReadSection("Plot")[0], "AxisName");

    s.DeleteKey("Step1", "order");
    s.DeleteSection("PLOT");
    TSetting t;
    t.SetLocation(Location::slfile);
    t.SetFilename(name);
    EXPECT_EQ(t.ReadInteger("Step1", "Order", 99), 99);
    EXPECT_EQ(t.ReadSections(), (std::vector<std::string>{"Step1", "Step2"}));
}

TEST(TSetting, MissingAndMalformedValuesGiveTheDefault) {
    ttempenv env;
    const std::string name = (env.dir / "hand.ini").string();
    ttempenv::write(name,
                    "stray=before any section\r\n"
                    "[A]\r\n"
                    "int=12abc\r\n"
                    "empty=\r\n"
                    "real=1,5\r\n"
                    "bool=yes\r\n"
                    "two=2\r\n"
                    "dup=first\r\n"
                    "dup=second\r\n"
                    "  spaced  = kept as is\r\n"
                    "no equals sign\r\n"
                    "; a comment=1\r\n");
    TSetting s;
    s.SetLocation(Location::slfile);
    s.SetFilename(name);
    EXPECT_EQ(s.ReadInteger("A", "int", 5), 5);
    EXPECT_EQ(s.ReadInteger("A", "empty", 5), 5);
    EXPECT_EQ(s.ReadFloat("A", "real", 2.5), 2.5);
    EXPECT_EQ(s.ReadFloat("A", "empty", 2.5), 2.5);
    EXPECT_EQ(s.ReadString("A", "empty", "def"), "");
    // Only 1 is true; present but anything else is false.
    EXPECT_FALSE(s.ReadBool("A", "bool", true));
    EXPECT_FALSE(s.ReadBool("A", "two", true));
    EXPECT_TRUE(s.ReadBool("A", "absent", true));
    EXPECT_EQ(s.ReadString("A", "dup", ""), "first");
    EXPECT_EQ(s.ReadString("A", "spaced", ""), " kept as is");
    EXPECT_EQ(s.ReadString("", "stray", "none"), "none");
    EXPECT_EQ(s.ReadSection("A").size(), 7u);
    EXPECT_EQ(s.ReadString("Nowhere", "x", "d"), "d");
}

TEST(TSetting, AValueCannotBreakTheFileApart) {
    ttempenv env;
    const std::string name = (env.dir / "x.ini").string();
    {
        TSetting s;
        s.SetLocation(Location::slfile);
        s.SetFilename(name);
        s.WriteString("S", "text", "line one\r\n[Evil]\nkey=1");
        s.WriteString("S", "a=b", "v");
        s.WriteString("S", "[k", "w");
    }
    TSetting s;
    s.SetLocation(Location::slfile);
    s.SetFilename(name);
    EXPECT_EQ(s.ReadSections(), std::vector<std::string>{"S"});
    EXPECT_EQ(s.ReadString("S", "text", ""), "line one  [Evil] key=1");
    EXPECT_EQ(s.ReadString("S", "a_b", ""), "v");
    EXPECT_EQ(s.ReadString("S", "_k", ""), "w");
}

TEST(TSetting, ManualIniCloseWritesOnlyWhenAsked) {
    ttempenv env;
    const std::string name = (env.dir / "m.ini").string();
    TSetting s;
    s.SetLocation(Location::slfile);
    s.SetManualIniClose(true);
    s.SetFilename(name);
    s.WriteInteger("S", "n", 1);
    EXPECT_FALSE(std::filesystem::exists(name));
    s.IniClose();
    EXPECT_NE(ttempenv::read(name).find("n=1"), std::string::npos);
    // Pointing the store at another file flushes the first one.
    s.WriteInteger("S", "n", 2);
    s.SetFilename((env.dir / "other.ini").string());
    EXPECT_NE(ttempenv::read(name).find("n=2"), std::string::npos);
    EXPECT_EQ(s.ReadInteger("S", "n", -1), -1);
}

TEST(TSetting, NonRoamingLivesUnderTheProgramFolder) {
    ttempenv env;
    {
        TSetting s;
        EXPECT_EQ(s.GetLocation(), Location::slnonroaming);
        s.SetProgramName("tessal");
        s.WriteString("RecentFilessound", "1", "/x.wav");
        EXPECT_EQ(s.inifilename(), env.data() + "/Tessal/Tessal/1.0/tessal.ini");
    }
    EXPECT_NE(ttempenv::read(env.data() + "/Tessal/Tessal/1.0/tessal.ini").find("1=/x.wav"),
              std::string::npos);
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(local_appdata_folder(), env.dir.string() + "/.local/share");
    EXPECT_EQ(local_appdata_folder("/given"), "/given");
}

}  // namespace
}  // namespace tessal
