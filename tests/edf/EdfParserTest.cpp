#include "tests/support/EdfParser.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Padded(const std::string& text, std::size_t width)
{
    return text + std::string(width - text.size(), ' ');
}

// A hand-made EDF+ file: one signal "Sig" of 2 samples, an annotation signal of 16 samples
// (32 bytes), one data record holding samples 1 and -2 and the TALs in `tals`.
std::vector<unsigned char> HandMadeFile(const std::string& tals, const std::string& count = "1")
{
    std::string header = Padded("0", 8) + Padded("X X X X", 80) + Padded("Startdate 05-JUL-2017 X X X", 80) + "05.07.17"
                         + "10.20.30" + Padded("768", 8) + Padded("EDF+C", 44) + Padded(count, 8) + Padded("1", 8)
                         + Padded("2", 4);
    header += Padded("Sig", 16) + "EDF Annotations " + std::string(160 + 16, ' ');
    header += Padded("-100", 8) + Padded("-1", 8) + Padded("100", 8) + Padded("1", 8);
    header += Padded("-10", 8) + Padded("-32768", 8) + Padded("10", 8) + Padded("32767", 8);
    header += std::string(160, ' ') + Padded("2", 8) + Padded("16", 8) + std::string(64, ' ');
    std::string record = std::string("\x01\x00\xFE\xFF", 4) + tals + std::string(32 - tals.size(), '\0');
    std::string all = header + record;
    return {all.begin(), all.end()};
}

const std::string goodTals("+0\x14\x14\0+1.5\x15"
                           "2\x14"
                           "a\x14"
                           "b\x14\0",
                           17);

}  // namespace

TEST(EdfParser, ReadsAHandMadeFileAndRefusesWhatItsHeaderDoesNotDescribe)
{
    EdfFile good;
    std::string goodError;
    ASSERT_TRUE(ParseEdfBytes(HandMadeFile(goodTals), good, goodError)) << goodError;
    EXPECT_EQ(good.samplesPerSignal[0], (std::vector<int16_t>{1, -2}));
    ASSERT_EQ(good.annotations.size(), 1u);
    EXPECT_EQ(good.annotations[0].onset + " " + good.annotations[0].duration, "+1.5 2");
    EXPECT_EQ(good.annotations[0].texts, (std::vector<std::string>{"a", "b"}));

    const std::pair<std::vector<unsigned char>, std::string> cases[] = {
        {HandMadeFile(goodTals, "2"), "offset 804: file size 804 differs from header + 2 records of 36 bytes = 840"},
        {HandMadeFile(goodTals, "-1"), "offset 236: record count -1 (file not closed?)"},
        {HandMadeFile(std::string("+0\x14\x14\0x1\x14\x14\0", 10)), "offset 777: bad TAL onset \"x1\""},
        {HandMadeFile(std::string("+0\x14"
                                  "a\x14\0",
                                  6)),
         "offset 772: the first TAL of the record is not a time-keeping TAL"},
        {HandMadeFile(std::string("+0\x14\x14\0\0\x01", 7)), "offset 778: non-zero byte after the last TAL"},
    };
    for (const auto& [bytes, expected] : cases) {
        EdfFile file;
        std::string error;
        EXPECT_FALSE(ParseEdfBytes(bytes, file, error)) << expected;
        EXPECT_EQ(error, expected);
    }
}

TEST(BytesAt, NamesTheFirstDifferingOffset)
{
    const std::vector<unsigned char> bytes = {'a', 'b', 'c'};
    EXPECT_TRUE(BytesAt(bytes, 1, "bc"));
    EXPECT_EQ(std::string(BytesAt(bytes, 0, "abx").message()), "offset 2: byte 0x63, expected 0x78");
    EXPECT_EQ(std::string(BytesAt(bytes, 2, "cd").message()),
              "offset 3: end of the 3-byte file, 2 bytes expected from offset 2");
}
