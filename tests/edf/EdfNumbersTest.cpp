#include "edf/EdfNumbers.h"

#include <limits>
#include <string>

#include <gtest/gtest.h>

TEST(WriteDecimal, WritesSignAndDigitsPaddedToMinimumDigits)
{
    const struct {
        int64_t value;
        int minDigits;
        std::string text;
    } cases[] = {
        {0, 0, "0"},  {768, 0, "768"}, {-32768, 0, "-32768"}, {INT64_MIN, 0, "-9223372036854775808"},
        {5, 2, "05"}, {17, 2, "17"},   {999, 4, "0999"},      {-7, 3, "-007"},
    };
    for (const auto& c : cases) {
        char text[32];
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(WriteDecimal(text, c.value, c.minDigits))), c.text)
            << c.value << " in " << c.minDigits << " digits";
    }
}

TEST(FormatDouble, TruncatesToNineDecimalsAndSaturatesBeyondThirtyTwoBits)
{
    const std::pair<double, std::string> cases[] = {
        {1000, "1000"},
        {-5000, "-5000"},
        {0, "0"},
        {-0.5, "-0.5"},
        {0.02941, "0.02941"},
        // 3276.7 is stored as 3276.69999999999981810106...: its decimals truncate to 699999999.
        {3276.7, "3276.699999999"},
        {1e12, "2147483647"},
        {-1e12, "-2147483648"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
        {std::numeric_limits<double>::infinity(), "2147483647"},
    };
    for (const auto& [value, expected] : cases) {
        char text[32];
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(FormatDouble(text, value))), expected) << value;
    }
}
