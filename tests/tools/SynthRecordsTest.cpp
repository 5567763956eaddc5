#include "synth/SynthRecords.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "synth/NewFile.h"
#include "tests/support/EdfParser.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Whether every byte from `offset` on is 0.
bool ZerosFrom(const Bytes& bytes, size_t offset)
{
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.end(),
                       [](unsigned char byte) { return byte == 0; });
}

TEST(SynthRecords, CscRecordFieldsLieLittleEndianAtTheirOffsets)
{
    const std::vector<int16_t> samples = {1, -2, 0x1234};
    Bytes bytes;
    VareloSynth::AppendCscRecord(bytes, {0x0102030405060708ull, 5, 32000, 3, samples});
    ASSERT_EQ(bytes.size(), 1044u);
    // timestamp, channel 5, 32,000 Hz = 0x7D00, 3 valid samples, then 1, -2, 0x1234
    EXPECT_TRUE(BytesAt(bytes, 0,
                        std::string("\x08\x07\x06\x05\x04\x03\x02\x01"
                                    "\x05\0\0\0"
                                    "\0\x7D\0\0"
                                    "\x03\0\0\0"
                                    "\x01\0\xFE\xFF\x34\x12",
                                    26)));
    EXPECT_TRUE(ZerosFrom(bytes, 26));
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
    // reserved, packet id, size, the unaligned timestamp, event id, TTL, CRC, two reserved
    EXPECT_TRUE(BytesAt(bytes, 0,
                        std::string("\0\0\x02\x10\x02\0"
                                    "\x88\x77\x66\x55\x44\x33\x22\x11"
                                    "\x0B\0\xFF\xFF\x0B\x0A\0\0\0\0"
                                    "\x01\0\0\0",
                                    28)));
    EXPECT_TRUE(BytesAt(bytes, 52,
                        std::string("\xFE\xFF\xFF\xFF"
                                    "Starting Recording\0",
                                    23)));
    EXPECT_TRUE(ZerosFrom(bytes, 75));

    event.text = std::string(128, 'a') + "overflow";  // cut to its field, which it fills without a NUL
    bytes.clear();
    VareloSynth::AppendEventRecord(bytes, event);
    ASSERT_EQ(bytes.size(), 184u);
    EXPECT_EQ(std::string(bytes.begin() + 56, bytes.end()), std::string(128, 'a'));
}

TEST(SynthRecords, HeaderBlockJoinsLinesAndPadsWithNul)
{
    Bytes bytes;
    ASSERT_TRUE(VareloSynth::AppendHeaderBlock(bytes, {"-FileType CSC", "-A 1"}));
    ASSERT_EQ(bytes.size(), 16384u);
    EXPECT_TRUE(BytesAt(bytes, 0, "-FileType CSC\r\n-A 1\r\n"));
    EXPECT_TRUE(ZerosFrom(bytes, 21));

    Bytes lf;
    ASSERT_TRUE(VareloSynth::AppendHeaderBlock(lf, {"-A 1"}, "\n"));
    EXPECT_TRUE(BytesAt(lf, 0, std::string("-A 1\n\0", 6)));
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

TEST(NewFile, WritesOnlyFilesThatDidNotExist)
{
    TempDir dir;
    std::string error;
    ASSERT_TRUE(VareloSynth::WriteNewFile(dir.path / "a.bin", Bytes{1, 2, 3}, error)) << error;
    EXPECT_EQ(ReadFileBytes(dir.path / "a.bin"), (Bytes{1, 2, 3}));

    EXPECT_FALSE(VareloSynth::WriteNewFile(dir.path / "a.bin", Bytes{9}, error));
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (dir.path / "a.bin").string() + ".");
    EXPECT_EQ(ReadFileBytes(dir.path / "a.bin"), (Bytes{1, 2, 3}));

    EXPECT_FALSE(VareloSynth::WriteNewFile(dir.path / "no" / "a.bin", Bytes{1}, error));
    EXPECT_EQ(error, "Unable to create file " + (dir.path / "no" / "a.bin").string() + ": No such file or directory");
}

}  // namespace
