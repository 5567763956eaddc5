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
    std::string header = Padded("0", 8) + Padded("X X X X", 80) + Padded("Startdate 05-JUL-2017 X X X", 80) +
                         "05.07.17" + "10.20.30" + Padded("768", 8) + Padded("EDF+C", 44) + Padded(count, 8) +
                         Padded("1", 8) + Padded("2", 4);
    header += Padded("Sig", 16) + "EDF Annotations " + std::string(160 + 16, ' ');
    header += Padded("-100", 8) + Padded("-1", 8) + Padded("100", 8) + Padded("1", 8);
    header += Padded("-10", 8) + Padded("-32768", 8) + Padded("10", 8) + Padded("32767", 8);
    header += std::string(160, ' ') + Padded("2", 8) + Padded("16", 8) + std::string(64, ' ');
    std::string record = std::string("\x01\x00\xFE\xFF", 4) + tals + std::string(32 - tals.size(), '\0');
    std::string all = header + record;
    return {all.begin(), all.end()};
}

const std::string goodTals("+0\x14\x14\0+1.5\x15" "2\x14" "a\x14" "b\x14\0", 17);

}  // namespace

TEST(EdfParser, ReadsHeaderSignalsSamplesAndTals)
{
    EdfFile file;
    std::string error;
    ASSERT_TRUE(ParseEdfBytes(HandMadeFile(goodTals), file, error)) << error;
    EXPECT_EQ(file.version, "0");
    EXPECT_EQ(file.recording, "Startdate 05-JUL-2017 X X X");
    EXPECT_EQ(file.startTime, "10.20.30");
    EXPECT_EQ(file.headerBytes, 768);
    EXPECT_EQ(file.reserved, "EDF+C");
    EXPECT_EQ(file.recordCount, 1);
    EXPECT_EQ(file.signalCount, 2);
    ASSERT_EQ(file.signals.size(), 2u);
    EXPECT_EQ(file.signals[0].label, "Sig");
    EXPECT_EQ(file.signals[0].physicalMinimum, "-100");
    EXPECT_EQ(file.signals[0].digitalMaximum, 10);
    EXPECT_TRUE(file.signals[1].isAnnotation);
    EXPECT_EQ(file.signals[1].samplesPerRecord, 16);
    EXPECT_EQ(file.samplesPerSignal[0], (std::vector<int16_t>{1, -2}));
    EXPECT_TRUE(file.samplesPerSignal[1].empty());
    EXPECT_EQ(file.recordStartTimes, std::vector<std::string>{"+0"});
    ASSERT_EQ(file.annotations.size(), 1u);
    EXPECT_EQ(file.annotations[0].onset, "+1.5");
    EXPECT_EQ(file.annotations[0].duration, "2");
    EXPECT_EQ(file.annotations[0].texts, (std::vector<std::string>{"a", "b"}));
}

TEST(EdfParser, RefusesSizeThatDiffersFromHeader)
{
    EdfFile file;
    std::string error;
    EXPECT_FALSE(ParseEdfBytes(HandMadeFile(goodTals, "2"), file, error));
    EXPECT_EQ(error, "offset 804: file size 804 differs from header + 2 records of 36 bytes = 840");
    EXPECT_FALSE(ParseEdfBytes(HandMadeFile(goodTals, "-1"), file, error));
    EXPECT_EQ(error, "offset 236: record count -1 (file not closed?)");
}

TEST(EdfParser, RefusesMalformedTals)
{
    EdfFile file;
    std::string error;
    EXPECT_FALSE(ParseEdfBytes(HandMadeFile(std::string("+0\x14\x14\0x1\x14\x14\0", 10)), file, error));
    EXPECT_EQ(error, "offset 777: bad TAL onset \"x1\"");
    EXPECT_FALSE(ParseEdfBytes(HandMadeFile(std::string("+0\x14" "a\x14\0", 6)), file, error));
    EXPECT_EQ(error, "offset 772: the first TAL of the record is not a time-keeping TAL");
    EXPECT_FALSE(ParseEdfBytes(HandMadeFile(std::string("+0\x14\x14\0\0\x01", 7)), file, error));
    EXPECT_EQ(error, "offset 778: non-zero byte after the last TAL");
}

TEST(BytesAt, NamesTheFirstDifferingOffset)
{
    const std::vector<unsigned char> bytes = {'a', 'b', 'c'};
    EXPECT_TRUE(BytesAt(bytes, 1, "bc"));
    EXPECT_EQ(std::string(BytesAt(bytes, 0, "abx").message()), "offset 2: byte 0x63, expected 0x78");
    EXPECT_EQ(std::string(BytesAt(bytes, 2, "cd").message()),
              "offset 3: end of the 3-byte file, 2 bytes expected from offset 2");
}
