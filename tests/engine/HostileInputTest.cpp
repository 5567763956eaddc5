// Inputs that an acquisition system never writes but a disk may hold: damaged files, headers,
// records and event files, clocks that wrap or run back, names that are not UTF-8. Each ends with
// an Error message that names the offending file, or with a correct conversion where the data
// allow it; none may crash or hang. (Strange entries of a directory: ConversionRunTest.)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;
using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;

namespace {

const std::vector<CscRecord> threeSeconds = ContinuousRecords(july5th2017, 1000, 3000, 0);

// The header lines of a channel with the line of `key` removed, and added again with `values`.
std::vector<std::string> HeaderWith(const std::string& key, const std::vector<std::string>& values)
{
    std::vector<std::string> lines = RecordingBuilder::ChannelHeader({});
    std::erase_if(lines, [&](const std::string& line) { return line.rfind(key + " ", 0) == 0; });
    for (const std::string& value : values)
        lines.push_back(key + " " + value);
    return lines;
}

}  // namespace

class HostileInputTest : public EngineTest {
protected:
    void WriteCsc(const std::vector<std::string>& lines, const std::vector<CscRecord>& records = threeSeconds)
    {
        RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", lines, records);
    }

    // A case whose channel file has `key` with `values`, or no `key` line when there are none.
    std::function<void()> Header(const std::string& key, const std::vector<std::string>& values = {})
    {
        return [this, key, values] { WriteCsc(HeaderWith(key, values)); };
    }
};

TEST_F(HostileInputTest, UnusableChannelFilesAreRefusedNamingThem)
{
    const std::wstring csc = PathOf("CSC1.ocs");
    const std::vector<FailingCase> cases = {
        {"shorter than its header",
         [&] {
             std::vector<unsigned char> block = RecordingBuilder::HeaderBlock(RecordingBuilder::ChannelHeader({}));
             block.resize(100);
             WriteFileBytes(dir.path / "CSC1.ocs", block);
         },
         L"Unable to open file " + csc
             + L": it holds 100 bytes, fewer than the 16384-byte header block of an acquisition file."},
        {"binary header", [&] { WriteFileBytes(dir.path / "CSC1.ocs", std::vector<unsigned char>(16384, 0xFF)); },
         L"No data returned from header when getting Session UUID for CSC file."},
        // 512 event records end the file on a page boundary. Read as a CSC record, the last one
        // starts at timestamp 0 and its TTL and CRC bytes claim 512 valid samples: 1,042 bytes
        // from the start of a record of 184, far past the end of the file.
        {"event records",
         [&] {
             std::vector<std::string> lines = RecordingBuilder::ChannelHeader({});
             lines[1] = "-FileType Event";
             RecordingBuilder::WriteEventFile(dir.path / "CSC1.ocs", lines,
                                              std::vector<RecordingBuilder::EventRecord>(512));
             std::vector<unsigned char> bytes = ReadFileBytes(dir.path / "CSC1.ocs");
             bytes[16384 + 511 * 184 + 17] = 0x02;
             WriteFileBytes(dir.path / "CSC1.ocs", bytes);
         },
         L"Unable to use " + csc + L" as a CSC file: it holds event records (-FileType Event)."},
        {"a symbolic link to itself", [&] { std::filesystem::create_symlink("CSC1.ocs", dir.path / "CSC1.ocs"); },
         L"Unable to open file " + csc + L": Too many levels of symbolic links"},
        {"a FIFO", [&] { ASSERT_EQ(mkfifo((dir.path / "CSC1.ocs").c_str(), 0600), 0); },
         L"Unable to open file " + csc + L": it is not a regular file."},
    };
    ExpectEachFails(cases, L"", {csc});
}

TEST_F(HostileInputTest, UnusableHeaderValuesAreRefusedNamingTheFile)
{
    const std::wstring csc = PathOf("CSC1.ocs");
    const auto missing = [&](const std::wstring& key) {
        return L"No data returned from header when getting " + key + L" for CSC file: " + csc;
    };
    const auto invalid = [&](const std::wstring& key, const std::wstring& value, const std::wstring& rule) {
        return L"Invalid " + key + L" value " + value + L" for CSC file: " + csc + L". " + rule;
    };
    const std::wstring frequencyRule = L"It must be a whole number of samples per second from 1 to 1000000.";
    const std::wstring rangeRule = L"It must be a whole number other than 0, of at most 7 digits.";
    const std::wstring timeCreated = L"Error processing Time Opened header value for CSC file";
    const std::vector<FailingCase> cases = {
        {"no -SamplingFrequency", Header("-SamplingFrequency"), missing(L"-SamplingFrequency")},
        {"no -InputRange", Header("-InputRange"), missing(L"-InputRange")},
        {"no -ADMaxValue", Header("-ADMaxValue"), missing(L"-ADMaxValue")},
        {"no -AcqEntName", Header("-AcqEntName"), missing(L"-AcqEntName")},
        {"-SamplingFrequency fast", Header("-SamplingFrequency", {"fast"}),
         invalid(L"-SamplingFrequency", L"fast", frequencyRule)},
        // Microsecond timestamps cannot tell samples closer than 1 µs apart.
        {"-SamplingFrequency 1000001", Header("-SamplingFrequency", {"1000001"}),
         invalid(L"-SamplingFrequency", L"1000001", frequencyRule)},
        {"-SamplingFrequency beyond int", Header("-SamplingFrequency", {"99999999999"}),
         invalid(L"-SamplingFrequency", L"99999999999", frequencyRule)},
        {"-InputRange wide", Header("-InputRange", {"wide"}), invalid(L"-InputRange", L"wide", rangeRule)},
        {"-InputRange of 8 digits", Header("-InputRange", {"10000000"}),
         invalid(L"-InputRange", L"10000000", rangeRule)},
        {"-InputRange INT_MIN", Header("-InputRange", {"-2147483648"}),
         invalid(L"-InputRange", L"-2147483648", rangeRule)},
        {"-ADMaxValue negative", Header("-ADMaxValue", {"-5"}),
         invalid(L"-ADMaxValue", L"-5", L"It must not be negative.")},
        {"-ADMaxValue above 32767", Header("-ADMaxValue", {"32768"}), L"Error writing digital maximum header value",
         OrvLogging::Error, true},
        // As a label it would make the channel a second annotation signal.
        {"-AcqEntName of the annotation signal", Header("-AcqEntName", {"\"EDF Annotations\""}),
         invalid(L"-AcqEntName", L"EDF Annotations",
                 L"It must not read as \"EDF Annotations\", the label of the EDF+ annotation signal.")},
        {"no -TimeCreated", Header("-TimeCreated"), timeCreated + L".  The expected return parameter count was 0."},
        {"two -TimeCreated", Header("-TimeCreated", {"2017/07/03 10:22:33", "2017/07/04 10:22:33"}),
         timeCreated + L".  The expected return parameter count was 0."},
        {"-TimeCreated of three fields", Header("-TimeCreated", {"2017/07/03 10:22:33 extra"}),
         timeCreated + L". The expected return parameter count was not equal to 2."},
        {"-TimeCreated with dashes", Header("-TimeCreated", {"2017-07-03 10:22:33"}),
         timeCreated + L" " + csc
             + L": 2017-07-03 10:22:33 is not a date written year/month/day and a time written hour:minute:second."},
    };
    ExpectEachFails(cases, L"", {csc});
}

TEST_F(HostileInputTest, UnusableEventFilesAreRefusedNamingThem)
{
    const std::wstring events = PathOf("Events.oev");
    const auto channelAnd = [&](std::function<void()> write) {
        return [this, write] {
            WriteCsc(RecordingBuilder::ChannelHeader({}));
            write();
        };
    };
    const std::vector<FailingCase> cases = {
        {"missing", channelAnd([] {}), L"Unable to open file " + events + L": No such file or directory"},
        {"CSC records", channelAnd([&] {
             RecordingBuilder::WriteCscFile(dir.path / "Events.oev", RecordingBuilder::ChannelHeader({}), threeSeconds);
         }),
         L"Unable to use " + events + L" as the event file: it holds CSC records (-FileType CSC)."},
    };
    ExpectEachFails(cases, events, {PathOf("CSC1.ocs")});
}

TEST_F(HostileInputTest, UnreadableFileIsRefusedNamingIt)
{
    WriteCsc(RecordingBuilder::ChannelHeader({}));
    ASSERT_EQ(chmod((dir.path / "CSC1.ocs").c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    const std::wstring expected = L"Unable to open file " + PathOf("CSC1.ocs") + L": Permission denied";
    // Root reads any file: the conversion runs in a child without root's rights.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        const int result = Convert(L"", {PathOf("CSC1.ocs")});
        const bool refused = result == -1 && !messages.empty() && messages.back().type == OrvLogging::Error;
        _exit(refused && messages.back().text == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: rights could not be dropped; 1: other result or message";
}

TEST_F(HostileInputTest, CreationTimeThatIsNoDateIsNotNeededWhenTheTimestampsAreDates)
{
    WriteCsc(HeaderWith("-TimeCreated", {"abcd/ef/gh 10:22:33"}));
    ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), 0);
    const EdfFile edf = ParsedOutput();
    EXPECT_EQ(edf.startDate, "05.07.17");
    EXPECT_EQ(edf.startTime, "10.00.00");
    EXPECT_EQ(edf.samplesPerSignal.at(0), Ramp(0, 3000));
}

TEST_F(HostileInputTest, HighestSampleFrequencyConverts)
{
    Channel channel;
    channel.samplingFrequency = "1000000";  // 1 µs apart: one channel gets records of 30,303 samples
    WriteCsc(RecordingBuilder::ChannelHeader(channel), ContinuousRecords(july5th2017, 1000000, 1536, 0));
    ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), 0);
    const EdfFile edf = ParsedOutput();
    EXPECT_EQ(edf.recordDuration, "0.0303");
    EXPECT_EQ(edf.samplesPerSignal.at(0), Ramp(0, 1536, 30303));
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts"}));  // one record, one annotation
}

TEST_F(HostileInputTest, TimestampsThatWrapAroundStayOneSegment)
{
    // The clock passes UINT64_MAX 100 samples in; unsigned arithmetic keeps the instants 1 ms
    // apart across the wrap, and the start date comes from the header (the timestamp is no date).
    const uint64_t nearEnd = UINT64_MAX - 99000;
    WriteCsc(RecordingBuilder::ChannelHeader({}), ContinuousRecords(nearEnd, 1000, 1536, 0));
    const std::wstring events = WriteEvents({{0, "at zero"}, {UINT64_MAX, "at the end"}, {nearEnd, "first"}});
    ASSERT_EQ(Convert(events, {PathOf("CSC1.ocs")}), 0);
    ASSERT_EQ(EdfFilesWritten(), std::vector<std::string>{"DevOutput.edf"});
    const EdfFile edf = ParsedOutput();
    EXPECT_EQ(edf.startDate, "03.07.17");
    EXPECT_EQ(edf.startTime, "10.22.33");
    EXPECT_EQ(edf.samplesPerSignal.at(0), Ramp(0, 1536, 2000));
    // The window's end now lies below its start: no event, not even the one at its first
    // instant, falls between them, and the end is the wrapped difference.
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts", "+1.5350 Recording ends"}));
}

TEST_F(HostileInputTest, EndlessBackwardStepsEndWhenTheNameGrowsTooLong)
{
    // Each step back starts a file named after the previous one plus "_01": after 81 files the
    // next name is longer than a file system allows, and the conversion stops with the writer's
    // message naming it.
    std::vector<CscRecord> records(100);
    for (int i = 0; i < 100; ++i)
        records[static_cast<size_t>(i)] = {
            july5th2017 - static_cast<uint64_t>(i) * 1000000, 1, {static_cast<int16_t>(i)}};
    WriteCsc(RecordingBuilder::ChannelHeader({}), records);
    EXPECT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), -1);
    std::string name = "DevOutput";
    for (int i = 0; i < 81; ++i)
        name += "_01";
    EXPECT_EQ(messages.back().text, L"Unable to open EDF file named: " + PathOf(name + ".edf"));
    EXPECT_EQ(EdfFilesWritten().size(), 81u);
    const EdfFile third = ParsedOutput("DevOutput_01_01.edf");
    EXPECT_EQ(third.startTime, "09.59.58");
    EXPECT_EQ(third.samplesPerSignal.at(0).at(0), 2);
    EXPECT_EQ(ParsedOutput(name.substr(0, name.size() - 3) + ".edf").samplesPerSignal.at(0).at(0), 80);
}

TEST_F(HostileInputTest, NamesThatAreNotUtf8Convert)
{
    // A directory and a channel file named by another system, with bytes that are not UTF-8.
    const std::filesystem::path foreign = dir.path / "rec\xff\xfe";
    std::filesystem::create_directory(foreign);
    RecordingBuilder::WriteCscFile(foreign / "CSC\xe9.ocs", RecordingBuilder::ChannelHeader({}), threeSeconds);
    const std::wstring directory = OrvText::Utf8ToWide(foreign.string());
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(directory, cscFiles, eventFile);
    ASSERT_EQ(cscFiles.size(), 1u);
    ASSERT_EQ(engine.Convert(directory + L"/DevOutput.edf", eventFile, cscFiles), 0);
    EXPECT_TRUE(HasMessage(OrvLogging::Notice, L"EDF File Opened Successfully: " + directory + L"/DevOutput.edf"));
    EXPECT_EQ(Parsed(foreign / "DevOutput.edf").samplesPerSignal.at(0).size(), 3000u);
}
