// The text and number helpers one by one, where whole files cannot reach: the fold table, the
// edges of the conversion, padding, truncation and saturation.
#include "EdfText.h"
#include "EdfNumbers.h"

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

// The data record duration of the header and of the writer's messages: seconds, then the
// decimals without trailing zeros, from the shortest duration (1 ms) to the longest (60 s).
TEST(WriteSeconds, WritesWholeSecondsThenDecimalsWithoutTrailingZeros)
{
    const struct {
        int64_t ticks;  // 100 ns
        std::string text;
    } cases[] = {
        {0, "0"},          {10'000, "0.001"},         {294'100, "0.02941"}, {163'900, "0.01639"}, {5'000'000, "0.5"},
        {10'000'000, "1"}, {10'000'001, "1.0000001"}, {600'000'000, "60"},  {1, "0.0000001"},
    };
    for (const auto& c : cases) {
        char text[32];
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(WriteSeconds(text, c.ticks))), c.text) << c.ticks;
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

TEST(FormatDoubleNearest, RoundsToTheMostDecimalsTheWidthHolds)
{
    const struct {
        double value;
        int width;
        std::string text;  // "" for -1
    } cases[] = {
        {-32768 * (1000.0 / 32767), 8, "-1000.03"},  // cut would give the same; 5 after it rounds up below
        {-1000.0366, 8, "-1000.04"},                 // nearest, not cut
        {32767 * (1000.0 / 32767), 8, "1000"},       // trailing zeros and the point removed
        {-32768 * (100.0 / 2047), 8, "-1600.78"},    // -1600.7816...
        {32767 * (3.0 / 32767), 8, "3"},             // 2.9999999999 rounds to 3
        {0.000000001, 8, "0"},                       // nothing left of a tiny value
        {-0.0000001, 8, "0"},                        // nor a minus sign
        {-9999999.4, 8, "-9999999"},                 // the whole part alone
        {-99999999.0, 8, ""},                        // does not fit
        {std::numeric_limits<double>::infinity(), 8, ""},
    };
    for (const auto& c : cases) {
        char text[32];
        const int length = FormatDoubleNearest(text, c.value, c.width);
        EXPECT_EQ(length < 0 ? std::string() : std::string(text, static_cast<std::size_t>(length)), c.text) << c.value;
    }
}

TEST(StoredAnnotationText, CutKeepsFortyBytesWholeKeepsEveryCharacter)
{
    const std::string letters = "na\xEFve \xB5 text with \xE9";  // ISO 8859-1
    const std::string utf8Letters = "na\xC3\xAFve \xC2\xB5 text with \xC3\xA9";
    const std::string forty(40, 'a');
    const struct {
        std::string latin1;
        AnnotationTexts texts;
        std::string stored;
    } cases[] = {
        {letters, AnnotationTexts::Whole, utf8Letters},
        {letters + letters, AnnotationTexts::Whole, utf8Letters + utf8Letters},
        {std::string(255, '\xE9'), AnnotationTexts::Whole,
         [] {
             std::string s;
             for (int i = 0; i < 255; ++i)
                 s += "\xC3\xA9";
             return s;
         }()},
        {std::string(300, 'b'), AnnotationTexts::Whole, std::string(255, 'b')},  // the most kept
        {"tab\there", AnnotationTexts::Whole, "tab.here"},
        {forty + "b", AnnotationTexts::Cut, forty},
        {std::string(38, 'a') + "\xE9\xE9", AnnotationTexts::Cut, std::string(38, 'a') + "\xC3\xA9"},
        // as many bytes out as went in: the letters' second bytes push the last characters out
        {letters + letters, AnnotationTexts::Cut, (utf8Letters + utf8Letters).substr(0, 2 * letters.size())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latin1);
        char stored[edfMaxWholeAnnotationTextBytes + 1];
        const int length = StoredAnnotationText(c.latin1.c_str(), c.texts, stored);
        EXPECT_EQ(std::string(stored, static_cast<std::size_t>(length)), c.stored);
        EXPECT_EQ(stored[length], '\0');
    }
}

TEST(WriteAnnotationTal, CutsALongTextWhereACharacterBegins)
{
    const struct {
        std::string text;
        int maxTextBytes;
        std::string tal;
    } cases[] = {
        {std::string(39, 'a') + "\xC3\xA9", 40, "+1\x14" + std::string(39, 'a') + "\x14"},
        {std::string(38, 'a') + "\xC3\xA9", 40, "+1\x14" + std::string(38, 'a') + "\xC3\xA9\x14"},
        {std::string(60, 'a'), 600, "+1\x14" + std::string(60, 'a') + "\x14"},
    };
    for (const auto& c : cases) {
        char tal[edfLongestWholeAnnotationTalBytes];
        const int length = WriteAnnotationTal(tal, c.text.c_str(), 10000, 4, c.maxTextBytes);
        EXPECT_EQ(std::string(tal, static_cast<std::size_t>(length)), c.tal) << c.text.size();
    }
}
