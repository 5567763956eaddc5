// Whole conversions read back with the test parser: aligned samples, segments, annotations and
// start dates. The transfer takes whole runs of instants at once while all channels stand at the
// same place of records with one timestamp; cases that leave that steady state in mid-record must
// come out exactly as sample-by-sample alignment gives them.
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;
using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;

namespace {

constexpr int frequency = 1000;  // 1 ms between samples: at most 15 channels fit one-second records

std::vector<CscRecord> Concatenated(std::vector<CscRecord> a, const std::vector<CscRecord>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Each segment's samples, channel by channel, as the sample-by-sample steps take them from these
// records: read every channel's next sample, read the one that lags until all agree in time, and
// start a segment at the first instant and wherever instants lie more than 1.5 intervals apart.
using Segments = std::vector<std::vector<std::vector<int16_t>>>;
Segments SampleBySample(const std::vector<std::vector<CscRecord>>& channels, int rate)
{
    struct Cursor {
        size_t record = 0;
        uint32_t index = 0;
        int16_t sample = 0;
        uint64_t timestamp = 0;
    };
    const double interval = 1000000.0 / rate;
    std::vector<Cursor> cursors(channels.size());
    const auto read = [&](size_t c) {
        Cursor& cursor = cursors[c];
        while (cursor.record < channels[c].size() && channels[c][cursor.record].validSamples == 0)
            ++cursor.record;  // an empty record holds no instant
        if (cursor.record >= channels[c].size())
            return false;
        const CscRecord& record = channels[c][cursor.record];
        cursor.sample = record.samples[cursor.index];
        cursor.timestamp = record.timestamp + static_cast<uint64_t>(static_cast<double>(cursor.index) * interval);
        if (++cursor.index >= record.validSamples) {
            ++cursor.record;
            cursor.index = 0;
        }
        return true;
    };
    Segments segments;
    uint64_t last = 0;
    for (;;) {
        for (size_t c = 0; c < channels.size(); ++c)
            if (!read(c))
                return segments;
        for (;;) {
            const auto differing = std::find_if(cursors.begin() + 1, cursors.end(),
                                                [&](const Cursor& k) { return k.timestamp != cursors[0].timestamp; });
            if (differing == cursors.end())
                break;
            const size_t lagging = cursors[0].timestamp < differing->timestamp ? 0 : differing - cursors.begin();
            if (!read(lagging))
                return segments;
        }
        const uint64_t t = cursors[0].timestamp;
        if (last == 0 || static_cast<double>(t - last) > 1.5 * interval)
            segments.emplace_back(channels.size());
        last = t;
        for (size_t c = 0; c < channels.size(); ++c)
            segments.back()[c].push_back(cursors[c].sample);
    }
}

}  // namespace

TEST_F(EngineTest, EverySegmentHoldsWhatSampleBySampleAlignmentGives)
{
    struct Case {
        std::string what;
        int rate;
        std::vector<std::vector<CscRecord>> channels;
        size_t files;  // 0: several, split where single samples drop out
    };
    std::vector<Case> cases;
    // With intervals that are no whole number of microseconds, channels whose records start some
    // samples apart agree only where their truncated offsets line up: the runs must end exactly
    // where sample-by-sample alignment drops a sample. Rate and how far apart the channels start:
    // in step at every sample (32 kHz, 125 and 1,000 µs), in step but for a sample now and then
    // (30 kHz, 100 and 200 µs), or in step for runs of a few samples to a few hundred (24 kHz, 125 µs).
    const std::tuple<int, uint64_t, size_t> apart[] = {
        {32000, 125, 1}, {32000, 1000, 1}, {30000, 100, 0}, {30000, 200, 0}, {24000, 125, 50}};
    for (const auto& [rate, apartUs, files] : apart)
        cases.push_back({std::to_string(rate) + " Hz, " + std::to_string(apartUs) + " us apart",
                         rate,
                         {ContinuousRecords(july5th2017, rate, 3000, 0),
                          ContinuousRecords(july5th2017 + apartUs, rate, 3000, 10000),
                          ContinuousRecords(july5th2017 + 2 * apartUs, rate, 2900, 20000)},
                         files});
    // At 800 kHz a sample lies floor(i × 1.25) µs into its record: 0, 1, 2, 3, 5, 6, 7, 8, 10.
    // Steps of 2 µs exceed 1.5 intervals (1.875 µs), so instants 0-3, 4-7 and 8 are three files.
    const CscRecord nine{july5th2017, 9, {0, 1, 2, 3, 4, 5, 6, 7, 8}};
    cases.push_back({"steps inside a record", 800000, {{nine}, {nine}}, 3});
    // Channel 2 holds the same instants in records of 200 samples, so its records begin where
    // channel 1's are in mid-record.
    std::vector<CscRecord> shortRecords;
    for (uint32_t first = 0; first < 1500; first += 200)
        shortRecords.push_back(ContinuousRecords(july5th2017 + first * 1000, frequency, 200, 5000 + first)[0]);
    shortRecords.back().validSamples = 100;
    cases.push_back(
        {"records of other lengths", frequency, {ContinuousRecords(july5th2017, frequency, 1500, 0), shortRecords}, 1});
    // Both channels' second records begin at sample 512, but channel 2's 100 ms late: the
    // instants in common resume at 612 ms, in a file of their own.
    cases.push_back({"a record late in one channel",
                     frequency,
                     {ContinuousRecords(july5th2017, frequency, 1024, 0),
                      Concatenated(ContinuousRecords(july5th2017, frequency, 512, 5000),
                                   ContinuousRecords(july5th2017 + 612000, frequency, 512, 6000))},
                     2});
    std::vector<CscRecord> withEmpty = ContinuousRecords(july5th2017, frequency, 1000, 0);
    withEmpty.insert(withEmpty.begin() + 1, CscRecord{july5th2017 + 512000, 0, {}});
    cases.push_back({"an empty record", frequency, {withEmpty}, 1});
    cases.push_back({"the highest rate, 1 us apart", 1000000, {ContinuousRecords(july5th2017, 1000000, 1536, 0)}, 1});
    // The clock passes UINT64_MAX 100 samples in; unsigned arithmetic keeps the instants 1 ms apart.
    cases.push_back({"a clock that wraps", frequency, {ContinuousRecords(UINT64_MAX - 99000, frequency, 1536, 0)}, 1});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmptyDirectory();
        std::vector<std::wstring> files;
        for (size_t i = 0; i < c.channels.size(); ++i) {
            Channel channel = Named("CSC" + std::to_string(i + 1));
            channel.samplingFrequency = std::to_string(c.rate);
            files.push_back(WriteChannel(channel, c.channels[i]));
        }
        ASSERT_EQ(Convert(L"", files), 0);
        const Segments expected = SampleBySample(c.channels, c.rate);
        const std::vector<std::string> written = EdfFilesWritten();
        if (c.files == 0)
            EXPECT_GT(expected.size(), 1u);
        else
            EXPECT_EQ(expected.size(), c.files);
        ASSERT_EQ(written.size(), expected.size());
        for (size_t f = 0; f < written.size(); ++f) {
            const EdfFile edf = ParsedOutput(written[f]);
            for (size_t i = 0; i < c.channels.size(); ++i) {
                // the segment's samples, then zeros to the end of its last data record
                const auto perRecord = static_cast<size_t>(edf.signals.at(i).samplesPerRecord);
                std::vector<int16_t> padded = expected[f][i];
                padded.resize((padded.size() + perRecord - 1) / perRecord * perRecord, 0);
                EXPECT_EQ(edf.samplesPerSignal.at(i), padded) << written[f] << ", channel " << i + 1;
            }
        }
    }
}

TEST_F(EngineTest, ChannelsAreAlignedAtTheirFirstCommonInstant)
{
    Channel second = Named("CSC2");
    second.inputRange = "500";
    second.adMaxValue = "2047";
    // Channel 2 starts two samples later and holds 2,400 samples: 2,400 instants in common.
    const std::wstring a = WriteChannel(Channel{}, ContinuousRecords(july5th2017, frequency, 2500, 0));
    const std::wstring b = WriteChannel(second, ContinuousRecords(july5th2017 + 2000, frequency, 2400, 1000));
    const std::wstring events = WriteEvents({
        {july5th2017, "Starting Recording"},        // before the first common instant
        {july5th2017 + 2000 + 500000, "Stimulus"},  // 0.5 s in: onset 5,000
        {july5th2017 + 10000000, "Late"},           // after the last instant
    });
    ASSERT_EQ(Convert(events, {a, b}), 0);
    const EdfFile edf = ParsedOutput();
    EXPECT_EQ(edf.recordCount, 3);  // 2,400 instants in records of 1,000
    EXPECT_EQ(edf.signals.at(1).physicalMinimum, "-500");
    EXPECT_EQ(edf.signals.at(1).digitalMinimum, -2048);
    EXPECT_EQ(edf.signals.at(1).digitalMaximum, 2047);
    // Channel 1's samples 0 and 1 are dropped; the last record is padded with zeros. Channel 2's
    // ramp from 1,000 is clamped at its digital maximum 2,047.
    EXPECT_EQ(edf.samplesPerSignal.at(0), Ramp(2, 2400, 3000));
    std::vector<int16_t> clamped = Ramp(1000, 2400, 3000);
    for (size_t i = 0; i < 2400; ++i)
        clamped[i] = std::min<int16_t>(clamped[i], 2047);
    EXPECT_EQ(edf.samplesPerSignal.at(1), clamped);
    EXPECT_EQ(TalTexts(edf),
              (std::vector<std::string>{"+0 Recording starts", "+0.5000 Stimulus", "+2.3990 Recording ends"}));
}

TEST_F(EngineTest, GapsSplitTheRecordingIntoNumberedFiles)
{
    // Three stretches 10 s apart, each long enough for three records (and three annotations).
    const uint64_t starts[] = {july5th2017, july5th2017 + 10000000, july5th2017 + 20000000};
    const size_t lengths[] = {2500, 2100, 2048};
    std::vector<CscRecord> records;
    for (int s = 0; s < 3; ++s)
        records = Concatenated(records, ContinuousRecords(starts[s], frequency, lengths[s], s * 100));
    const std::wstring csc = WriteChannel(Channel{}, records);
    const std::wstring events = WriteEvents({
        {starts[0] + 1000000, "first"},
        {starts[1] - 3000000, "in the gap"},
        {starts[1], "second"},           // at the segment's first instant: onset 0
        {starts[2] + 2047000, "third"},  // at the last instant: written before "Recording ends"
    });
    ASSERT_EQ(Convert(events, {csc}), 0);
    ASSERT_EQ(EdfFilesWritten(),
              (std::vector<std::string>{"DevOutput.edf", "DevOutput_01.edf", "DevOutput_01_01.edf"}));

    const EdfFile one = ParsedOutput("DevOutput.edf");
    const EdfFile two = ParsedOutput("DevOutput_01.edf");
    const EdfFile three = ParsedOutput("DevOutput_01_01.edf");
    EXPECT_EQ(one.startTime, "10.00.00");
    EXPECT_EQ(two.startTime, "10.00.10");
    EXPECT_EQ(three.startTime, "10.00.20");
    EXPECT_EQ(TalTexts(one), (std::vector<std::string>{"+0 Recording starts", "+1 first", "+2.4990 Recording ends"}));
    EXPECT_EQ(TalTexts(two), (std::vector<std::string>{"+0 Recording starts", "+0 second", "+2.0990 Recording ends"}));
    EXPECT_EQ(TalTexts(three),
              (std::vector<std::string>{"+0 Recording starts", "+2.0470 third", "+2.0470 Recording ends"}));
}

TEST_F(EngineTest, TimestampsBefore2011TakeTheStartDateFromTheHeader)
{
    // Timestamps up to the end of 2010 are no wall-clock time: the creation time is the start.
    Channel channel;
    channel.timeCreated = "2009/12/31 23:59:58";
    const std::tuple<uint64_t, std::string, std::string> cases[] = {
        {1000000, "31.12.09", "23.59.58"},                  // 1 s after the clock started
        {1293839999ull * 1000000, "31.12.09", "23.59.58"},  // 2010-12-31 23:59:59 UTC
        {1293840000ull * 1000000, "01.01.11", "00.00.00"},  // 2011-01-01 00:00:00 UTC
    };
    for (const auto& [timestamp, date, time] : cases) {
        SCOPED_TRACE(timestamp);
        std::filesystem::remove(dir.path / "DevOutput.edf");
        ASSERT_EQ(Convert(L"", {WriteChannel(channel, ContinuousRecords(timestamp, frequency, 1000, 0))}), 0);
        const EdfFile edf = ParsedOutput();
        EXPECT_EQ(edf.startDate, date);
        EXPECT_EQ(edf.startTime, time);
        EXPECT_EQ(edf.recordCount, 1);  // exactly one full record: no padded one after it
    }
}
