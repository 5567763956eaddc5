#include "app/DialogUnits.h"

#include <gtest/gtest.h>

// Expected pixels by hand: x * averageCharWidth / 4 and y * charHeight / 8, halves rounded away
// from zero; a rectangle's edges are rounded, so that neighbours meet.
TEST(DialogUnitsTest, ScalesByQuarterCharWidthAndEighthCharHeight)
{
    const DialogUnits units(7, 13);
    const std::pair<int, int> horizontal[] = {{0, 0}, {1, 2}, {2, 4}, {3, 5}, {-2, -4}};  // 1.75, 3.5, 5.25, -3.5
    for (const auto& [x, pixels] : horizontal)
        EXPECT_EQ(units.ToPixelsX(x), pixels) << x;
    EXPECT_EQ(units.ToPixelsY(4), 7);                                   // 6.5
    EXPECT_EQ(DialogUnits(6, 16).ToPixels(499, 174), QSize(749, 348));  // 748.5 and 348
    // 10, 9, 132, 24: left 17.5 -> 18, top 14.625 -> 15, right 248.5 -> 249, bottom 53.625 -> 54
    EXPECT_EQ(units.ToPixels(10, 9, 132, 24), QRect(18, 15, 231, 39));
}
