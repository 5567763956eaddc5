#include "logging/SafeFile.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

enum class Open { Truncate, Refuse, Append, Read };

int OpenAs(Open how, const std::string& path, OrvFiles::Failure& failure)
{
    switch (how) {
    case Open::Truncate:
        return OrvFiles::OpenForWriting(path, OrvFiles::Existing::Truncate, false, failure);
    case Open::Refuse:
        return OrvFiles::OpenForWriting(path, OrvFiles::Existing::Refuse, true, failure);
    case Open::Append:
        return OrvFiles::OpenForWriting(path, OrvFiles::Existing::Append, false, failure);
    case Open::Read:
        return OrvFiles::OpenForReading(path, failure);
    }
    return -1;
}

const char* const linkReason = "it is a symbolic link, which is not followed";
const char* const fifoReason = "it is a FIFO, not a regular file";
const char* const directoryReason = "it is a directory, not a regular file";

}  // namespace

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        outside = dir.path / "outside.txt";
        name = dir.path / "name";
    }
    void WriteOutside() const { WriteFileBytes(outside, {'k', 'e', 'p', 't'}); }

    TempDir dir;
    fs::path outside;  // a file that a link under the name points to
    fs::path name;     // the name opened
};

TEST_F(SafeFileTest, OnlyARegularFileIsEverOpenedAndNothingIsWrittenThroughALink)
{
    const std::function<void()> absent = [] {};
    const std::function<void()> regular = [&] { WriteFileBytes(name, {'o', 'l', 'd'}); };
    const std::function<void()> link = [&] {
        WriteOutside();
        fs::create_symlink(outside, name);
    };
    const std::function<void()> dangling = [&] { fs::create_symlink(outside, name); };
    const std::function<void()> fifo = [&] { ASSERT_EQ(mkfifo(name.c_str(), 0600), 0); };
    const std::function<void()> directory = [&] { fs::create_directory(name); };
    const struct {
        const char* what;
        const std::function<void()>& make;
        Open how;
        int errorNumber;     // 0: opened
        std::string reason;  // of a failure
        size_t sizeAfter;    // of a regular file under the name once opened
    } cases[] = {
        {"nothing, truncated", absent, Open::Truncate, 0, "", 0},
        {"nothing, created exclusively", absent, Open::Refuse, 0, "", 0},
        {"nothing, appended to", absent, Open::Append, 0, "", 0},
        {"nothing, read", absent, Open::Read, ENOENT, "No such file or directory", 0},
        {"a file, truncated", regular, Open::Truncate, 0, "", 0},
        {"a file, created exclusively", regular, Open::Refuse, EEXIST, "File exists", 3},
        {"a file, appended to", regular, Open::Append, 0, "", 3},
        {"a file, read", regular, Open::Read, 0, "", 3},
        {"a link to a file, truncated", link, Open::Truncate, ELOOP, linkReason, 0},
        {"a link to a file, created exclusively", link, Open::Refuse, EEXIST, "File exists", 0},
        {"a link to a file, appended to", link, Open::Append, ELOOP, linkReason, 0},
        {"a link to a file, read", link, Open::Read, ELOOP, linkReason, 0},
        {"a dangling link, truncated", dangling, Open::Truncate, ELOOP, linkReason, 0},
        {"a dangling link, appended to", dangling, Open::Append, ELOOP, linkReason, 0},
        {"a FIFO, truncated", fifo, Open::Truncate, ENXIO, fifoReason, 0},
        {"a FIFO, created exclusively", fifo, Open::Refuse, EEXIST, "File exists", 0},
        {"a FIFO, appended to", fifo, Open::Append, ENXIO, fifoReason, 0},
        {"a FIFO, read", fifo, Open::Read, ENXIO, fifoReason, 0},
        {"a directory, truncated", directory, Open::Truncate, EISDIR, directoryReason, 0},
        {"a directory, read", directory, Open::Read, EISDIR, directoryReason, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(name);
        fs::remove(outside);
        c.make();
        OrvFiles::Failure failure;
        const int fd = OpenAs(c.how, name.string(), failure);
        if (c.errorNumber == 0) {
            ASSERT_GE(fd, 0) << "errno " << failure.errorNumber;
            struct stat status {};
            ASSERT_EQ(fstat(fd, &status), 0);
            EXPECT_TRUE(S_ISREG(status.st_mode));
            EXPECT_EQ(static_cast<size_t>(status.st_size), c.sizeAfter);
            EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "reads and writes must wait again";
            EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
            close(fd);
            continue;
        }
        EXPECT_EQ(fd, -1);
        EXPECT_EQ(failure.errorNumber, c.errorNumber);
        EXPECT_EQ(failure.reason, std::wstring(c.reason.begin(), c.reason.end()));
        EXPECT_EQ(OrvFiles::Describe(L"/d/name", failure), L"/d/name: " + failure.reason + L".");
        if (&c.make == &link) {
            EXPECT_EQ(ReadFileBytes(outside), (std::vector<unsigned char>{'k', 'e', 'p', 't'}));
        } else if (&c.make == &dangling) {
            EXPECT_FALSE(fs::exists(outside)) << "a dangling link must create nothing";
        } else if (&c.make == &regular) {
            EXPECT_EQ(ReadFileBytes(name).size(), 3u);
        }
    }
}

TEST_F(SafeFileTest, ADeviceIsNeverWrittenOrRead)
{
    for (const Open how : {Open::Truncate, Open::Append, Open::Read}) {
        OrvFiles::Failure failure;
        EXPECT_EQ(OpenAs(how, "/dev/null", failure), -1);
        EXPECT_EQ(failure.errorNumber, ENXIO);
        EXPECT_EQ(failure.reason, L"it is a device, not a regular file");
    }
}

TEST_F(SafeFileTest, TemporaryFileIsNewAndPrivate)
{
    std::string first = (dir.path / "report.XXXXXX").string();
    std::string second = first;
    OrvFiles::Failure failure;
    const int a = OrvFiles::CreateTemporary(first, failure);
    const int b = OrvFiles::CreateTemporary(second, failure);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(first, second);
    EXPECT_FALSE(first.ends_with("XXXXXX"));
    struct stat status {};
    ASSERT_EQ(lstat(first.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    close(a);
    close(b);

    std::string missing = (dir.path / "missing" / "report.XXXXXX").string();
    EXPECT_EQ(OrvFiles::CreateTemporary(missing, failure), -1);
    EXPECT_EQ(failure.reason, L"No such file or directory");
}

TEST_F(SafeFileTest, DirectoriesBelowARootAreMadeWithoutFollowingALink)
{
    const fs::path root = dir.path / "out";
    const fs::path elsewhere = dir.path / "elsewhere";
    fs::create_directories(root / "real");
    fs::create_directory(elsewhere);
    fs::create_symlink(elsewhere, root / "link");
    fs::create_symlink(dir.path / "gone", root / "dangling");
    WriteFileBytes(root / "file", {'x'});
    const struct {
        std::string below;
        bool made;
        std::string failedPart;  // below the root
        std::string reason;
    } cases[] = {
        {"a/b/c", true, "", ""},
        {"real/d", true, "", ""},
        {"./real//e/", true, "", ""},
        {"link/f", false, "link", linkReason},
        {"real/d/../../link/g", false, "real/d/../../link", linkReason},
        {"dangling/h", false, "dangling", linkReason},
        {"file/i", false, "file", "it is a regular file, not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.below);
        std::string failedPath;
        OrvFiles::Failure failure;
        EXPECT_EQ(OrvFiles::MakeDirectoriesBelow(root.string(), c.below, failedPath, failure), c.made);
        if (c.made) {
            EXPECT_TRUE(fs::is_directory(root / c.below));
            continue;
        }
        EXPECT_EQ(failedPath, (root / c.failedPart).string());
        EXPECT_EQ(failure.reason, std::wstring(c.reason.begin(), c.reason.end()));
    }
    EXPECT_TRUE(fs::is_empty(elsewhere)) << "nothing is made through a link";
    EXPECT_FALSE(fs::exists(dir.path / "gone"));

    std::string failedPath;
    OrvFiles::Failure failure;
    EXPECT_FALSE(OrvFiles::MakeDirectoriesBelow((dir.path / "none").string(), "a", failedPath, failure));
    EXPECT_EQ(failedPath, (dir.path / "none").string());
    EXPECT_EQ(failure.reason, L"No such file or directory");
}
