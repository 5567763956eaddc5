#include "logging/FreedMemory.h"

#include <numeric>
#include <vector>

#include <gtest/gtest.h>

// A buffer grown with its pages populated keeps its elements, gets at least the room asked for
// (a populated span that ran past the allocation would show under AddressSanitizer), and is
// left as it is when it already has the room.
TEST(FreedMemory, ReservePopulatedKeepsTheElementsAndGivesTheRoom)
{
    std::vector<float> values(1000);
    std::iota(values.begin(), values.end(), 0.0F);
    OrvSystem::ReservePopulated(values, 100000);
    ASSERT_EQ(values.size(), 1000U);
    EXPECT_GE(values.capacity(), 100000U);
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(values[i], static_cast<float>(i));
    const float* kept = values.data();
    OrvSystem::ReservePopulated(values, 50000);
    EXPECT_EQ(values.data(), kept);
    values.resize(100000, 1.0F);  // the populated room takes writes
    EXPECT_EQ(values.back(), 1.0F);
}
