// Tick label thinning and colour scale steps. Overlap is judged from the
// label boxes measured with the fixed metrics (7 pixels a character, 13
// high), computed here from the texts rather than asked of the axis.
#include "engine/core/ticklabels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/core/taxis.h"

using namespace tessal;

namespace {

// The label boxes of an axis as drawn: each centred on its tick.
struct tboxes {
    std::vector<std::string> texts;
    std::vector<int> centres, extents;
    std::vector<double> values;
};

tboxes boxes(TAxis& a) {
    tboxes b;
    const int n = a.nTickMarks();
    for (int i = 0; i < n; ++i) {
        const std::string s = a.ticktext(i);
        b.texts.push_back(s);
        b.centres.push_back(a.tickposition(i));
        b.extents.push_back(a.vertical() ? 13 : 7 * static_cast<int>(s.size()));
        b.values.push_back(a.tickvalue(i));
    }
    return b;
}

// No two non-empty labels closer than `gap`, by brute force over all pairs.
bool pairwise_clear(const tboxes& b, int gap) {
    for (std::size_t i = 0; i < b.texts.size(); ++i)
        for (std::size_t j = i + 1; j < b.texts.size(); ++j) {
            if (b.texts[i].empty() || b.texts[j].empty()) continue;
            const int ai = b.centres[i] - b.extents[i] / 2, bi = ai + b.extents[i];
            const int aj = b.centres[j] - b.extents[j] / 2, bj = aj + b.extents[j];
            if (ai < bj + gap && aj < bi + gap) return false;
        }
    return true;
}

int labelled(const tboxes& b) {
    int n = 0;
    for (const auto& s : b.texts) n += !s.empty();
    return n;
}

TAxis horizontal(double lo, double hi, int width) {
    TAxis a;
    a.SetPosition(taxisposition::posunder);
    a.SetWidth(width);
    a.SetHeight(30);
    a.set_hilovalues(hi, lo);
    return a;
}

}  // namespace

// The p-sub window's case: a short span in seconds, many ticks with long
// labels ("0.222", "0.224") on a narrow axis. Every width from very narrow
// to wide keeps its labels apart and still labels at least one tick.
TEST(TickLabels, NarrowTimeAxisLabelsNeverTouch) {
    for (int width = 30; width <= 900; width += 7) {
        TAxis a = horizontal(0.2213, 0.2391, width);
        a.SetTickSpaceAim(12);  // dense ticks, as a small plot asks for
        tboxes b = boxes(a);
        ASSERT_GT(b.texts.size(), 0u) << width;
        EXPECT_TRUE(pairwise_clear(b, tick_label_gap)) << "width " << width;
        EXPECT_GE(labelled(b), 1) << width;
    }
}

// Kept labels sit on round multiples: with ticks every 0.002 the labels
// kept are every k-th of them, k from 1, 2, 5, 10..., so the values
// labelled are multiples of k * 0.002.
TEST(TickLabels, KeptLabelsAreEvenlySpacedRoundValues) {
    TAxis a = horizontal(0.2213, 0.2391, 160);
    a.SetTickSpaceAim(12);
    tboxes b = boxes(a);
    std::vector<double> kept;
    for (std::size_t i = 0; i < b.texts.size(); ++i)
        if (!b.texts[i].empty()) kept.push_back(b.values[i]);
    ASSERT_GE(kept.size(), 2u);
    const double step = b.values[1] - b.values[0];
    const double gap = kept[1] - kept[0];
    const double k = std::round(gap / step);
    EXPECT_TRUE(k == 1 || k == 2 || k == 5 || k == 10 || k == 20) << k;
    for (std::size_t i = 1; i < kept.size(); ++i) EXPECT_NEAR(kept[i] - kept[i - 1], gap, step * 1e-6);
    for (double v : kept) {
        const double q = v / (k * step);
        EXPECT_NEAR(q, std::round(q), 1e-6) << v;
    }
}

// Wide axes keep every label: thinning only acts when needed.
TEST(TickLabels, RoomyAxisKeepsAllLabels) {
    TAxis a = horizontal(0, 10, 1000);
    tboxes b = boxes(a);
    EXPECT_EQ(labelled(b), static_cast<int>(b.texts.size()));
    EXPECT_TRUE(pairwise_clear(b, tick_label_gap));
}

// A vertical axis runs downwards (high values at the top): the same rule.
TEST(TickLabels, VerticalAxisLabelsNeverTouch) {
    for (int height = 30; height <= 600; height += 11) {
        TAxis a;
        a.SetPosition(taxisposition::posleft);
        a.SetWidth(40);
        a.SetHeight(height);
        a.set_hilovalues(22050, 0);
        a.SetTickSpaceAim(10);
        tboxes b = boxes(a);
        EXPECT_TRUE(pairwise_clear(b, tick_label_gap)) << "height " << height;
        EXPECT_GE(labelled(b), 1);
    }
}

TEST(TickLabels, ThinningDirectly) {
    // 40-pixel labels 20 pixels apart overlap; every second one is 40
    // apart, touching; every fifth leaves room.
    std::vector<std::string> l = {"a", "b", "c", "d", "e", "f"};
    std::vector<int> c = {0, 20, 40, 60, 80, 100}, e(6, 40);
    thin_even_labels(l, c, e, 0, 4);
    EXPECT_EQ(l, (std::vector<std::string>{"a", "", "", "", "", "f"}));
    EXPECT_FALSE(labels_overlap(l, c, e, 4));
    // Counting from index 3: index 5 (c) is the one on the multiple of 5.
    std::vector<std::string> m = {"a", "b", "c", "d", "e", "f"};
    thin_even_labels(m, c, e, 3, 4);
    EXPECT_EQ(m, (std::vector<std::string>{"", "", "c", "", "", ""}));
}

// The colour scale of a spectrogram's -100..1 dB: round steps inside the
// range, pixels proportional to the value, labels that fit the length.
TEST(ColourScale, StepsAreRoundAndFit) {
    for (int length = 20; length <= 800; length += 13) {
        const auto steps = colour_scale_steps(-100, 1, length, 13);
        ASSERT_FALSE(steps.empty()) << length;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_GE(steps[i].value, -100);
            EXPECT_LE(steps[i].value, 1);
            EXPECT_EQ(steps[i].pixel, static_cast<int>(std::lround((steps[i].value + 100) / 101 * (length - 1))));
            if (i > 0) {
                EXPECT_GE(steps[i].pixel - steps[i - 1].pixel, 13 + tick_label_gap - 1) << length;
            }
        }
        // The step is 1, 2 or 5 times a power of ten.
        if (steps.size() >= 2) {
            const double d = steps[1].value - steps[0].value;
            const double m = d / std::pow(10.0, std::floor(std::log10(d) + 1e-9));
            EXPECT_TRUE(std::fabs(m - 1) < 1e-9 || std::fabs(m - 2) < 1e-9 || std::fabs(m - 5) < 1e-9) << d;
        }
    }
    // 400 pixels: 17 px a label gives at most 23 labels over 101 dB: 5 dB steps.
    const auto s = colour_scale_steps(-100, 1, 400, 13);
    ASSERT_GE(s.size(), 2u);
    EXPECT_DOUBLE_EQ(s[1].value - s[0].value, 5);
    EXPECT_EQ(s.front().text, "-100");
    EXPECT_EQ(s.back().text, "0");
}

TEST(ColourScale, EmptyOrBadRangeGivesNoSteps) {
    EXPECT_TRUE(colour_scale_steps(1, 1, 100, 13).empty());
    EXPECT_TRUE(colour_scale_steps(2, 1, 100, 13).empty());
    EXPECT_TRUE(colour_scale_steps(0, NAN, 100, 13).empty());
}
