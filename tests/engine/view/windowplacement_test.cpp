#include <gtest/gtest.h>

#include "engine/view/windowplacement.h"

using namespace tessal;

TEST(WindowPlacement, PulledBackOntoTheDesktop) {
    const trect desk{0, 0, 1920, 1080};
    trect inside{100, 100, 800, 600};
    trect r = keep_on_desktop(inside, desk);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);
    r = keep_on_desktop({3000, 2000, 800, 600}, desk);  // off to the lower right
    EXPECT_EQ(r.left, 1870);
    EXPECT_EQ(r.top, 980);
    r = keep_on_desktop({100, -700, 800, 600}, desk);  // bottom above the top + 50
    EXPECT_EQ(r.top, 0);
    r = keep_on_desktop({-900, 100, 800, 600}, desk);  // right edge left of 100
    EXPECT_EQ(r.left, -700);
    EXPECT_EQ(r.right(), 100);
}

TEST(WindowPlacement, FittedOntoTheScreenAtAReadableSize) {
    const trect screen{0, 0, 800, 500};  // 1600 x 1000 at a scale of 2
    // Too large: cut to the screen and moved wholly onto it.
    trect r = fit_on_screen({100, 50, 1000, 700}, 0, 0, screen);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.width, 800);
    EXPECT_EQ(r.height, 500);
    // Too small to read: grown to the least size, kept where it was.
    r = fit_on_screen({200, 100, 100, 99}, 640, 320, screen);
    EXPECT_EQ(r.left, 160);  // 200 would push the right edge off the screen
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.width, 640);
    EXPECT_EQ(r.height, 320);
    // Above and left of the screen: brought in.
    r = fit_on_screen({-300, -40, 300, 200}, 0, 0, {10, 30, 800, 470});
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 30);
    // Already inside: unchanged.
    r = fit_on_screen({50, 60, 300, 200}, 100, 100, screen);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.width, 300);
    // Centred over its owner, then onto the screen.
    r = centred_over(400, 200, {0, 0, 800, 500}, screen);
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 150);
    r = centred_over(400, 200, {600, 400, 200, 100}, screen);
    EXPECT_EQ(r.right(), 800);
    EXPECT_EQ(r.bottom(), 500);
}

namespace {

bool inside(const trect& r, const trect& s) {
    return r.left >= s.left && r.top >= s.top && r.right() <= s.right() && r.bottom() <= s.bottom();
}

// Whether `r` covers any of the strip from the main window's frame top down
// to the bottom of its bars.
bool over_bars(const trect& r, const trect& main, int barsbottom) {
    return r.left < main.right() && r.right() > main.left && r.top < barsbottom && r.bottom() > main.top;
}

}  // namespace

TEST(WindowPlacement, FirstPlaceBesideTheMainWindowWhenThereIsRoom) {
    const trect screen{0, 0, 1600, 1000};
    const trect main{0, 0, 800, 700};
    trect r = first_placement(screen, main, 80, 700, 500, 300, 200, 0);
    EXPECT_EQ(r.left, 800);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.width, 700);
    EXPECT_EQ(r.height, 500);
    // The next ones step down and right, and stay on the screen.
    trect r1 = first_placement(screen, main, 80, 700, 500, 300, 200, 1);
    EXPECT_EQ(r1.left, 824);
    EXPECT_EQ(r1.top, 24);
    // Room for 100 / 24 = 4 steps across: the sixth window starts again.
    trect r5 = first_placement(screen, main, 80, 700, 500, 300, 200, 5);
    EXPECT_EQ(r5.left, 800);
    EXPECT_EQ(r5.top, 0);
    // A main window on the right: the window opens to its left.
    r = first_placement(screen, {900, 100, 700, 600}, 180, 800, 500, 300, 200, 0);
    EXPECT_EQ(r.right(), 900);
    EXPECT_EQ(r.top, 100);
}

TEST(WindowPlacement, FirstPlaceBelowTheMainWindowWhenNotBeside) {
    const trect screen{0, 0, 1600, 1000};
    const trect main{300, 0, 1000, 450};
    trect r = first_placement(screen, main, 80, 900, 500, 300, 200, 0);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, 450);
    EXPECT_TRUE(inside(r, screen));
}

TEST(WindowPlacement, FirstPlaceNeverOverTheMenuAndToolBars) {
    // The default main window on a 1600 x 1000 screen: centred, 1000 x 700,
    // bars down to 70 pixels below its top; a 760 x 540 window has room
    // neither beside nor below it.
    const trect screen{0, 0, 1600, 1000};
    const trect main{300, 150, 1000, 700};
    const int bars = 220;
    for (int i = 0; i < 12; ++i) {
        trect r = first_placement(screen, main, bars, 760, 540, 400, 300, i);
        EXPECT_TRUE(inside(r, screen)) << i;
        EXPECT_FALSE(over_bars(r, main, bars)) << i;
        EXPECT_EQ(r.width, 760);
        EXPECT_EQ(r.height, 540);
    }
    // Two windows in a row do not open at the same place.
    trect a = first_placement(screen, main, bars, 760, 540, 400, 300, 0);
    trect b = first_placement(screen, main, bars, 760, 540, 400, 300, 1);
    EXPECT_NE(a.top, b.top);
    // The first at the screen's right edge (the freer side is a tie).
    EXPECT_EQ(a.right(), 1600);
    EXPECT_EQ(a.top, bars);
    // Taller than the room below the bars: cut to it, not below the least
    // height.
    trect t = first_placement(screen, main, bars, 760, 900, 400, 300, 0);
    EXPECT_EQ(t.top, bars);
    EXPECT_EQ(t.bottom(), 1000);
    EXPECT_FALSE(over_bars(t, main, bars));
    // A least height larger than that room wins over the bars: the window
    // stays wholly on the screen.
    t = first_placement(screen, main, bars, 760, 900, 400, 850, 0);
    EXPECT_EQ(t.height, 850);
    EXPECT_TRUE(inside(t, screen));
}

TEST(WindowPlacement, FirstPlaceOnASmallOrShiftedScreen) {
    // A screen at scale 2 (800 x 500 logical) with a panel on its left; a
    // window larger than the screen is cut to it.
    const trect screen{40, 0, 760, 500};
    const trect main{40, 0, 760, 500};
    trect r = first_placement(screen, main, 60, 1200, 800, 300, 200, 0);
    EXPECT_TRUE(inside(r, screen));
    EXPECT_EQ(r.width, 760);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.height, 440);
    // Further windows as tall as the room below the bars step down and
    // aside, growing shorter but not below their least height, so none
    // hides the one before it wholly; all stay clear of the bars.
    const trect small{0, 0, 800, 500};
    const trect smallmain{40, 25, 720, 450};
    trect prev = first_placement(small, smallmain, 74, 800, 470, 380, 330, 0);
    EXPECT_EQ(prev.top, 74);
    EXPECT_EQ(prev.bottom(), 500);
    for (int i = 1; i < 4; ++i) {
        trect next = first_placement(small, smallmain, 74, 800, 470, 380, 330, i);
        EXPECT_TRUE(inside(next, small)) << i;
        EXPECT_FALSE(over_bars(next, smallmain, 74)) << i;
        EXPECT_GE(next.height, 330) << i;
        EXPECT_EQ(next.top, prev.top + cascadestep) << i;
        EXPECT_EQ(next.bottom(), 500) << i;
        prev = next;
    }
    // The room for the least height runs out after four steps: the fifth
    // starts again at the top.
    EXPECT_EQ(first_placement(small, smallmain, 74, 800, 470, 380, 330, 4).top, 74 + 4 * cascadestep);
    EXPECT_EQ(first_placement(small, smallmain, 74, 800, 470, 380, 330, 5).top, 74);
    // Narrower than the screen: the steps go sideways as well, away from
    // the screen's edge.
    const trect n0 = first_placement(small, smallmain, 74, 600, 470, 380, 330, 0);
    const trect n1 = first_placement(small, smallmain, 74, 600, 470, 380, 330, 1);
    EXPECT_EQ(n1.left, n0.left - cascadestep);
    // As wide as the screen but with room below: down only, at full size.
    const trect tall{0, 0, 800, 800};
    const trect w0 = first_placement(tall, {40, 50, 720, 700}, 100, 790, 570, 400, 300, 0);
    const trect w1 = first_placement(tall, {40, 50, 720, 700}, 100, 790, 570, 400, 300, 1);
    EXPECT_EQ(w1.top, w0.top + cascadestep);
    EXPECT_EQ(w1.left, w0.left - 10);
    EXPECT_EQ(w1.height, 570);
    // A main window off the screen's top: the window still lands on it.
    r = first_placement({0, 0, 1600, 1000}, {0, -300, 700, 400}, -250, 600, 400, 100, 100, 3);
    EXPECT_TRUE(inside(r, {0, 0, 1600, 1000}));
}

TEST(WindowPlacement, SavedPlaceUsedOnlyWhenItFits) {
    const trect screen{0, 0, 1600, 1000};
    EXPECT_TRUE(fits_wholly({100, 100, 700, 500}, 300, 200, screen));
    EXPECT_TRUE(fits_wholly({900, 500, 700, 500}, 300, 200, screen));   // touching the corner
    EXPECT_FALSE(fits_wholly({901, 500, 700, 500}, 300, 200, screen));  // one pixel past
    EXPECT_FALSE(fits_wholly({0, -20, 700, 500}, 300, 200, screen));    // title bar above
    EXPECT_FALSE(fits_wholly({100, 100, 200, 500}, 300, 200, screen));  // too narrow to read
    EXPECT_FALSE(fits_wholly({100, 100, 0, 0}, 0, 0, screen));          // never saved
    // Saved on a 2560 x 1440 screen, read on this one.
    EXPECT_FALSE(fits_wholly({1800, 200, 700, 500}, 300, 200, screen));
}
