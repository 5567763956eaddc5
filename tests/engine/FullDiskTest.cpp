// Conversions onto a disk that runs full: a small tmpfs holds the recording, the log file and the
// output, sized so that the inputs fit and the output does not. A data record whose bytes do not
// all reach the disk fails the conversion with the writer's message; the records that did reach
// it, and every file finished before, stay readable.
#include "engine/ConversionRun.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/TmpfsMount.h"

using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;

namespace {

// One channel at 1,000 Hz: one-second data records of 1,000 samples, 2,114 bytes each (with the
// 114-byte annotation slot) behind a 768-byte header.
constexpr int64_t samplesPerRecord = 1000;

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

    // Converts CSC1.ocs with Events.oev into DevOutput.edf with the engine alone (no log file on
    // the disk), its messages as "Type: text".
    int ConvertChannelAndEvents(std::vector<std::wstring>& messages, const ConversionOptions& options = {})
    {
        OrvToEDF engine;
        engine.SetOptions(options);
        SubscriptionId id = 0;
        engine.Subscribe(
            [&](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
                messages.push_back(OrvLogging::MessageTypeName(type) + L": " + text);
            },
            id);
        return engine.Convert(PathOf("DevOutput.edf"), PathOf("Events.oev"), {PathOf("CSC1.ocs")});
    }

    // Shrinks the disk to the inputs plus `pages` free pages.
    void LeaveFreePages(uint64_t pages) { ASSERT_TRUE(disk.LeaveFreePages(pages)) << disk.Reason(); }

    // The Warning about the file that the run left unfinished, with the records it kept.
    std::wstring UnfinishedWarning(const std::string& name, int64_t records) const
    {
        return L"The conversion stopped before EDF file " + PathOf(name) + L" was complete: its "
               + std::to_wstring(records) + L" data records are kept as " + PathOf("." + name + ".partial")
               + L", a name that is not taken for a finished EDF file.";
    }

    TmpfsMount disk;
    std::filesystem::path recording;
};

TEST_F(FullDiskTest, DiskFullInTheFirstFileFailsTheRunWithTheWritersMessage)
{
    WriteChannel(ContinuousRecords(july5th2017, 1000, 20000, 0));  // 20 data records
    const std::vector<unsigned char> input = ReadFileBytes(recording / "CSC1.ocs");
    // The log file takes the first free page, the output the other two: three data records
    // (7,110 bytes) fit, four do not.
    LeaveFreePages(3);

    LogFile logFile;
    CapturingFrontend frontend(logFile);
    EXPECT_EQ(RunIn(recording, logFile, frontend), -1);
    // An EDF+ file of the records that reached the disk whole: the header counts them and the
    // cut-off record after them is gone. It began, but it has no end, so it keeps the name under
    // which it was written, which a Warning tells.
    EXPECT_FALSE(std::filesystem::exists(recording / "DevOutput.edf"));
    const EdfFile edf = Parsed(recording / ".DevOutput.edf.partial");
    ASSERT_GE(frontend.events.size(), 6u);
    EXPECT_EQ(std::vector<std::wstring>(frontend.events.end() - 6, frontend.events.end()),
              (std::vector<std::wstring>{L"Notice: EDF File Opened Successfully: " + PathOf("DevOutput.edf"),
                                         L"Error: Error writing data to file",
                                         L"Error: " + PathOf("DevOutput.edf") + L": No space left on device.",
                                         L"Warning: " + UnfinishedWarning("DevOutput.edf", edf.recordCount),
                                         L"result: Conversion Failed", L"ended"}));
    EXPECT_EQ(ReadFileBytes(recording / "CSC1.ocs"), input);
    const std::vector<std::string> log = NonEmptyLines(recording / "VareloLogFile.txt");
    ASSERT_GE(log.size(), 4u);
    EXPECT_TRUE(log[log.size() - 4].ends_with(" - Error writing data to file")) << log[log.size() - 4];
    EXPECT_TRUE(log[log.size() - 3].ends_with("/DevOutput.edf: No space left on device.")) << log[log.size() - 3];
    EXPECT_EQ(log.back(), "Log File Closed - End of File\r");

    EXPECT_GE(edf.recordCount, 1);
    EXPECT_LT(edf.recordCount, 20);
    EXPECT_EQ(edf.samplesPerSignal.at(0), Ramp(0, static_cast<size_t>(edf.recordCount * samplesPerRecord)));
    EXPECT_EQ(TalTexts(edf), std::vector<std::string>{"+0 Recording starts"});
}

TEST_F(FullDiskTest, DiskFullInALaterSegmentKeepsTheFilesFinishedBefore)
{
    // 3,000 samples, a 10 s gap, then 20,000 samples: a file of 3 records, then one of 20.
    std::vector<CscRecord> records = ContinuousRecords(july5th2017, 1000, 3000, 0);
    const std::vector<CscRecord> second = ContinuousRecords(july5th2017 + 10000000, 1000, 20000, 5000);
    records.insert(records.end(), second.begin(), second.end());
    WriteChannel(records);
    RecordingBuilder::WriteEventFile(recording / "Events.oev", {"-FileType Event"},
                                     {{july5th2017 + 1000000, "first"}, {july5th2017 + 11000000, "second"}});
    // Two pages for the first file (7,110 bytes), two for the second: three of its records fit.
    LeaveFreePages(4);

    std::vector<std::wstring> messages;
    EXPECT_EQ(ConvertChannelAndEvents(messages), -1);
    const EdfFile cut = Parsed(recording / ".DevOutput_01.edf.partial");
    EXPECT_EQ(messages, (std::vector<std::wstring>{
                            L"Notice: Session UUIDs successfull verified for all CSC files.",
                            L"Notice: EDF File Opened Successfully: " + PathOf("DevOutput.edf"),
                            L"Notice: EDF File Opened Successfully: " + PathOf("DevOutput_01.edf"),
                            L"Error: Error writing data to file",
                            L"Error: " + PathOf("DevOutput_01.edf") + L": No space left on device.",
                            L"Warning: " + UnfinishedWarning("DevOutput_01.edf", cut.recordCount),
                        }));

    const EdfFile first = Parsed(recording / "DevOutput.edf");
    EXPECT_EQ(first.samplesPerSignal.at(0), Ramp(0, 3000));
    EXPECT_EQ(TalTexts(first), (std::vector<std::string>{"+0 Recording starts", "+1 first", "+2.9990 Recording ends"}));
    EXPECT_FALSE(std::filesystem::exists(recording / "DevOutput_01.edf"));

    EXPECT_GE(cut.recordCount, 1);
    EXPECT_LT(cut.recordCount, 20);
    EXPECT_EQ(cut.samplesPerSignal.at(0), Ramp(5000, static_cast<size_t>(cut.recordCount * samplesPerRecord)));
    EXPECT_EQ(TalTexts(cut), std::vector<std::string>{"+0 Recording starts"});
}

TEST_F(FullDiskTest, NoFileCanBeCreatedAtAll)
{
    WriteChannel(ContinuousRecords(july5th2017, 1000, 3000, 0));
    ASSERT_TRUE(disk.LeaveNoFreeInode()) << disk.Reason();
    LogFile logFile;
    std::vector<std::wstring> boxes;
    logFile.SetMessageBoxHandler([&](const std::wstring& caption, const std::wstring&) { boxes.push_back(caption); });

    CapturingFrontend frontend(logFile);
    EXPECT_EQ(RunIn(recording, logFile, frontend), -1);

    EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Log File Error", L"Log File Error"}));
    EXPECT_EQ(frontend.events,
              (std::vector<std::wstring>{
                  L"started",
                  L"Error: Unable to create set log file name.",
                  L"Error: " + PathOf("VareloLogFile.txt") + L": No space left on device.",
                  L"Error: Unable to open log file.",
                  L"Error: " + PathOf("VareloLogFile.txt") + L": No space left on device.",
                  L"Notice: Event file string is empty, event file will not be processed as part of this conversion.",
                  L"Notice: Session UUIDs successfull verified for all CSC files.",
                  L"Error: Unable to open EDF file named: " + PathOf("DevOutput.edf"),
                  L"Error: " + PathOf("DevOutput.edf") + L": No space left on device.",
                  L"result: Conversion Failed",
                  L"Error: Unable to close log file.",
                  L"ended",
              }));
    EXPECT_FALSE(std::filesystem::exists(recording / "DevOutput.edf"));
    EXPECT_FALSE(std::filesystem::exists(recording / "VareloLogFile.txt"));
}

TEST_F(FullDiskTest, AnnotationsThatFindNoRoomAreLeftOutWithAWarning)
{
    // 3 records (7,110 bytes, two pages) and 12 annotations: the file fits, its rewrite with a
    // wider annotation signal does not, so it keeps one annotation per record, as written.
    WriteChannel(ContinuousRecords(july5th2017, 1000, 3000, 0));
    std::vector<RecordingBuilder::EventRecord> events;
    for (int i = 0; i < 10; ++i)
        events.push_back({july5th2017 + 100000 * static_cast<uint64_t>(i + 1), "event " + std::to_string(i)});
    RecordingBuilder::WriteEventFile(recording / "Events.oev", {"-FileType Event"}, events);
    LeaveFreePages(2);

    std::vector<std::wstring> messages;
    EXPECT_EQ(ConvertChannelAndEvents(messages), 0);
    EXPECT_EQ(messages.back(), L"Warning: Unable to keep every annotation in EDF file " + PathOf("DevOutput.edf")
                                   + L": 9 of 12 were left out, since the file could not be rewritten with room for "
                                     L"them.");
    EXPECT_EQ(TalTexts(Parsed(recording / "DevOutput.edf")),
              (std::vector<std::string>{"+0 Recording starts", "+0.1000 event 0", "+0.2000 event 1"}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(recording), {}), 3) << "no temporary file is left";
}

TEST_F(FullDiskTest, WholeTextsThatFindNoRoomAreCutWithAWarning)
{
    // 3 records and 3 annotations, one with a text of 60 bytes: the file fits, its rewrite with
    // slots wide enough for the text does not, so the text keeps its first 40 bytes.
    WriteChannel(ContinuousRecords(july5th2017, 1000, 3000, 0));
    const std::string text(60, 'w');
    RecordingBuilder::WriteEventFile(recording / "Events.oev", {"-FileType Event"}, {{july5th2017 + 100000, text}});
    LeaveFreePages(2);

    ConversionOptions options;
    options.wholeTexts = true;
    std::vector<std::wstring> messages;
    EXPECT_EQ(ConvertChannelAndEvents(messages, options), 0);
    EXPECT_EQ(messages.back(), L"Warning: Unable to keep every annotation text whole in EDF file "
                                   + PathOf("DevOutput.edf")
                                   + L": those longer than 40 bytes were cut, since the file could not be rewritten "
                                     L"with room for them.");
    EXPECT_EQ(
        TalTexts(Parsed(recording / "DevOutput.edf")),
        (std::vector<std::string>{"+0 Recording starts", "+0.1000 " + text.substr(0, 40), "+2.9990 Recording ends"}));
}
