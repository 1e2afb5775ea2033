// Number fields with a range: what is read, what is refused and the
// sentence that says why; digit counts clamp however long they are typed.
#include <gtest/gtest.h>

#include "engine/dsp/numberfield.h"

using namespace tessal;

TEST(NumberField, ReadsInsideTheRangeAndNamesTheRuleOutside) {
    double v = -1;
    EXPECT_EQ(read_number_field("16000", fields::defaultsampfreq, v), "");
    EXPECT_EQ(v, 16000);
    EXPECT_EQ(read_number_field(" 1e7 ", fields::defaultsampfreq, v), "");
    for (const char* bad : {"1e300", "0", "0.5", "-44100", "44,1", "", "nan", "inf"}) {
        v = -1;
        EXPECT_EQ(read_number_field(bad, fields::defaultsampfreq, v),
                  "Default sample rate must be a number from 1 to 10000000 Hz")
            << bad;
        EXPECT_EQ(v, -1) << bad;  // left alone
    }
    EXPECT_EQ(read_number_field("1e308", fields::overloadmargin, v),
              "Warning margin for overload labels must be a number from 0 to 100 dB");
    EXPECT_EQ(read_number_field("0.001", fields::samplingrate, v),
              "Sampling rate must be a number from 1 to 10000000 Hz");
    EXPECT_EQ(read_number_field("1e300", fields::labelduration, v),
              "Duration must be a number from 0 to 10000000 s");
    EXPECT_EQ(read_number_field("-0.5", fields::labelduration, v),
              "Duration must be a number from 0 to 10000000 s");
    EXPECT_EQ(read_number_field("-3600", fields::labeltime, v), "");
    EXPECT_EQ(read_number_field("2e-5", fields::dbreference, v), "");
    EXPECT_EQ(v, 2e-5);
    EXPECT_EQ(number_field_rule(fields::fullscale),
              "Full scale must be a number from -1E30 to 1E30");
}

TEST(NumberField, CountsClampHoweverLong) {
    int n = -1;
    EXPECT_TRUE(read_clamped_count("999", 0, 20, n));
    EXPECT_EQ(n, 20);
    EXPECT_TRUE(read_clamped_count("99999999999999999999999999", 0, 20, n));
    EXPECT_EQ(n, 20);
    EXPECT_TRUE(read_clamped_count(" -4 ", 0, 20, n));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(read_clamped_count("+7", 0, 20, n));
    EXPECT_EQ(n, 7);
    for (const char* bad : {"", "x", "1.5", "-", "3 4", "1e3"}) EXPECT_FALSE(read_clamped_count(bad, 0, 20, n)) << bad;
}

TEST(NumberField, AutocorrelationWindowsHaveTheirLimits) {
    double v = -1;
    EXPECT_EQ(read_number_field("1000", fields::correlationlength, v), "");
    EXPECT_EQ(v, 1000);
    EXPECT_EQ(read_number_field("1000000", fields::correlationlength, v),
              "Window length must be a number from 0.01 to 1000 ms");
    EXPECT_EQ(read_number_field("0", fields::correlationlength, v),
              "Window length must be a number from 0.01 to 1000 ms");
    EXPECT_EQ(read_number_field("100", fields::correlogramlength, v), "");
    EXPECT_EQ(read_number_field("101", fields::correlogramlength, v),
              "Window length must be a number from 0.01 to 100 ms");
    EXPECT_EQ(read_number_field("10", fields::correlogramfactor, v), "");
    EXPECT_EQ(read_number_field("1e9", fields::correlogramfactor, v),
              "Corr delay factor must be a number from 0.01 to 10");
    EXPECT_EQ(v, 10);
}
