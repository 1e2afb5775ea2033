// Number texts: significant digits, picture patterns, the general form,
// parsing, note names and list texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/dsp/listtext.h"
#include "engine/dsp/notes.h"
#include "engine/dsp/numformat.h"

using namespace tessal;

TEST(FormatSignificant, ChoosesTheShorterOfExponentAndGeneralForm) {
    EXPECT_EQ(format_significant(3, 1234.5), "1230");
    // Equally long: the general form wins.
    EXPECT_EQ(format_significant(3, 0.000012345), "1.23E-5");
    EXPECT_EQ(format_significant(5, 44100), "44100");
    EXPECT_EQ(format_significant(5, 0.5), "0.5");
    EXPECT_EQ(format_significant(5, -2.0 / 3.0), "-0.66667");
    EXPECT_EQ(format_significant(8, 1e-17), "1E-17");
    EXPECT_EQ(format_significant(2, 1e20), "1E20");
    EXPECT_EQ(format_significant(1, 7.6), "8");
    EXPECT_EQ(format_significant(3, 0), "0");
    EXPECT_EQ(format_significant(3, 999.7), "1000");
    EXPECT_EQ(format_significant(5, std::nan("")), "NaN");
}

TEST(FormatSignificant, FileVariantUsesASignedFourDigitExponent) {
    // The general form is shorter than the four-digit exponent here.
    EXPECT_EQ(format_significant_file(3, 1.2345e-20), "1.23E-20");
    EXPECT_EQ(format_float_pattern("0.00E+0000", 1.2345e-20), "1.23E-0020");
    EXPECT_EQ(format_significant_file(3, 1234.5), "1230");
    EXPECT_EQ(format_significant_file(6, 1.0 / 3.0), "0.333333");
}

TEST(FormatPattern, DecimalPicturesRoundHalfAwayFromZero) {
    EXPECT_EQ(format_float_pattern("0.00", 0.125), "0.13");
    EXPECT_EQ(format_float_pattern("0.00", -0.125), "-0.13");
    EXPECT_EQ(format_float_pattern("0.00", -0.001), "0.00");
    EXPECT_EQ(format_float_pattern("0.000", 1.25), "1.250");
    EXPECT_EQ(format_float_pattern("0.000", 9.9996), "10.000");
    EXPECT_EQ(format_float_pattern("0.######", 48000), "48000");
    EXPECT_EQ(format_float_pattern("0.######", 0.1234567), "0.123457");
    EXPECT_EQ(format_float_pattern("0", 2.5), "3");
    EXPECT_EQ(format_float_pattern("0.00E-0", 0.000012345), "1.23E-5");
    EXPECT_EQ(format_float_pattern("0.00E+0000", 1234.5), "1.23E+0003");
    EXPECT_EQ(format_float_pattern("0E-0", 96), "1E2");
    EXPECT_EQ(format_float_pattern("0.00", std::numeric_limits<double>::infinity()), "INF");
}

TEST(GeneralForm, ShortestTextUpToFifteenDigits) {
    EXPECT_EQ(float_to_text(0.1), "0.1");
    EXPECT_EQ(float_to_text(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(float_to_text(0.00001), "0.00001");
    EXPECT_EQ(float_to_text(0.000005), "5E-6");
    EXPECT_EQ(float_to_text(123456789012345.0), "123456789012345");
    EXPECT_EQ(float_to_text(1e15), "1E15");
    EXPECT_EQ(float_to_text(-65504), "-65504");
    EXPECT_EQ(float_to_text(std::nan("")), "NAN");
}

TEST(ParseDot, AcceptsNumbersAndRejectsOthers) {
    EXPECT_DOUBLE_EQ(parse_float_dot(" 1.5 "), 1.5);
    EXPECT_DOUBLE_EQ(parse_float_dot("+2e3"), 2000);
    EXPECT_DOUBLE_EQ(parse_float_dot("-1.23E-5"), -1.23e-5);
    try {
        parse_float_dot("");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot convert empty string to number");
    }
    EXPECT_THROW(parse_float_dot("1,5"), EConvertError);
    EXPECT_THROW(parse_float_dot("1.5x"), EConvertError);
    EXPECT_THROW(parse_float_dot("+"), EConvertError);
    // Every general text reads back to the same double within 15 digits.
    for (double v : {1.0 / 7, -3.14159e-9, 6.02214076e23, 44100.0})
        EXPECT_NEAR(parse_float_dot(float_to_text(v)), v, std::fabs(v) * 1e-14);
}

TEST(Notes, NamesOctavesAndCents) {
    EXPECT_EQ(freq_to_notename(440, false), "A4");
    EXPECT_EQ(freq_to_notename(261.63, false), "C4");
    EXPECT_EQ(freq_to_notename(450, true), "A4 +39 cent");
    EXPECT_EQ(freq_to_notename(430, true), "A4 -40 cent");
    EXPECT_EQ(freq_to_notename(246.94, false), "B3");  // the octave turns at C
    EXPECT_EQ(freq_to_notename(27.5, false), "A0");
    EXPECT_EQ(freq_to_notename(0, false), "-");
    EXPECT_EQ(freq_to_notename(-5, true), "-");
    EXPECT_NEAR(note_to_freq(freq_to_note(123.4)), 123.4, 1e-9);
    EXPECT_NEAR(note_to_freq(60), 261.6255653, 1e-6);
    int black = 0;
    for (int n = 60; n < 72; ++n) black += is_black_key(n);
    EXPECT_EQ(black, 5);
    EXPECT_TRUE(is_black_key(61));   // C#4
    EXPECT_FALSE(is_black_key(64));  // E4
}

TEST(Notes, NamesAreReadBackAsFrequencies) {
    double f = 0;
    ASSERT_TRUE(parse_note_name("A4", f));
    EXPECT_DOUBLE_EQ(f, 440);
    ASSERT_TRUE(parse_note_name(" c4 ", f));
    EXPECT_NEAR(f, 261.6256, 1e-4);  // middle C
    ASSERT_TRUE(parse_note_name("Bb3", f));
    EXPECT_NEAR(f, 233.0819, 1e-4);
    ASSERT_TRUE(parse_note_name("F#5", f));
    EXPECT_NEAR(f, 739.9888, 1e-4);
    ASSERT_TRUE(parse_note_name("A-1", f));
    EXPECT_DOUBLE_EQ(f, 13.75);
    // Every name the program writes reads back as its note.
    for (int n = 12; n < 120; ++n) {
        ASSERT_TRUE(parse_note_name(note_name(n, false), f)) << note_name(n, false);
        EXPECT_NEAR(freq_to_note(f), n, 1e-9) << note_name(n, false);
    }
    f = -1;
    for (const char* bad : {"", "A", "H2", "A4x", "#4", "A444", "Ab"})
        EXPECT_FALSE(parse_note_name(bad, f)) << bad;
    EXPECT_EQ(f, -1);
}

TEST(ListText, ChannelSelectorsRoundTrip) {
    tintarr l = text_to_intlist("1, 2 n s -4");
    EXPECT_EQ(l, (tintarr{1, 2, -1, -2, -4}));
    EXPECT_EQ(intlist_to_text(l), "1 2 N S -4");
    EXPECT_EQ(text_to_intlist(" c;3 "), (tintarr{-3, 3}));
    EXPECT_TRUE(text_to_intlist("").empty());
    // A malformed token keeps what was read before it.
    tintarr partial;
    EXPECT_THROW(text_to_intlist("4 5 6-7 8", partial), EConvertError);
    EXPECT_EQ(partial, (tintarr{4, 5}));
    EXPECT_THROW(text_to_intlist("99999999999"), EConvertError);
}

TEST(ListText, RealListsUseBlanksAndDots) {
    tdoublearr v{0.5, -2, 1e-7};
    EXPECT_EQ(reallist_to_text(v), "0.5 -2 1E-7");
    EXPECT_EQ(text_to_reallist("0.5 -2 1E-7"), v);
    EXPECT_EQ(text_to_reallist("3;4, 5"), (tdoublearr{3, 4, 5}));
}
