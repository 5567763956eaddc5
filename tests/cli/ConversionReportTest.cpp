// The report of one recording as it is written: one line of JSON in the batch's file, and the
// exact bytes of a path that is not UTF-8 beside its readable text.
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ConversionReport.h"
#include "tests/support/TempDir.h"

namespace {

using json = nlohmann::ordered_json;

std::vector<std::string> Keys(const json& object)
{
    std::vector<std::string> keys;
    for (const auto& item : object.items())
        keys.push_back(item.key());
    return keys;
}

}  // namespace

TEST(ConversionReportTest, FailedRecordingIsItsProblemAsAnError)
{
    ConvertArguments arguments;
    arguments.jobs = 3;
    arguments.options = ConversionOptions::Lab();
    arguments.options.channels = {"CSC2", "CSC1"};
    const json report =
        ReportJson(FailedRecording("/data/rec", "/out/rec", "the conversion of /data/rec: killed by signal 9 (Killed)"),
                   arguments);
    EXPECT_EQ(Keys(report), (std::vector<std::string>{"program", "version", "recording", "output_directory", "options",
                                                      "output_options", "inputs", "outputs", "events_left_out",
                                                      "events_left_out_list", "event_texts_cut", "channels_cut",
                                                      "partial_records_ignored", "event_files_not_used", "messages",
                                                      "result", "wall_time_s"}));
    EXPECT_EQ(report["program"], "varelo-convert");
    EXPECT_EQ(report["recording"], "/data/rec");
    EXPECT_EQ(report["output_directory"], "/out/rec");
    EXPECT_EQ(report["options"]["jobs"], 3);
    EXPECT_EQ(report["options"]["verify"], true);
    for (const auto& [key, value] : report["output_options"].items())  // the options name all that shapes the output
        EXPECT_EQ(report["options"].value(key, json()), value) << key;
    EXPECT_EQ(report["inputs"], json::array());
    EXPECT_EQ(report["outputs"], json::array());
    EXPECT_EQ(report["messages"].dump(),
              R"x([{"type":"Error","text":"the conversion of /data/rec: killed by signal 9 (Killed)"}])x");
    EXPECT_EQ(report["result"], "failed");
}

TEST(ConversionReportTest, PathThatIsNotUtf8KeepsItsBytesInHex)
{
    ConvertArguments arguments;
    arguments.outputDirectory = "/out\xff";
    RecordingReport recording = FailedRecording("/data/Aufnahme\xe4", "/out\xff/Aufnahme\xe4", "lost");
    recording.inputs.push_back({"/data/Aufnahme\xe4/CSC1.ocs", 7, "2026-12-07T09:37:37.123456789Z", false});
    const std::string text = ReportText(ReportJson(recording, arguments), -1);
    // U+FFFD is EF BF BD; the hex by hand: "/" 2f, "d" 64, "a" 61, "t" 74, "A" 41, "u" 75, "f" 66,
    // "n" 6e, "h" 68, "m" 6d, "e" 65, 0xE4 e4.
    EXPECT_NE(text.find(R"("recording":"/data/Aufnahme)"
                        "\xef\xbf\xbd"
                        R"(","recording_bytes":"2f646174612f4175666e61686d65e4")"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"("output_directory_bytes":"2f6f7574ff2f4175666e61686d65e4")"), std::string::npos);
    EXPECT_NE(text.find(R"("output_dir":"/out)"
                        "\xef\xbf\xbd"
                        R"(","output_dir_bytes":"2f6f7574ff")"),
              std::string::npos);
    EXPECT_NE(text.find(R"("file_bytes":"2f646174612f4175666e61686d65e42f435343312e6f6373","size":7)"),
              std::string::npos);
    EXPECT_EQ(text.find("_bytes\":\"2f646174612f4175666e61686d65e42f\""), std::string::npos);
    EXPECT_EQ(text.find('\n'), std::string::npos);

    const json utf8 = ReportJson(FailedRecording("/data/Aufnahme\xc3\xa4", "/o", "lost"), ConvertArguments());
    EXPECT_EQ(utf8["recording"], "/data/Aufnahme\xc3\xa4");
    EXPECT_FALSE(utf8.contains("recording_bytes"));
}

TEST(ConversionReportTest, EachReportIsAppendedAsOneLine)
{
    TempDir dir;
    const std::string file = (dir.path / "batch.jsonl").string();
    const json first = ReportJson(FailedRecording("/a", "/a", "one"), ConvertArguments());
    const json second = ReportJson(FailedRecording("/b", "/b", "two"), ConvertArguments());
    std::string error;
    ASSERT_TRUE(AppendReportLine(file, first, error)) << error;
    ASSERT_TRUE(AppendReportLine(file, second, error)) << error;
    const std::vector<unsigned char> bytes = ReadFileBytes(file);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), first.dump() + "\n" + second.dump() + "\n");

    EXPECT_FALSE(AppendReportLine((dir.path / "missing" / "batch.jsonl").string(), first, error));
    EXPECT_EQ(error.rfind("cannot append to the report " + (dir.path / "missing" / "batch.jsonl").string() + ": ", 0),
              0u)
        << error;
}

TEST(ConversionReportTest, ReportFileIsIndentedAndReplacesALinkInsteadOfWritingThroughIt)
{
    TempDir dir;
    Touch(dir.path / "target");
    std::filesystem::create_symlink(dir.path / "target", dir.path / reportFileName);
    const json report = ReportJson(FailedRecording("/a", "/a", "one"), ConvertArguments());
    std::string error;
    ASSERT_TRUE(WriteReportFile((dir.path / reportFileName).string(), report, error)) << error;
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path / reportFileName));
    EXPECT_TRUE(ReadFileBytes(dir.path / "target").empty());
    const std::vector<unsigned char> bytes = ReadFileBytes(dir.path / reportFileName);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), report.dump(2) + "\n");
}
