#include "logging/LogFile.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

#include "logging/TextConversion.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::string> ReadLines(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// Whether `text` follows `pattern`, in which '#' stands for one digit and '~' for one or more.
bool Matches(const std::string& text, const std::string& pattern)
{
    size_t t = 0;
    const auto digit = [&] { return t < text.size() && std::isdigit(static_cast<unsigned char>(text[t])) != 0; };
    for (const char p : pattern) {
        if (p == '#' || p == '~') {
            if (!digit())
                return false;
            for (++t; p == '~' && digit(); ++t) {}
        } else if (t < text.size() && text[t] == p) {
            ++t;
        } else {
            return false;
        }
    }
    return t == text.size();
}

std::string ReadAll(const std::filesystem::path& file)
{
    const std::vector<unsigned char> bytes = ReadFileBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

// Runs a test body from inside a directory, for names without a directory part.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& path) : previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(path);
    }
    ~CurrentDirectory() { std::filesystem::current_path(previous); }

private:
    std::filesystem::path previous;
};

}  // namespace

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log.SetMessageBoxHandler(
            [this](const std::wstring& caption, const std::wstring& text) { boxes.push_back(caption + L"|" + text); });
    }

    std::wstring PathOf(const std::string& name) const { return (dir.path / name).wstring(); }

    TempDir dir;
    LogFile log;
    std::vector<std::wstring> boxes;
};

TEST_F(LogFileTest, FirstOpenWritesTheFiveHeaderLines)
{
    ASSERT_EQ(log.SetLogFilename(PathOf("VareloLogFile.txt")), 0);
    const std::vector<std::string> lines = ReadLines(dir.path / "VareloLogFile.txt");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Velquor Base Log File Opened - File Name: " + (dir.path / "VareloLogFile.txt").string());
    EXPECT_TRUE(Matches(lines[1], "Time Opened: (m/d/y)  ~/~/#### at time ~:~:~.~")) << lines[1];
    EXPECT_EQ(lines[2].rfind("Processor Type: ", 0), 0u);
    EXPECT_GT(lines[2].size(), std::string("Processor Type: ").size());
    EXPECT_TRUE(Matches(lines[3], "Number of cores: ~") && lines[3] != "Number of cores: 0") << lines[3];
    EXPECT_TRUE(Matches(lines[4], "Total System Memory: ~ MB") && lines[4] != "Total System Memory: 0 MB") << lines[4];
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LogFileTest, MessagesAreTaggedTimeStampedLinesExceptDebug)
{
    ASSERT_EQ(log.SetLogFilename(PathOf("run.txt")), 0);
    EXPECT_EQ(log.LogMessage(OrvLogging::Notice, L"Session UUIDs successfull verified for all CSC files."), 0);
    EXPECT_EQ(log.LogMessage(OrvLogging::Debug, L"hidden"), 0);
    EXPECT_EQ(log.LogMessage(static_cast<OrvLogging::ORVB_MESSAGE_TYPE>(42), L"odd"), 0);
    const std::vector<std::string> lines = ReadLines(dir.path / "run.txt");
    ASSERT_EQ(lines.size(), 7u);
    const std::string notice = "-* NOTICE  *-  ##:##:##.### - Session UUIDs successfull verified for all CSC files.";
    EXPECT_TRUE(Matches(lines[5], notice)) << lines[5];
    EXPECT_TRUE(lines[6].starts_with("-* UNKNOWN *- ") && lines[6].ends_with(" - odd")) << lines[6];
}

TEST_F(LogFileTest, TimeStampIsPaddedToThirteenCharacters)
{
    OrvSystem::LocalTime time;
    time.hour = 9;
    time.minute = 5;
    time.second = 3;
    time.millisecond = 7;
    EXPECT_EQ(LogFile::FormatTimeStamp(time), L" 09:05:03.007");
    EXPECT_EQ(log.TimeStamp().size(), 13u);
}

TEST_F(LogFileTest, TextBeyondLatin1BecomesAnEmptyLine)
{
    ASSERT_EQ(log.SetLogFilename(PathOf("run.txt")), 0);
    EXPECT_EQ(log.WriteText(L"caf\u00e9"), 0);
    EXPECT_EQ(log.LogMessage(OrvLogging::Error, L"5 \u2126"), 0);
    const std::vector<std::string> lines = ReadLines(dir.path / "run.txt");
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5], "caf\xe9");
    EXPECT_EQ(lines[6], "");
}

TEST_F(LogFileTest, ClosingWritesTheClosingTextAndSecondCloseFails)
{
    ASSERT_EQ(log.SetLogFilename(PathOf("run.txt")), 0);
    EXPECT_EQ(log.CloseLogFile(), 0);
    const std::string text = ReadAll(dir.path / "run.txt");
    const std::string closing = "Log File Closed - End of File\r\n\n";
    ASSERT_GE(text.size(), closing.size());
    EXPECT_EQ(text.substr(text.size() - closing.size()), closing);
    EXPECT_EQ(log.CloseLogFile(), -1);
    EXPECT_EQ(log.LogMessage(OrvLogging::Notice, L"after close"), -1);
    EXPECT_EQ(log.WriteText(L"after close"), -1);
}

TEST_F(LogFileTest, ReopeningEmptiesTheFileAndSaysItMoved)
{
    const std::wstring path = PathOf("run.txt");
    ASSERT_EQ(log.SetLogFilename(path), 0);
    EXPECT_EQ(log.OpenLogFile(), 0);  // already open under the same path: nothing written
    EXPECT_EQ(ReadLines(dir.path / "run.txt").size(), 5u);
    ASSERT_EQ(log.CloseLogFile(), 0);

    ASSERT_EQ(log.SetLogFilename(path), 0);
    const std::vector<std::string> lines = ReadLines(dir.path / "run.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Log file successfully moved to " + (dir.path / "run.txt").string());
}

TEST_F(LogFileTest, AnyExtensionBecomesTxt)
{
    ASSERT_EQ(log.SetLogFilename(PathOf("session.log")), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "session.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.path / "session.log"));
    EXPECT_EQ(log.CurrentPath(), PathOf("session.txt"));
}

TEST_F(LogFileTest, NameWithoutDirectoryGoesToTheCurrentDirectory)
{
    CurrentDirectory inside(dir.path);
    ASSERT_EQ(log.SetLogFilename(L"plain.txt"), 0);
    EXPECT_EQ(log.CurrentPath(), L"./plain.txt");
    EXPECT_TRUE(std::filesystem::exists(dir.path / "plain.txt"));
}

TEST_F(LogFileTest, OverlongDirectoryFallsBackToTheDefaultName)
{
    CurrentDirectory inside(dir.path);
    const std::wstring longDirectory = L"/" + std::wstring(5000, L'd') + L"/";
    ASSERT_EQ(log.SetLogFilename(longDirectory + L"name.txt"), 0);
    EXPECT_EQ(log.CurrentPath(), L"./KestrowLogFile.txt");
    EXPECT_TRUE(std::filesystem::exists(dir.path / "KestrowLogFile.txt"));
}

TEST_F(LogFileTest, EmptyNameIsRefusedAndLoggedToTheOpenFile)
{
    ASSERT_EQ(log.SetLogFilename(PathOf("run.txt")), 0);
    EXPECT_EQ(log.SetLogFilename(L""), -1);
    const std::vector<std::string> lines = ReadLines(dir.path / "run.txt");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NE(lines[5].find("-*  ERROR  *- "), std::string::npos);
    EXPECT_NE(lines[5].find(" - LogFile::SetLogFilename() - Error, invalid parameter, filename string is empty."),
              std::string::npos);
}

TEST_F(LogFileTest, UnopenableFileShowsTheErrorBoxAndLogsNothing)
{
    std::filesystem::create_directory(dir.path / "taken.txt");  // a directory stands where the file should go
    EXPECT_EQ(log.SetLogFilename(PathOf("taken.txt")), -1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], L"Log File Error|Error opening filename: " + PathOf("taken.txt")
                            + L", file may be invalid, please check the filename ");
    EXPECT_EQ(log.LogMessage(OrvLogging::Error, L"lost"), -1);
    EXPECT_EQ(log.CloseLogFile(), -1);
    EXPECT_TRUE(log.CurrentPath().empty());
}

TEST_F(LogFileTest, PathsBeyondLatin1Work)
{
    const std::filesystem::path sub = dir.path / "\xe6\x97\xa5\xe6\x9c\xac";  // two CJK characters in UTF-8
    std::filesystem::create_directory(sub);
    ASSERT_EQ(log.SetLogFilename(OrvText::Utf8ToWide((sub / "log.txt").string())), 0);
    EXPECT_TRUE(std::filesystem::exists(sub / "log.txt"));
}
