#include "logging/AsciiCase.h"

#include <string>

#include <gtest/gtest.h>

// Only ASCII letters fold: ISO 8859-1 letters (as bytes and as characters), digits and the
// characters next to the letters in the code table ('@', '[', '`', '{') keep their case or value.
TEST(AsciiCase, FoldsAsciiLettersOnly)
{
    const struct {
        std::string a;
        std::string b;
        bool equal;
    } cases[] = {
        {"Starting Recording", "STARTING RECORDING", true},
        {"csc", "CSC", true},
        {"", "", true},
        {"CSC", "CSC ", false},
        {"@[`{", "@[`{", true},
        {"@", "`", false},  // 0x40 and 0x60: 0x20 apart like a letter pair, yet no letters
        {"[", "{", false},
        {"\xC4", "\xE4", false},  // Ä and ä in ISO 8859-1
        {"Event1", "EVENT2", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OrvText::EqualsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        const std::wstring wideA(c.a.begin(), c.a.end());
        const std::wstring wideB(c.b.begin(), c.b.end());
        EXPECT_EQ(OrvText::EqualsIgnoringAsciiCase(wideA, wideB), c.equal) << c.a << " / " << c.b << " as wide text";
    }
    EXPECT_EQ(OrvText::FoldAsciiToUpper('z'), 'Z');
    EXPECT_EQ(OrvText::FoldAsciiToUpper('{'), '{');
    EXPECT_EQ(OrvText::FoldAsciiToUpper('\xE4'), '\xE4');
}

TEST(AsciiCase, EndsWithComparesTheLastCharactersOnly)
{
    const struct {
        std::string text;
        std::string suffix;
        bool endsWith;
    } cases[] = {
        {"CSC1.ocs", ".OCS", true},
        {"CSC1.OcS", ".ocs", true},
        {".ocs", ".ocs", true},
        {"ocs", ".ocs", false},
        {"", "", true},
        {"a.ocsx", ".ocs", false},
        {"a.oev", "", true},
        {"x.ocs.txt", ".ocs", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OrvText::EndsWithIgnoringAsciiCase(c.text, c.suffix), c.endsWith) << c.text << " / " << c.suffix;
        const std::wstring text(c.text.begin(), c.text.end());
        const std::wstring suffix(c.suffix.begin(), c.suffix.end());
        EXPECT_EQ(OrvText::EndsWithIgnoringAsciiCase(text, suffix), c.endsWith) << c.text << " as wide text";
    }
}
