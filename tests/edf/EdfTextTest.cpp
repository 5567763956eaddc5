// The text helpers one by one, where the file engine's tests (which pin the common cases in whole
// files) cannot reach: every byte of the fold table, the edges of the conversion, the largest times.
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
        {0xC0, 'A'}, {0xC5, 'A'}, {0xC7, 'C'}, {0xC9, 'E'}, {0xD1, 'N'}, {0xD6, 'O'},  {0xD8, 'O'}, {0xDC, 'U'},
        {0xDD, 'Y'}, {0xDF, 's'}, {0xE0, 'a'}, {0xE7, 'c'}, {0xE9, 'e'}, {0xEF, 'i'},  {0xF1, 'n'}, {0xF5, 'o'},
        {0xFC, 'u'}, {0xFF, 'y'}, {0xB5, 'u'}, {0xD7, 'x'}, {0xF7, '-'}, {0xBF, '?'},  {0xAB, '<'}, {0xBB, '>'},
        {0x80, 'E'}, {0x8A, 'S'}, {0x93, '"'}, {0x96, '-'}, {0x97, '-'}, {0x92, '\''}, {0x85, '.'}, {0xA0, ' '},
        {0xA9, ' '}, {0xB0, ' '}, {0x81, ' '}, {0x99, ' '},
    };
    for (const auto& [byte, replacement] : cases) {
        char text[2] = {static_cast<char>(byte), '\0'};
        FoldToAscii(text);
        EXPECT_EQ(text[0], replacement) << "byte 0x" << std::hex << int{byte};
    }
}

TEST(EdfLabelNamesAnnotations, SeesTheLabelAsTheHeaderWritesIt)
{
    for (const char* label : {"EDF Annotations", " EDF Annotations", "EDF Annotations\x18", "\tEDF Annotations",
                              "EDF Annotations 2", "EDF Annotatio\xF1s"})
        EXPECT_TRUE(EdfLabelNamesAnnotations(label)) << label;
    // the first 16 bytes are kept before the spaces go: "  EDF Annotation"
    for (const char* label : {"  EDF Annotations", "EDF Annotation", "EDF annotations", "EDF  Annotations", "", "CSC1"})
        EXPECT_FALSE(EdfLabelNamesAnnotations(label)) << label;
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

TEST(TalTimes, StartTimesAndOnsetsHaveDecimalsUnlessWholeSeconds)
{
    const struct {
        int64_t record;
        int64_t ticks;
        std::string text;
    } starts[] = {
        {3, 20'000'000, "+6"},
        {0, 5'000'000, "+0.0000000"},
        {100'000, 294'100, "+2941.0000000"},  // 29,410,000,000 ticks
    };
    for (const auto& s : starts) {
        char text[32];
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(WriteRecordStartTime(text, s.record, s.ticks))), s.text);
    }
    const std::pair<int64_t, std::string> onsets[] = {{20'000, "+2"}, {36'000'000'001, "+3600000.0001"}};
    for (const auto& [onset, expected] : onsets) {
        char text[32];
        EXPECT_EQ(std::string(text, static_cast<std::size_t>(WriteOnset(text, onset))), expected);
    }
}

TEST(AnnotationSlot, LongestContentFits)
{
    // The largest record start and onset that 64 bits hold, and a 40-byte text: 87 bytes, then
    // zeros to the end of the 114-byte slot. 31,361,346,606,102 records of 294,100 ticks start at
    // 9,223,372,036,854,598,200 ticks.
    const std::string text(40, 'x');
    char slot[edfAnnotationSlotBytes];
    std::memset(slot, 0x55, sizeof slot);
    BuildAnnotationSlot(slot, 31'361'346'606'102, 294'100, text.c_str(), INT64_MAX);
    std::string expected = std::string("+922337203685.4598200\x14\x14\0+922337203685477.5807\x14", 46) + text + "\x14";
    expected.resize(edfAnnotationSlotBytes, '\0');
    EXPECT_EQ(std::string(slot, sizeof slot), expected);
}
