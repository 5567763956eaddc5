// varelo-convert run as the separate program that scripts call.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

#include "edf/EdfLayout.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

namespace {

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Contents(const std::filesystem::path& file)
{
    const std::vector<unsigned char> bytes = ReadFileBytes(file);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

class VareloConvertTest : public ::testing::Test {
protected:
    // The exit status; what the program printed goes to `out`.
    int Run(const std::string& arguments)
    {
        const std::string command =
            Quoted(VARELO_CONVERT_PATH) + " " + arguments + " >" + Quoted((dir.path / "out").string()) + " </dev/null";
        const int status = std::system(command.c_str());
        out = Contents(dir.path / "out");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    std::string out;
};

TEST_F(VareloConvertTest, ConversionPrintsLogLinesAndTheResult)
{
    const std::filesystem::path recording = Recording("rec");
    // --classic: the usual name, given as the file is opened; by default the flat name, given
    // once the run is complete.
    const std::pair<std::string, std::string> cases[] = {
        {"--classic ", " - EDF File Opened Successfully: " + (recording / "DevOutput.edf").string() + "\n"},
        {"", " - EDF file complete: " + (recording / "DevOutput_run01_seg1of1.edf").string() + "\n"},
    };
    for (const auto& [option, line] : cases) {
        SCOPED_TRACE(option);
        EXPECT_EQ(Run(option + Quoted(recording.string() + "/")), 0);
        EXPECT_NE(out.find("-* NOTICE  *- "), std::string::npos);
        EXPECT_NE(out.find(line), std::string::npos) << out;
        EXPECT_TRUE(out.ends_with("\nConversion Complete\n"));
    }
}

TEST_F(VareloConvertTest, QuietPrintsOnlyTheResultOfEachDirectoryAndFailsIfOneFails)
{
    const std::filesystem::path first = Recording("first");
    const std::filesystem::path empty = dir.path / "empty";
    std::filesystem::create_directory(empty);
    EXPECT_EQ(Run("--quiet " + Quoted(first.string()) + " " + Quoted(empty.string())), 1);
    // several directories: each result line says which one it is about
    EXPECT_EQ(out, first.string() + ": Conversion Complete\n" + empty.string() + ": Conversion Failed\n");
    EXPECT_EQ(Run("--quiet " + Quoted(first.string())), 0);
    EXPECT_EQ(out, "Conversion Complete\n");
    EXPECT_NE(Contents(empty / "VareloLogFile.txt")
                  .find("There were not any valid CSC files specified.  File conversion has been aborted."),
              std::string::npos);
    EXPECT_EQ(Run("--frobnicate " + Quoted(first.string())), 2);  // a usage error
    EXPECT_TRUE(out.empty());
}

TEST_F(VareloConvertTest, UsageErrorsSayWhatIsWrongInOneLineAndWriteNothing)
{
    const std::filesystem::path first = Recording("first");
    const std::filesystem::path second = Recording("second");
    const std::filesystem::path sameName = dir.path / "other" / "first";
    std::filesystem::create_directories(sameName);
    const std::string errors = Quoted((dir.path / "errors").string());
    const std::pair<std::string, std::string> cases[] = {
        {"--unit microvolt " + Quoted(first.string()),
         "varelo-convert: --unit microvolt: a unit has 1 to 8 characters, \"microvolt\" has 9"},
        // the tab of the argument shown escaped, as every control character printed
        {"--unit \"$(printf 'u\\tV')\" " + Quoted(first.string()),
         "varelo-convert: --unit u\\x09V: a unit holds printable ASCII characters only (letters, digits, signs), as "
         "the EDF header does"},
        {"-j 0 " + Quoted(first.string()), "varelo-convert: --jobs 0: expected a number of jobs from 1 to 256"},
        {"--jobs two " + Quoted(first.string()), "varelo-convert: --jobs two: expected a number of jobs from 1 to 256"},
        {"--resample 0 " + Quoted(first.string()),
         "varelo-convert: --resample 0: expected a rate in Hz from 1 to 1000000"},
        {"--resample 1kHz " + Quoted(first.string()),
         "varelo-convert: --resample 1kHz: expected a rate in Hz from 1 to 1000000"},
        {"--classic --resample 250 " + Quoted(first.string()),
         "varelo-convert: --resample is lab output's, not --classic's"},
        {"--split 0 " + Quoted(first.string()),
         "varelo-convert: --split 0: expected seconds above 0 and below 1000000000, with at most 6 decimals"},
        {"--split 1h " + Quoted(first.string()),
         "varelo-convert: --split 1h: expected seconds above 0 and below 1000000000, with at most 6 decimals"},
        {"--classic --split 600 " + Quoted(first.string()), "varelo-convert: --split is lab output's, not --classic's"},
        {"--verify --no-verify " + Quoted(first.string()), "varelo-convert: --no-verify contradicts --verify"},
        {"--report " + Quoted(first.string()), "varelo-convert: no directory given"},
        {"--channels CSC1,CSC9 " + Quoted(first.string()),
         "varelo-convert: --channels CSC1,CSC9: " + first.string()
             + ": \"CSC9\" names no channel of the recording (its channels are CSC1)"},
        {"--channels CSC1,,CSC2 " + Quoted(first.string()),
         "varelo-convert: --channels CSC1,,CSC2: an empty name in the list"},
        {"--label CSC1 " + Quoted(first.string()), "varelo-convert: --label CSC1: expected CHANNEL=LABEL"},
        {"--label CSC1=ABCDEFGHIJKLMNOPQ " + Quoted(first.string()),
         "varelo-convert: --label CSC1=ABCDEFGHIJKLMNOPQ: a label has 1 to 16 characters, \"ABCDEFGHIJKLMNOPQ\" has "
         "17"},
        {"--label CSC7=Cz " + Quoted(first.string()),
         "varelo-convert: --label/--labels: " + first.string()
             + ": \"CSC7\" names no channel of the recording (its channels are CSC1)"},
        {"--labels " + Quoted((first / "none.tsv").string()) + " " + Quoted(first.string()),
         "varelo-convert: --labels " + (first / "none.tsv").string() + ": the file cannot be read"},
        {"--patient sex=W " + Quoted(first.string()), "varelo-convert: --patient sex=W: sex is M, F or X, not \"W\""},
        {"--recording operator=JD " + Quoted(first.string()),
         "varelo-convert: --recording operator=JD: \"operator=JD\" is not key=value with one of the keys admincode, "
         "technician, equipment"},
        {"-o " + Quoted((dir.path / "outputs").string()) + " " + Quoted(first.string()) + " "
             + Quoted(sameName.string()),
         "varelo-convert: the recordings " + first.string() + " and " + sameName.string()
             + " would share the output directory " + (dir.path / "outputs" / "first").string()},
    };
    for (const auto& [arguments, error] : cases) {
        SCOPED_TRACE(arguments);
        EXPECT_EQ(Run(arguments + " 2>" + errors), 2);
        const std::string printed = Contents(dir.path / "errors");
        EXPECT_EQ(printed.substr(0, printed.find('\n')), error);
        EXPECT_TRUE(out.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path / "outputs"));
    EXPECT_FALSE(std::filesystem::exists(first / "VareloLogFile.txt"));
}

TEST_F(VareloConvertTest, LabOutputByDefaultClassicOnAskAndTheUnitEitherWay)
{
    struct Case {
        std::string arguments;
        std::string optionsNotice;  // empty: none
        std::string file;
        std::string unit;  // the signal's physical dimension field
        std::string digitalMinimum;
    };
    const auto lab = [](const std::string& unit, const std::string& verified) {
        return "exact record timing (--exact-timing); physical dimension \"" + unit + "\" (--unit); " + verified
               + "annotation onsets to the microsecond; channels in the natural order of their file "
                 "names; the "
                 "whole 16-bit range, no sample clipped; event texts whole; filter settings in the prefiltering "
                 "fields; one file per segment, named "
                 "<name>_run<RR>_seg<KK>of<NN>.edf (lab output, the default).";
    };
    const std::string flat = "DevOutput_run01_seg1of1.edf";
    const std::string classic = "DevOutput.edf";
    const std::vector<Case> cases = {
        {"", lab("uV", "every file verified after conversion (--verify); "), flat, "uV      ", "-32768  "},
        {"--classic", "", classic, "        ", "-101    "},
        {"--classic --unit mV --exact-timing",
         "exact record timing (--exact-timing); physical dimension \"mV\" (--unit).", classic, "mV      ", "-101    "},
        {"--unit mV --classic --verify",
         "physical dimension \"mV\" (--unit); every file verified after conversion (--verify).", classic, "mV      ",
         "-101    "},
        {"--unit mV --no-verify", lab("mV", ""), flat, "mV      ", "-32768  "},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.arguments);
        const std::filesystem::path recording = dir.path / ("rec" + std::to_string(i));
        std::filesystem::create_directory(recording);
        RecordingBuilder::Channel channel;
        channel.adMaxValue = "100";
        RecordingBuilder::WriteCscFile(recording / "CSC1.ocs", RecordingBuilder::ChannelHeader(channel),
                                       RecordingBuilder::ContinuousRecords(1000000, 1000, 2000, 0));
        ASSERT_EQ(Run(c.arguments + " " + Quoted(recording.string())), 0) << out;
        const size_t notice = out.find("Conversion options in force: ");
        if (c.optionsNotice.empty())
            EXPECT_EQ(notice, std::string::npos) << out;
        else
            EXPECT_NE(out.find("Conversion options in force: " + c.optionsNotice + "\n"), std::string::npos) << out;
        const std::string header = Contents(recording / c.file).substr(0, 768);
        ASSERT_EQ(header.size(), 768u) << c.file;
        // one signal and the annotation signal: the signal's dimension and digital minimum
        EXPECT_EQ(header.substr(static_cast<std::size_t>(EdfFieldOffset(EdfSignalField::PhysicalDimension, 2, 0)), 8),
                  c.unit);
        EXPECT_EQ(header.substr(static_cast<std::size_t>(EdfFieldOffset(EdfSignalField::DigitalMinimum, 2, 0)), 8),
                  c.digitalMinimum);
    }
}
