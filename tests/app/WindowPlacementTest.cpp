// Where the File Format dialog opens.
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace pyrola {
namespace {

const ScreenRect kWork{0, 0, 1280, 1000};

TEST(WindowPlacement, CentresOverTheOwnerOrTheWorkArea) {
    const ScreenRect owner{100, 100, 700, 500};
    ScreenRect r = CentredPlacement(&owner, 200, 100, kWork);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, 250);
    EXPECT_EQ(r.Width(), 200);
    EXPECT_EQ(r.Height(), 100);

    r = CentredPlacement(nullptr, 200, 100, kWork);
    EXPECT_EQ(r.left, 540);
    EXPECT_EQ(r.top, 450);
}

TEST(WindowPlacement, ShiftsIntoTheWorkArea) {
    const ScreenRect offRight{1200, 900, 1500, 1100};
    ScreenRect r = CentredPlacement(&offRight, 200, 100, kWork);
    EXPECT_EQ(r.right, 1280);
    EXPECT_EQ(r.bottom, 1000);
    const ScreenRect offLeft{-400, -300, -100, -50};
    r = CentredPlacement(&offLeft, 200, 100, kWork);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    // Larger than the work area: the top left corner stays on it.
    r = CentredPlacement(nullptr, 2000, 1500, kWork);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    // A work area that does not start at the origin (a taskbar at the top or left).
    const ScreenRect work{40, 30, 1280, 1000};
    const ScreenRect corner{0, 0, 100, 100};
    r = CentredPlacement(&corner, 300, 200, work);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 30);
}

} // namespace
} // namespace pyrola
