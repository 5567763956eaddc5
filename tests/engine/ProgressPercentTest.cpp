#include "engine/ProgressPercent.h"

#include <limits>

#include <gtest/gtest.h>

TEST(WholePercent, RoundsDownAndStaysWithinZeroToHundred)
{
    const struct {
        double fraction;
        int percent;
    } cases[] = {
        {0.0, 0},
        {0.009, 0},
        {0.01, 1},
        {0.5, 50},
        {0.999, 99},
        {0.99999999, 99},
        {1.0, 100},
        {1.5, 100},
        {-0.5, 0},
        {-0.0, 0},
        {std::numeric_limits<double>::infinity(), 100},
        {-std::numeric_limits<double>::infinity(), 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WholePercent(c.fraction), c.percent) << c.fraction;
}
