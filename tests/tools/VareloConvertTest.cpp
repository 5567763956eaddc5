#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Contents(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

class VareloConvertTest : public ::testing::Test {
protected:
    ProgramRun Run(const std::string& arguments) const
    {
        const std::string command = Quoted(VARELO_CONVERT_PATH) + " " + arguments + " >"
                                    + Quoted((dir.path / "out").string()) + " 2>" + Quoted((dir.path / "err").string())
                                    + " </dev/null";
        ProgramRun run;
        const int status = std::system(command.c_str());
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = Contents(dir.path / "out");
        run.err = Contents(dir.path / "err");
        return run;
    }

    std::filesystem::path Recording(const std::string& name) const
    {
        const std::filesystem::path recording = dir.path / name;
        std::filesystem::create_directory(recording);
        RecordingBuilder::WriteCscFile(recording / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                       RecordingBuilder::ContinuousRecords(1000000, 1000, 2000, 0));
        return recording;
    }

    TempDir dir;
};

TEST_F(VareloConvertTest, HelpGoesToStandardOutputAndUsageErrorsExitWithTwo)
{
    const ProgramRun help = Run("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: varelo-convert [--quiet] DIRECTORY...", 0), 0u) << help.out;
    for (const std::string& arguments : {std::string(), "--frobnicate " + dir.path.string()}) {
        const ProgramRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_TRUE(run.out.empty()) << arguments;
        EXPECT_NE(run.err.find("Usage: varelo-convert"), std::string::npos) << arguments;
    }
}

TEST_F(VareloConvertTest, ConversionPrintsLogLinesAndTheResult)
{
    const std::filesystem::path recording = Recording("rec");
    const ProgramRun run = Run(Quoted(recording.string() + "/"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("-* NOTICE  *- "), std::string::npos);
    EXPECT_NE(run.out.find(" - EDF File Opened Successfully: " + (recording / "DevOutput.edf").string() + "\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 20), "Conversion Complete\n");
    EXPECT_TRUE(std::filesystem::exists(recording / "DevOutput.edf"));
}

TEST_F(VareloConvertTest, QuietPrintsOnlyTheResultOfEachDirectory)
{
    const std::filesystem::path first = Recording("first");
    const std::filesystem::path empty = dir.path / "empty";
    std::filesystem::create_directory(empty);
    const ProgramRun run = Run("--quiet " + Quoted(first.string()) + " " + Quoted(empty.string()));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Conversion Complete\nConversion Failed\n");
    EXPECT_NE(Contents(empty / "VareloLogFile.txt")
                  .find("There were not any valid CSC files specified.  File conversion has been aborted."),
              std::string::npos);
}
