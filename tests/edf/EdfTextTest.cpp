#include "edf/EdfText.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Folded(std::string text)
{
    FoldToAscii(text.data());
    return text;
}

std::string Converted(std::string text, int n)
{
    text.resize(edfMaxAnnotationTextBytes + 1, '\0');
    int length = Latin1ToUtf8(text.data(), n);
    EXPECT_EQ(text[static_cast<std::size_t>(length)], '\0');
    return text.substr(0, static_cast<std::size_t>(length));
}

std::string StartTime(int64_t record, int64_t ticks)
{
    char text[32];
    return std::string(text, static_cast<std::size_t>(WriteRecordStartTime(text, record, ticks)));
}

std::string Onset(int64_t onset)
{
    char text[32];
    return std::string(text, static_cast<std::size_t>(WriteOnset(text, onset)));
}

std::string Slot(int64_t record, int64_t ticks, const char* text = nullptr, int64_t onset = 0)
{
    char slot[edfAnnotationSlotBytes];
    std::memset(slot, 0x55, sizeof slot);
    BuildAnnotationSlot(slot, record, ticks, text, onset);
    return std::string(slot, sizeof slot);
}

std::string ZeroFilled(std::string text)
{
    text.resize(edfAnnotationSlotBytes, '\0');
    return text;
}

}  // namespace

TEST(FoldToAscii, KeepsPrintableAsciiAndBlanksControlBytes)
{
    std::string printable;
    for (int byte = 0x20; byte <= 0x7E; ++byte)
        printable.push_back(static_cast<char>(byte));
    EXPECT_EQ(Folded(printable), printable);
    EXPECT_EQ(Folded("a\x01\tb\x1F\x7F"), "a  b  ");
}

TEST(FoldToAscii, ReplacesHighBytesByTheirLookAlikes)
{
    // The look-alike table with its ranges written out; every byte from 0x80 not listed is a space.
    const std::map<char, std::vector<int>> table = {
        {'E', {0x80, 0x8C, 0xC6, 0xC8, 0xC9, 0xCA, 0xCB}}, {'e', {0x9C, 0xE6, 0xE8, 0xE9, 0xEA, 0xEB}},
        {'A', {0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5}}, {'a', {0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5}},
        {'C', {0xC7}}, {'c', {0xE7}}, {'D', {0xD0}}, {'d', {0xF0}},
        {'I', {0xCC, 0xCD, 0xCE, 0xCF, 0xDE}}, {'i', {0xEC, 0xED, 0xEE, 0xEF}}, {'N', {0xD1}}, {'n', {0xF1}},
        {'O', {0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD8}}, {'o', {0xF2, 0xF3, 0xF4, 0xF5, 0xF6}},
        {'U', {0xD9, 0xDA, 0xDB, 0xDC}}, {'u', {0xB5, 0xF9, 0xFA, 0xFB, 0xFC}}, {'Y', {0x9F, 0xDD}},
        {'y', {0xFD, 0xFF}}, {'S', {0x8A}}, {'s', {0x9A, 0xDF}}, {'Z', {0x8E}}, {'z', {0x9E}}, {'F', {0x83}},
        {'m', {0x89}}, {'t', {0xFE}}, {'x', {0xD7}}, {'0', {0xF8}}, {',', {0x82}}, {'"', {0x84, 0x93, 0x94}},
        {'.', {0x85, 0x95}}, {'+', {0x86, 0x87}}, {'^', {0x88}}, {'<', {0x8B, 0xAB}}, {'>', {0x9B, 0xBB}},
        {'`', {0x91}}, {'\'', {0x92, 0xB4}}, {'-', {0x96, 0x97, 0xF7}}, {'~', {0x98}}, {'?', {0xBF}},
    };
    std::map<int, char> expected;
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        expected[byte] = ' ';
    for (const auto& [replacement, bytes] : table)
        for (int byte : bytes)
            expected[byte] = replacement;
    for (const auto& [byte, replacement] : expected) {
        char text[2] = {static_cast<char>(byte), '\0'};
        FoldToAscii(text);
        EXPECT_EQ(text[0], replacement) << "byte 0x" << std::hex << byte;
    }
}

TEST(FoldToAscii, FoldsLabelWithAccents)
{
    EXPECT_EQ(Folded("Fr\xE9q\xA9x"), "Freq x");
}

TEST(Latin1ToUtf8, CopiesAsciiAndDotsControlCharacters)
{
    EXPECT_EQ(Converted("Recording starts", 16), "Recording starts");
    EXPECT_EQ(Converted("a\tb\x7F\x80\x9F" "c", 7), "a.b...c");
}

TEST(Latin1ToUtf8, WritesTwoBytesForUpperHalfWithinTheInputLength)
{
    // The output is held to the input's n bytes: 12 bytes in, "caf" + 2 + 7 bytes out.
    EXPECT_EQ(Converted("caf\xE9 au lait", 12), "caf\xC3\xA9 au lai");
    EXPECT_EQ(Converted("\xA0\xFF", 4), "\xC2\xA0\xC3\xBF");
}

TEST(Latin1ToUtf8, LastByteWithOneByteLeftBecomesSpace)
{
    std::string text(39, 'a');
    text.push_back('\xE9');
    EXPECT_EQ(Converted(text, 40), std::string(39, 'a') + " ");
    EXPECT_EQ(Converted("\xE9", 1), " ");
}

TEST(Latin1ToUtf8, StopsAtNul)
{
    EXPECT_EQ(Converted(std::string("ab\0cd", 5), 5), "ab");
    EXPECT_EQ(Converted("", 0), "");
}

TEST(RecordStartTime, HasSevenDecimalsUnlessDurationIsWholeSeconds)
{
    EXPECT_EQ(StartTime(0, 10'000'000), "+0");
    EXPECT_EQ(StartTime(5, 10'000'000), "+5");
    EXPECT_EQ(StartTime(3, 20'000'000), "+6");
    EXPECT_EQ(StartTime(0, 5'000'000), "+0.0000000");
    EXPECT_EQ(StartTime(1, 5'000'000), "+0.5000000");
    EXPECT_EQ(StartTime(2, 5'000'000), "+1.0000000");
    EXPECT_EQ(StartTime(1, 294'100), "+0.0294100");
    EXPECT_EQ(StartTime(100'000, 294'100), "+2941.0000000");  // 29,410,000,000 ticks
}

TEST(Onset, HasFourDecimalsUnlessWholeSeconds)
{
    EXPECT_EQ(Onset(0), "+0");
    EXPECT_EQ(Onset(10'000), "+1");
    EXPECT_EQ(Onset(25'000), "+2.5000");
    EXPECT_EQ(Onset(123), "+0.0123");
    EXPECT_EQ(Onset(36'000'000'001), "+3600000.0001");
}

TEST(AnnotationSlot, TimeKeepingOnlyIsZeroFilled)
{
    EXPECT_EQ(Slot(5, 10'000'000), ZeroFilled("+5\x14\x14"));
    EXPECT_EQ(Slot(1, 294'100), ZeroFilled("+0.0294100\x14\x14"));
}

TEST(AnnotationSlot, AnnotationFollowsTimeKeepingTal)
{
    EXPECT_EQ(Slot(0, 10'000'000, "Recording starts", 0),
              ZeroFilled(std::string("+0\x14\x14\0+0\x14Recording starts\x14", 25)));
    EXPECT_EQ(Slot(1, 5'000'000, "Ev", 25'000),
              ZeroFilled(std::string("+0.5000000\x14\x14\0+2.5000\x14" "Ev\x14", 24)));
}

TEST(AnnotationSlot, LongestContentFits)
{
    // The largest record start and onset that 64 bits hold, and a 40-byte text: 87 bytes.
    // 31,361,346,606,102 records of 294,100 ticks start at 9,223,372,036,854,598,200 ticks.
    std::string text(40, 'x');
    EXPECT_EQ(Slot(31'361'346'606'102, 294'100, text.c_str(), INT64_MAX),
              ZeroFilled(std::string("+922337203685.4598200\x14\x14\0+922337203685477.5807\x14", 46) + text + "\x14"));
}
