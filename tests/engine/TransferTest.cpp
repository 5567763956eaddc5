// Whole conversions read back with the test parser: aligned samples, segments, annotations and
// start dates.
#include "edf/EdfFileEngine.h"
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;
using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;

namespace {

constexpr uint64_t july5th2017 = 1499248800ull * 1000000;  // 2017-07-05 10:00:00 UTC, µs
constexpr int frequency = 1000;  // 1 ms between samples: at most 15 channels fit one-second records

EdfFile Parse(const std::filesystem::path& path)
{
    EdfFile file;
    std::string error;
    EXPECT_TRUE(ParseEdfFile(path, file, error)) << path << ": " << error;
    return file;
}

std::vector<int16_t> Ramp(int16_t first, size_t count, size_t paddedTo)
{
    std::vector<int16_t> samples(paddedTo, 0);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<int16_t>(first + static_cast<int>(i));
    return samples;
}

std::vector<std::string> TalTexts(const EdfFile& file)
{
    std::vector<std::string> texts;
    for (const EdfTal& tal : file.annotations) {
        for (const std::string& text : tal.texts)
            texts.push_back(tal.onset + " " + text);
    }
    return texts;
}

std::vector<CscRecord> Concatenated(std::vector<CscRecord> a, const std::vector<CscRecord>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(EngineTest, ChannelsAreAlignedAtTheirFirstCommonInstant)
{
    Channel first;
    Channel second;
    second.name = "CSC2";
    second.inputRange = "500";
    second.adMaxValue = "2047";
    // Channel 2 starts two samples later and holds 2,400 samples: 2,400 instants in common.
    const std::wstring a = WriteChannel(first, ContinuousRecords(july5th2017, frequency, 2500, 0));
    const std::wstring b = WriteChannel(second, ContinuousRecords(july5th2017 + 2000, frequency, 2400, 1000));
    const std::wstring events = WriteEvents({
        {july5th2017, "Starting Recording"},        // before the first common instant
        {july5th2017 + 2000 + 500000, "Stimulus"},  // 0.5 s in: onset 5,000
        {july5th2017 + 10000000, "Late"},           // after the last instant
    });
    ASSERT_EQ(Convert(events, {a, b}), 0);
    ASSERT_EQ(EdfFilesWritten(), std::vector<std::string>{"DevOutput.edf"});

    const EdfFile edf = Parse(dir.path / "DevOutput.edf");
    EXPECT_EQ(edf.recordCount, 3);  // 2,400 instants in records of 1,000
    EXPECT_EQ(edf.recordDuration, "1");
    EXPECT_EQ(edf.startDate, "05.07.17");
    EXPECT_EQ(edf.startTime, "10.00.00");
    ASSERT_EQ(edf.signals.size(), 3u);
    EXPECT_EQ(edf.signals[0].label, "CSC1");
    EXPECT_EQ(edf.signals[1].label, "CSC2");
    EXPECT_EQ(edf.signals[1].physicalMinimum, "-500");
    EXPECT_EQ(edf.signals[1].physicalMaximum, "500");
    EXPECT_EQ(edf.signals[1].digitalMinimum, -2048);
    EXPECT_EQ(edf.signals[1].digitalMaximum, 2047);
    EXPECT_EQ(edf.signals[0].samplesPerRecord, 1000);
    // Channel 1's samples 0 and 1 are dropped; the last record is padded with zeros. Channel 2's
    // ramp from 1,000 is clamped at its digital maximum 2,047.
    EXPECT_EQ(edf.samplesPerSignal[0], Ramp(2, 2400, 3000));
    std::vector<int16_t> clamped = Ramp(1000, 2400, 3000);
    for (size_t i = 0; i < 2400; ++i)
        clamped[i] = std::min<int16_t>(clamped[i], 2047);
    EXPECT_EQ(edf.samplesPerSignal[1], clamped);
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts", "+0.5000 Stimulus",
                                                       "+2.3990 Recording ends"}));
}

TEST_F(EngineTest, GapsSplitTheRecordingIntoNumberedFiles)
{
    // Three stretches 10 s apart, each long enough for three records (and three annotations).
    const uint64_t starts[] = {july5th2017, july5th2017 + 10000000, july5th2017 + 20000000};
    const size_t lengths[] = {2500, 2100, 2048};
    std::vector<CscRecord> records;
    for (int s = 0; s < 3; ++s)
        records = Concatenated(records, ContinuousRecords(starts[s], frequency, lengths[s], static_cast<int16_t>(s * 100)));
    const std::wstring csc = WriteChannel(Channel{}, records);
    const std::wstring events = WriteEvents({
        {starts[0] + 1000000, "first"},
        {starts[1] - 3000000, "in the gap"},
        {starts[1], "second"},  // at the segment's first instant: onset 0
        {starts[2] + 2047000, "third"},  // at the last instant: written before "Recording ends"
    });
    ASSERT_EQ(Convert(events, {csc}), 0);
    ASSERT_EQ(EdfFilesWritten(), (std::vector<std::string>{"DevOutput.edf", "DevOutput_01.edf",
                                                           "DevOutput_01_01.edf"}));
    EXPECT_TRUE(HasMessage(OrvLogging::Notice, L"EDF File Opened Successfully: " + PathOf("DevOutput_01_01.edf")));

    const EdfFile one = Parse(dir.path / "DevOutput.edf");
    const EdfFile two = Parse(dir.path / "DevOutput_01.edf");
    const EdfFile three = Parse(dir.path / "DevOutput_01_01.edf");
    EXPECT_EQ(one.startTime, "10.00.00");
    EXPECT_EQ(two.startTime, "10.00.10");
    EXPECT_EQ(three.startTime, "10.00.20");
    EXPECT_EQ(one.samplesPerSignal[0], Ramp(0, 2500, 3000));
    EXPECT_EQ(two.samplesPerSignal[0], Ramp(100, 2100, 3000));
    EXPECT_EQ(three.samplesPerSignal[0], Ramp(200, 2048, 3000));
    EXPECT_EQ(TalTexts(one), (std::vector<std::string>{"+0 Recording starts", "+1 first", "+2.4990 Recording ends"}));
    EXPECT_EQ(TalTexts(two), (std::vector<std::string>{"+0 Recording starts", "+0 second", "+2.0990 Recording ends"}));
    EXPECT_EQ(TalTexts(three), (std::vector<std::string>{"+0 Recording starts", "+2.0470 third",
                                                         "+2.0470 Recording ends"}));
}

TEST_F(EngineTest, StepBackInTimeStartsANewFile)
{
    std::vector<CscRecord> records = Concatenated(ContinuousRecords(july5th2017 + 5000000, frequency, 1024, 0),
                                                  ContinuousRecords(july5th2017, frequency, 512, 0));
    ASSERT_EQ(Convert(L"", {WriteChannel(Channel{}, records)}), 0);
    EXPECT_EQ(EdfFilesWritten(), (std::vector<std::string>{"DevOutput.edf", "DevOutput_01.edf"}));
    EXPECT_EQ(Parse(dir.path / "DevOutput_01.edf").startTime, "10.00.00");
}

TEST_F(EngineTest, EarlyTimestampsTakeTheStartDateFromTheHeader)
{
    Channel channel;
    channel.timeCreated = "2009/12/31 23:59:58";
    ASSERT_EQ(Convert(L"", {WriteChannel(channel, ContinuousRecords(1000000, frequency, 1000, 0))}), 0);
    const EdfFile edf = Parse(dir.path / "DevOutput.edf");
    EXPECT_EQ(edf.startDate, "31.12.09");
    EXPECT_EQ(edf.startTime, "23.59.58");
    EXPECT_EQ(edf.recordCount, 1);  // exactly one full record: no padded one after it
}

TEST_F(EngineTest, ChannelsThatNeverMeetGiveAFileWithoutSamples)
{
    Channel second;
    second.name = "CSC2";
    const std::wstring a = WriteChannel(Channel{}, ContinuousRecords(july5th2017, frequency, 600, 0));
    const std::wstring b = WriteChannel(second, ContinuousRecords(july5th2017 + 500, frequency, 600, 0));
    ASSERT_EQ(Convert(L"", {a, b}), 0);
    const EdfFile edf = Parse(dir.path / "DevOutput.edf");
    // Each annotation gets a data record of its own, so that none of them is lost.
    EXPECT_EQ(edf.recordCount, 2);
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts", "+0 Recording ends"}));
}

TEST_F(EngineTest, EmptyRecordsArePassedOver)
{
    std::vector<CscRecord> records = ContinuousRecords(july5th2017, frequency, 1000, 0);
    CscRecord empty;
    empty.timestamp = july5th2017 + 512000;
    records.insert(records.begin() + 1, empty);
    ASSERT_EQ(Convert(L"", {WriteChannel(Channel{}, records)}), 0);
    const EdfFile edf = Parse(dir.path / "DevOutput.edf");
    EXPECT_EQ(EdfFilesWritten(), std::vector<std::string>{"DevOutput.edf"});
    EXPECT_EQ(edf.samplesPerSignal[0], Ramp(0, 1000, 1000));
}

TEST_F(EngineTest, CorruptRecordFailsWithTheReadersTextAndKeepsEarlierFiles)
{
    std::vector<CscRecord> records = Concatenated(ContinuousRecords(july5th2017, frequency, 3000, 0),
                                                  ContinuousRecords(july5th2017 + 10000000, frequency, 1024, 0));
    records[7].validSamples = 513;  // in the second stretch
    ASSERT_EQ(Convert(L"", {WriteChannel(Channel{}, records)}), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_NE(messages.back().text.find(PathOf("CSC1.ocs")), std::wstring::npos);
    // The first stretch was finished before the corrupt record was reached.
    EXPECT_EQ(Parse(dir.path / "DevOutput.edf").samplesPerSignal[0], Ramp(0, 3000, 3000));
}

TEST_F(EngineTest, FailedConversionsLeaveNoFileOpenInTheEdfEngine)
{
    // The EDF file engine's table holds 64 files for the whole process: a conversion that fails
    // with its output file open must not keep that slot, or conversions stop working after 64
    // failures. The lowest free slot is given out first, so slot 0 must be free afterwards.
    const auto expectTableEmpty = [&](const char* after) {
        const int probe = EdfOpenFile((dir.path / "probe.edf").c_str(), 0);
        EXPECT_EQ(probe, 0) << after;
        EXPECT_EQ(EdfCloseFile(probe), 0) << after;
        std::filesystem::remove(dir.path / "probe.edf");
    };

    Channel refused;
    refused.adMaxValue = "40000";  // the writer refuses the digital maximum: the header checks fail
    ASSERT_EQ(Convert(L"", {WriteChannel(refused, ContinuousRecords(july5th2017, frequency, 1000, 0))}), -1);
    EXPECT_EQ(messages.back().text, L"Error writing digital maximum header value");
    expectTableEmpty("refused parameters");

    std::vector<CscRecord> records = ContinuousRecords(july5th2017, frequency, 3000, 0);
    records[3].validSamples = 513;  // after one whole data record of 1,000 samples
    ASSERT_EQ(Convert(L"", {WriteChannel(Channel{}, records)}), -1);
    expectTableEmpty("a corrupt record");
    // the file that was open keeps the data record that reached it
    EXPECT_EQ(Parse(dir.path / "DevOutput_01.edf").samplesPerSignal[0], Ramp(0, 1000, 1000));
}

TEST_F(EngineTest, TruncatedLastRecordIsIgnored)
{
    const std::wstring csc = WriteChannel(Channel{}, ContinuousRecords(july5th2017, frequency, 1024, 0));
    std::vector<unsigned char> bytes = ReadFileBytes(dir.path / "CSC1.ocs");
    bytes.resize(bytes.size() - 500);  // half of the second record
    WriteFileBytes(dir.path / "CSC1.ocs", bytes);
    ASSERT_EQ(Convert(L"", {csc}), 0);
    EXPECT_EQ(Parse(dir.path / "DevOutput.edf").samplesPerSignal[0], Ramp(0, 512, 1000));
}

TEST_F(EngineTest, EventTextsWithoutNulStopAtTheirField)
{
    const std::string full(128, 'x');  // fills the field: no NUL
    const std::wstring csc = WriteChannel(Channel{}, ContinuousRecords(july5th2017, frequency, 3000, 0));
    ASSERT_EQ(Convert(WriteEvents({{july5th2017 + 1000, full}}), {csc}), 0);
    const EdfFile edf = Parse(dir.path / "DevOutput.edf");
    ASSERT_EQ(edf.annotations.size(), 3u);
    ASSERT_EQ(edf.annotations[1].texts.size(), 1u);
    EXPECT_EQ(edf.annotations[1].texts[0], std::string(40, 'x'));  // the file keeps 40 bytes of a text
}

TEST_F(EngineTest, ExistingOutputIsNeverOverwritten)
{
    WriteFileBytes(dir.path / "DevOutput.edf", {'o', 'l', 'd'});
    ASSERT_EQ(Convert(L"", {WriteChannel(Channel{}, ContinuousRecords(july5th2017, frequency, 1000, 0))}), 0);
    EXPECT_EQ(ReadFileBytes(dir.path / "DevOutput.edf"), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(EdfFilesWritten(), (std::vector<std::string>{"DevOutput.edf", "DevOutput_01.edf"}));
}
