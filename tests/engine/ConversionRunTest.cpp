#include "engine/ConversionRun.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/engine/CapturingFrontend.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

class ConversionRunTest : public ::testing::Test {
protected:
    int Run()
    {
        std::vector<std::wstring> cscFiles;
        std::wstring eventFile;
        ScanDirectory(Directory(), cscFiles, eventFile);
        return RunConversion(Directory(), cscFiles, eventFile, logFile, frontend);
    }

    std::wstring Directory() const { return dir.path.wstring(); }

    TempDir dir;
    LogFile logFile;
    CapturingFrontend frontend{logFile};
};

TEST_F(ConversionRunTest, ScanListsChannelFilesInTheWorkstationsOrder)
{
    for (const char* name : {"b.ocs", "A.ocs", "a.ocs", "C10.ocs", "C9.ocs", "upper.OCS", "notes.txt", "x.ocsv"})
        Touch(dir.path / name);
    // Only regular files count: a directory, a dangling link or a FIFO (which would block the run
    // that opens it) is passed over, also where it would come first.
    std::filesystem::create_directory(dir.path / "folder.ocs");
    std::filesystem::create_directory(dir.path / "a.oev");
    std::filesystem::create_symlink(dir.path / "gone", dir.path / "0.ocs");
    ASSERT_EQ(mkfifo((dir.path / "f.ocs").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir.path / "b.oev").c_str(), 0600), 0);
    Touch(dir.path / "second.oev");
    Touch(dir.path / "First.OEV");

    std::vector<std::wstring> cscFiles{L"stale"};
    std::wstring eventFile = L"stale";
    ScanDirectory(Directory(), cscFiles, eventFile);
    // Letters folded first ("A" and "a" tie), then bytes ("A" before "a"); "upper.OCS" matches
    // the pattern but not the case-sensitive ".ocs" test.
    const std::wstring d = Directory() + L"/";
    EXPECT_EQ(cscFiles,
              (std::vector<std::wstring>{d + L"A.ocs", d + L"a.ocs", d + L"b.ocs", d + L"C10.ocs", d + L"C9.ocs"}));
    EXPECT_EQ(eventFile, d + L"First.OEV");

    std::filesystem::remove_all(dir.path);  // a missing directory holds nothing
    ScanDirectory(Directory(), cscFiles, eventFile);
    EXPECT_TRUE(cscFiles.empty());
    EXPECT_TRUE(eventFile.empty());
}

TEST_F(ConversionRunTest, RunWritesTheLogAndShowsTheResultBeforeClosingIt)
{
    const std::wstring notice = L"Notice: Event file string is empty, event file will not be processed as part of "
                                L"this conversion.";
    EXPECT_EQ(Run(), -1);  // an empty directory
    EXPECT_EQ(frontend.events,
              (std::vector<std::wstring>{L"started", notice,
                                         L"Notice: There were not any valid CSC files specified.  File conversion has "
                                         L"been aborted.",
                                         L"result: Conversion Failed", L"ended"}));

    frontend.events.clear();
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                   RecordingBuilder::ContinuousRecords(1000000, 1000, 3000, 0));
    ASSERT_EQ(Run(), 0);
    ASSERT_GE(frontend.events.size(), 4u);
    EXPECT_EQ(frontend.events[1], notice);
    EXPECT_EQ(frontend.events[frontend.events.size() - 2], L"result: Conversion Complete");
    EXPECT_EQ(frontend.events.back(), L"ended");
    ASSERT_FALSE(frontend.progress.empty());
    EXPECT_TRUE(std::is_sorted(frontend.progress.begin(), frontend.progress.end()));
    EXPECT_GE(frontend.progress.front(), 0.0);
    EXPECT_EQ(frontend.progress.back(), 1.0);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "DevOutput.edf"));
    const std::vector<unsigned char> log = ReadFileBytes(dir.path / "VareloLogFile.txt");
    EXPECT_TRUE(std::string(log.begin(), log.end()).ends_with("\nLog File Closed - End of File\r\n\n"));
}
