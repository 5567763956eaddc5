#include "tools/SynthRecords.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tools/NewFile.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Compares bytes from `offset` with `expected`, reporting the first offset that differs.
void ExpectBytesAt(const Bytes& bytes, size_t offset, const Bytes& expected)
{
    ASSERT_LE(offset + expected.size(), bytes.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(bytes[offset + i], expected[i]) << "at offset " << offset + i;
}

TEST(SynthRecords, CscRecordFieldsLieLittleEndianAtTheirOffsets)
{
    const std::vector<int16_t> samples = {1, -2, 0x1234};
    Bytes bytes;
    VareloSynth::AppendCscRecord(bytes, {0x0102030405060708ull, 5, 32000, 3, samples});
    ASSERT_EQ(bytes.size(), 1044u);
    ExpectBytesAt(bytes, 0, {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01});  // timestamp
    ExpectBytesAt(bytes, 8, {0x05, 0x00, 0x00, 0x00});  // channel number
    ExpectBytesAt(bytes, 12, {0x00, 0x7D, 0x00, 0x00});  // 32000 = 0x7D00
    ExpectBytesAt(bytes, 16, {0x03, 0x00, 0x00, 0x00});  // valid samples
    ExpectBytesAt(bytes, 20, {0x01, 0x00, 0xFE, 0xFF, 0x34, 0x12});  // 1, -2, 0x1234
    for (size_t offset = 26; offset < 1044; ++offset)
        ASSERT_EQ(bytes[offset], 0) << "at offset " << offset;
}

TEST(SynthRecords, CscRecordKeepsAClaimAbove512AndOnly512Samples)
{
    const std::vector<int16_t> samples(600, 0x0101);
    Bytes bytes(3, 0xEE);  // appended after what is there
    VareloSynth::AppendCscRecord(bytes, {0, 0, 0, 600, samples});
    ASSERT_EQ(bytes.size(), 3u + 1044u);
    ExpectBytesAt(bytes, 0, {0xEE, 0xEE, 0xEE});
    ExpectBytesAt(bytes, 3 + 16, {0x58, 0x02, 0x00, 0x00});  // 600 = 0x258
    ExpectBytesAt(bytes, 3 + 1042, {0x01, 0x01});  // sample 511, the record's last two bytes
}

TEST(SynthRecords, EventRecordFieldsLieLittleEndianAtTheirOffsets)
{
    VareloSynth::EventRecordFields event;
    event.packetId = 4098;  // 0x1002
    event.packetDataSize = 2;
    event.timestampUs = 0x1122334455667788ull;
    event.eventId = 11;
    event.ttlValue = -1;
    event.crc = 0x0A0B;
    event.extra = {1, 0, 0, 0, 0, 0, 0, -2};
    event.text = "Starting Recording";
    Bytes bytes;
    VareloSynth::AppendEventRecord(bytes, event);
    ASSERT_EQ(bytes.size(), 184u);
    ExpectBytesAt(bytes, 0, {0x00, 0x00, 0x02, 0x10, 0x02, 0x00});
    ExpectBytesAt(bytes, 6, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11});  // unaligned timestamp
    ExpectBytesAt(bytes, 14, {0x0B, 0x00, 0xFF, 0xFF, 0x0B, 0x0A, 0x00, 0x00, 0x00, 0x00});
    ExpectBytesAt(bytes, 24, {0x01, 0x00, 0x00, 0x00});
    ExpectBytesAt(bytes, 52, {0xFE, 0xFF, 0xFF, 0xFF});
    const std::string text(bytes.begin() + 56, bytes.begin() + 56 + 19);
    EXPECT_EQ(text, std::string("Starting Recording\0", 19));
    for (size_t offset = 75; offset < 184; ++offset)
        ASSERT_EQ(bytes[offset], 0) << "at offset " << offset;
}

TEST(SynthRecords, EventTextIsCutToItsFieldAndMayFillItWithoutNul)
{
    VareloSynth::EventRecordFields event;
    event.text = std::string(128, 'a') + "overflow";
    Bytes bytes;
    VareloSynth::AppendEventRecord(bytes, event);
    ASSERT_EQ(bytes.size(), 184u);
    EXPECT_EQ(std::string(bytes.begin() + 56, bytes.end()), std::string(128, 'a'));
}

TEST(SynthRecords, HeaderBlockJoinsLinesAndPadsWithNul)
{
    Bytes bytes;
    ASSERT_TRUE(VareloSynth::AppendHeaderBlock(bytes, {"-FileType CSC", "-A 1"}));
    ASSERT_EQ(bytes.size(), 16384u);
    const std::string expected = "-FileType CSC\r\n-A 1\r\n";
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 21), expected);
    for (size_t offset = 21; offset < 16384; ++offset)
        ASSERT_EQ(bytes[offset], 0) << "at offset " << offset;

    Bytes lf;
    ASSERT_TRUE(VareloSynth::AppendHeaderBlock(lf, {"-A 1"}, "\n"));
    EXPECT_EQ(std::string(lf.begin(), lf.begin() + 6), std::string("-A 1\n\0", 6));
}

TEST(SynthRecords, HeaderTextMayFillTheBlockButNotExceedIt)
{
    Bytes exact;
    ASSERT_TRUE(VareloSynth::AppendHeaderBlock(exact, {std::string(16383, '#')}, "\n"));
    ASSERT_EQ(exact.size(), 16384u);
    EXPECT_EQ(exact.back(), '\n');

    Bytes tooLong = {1, 2};
    EXPECT_FALSE(VareloSynth::AppendHeaderBlock(tooLong, {std::string(16384, '#')}, "\n"));
    EXPECT_EQ(tooLong, (Bytes{1, 2}));
}

TEST(NewFile, WritesBytesIntoAFileThatDidNotExist)
{
    TempDir dir;
    std::string error;
    ASSERT_TRUE(VareloSynth::WriteNewFile(dir.path / "a.bin", Bytes{1, 2, 3}, error)) << error;
    EXPECT_EQ(ReadFileBytes(dir.path / "a.bin"), (Bytes{1, 2, 3}));
}

TEST(NewFile, RefusesToOverwriteAndLeavesTheFileAlone)
{
    TempDir dir;
    WriteFileBytes(dir.path / "a.bin", {9, 9});
    std::string error;
    EXPECT_FALSE(VareloSynth::WriteNewFile(dir.path / "a.bin", Bytes{1, 2, 3}, error));
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (dir.path / "a.bin").string() + ".");
    EXPECT_EQ(ReadFileBytes(dir.path / "a.bin"), (Bytes{9, 9}));
}

TEST(NewFile, MissingDirectoryGivesPathAndReason)
{
    TempDir dir;
    std::string error;
    EXPECT_FALSE(VareloSynth::WriteNewFile(dir.path / "no" / "a.bin", Bytes{1}, error));
    EXPECT_EQ(error, "Unable to create file " + (dir.path / "no" / "a.bin").string() + ": No such file or directory");
}

}  // namespace
