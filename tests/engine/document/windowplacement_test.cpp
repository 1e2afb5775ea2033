#include <gtest/gtest.h>

#include "document/windowplacement.h"

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
