// A synthetic recording with channel offsets, a gap and events, converted through the shared run
// and checked against the channel files' own bytes: every EDF sample must be the CSC sample of
// the same instant, where an instant is a timestamp that every channel holds.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

#include "synth/SynthRecording.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/engine/EngineFixture.h"

namespace {

constexpr int frequency = 2000;  // 500 µs between samples, exact in integers
constexpr uint64_t intervalUs = 500;
constexpr uint64_t firstTimestamp = 1499077353000000;  // 2017-07-03 10:22:33 UTC
constexpr uint64_t gapUs = 1000000;
constexpr uint64_t gapBeforeRecord = 8;  // 4,096 samples into the recording

using Samples = std::map<uint64_t, int16_t>;  // timestamp µs → sample

// Reads a channel file's records straight from its bytes.
Samples ReadChannelFile(const std::filesystem::path& file)
{
    const std::vector<unsigned char> bytes = ReadFileBytes(file);
    Samples samples;
    for (size_t offset = 16384; offset + 1044 <= bytes.size(); offset += 1044) {
        uint64_t timestamp = 0;
        uint32_t valid = 0;
        std::memcpy(&timestamp, &bytes[offset], 8);
        std::memcpy(&valid, &bytes[offset + 16], 4);
        for (uint32_t i = 0; i < valid; ++i) {
            int16_t sample = 0;
            std::memcpy(&sample, &bytes[offset + 20 + 2 * i], 2);
            samples[timestamp + i * intervalUs] = sample;
        }
    }
    return samples;
}

}  // namespace

TEST(EndToEndTest, EveryEdfSampleIsTheChannelSampleOfItsInstant)
{
    TempDir dir;
    VareloSynth::SynthOptions options;
    options.directory = dir.path / "rec";
    options.channels = std::vector<VareloSynth::SynthChannel>(3);
    options.channels[1].startOffsetUs = 2 * intervalUs;
    options.channels[2].startOffsetUs = 3 * intervalUs;
    options.samplingFrequencyHz = frequency;
    options.samplesPerChannel = 8000;
    options.firstTimestampUs = firstTimestamp;
    options.gaps = {{gapBeforeRecord, gapUs}};
    // Given out of order: the event file holds them in time order.
    options.events = {{firstTimestamp + 2048000 + gapUs + 1001500, "later in the second stretch"},
                      {firstTimestamp + 2048000 + gapUs + 500000, "in the second stretch"},
                      {firstTimestamp + 2800000, "in the gap"},
                      {firstTimestamp + 1000000, "in the first stretch"}};
    std::string error;
    ASSERT_EQ(VareloSynth::WriteSynthRecording(options, error), 0) << error;

    // The oracle: instants are the timestamps all channels hold; a step above 1.5 intervals splits.
    std::vector<Samples> channels;
    for (const char* name : {"CSC1.ocs", "CSC2.ocs", "CSC3.ocs"})
        channels.push_back(ReadChannelFile(options.directory / name));
    std::vector<std::vector<uint64_t>> segments;
    for (const auto& [timestamp, sample] : channels[0]) {
        (void)sample;
        if (!channels[1].count(timestamp) || !channels[2].count(timestamp))
            continue;
        if (segments.empty() || timestamp - segments.back().back() > intervalUs * 3 / 2)
            segments.emplace_back();
        segments.back().push_back(timestamp);
    }
    ASSERT_EQ(segments.size(), 2u);

    LogFile logFile;
    CapturingFrontend frontend(logFile);
    ASSERT_EQ(RunIn(options.directory, logFile, frontend), 0);
    // The result is shown before the run ends; progress only grows, to the whole.
    ASSERT_GE(frontend.events.size(), 3u);
    EXPECT_EQ(frontend.events[frontend.events.size() - 2], L"result: Conversion Complete");
    EXPECT_EQ(frontend.events.back(), L"ended");
    EXPECT_TRUE(std::is_sorted(frontend.progress.begin(), frontend.progress.end()));
    EXPECT_EQ(frontend.progress.back(), 1.0);

    const char* files[] = {"DevOutput.edf", "DevOutput_01.edf"};
    // Onsets in 100 µs units from the stretch's first instant (channel 3 starts 1.5 ms late):
    // (1,000,000 - 1,500) / 100 = 9,985 and (500,000 - 1,500) / 100 = 4,985; the first stretch's
    // last instant is 4,095 samples in, (2,047,500 - 1,500) / 100 = 20,460. The second stretch's
    // 3,904 instants fill two records, which hold all four of its annotations: its last instant
    // is (3,903 x 500 - 1,500) / 100 = 19,500 units in.
    const std::vector<std::string> annotations[] = {
        {"+0 Recording starts", "+0.9985 in the first stretch", "+2.0460 Recording ends"},
        {"+0 Recording starts", "+0.4985 in the second stretch", "+1 later in the second stretch",
         "+1.9500 Recording ends"}};
    for (size_t s = 0; s < segments.size(); ++s) {
        SCOPED_TRACE(files[s]);
        const EdfFile edf = Parsed(options.directory / files[s]);
        // 3 channels × 2,000 Hz × 2 bytes fit one-second records of 2,000 samples.
        const size_t padded = (segments[s].size() + 1999) / 2000 * 2000;
        ASSERT_EQ(static_cast<size_t>(edf.recordCount) * 2000, padded);
        for (size_t c = 0; c < 3; ++c) {
            std::vector<int16_t> expected(padded, 0);
            for (size_t i = 0; i < segments[s].size(); ++i)
                expected[i] = channels[c].at(segments[s][i]);
            EXPECT_EQ(edf.samplesPerSignal.at(c), expected) << "channel " << c;
        }
        EXPECT_EQ(TalTexts(edf), annotations[s]);
    }
}

TEST(EndToEndTest, SpreadGapsOfTheGeneratorComeBeforeEvenlySpacedRecords)
{
    // Gap i of N comes before record floor((i + 1) * records / (N + 1)); records of 512 samples
    // at 2 kHz start 256,000 µs apart, plus the gaps before them.
    const struct {
        uint64_t samples;
        uint32_t gaps;
        uint64_t gapUs;
        std::vector<uint64_t> extraUs;  // per record: the gaps at or before it
    } cases[] = {
        {5120, 3, 1000, {0, 0, 1000, 1000, 1000, 2000, 2000, 3000, 3000, 3000}},  // before records 2, 5, 7
        {2048, 7, 10, {10, 30, 50, 70}},                                          // before records 0, 1, 1, 2, 2, 3, 3
        {1024, 0, 500, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gaps);
        TempDir dir;
        VareloSynth::SynthOptions options;
        options.directory = dir.path / "rec";
        options.channels.resize(1);
        options.samplingFrequencyHz = frequency;
        options.samplesPerChannel = c.samples;
        options.firstTimestampUs = firstTimestamp;
        options.spreadGapCount = c.gaps;
        options.spreadGapUs = c.gapUs;
        std::string error;
        ASSERT_EQ(VareloSynth::WriteSynthRecording(options, error), 0) << error;
        const std::vector<unsigned char> bytes = ReadFileBytes(dir.path / "rec" / "CSC1.ocs");
        ASSERT_EQ(bytes.size(), 16384 + c.extraUs.size() * 1044);
        for (size_t record = 0; record < c.extraUs.size(); ++record) {
            uint64_t timestamp = 0;
            std::memcpy(&timestamp, &bytes[16384 + record * 1044], 8);
            EXPECT_EQ(timestamp, firstTimestamp + record * 256000 + c.extraUs[record]) << "record " << record;
        }
    }
}
