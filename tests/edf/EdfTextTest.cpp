// The text helpers one by one, where whole files cannot reach: the fold table and the edges of
// the conversion.
#include "edf/EdfText.h"

#include <cstring>
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

TEST(FoldToAscii, ReplacesHighBytesByTheirLookAlikesOrSpaces)
{
    // ISO 8859-1 letters lose their accents; the Windows-1252 characters in 0x80-0x9F that look
    // like ASCII become it; other symbols become spaces.
    const std::pair<unsigned char, char> cases[] = {
        {0xC0, 'A'}, {0xC7, 'C'}, {0xDF, 's'}, {0xE9, 'e'},  {0xFF, 'y'}, {0xD7, 'x'}, {0xF7, '-'}, {0xBF, '?'},
        {0x80, 'E'}, {0x93, '"'}, {0x97, '-'}, {0x92, '\''}, {0x85, '.'}, {0xA0, ' '}, {0xA9, ' '}, {0x81, ' '},
    };
    for (const auto& [byte, replacement] : cases) {
        char text[2] = {static_cast<char>(byte), '\0'};
        FoldToAscii(text);
        EXPECT_EQ(text[0], replacement) << "byte 0x" << std::hex << int{byte};
    }
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
        {"", 0, ""},
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
