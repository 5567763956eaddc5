#include "edf/EdfFileEngine.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "edf/EdfLayout.h"
#include "edf/EdfPageReader.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

namespace {

// `text` filled with spaces to `width`.
std::string Padded(const std::string& text, std::size_t width)
{
    return text + std::string(width - text.size(), ' ');
}

}  // namespace

// Every test leaves the engine's table empty, so that tests may also run in one process: a file
// that cannot be closed because its header checks fail gets valid parameters first.
class EdfFileEngineTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (int handle = 0; handle < edfMaxOpenFiles; ++handle)
            (void)EdfReleaseFile(handle);
        (void)EdfSetStreamSettings({});
    }

    std::string PathOf(const std::string& name) const { return (dir.path / name).string(); }

    // Opens `name` with signals that pass the header checks: physical -1000 to 1000, digital
    // -32768 to 32767, `samplesPerRecord` samples, start 5 July 2017 10:20:30.
    int OpenReady(const std::string& name, int signalCount, int samplesPerRecord)
    {
        int handle = EdfOpenFile(PathOf(name).c_str(), signalCount);
        EXPECT_GE(handle, 0) << name;
        for (int i = 0; i < signalCount; ++i) {
            EXPECT_EQ(EdfSetSamplesPerRecord(handle, i, samplesPerRecord), 0);
            EXPECT_EQ(EdfSetPhysicalMinimum(handle, i, -1000), 0);
            EXPECT_EQ(EdfSetPhysicalMaximum(handle, i, 1000), 0);
            EXPECT_EQ(EdfSetDigitalMinimum(handle, i, -32768), 0);
            EXPECT_EQ(EdfSetDigitalMaximum(handle, i, 32767), 0);
        }
        EXPECT_EQ(EdfSetStartDateTime(handle, 2017, 7, 5, 10, 20, 30), 0);
        return handle;
    }

    std::vector<unsigned char> Bytes(const std::string& name) const { return ReadFileBytes(dir.path / name); }

    TempDir dir;
};

TEST_F(EdfFileEngineTest, OneSignalHeaderHoldsEveryField)
{
    int handle = OpenReady("one.edf", 1, 32'000);
    ASSERT_EQ(EdfSetLabel(handle, 0, "EEG1"), 0);
    std::vector<int16_t> samples(32'000, 0);
    ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);

    // (1 + 2) × 256 = 768 bytes, field by field in header order; N = 2 signals, the annotation signal included
    const std::string fixedStart = Padded("0", 8) + Padded("X X X X", 80) + Padded("Startdate 05-JUL-2017 X X X", 80)
                                   + "05.07.17" + "10.20.30" + Padded("768", 8) + Padded("EDF+C", 44);
    const std::string fixedEnd = Padded("1", 8) + Padded("2", 4);
    const std::string signalPart = Padded("EEG1", 16) + "EDF Annotations " + std::string(160, ' ')
                                   + std::string(16, ' ') + Padded("-1000", 8) + Padded("-1", 8) + Padded("1000", 8)
                                   + Padded("1", 8) + Padded("-32768", 8) + Padded("-32768", 8) + Padded("32767", 8)
                                   + Padded("32767", 8) + std::string(160, ' ') + Padded("32000", 8) + Padded("57", 8)
                                   + std::string(64, ' ');
    ASSERT_EQ(fixedStart.size() + 8 + fixedEnd.size() + signalPart.size(), 768u);

    ASSERT_EQ(EdfSyncRecords(handle), 0);
    auto bytes = Bytes("one.edf");  // once synced, the header is on disk, counting no records yet
    EXPECT_TRUE(BytesAt(bytes, 0, fixedStart + Padded("-1", 8) + fixedEnd + signalPart));
    ASSERT_EQ(EdfCloseFile(handle), 0);
    bytes = Bytes("one.edf");
    EXPECT_TRUE(BytesAt(bytes, 0, fixedStart + Padded("1", 8) + fixedEnd + signalPart));
    EXPECT_EQ(bytes.size(), 768u + 64'000u + 114u);
}

TEST_F(EdfFileEngineTest, StartDateRangesAndUncheckedDay)
{
    int handle = OpenReady("s.edf", 1, 1);
    const int refused[][6] = {{1969, 1, 1, 0, 0, 0},  {3001, 1, 1, 0, 0, 0},  {2017, 0, 1, 0, 0, 0},
                              {2017, 13, 1, 0, 0, 0}, {2017, 1, 0, 0, 0, 0},  {2017, 1, 32, 0, 0, 0},
                              {2017, 1, 1, 24, 0, 0}, {2017, 1, 1, 0, 60, 0}, {2017, 1, 1, 0, 0, 60}};
    for (const auto& d : refused)
        EXPECT_EQ(EdfSetStartDateTime(handle, d[0], d[1], d[2], d[3], d[4], d[5]), -1)
            << d[0] << "-" << d[1] << "-" << d[2];
    EXPECT_EQ(EdfSetStartDateTime(handle, 2017, 2, 31, 0, 0, 0), 0);  // 31 February is taken
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EXPECT_TRUE(BytesAt(Bytes("s.edf"), EdfFieldOffset(EdfHeaderField::StartDate), "31.02.1700.00.00"));
}

TEST_F(EdfFileEngineTest, HeaderChecksRefuseFirstRecordAndWriteNothing)
{
    int handle = EdfOpenFile(PathOf("h.edf").c_str(), 2);
    ASSERT_GE(handle, 0);
    std::vector<int16_t> samples(4, 0);
    // signal 0: physical range 0 to 0 (the defaults) but digital range fine; signal 1: nothing set
    ASSERT_EQ(EdfSetSamplesPerRecord(handle, 0, 2), 0);
    ASSERT_EQ(EdfSetDigitalMinimum(handle, 0, -1), 0);
    ASSERT_EQ(EdfSetDigitalMaximum(handle, 0, 1), 0);
    EXPECT_EQ(EdfWriteRecord(handle, samples.data()), EdfPhysicalRangeEmpty);  // signal 0 is checked first
    ASSERT_EQ(EdfSetPhysicalMaximum(handle, 0, 1.5), 0);
    EXPECT_EQ(EdfWriteRecord(handle, samples.data()), EdfBadSamplesPerRecord);
    ASSERT_EQ(EdfSetSamplesPerRecord(handle, 1, 2), 0);
    EXPECT_EQ(EdfWriteRecord(handle, samples.data()), EdfDigitalRangeEmpty);  // 0 to 0
    ASSERT_EQ(EdfSetDigitalMinimum(handle, 1, 5), 0);
    EXPECT_EQ(EdfWriteRecord(handle, samples.data()), EdfDigitalRangeInverted);  // 5 to 0
    EXPECT_EQ(EdfCloseFile(handle), -1);
    EXPECT_TRUE(Bytes("h.edf").empty());
}

TEST_F(EdfFileEngineTest, OpenRefusesBadSignalCountsTakenPathsAndASixtyFifthFile)
{
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), -1), EdfBadSignalCount);
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 513), EdfBadSignalCount);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "a.edf"));
    ASSERT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 512), 0);
    EXPECT_TRUE(Bytes("a.edf").empty());  // nothing is written at open
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 1), EdfPathAlreadyOpen);
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 600), EdfPathAlreadyOpen);  // checked before the count
    // another spelling of the open path passes the byte-exact comparison, but the file exists:
    // it is neither opened nor truncated
    EXPECT_EQ(EdfOpenFile(PathOf("./a.edf").c_str(), 0), EdfNameTaken);
    WriteFileBytes(dir.path / "kept.edf", {'k'});
    EXPECT_EQ(EdfOpenFile(PathOf("kept.edf").c_str(), 1), EdfNameTaken);
    EXPECT_EQ(Bytes("kept.edf"), std::vector<unsigned char>{'k'});
    ASSERT_EQ(EdfOpenFile(PathOf("b.edf").c_str(), 0), 1);

    for (int i = 2; i < edfMaxOpenFiles; ++i)
        ASSERT_EQ(EdfOpenFile(PathOf("f" + std::to_string(i) + ".edf").c_str(), 0), i);
    EXPECT_EQ(EdfOpenFile(PathOf("f64.edf").c_str(), 0), EdfNoFreeSlot);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "f64.edf"));
    EXPECT_EQ(EdfOpenFile(PathOf("f3.edf").c_str(), 0), EdfNoFreeSlot);  // the count is checked first
    ASSERT_EQ(EdfCloseFile(7), 0);
    ASSERT_EQ(EdfCloseFile(3), 0);
    EXPECT_EQ(EdfOpenFile(PathOf("f3.edf").c_str(), 0), EdfNameTaken);  // closed, and there
    EXPECT_EQ(EdfOpenFile(PathOf("g3.edf").c_str(), 0), 3);             // lowest empty slot
    EXPECT_EQ(EdfOpenFile(PathOf("f65.edf").c_str(), 0), 7);
}

// Provokes a real failed write in the middle of a file: the file size limit (with SIGXFSZ
// ignored) makes write(2) fail with EFBIG past it.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : handler(signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, handler);
    }

    void (*handler)(int);
    rlimit previous{};
    bool active = false;
};

TEST_F(EdfFileEngineTest, AFailedWriteShowsByTheSyncAndTheFileEndsAtItsLastWholeRecord)
{
    // Records of n × 2 + 114 bytes behind the 768-byte header, and a file size limit half-way
    // through the third record. With the usual streams, records of 100 samples stay in the
    // stream's first chunks, written where they are handed over; records of 30,000 samples
    // (60,114 bytes) reach the limit in a chunk that the writing thread writes. Streams of small
    // buffers that start the thread at once reach it there in both.
    const StreamSettings smallStreams{64, 0};
    for (const auto& [samplesPerRecord, settings] :
         {std::pair{100, StreamSettings{}}, std::pair{30'000, StreamSettings{}}, std::pair{100, smallStreams},
          std::pair{30'000, smallStreams}}) {
        SCOPED_TRACE(std::to_string(samplesPerRecord) + " samples, buffers of " + std::to_string(settings.bufferBytes));
        ASSERT_EQ(EdfSetStreamSettings(settings), EdfOk);
        const std::string name =
            "limit" + std::to_string(samplesPerRecord) + "-" + std::to_string(settings.bufferBytes) + ".edf";
        const int64_t recordBytes = 2 * samplesPerRecord + 114;
        int handle = OpenReady(name, 1, samplesPerRecord);
        ASSERT_EQ(EdfAddAnnotation(handle, "Recording starts", 0), 0);
        ASSERT_EQ(EdfAddAnnotation(handle, "second record", 10'000), 0);
        std::vector<int16_t> expected;
        {
            FileSizeLimit limit(static_cast<rlim_t>(768 + 2 * recordBytes + recordBytes / 2));
            ASSERT_TRUE(limit.active);
            bool failed = false;
            for (const int16_t value : {1, 2, 3, 4, 5}) {
                const std::vector<int16_t> samples(static_cast<size_t>(samplesPerRecord), value);
                const int result = EdfWriteRecord(handle, samples.data());
                // buffered: the failure shows a record or more later, and then stays
                if (value <= 2 || !failed)
                    EXPECT_TRUE(result == 0 || (value > 2 && result == -1)) << "record " << value;
                else
                    EXPECT_EQ(result, -1) << "record " << value;
                failed = failed || result == -1;
                if (value <= 2)
                    expected.insert(expected.end(), samples.begin(), samples.end());
            }
            EXPECT_EQ(EdfSyncRecords(handle), -1);
            EXPECT_EQ(EdfSyncRecords(handle), -1);
            EXPECT_EQ(EdfCloseFile(handle), EdfOk);  // failed writes are not reported at close
        }
        EdfFile file;
        std::string error;
        ASSERT_TRUE(ParseEdfFile(PathOf(name), file, error)) << error;
        EXPECT_EQ(file.recordCount, 2);
        EXPECT_EQ(file.samplesPerSignal[0], expected);
        EXPECT_EQ(file.recordStartTimes, (std::vector<std::string>{"+0", "+1"}));
        EXPECT_EQ(Bytes(name).size(), static_cast<size_t>(768 + 2 * recordBytes));
    }
}

TEST_F(EdfFileEngineTest, ParametersStayFrozenWhenNoRecordReachedTheFile)
{
    // The limit cuts the first record: the header went out with it, so the file is no longer
    // open for parameters, though it holds no whole record.
    int handle = OpenReady("first.edf", 1, 100);
    {
        FileSizeLimit limit(800);
        ASSERT_TRUE(limit.active);
        const std::vector<int16_t> samples(100, 1);
        EXPECT_EQ(EdfWriteRecord(handle, samples.data()), 0);
        EXPECT_EQ(EdfSyncRecords(handle), -1);
        EXPECT_EQ(EdfSetRecordDuration(handle, 50'000), -1);
        EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, 10), -1);
        EXPECT_EQ(EdfCloseFile(handle), EdfOk);
    }
    EdfFile file;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(PathOf("first.edf"), file, error)) << error;
    EXPECT_EQ(file.recordCount, 0);
    EXPECT_EQ(file.signals.at(0).samplesPerRecord, 100);
    EXPECT_EQ(Bytes("first.edf").size(), 768u);
}

TEST_F(EdfFileEngineTest, MoreAnnotationsThanRecordsWidenTheAnnotationSignal)
{
    // 2 records of 10 samples and 5 annotations of 40 bytes: 3 annotations in record 0, 2 in
    // record 1. Record 0's slot needs "+0" 0x14 0x14 0x00 (5 bytes), then per annotation its
    // onset, 0x14, the text, 0x14, 0x00: 2 + 43 = 45 at +0, 50 at +2.5000, 50 at +0.0123, so 150
    // bytes; record 1 needs 100. The signal becomes 150 bytes wide: 75 samples.
    int handle = OpenReady("wide.edf", 1, 10);
    const std::string text(40, 'x');
    const int64_t onsets[] = {0, 25'000, 123, 10'000, 5};
    for (const int64_t onset : onsets)
        ASSERT_EQ(EdfAddAnnotation(handle, (text + std::to_string(onset)).c_str(), onset), 0);  // cut to 40
    const std::vector<int16_t> samples(10, 3);
    ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
    ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
    ASSERT_EQ(EdfCloseFile(handle), EdfOk);

    const auto bytes = Bytes("wide.edf");
    EXPECT_EQ(bytes.size(), 768u + 2 * (20 + 150));
    EXPECT_TRUE(BytesAt(bytes, EdfFieldOffset(EdfSignalField::SamplesPerRecord, 2, 1), Padded("75", 8)));
    const std::string firstSlot = std::string("+0\x14\x14\0", 5) + "+0\x14" + text + std::string("\x14\0", 2)
                                  + "+2.5000\x14" + text + std::string("\x14\0", 2) + "+0.0123\x14" + text
                                  + std::string("\x14\0", 2);
    EXPECT_TRUE(BytesAt(bytes, 768 + 20, firstSlot + std::string(150 - firstSlot.size(), '\0')));
    EdfFile file;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(PathOf("wide.edf"), file, error)) << error;
    std::vector<std::string> placed;
    for (const EdfTal& tal : file.annotations)
        placed.push_back(std::to_string(tal.record) + " " + tal.onset);
    EXPECT_EQ(placed, (std::vector<std::string>{"0 +0", "0 +2.5000", "0 +0.0123", "1 +1", "1 +0.0005"}));
    EXPECT_EQ(file.samplesPerSignal[0], std::vector<int16_t>(20, 3));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1) << "no temporary file is left";
}

TEST_F(EdfFileEngineTest, ClippedSamplesAreCountedPerSignal)
{
    // Two signals of 600 samples (longer than one pass of the clamp's buffer in small builds),
    // digital -100 to 100 and the whole 16-bit range.
    const struct {
        std::vector<std::pair<size_t, int16_t>> outside;  // sample index and value in signal 0
        int64_t clipped;
    } cases[] = {
        {{}, 0},
        {{{0, 101}}, 1},
        {{{599, -101}}, 1},
        {{{3, INT16_MIN}, {300, INT16_MAX}, {301, 100}, {302, -100}}, 2},  // the ends themselves are kept
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = "clip" + std::to_string(i) + ".edf";
        int handle = OpenReady(name, 2, 600);
        ASSERT_EQ(EdfSetDigitalMinimum(handle, 0, -100), 0);
        ASSERT_EQ(EdfSetDigitalMaximum(handle, 0, 100), 0);
        std::vector<int16_t> samples(1200, 7);
        for (const auto& [index, value] : cases[i].outside)
            samples[index] = value;
        samples[600] = INT16_MIN;  // signal 1 holds its whole range: nothing clipped
        samples[1199] = INT16_MAX;
        ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
        ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
        EXPECT_EQ(EdfClippedSamples(handle, 0), 2 * cases[i].clipped) << i;
        EXPECT_EQ(EdfClippedSamples(handle, 1), 0) << i;
        EXPECT_EQ(EdfClippedSamples(handle, 2), -1) << "no such signal";
        ASSERT_EQ(EdfCloseFile(handle), EdfOk);
    }
}

TEST_F(EdfFileEngineTest, WholeTextsLongerThanTheSlotWidenTheAnnotationSignal)
{
    // One annotation per record, but a 100-character text (200 bytes of UTF-8) in record 1: the
    // slots grow to hold it whole, as they do for more annotations than records.
    int handle = OpenReady("whole.edf", 1, 10);
    ASSERT_EQ(EdfSetWholeAnnotationTexts(handle), 0);
    const std::string longText(100, '\xE9');
    ASSERT_EQ(EdfAddAnnotation(handle, "short", 0), 0);
    ASSERT_EQ(EdfAddAnnotationInUnits(handle, longText.c_str(), 1'234'567, 6), 0);
    const std::vector<int16_t> samples(10, 3);
    ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
    ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
    ASSERT_EQ(EdfCloseFile(handle), EdfOk);
    EdfFile file;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(PathOf("whole.edf"), file, error)) << error;
    std::string utf8;
    for (int i = 0; i < 100; ++i)
        utf8 += "\xC3\xA9";
    std::vector<std::string> placed;
    for (const EdfTal& tal : file.annotations)
        for (const std::string& text : tal.texts)
            placed.push_back(std::to_string(tal.record) + " " + tal.onset + " " + text);
    EXPECT_EQ(placed, (std::vector<std::string>{"0 +0 short", "1 +1.234567 " + utf8}));
    EXPECT_EQ(file.samplesPerSignal[0], std::vector<int16_t>(20, 3));
}

TEST_F(EdfFileEngineTest, StreamSettingsChangeNoByteOfTheFile)
{
    // Three signals of 37 samples (222 bytes of samples and a 114-byte slot per record), 20
    // records and 25 annotations, so that the file is rewritten with a wider annotation signal
    // at close: through buffers smaller than a record or larger than the file, written on the
    // caller's thread or handed to the writing thread from the first buffer on.
    const StreamSettings settings[] = {{}, {16, 0}, {100, 0}, {4096, 1}, {333, 5}};
    std::vector<unsigned char> first;
    for (const StreamSettings& each : settings) {
        SCOPED_TRACE("buffers of " + std::to_string(each.bufferBytes) + ", " + std::to_string(each.chunksWithoutThread)
                     + " without the thread");
        ASSERT_EQ(EdfSetStreamSettings(each), EdfOk);
        const std::string name = "streams" + std::to_string(each.bufferBytes) + ".edf";
        const int handle = OpenReady(name, 3, 37);
        for (int a = 0; a < 25; ++a)
            ASSERT_EQ(EdfAddAnnotation(handle, ("event " + std::to_string(a)).c_str(), a * 4'000), 0);
        std::vector<int16_t> samples(3 * 37);
        for (int r = 0; r < 20; ++r) {
            for (std::size_t k = 0; k < samples.size(); ++k)
                samples[k] = static_cast<int16_t>(r * 1'000 - static_cast<int>(k) * 37);
            ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
        }
        ASSERT_EQ(EdfCloseFile(handle), EdfOk);
        const std::vector<unsigned char> bytes = Bytes(name);
        if (first.empty())
            first = bytes;
        EXPECT_EQ(bytes, first);
    }
    EdfFile file;
    std::string error;
    ASSERT_TRUE(ParseEdfBytes(first, file, error)) << error;
    EXPECT_EQ(file.recordCount, 20);
    EXPECT_EQ(file.annotations.size(), 25u);
}

TEST_F(EdfFileEngineTest, StreamSettingsRefuseBuffersTooSmallOrTooLarge)
{
    const StreamSettings refused[] = {
        {0, 0}, {StreamSettings::smallestBufferBytes - 1, 2}, {StreamSettings::largestBufferBytes + 1, 2}};
    for (const StreamSettings& each : refused)
        EXPECT_EQ(EdfSetStreamSettings(each), EdfFailure) << each.bufferBytes;
    EXPECT_EQ(EdfSetStreamSettings({StreamSettings::smallestBufferBytes, 0}), EdfOk);
    EXPECT_EQ(EdfSetStreamSettings({StreamSettings::largestBufferBytes, 0}), EdfOk);
}

// The trace viewer's reader: per column the extremes of the samples in its time, in physical
// units; a span of more records than columns reads one record per column; the annotations.
TEST_F(EdfFileEngineTest, PageReaderGivesEachColumnsExtremesAndTheAnnotations)
{
    const int handle = OpenReady("page.edf", 1, 4);
    ASSERT_EQ(EdfSetRecordDuration(handle, 100000), 0);  // 1 s
    for (int16_t record = 0; record < 8; ++record) {
        const std::vector<int16_t> samples = {static_cast<int16_t>(record * 10 + 3), static_cast<int16_t>(record * 10),
                                              static_cast<int16_t>(record * 10 + 2),
                                              static_cast<int16_t>(record * 10 + 1)};
        ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
    }
    ASSERT_EQ(EdfAddAnnotation(handle, "stimulus", 25000), 0);
    ASSERT_EQ(EdfAddAnnotation(handle, "response", 61000), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);

    EdfPageReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(PathOf("page.edf"), error)) << error;
    EXPECT_EQ(reader.SampleSignals(), std::vector<int>{0});
    ASSERT_EQ(reader.Events().size(), 2u);
    EXPECT_EQ(reader.Events()[1].text, "response");
    EXPECT_DOUBLE_EQ(reader.Events()[1].onset, 6.1);
    const auto physical = [](int digital) { return -1000 + (digital + 32768) * 2000.0 / 65535; };
    // (start, seconds, columns) and per column the digital minimum and maximum expected
    const std::tuple<double, double, int, std::vector<std::pair<int, int>>> pages[] = {
        {2, 4, 4, {{20, 23}, {30, 33}, {40, 43}, {50, 53}}},  // a record per column
        {2, 0.5, 2, {{23, 23}, {20, 20}}},                    // half a record: a sample per column
        {0, 8, 2, {{0, 3}, {40, 43}}},                        // records 0 and 4 stand for their columns
    };
    for (const auto& [start, seconds, columns, extremes] : pages) {
        EdfPage page;
        ASSERT_TRUE(reader.ReadPage(start, seconds, columns, {0}, page, error)) << error;
        ASSERT_EQ(page.traces.size(), 1u);
        for (size_t c = 0; c < extremes.size(); ++c) {
            EXPECT_NEAR(page.traces[0].minimum[c], physical(extremes[c].first), 1e-9) << start << " " << seconds;
            EXPECT_NEAR(page.traces[0].maximum[c], physical(extremes[c].second), 1e-9) << start << " " << seconds;
        }
    }
}
