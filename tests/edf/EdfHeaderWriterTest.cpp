#include "edf/EdfHeaderWriter.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string Decimal(int64_t value, int minDigits = 0)
{
    char text[32];
    return std::string(text, static_cast<std::size_t>(WriteDecimal(text, value, minDigits)));
}

std::string Double(double value)
{
    char text[32];
    return std::string(text, static_cast<std::size_t>(FormatDouble(text, value)));
}

}  // namespace

TEST(WriteDecimal, WritesSignAndDigitsWithoutLeadingZeros)
{
    EXPECT_EQ(Decimal(0), "0");
    EXPECT_EQ(Decimal(768), "768");
    EXPECT_EQ(Decimal(-32768), "-32768");
    EXPECT_EQ(Decimal(INT64_MIN), "-9223372036854775808");
}

TEST(WriteDecimal, PadsToMinimumDigits)
{
    EXPECT_EQ(Decimal(5, 2), "05");
    EXPECT_EQ(Decimal(17, 2), "17");
    EXPECT_EQ(Decimal(999, 4), "0999");
    EXPECT_EQ(Decimal(2017, 4), "2017");
    EXPECT_EQ(Decimal(-7, 3), "-007");
}

TEST(FormatDouble, WritesWholeNumbersWithoutPoint)
{
    EXPECT_EQ(Double(1000), "1000");
    EXPECT_EQ(Double(-5000), "-5000");
    EXPECT_EQ(Double(0), "0");
    EXPECT_EQ(Double(60), "60");
}

TEST(FormatDouble, TruncatesToNineDecimalsAndDropsTrailingZeros)
{
    EXPECT_EQ(Double(0.5), "0.5");
    EXPECT_EQ(Double(-0.5), "-0.5");
    EXPECT_EQ(Double(0.02941), "0.02941");
    EXPECT_EQ(Double(0.001), "0.001");
    // 3276.7 is stored as 3276.69999999999981810106...: its decimals truncate to 699999999.
    EXPECT_EQ(Double(3276.7), "3276.699999999");
    EXPECT_EQ(Double(-1234.5678).substr(0, 8), "-1234.56");
}

TEST(FormatDouble, SaturatesBeyondThirtyTwoBits)
{
    EXPECT_EQ(Double(1e12), "2147483647");
    EXPECT_EQ(Double(-1e12), "-2147483648");
    EXPECT_EQ(Double(std::numeric_limits<double>::quiet_NaN()), "0");
    EXPECT_EQ(Double(std::numeric_limits<double>::infinity()), "2147483647");
}
