// TextGrids: what is written reads back into the same labels; the short
// format and UTF-16 files read the same as the long format; gaps are filled
// and overlaps cut; other files are refused with a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/core/tdocument.h"
#include "engine/formats/textgrid.h"

using namespace tessal;

namespace {

tsiglabel label(double t, double d, const std::string& text) {
    tsiglabel l;
    l.time = t;
    l.duration = d;
    l.text = text;
    return l;
}

}  // namespace

TEST(TextGrid, WrittenLabelsReadBack) {
    ttextgridchannel ch{"flow \"a\"", {label(0.5, 0.25, "a"), label(0.2, 0.1, "é \"q\""),
                                       label(0.6, 0.3, "over"), label(1.2, 0, "pt")}};
    const std::string text = textgrid_text({ch}, 0, 2);
    const auto tiers = parse_textgrid(text);
    ASSERT_EQ(tiers.size(), 2u);
    EXPECT_EQ(tiers[0].name, "flow \"a\"");
    ASSERT_EQ(tiers[0].labels.size(), 3u);
    EXPECT_EQ(tiers[0].labels[0].text, "é \"q\"");
    EXPECT_DOUBLE_EQ(tiers[0].labels[0].time, 0.2);
    EXPECT_DOUBLE_EQ(tiers[0].labels[1].duration, 0.25);
    EXPECT_DOUBLE_EQ(tiers[0].labels[2].time, 0.75);  // cut where "a" ends
    EXPECT_DOUBLE_EQ(tiers[0].labels[2].duration, 0.15);
    EXPECT_TRUE(tiers[1].points);
    EXPECT_EQ(tiers[1].name, "flow \"a\" points");
    EXPECT_DOUBLE_EQ(tiers[1].labels[0].time, 1.2);
    // The interval tier covers 0..2 without gaps: 0-0.2, 0.2-0.3, 0.3-0.5, 0.5-0.75, 0.75-0.9, 0.9-2.
    EXPECT_NE(text.find("intervals: size = 6"), std::string::npos);
}

TEST(TextGrid, ShortFormatAndUtf16) {
    const std::string shortform =
        "File type = \"ooTextFile short\"\n\"TextGrid\"\n\n0\n1.5\n<exists>\n2\n"
        "\"IntervalTier\"\n\"words\"\n0\n1.5\n2\n0\n0.7\n\"hello\"\n0.7\n1.5\n\"\"\n"
        "\"TextTier\"\n\"bells\"\n0\n1.5\n1\n0.9\n\"ding\"\n";
    // Praat's short format starts "File type = "ooTextFile"" as well.
    std::string praat = shortform;
    praat.replace(praat.find("ooTextFile short"), 16, "ooTextFile");
    const auto tiers = parse_textgrid(praat);
    ASSERT_EQ(tiers.size(), 2u);
    ASSERT_EQ(tiers[0].labels.size(), 1u);
    EXPECT_EQ(tiers[0].labels[0].text, "hello");
    EXPECT_DOUBLE_EQ(tiers[0].labels[0].duration, 0.7);
    EXPECT_EQ(tiers[1].labels[0].text, "ding");

    std::string u16 = "\xFF\xFE";
    for (unsigned char c : praat) {
        u16 += static_cast<char>(c);
        u16 += '\0';
    }
    const auto again = parse_textgrid(u16);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].labels[0].text, "hello");

    EXPECT_THROW(parse_textgrid("RIFF...."), ETextGridError);
    EXPECT_THROW(parse_textgrid("File type = \"ooTextFile\"\n\"TextGrid\"\n0 1 <exists> 1 \"IntervalTier\" \"x\" 0 1 5 0 0.5"),
                 ETextGridError);
}

namespace {

const std::string head = "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n";

// What parsing `text` says when it refuses it; "read" when it reads it.
std::string message(const std::string& text) {
    try {
        parse_textgrid(text);
    } catch (const ETextGridError& e) {
        return e.what();
    }
    return "read";
}

}  // namespace

// A count or time that is not a number is refused, naming the field, rather
// than read as no tiers or as labels at no time.
TEST(TextGrid, NotANumberIsRefusedNamingTheField) {
    for (const char* x : {"-nan", "+nan", "+inf", "-inf"}) {
        SCOPED_TRACE(x);
        EXPECT_NE(message(head + "0\n1\n" + x + "\n").find("tier count"), std::string::npos);
        EXPECT_NE(message(head + "0\n1\n1\n\"IntervalTier\"\n\"w\"\n0\n1\n" + x + "\n").find("label count"),
                  std::string::npos);
        EXPECT_NE(message(head + "0\n1\n1\n\"IntervalTier\"\n\"w\"\n0\n1\n1\n0\n" + x + "\n\"a\"\n").find(
                      "label end time"),
                  std::string::npos);
        EXPECT_NE(message(head + "0\n1\n1\n\"TextTier\"\n\"p\"\n0\n1\n1\n" + x + "\n\"a\"\n").find("label time"),
                  std::string::npos);
    }
    // The same file with numbers reads.
    const auto tiers = parse_textgrid(head + "0\n1\n1\n\"IntervalTier\"\n\"w\"\n0\n1\n1\n0\n0.5\n\"a\"\n");
    ASSERT_EQ(tiers.size(), 1u);
    ASSERT_EQ(tiers[0].labels.size(), 1u);
    EXPECT_DOUBLE_EQ(tiers[0].labels[0].duration, 0.5);
}

// A bare "nan", "inf" or "undefined" where a number belongs, or a number
// that cannot be read ("1e999", "1.2.3"), is refused naming the field: were
// it skipped as a word, the numbers after it would shift into other fields
// and the file would be read as something else without a word.
TEST(TextGrid, ABareWordOrUnreadableNumberIsRefusedNotSkipped) {
    for (const char* x : {"nan", "NaN", "inf", "Infinity", "undefined", "1e999", "1.2.3"}) {
        SCOPED_TRACE(x);
        EXPECT_NE(message(head + "0\n1\n" + x + "\n").find("tier count"), std::string::npos);
        // Long form: the tier's xmin. Skipped, xmax would become the start,
        // the label count the end and the first label time the count.
        const std::string longform = head + "\nxmin = 0\nxmax = 1\ntiers? <exists>\nsize = 1\nitem []:\n"
                                            "    item [1]:\n        class = \"TextTier\"\n        name = \"p\"\n"
                                            "        xmin = " + std::string(x) + "\n        xmax = 1\n"
                                            "        points: size = 1\n        points [1]:\n"
                                            "            number = 0.25\n            mark = \"x\"\n";
        EXPECT_NE(message(longform).find("tier start time"), std::string::npos) << message(longform);
        EXPECT_NE(message(head + "0\n1\n1\n\"TextTier\"\n\"p\"\n0\n1\n1\n" + x + "\n\"a\"\n").find("label time"),
                  std::string::npos);
    }
    // The words of the long form itself are no numbers and read as before.
    const std::string good = head + "\nxmin = 0\nxmax = 1\ntiers? <exists>\nsize = 1\nitem []:\n"
                                    "    item [1]:\n        class = \"TextTier\"\n        name = \"p\"\n"
                                    "        xmin = 0\n        xmax = 1\n"
                                    "        points: size = 1\n        points [1]:\n"
                                    "            number = 0.25\n            mark = \"x\"\n";
    const auto tiers = parse_textgrid(good);
    ASSERT_EQ(tiers.size(), 1u);
    ASSERT_EQ(tiers[0].labels.size(), 1u);
    EXPECT_DOUBLE_EQ(tiers[0].labels[0].time, 0.25);
}

// Importing 40,000 intervals from two tiers: the channel ends with every
// label once, sorted by start, labels that start together in tier order
// after the channel's own, and the document modified. Sorting once per
// label made this take minutes.
TEST(TextGrid, ManyIntervalsImportSortedAndInTierOrder) {
    const int n = 20000;
    ttextgridchannel a{"a", {}}, b{"b", {}};
    for (int i = 0; i < n; ++i) {
        a.labels.push_back(label(i * 0.01, 0.01, "a" + std::to_string(i)));
        b.labels.push_back(label((n - 1 - i) * 0.01, 0.005, "b" + std::to_string(n - 1 - i)));
    }
    std::sort(b.labels.begin(), b.labels.end(),
              [](const tsiglabel& x, const tsiglabel& y) { return x.time < y.time; });
    const auto tiers = parse_textgrid(textgrid_text({a, b}, 0, n * 0.01));
    ASSERT_EQ(tiers.size(), 2u);
    ASSERT_EQ(tiers[0].labels.size(), static_cast<std::size_t>(n));
    ASSERT_EQ(tiers[1].labels.size(), static_cast<std::size_t>(n));

    tdocument doc;
    tchannel& ch = doc.create_channel(0);
    ch.add_label(5.0, 0.1, "own", "manual");
    doc.set_modified(false);
    for (const ttextgridtier& t : tiers) add_labels(ch, t.labels);
    EXPECT_TRUE(doc.modified());
    ASSERT_EQ(ch.labels.size(), static_cast<std::size_t>(2 * n + 1));
    for (std::size_t i = 1; i < ch.labels.size(); ++i)
        ASSERT_LE(ch.labels[i - 1].time, ch.labels[i].time) << i;
    // 5.0 s: the channel's own label, then a500, then b500.
    std::size_t at = 0;
    while (ch.labels[at].time < 5.0 - 1e-9) ++at;
    EXPECT_EQ(ch.labels[at].text, "own");
    EXPECT_EQ(ch.labels[at + 1].text, "a500");
    EXPECT_EQ(ch.labels[at + 2].text, "b500");
    EXPECT_EQ(ch.labels.back().text, "b" + std::to_string(n - 1));
}
