#include "engine/TextHelpers.h"

#include <gtest/gtest.h>

TEST(TextHelpersTest, StringToIntReadsTheLeadingNumberOrLeavesTheTarget)
{
    const std::pair<const wchar_t*, int> numbers[] = {
        {L"32000", 32000},           {L"  -17", -17},      {L"+5", 5},
        {L"32000.0", 32000},         {L"1000 2000", 1000}, {L"12abc", 12},
        {L"2147483647", 2147483647},
    };
    for (const auto& [text, expected] : numbers) {
        int value = -99;
        EXPECT_TRUE(StringToInt(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const wchar_t* text : {L"", L"abc", L"-", L"99999999999", L"-2147483649"}) {
        int value = 7;
        EXPECT_FALSE(StringToInt(text, value)) << text;
        EXPECT_EQ(value, 7) << text;
    }
}

TEST(TextHelpersTest, SplitStringKeepsEmptyParts)
{
    using Parts = std::vector<std::wstring>;
    EXPECT_EQ(SplitString(L"2017/07/03", L"/"), (Parts{L"2017", L"07", L"03"}));
    EXPECT_EQ(SplitString(L"a//b", L"/"), (Parts{L"a", L"", L"b"}));
    EXPECT_EQ(SplitString(L"", L"/"), (Parts{L""}));
    EXPECT_EQ(SplitString(L"10:22:33", L"/"), (Parts{L"10:22:33"}));
    EXPECT_EQ(SplitString(L"a::b::", L"::"), (Parts{L"a", L"b", L""}));
}
