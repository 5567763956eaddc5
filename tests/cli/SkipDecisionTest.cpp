// --skip-converted passes over a recording only when its last report says it completed with the
// same output options and the same files, unchanged.
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "ConversionReport.h"
#include "logging/TextConversion.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

void SetModified(const fs::path& file, time_t seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

}  // namespace

class SkipDecisionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(recording);
        Write(recording / channelName, "channel bytes");
        Write(recording / "Events.oev", "event bytes");
        SetModified(recording / channelName, 1'700'000'000, 123'456'789);
        arguments.options = ConversionOptions::Lab();
    }

    std::vector<InputFile> Inputs(const fs::path& directory)
    {
        return DescribeInputs({OrvText::Utf8ToWide((directory / channelName).string())},
                              OrvText::Utf8ToWide((directory / "Events.oev").string()));
    }

    // The report a conversion of the recording as it is now leaves.
    void WriteReport(const std::string& result, std::vector<InputFile> inputs)
    {
        RecordingReport report;
        report.recording = recording.string();
        report.outputDirectory = recording.string();
        report.inputs = std::move(inputs);
        report.result = result;
        std::string error;
        ASSERT_TRUE(WriteReportFile(reportPath, ReportJson(report, arguments), error)) << error;
    }

    bool Skipped(const ConversionOptions& options) { return ConvertedBefore(reportPath, Inputs(recording), options); }

    TempDir dir;
    fs::path recording = dir.path / "rec";
    std::string channelName = "CSC1.ocs";
    std::string reportPath = (recording / reportFileName).string();
    ConvertArguments arguments;
};

TEST_F(SkipDecisionTest, SameOptionsAndUnchangedFilesSkip)
{
    WriteReport("complete", Inputs(recording));
    EXPECT_TRUE(Skipped(ConversionOptions::Lab()));
    ConversionOptions verified = ConversionOptions::Lab();
    verified.verify = true;  // only reads the files back: they are the same
    EXPECT_TRUE(Skipped(verified));
    // the recording named by another path: its files by name
    fs::create_directory_symlink(recording, dir.path / "other");
    EXPECT_TRUE(ConvertedBefore(reportPath, Inputs(dir.path / "other"), ConversionOptions::Lab()));
}

TEST_F(SkipDecisionTest, OtherOutputOptionsConvert)
{
    WriteReport("complete", Inputs(recording));
    ConversionOptions classic;
    ConversionOptions exactClassic;
    exactClassic.exactTiming = true;
    ConversionOptions millivolts = ConversionOptions::Lab();
    millivolts.physicalDimension = "mV";
    ConversionOptions nested = ConversionOptions::Lab();
    nested.flatNames = false;
    for (const ConversionOptions& options : {classic, exactClassic, millivolts, nested})
        EXPECT_FALSE(Skipped(options));
}

TEST_F(SkipDecisionTest, ChangedMissingOrExtraFilesConvert)
{
    struct Case {
        const char* name;
        std::function<void()> change;
    };
    const std::vector<Case> cases = {
        {"grown", [&] { std::ofstream(recording / channelName, std::ios::app) << "x"; }},
        // the size alone: the time set back to what the report holds
        {"grown, same time",
         [&] {
             Write(recording / channelName, "channel bytes and more");
             SetModified(recording / channelName, 1'700'000'000, 123'456'789);
         }},
        {"shrunk, same time",
         [&] {
             Write(recording / channelName, "channel");
             SetModified(recording / channelName, 1'700'000'000, 123'456'789);
         }},
        {"touched by a nanosecond", [&] { SetModified(recording / channelName, 1'700'000'000, 123'456'790); }},
        {"removed", [&] { fs::remove(recording / channelName); }},
        {"event file removed", [&] { fs::remove(recording / "Events.oev"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<InputFile> before = Inputs(recording);
        WriteReport("complete", before);
        c.change();
        std::vector<InputFile> now = Inputs(recording);
        if (!fs::exists(recording / "Events.oev"))
            now.pop_back();
        EXPECT_FALSE(ConvertedBefore(reportPath, now, arguments.options));
        Write(recording / channelName, "channel bytes");
        Write(recording / "Events.oev", "event bytes");
        SetModified(recording / channelName, 1'700'000'000, 123'456'789);
    }
    // a file more than the report names
    WriteReport("complete", {Inputs(recording)[0]});
    EXPECT_FALSE(Skipped(arguments.options));
}

TEST_F(SkipDecisionTest, ReportThatIsNotOfACompleteConversionConverts)
{
    for (const char* result : {"failed", "skipped"}) {
        WriteReport(result, Inputs(recording));
        EXPECT_FALSE(Skipped(arguments.options)) << result;
    }
    for (const char* text : {"", "not json", "[]", R"({"result":"complete"})",
                             R"({"result":"complete","output_options":{},"inputs":[]})"}) {
        Write(reportPath, text);
        EXPECT_FALSE(Skipped(arguments.options)) << text;
    }
    fs::remove(reportPath);
    EXPECT_FALSE(Skipped(arguments.options));
}

TEST_F(SkipDecisionTest, NamesThatAreNotUtf8AreComparedByTheirBytes)
{
    // Latin-1 names: "Kanäl" and "Kanål" read alike once their stray byte is U+FFFD.
    fs::remove(recording / channelName);
    channelName = "Kan\xe4l.ocs";
    Write(recording / channelName, "channel bytes");
    WriteReport("complete", Inputs(recording));
    EXPECT_TRUE(Skipped(arguments.options));

    std::vector<InputFile> otherName = Inputs(recording);
    otherName[0].path = (recording / "Kan\xe5l.ocs").string();
    WriteReport("complete", otherName);
    EXPECT_FALSE(Skipped(arguments.options));
}
