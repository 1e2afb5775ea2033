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
