#include "engine/ConversionRun.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
