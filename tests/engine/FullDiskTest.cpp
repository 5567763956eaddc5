// Conversions onto a disk that runs full: a small tmpfs holds the recording, the log file and the
// output, sized so that the inputs fit and the output does not. A data record whose bytes do not
// all reach the disk fails the conversion with the writer's message; the records that did reach
// it, and every file finished before, stay readable.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "engine/ConversionRun.h"
#include "engine/OrvToEDF.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/support/EdfParser.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmpfsMount.h"

using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;

namespace {

// One channel at 1,000 Hz: one-second data records of 1,000 samples, 2,114 bytes each (with the
// 114-byte annotation slot) behind a 768-byte header.
constexpr int frequency = 1000;
constexpr int64_t samplesPerRecord = 1000;
constexpr uint64_t july5th2017 = 1499248800ull * 1000000;  // 2017-07-05 10:00:00 UTC, µs

std::vector<int16_t> Ramp(int16_t first, size_t count)
{
    std::vector<int16_t> samples(count);
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

// The lines of a file that are not empty.
std::vector<std::string> Lines(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!disk.IsMounted())
            GTEST_SKIP() << "no size-limited disk for this test: " << disk.Reason();
        recording = disk.path / "rec";
        std::filesystem::create_directory(recording);
    }

    std::wstring PathOf(const std::string& name) const { return (recording / name).wstring(); }

    void WriteChannel(const std::vector<CscRecord>& records)
    {
        RecordingBuilder::WriteCscFile(recording / "CSC1.ocs", RecordingBuilder::ChannelHeader({}), records);
    }

    // Shrinks the disk to the inputs plus `pages` free pages.
    void LeaveFreePages(uint64_t pages)
    {
        ASSERT_TRUE(disk.LeaveFree(pages * TmpfsMount::PageBytes())) << disk.Reason();
        ASSERT_EQ(disk.FreeBytes(), pages * TmpfsMount::PageBytes());
    }

    int Run(CapturingFrontend& frontend)
    {
        std::vector<std::wstring> cscFiles;
        std::wstring eventFile;
        ScanDirectory(recording.wstring(), cscFiles, eventFile);
        return RunConversion(recording.wstring(), cscFiles, eventFile, logFile, frontend);
    }

    std::vector<std::wstring> RunUpToTheEngine() const
    {
        return {L"wait",
                L"Notice: Event file string is empty, event file will not be processed as part of this conversion.",
                L"Notice: Session UUIDs successfull verified for all CSC files.",
                L"Notice: EDF File Opened Successfully: " + PathOf("DevOutput.edf")};
    }

    TmpfsMount disk;
    std::filesystem::path recording;
    LogFile logFile;
};

TEST_F(FullDiskTest, DiskFullInTheFirstFileFailsTheRunWithTheWritersMessage)
{
    WriteChannel(ContinuousRecords(july5th2017, frequency, 20000, 0));  // 20 data records
    const std::vector<unsigned char> input = ReadFileBytes(recording / "CSC1.ocs");
    // One page for the log file, two for the output: three records fit (7,110 bytes), not four.
    LeaveFreePages(3);

    CapturingFrontend frontend(logFile);
    EXPECT_EQ(Run(frontend), -1);

    std::vector<std::wstring> expected = RunUpToTheEngine();
    expected.insert(expected.end(), {L"Error: Error writing data to file",
                                     L"box Conversion Results: Conversion Failed", L"arrow"});
    EXPECT_EQ(frontend.events, expected);

    // The log file got its page first: it holds the failure and its closing line.
    const std::vector<std::string> log = Lines(recording / "VareloLogFile.txt");
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(EndsWith(log[log.size() - 2], " - Error writing data to file")) << log[log.size() - 2];
    EXPECT_EQ(log.back(), "Log File Closed - End of File\r");

    // What is left is an EDF+ file of the records that reached the disk whole: the header counts
    // them and the cut-off record after them is gone. It began, but it has no end.
    EdfFile edf;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(recording / "DevOutput.edf", edf, error)) << error;
    EXPECT_GE(edf.recordCount, 1);
    EXPECT_LT(edf.recordCount, 20);
    EXPECT_EQ(edf.samplesPerSignal[0], Ramp(0, static_cast<size_t>(edf.recordCount * samplesPerRecord)));
    EXPECT_EQ(TalTexts(edf), std::vector<std::string>{"+0 Recording starts"});

    EXPECT_EQ(ReadFileBytes(recording / "CSC1.ocs"), input);
}

TEST_F(FullDiskTest, DiskFullInALaterSegmentKeepsTheFilesFinishedBefore)
{
    // 3,000 samples, a 10 s gap, then 20,000 samples: a file of 3 records, then one of 20.
    std::vector<CscRecord> records = ContinuousRecords(july5th2017, frequency, 3000, 0);
    const std::vector<CscRecord> second = ContinuousRecords(july5th2017 + 10000000, frequency, 20000, 5000);
    records.insert(records.end(), second.begin(), second.end());
    WriteChannel(records);
    RecordingBuilder::WriteEventFile(recording / "Events.oev", {"-FileType Event"},
                                     {{july5th2017 + 1000000, "first"}, {july5th2017 + 11000000, "second"}});
    // Two pages for the first file (7,110 bytes), two for the second: three of its records fit.
    LeaveFreePages(4);

    OrvToEDF engine;
    SubscriptionId id = 0;
    std::vector<std::wstring> messages;
    engine.Subscribe([&](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
        messages.push_back(CapturingFrontend::TypeName(type) + L": " + text);
    }, id);
    EXPECT_EQ(engine.Convert(PathOf("DevOutput.edf"), PathOf("Events.oev"), {PathOf("CSC1.ocs")}), -1);
    EXPECT_EQ(messages, (std::vector<std::wstring>{
                            L"Notice: Session UUIDs successfull verified for all CSC files.",
                            L"Notice: EDF File Opened Successfully: " + PathOf("DevOutput.edf"),
                            L"Notice: EDF File Opened Successfully: " + PathOf("DevOutput_01.edf"),
                            L"Error: Error writing data to file",
                        }));

    EdfFile first;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(recording / "DevOutput.edf", first, error)) << error;
    EXPECT_EQ(first.recordCount, 3);
    EXPECT_EQ(first.samplesPerSignal[0], Ramp(0, 3000));
    EXPECT_EQ(TalTexts(first), (std::vector<std::string>{"+0 Recording starts", "+1 first", "+2.9990 Recording ends"}));

    EdfFile cut;
    ASSERT_TRUE(ParseEdfFile(recording / "DevOutput_01.edf", cut, error)) << error;
    EXPECT_GE(cut.recordCount, 1);
    EXPECT_LT(cut.recordCount, 20);
    EXPECT_EQ(cut.startTime, "10.00.10");
    EXPECT_EQ(cut.samplesPerSignal[0], Ramp(5000, static_cast<size_t>(cut.recordCount * samplesPerRecord)));
    EXPECT_EQ(TalTexts(cut), std::vector<std::string>{"+0 Recording starts"});
}

TEST_F(FullDiskTest, NoRoomForTheHeaderFailsTheFirstRecordAndTheLogKeepsIt)
{
    WriteChannel(ContinuousRecords(july5th2017, frequency, 3000, 0));
    LeaveFreePages(1);  // the log file takes it: not one byte of the output reaches the disk

    CapturingFrontend frontend(logFile);
    EXPECT_EQ(Run(frontend), -1);

    std::vector<std::wstring> expected = RunUpToTheEngine();
    expected.insert(expected.end(), {L"Error: Error writing data to file",
                                     L"box Conversion Results: Conversion Failed", L"arrow"});
    EXPECT_EQ(frontend.events, expected);
    const std::vector<std::string> log = Lines(recording / "VareloLogFile.txt");
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(EndsWith(log[log.size() - 2], " - Error writing data to file")) << log[log.size() - 2];
    EXPECT_EQ(log.back(), "Log File Closed - End of File\r");

    EdfFile edf;
    std::string error;
    EXPECT_FALSE(ParseEdfFile(recording / "DevOutput.edf", edf, error));  // nothing of it is readable
}

TEST_F(FullDiskTest, NoRoomForTheLogStillShowsEveryMessage)
{
    WriteChannel(ContinuousRecords(july5th2017, frequency, 3000, 0));
    LeaveFreePages(0);

    CapturingFrontend frontend(logFile);
    EXPECT_EQ(Run(frontend), -1);

    // A log line that cannot be written is not detected: the run goes on and shows everything.
    std::vector<std::wstring> expected = RunUpToTheEngine();
    expected.insert(expected.end(), {L"Error: Error writing data to file",
                                     L"box Conversion Results: Conversion Failed", L"arrow"});
    EXPECT_EQ(frontend.events, expected);
    EXPECT_EQ(std::filesystem::file_size(recording / "VareloLogFile.txt"), 0u);
}

TEST_F(FullDiskTest, NoFileCanBeCreatedAtAll)
{
    WriteChannel(ContinuousRecords(july5th2017, frequency, 3000, 0));
    ASSERT_TRUE(disk.LeaveNoFreeInode()) << disk.Reason();
    std::vector<std::wstring> boxes;
    logFile.SetMessageBoxHandler([&](const std::wstring& caption, const std::wstring&) { boxes.push_back(caption); });

    CapturingFrontend frontend(logFile);
    EXPECT_EQ(Run(frontend), -1);

    EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Log File Error", L"Log File Error"}));
    EXPECT_EQ(frontend.events,
              (std::vector<std::wstring>{
                  L"wait",
                  L"Error: Unable to create set log file name.",
                  L"Error: Unable to open log file.",
                  L"Notice: Event file string is empty, event file will not be processed as part of this conversion.",
                  L"Notice: Session UUIDs successfull verified for all CSC files.",
                  L"Error: Unable to open EDF file named: " + PathOf("DevOutput.edf"),
                  L"box Conversion Results: Conversion Failed",
                  L"Error: Unable to close log file.",
                  L"arrow",
              }));
    EXPECT_FALSE(std::filesystem::exists(recording / "DevOutput.edf"));
    EXPECT_FALSE(std::filesystem::exists(recording / "VareloLogFile.txt"));
}

// Writes at close are not checked: a file that gets its first bytes only when it is closed (a
// segment without a sample instant) fails on a full disk without a word, and the run completes.
TEST_F(FullDiskTest, FailedWritesAtCloseAreNotReported)
{
    WriteChannel(ContinuousRecords(july5th2017, frequency, 600, 0));
    RecordingBuilder::Channel second;
    second.name = "CSC2";
    RecordingBuilder::WriteCscFile(recording / "CSC2.ocs", RecordingBuilder::ChannelHeader(second),
                                   ContinuousRecords(july5th2017 + 500, frequency, 600, 0));  // never meets CSC1
    LeaveFreePages(1);

    CapturingFrontend frontend(logFile);
    EXPECT_EQ(Run(frontend), 0);
    EXPECT_EQ(frontend.events.back(), L"arrow");
    EXPECT_EQ(frontend.events[frontend.events.size() - 2], L"box Conversion Results: Conversion Complete");
    EXPECT_EQ(std::count_if(frontend.events.begin(), frontend.events.end(),
                            [](const std::wstring& event) { return event.rfind(L"Error: ", 0) == 0; }),
              0);
}

// A conversion that fails while its output file is open leaves that file closed: one process
// can run more failing conversions than the file engine has slots, and still open its output.
TEST(FailedConversionTest, FailedTransferLeavesNoOutputFileOpen)
{
    TempDir dir;
    std::vector<CscRecord> records = ContinuousRecords(july5th2017, frequency, 2000, 0);
    records[2].validSamples = 513;  // corrupt: the reader refuses it after the first data record
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}), records);
    const std::wstring csc = (dir.path / "CSC1.ocs").wstring();
    for (int run = 0; run < 70; ++run) {
        OrvToEDF engine;
        SubscriptionId id = 0;
        std::wstring last;
        engine.Subscribe([&](OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring& text) { last = text; }, id);
        ASSERT_EQ(engine.Convert((dir.path / "DevOutput.edf").wstring(), L"", {csc}), -1);
        ASSERT_EQ(last.rfind(L"Corrupt record 2 in file " + csc, 0), 0u) << "run " << run;
    }
    // Each file holds the one data record written before the corrupt record was reached.
    EdfFile edf;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(dir.path / "DevOutput.edf", edf, error)) << error;
    EXPECT_EQ(edf.samplesPerSignal[0], Ramp(0, 1000));
    EXPECT_EQ(TalTexts(edf), std::vector<std::string>{"+0 Recording starts"});
}

// A parameter that the writer refuses leaves a file that can never get a valid header: it is
// given up, empty, and its name is free for the next run once the user has removed it.
TEST(FailedConversionTest, RefusedParameterLeavesNoOutputFileOpen)
{
    TempDir dir;
    RecordingBuilder::Channel channel;
    channel.adMaxValue = "40000";  // beyond the 16-bit digital range
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader(channel),
                                   ContinuousRecords(july5th2017, frequency, 2000, 0));
    const std::wstring csc = (dir.path / "CSC1.ocs").wstring();
    for (int run = 0; run < 70; ++run) {
        std::filesystem::remove(dir.path / "DevOutput.edf");
        OrvToEDF engine;
        SubscriptionId id = 0;
        std::wstring last;
        engine.Subscribe([&](OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring& text) { last = text; }, id);
        ASSERT_EQ(engine.Convert((dir.path / "DevOutput.edf").wstring(), L"", {csc}), -1);
        ASSERT_EQ(last, L"Error writing digital maximum header value") << "run " << run;
        ASSERT_EQ(std::filesystem::file_size(dir.path / "DevOutput.edf"), 0u);
    }
}
