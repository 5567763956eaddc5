#include "synth/SynthRecording.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
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
using Files = std::vector<std::pair<std::string, std::vector<unsigned char>>>;

class SynthRecordingTest : public ::testing::Test {
protected:
    SynthRecordingTest()
    {
        options.directory = dir.path / "missing" / "rec";  // directories are created as needed
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

    // Every event of the event file as "timestamp text".
    std::vector<std::string> Events()
    {
        const int handle = Open("Events.oev");
        std::vector<std::string> events;
        for (int index = 0; index < RecordCount(handle); ++index) {
            void* data = nullptr;
            int count = 0;
            EXPECT_EQ(reader.GetDataFromIndex(handle, index, data, count), 0);
            const auto* event = static_cast<const EventRecord*>(data);
            events.push_back(std::to_string(uint64_t{event->timestamp}) + " "
                             + std::string(event->eventText, strnlen(event->eventText, 128)));
        }
        return events;
    }

    Table Header(int handle, const std::wstring& key)
    {
        Table values;
        EXPECT_EQ(reader.GetHeaderMetaData(handle, key, values), 0);
        return values;
    }

    // Every file of a directory with its bytes, by name.
    static Files FilesIn(const std::filesystem::path& directory)
    {
        Files files;
        for (const auto& entry : std::filesystem::directory_iterator(directory))
            files.emplace_back(entry.path().filename().string(), ReadFileBytes(entry.path()));
        std::sort(files.begin(), files.end());
        return files;
    }

    TempDir dir;
    VareloSynth::SynthOptions options;
    Velquor::OrvFileIO reader;
};

TEST_F(SynthRecordingTest, RecordsFollowTheAcquisitionClockWithGapsAndOffsets)
{
    options.samplesPerChannel = 2000;  // records of 512, 512, 512 and 464 samples
    options.gaps = {{2, 1000000}, {3, 500}};
    options.channels[1].startOffsetUs = 62;
    Write();
    EXPECT_EQ(std::filesystem::file_size(options.directory / "CSC1.ocs"), 16384u + 4u * 1044u);
    for (const uint32_t channel : {0u, 1u}) {
        SCOPED_TRACE(channel);
        const int handle = Open("CSC" + std::to_string(channel + 1) + ".ocs");
        ASSERT_EQ(RecordCount(handle), 4);
        // 512 samples at 32 kHz last 16,000 µs; the gaps come before records 2 and 3.
        const uint64_t starts[] = {12000000, 12016000, 13032000, 13048500};
        for (int index = 0; index < 4; ++index) {
            EXPECT_EQ(uint64_t{Csc(handle, index)->timestamp}, starts[index] + 62 * channel) << index;
            EXPECT_EQ(Csc(handle, index)->numValidSamples, index < 3 ? 512u : 464u) << index;
        }
        EXPECT_EQ(Csc(handle, 3)->channelNumber, channel);
        EXPECT_EQ(Csc(handle, 3)->sampleFrequency, 32000u);
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
    EXPECT_EQ(uint64_t{Csc(handle, 1)->timestamp}, 17066u);  // 512,000,000 / 30,000 = 17,066.67
    EXPECT_EQ(uint64_t{Csc(handle, 2)->timestamp}, 34133u);  // 34,133.33
    EXPECT_EQ(uint64_t{Csc(handle, 3)->timestamp}, 51200u);  // exact
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

TEST_F(SynthRecordingTest, EventsComeInTimeOrderAfterTheStartEvent)
{
    options.spreadEventCount = 3;
    options.events = {{12020000, "Stimulus"}, {11000000, "Before the first sample"}};
    Write();
    // Spread events sit at samples 325, 650 and 975 (1,300 × i / 4): record 0 sample 325
    // (325 × 31.25 µs = 10,156.25), record 1 sample 138 (4,312.5), record 1 sample 463 (14,468.75).
    EXPECT_EQ(Events(), (std::vector<std::string>{
                            "12000000 Starting Recording",
                            "11000000 Before the first sample",
                            "12010156 TTL Input on port 0 value (0x0001).",
                            "12020000 Stimulus",
                            "12020312 TTL Input on port 0 value (0x0000).",
                            "12030468 TTL Input on port 0 value (0x0001).",
                        }));
}

TEST_F(SynthRecordingTest, StartEventAndEventFileCanBeLeftOut)
{
    options.startEvent = false;
    options.events = {{5, std::string(130, 'e')}};  // cut to the 128-byte field, without a NUL
    Write();
    EXPECT_EQ(Events(), std::vector<std::string>{"5 " + std::string(128, 'e')});

    options.directory = dir.path / "quiet";
    options.writeEventFile = false;
    Write();
    EXPECT_FALSE(std::filesystem::exists(options.directory / "Events.oev"));
    EXPECT_TRUE(std::filesystem::exists(options.directory / "CSC2.ocs"));
}

TEST_F(SynthRecordingTest, SameSeedGivesSameBytesAndAnotherSeedOthers)
{
    options.samplesPerChannel = 5000;
    options.spreadEventCount = 4;
    options.sessionUuid.clear();  // drawn from the seed
    for (const char* name : {"a", "b"}) {
        options.directory = dir.path / name;
        Write();
    }
    const Files first = FilesIn(dir.path / "a");
    EXPECT_EQ(first.size(), 3u);
    EXPECT_EQ(first, FilesIn(dir.path / "b"));
    const std::wstring uuid = Header(Open("CSC1.ocs"), L"-SessionUUID").at(0).at(0);
    EXPECT_EQ(uuid, OrvText::Utf8ToWide(VareloSynth::SessionUuidFromSeed(1)));
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_EQ(uuid[14], L'4');  // version 4
    EXPECT_EQ(Header(Open("Events.oev"), L"-SessionUUID").at(0).at(0), uuid);

    options.seed = 2;
    options.directory = dir.path / "c";
    Write();
    const Files other = FilesIn(dir.path / "c");
    ASSERT_EQ(other.size(), first.size());
    for (size_t i = 0; i < other.size(); ++i) {
        EXPECT_EQ(other[i].second.size(), first[i].second.size());
        EXPECT_NE(other[i].second, first[i].second) << other[i].first;  // samples and UUID differ
    }
}

TEST_F(SynthRecordingTest, RefusesToOverwriteAndWritesNothing)
{
    Write();
    const Files before = FilesIn(options.directory);
    std::string error;
    EXPECT_EQ(VareloSynth::WriteSynthRecording(options, error), -1);
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (options.directory / "Events.oev").string() + ".");
    EXPECT_EQ(FilesIn(options.directory), before);

    options.directory = dir.path / "partly";
    std::filesystem::create_directories(options.directory);
    WriteFileBytes(options.directory / "CSC2.ocs", {42});
    EXPECT_EQ(VareloSynth::WriteSynthRecording(options, error), -1);
    EXPECT_EQ(error, "Refusing to overwrite existing file " + (options.directory / "CSC2.ocs").string() + ".");
    EXPECT_EQ(FilesIn(options.directory), (Files{{"CSC2.ocs", {42}}}));
}

TEST_F(SynthRecordingTest, ChannelsCanDisagreeWithTheRecordingOrBeDamaged)
{
    options.channels.resize(4);
    options.channels[0].extraHeaderLines = {"-InputRange 5", "-Note \"two words\""};
    options.channels[0].truncatedTailBytes = 100;
    options.channels[1].sessionUuid = "other-session";
    options.channels[1].samplingFrequencyHz = 30000;
    options.channels[1].omittedKeys = {"-InputRange", "-TimeCreated"};
    options.channels[2].missingTailRecords = 1;
    options.channels[3].corruptRecord = 1;
    Write();
    const int first = Open("CSC1.ocs");
    EXPECT_EQ(Header(first, L"-InputRange"), Table({{L"1000"}, {L"5"}}));
    EXPECT_EQ(Header(first, L"-Note"), Table({{L"two words"}}));
    EXPECT_EQ(std::filesystem::file_size(options.directory / "CSC1.ocs"), 16384u + 3u * 1044u + 100u);
    EXPECT_EQ(RecordCount(first), 3);

    const int second = Open("CSC2.ocs");
    EXPECT_EQ(Header(second, L"-SessionUUID"), Table({{L"other-session"}}));
    EXPECT_EQ(Header(second, L"-SamplingFrequency"), Table({{L"30000"}}));
    EXPECT_TRUE(Header(second, L"-InputRange").empty());
    EXPECT_TRUE(Header(second, L"-TimeCreated").empty());
    EXPECT_EQ(Csc(second, 1)->sampleFrequency, 30000u);
    EXPECT_EQ(uint64_t{Csc(second, 1)->timestamp}, 12016000u);  // the timing stays the recording's

    EXPECT_EQ(RecordCount(Open("CSC3.ocs")), 2);

    const int fourth = Open("CSC4.ocs");
    void* data = nullptr;
    int count = 0;
    EXPECT_EQ(reader.GetDataFromIndex(fourth, 1, data, count), OrvDataTypes::OrvCorruptRecord);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Corrupt record 1 in file " + (options.directory / "CSC4.ocs").wstring()
                                                + L": it claims 513 valid samples, more than 512.");
    EXPECT_EQ(uint64_t{Csc(fourth, 2)->timestamp}, 12032000u);
}

TEST_F(SynthRecordingTest, UnusableOptionsAreRefusedBeforeAnythingIsWritten)
{
    using Options = VareloSynth::SynthOptions;
    const std::pair<std::function<void(Options&)>, std::string> cases[] = {
        {[](Options& o) { o.samplingFrequencyHz = 0; }, "The sampling frequency must be a positive number of Hz."},
        {[](Options& o) { o.channels[1].name = "CSC1"; }, "Two channels are named CSC1."},
        {[](Options& o) { o.channels[0].name = "../escape"; },
         "Unusable channel name \"../escape\": it must be a file name without '/' or '\"' whose characters "
         "ISO 8859-1 holds."},
        {[](Options& o) { o.channels[0].truncatedTailBytes = 1044; },
         "Channel CSC1: a truncated tail must be shorter than one record (1044 bytes)."},
        {[](Options& o) { o.channels[1].corruptRecord = 3; },
         "Channel CSC2: the corrupt record 3 lies beyond its 3 records."},
        {[](Options& o) { o.firstTimestampUs = UINT64_MAX - 10; },
         "The recording's timestamps would run past the largest 64-bit value."},
    };
    for (const auto& [spoil, expected] : cases) {
        SCOPED_TRACE(expected);
        Options bad = options;
        spoil(bad);
        std::string error;
        EXPECT_EQ(VareloSynth::WriteSynthRecording(bad, error), -1);
        EXPECT_EQ(error, expected);
        EXPECT_FALSE(std::filesystem::exists(dir.path / "missing"));
    }
}

}  // namespace
