// Tests of the axis scale model. Expected tick values, pixel positions and
// drag results are derived here from the scale's definition (logarithms,
// proportions, note frequencies), not by calling the axis a second time.
// Text sizes come from the fixed metrics: 7 pixels a character, 13 high.
#include "engine/core/taxis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace tessal;

namespace {

TAxis horizontal(double lo, double hi, int width, bool log = false) {
    TAxis a;
    a.SetPosition(taxisposition::posunder);
    a.SetWidth(width);
    a.SetHeight(30);
    a.set_hilovalues(hi, lo);
    a.SetLogarithmic(log);
    return a;
}

TAxis vertical(double lo, double hi, int height, bool log = false) {
    TAxis a;
    a.SetPosition(taxisposition::posleft);
    a.SetWidth(40);
    a.SetHeight(height);
    a.set_hilovalues(hi, lo);
    a.SetLogarithmic(log);
    return a;
}

std::vector<std::string> kept_labels(TAxis& a) {
    std::vector<std::string> r;
    for (int i = 0; i < a.nTickMarks(); ++i)
        if (!a.ticktext(i).empty()) r.push_back(a.ticktext(i));
    return r;
}

int px(double fraction, int L) { return static_cast<int>(std::lround(fraction * (L - 1))); }

}  // namespace

TEST(TAxisTicks, DecadeTicksFrom20To20000) {
    TAxis a = horizontal(20, 20000, 400, true);
    std::vector<double> expected;
    for (double e : {10.0, 100.0, 1000.0, 10000.0})
        for (int d = 1; d <= 9; ++d)
            if (d * e > 20 && d * e <= 20000) expected.push_back(d * e);
    ASSERT_EQ(a.nTickMarks(), static_cast<int>(expected.size()));
    for (int i = 0; i < a.nTickMarks(); ++i) {
        EXPECT_NEAR(a.tickvalue(i), expected[i], 1e-9 * expected[i]) << i;
        EXPECT_EQ(a.tickposition(i), px(std::log10(expected[i] / 20) / 3, 400)) << i;
        int lead = static_cast<int>(std::lround(expected[i] / std::pow(10, std::floor(std::log10(expected[i])))));
        EXPECT_EQ(a.tickismajor(i), lead == 1 || lead == 2 || lead == 5) << expected[i];
    }
    EXPECT_EQ(a.tickvalue(0), 30);
    EXPECT_EQ(a.tickvalue(a.nTickMarks() - 1), 20000);
    // Thinned in the order 1, 2, 5, 3, 4, 8, 6, 7, 9 (worked out by hand
    // from 7-pixel characters plus one pixel either side).
    EXPECT_EQ(kept_labels(a), (std::vector<std::string>{"30", "50", "100", "200", "300", "500", "1000",
                                                        "2000", "5000", "10000", "20000"}));

    TAxis v = vertical(20, 20000, 300, true);
    EXPECT_EQ(kept_labels(v), (std::vector<std::string>{"30", "50", "100", "200", "300", "500", "1000",
                                                        "2000", "3000", "5000", "10000", "20000"}));
    EXPECT_EQ(v.tickposition(v.nTickMarks() - 1), 0);
}

TEST(TAxisTicks, ThinnedLabelsNeverOverlap) {
    for (int L : {60, 150, 333}) {
        TAxis a = horizontal(0.03, 70000, L, true);
        int lastend = -1000;
        for (int i = 0; i < a.nTickMarks(); ++i) {
            std::string s = a.ticktext(i);
            if (s.empty()) continue;
            int w = 7 * static_cast<int>(s.size());
            int start = a.tickposition(i) - w / 2;
            EXPECT_GT(start, lastend) << L << " " << s;
            lastend = start + w - 1;
        }
    }
}

TEST(TAxisTicks, NarrowLogRangeGetsLinearValues) {
    TAxis a = horizontal(100, 300, 200, true);
    // 199 px -> nice 200, 200 div 40 + 2 = 7 intervals, step nice(200/7) = 20.
    ASSERT_EQ(a.nTickMarks(), 11);
    for (int i = 0; i < 11; ++i) {
        double v = 100 + 20 * i;
        EXPECT_NEAR(a.tickvalue(i), v, 1e-9);
        EXPECT_EQ(a.tickposition(i), px(std::log10(v / 100) / std::log10(3.0), 200));
    }
}

TEST(TAxisTicks, LinearZeroToOne) {
    TAxis h = horizontal(0, 1, 200);
    TAxis v = vertical(0, 1, 200);
    for (TAxis* a : {&h, &v}) {
        ASSERT_EQ(a->nTickMarks(), 6);
        const char* labels[] = {"0", "0.2", "0.4", "0.6", "0.8", "1"};
        for (int i = 0; i < 6; ++i) {
            EXPECT_NEAR(a->tickvalue(i), 0.2 * i, 1e-12);
            EXPECT_EQ(a->ticktext(i), labels[i]);
            EXPECT_EQ(a->tickismajor(i), i == 0);
            int p = px(0.2 * i, 200);
            EXPECT_EQ(a->tickposition(i), a == &v ? 199 - p : p);
        }
    }
    // Round values ending in 0 are major.
    TAxis b = horizontal(0, 25, 200);  // step 5
    for (int i = 0; i < b.nTickMarks(); ++i)
        EXPECT_EQ(b.tickismajor(i), b.ticktext(i).back() == '0') << b.ticktext(i);
}

TEST(TAxisTicks, LabelSpacingFromTextSize) {
    TAxis h = horizontal(0, 1, 400);
    h.SetTickSpaceAim(1);  // 3 x width of "0.1234" = 126: 500 div 126 + 2 = 5, step 0.2
    EXPECT_EQ(h.nTickMarks(), 6);
    TAxis v = vertical(0, 1, 400);
    v.SetTickSpaceAim(1);  // 3 x 13 = 39: 500 div 39 + 2 = 14, step nice(1/14) = 0.1
    EXPECT_EQ(v.nTickMarks(), 11);
    v.SetTickSpaceAim(0);  // three intervals: step nice(1/3) = 0.5
    EXPECT_EQ(v.nTickMarks(), 3);
}

TEST(TAxisTicks, RoundingNoiseNearZeroIsLabelledZero) {
    // Whatever rounding leaves at the zero tick, it reads "0", never "-0" or "1E-17".
    TAxis a = horizontal(-0.9, 0.9, 400);
    a.SetTickSpaceAim(20);
    bool found = false;
    for (int i = 0; i < a.nTickMarks(); ++i) {
        if (std::fabs(a.tickvalue(i)) < 1e-9) {
            found = true;
            EXPECT_EQ(a.ticktext(i), "0");
            EXPECT_TRUE(a.tickismajor(i));
        }
    }
    EXPECT_TRUE(found);
    TAxis b = horizontal(-1, 1, 200);
    for (int i = 0; i < b.nTickMarks(); ++i)
        if (std::fabs(b.tickvalue(i)) < 1e-9) {
            EXPECT_EQ(b.ticktext(i), "0");
        }
}

TEST(TAxisTicks, MusicNotesOnWhiteKeys) {
    TAxis a = horizontal(200, 1000, 2000, true);
    a.SetMusicScale(true);
    // White keys from A3 (note 57, the first above 200 Hz) to B5 (83, below 1000 Hz).
    const char* names[] = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};
    std::vector<int> notes;
    for (int n = 56; n <= 84; ++n) {
        int pc = n % 12;
        bool black = pc == 1 || pc == 3 || pc == 6 || pc == 8 || pc == 10;
        double f = 440 * std::pow(2.0, (n - 69) / 12.0);
        if (!black && f > 200 && f <= 1000) notes.push_back(n);
    }
    ASSERT_EQ(a.nTickMarks(), static_cast<int>(notes.size()));
    for (int i = 0; i < a.nTickMarks(); ++i) {
        int n = notes[i];
        double f = 440 * std::pow(2.0, (n - 69) / 12.0);
        EXPECT_NEAR(a.tickvalue(i), f, 1e-9 * f);
        EXPECT_EQ(a.ticktext(i), std::string(names[n % 12]) + std::to_string(n / 12 - 1));
        EXPECT_EQ(a.tickismajor(i), n % 12 == 0);
        EXPECT_EQ(a.tickposition(i), px(std::log10(f / 200) / std::log10(5.0), 2000));
    }
    // A narrow axis keeps every A (highest priority), then thins the rest.
    TAxis b = horizontal(100, 3000, 200, true);
    b.SetMusicScale(true);
    int kept = 0;
    for (int i = 0; i < b.nTickMarks(); ++i) {
        std::string s = b.ticktext(i);
        if (std::fabs(std::remainder(std::log2(b.tickvalue(i) / 440), 1.0)) < 1e-9) {
            EXPECT_EQ(s[0], 'A');
        }
        if (!s.empty()) ++kept;
    }
    EXPECT_LT(kept, b.nTickMarks());
    // Even a ratio below 4 keeps note ticks.
    TAxis c = horizontal(400, 500, 300, true);
    c.SetMusicScale(true);
    ASSERT_EQ(c.nTickMarks(), 2);
    EXPECT_EQ(c.ticktext(0), "A4");
    EXPECT_EQ(c.ticktext(1), "B4");
}

TEST(TAxisMapping, EndsAndRoundTrips) {
    struct tcase {
        TAxis a;
        bool lowatpixel0;
    };
    TAxis h = horizontal(-3, 7, 250), v = vertical(-3, 7, 250);
    TAxis hr = horizontal(-3, 7, 250), vr = vertical(-3, 7, 250);
    hr.SetReverse(true);
    vr.SetReverse(true);
    TAxis hl = horizontal(20, 20000, 250, true), vl = vertical(20, 20000, 250, true);
    std::vector<tcase> cases = {{h, true}, {v, false}, {hr, false}, {vr, true}, {hl, true}, {vl, false}};
    for (auto& c : cases) {
        TAxis& a = c.a;
        double lo = a.GetLoValue(), hi = a.GetHiValue();
        EXPECT_EQ(a.value_to_pixel(lo), c.lowatpixel0 ? 0 : 249);
        EXPECT_EQ(a.value_to_pixel(hi), c.lowatpixel0 ? 249 : 0);
        EXPECT_DOUBLE_EQ(a.value_to_position(lo), c.lowatpixel0 ? 0 : 1);
        EXPECT_DOUBLE_EQ(a.pixel_to_value(0), c.lowatpixel0 ? lo : hi);
        EXPECT_DOUBLE_EQ(a.pixel_to_value(249), c.lowatpixel0 ? hi : lo);
        // Beyond the ends: clipped and unclipped versions differ.
        double beyond = a.GetLogarithmic() ? hi * 10 : hi + 10;
        EXPECT_EQ(a.value_to_pixel(beyond), c.lowatpixel0 ? 249 : 0);
        EXPECT_EQ(a.value_to_notclippedpixel(beyond) < 0, !c.lowatpixel0);
        EXPECT_DOUBLE_EQ(a.pixel_to_value(c.lowatpixel0 ? 400 : -100), hi);
        for (int p = 0; p < 250; p += 7) EXPECT_EQ(a.value_to_pixel(a.pixel_to_value(p)), p);
    }
    // The geometric middle of a log axis sits at the middle pixel.
    EXPECT_NEAR(hl.value_to_pixel(std::sqrt(20.0 * 20000)), 124.5, 0.5);
    EXPECT_NEAR(hl.value_to_notclipped_position(200000), 4.0 / 3, 1e-12);
    EXPECT_NEAR(vl.value_to_notclipped_position(200000), 1 - 4.0 / 3, 1e-12);
    EXPECT_NEAR(h.value_to_notclipped_position(2), 0.5, 1e-12);
}

TEST(TAxisMapping, DegenerateScalesMapToTheLowEnd) {
    TAxis a = vertical(5, 5, 100);
    EXPECT_EQ(a.value_to_pixel(5), 99);
    EXPECT_EQ(a.value_to_pixel(1e9), 99);
    EXPECT_EQ(a.pixel_to_value(0), 5);
    EXPECT_EQ(a.nTickMarks(), 1);
    EXPECT_EQ(a.ticktext(0), "5");
    TAxis l = horizontal(1, 10, 100, true);
    EXPECT_EQ(l.value_to_pixel(-3), 0);
    EXPECT_EQ(l.value_to_pixel(std::nan("")), 0);
    TAxis one = horizontal(0, 1, 1);
    EXPECT_EQ(one.pixel_to_value(0), 0);
    EXPECT_EQ(one.value_to_pixel(1), 0);
}

TEST(TAxisEnds, ClampsAndIntegerRounding) {
    TAxis a;
    a.SetIsInteger(true);
    a.SetHiValue(10.6);
    EXPECT_EQ(a.GetHiValue(), 11);
    a.SetMaxHiValue(10.5);
    EXPECT_EQ(a.GetHiValue(), 10);
    a.SetLoValue(2.4);
    EXPECT_EQ(a.GetLoValue(), 2);
    a.SetMinLoValue(2.2);  // lower bounds round up
    EXPECT_EQ(a.GetLoValue(), 3);
    a.SetMaxValueDifference(4.5);  // 3 + 4.5 rounded down
    EXPECT_EQ(a.GetHiValue(), 7);

    TAxis b;
    b.set_hilovalues(1, 0);
    b.SetMinValueDifference(2);
    EXPECT_EQ(b.GetHiValue(), 2);
    b.SetMaxLoValue(-1);
    EXPECT_EQ(b.GetLoValue(), -1);
    // An out-of-bounds stored low end does not drag the high end below it.
    TAxis c;
    c.SetMinLoValue(0);
    c.SetMinValueDifference(1);
    c.set_hilovalues(0.5, -10);
    EXPECT_EQ(c.GetLoValue(), 0);
    EXPECT_EQ(c.GetHiValue(), 1);
}

TEST(TAxisEnds, ScaleChangedFiresOnceAndNotFromItsOwnHandler) {
    TAxis a;
    int calls = 0;
    a.OnScaleChanged.subscribe([&](TAxis& ax) {
        ++calls;
        ax.SetHiValue(ax.GetHiValue() + 1);  // would recurse without the guard
    });
    a.SetHiValue(5);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(a.GetHiValue(), 6);
    a.SetHiValue(6);  // no change
    EXPECT_EQ(calls, 1);
    a.set_hilovalues(20, 10);
    EXPECT_EQ(calls, 2);

    TAxis m;
    m.SetMarkerValue(0.75);
    m.SetHiValue(0.5);
    EXPECT_EQ(m.GetMarkerValue(), 0.5);
    m.SetMarkerValue(-3);
    EXPECT_EQ(m.GetMarkerValue(), 0);
}

TEST(TAxisErrors, MessagesAndRefusedValues) {
    TAxis a;  // 0 .. 1
    try {
        a.SetLogarithmic(true);
        FAIL();
    } catch (const EAxisError& e) {
        EXPECT_STREQ(e.what(), "LoValue=0, must be >0 for log scale!");
    }
    EXPECT_FALSE(a.GetLogarithmic());
    a.set_hilovalues(-2.5, -4);
    a.SetLoValue(1);
    try {
        a.SetLogarithmic(true);
        FAIL();
    } catch (const EAxisError& e) {
        EXPECT_STREQ(e.what(), "HiValue=-2.5, must be >0 for log scale!");
    }
    TAxis l = horizontal(10, 100, 200, true);
    EXPECT_THROW(l.SetLoValue(-0.5), EAxisError);
    EXPECT_THROW(l.SetHiValue(0), EAxisError);
    EXPECT_THROW(l.set_hilovalues(100, 0), EAxisError);
    EXPECT_EQ(l.GetLoValue(), 10);  // the refused values were not stored
    EXPECT_EQ(l.GetHiValue(), 100);
    try {
        l.ticktext(l.nTickMarks());
        FAIL();
    } catch (const EAxisError& e) {
        EXPECT_EQ(std::string(e.what()), "Tickmark index out of range:" + std::to_string(l.nTickMarks()));
    }
    EXPECT_THROW(l.tickposition(-1), EAxisError);
}

TEST(TAxisNice, RoundsToOneTwoFive) {
    EXPECT_EQ(TAxis::nice(0), 0);
    EXPECT_DOUBLE_EQ(TAxis::nice(199), 200);
    EXPECT_DOUBLE_EQ(TAxis::nice(1.0 / 7), 0.2);
    EXPECT_DOUBLE_EQ(TAxis::nice(1.41), 1);
    EXPECT_DOUBLE_EQ(TAxis::nice(3.1), 2);
    EXPECT_DOUBLE_EQ(TAxis::nice(3.2), 5);
    EXPECT_DOUBLE_EQ(TAxis::nice(7.0), 5);
    EXPECT_DOUBLE_EQ(TAxis::nice(7.1), 10);
    EXPECT_DOUBLE_EQ(TAxis::nice(0.0003), 0.0002);
}

// Drags: the value under the pointer at mouse down stays under it. With the
// drag scale (value at distance d from the low end = lo + d/L (hi - lo)) the
// invariant is checked directly.
namespace {
double dragvalue(const TAxis& a, int pos) {
    double L = a.length();
    double d = a.vertical() ? L - pos : pos;
    if (a.GetReverse()) d = L - d;
    double lo = a.GetLoValue(), hi = a.GetHiValue();
    if (a.GetLogarithmic()) return lo * std::pow(hi / lo, d / L);
    return lo + d / L * (hi - lo);
}
}  // namespace

TEST(TAxisDrag, GrabbedValueFollowsThePointer) {
    struct tcase {
        bool vert, reverse, log, mid;
        int down, to, mode;
    };
    const tcase cases[] = {
        {true, false, false, false, 150, 180, 1},  {true, false, false, false, 40, 90, 3},
        {false, false, false, false, 150, 100, 3}, {false, false, false, false, 30, 70, 1},
        {true, true, false, false, 40, 20, 1},     {false, true, false, false, 40, 90, 3},
        {false, false, true, false, 150, 100, 3},  {true, false, true, false, 150, 170, 1},
        {true, false, false, true, 100, 130, 2},   {false, false, true, true, 100, 60, 2},
    };
    for (const tcase& c : cases) {
        TAxis a = c.vert ? vertical(2, 20, 200, c.log) : horizontal(2, 20, 200, c.log);
        a.SetReverse(c.reverse);
        a.fallowmidscroll = c.mid;
        int changing = 0, changed = 0;
        a.OnScaleChanging.subscribe([&](TAxis&) { ++changing; });
        a.OnScaleChanged.subscribe([&](TAxis&) { ++changed; });
        EXPECT_EQ(a.drag_mode_at(c.down), c.mode);
        double grabbed = dragvalue(a, c.down);
        double lo0 = a.GetLoValue(), hi0 = a.GetHiValue();
        a.mouse_down(c.down);
        a.mouse_move(c.to);
        EXPECT_NEAR(dragvalue(a, c.to), grabbed, 1e-9 * grabbed) << c.down << "->" << c.to;
        if (c.mode == 1) {
            EXPECT_EQ(a.GetHiValue(), hi0);
        }
        if (c.mode == 3) {
            EXPECT_EQ(a.GetLoValue(), lo0);
        }
        EXPECT_EQ(changing, 1);
        EXPECT_EQ(changed, 0);
        // Back at the start point the range is exactly the start range.
        a.mouse_move(c.down);
        EXPECT_EQ(a.GetLoValue(), lo0);
        EXPECT_EQ(a.GetHiValue(), hi0);
        a.mouse_move(c.to);
        a.mouse_up(c.to);
        EXPECT_EQ(changed, 1);
        EXPECT_FALSE(a.dragging());
    }
}

TEST(TAxisDrag, ModesAndLimits) {
    TAxis a = vertical(0, 1, 300);
    a.fallowmidscroll = true;
    EXPECT_EQ(a.drag_mode_at(50), 3);  // top third: high end
    EXPECT_EQ(a.drag_mode_at(150), 2);
    EXPECT_EQ(a.drag_mode_at(250), 1);
    a.fallowhiscroll = false;
    EXPECT_EQ(a.drag_mode_at(50), 1);
    a.fallowloscroll = false;
    EXPECT_EQ(a.drag_mode_at(50), 0);
    a.mouse_down(50);
    a.mouse_move(80);
    EXPECT_EQ(a.GetHiValue(), 1);

    // The pointer is held 10 pixels from the fixed end, so the range stays finite.
    TAxis b = vertical(0, 1, 200);
    b.mouse_down(190);  // kept at 200 - 11 = 189
    b.mouse_move(2);
    EXPECT_DOUBLE_EQ(b.GetLoValue(), 1 + 189.0 / 10 * (0 - 1));
    int changed = 0;
    b.OnScaleChanged.subscribe([&](TAxis&) { ++changed; });
    b.mouse_up(2);
    EXPECT_EQ(changed, 1);
    // A click without movement is no scale change.
    b.mouse_down(120);
    b.mouse_up(120);
    EXPECT_EQ(changed, 1);
}

TEST(TAxisLimits, ValidationAndApplyOrder) {
    EXPECT_TRUE(TAxis::limits_acceptable("1", "0", false));
    EXPECT_TRUE(TAxis::limits_acceptable(" 20000", "-1.5e2", false));
    EXPECT_FALSE(TAxis::limits_acceptable("1", "1", false));
    EXPECT_FALSE(TAxis::limits_acceptable("0", "1", false));
    EXPECT_FALSE(TAxis::limits_acceptable("1x", "0", false));
    EXPECT_FALSE(TAxis::limits_acceptable("", "0", false));
    EXPECT_FALSE(TAxis::limits_acceptable("10", "0", true));
    EXPECT_TRUE(TAxis::limits_acceptable("10", "0.1", true));

    int changed = 0;
    TAxis a;  // linear 0..1
    a.OnScaleChanged.subscribe([&](TAxis&) { ++changed; });
    a.apply_limits(false, 5, 4, true);  // cancel
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(a.GetHiValue(), 1);
    // To logarithmic: the positive values must be in place before the switch.
    a.apply_limits(true, 1000, 10, true);
    EXPECT_EQ(changed, 2);
    EXPECT_TRUE(a.GetLogarithmic());
    EXPECT_EQ(a.GetLoValue(), 10);
    // Back to linear with a negative end: the switch must come first.
    a.apply_limits(true, 5, -5, false);
    EXPECT_EQ(changed, 3);
    EXPECT_FALSE(a.GetLogarithmic());
    EXPECT_EQ(a.GetLoValue(), -5);
    EXPECT_EQ(a.GetHiValue(), 5);
}

TEST(TAxisSize, AutosizeFromLabels) {
    TAxis v;
    v.SetAutosize(true);
    EXPECT_EQ(v.GetWidth(), 5 * 7 + 5);
    v.SetAxisText("[dB re 1 Pa]");
    EXPECT_EQ(v.GetWidth(), 12 * 7 + 5);
    TAxis h;
    h.SetPosition(taxisposition::posunder);
    h.SetTickMarkSize(4);
    h.SetAutosize(true);
    EXPECT_EQ(h.GetHeight(), 13 * 4 / 3 + 4);
}

TEST(TAxisRobustness, ExtremeSettingsGiveBoundedTicks) {
    const double inf = INFINITY, nan = NAN;
    const double values[][2] = {{1e-300, 1e300}, {-1e300, 1e300}, {0, 1e-310}, {1, inf},
                                {-inf, 0}, {nan, 1}, {1e15, 1e15 + 1}, {5, 5}, {3, -3}};
    for (const auto& v : values)
        for (int L : {0, 1, 2, 23, 700})
            for (int kind = 0; kind < 3; ++kind) {
                TAxis a;
                a.SetPosition(taxisposition::posunder);
                a.SetWidth(L);
                a.set_hilovalues(v[1], v[0]);
                if (kind > 0 && a.stored_lovalue() > 0 && a.stored_hivalue() > 0) {
                    a.SetLogarithmic(true);
                    a.SetMusicScale(kind == 2);
                }
                int n = a.nTickMarks();
                EXPECT_LE(n, 100000);
                for (int i = 0; i < n; ++i) {
                    EXPECT_FALSE(std::isnan(a.tickvalue(i)));
                    a.ticktext(i);
                }
                for (int p : {-5, 0, L / 2, L + 5}) EXPECT_FALSE(std::isnan(a.pixel_to_value(p)));
                a.value_to_notclippedpixel(1e308);
                for (bool mid : {false, true}) {
                    a.fallowmidscroll = mid;
                    a.mouse_down(L / 2);
                    a.mouse_move(L);
                    a.mouse_move(0);
                    a.mouse_up(0);
                    if (a.GetLogarithmic()) {
                        EXPECT_GT(a.stored_lovalue(), 0);
                        EXPECT_GT(a.stored_hivalue(), 0);
                    }
                    EXPECT_FALSE(std::isnan(a.stored_lovalue()) || std::isnan(a.stored_hivalue()));
                }
            }
}

TEST(TAxisSubscribers, EverySubscriberIsToldUntilItUnsubscribes) {
    TAxis a;
    int first = 0, second = 0, resized = 0;
    const auto t1 = a.OnScaleChanged.subscribe([&](TAxis&) { ++first; });
    a.OnScaleChanged.subscribe([&](TAxis&) { ++second; });
    a.OnResize.subscribe([&](TAxis&) { ++resized; });
    a.SetHiValue(5);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    a.OnScaleChanged.unsubscribe(t1);
    a.OnScaleChanged.unsubscribe(t1);  // twice is harmless
    a.SetHiValue(6);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(resized, 0);  // other lists are separate

    // A handler may unsubscribe another one that has not been told yet.
    tsubscribers<int> s;
    int told = 0;
    tsubscribers<int>::token later = 0;
    s.subscribe([&](int) { s.unsubscribe(later); });
    later = s.subscribe([&](int v) { told += v; });
    s.notify(1);
    EXPECT_EQ(told, 0);
    EXPECT_EQ(s.size(), 1u);
    // Tokens are not reused: an old token leaves a new subscriber alone.
    const auto again = s.subscribe([&](int v) { told += v; });
    EXPECT_NE(again, later);
    s.unsubscribe(later);
    s.notify(2);
    EXPECT_EQ(told, 2);
}
