// The text and number helpers one by one, where whole files cannot reach: the fold table, the
// edges of the conversion, padding, truncation and saturation.
#include "edf/EdfText.h"
#include "edf/EdfNumbers.h"

#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(FoldToAscii, KeepsPrintableAsciiAndBlanksControlBytes)
{
    std::string printable;
    for (int byte = 0x20; byte <= 0x7E; ++byte)
        printable.push_back(static_cast<char>(byte));
    std::string text = printable + "a\x01\tb\x1F\x7F";
    FoldToAscii(text.data());
    EXPECT_EQ(text, printable + "a  b  ");
}

TEST(Latin1ToUtf8, ConvertsWithinTheInputLength)
{
    const struct {
        std::string in;
        int n;
        std::string out;
    } cases[] = {
        {"a\tb\x7F\x80\x9F"
         "c",
         7, "a.b...c"},                                                   // control characters of both halves
        {"\xA0\xFF", 2, "\xC2\xA0"},                                      // no byte left for the second character
        {"\xA0\xFF", 4, "\xC2\xA0\xC3\xBF"},                              // the first and last above ASCII
        {std::string(39, 'a') + "\xE9", 40, std::string(39, 'a') + " "},  // one byte left: a space
        {std::string("ab\0cd", 5), 5, "ab"},                              // stops at NUL
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        std::string text = c.in;
        text.resize(edfMaxAnnotationTextBytes + 1, '\0');
        const int length = Latin1ToUtf8(text.data(), c.n);
        EXPECT_EQ(text.substr(0, static_cast<std::size_t>(length)), c.out);
        EXPECT_EQ(text[static_cast<std::size_t>(length)], '\0');
    }
}

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
        // 3276.7 is stored as 3276.69999999999981810106...: its decimals truncate to 699999999.
        {1000, "1000"},
        {-0.5, "-0.5"},
        {0.02941, "0.02941"},
        {3276.7, "3276.699999999"},
        {1e12, "2147483647"},
        {-1e12, "-2147483648"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
        {std::numeric_limits<double>::infinity(), "2147483647"}};
    for (const auto& [value, expected] : cases) {
        char text[32];
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(FormatDouble(text, value))), expected) << value;
    }
}
