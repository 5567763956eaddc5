// The transfer takes whole runs of instants at once while all channels stand at the same place of
// records with one timestamp; these cases leave that steady state in the middle of a record and
// must come out exactly as sample-by-sample alignment gives them.
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;
using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;

namespace {

constexpr uint64_t july5th2017 = 1499248800ull * 1000000;  // 2017-07-05 10:00:00 UTC, µs

std::vector<int16_t> Padded(std::vector<int16_t> samples, size_t length)
{
    samples.resize(length, 0);
    return samples;
}

EdfFile Parse(const std::filesystem::path& path)
{
    EdfFile file;
    std::string error;
    EXPECT_TRUE(ParseEdfFile(path, file, error)) << path << ": " << error;
    return file;
}

}  // namespace

TEST_F(EngineTest, StepsInsideARecordCanLeaveGaps)
{
    // At 800 kHz a sample lies floor(i × 1.25) µs into its record: 0, 1, 2, 3, 5, 6, 7, 8, 10.
    // Steps of 2 µs exceed 1.5 intervals (1.875 µs), so instants 0-3, 4-7 and 8 are three files.
    Channel first;
    first.samplingFrequency = "800000";
    Channel second = first;
    second.name = "CSC2";
    CscRecord record;
    record.timestamp = july5th2017;
    record.validSamples = 9;
    record.samples = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(Convert(L"", {WriteChannel(first, {record}), WriteChannel(second, {record})}), 0);
    ASSERT_EQ(EdfFilesWritten(), (std::vector<std::string>{"DevOutput.edf", "DevOutput_01.edf", "DevOutput_01_01.edf"}));

    // 2 channels × 800,000 Hz × 2 bytes: 53 parts, so 15,094 samples per record.
    const EdfFile one = Parse(dir.path / "DevOutput.edf");
    const EdfFile two = Parse(dir.path / "DevOutput_01.edf");
    const EdfFile three = Parse(dir.path / "DevOutput_01_01.edf");
    EXPECT_EQ(one.samplesPerSignal[1], Padded({0, 1, 2, 3}, 15094));
    EXPECT_EQ(two.samplesPerSignal[1], Padded({4, 5, 6, 7}, 15094));
    EXPECT_EQ(three.samplesPerSignal[1], Padded({8}, 15094));
}

TEST_F(EngineTest, ChannelsWithDifferentRecordLengthsStayAligned)
{
    // Channel 2 holds the same samples at the same instants in records of 200 samples, so its
    // records begin where channel 1's are in mid-record.
    Channel second;
    second.name = "CSC2";
    std::vector<CscRecord> shortRecords;
    for (uint32_t first = 0; first < 1500; first += 200) {
        CscRecord record;
        record.timestamp = july5th2017 + first * 1000;
        record.validSamples = std::min<uint32_t>(200, 1500 - first);
        for (uint32_t i = 0; i < record.validSamples; ++i)
            record.samples.push_back(static_cast<int16_t>(5000 + first + i));
        shortRecords.push_back(record);
    }
    ASSERT_EQ(Convert(L"", {WriteChannel(Channel{}, ContinuousRecords(july5th2017, 1000, 1500, 0)),
                            WriteChannel(second, shortRecords)}),
              0);
    const EdfFile edf = Parse(dir.path / "DevOutput.edf");
    std::vector<int16_t> ramp;
    std::vector<int16_t> shifted;
    for (int i = 0; i < 1500; ++i) {
        ramp.push_back(static_cast<int16_t>(i));
        shifted.push_back(static_cast<int16_t>(5000 + i));
    }
    EXPECT_EQ(EdfFilesWritten(), std::vector<std::string>{"DevOutput.edf"});
    EXPECT_EQ(edf.samplesPerSignal[0], Padded(ramp, 2000));
    EXPECT_EQ(edf.samplesPerSignal[1], Padded(shifted, 2000));
}
