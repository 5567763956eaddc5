#include "engine/ConversionRun.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

namespace {

// Records what a run shows, in order.
class RecordingFrontend : public ConversionFrontend {
public:
    explicit RecordingFrontend(LogFile& logFile) : logFile(logFile) {}

    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) override
    {
        events.push_back(L"message " + text);
        (void)logFile.LogMessage(type, text);
    }
    void ShowResult(const std::wstring& caption, const std::wstring& text) override
    {
        events.push_back(L"box " + caption + L": " + text);
    }
    void BeginWait() override { events.push_back(L"wait"); }
    void EndWait() override { events.push_back(L"arrow"); }
    void OnProgress(double fraction) override
    {
        EXPECT_GE(fraction, 0.0);
        EXPECT_LE(fraction, 1.0);
        ++progressCalls;
    }

    LogFile& logFile;
    std::vector<std::wstring> events;
    int progressCalls = 0;
};

std::string LastLine(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty())
            last = line;
    }
    return last;
}

}  // namespace

class ConversionRunTest : public ::testing::Test {
protected:
    void WriteChannel(const std::string& fileName, size_t sampleCount)
    {
        RecordingBuilder::Channel channel;
        RecordingBuilder::WriteCscFile(dir.path / fileName, RecordingBuilder::ChannelHeader(channel),
                                       RecordingBuilder::ContinuousRecords(1000000, 1000, sampleCount, 0));
    }

    std::wstring Directory() const { return dir.path.wstring(); }

    TempDir dir;
    LogFile logFile;
};

TEST_F(ConversionRunTest, ScanListsChannelFilesInTheWorkstationsOrder)
{
    for (const char* name : {"b.ocs", "A.ocs", "a.ocs", "C10.ocs", "C9.ocs", "upper.OCS", "notes.txt", "x.ocsv"})
        Touch(dir.path / name);
    std::filesystem::create_directory(dir.path / "folder.ocs");
    Touch(dir.path / "second.oev");
    Touch(dir.path / "First.OEV");

    std::vector<std::wstring> cscFiles{L"stale"};
    std::wstring eventFile = L"stale";
    ScanDirectory(Directory(), cscFiles, eventFile);
    // Letters folded first ("A" and "a" tie), then bytes ("A" before "a"); "upper.OCS" matches
    // the pattern but not the case-sensitive ".ocs" test.
    const std::wstring d = Directory() + L"/";
    EXPECT_EQ(cscFiles, (std::vector<std::wstring>{d + L"A.ocs", d + L"a.ocs", d + L"b.ocs", d + L"C10.ocs",
                                                   d + L"C9.ocs"}));
    EXPECT_EQ(eventFile, d + L"First.OEV");
}

TEST_F(ConversionRunTest, ScanOfAnEmptyOrMissingDirectoryFindsNothing)
{
    std::vector<std::wstring> cscFiles{L"stale"};
    std::wstring eventFile = L"stale";
    ScanDirectory(Directory(), cscFiles, eventFile);
    EXPECT_TRUE(cscFiles.empty());
    EXPECT_TRUE(eventFile.empty());
    ScanDirectory(Directory() + L"/absent", cscFiles, eventFile);
    EXPECT_TRUE(cscFiles.empty());
}

TEST_F(ConversionRunTest, RunWritesTheLogAndShowsTheResultBeforeClosingIt)
{
    WriteChannel("CSC1.ocs", 3000);
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(Directory(), cscFiles, eventFile);
    RecordingFrontend frontend(logFile);
    ASSERT_EQ(RunConversion(Directory(), cscFiles, eventFile, logFile, frontend), 0);

    ASSERT_GE(frontend.events.size(), 4u);
    EXPECT_EQ(frontend.events.front(), L"wait");
    EXPECT_EQ(frontend.events[frontend.events.size() - 2], L"box Conversion Results: Conversion Complete");
    EXPECT_EQ(frontend.events.back(), L"arrow");
    EXPECT_GT(frontend.progressCalls, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "DevOutput.edf"));
    EXPECT_EQ(LastLine(dir.path / "VareloLogFile.txt"), "Log File Closed - End of File\r");
}

TEST_F(ConversionRunTest, EmptyDirectoryFails)
{
    RecordingFrontend frontend(logFile);
    EXPECT_EQ(RunConversion(Directory(), {}, L"", logFile, frontend), -1);
    EXPECT_EQ(frontend.events[frontend.events.size() - 3],
              L"message There were not any valid CSC files specified.  File conversion has been aborted.");
    EXPECT_EQ(frontend.events[frontend.events.size() - 2], L"box Conversion Results: Conversion Failed");
}

TEST_F(ConversionRunTest, UnwritableLogFileDoesNotStopTheConversion)
{
    WriteChannel("CSC1.ocs", 1000);
    std::filesystem::create_directory(dir.path / "VareloLogFile.txt");  // the log file cannot be created
    std::vector<std::wstring> boxes;
    logFile.SetMessageBoxHandler([&](const std::wstring& caption, const std::wstring&) { boxes.push_back(caption); });
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(Directory(), cscFiles, eventFile);
    RecordingFrontend frontend(logFile);
    ASSERT_EQ(RunConversion(Directory(), cscFiles, eventFile, logFile, frontend), 0);

    EXPECT_EQ(boxes, (std::vector<std::wstring>{L"Log File Error", L"Log File Error"}));
    ASSERT_GE(frontend.events.size(), 5u);
    EXPECT_EQ(frontend.events[1], L"message Unable to create set log file name.");
    EXPECT_EQ(frontend.events[2], L"message Unable to open log file.");
    EXPECT_EQ(frontend.events[frontend.events.size() - 2], L"message Unable to close log file.");
    EXPECT_TRUE(std::filesystem::exists(dir.path / "DevOutput.edf"));
}

TEST_F(ConversionRunTest, SecondRunOnTheSameLogFileSaysItMoved)
{
    WriteChannel("CSC1.ocs", 1000);
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(Directory(), cscFiles, eventFile);
    RecordingFrontend frontend(logFile);
    ASSERT_EQ(RunConversion(Directory(), cscFiles, eventFile, logFile, frontend), 0);
    ASSERT_EQ(RunConversion(Directory(), cscFiles, eventFile, logFile, frontend), 0);

    std::ifstream in(dir.path / "VareloLogFile.txt");
    std::string firstLine;
    std::getline(in, firstLine);
    EXPECT_EQ(firstLine, "Log file successfully moved to " + (dir.path / "VareloLogFile.txt").string());
    EXPECT_TRUE(std::filesystem::exists(dir.path / "DevOutput_01.edf"));
}
