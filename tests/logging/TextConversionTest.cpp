#include "logging/TextConversion.h"

#include <gtest/gtest.h>

using namespace OrvText;

TEST(TextConversionTest, Latin1CoversExactlyTheFirst256Characters)
{
    std::string latin1;
    EXPECT_TRUE(WideToLatin1(L"Caf\u00e9 \u00ff", latin1));
    EXPECT_EQ(latin1, "Caf\xe9 \xff");
    EXPECT_EQ(Latin1ToWide("Caf\xe9 \xff"), L"Caf\u00e9 \u00ff");
    EXPECT_FALSE(WideToLatin1(L"Ohm \u2126", latin1));
    EXPECT_TRUE(latin1.empty());
}

TEST(TextConversionTest, PathsAreUtf8AndNamesThatAreNotSurviveTheRoundTrip)
{
    // U+00E9 is C3 A9, U+2126 is E2 84 A6, U+1F600 is F0 9F 98 80.
    EXPECT_EQ(WideToUtf8(L"/d/\u00e9\u2126\U0001F600"), "/d/\xc3\xa9\xe2\x84\xa6\xf0\x9f\x98\x80");
    EXPECT_EQ(Utf8ToWide("/d/\xc3\xa9\xe2\x84\xa6\xf0\x9f\x98\x80"), L"/d/\u00e9\u2126\U0001F600");
    // A Latin-1 name from another system, a truncated sequence, an overlong slash and a surrogate.
    for (const std::string name : {"caf\xe9.ocs", "x\xe2\x84", "\xc0\xaf", "\xed\xa0\x80"})
        EXPECT_EQ(WideToUtf8(Utf8ToWide(name)), name);
    EXPECT_EQ(Utf8ToWide("a\xe9"), std::wstring(L"a") + static_cast<wchar_t>(0xDCE9));
}
