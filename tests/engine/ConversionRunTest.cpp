#include "engine/ConversionRun.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/engine/CapturingFrontend.h"
#include "tests/support/TempDir.h"

TEST(ConversionRunTest, ScanListsChannelFilesInTheWorkstationsOrder)
{
    TempDir dir;
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
    ScanDirectory(dir.path.wstring(), cscFiles, eventFile);
    // Letters folded first ("A" and "a" tie), then bytes ("A" before "a"); "upper.OCS" matches
    // the pattern but not the case-sensitive ".ocs" test.
    const std::wstring d = dir.path.wstring() + L"/";
    EXPECT_EQ(cscFiles,
              (std::vector<std::wstring>{d + L"A.ocs", d + L"a.ocs", d + L"b.ocs", d + L"C10.ocs", d + L"C9.ocs"}));
    EXPECT_EQ(eventFile, d + L"First.OEV");

    std::filesystem::remove_all(dir.path);  // a missing directory holds nothing
    ScanDirectory(dir.path.wstring(), cscFiles, eventFile);
    EXPECT_TRUE(cscFiles.empty());
    EXPECT_TRUE(eventFile.empty());
}

// A data directory that cannot be read holds no channel file as far as the run can tell: the
// fixed notice is followed by the Error that names the directory and the system's reason. A
// readable directory without channel files gets the notice alone.
TEST(ConversionRunTest, UnreadableDataDirectoryIsNamedWithTheReason)
{
    TempDir dir;
    const std::filesystem::path output = dir.path / "out";
    std::filesystem::create_directory(output);
    struct Case {
        std::string what;
        std::filesystem::path directory;
        std::wstring reason;  // empty: the directory can be read
    };
    std::filesystem::create_directory(dir.path / "empty");
    Touch(dir.path / "file");
    std::vector<Case> cases = {
        {"missing", dir.path / "missing", L"No such file or directory"},
        {"a file", dir.path / "file", L"Not a directory"},
        {"readable and empty", dir.path / "empty", L""},
    };
    if (geteuid() != 0) {  // root reads every directory
        std::filesystem::create_directory(dir.path / "locked");
        ASSERT_EQ(chmod((dir.path / "locked").c_str(), 0), 0);
        cases.push_back({"without permission", dir.path / "locked", L"Permission denied"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConversionRequest request;
        request.dataDirectory = c.directory.wstring();
        request.outputDirectory = output.wstring();
        ScanDirectory(request.dataDirectory, request.cscFiles, request.eventFile);
        LogFile logFile;
        CapturingFrontend frontend(logFile);
        EXPECT_EQ(RunConversion(request, logFile, frontend), -1);
        std::vector<std::wstring> expected = {
            L"Notice: There were not any valid CSC files specified.  File conversion has been aborted."};
        if (!c.reason.empty())
            expected.push_back(L"Error: " + c.directory.wstring() + L": " + c.reason + L".");
        expected.push_back(L"result: Conversion Failed");
        ASSERT_GE(frontend.events.size(), expected.size() + 1);
        EXPECT_EQ(std::vector<std::wstring>(frontend.events.end() - static_cast<std::ptrdiff_t>(expected.size() + 1),
                                            frontend.events.end() - 1),
                  expected);
    }
    if (geteuid() != 0)
        (void)chmod((dir.path / "locked").c_str(), 0700);
}
