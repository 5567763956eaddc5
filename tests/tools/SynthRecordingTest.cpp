#include "tools/SynthRecording.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logging/TextConversion.h"
#include "reader/OrvFileIO.h"
#include "tests/support/TempDir.h"

// Recordings written by the generator and read back through the reader.
namespace {

using Velquor::CSCRecord;
using Velquor::EventRecord;
using Table = std::vector<std::vector<std::wstring>>;

class SynthRecordingTest : public ::testing::Test {
protected:
    SynthRecordingTest()
    {
        options.directory = dir.path / "rec";
        options.channels = std::vector<VareloSynth::SynthChannel>(2);
        options.samplesPerChannel = 1300;  // records of 512, 512 and 276 samples
        options.sessionUuid = "3a1f3c66-8b0e-4b7e-9d3c-2f5b7c1d0e42";
    }

    void Write()
    {
        std::string error;
        ASSERT_EQ(VareloSynth::WriteSynthRecording(options, error), 0) << error;
    }

    int Open(const std::string& fileName)
    {
        int handle = -1;
        const std::wstring path = OrvText::Utf8ToWide((options.directory / fileName).string());
        EXPECT_EQ(reader.OpenOrvInputFile(path.c_str(), handle), 0) << reader.GetLastErrorMessage();
        return handle;
    }

    int RecordCount(int handle)
    {
        int count = -1;
        EXPECT_EQ(reader.GetNumRecordsInFile(handle, count), 0);
        return count;
    }

    const CSCRecord* Csc(int handle, int index)
    {
        void* data = nullptr;
        int count = 0;
        EXPECT_EQ(reader.GetDataFromIndex(handle, index, data, count), 0) << reader.GetLastErrorMessage();
        return static_cast<const CSCRecord*>(data);
    }

    std::vector<EventRecord> Events(int handle)
    {
        std::vector<EventRecord> events;
        const int total = RecordCount(handle);
        for (int index = 0; index < total;) {
            void* data = nullptr;
            int count = 0;
            EXPECT_EQ(reader.GetDataFromIndex(handle, index, data, count), 0);
            if (count < 1)
                break;
            events.insert(events.end(), static_cast<const EventRecord*>(data), static_cast<const EventRecord*>(data) + count);
            index += count;
        }
        return events;
    }

    Table Header(int handle, const std::wstring& key)
    {
        Table values;
        EXPECT_EQ(reader.GetHeaderMetaData(handle, key, values), 0);
        return values;
    }

    // Every file of the recording directory with its bytes, by name.
    std::vector<std::pair<std::string, std::vector<unsigned char>>> Files(const std::filesystem::path& directory)
    {
        std::vector<std::pair<std::string, std::vector<unsigned char>>> files;
        for (const auto& entry : std::filesystem::directory_iterator(directory))
            files.emplace_back(entry.path().filename().string(), ReadFileBytes(entry.path()));
        std::sort(files.begin(), files.end());
        return files;
    }

    TempDir dir;
    VareloSynth::SynthOptions options;
    Velquor::OrvFileIO reader;
};

TEST_F(SynthRecordingTest, RecordsFollowTheAcquisitionClock)
{
    Write();
    EXPECT_EQ(std::filesystem::file_size(options.directory / "CSC1.ocs"), 16384u + 3u * 1044u);
    for (const int channel : {0, 1}) {
        const int handle = Open("CSC" + std::to_string(channel + 1) + ".ocs");
        ASSERT_EQ(RecordCount(handle), 3);
        // 512 samples at 32 kHz last 16,000 µs.
        EXPECT_EQ(uint64_t{Csc(handle, 0)->timestamp}, 12000000u);
        EXPECT_EQ(uint64_t{Csc(handle, 1)->timestamp}, 12016000u);
        EXPECT_EQ(uint64_t{Csc(handle, 2)->timestamp}, 12032000u);
        EXPECT_EQ(Csc(handle, 0)->numValidSamples, 512u);
        EXPECT_EQ(Csc(handle, 1)->numValidSamples, 512u);
        EXPECT_EQ(Csc(handle, 2)->numValidSamples, 276u);  // 1,300 − 1,024
        EXPECT_EQ(Csc(handle, 2)->channelNumber, static_cast<uint32_t>(channel));
        EXPECT_EQ(Csc(handle, 2)->sampleFrequency, 32000u);
    }
}

TEST_F(SynthRecordingTest, RecordStartsAreTruncatedWhenTheFrequencyDoesNotDivide)
{
    options.samplingFrequencyHz = 30000;
    options.samplesPerChannel = 2048;
    options.firstTimestampUs = 0;
    Write();
    const int handle = Open("CSC1.ocs");
    ASSERT_EQ(RecordCount(handle), 4);
    EXPECT_EQ(uint64_t{Csc(handle, 0)->timestamp}, 0u);
    EXPECT_EQ(uint64_t{Csc(handle, 1)->timestamp}, 17066u);  // 512,000,000 / 30,000 = 17,066.67
    EXPECT_EQ(uint64_t{Csc(handle, 2)->timestamp}, 34133u);  // 34,133.33
    EXPECT_EQ(uint64_t{Csc(handle, 3)->timestamp}, 51200u);  // exact
}

TEST_F(SynthRecordingTest, GapsDelayEveryLaterRecordOfEveryChannel)
{
    options.samplesPerChannel = 2048;
    options.gaps = {{2, 1000000}, {3, 500}};
    Write();
    for (const char* name : {"CSC1.ocs", "CSC2.ocs"}) {
        const int handle = Open(name);
        EXPECT_EQ(uint64_t{Csc(handle, 0)->timestamp}, 12000000u);
        EXPECT_EQ(uint64_t{Csc(handle, 1)->timestamp}, 12016000u);
        EXPECT_EQ(uint64_t{Csc(handle, 2)->timestamp}, 13032000u);  // 12,032,000 + 1,000,000
        EXPECT_EQ(uint64_t{Csc(handle, 3)->timestamp}, 13048500u);  // 12,048,000 + 1,000,000 + 500
    }
}

TEST_F(SynthRecordingTest, StartOffsetShiftsOneChannel)
{
    options.channels[1].startOffsetUs = 62;
    Write();
    const int first = Open("CSC1.ocs");
    const int second = Open("CSC2.ocs");
    EXPECT_EQ(uint64_t{Csc(first, 0)->timestamp}, 12000000u);
    EXPECT_EQ(uint64_t{Csc(second, 0)->timestamp}, 12000062u);
    EXPECT_EQ(uint64_t{Csc(second, 2)->timestamp}, 12032062u);
}

TEST_F(SynthRecordingTest, HeadersCarryTheRecordingsValues)
{
    options.channels[0].name = "Left Hippocampus";
    options.channels[1].name = "Kan\xC3\xA4l";  // UTF-8 for "Kanäl"
    options.adMaxValue = 2047;
    options.inputRangeUv = 3000;
    options.timeCreated = "2021/12/31 23:59:58";
    Write();
    const int handle = Open("Left Hippocampus.ocs");
    EXPECT_EQ(Header(handle, L"-FileType"), Table({{L"CSC"}}));
    EXPECT_EQ(Header(handle, L"-SessionUUID"), Table({{L"3a1f3c66-8b0e-4b7e-9d3c-2f5b7c1d0e42"}}));
    EXPECT_EQ(Header(handle, L"-TimeCreated"), Table({{L"2021/12/31", L"23:59:58"}}));
    EXPECT_EQ(Header(handle, L"-AcqEntName"), Table({{L"Left Hippocampus"}}));
    EXPECT_EQ(Header(handle, L"-SamplingFrequency"), Table({{L"32000"}}));
    EXPECT_EQ(Header(handle, L"-ADMaxValue"), Table({{L"2047"}}));
    EXPECT_EQ(Header(handle, L"-InputRange"), Table({{L"3000"}}));

    EXPECT_EQ(Header(Open("Kan\xC3\xA4l.ocs"), L"-AcqEntName"), Table({{L"Kan\u00E4l"}}));

    const int events = Open("Events.oev");
    EXPECT_EQ(Header(events, L"-FileType"), Table({{L"Event"}}));
    EXPECT_EQ(Header(events, L"-SessionUUID"), Table({{L"3a1f3c66-8b0e-4b7e-9d3c-2f5b7c1d0e42"}}));
    EXPECT_EQ(Header(events, L"-TimeCreated"), Table({{L"2021/12/31", L"23:59:58"}}));
}

TEST_F(SynthRecordingTest, DefaultSessionUuidComesFromTheSeed)
{
    options.sessionUuid.clear();
    Write();
    const std::wstring uuid = Header(Open("CSC1.ocs"), L"-SessionUUID").at(0).at(0);
    ASSERT_EQ(uuid.size(), 36u);
    for (const size_t dash : {8u, 13u, 18u, 23u})
        EXPECT_EQ(uuid[dash], L'-');
    EXPECT_EQ(uuid[14], L'4');  // version 4
    EXPECT_EQ(Header(Open("CSC2.ocs"), L"-SessionUUID").at(0).at(0), uuid);
    EXPECT_EQ(Header(Open("Events.oev"), L"-SessionUUID").at(0).at(0), uuid);
    EXPECT_EQ(VareloSynth::SessionUuidFromSeed(1), VareloSynth::SessionUuidFromSeed(1));
    EXPECT_NE(VareloSynth::SessionUuidFromSeed(1), VareloSynth::SessionUuidFromSeed(2));
}

TEST_F(SynthRecordingTest, SamplesStayWithinTheADMaximumAndMove)
{
    options.adMaxValue = 1000;
    options.samplesPerChannel = 32000;  // one second
    Write();
    const int handle = Open("CSC1.ocs");
    int lowest = 0;
    int highest = 0;
    for (int index = 0; index < RecordCount(handle); ++index) {
        const CSCRecord* record = Csc(handle, index);
        for (uint32_t i = 0; i < record->numValidSamples; ++i) {
            ASSERT_LE(std::abs(record->samples[i]), 1000) << "record " << index << " sample " << i;
            lowest = std::min<int>(lowest, record->samples[i]);
            highest = std::max<int>(highest, record->samples[i]);
        }
    }
    EXPECT_GT(highest - lowest, 500);
}

TEST_F(SynthRecordingTest, EventsComeInTimeOrderAfterTheStartEvent)
{
    options.spreadEventCount = 3;
    options.events = {{12020000, "Stimulus"}, {11000000, "Before the first sample"}};
    Write();
    const std::vector<EventRecord> events = Events(Open("Events.oev"));
    ASSERT_EQ(events.size(), 6u);
    // Spread events sit at samples 325, 650 and 975 (1,300 × i / 4): record 0 sample 325
    // (325 × 31.25 µs = 10,156.25), record 1 sample 138 (4,312.5), record 1 sample 463 (14,468.75).
    const std::vector<std::pair<uint64_t, std::string>> expected = {
        {12000000, "Starting Recording"},
        {11000000, "Before the first sample"},
        {12010156, "TTL Input on port 0 value (0x0001)."},
        {12020000, "Stimulus"},
        {12020312, "TTL Input on port 0 value (0x0000)."},
        {12030468, "TTL Input on port 0 value (0x0001)."},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(uint64_t{events[i].timestamp}, expected[i].first) << "event " << i;
        EXPECT_EQ(std::string(events[i].eventText, strnlen(events[i].eventText, 128)), expected[i].second);
    }
}

TEST_F(SynthRecordingTest, EventTextOf128BytesHasNoNul)
{
    options.startEvent = false;
    options.events = {{5, std::string(130, 'e')}};
    Write();
    const std::vector<EventRecord> events = Events(Open("Events.oev"));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::string(events[0].eventText, 128), std::string(128, 'e'));
}

TEST_F(SynthRecordingTest, StartEventAndEventFileCanBeLeftOut)
{
    options.startEvent = false;
    options.spreadEventCount = 2;
    Write();
    const std::vector<EventRecord> events = Events(Open("Events.oev"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_STRNE(events[0].eventText, "Starting Recording");

    options.directory = dir.path / "quiet";
    options.writeEventFile = false;
    Write();
    EXPECT_FALSE(std::filesystem::exists(options.directory / "Events.oev"));
    EXPECT_TRUE(std::filesystem::exists(options.directory / "CSC2.ocs"));
}

TEST_F(SynthRecordingTest, RecordingWithoutChannelsHoldsOnlyTheEventFile)
{
    options.channels.clear();
    Write();
    const auto files = Files(options.directory);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].first, "Events.oev");
}

TEST_F(SynthRecordingTest, SameSeedGivesSameBytesAndAnotherSeedOthers)
{
    options.samplesPerChannel = 5000;
    options.spreadEventCount = 4;
    options.sessionUuid.clear();
    options.directory = dir.path / "a";
    Write();
    options.directory = dir.path / "b";
    Write();
    const auto first = Files(dir.path / "a");
    EXPECT_EQ(first.size(), 3u);
    EXPECT_EQ(first, Files(dir.path / "b"));

    options.seed = 2;
    options.directory = dir.path / "c";
    Write();
    const auto other = Files(dir.path / "c");
    ASSERT_EQ(other.size(), first.size());
    for (size_t i = 0; i < other.size(); ++i) {
        EXPECT_EQ(other[i].second.size(), first[i].second.size());
        EXPECT_NE(other[i].second, first[i].second) << other[i].first;  // samples and UUID differ
    }
}

TEST_F(SynthRecordingTest, RefusesToOverwriteAndWritesNothing)
{
    Write();
    const auto before = Files(options.directory);
    std::string error;
    EXPECT_EQ(VareloSynth::WriteSynthRecording(options, error), -1);
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (options.directory / "Events.oev").string() + ".");
    EXPECT_EQ(Files(options.directory), before);

    options.directory = dir.path / "partly";
    std::filesystem::create_directories(options.directory);
    WriteFileBytes(options.directory / "CSC2.ocs", {42});
    EXPECT_EQ(VareloSynth::WriteSynthRecording(options, error), -1);
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (options.directory / "CSC2.ocs").string() + ".");
    const auto left = Files(options.directory);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].second, std::vector<unsigned char>{42});
}

TEST_F(SynthRecordingTest, CreatesMissingDirectories)
{
    options.directory = dir.path / "a" / "b" / "c";
    Write();
    EXPECT_TRUE(std::filesystem::exists(options.directory / "CSC1.ocs"));
}

TEST_F(SynthRecordingTest, ChannelCanDisagreeWithTheRecording)
{
    options.channels[1].sessionUuid = "other-session";
    options.channels[1].samplingFrequencyHz = 30000;
    options.channels[1].omittedKeys = {"-InputRange", "-TimeCreated"};
    options.channels[0].extraHeaderLines = {"-InputRange 5", "-Note \"two words\""};
    Write();
    const int second = Open("CSC2.ocs");
    EXPECT_EQ(Header(second, L"-SessionUUID"), Table({{L"other-session"}}));
    EXPECT_EQ(Header(second, L"-SamplingFrequency"), Table({{L"30000"}}));
    EXPECT_TRUE(Header(second, L"-InputRange").empty());
    EXPECT_TRUE(Header(second, L"-TimeCreated").empty());
    EXPECT_EQ(Csc(second, 1)->sampleFrequency, 30000u);
    EXPECT_EQ(uint64_t{Csc(second, 1)->timestamp}, 12016000u);  // the timing stays the recording's

    const int first = Open("CSC1.ocs");
    EXPECT_EQ(Header(first, L"-InputRange"), Table({{L"1000"}, {L"5"}}));
    EXPECT_EQ(Header(first, L"-Note"), Table({{L"two words"}}));
}

TEST_F(SynthRecordingTest, DamagedChannelFiles)
{
    options.channels.resize(3);
    options.channels[0].truncatedTailBytes = 100;
    options.channels[1].missingTailRecords = 1;
    options.channels[2].corruptRecord = 1;
    Write();
    EXPECT_EQ(std::filesystem::file_size(options.directory / "CSC1.ocs"), 16384u + 3u * 1044u + 100u);
    EXPECT_EQ(RecordCount(Open("CSC1.ocs")), 3);
    EXPECT_EQ(RecordCount(Open("CSC2.ocs")), 2);

    const int third = Open("CSC3.ocs");
    void* data = nullptr;
    int count = 0;
    EXPECT_EQ(reader.GetDataFromIndex(third, 1, data, count), OrvDataTypes::OrvCorruptRecord);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Corrupt record 1 in file " + (options.directory / "CSC3.ocs").wstring() +
                                                L": it claims 513 valid samples, more than 512.");
    EXPECT_EQ(uint64_t{Csc(third, 2)->timestamp}, 12032000u);
}

TEST_F(SynthRecordingTest, UnusableOptionsAreRefusedBeforeAnythingIsWritten)
{
    const auto refused = [this](const VareloSynth::SynthOptions& bad, const std::string& expected) {
        std::string error;
        EXPECT_EQ(VareloSynth::WriteSynthRecording(bad, error), -1);
        EXPECT_EQ(error, expected);
        EXPECT_FALSE(std::filesystem::exists(options.directory));
    };
    VareloSynth::SynthOptions bad = options;
    bad.samplingFrequencyHz = 0;
    refused(bad, "The sampling frequency must be a positive number of Hz.");

    bad = options;
    bad.channels[1].name = "CSC1";
    refused(bad, "Two channels are named CSC1.");

    bad = options;
    bad.channels[0].name = "../escape";
    refused(bad, "Unusable channel name \"../escape\": it must be a file name without '/' or '\"' whose characters "
                 "ISO 8859-1 holds.");

    bad = options;
    bad.channels[0].truncatedTailBytes = 1044;
    refused(bad, "Channel CSC1: a truncated tail must be shorter than one record (1044 bytes).");

    bad = options;
    bad.channels[1].corruptRecord = 3;
    refused(bad, "Channel CSC2: the corrupt record 3 lies beyond its 3 records.");

    bad = options;
    bad.firstTimestampUs = UINT64_MAX - 10;
    refused(bad, "The recording's timestamps would run past the largest 64-bit value.");
}

}  // namespace
