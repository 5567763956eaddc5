#include "edf/EdfFileEngine.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "edf/EdfLayout.h"
#include "tests/support/EdfParser.h"
#include "tests/support/TempDir.h"

namespace {

// `text` filled with spaces to `width`.
std::string Padded(const std::string& text, std::size_t width)
{
    return text + std::string(width - text.size(), ' ');
}

std::string ZeroFilledSlot(const std::string& content)
{
    return content + std::string(edfAnnotationSlotBytes - content.size(), '\0');
}

// prefix, n in decimal, suffix: "f12.edf"
std::string Numbered(const char* prefix, long long n, const char* suffix = ".edf")
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%lld%s", prefix, n, suffix);
    return text;
}

}  // namespace

// Every test leaves the engine's table empty, so that tests may also run in one process: a file
// that cannot be closed because its header checks fail gets valid parameters first.
class EdfFileEngineTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (int handle = 0; handle < edfMaxOpenFiles; ++handle) {
            if (EdfCloseFile(handle) == 0)
                continue;
            for (int i = 0; EdfSetSamplesPerRecord(handle, i, 1) == 0; ++i) {
                (void)EdfSetDigitalMinimum(handle, i, -1);
                (void)EdfSetDigitalMaximum(handle, i, 1);
                (void)EdfSetPhysicalMinimum(handle, i, -1);
                (void)EdfSetPhysicalMaximum(handle, i, 1);
            }
            (void)EdfCloseFile(handle);
        }
    }

    std::string PathOf(const std::string& name) const { return (dir.path / name).string(); }

    // Opens `name` with signals that pass the header checks: physical -1000 to 1000, digital
    // -32768 to 32767, `samplesPerRecord` samples, start 5 July 2017 10:20:30.
    int OpenReady(const std::string& name, int signalCount, int samplesPerRecord)
    {
        int handle = EdfOpenFile(PathOf(name).c_str(), signalCount);
        EXPECT_GE(handle, 0) << name;
        for (int i = 0; i < signalCount; ++i)
            SetSignal(handle, i, samplesPerRecord, -32768, 32767);
        EXPECT_EQ(EdfSetStartDateTime(handle, 2017, 7, 5, 10, 20, 30), 0);
        return handle;
    }

    void SetSignal(int handle, int signal, int samplesPerRecord, int digitalMinimum, int digitalMaximum)
    {
        EXPECT_EQ(EdfSetSamplesPerRecord(handle, signal, samplesPerRecord), 0);
        EXPECT_EQ(EdfSetPhysicalMinimum(handle, signal, -1000), 0);
        EXPECT_EQ(EdfSetPhysicalMaximum(handle, signal, 1000), 0);
        EXPECT_EQ(EdfSetDigitalMinimum(handle, signal, digitalMinimum), 0);
        EXPECT_EQ(EdfSetDigitalMaximum(handle, signal, digitalMaximum), 0);
    }

    // Writes `count` records of `samplesPerRecord` samples, every sample = the record number.
    void WriteRecords(int handle, int count, int samplesPerRecord)
    {
        for (int r = 0; r < count; ++r) {
            std::vector<int16_t> samples(static_cast<std::size_t>(samplesPerRecord), static_cast<int16_t>(r));
            ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0) << "record " << r;
        }
    }

    EdfFile Parsed(const std::string& name)
    {
        EdfFile file;
        std::string error;
        EXPECT_TRUE(ParseEdfFile(PathOf(name), file, error)) << error;
        return file;
    }

    std::vector<unsigned char> Bytes(const std::string& name) const { return ReadFileBytes(dir.path / name); }

    TempDir dir;
};

// ---- the header

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

    auto bytes = Bytes("one.edf");  // the record was flushed: the header is on disk
    EXPECT_TRUE(BytesAt(bytes, 0, fixedStart + Padded("-1", 8) + fixedEnd + signalPart));
    ASSERT_EQ(EdfCloseFile(handle), 0);
    bytes = Bytes("one.edf");
    EXPECT_TRUE(BytesAt(bytes, 0, fixedStart + Padded("1", 8) + fixedEnd + signalPart));
    EXPECT_EQ(bytes.size(), 768u + 64'000u + 114u);
}

TEST_F(EdfFileEngineTest, RecordDurationField)
{
    // units of 10 µs: 50,000 is 0.5 s, 2,941 is 0.02941 s, 100 is 1 ms, 6,000,000 is 60 s
    const std::pair<int, std::string> cases[] = {
        {50'000, "0.5     "}, {2'941, "0.02941 "}, {100, "0.001   "}, {6'000'000, "60      "}, {100'000, "1       "}};
    for (const auto& [duration, field] : cases) {
        std::string name = Numbered("d", duration);
        int handle = OpenReady(name, 1, 1);
        ASSERT_EQ(EdfSetRecordDuration(handle, duration), 0);
        ASSERT_EQ(EdfCloseFile(handle), 0);
        EXPECT_TRUE(BytesAt(Bytes(name), 244, field)) << "duration " << duration;
    }
}

TEST_F(EdfFileEngineTest, RecordDurationFieldIsExactWhereItsDoubleIsNot)
{
    // As doubles these durations lie just below their decimal value (0.01639 is
    // 0.016389999...), so truncated decimals would write 0.016389: the header would then
    // disagree with the records' start times. 1,639 units is what the writer chooses for
    // 58 channels at 32,000 Hz (61 parts).
    const std::pair<int, std::string> cases[] = {{1'639, "0.01639 "}, {104, "0.00104 "}, {5'999'999, "59.99999"}};
    for (const auto& [duration, field] : cases) {
        std::string name = Numbered("exact", duration);
        int handle = OpenReady(name, 1, 1);
        ASSERT_EQ(EdfSetRecordDuration(handle, duration), 0);
        WriteRecords(handle, 2, 1);
        ASSERT_EQ(EdfCloseFile(handle), 0);
        EXPECT_TRUE(BytesAt(Bytes(name), 244, field)) << "duration " << duration;
    }
    EXPECT_EQ(Parsed(Numbered("exact", 1'639)).recordStartTimes,
              (std::vector<std::string>{"+0.0000000", "+0.0163900"}));
}

TEST_F(EdfFileEngineTest, RecordDurationOutsideOneMillisecondToOneMinuteIsRefused)
{
    int handle = OpenReady("d.edf", 1, 1);
    EXPECT_EQ(EdfSetRecordDuration(handle, 99), -1);
    EXPECT_EQ(EdfSetRecordDuration(handle, 6'000'001), -1);
    EXPECT_EQ(EdfSetRecordDuration(handle, 0), -1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EXPECT_TRUE(BytesAt(Bytes("d.edf"), 244, "1       "));  // unchanged default
}

TEST_F(EdfFileEngineTest, PhysicalValuesAreTruncatedToEightCharacters)
{
    int handle = OpenReady("p.edf", 2, 1);
    ASSERT_EQ(EdfSetPhysicalMaximum(handle, 0, 3276.7), 0);
    ASSERT_EQ(EdfSetPhysicalMinimum(handle, 1, -1234.5678), 0);
    ASSERT_EQ(EdfSetPhysicalMinimum(handle, 0, 0.5), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    // N = 3: physical minima at 256 + 104 × 3 = 568, maxima at 256 + 112 × 3 = 592
    auto bytes = Bytes("p.edf");
    EXPECT_TRUE(BytesAt(bytes, 568, "0.5     -1234.56-1      "));
    EXPECT_TRUE(BytesAt(bytes, 592, "3276.6991000    1       "));
}

TEST_F(EdfFileEngineTest, StartDateRangesAndUncheckedDay)
{
    int handle = OpenReady("s.edf", 1, 1);
    const int refused[][6] = {{1969, 1, 1, 0, 0, 0},  {3001, 1, 1, 0, 0, 0},  {2017, 0, 1, 0, 0, 0},
                              {2017, 13, 1, 0, 0, 0}, {2017, 1, 0, 0, 0, 0},  {2017, 1, 32, 0, 0, 0},
                              {2017, 1, 1, 24, 0, 0}, {2017, 1, 1, -1, 0, 0}, {2017, 1, 1, 0, 60, 0},
                              {2017, 1, 1, 0, -1, 0}, {2017, 1, 1, 0, 0, 60}, {2017, 1, 1, 0, 0, -1}};
    for (const auto& d : refused)
        EXPECT_EQ(EdfSetStartDateTime(handle, d[0], d[1], d[2], d[3], d[4], d[5]), -1)
            << d[0] << "-" << d[1] << "-" << d[2] << " " << d[3] << ":" << d[4] << ":" << d[5];
    EXPECT_EQ(EdfSetStartDateTime(handle, 3000, 12, 31, 23, 59, 59), 0);
    EXPECT_EQ(EdfSetStartDateTime(handle, 2017, 2, 31, 0, 0, 0), 0);  // 31 February is taken
    ASSERT_EQ(EdfCloseFile(handle), 0);
    auto bytes = Bytes("s.edf");
    EXPECT_TRUE(BytesAt(bytes, 88, "Startdate 31-FEB-2017 X X X "));
    EXPECT_TRUE(BytesAt(bytes, 168, "31.02.1700.00.00"));
}

TEST_F(EdfFileEngineTest, UnsetStartDateIsLocalTimeOfHeader)
{
    auto localText = [](std::time_t t) {
        std::tm local{};
        localtime_r(&t, &local);
        char text[32];
        std::snprintf(text, sizeof text, "%02d.%02d.%02d%02d.%02d.%02d", local.tm_mday, local.tm_mon + 1,
                      local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec == 60 ? 0 : local.tm_sec);
        return std::string(text);
    };
    int handle = EdfOpenFile(PathOf("now.edf").c_str(), 1);
    SetSignal(handle, 0, 1, -1, 1);
    std::string before = localText(std::time(nullptr));
    int16_t sample = 0;
    ASSERT_EQ(EdfWriteRecord(handle, &sample), 0);
    std::string after = localText(std::time(nullptr));
    ASSERT_EQ(EdfCloseFile(handle), 0);
    auto bytes = Bytes("now.edf");
    std::string written(bytes.begin() + 168, bytes.begin() + 184);
    EXPECT_TRUE(written == before || written == after) << written << " vs " << before << " / " << after;
}

TEST_F(EdfFileEngineTest, LabelIsCutTrimmedAndFolded)
{
    int handle = OpenReady("l.edf", 4, 1);
    ASSERT_EQ(EdfSetLabel(handle, 0, "  ab  "), 0);
    ASSERT_EQ(EdfSetLabel(handle, 1, "ABCDEFGHIJKLMNOPQRST"), 0);
    ASSERT_EQ(EdfSetLabel(handle, 2, "  cdefghijklmnopqrs"), 0);  // first 16, then leading spaces go
    ASSERT_EQ(EdfSetLabel(handle, 3, "Fr\xE9q\xA9x"), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EXPECT_TRUE(BytesAt(Bytes("l.edf"), 256,
                        Padded("ab", 16) + "ABCDEFGHIJKLMNOP" + Padded("cdefghijklmnop", 16) + Padded("Freq x", 16)
                            + "EDF Annotations "));
}

TEST_F(EdfFileEngineTest, ZeroSignalFileHasOnlyTheAnnotationSignal)
{
    int handle = EdfOpenFile(PathOf("z.edf").c_str(), 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(EdfSetStartDateTime(handle, 2017, 7, 5, 10, 20, 30), 0);
    int16_t sample = 0;
    EXPECT_EQ(EdfWriteRecord(handle, &sample), -1);
    ASSERT_EQ(EdfAddAnnotation(handle, "one", 0), 0);
    ASSERT_EQ(EdfAddAnnotation(handle, "two", 10'000), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);

    auto bytes = Bytes("z.edf");
    ASSERT_EQ(bytes.size(), 512u + 2 * 114u);
    EXPECT_TRUE(BytesAt(bytes, 184, Padded("512", 8)));
    EXPECT_TRUE(BytesAt(bytes, 236, Padded("2", 8)));
    EXPECT_TRUE(BytesAt(bytes, 512, ZeroFilledSlot(std::string("+0\x14\x14\0+0\x14one\x14", 12))));
    EXPECT_TRUE(BytesAt(bytes, 626, ZeroFilledSlot(std::string("+1\x14\x14\0+1\x14two\x14", 12))));
}

TEST_F(EdfFileEngineTest, FiveHundredTwelveSignalsMakeTheLargestHeader)
{
    int handle = OpenReady("max.edf", 512, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    auto bytes = Bytes("max.edf");
    EXPECT_EQ(bytes.size(), 514u * 256u);
    EXPECT_TRUE(BytesAt(bytes, 184, Padded("131584", 8)));
    EXPECT_TRUE(BytesAt(bytes, 252, "513 "));
}

// ---- header checks

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

    // the file stayed open and accepts parameters
    ASSERT_EQ(EdfSetDigitalMinimum(handle, 1, -5), 0);
    EXPECT_EQ(EdfWriteRecord(handle, samples.data()), EdfPhysicalRangeEmpty);
    ASSERT_EQ(EdfSetPhysicalMinimum(handle, 1, -2), 0);
    EXPECT_EQ(EdfWriteRecord(handle, samples.data()), 0);
    EXPECT_EQ(EdfCloseFile(handle), 0);
}

TEST_F(EdfFileEngineTest, PhysicalRangeEmptyAsWrittenIsRefused)
{
    // Different doubles whose 8-character texts are the same number: 0 and 1e-10 are both
    // written 0, -1e-10 and 1e-10 are -0 and 0, 1.0000001 and 1.0000002 are both 1.000000.
    const std::pair<double, double> ranges[] = {{0, 1e-10}, {-1e-10, 1e-10}, {1.0000001, 1.0000002}};
    for (const auto& [minimum, maximum] : ranges) {
        int handle = OpenReady("empty-range.edf", 1, 1);
        ASSERT_EQ(EdfSetPhysicalMinimum(handle, 0, minimum), 0);
        ASSERT_EQ(EdfSetPhysicalMaximum(handle, 0, maximum), 0);
        const int16_t sample = 0;
        EXPECT_EQ(EdfWriteRecord(handle, &sample), EdfPhysicalRangeEmpty) << minimum << " to " << maximum;
        EXPECT_EQ(EdfCloseFile(handle), -1);
        EXPECT_TRUE(Bytes("empty-range.edf").empty());
        ASSERT_EQ(EdfSetPhysicalMaximum(handle, 0, 2), 0);
        ASSERT_EQ(EdfCloseFile(handle), 0);
        EXPECT_TRUE(BytesAt(Bytes("empty-range.edf"), 256 + 112 * 2, "2       "));
    }
}

// ---- setters

TEST_F(EdfFileEngineTest, DigitalLimitsAndSamplesPerRecord)
{
    int handle = OpenReady("r.edf", 1, 1);
    EXPECT_EQ(EdfSetDigitalMaximum(handle, 0, 32'768), -1);
    EXPECT_EQ(EdfSetDigitalMaximum(handle, 0, 32'767), 0);
    EXPECT_EQ(EdfSetDigitalMinimum(handle, 0, -32'769), -1);
    EXPECT_EQ(EdfSetDigitalMinimum(handle, 0, -32'768), 0);
    EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, 0), -1);
    EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, -5), -1);
    EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, 1), 0);
    EXPECT_EQ(EdfSetLabel(handle, 0, nullptr), -1);
}

TEST_F(EdfFileEngineTest, SamplesPerRecordBeyondItsEightCharacterFieldAreRefused)
{
    // 2,147,483,647 would be written 21474836: a header that no longer describes its records.
    int handle = OpenReady("wide.edf", 1, 1);
    EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, 100'000'000), -1);
    EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, 2'147'483'647), -1);
    EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, 99'999'999), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);  // no annotation: the header alone
    EXPECT_EQ(Parsed("wide.edf").signals.front().samplesPerRecord, 99'999'999);
}

TEST_F(EdfFileEngineTest, EveryCallRefusesBadHandleAndSignal)
{
    int handle = OpenReady("b.edf", 2, 1);
    int16_t samples[2] = {};
    for (int bad : {-1, 5, 64, 1000}) {
        EXPECT_EQ(EdfSetSamplesPerRecord(bad, 0, 1), -1) << bad;
        EXPECT_EQ(EdfSetPhysicalMaximum(bad, 0, 1), -1) << bad;
        EXPECT_EQ(EdfSetPhysicalMinimum(bad, 0, 1), -1) << bad;
        EXPECT_EQ(EdfSetDigitalMaximum(bad, 0, 1), -1) << bad;
        EXPECT_EQ(EdfSetDigitalMinimum(bad, 0, 1), -1) << bad;
        EXPECT_EQ(EdfSetLabel(bad, 0, "x"), -1) << bad;
        EXPECT_EQ(EdfSetRecordDuration(bad, 1000), -1) << bad;
        EXPECT_EQ(EdfSetStartDateTime(bad, 2017, 1, 1, 0, 0, 0), -1) << bad;
        EXPECT_EQ(EdfWriteRecord(bad, samples), -1) << bad;
        EXPECT_EQ(EdfAddAnnotation(bad, "x", 0), -1) << bad;
        EXPECT_EQ(EdfCloseFile(bad), -1) << bad;
    }
    for (int bad : {-1, 2}) {
        EXPECT_EQ(EdfSetSamplesPerRecord(handle, bad, 1), -1) << bad;
        EXPECT_EQ(EdfSetPhysicalMaximum(handle, bad, 1), -1) << bad;
        EXPECT_EQ(EdfSetPhysicalMinimum(handle, bad, 1), -1) << bad;
        EXPECT_EQ(EdfSetDigitalMaximum(handle, bad, 1), -1) << bad;
        EXPECT_EQ(EdfSetDigitalMinimum(handle, bad, 1), -1) << bad;
        EXPECT_EQ(EdfSetLabel(handle, bad, "x"), -1) << bad;
    }
    EXPECT_EQ(EdfWriteRecord(handle, nullptr), -1);
    EXPECT_EQ(EdfAddAnnotation(handle, nullptr, 0), -1);
}

TEST_F(EdfFileEngineTest, SettersFailOnceTheFirstRecordIsWritten)
{
    int handle = OpenReady("f.edf", 1, 1);
    WriteRecords(handle, 1, 1);
    EXPECT_EQ(EdfSetSamplesPerRecord(handle, 0, 2), -1);
    EXPECT_EQ(EdfSetPhysicalMaximum(handle, 0, 5), -1);
    EXPECT_EQ(EdfSetPhysicalMinimum(handle, 0, -5), -1);
    EXPECT_EQ(EdfSetDigitalMaximum(handle, 0, 5), -1);
    EXPECT_EQ(EdfSetDigitalMinimum(handle, 0, -5), -1);
    EXPECT_EQ(EdfSetLabel(handle, 0, "x"), -1);
    EXPECT_EQ(EdfSetRecordDuration(handle, 1000), -1);
    EXPECT_EQ(EdfSetStartDateTime(handle, 2018, 1, 1, 0, 0, 0), -1);
    EXPECT_EQ(EdfAddAnnotation(handle, "later", 5), 0);  // annotations go on
    WriteRecords(handle, 1, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EdfFile file = Parsed("f.edf");
    EXPECT_EQ(file.recordCount, 2);
    EXPECT_EQ(file.signals[0].samplesPerRecord, 1);
    EXPECT_EQ(file.startDate, "05.07.17");
}

// ---- opening

TEST_F(EdfFileEngineTest, SignalCountOutsideZeroTo512IsRefused)
{
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), -1), EdfBadSignalCount);
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 513), EdfBadSignalCount);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "a.edf"));
    int handle = EdfOpenFile(PathOf("a.edf").c_str(), 512);
    EXPECT_EQ(handle, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "a.edf"));
    EXPECT_TRUE(Bytes("a.edf").empty());  // nothing is written at open
}

TEST_F(EdfFileEngineTest, UncreatableFileIsRefused)
{
    EXPECT_EQ(EdfOpenFile(PathOf("missing/a.edf").c_str(), 1), EdfCannotCreate);
    EXPECT_EQ(EdfOpenFile(dir.path.string().c_str(), 1), EdfCannotCreate);
    EXPECT_EQ(EdfOpenFile("", 1), EdfCannotCreate);
    EXPECT_EQ(EdfOpenFile(nullptr, 1), EdfCannotCreate);
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 1), 0);  // the slot was given back
}

TEST_F(EdfFileEngineTest, SixtyFifthOpenFindsNoSlot)
{
    for (int i = 0; i < edfMaxOpenFiles; ++i)
        ASSERT_EQ(EdfOpenFile(PathOf(Numbered("f", i)).c_str(), 0), i);
    EXPECT_EQ(EdfOpenFile(PathOf("f64.edf").c_str(), 0), EdfNoFreeSlot);
    EXPECT_FALSE(std::filesystem::exists(dir.path / "f64.edf"));
    EXPECT_EQ(EdfOpenFile(PathOf("f3.edf").c_str(), 0), EdfNoFreeSlot);  // the count is checked first
    ASSERT_EQ(EdfCloseFile(7), 0);
    ASSERT_EQ(EdfCloseFile(3), 0);
    EXPECT_EQ(EdfOpenFile(PathOf("f64.edf").c_str(), 0), 3);  // lowest empty slot
    EXPECT_EQ(EdfOpenFile(PathOf("f65.edf").c_str(), 0), 7);
}

TEST_F(EdfFileEngineTest, SamePathTwiceIsRefusedWhileOpen)
{
    int handle = EdfOpenFile(PathOf("a.edf").c_str(), 1);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 1), EdfPathAlreadyOpen);
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 600), EdfPathAlreadyOpen);  // checked before the count
    EXPECT_EQ(EdfOpenFile(PathOf("./a.edf").c_str(), 0), handle + 1);          // byte-exact comparison
    SetSignal(handle, 0, 1, -1, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EXPECT_EQ(EdfOpenFile(PathOf("a.edf").c_str(), 1), handle);
}

TEST_F(EdfFileEngineTest, PathWithCharactersAboveLatin1Works)
{
    // "Aufnahme Ωμέγα 日本.edf" in UTF-8
    const std::string name = "Aufnahme \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x97\xA5\xE6\x9C\xAC.edf";
    int handle = OpenReady(name, 1, 2);
    WriteRecords(handle, 2, 2);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path / std::filesystem::u8path(name)));
    EXPECT_EQ(Parsed(name).recordCount, 2);
}

TEST_F(EdfFileEngineTest, PathsLongerThan1023BytesAreComparedWhole)
{
    std::filesystem::path deep = dir.path;
    for (int i = 0; i < 6; ++i)
        deep /= std::string(200, static_cast<char>('a' + i));
    ASSERT_TRUE(std::filesystem::create_directories(deep));
    const std::string first = (deep / "first.edf").string();
    const std::string second = (deep / "second.edf").string();
    ASSERT_GT(first.size(), 1'200u);
    int handle = EdfOpenFile(first.c_str(), 1);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(EdfOpenFile(first.c_str(), 1), EdfPathAlreadyOpen);
    int other = EdfOpenFile(second.c_str(), 1);  // shares its first 1,023 bytes, still another file
    EXPECT_EQ(other, handle + 1);
    SetSignal(handle, 0, 1, -1, 1);
    SetSignal(other, 0, 1, -1, 1);
    EXPECT_EQ(EdfCloseFile(handle), 0);
    EXPECT_EQ(EdfCloseFile(other), 0);
    EXPECT_EQ(ReadFileBytes(first).size(), 768u);
}

// ---- data records

TEST_F(EdfFileEngineTest, SamplesAreWrittenSignalBySignalLowByteFirst)
{
    int handle = OpenReady("s.edf", 2, 3);
    ASSERT_EQ(EdfSetSamplesPerRecord(handle, 1, 2), 0);
    const int16_t samples[] = {1, 256, -1, 0x1234, -32768};
    ASSERT_EQ(EdfWriteRecord(handle, samples), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    // header (2 + 2) × 256 = 1024, then 3 + 2 samples, then the slot
    auto bytes = Bytes("s.edf");
    EXPECT_EQ(bytes.size(), 1024u + 10u + 114u);
    EXPECT_TRUE(BytesAt(bytes, 1024, std::string("\x01\x00\x00\x01\xFF\xFF\x34\x12\x00\x80", 10)));
    EXPECT_TRUE(BytesAt(bytes, 1034, ZeroFilledSlot("+0\x14\x14")));
}

TEST_F(EdfFileEngineTest, SamplesAreClampedIntoTheDigitalRange)
{
    int handle = EdfOpenFile(PathOf("c.edf").c_str(), 1);
    SetSignal(handle, 0, 4, -2048, 2047);
    const int16_t samples[] = {3000, -3000, 2047, -2048};
    ASSERT_EQ(EdfWriteRecord(handle, samples), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    // 2047 = 0x07FF, -2048 = 0xF800
    EXPECT_TRUE(BytesAt(Bytes("c.edf"), 768, std::string("\xFF\x07\x00\xF8\xFF\x07\x00\xF8", 8)));
}

TEST_F(EdfFileEngineTest, RecordStartTimesFollowTheDuration)
{
    int handle = OpenReady("one-second.edf", 1, 1);
    WriteRecords(handle, 6, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    // record 5 starts at 768 + 5 × (2 + 114), its slot 2 bytes later
    EXPECT_TRUE(BytesAt(Bytes("one-second.edf"), 768 + 5 * 116 + 2, ZeroFilledSlot("+5\x14\x14")));

    handle = OpenReady("short.edf", 1, 1);
    ASSERT_EQ(EdfSetRecordDuration(handle, 2'941), 0);  // 294,100 ticks
    WriteRecords(handle, 2, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EXPECT_TRUE(BytesAt(Bytes("short.edf"), 768 + 116 + 2, ZeroFilledSlot("+0.0294100\x14\x14")));

    handle = OpenReady("half.edf", 1, 1);
    ASSERT_EQ(EdfSetRecordDuration(handle, 50'000), 0);
    WriteRecords(handle, 3, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EXPECT_EQ(Parsed("half.edf").recordStartTimes,
              (std::vector<std::string>{"+0.0000000", "+0.5000000", "+1.0000000"}));
}

TEST_F(EdfFileEngineTest, RecordCountFieldAtClose)
{
    for (int count : {9, 12}) {
        std::string name = Numbered("n", count);
        int handle = OpenReady(name, 1, 1);
        WriteRecords(handle, count, 1);
        ASSERT_EQ(EdfCloseFile(handle), 0);
        EXPECT_TRUE(BytesAt(Bytes(name), 236, Padded(Numbered("", count, ""), 8)));
    }
}

TEST_F(EdfFileEngineTest, WriteAfterCloseIsRefused)
{
    int handle = OpenReady("w.edf", 1, 1);
    WriteRecords(handle, 1, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    int16_t sample = 0;
    EXPECT_EQ(EdfWriteRecord(handle, &sample), -1);
    EXPECT_EQ(EdfAddAnnotation(handle, "x", 0), -1);
    EXPECT_EQ(EdfCloseFile(handle), -1);
    EXPECT_EQ(Bytes("w.edf").size(), 768u + 116u);
}

// ---- annotations

TEST_F(EdfFileEngineTest, AnnotationsArePlacedOnePerRecord)
{
    int handle = OpenReady("a.edf", 1, 1);
    ASSERT_EQ(EdfAddAnnotation(handle, "A0", 0), 0);
    ASSERT_EQ(EdfAddAnnotation(handle, "A1", 25'000), 0);
    WriteRecords(handle, 3, 1);
    ASSERT_EQ(EdfAddAnnotation(handle, "A2", 123), 0);
    ASSERT_EQ(EdfAddAnnotation(handle, "A3", 30'000), 0);
    ASSERT_EQ(EdfAddAnnotation(handle, "A4", 40'000), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);

    auto bytes = Bytes("a.edf");
    ASSERT_EQ(bytes.size(), 768u + 3 * 116u);
    EXPECT_TRUE(BytesAt(bytes, 236, "3       "));
    EXPECT_TRUE(BytesAt(bytes, 768 + 2,
                        ZeroFilledSlot(std::string("+0\x14\x14\0+0\x14"
                                                   "A0\x14",
                                                   11))));
    EXPECT_TRUE(BytesAt(bytes, 768 + 116 + 2,
                        ZeroFilledSlot(std::string("+1\x14\x14\0+2.5000\x14"
                                                   "A1\x14",
                                                   16))));
    EXPECT_TRUE(BytesAt(bytes, 768 + 232 + 2,
                        ZeroFilledSlot(std::string("+2\x14\x14\0+0.0123\x14"
                                                   "A2\x14",
                                                   16))));
    std::string all(bytes.begin(), bytes.end());
    EXPECT_EQ(all.find("A3"), std::string::npos);
    EXPECT_EQ(all.find("A4"), std::string::npos);
}

TEST_F(EdfFileEngineTest, OneRecordKeepsOnlyTheFirstAnnotation)
{
    int handle = OpenReady("one.edf", 1, 1);
    ASSERT_EQ(EdfAddAnnotation(handle, "Recording starts", 0), 0);
    WriteRecords(handle, 1, 1);
    ASSERT_EQ(EdfAddAnnotation(handle, "Event", 3), 0);
    ASSERT_EQ(EdfAddAnnotation(handle, "Recording ends", 5), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EdfFile file = Parsed("one.edf");
    ASSERT_EQ(file.annotations.size(), 1u);
    EXPECT_EQ(file.annotations[0].onset, "+0");
    EXPECT_EQ(file.annotations[0].texts, std::vector<std::string>{"Recording starts"});
}

TEST_F(EdfFileEngineTest, AnnotationTextIsCutAndConverted)
{
    int handle = OpenReady("t.edf", 1, 1);
    std::string fifty;
    for (int i = 0; i < 50; ++i)
        fifty.push_back(static_cast<char>('a' + i % 26));
    std::string fortyEndingInE9 = std::string(39, 'x') + "\xE9";
    const std::string texts[] = {fifty, "caf\xE9 au lait", fortyEndingInE9, "tab\there"};
    for (const std::string& text : texts)
        ASSERT_EQ(EdfAddAnnotation(handle, text.c_str(), 0), 0);
    WriteRecords(handle, 4, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);

    EdfFile file = Parsed("t.edf");
    ASSERT_EQ(file.annotations.size(), 4u);
    EXPECT_EQ(file.annotations[0].texts[0], fifty.substr(0, 40));
    EXPECT_EQ(file.annotations[1].texts[0], "caf\xC3\xA9 au lai");  // held to the text's 12 bytes
    EXPECT_EQ(file.annotations[2].texts[0], std::string(39, 'x') + " ");
    EXPECT_EQ(file.annotations[3].texts[0], "tab.here");
}

TEST_F(EdfFileEngineTest, NegativeOnsetIsRefused)
{
    int handle = OpenReady("o.edf", 1, 1);
    EXPECT_EQ(EdfAddAnnotation(handle, "before", -1), -1);
    EXPECT_EQ(EdfAddAnnotation(handle, "start", 0), 0);
    WriteRecords(handle, 2, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EdfFile file = Parsed("o.edf");
    ASSERT_EQ(file.annotations.size(), 1u);
    EXPECT_EQ(file.annotations[0].texts[0], "start");
}

TEST_F(EdfFileEngineTest, AnnotationListGrowsBeyondItsFirstThousand)
{
    int handle = OpenReady("g.edf", 1, 1);
    for (int i = 0; i < 2'500; ++i)
        ASSERT_EQ(EdfAddAnnotation(handle, Numbered("e", i, "").c_str(), i), 0) << i;
    WriteRecords(handle, 2'500, 1);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EdfFile file = Parsed("g.edf");
    ASSERT_EQ(file.annotations.size(), 2'500u);
    EXPECT_EQ(file.annotations[2'499].record, 2'499);
    EXPECT_EQ(file.annotations[2'499].onset, "+0.2499");
    EXPECT_EQ(file.annotations[2'499].texts[0], "e2499");
}

// ---- closing before the first record

TEST_F(EdfFileEngineTest, CloseWithoutRecordsWritesOneZeroRecordPerAnnotation)
{
    int handle = EdfOpenFile(PathOf("empty.edf").c_str(), 2);
    SetSignal(handle, 0, 3, 100, 200);  // 0 clamps to 100
    SetSignal(handle, 1, 2, -10, 10);
    ASSERT_EQ(EdfAddAnnotation(handle, "Recording starts", 0), 0);
    ASSERT_EQ(EdfAddAnnotation(handle, "Recording ends", 0), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);

    EdfFile file = Parsed("empty.edf");  // checks size = header + records × record size
    EXPECT_EQ(file.recordCount, 2);
    EXPECT_EQ(file.samplesPerSignal[0], std::vector<int16_t>(6, 100));
    EXPECT_EQ(file.samplesPerSignal[1], std::vector<int16_t>(4, 0));
    EXPECT_EQ(file.recordStartTimes, (std::vector<std::string>{"+0", "+1"}));
    ASSERT_EQ(file.annotations.size(), 2u);
    EXPECT_EQ(file.annotations[0].texts[0], "Recording starts");
    EXPECT_EQ(file.annotations[1].texts[0], "Recording ends");
    EXPECT_EQ(file.annotations[1].record, 1);
}

TEST_F(EdfFileEngineTest, CloseWithoutRecordsOrAnnotationsLeavesTheHeaderOnly)
{
    int handle = OpenReady("bare.edf", 1, 5);
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EdfFile file = Parsed("bare.edf");
    EXPECT_EQ(file.recordCount, 0);
    EXPECT_EQ(Bytes("bare.edf").size(), 768u);
    EXPECT_TRUE(BytesAt(Bytes("bare.edf"), 236, "0       "));
}

// ---- write failures

TEST_F(EdfFileEngineTest, FailedWriteOnFullDeviceCountsNoRecord)
{
    if (!CanWriteDevFull())
        GTEST_SKIP() << "/dev/full cannot be opened for writing here";
    int handle = EdfOpenFile("/dev/full", 1);
    ASSERT_GE(handle, 0);
    SetSignal(handle, 0, 4, -10, 10);
    const int16_t samples[4] = {};
    EXPECT_EQ(EdfWriteRecord(handle, samples), -1);
    EXPECT_EQ(EdfSetLabel(handle, 0, "still open"), 0);  // no record counted: parameters still open
    EXPECT_EQ(EdfWriteRecord(handle, samples), -1);
    EXPECT_EQ(EdfAddAnnotation(handle, "lost", 0), 0);
    EXPECT_EQ(EdfCloseFile(handle), 0);       // failures at close are not reported
    int again = EdfOpenFile("/dev/full", 0);  // the slot and the path are free again
    EXPECT_EQ(again, handle);
    EXPECT_EQ(EdfCloseFile(again), 0);
}

// Provokes a real failed write in the middle of a file: the file size limit (with SIGXFSZ
// ignored) makes write(2) fail with EFBIG past it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool active = false;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

TEST_F(EdfFileEngineTest, FailedRecordIsNotCountedAndIsRewrittenInPlace)
{
    // header 768, records of 100 × 2 + 114 = 314 bytes: two records end at 1,396, a third at 1,710
    int handle = OpenReady("limit.edf", 1, 100);
    WriteRecords(handle, 2, 100);
    std::vector<int16_t> samples(100, 7);
    {
        FileSizeLimit limit(1'500);
        ASSERT_TRUE(limit.active);
        EXPECT_EQ(EdfWriteRecord(handle, samples.data()), -1);
        EXPECT_EQ(EdfWriteRecord(handle, samples.data()), -1);
    }
    EXPECT_EQ(EdfSetLabel(handle, 0, "x"), -1);  // recording: two records were written
    samples.assign(100, 9);
    ASSERT_EQ(EdfWriteRecord(handle, samples.data()), 0);
    ASSERT_EQ(EdfCloseFile(handle), 0);

    EdfFile file = Parsed("limit.edf");
    EXPECT_EQ(file.recordCount, 3);
    std::vector<int16_t> expected(100, 0);
    expected.insert(expected.end(), 100, 1);
    expected.insert(expected.end(), 100, 9);
    EXPECT_EQ(file.samplesPerSignal[0], expected);
    EXPECT_EQ(file.recordStartTimes, (std::vector<std::string>{"+0", "+1", "+2"}));
}

TEST_F(EdfFileEngineTest, CloseAfterFailedRecordKeepsTheWholeRecordsOnly)
{
    int handle = OpenReady("cut.edf", 1, 100);
    ASSERT_EQ(EdfAddAnnotation(handle, "kept", 0), 0);
    WriteRecords(handle, 2, 100);
    {
        FileSizeLimit limit(1'500);
        ASSERT_TRUE(limit.active);
        std::vector<int16_t> samples(100, 7);
        EXPECT_EQ(EdfWriteRecord(handle, samples.data()), -1);
    }
    ASSERT_EQ(EdfCloseFile(handle), 0);
    EdfFile file = Parsed("cut.edf");  // 1,396 bytes, not the 1,500 the failed record left
    EXPECT_EQ(file.recordCount, 2);
    ASSERT_EQ(file.annotations.size(), 1u);
    EXPECT_EQ(file.annotations[0].texts[0], "kept");
}
