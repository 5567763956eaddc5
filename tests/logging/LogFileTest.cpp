#include "logging/LogFile.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "logging/TextConversion.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::string> ReadLines(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
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

}  // namespace

class LogFileTest : public ::testing::Test {
protected:
    std::wstring PathOf(const std::string& name) const { return (dir.path / name).wstring(); }

    TempDir dir;
    LogFile log;
};

TEST_F(LogFileTest, HeaderLinesThenTaggedTimeStampedMessagesExceptDebugThenTheClosingLine)
{
    ASSERT_EQ(log.SetLogFilename(PathOf("VareloLogFile.txt")), 0);
    EXPECT_EQ(log.LogMessage(OrvLogging::Notice, L"Session UUIDs successfull verified for all CSC files."), 0);
    EXPECT_EQ(log.LogMessage(OrvLogging::Debug, L"hidden"), 0);
    EXPECT_EQ(log.LogMessage(OrvLogging::Data, L"data"), 0);
    EXPECT_EQ(log.CloseLogFile(), 0);
    EXPECT_EQ(log.CloseLogFile(), -1);
    EXPECT_EQ(log.LogMessage(OrvLogging::Notice, L"after close"), -1);

    const std::vector<std::string> lines = ReadLines(dir.path / "VareloLogFile.txt");
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Velquor Base Log File Opened - File Name: " + (dir.path / "VareloLogFile.txt").string());
    EXPECT_TRUE(Matches(lines[1], "Time Opened: (m/d/y)  ~/~/#### at time ~:~:~.~")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("Processor Type: ") && lines[2].size() > 16) << lines[2];
    EXPECT_TRUE(Matches(lines[3], "Number of cores: ~") && lines[3] != "Number of cores: 0") << lines[3];
    EXPECT_TRUE(Matches(lines[4], "Total System Memory: ~ MB") && lines[4] != "Total System Memory: 0 MB") << lines[4];
    EXPECT_TRUE(
        Matches(lines[5], "-* NOTICE  *-  ##:##:##.### - Session UUIDs successfull verified for all CSC files."))
        << lines[5];
    EXPECT_TRUE(Matches(lines[6], "-*  DATA   *-  ##:##:##.### - data")) << lines[6];
    EXPECT_EQ(lines[7], "Log File Closed - End of File\r");
    EXPECT_EQ(lines[8], "");
}

TEST_F(LogFileTest, TimeStampIsPaddedToThirteenCharacters)
{
    EXPECT_EQ(LogFile::FormatTimeStamp({2017, 7, 5, 9, 5, 3, 7}), L" 09:05:03.007");
}

TEST_F(LogFileTest, ReopeningEmptiesTheFileAndSaysItMoved)
{
    const std::wstring path = PathOf("run.txt");
    ASSERT_EQ(log.SetLogFilename(path), 0);
    EXPECT_EQ(log.OpenLogFile(), 0);  // already open under the same path: nothing written
    EXPECT_EQ(ReadLines(dir.path / "run.txt").size(), 5u);
    ASSERT_EQ(log.CloseLogFile(), 0);

    ASSERT_EQ(log.SetLogFilename(path), 0);
    EXPECT_EQ(ReadLines(dir.path / "run.txt"),
              std::vector<std::string>{"Log file successfully moved to " + (dir.path / "run.txt").string()});
}

TEST_F(LogFileTest, OverlongDirectoryFallsBackToTheDefaultName)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    EXPECT_EQ(log.SetLogFilename(L"/" + std::wstring(5000, L'd') + L"/name.txt"), 0);
    EXPECT_EQ(log.CurrentPath(), L"./KestrowLogFile.txt");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "KestrowLogFile.txt"));
}

TEST_F(LogFileTest, PathsInItsOwnLinesAndInTheOpenErrorShowControlCharactersEscaped)
{
    // A directory named with an escape sequence, one with a byte that is not UTF-8, and a path
    // that cannot be opened (a component that is no directory).
    std::filesystem::create_directory(dir.path / "rec\x1b]0;x\x07");
    std::filesystem::create_directory(dir.path / "caf\xe9");
    std::ofstream(dir.path / "file").put('x');
    std::vector<std::pair<std::wstring, std::wstring>> boxes;
    log.SetMessageBoxHandler(
        [&boxes](const std::wstring& caption, const std::wstring& text) { boxes.emplace_back(caption, text); });
    const std::string base = dir.path.string();
    const struct {
        std::wstring path;
        std::string firstLine;
    } cases[] = {
        {PathOf("rec\x1b]0;x\x07/VareloLogFile.txt"),
         "Velquor Base Log File Opened - File Name: " + base + "/rec\\x1b]0;x\\x07/VareloLogFile.txt"},
        {OrvText::Utf8ToWide(base + "/caf\xe9/VareloLogFile.txt"),
         "Log file successfully moved to " + base + "/caf\\xe9/VareloLogFile.txt"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(log.SetLogFilename(c.path), 0);
        ASSERT_EQ(log.CloseLogFile(), 0);
        EXPECT_EQ(ReadLines(OrvText::WideToUtf8(c.path)).at(0), c.firstLine);
    }
    EXPECT_EQ(log.SetLogFilename(OrvText::Utf8ToWide(base + "/file/\x9b/VareloLogFile.txt")), -1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, OrvText::Utf8ToWide("Error opening filename: " + base
                                                   + "/file/\\x9b/VareloLogFile.txt, file may be invalid, please "
                                                     "check the filename "));
}
