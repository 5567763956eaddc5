// Inputs the engine must refuse before any sample is moved: file counts, damaged files, headers
// and event files, channels that disagree. Each ends with an Error message (the texts are part of
// the product) that names the offending file, and none may crash or hang.
#include <sys/stat.h>

#include "edf/EdfFileEngine.h"
#include "synth/SynthRecording.h"

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

// One input the engine must refuse: `write` puts it into the emptied directory.
struct FailingCase {
    std::string what;
    std::function<void()> write;
    std::wstring message;
    size_t outputFiles = 0;  // refused by the writer or the reader after output files were opened
    // The Error right after a fixed message that names no file or no reason: "<path>: <reason>."
    std::wstring fileError = {};
};

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

    // Converts once per case in the emptied directory: each must end with its message, the only
    // Error of the run (or its message and the Error naming the file), with the output files it
    // had opened and no file left open.
    void ExpectEachFails(const std::vector<FailingCase>& cases, const std::wstring& eventFile,
                         const std::vector<std::wstring>& cscFiles)
    {
        for (const FailingCase& c : cases) {
            SCOPED_TRACE(c.what);
            EmptyDirectory();
            c.write();
            messages.clear();
            EXPECT_EQ(Convert(eventFile, cscFiles), -1);
            const auto isError = [](const CapturedMessage& m) { return m.type == OrvLogging::Error; };
            const size_t errors = c.fileError.empty() ? 1 : 2;
            EXPECT_EQ(static_cast<size_t>(std::count_if(messages.begin(), messages.end(), isError)), errors);
            const auto error = std::find_if(messages.begin(), messages.end(), isError);
            ASSERT_NE(error, messages.end());
            EXPECT_EQ(error->text, c.message);
            if (!c.fileError.empty()) {
                ASSERT_NE(error + 1, messages.end());
                EXPECT_EQ((error + 1)->text, c.fileError);
            }
            // The file being written when it failed keeps its unfinished name, which a Warning
            // names last; the files finished before it have theirs.
            const size_t unfinished = c.outputFiles > 0 ? 1 : 0;
            EXPECT_EQ(EdfFilesWritten().size(), c.outputFiles - unfinished);
            EXPECT_EQ(messages.back().type, unfinished == 1 ? OrvLogging::Warning : OrvLogging::Error);
            EXPECT_EQ(messages.back().text.find(L".edf.partial, a name that is not taken") != std::wstring::npos,
                      unfinished == 1)
                << messages.back().text;
            // The EDF file engine's table holds 64 files for the whole process: a failed
            // conversion must not keep a slot. The lowest free one is given out first.
            const int probe = EdfOpenFile((dir.path / "probe.edf").c_str(), 0);
            EXPECT_EQ(probe, 0);
            EXPECT_EQ(EdfCloseFile(probe), 0);
        }
    }
};

TEST_F(HostileInputTest, UnusableChannelFilesAreRefusedNamingThem)
{
    const std::wstring csc = PathOf("CSC1.ocs");
    const std::vector<FailingCase> cases = {
        {"shorter than its header",
         [&] {
             std::vector<unsigned char> block = RecordingBuilder::HeaderBlock(RecordingBuilder::ChannelHeader({}));
             block.pop_back();
             WriteFileBytes(dir.path / "CSC1.ocs", block);
         },
         L"Unable to open file " + csc
             + L": it holds 16383 bytes, fewer than the 16384-byte header block of an acquisition file."},
        {"binary header", [&] { WriteFileBytes(dir.path / "CSC1.ocs", std::vector<unsigned char>(16384, 0xFF)); },
         L"No data returned from header when getting Session UUID for CSC file.", 0,
         csc + L": its header has no -SessionUUID value."},
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
        // Written by the generator: after a gap of 10 s, record 7 claims 513 samples.
        {"a corrupt record",
         [&] {
             VareloSynth::SynthOptions options;
             options.directory = dir.path;
             options.channels.resize(1);
             options.channels[0].corruptRecord = 7;
             options.samplesPerChannel = 8 * 512;
             options.gaps = {{6, 10000000}};
             options.writeEventFile = false;
             std::string error;
             ASSERT_EQ(VareloSynth::WriteSynthRecording(options, error), 0) << error;
         },
         L"Corrupt record 7 in file " + csc + L": it claims 513 valid samples, more than 512.", 2},
        // The header holds years up to 3000; the file was opened before the first instant's date
        // was known.
        {"records dated 3001",
         [&] {
             WriteCsc(RecordingBuilder::ChannelHeader({}), ContinuousRecords(32535216000ull * 1000000, 1000, 3000, 0));
         },
         L"Error writing start date to EDF file", 1,
         PathOf("DevOutput.edf")
             + L": the start date and time 3001-01-01 00:00:00 (year-month-day hour:minute:second) lies outside what "
               L"the header holds, the years 1970 to 3000 and a time of day from 00:00:00 to 23:59:59."},
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
    const std::wstring rangeRule = L"It must be a whole number from 1 to 9999999.";
    const std::wstring timeCreated = L"Error processing Time Opened header value for CSC file";
    const std::vector<FailingCase> cases = {
        {"no -SamplingFrequency", Header("-SamplingFrequency"), missing(L"-SamplingFrequency")},
        {"no -AcqEntName", Header("-AcqEntName"), missing(L"-AcqEntName")},
        {"-SamplingFrequency fast", Header("-SamplingFrequency", {"fast"}),
         invalid(L"-SamplingFrequency", L"fast", frequencyRule)},
        // Microsecond timestamps cannot tell samples closer than 1 µs apart.
        {"-SamplingFrequency 1000001", Header("-SamplingFrequency", {"1000001"}),
         invalid(L"-SamplingFrequency", L"1000001", frequencyRule)},
        {"-InputRange wide", Header("-InputRange", {"wide"}), invalid(L"-InputRange", L"wide", rangeRule)},
        {"-InputRange of 8 digits", Header("-InputRange", {"10000000"}),
         invalid(L"-InputRange", L"10000000", rangeRule)},
        // As a label it would make the channel a second annotation signal.
        {"-AcqEntName of the annotation signal", Header("-AcqEntName", {"\"EDF Annotations\""}),
         invalid(L"-AcqEntName", L"EDF Annotations",
                 L"It must not read as \"EDF Annotations\", the label of the EDF+ annotation signal.")},
        {"no -TimeCreated", Header("-TimeCreated"), timeCreated + L".  The expected return parameter count was 0.", 0,
         csc + L": its header has no -TimeCreated line."},
        {"two -TimeCreated lines", Header("-TimeCreated", {"2017/07/03 10:22:33", "2017/07/03 10:22:34"}),
         timeCreated + L".  The expected return parameter count was 0.", 0,
         csc + L": its header has 2 -TimeCreated lines, not one."},
        {"-TimeCreated of three fields", Header("-TimeCreated", {"2017/07/03 10:22:33 extra"}),
         timeCreated + L". The expected return parameter count was not equal to 2.", 0,
         csc
             + L": its -TimeCreated value \"2017/07/03 10:22:33 extra\" has 3 fields, not the two of a date and a "
               L"time."},
        {"-TimeCreated with dashes", Header("-TimeCreated", {"2017-07-03 10:22:33"}),
         timeCreated + L" " + csc
             + L": 2017-07-03 10:22:33 is not a date written year/month/day and a time written hour:minute:second."},
    };
    ExpectEachFails(cases, L"", {csc});
}

// Header values that would give wrong data: refused before any output exists, with an Error that
// names the file, the key and the value. Values that the integer reading takes as they stand
// keep their meaning.
TEST_F(HostileInputTest, MalformedHeaderValuesAreRefusedBeforeAnyOutputExists)
{
    struct Malformed {
        std::string key;
        std::string value;
        std::wstring rule;
    };
    const std::wstring adRule = L"It must be a whole number from 1 to 32767.";
    const std::wstring rangeRule = L"It must be a whole number from 1 to 9999999.";
    const std::wstring frequencyRule = L"It must be a whole number of samples per second from 1 to 1000000.";
    const std::wstring timeRule = L"It must be a real date and time, written year/month/day hour:minute:second, of "
                                  L"the years 1970 to 3000.";
    const std::vector<Malformed> cases = {
        {"-ADMaxValue", "0", adRule},
        {"-ADMaxValue", "NaN", adRule},
        {"-ADMaxValue", "inf", adRule},
        {"-ADMaxValue", "0x10", adRule},  // the integer reading stops at the x: 0
        {"-ADMaxValue", "2147483648", adRule},
        {"-ADMaxValue", "max", adRule},
        {"-ADMaxValue", "-1", adRule},
        {"-ADMaxValue", "32768", adRule},  // the 16-bit digital range cannot hold it
        {"-ADMaxValue", "3.2767e4", adRule},
        {"-InputRange", "0", rangeRule},
        {"-InputRange", "-1000", rangeRule},
        {"-InputRange", "inf", rangeRule},
        {"-InputRange", "1e3", rangeRule},
        {"-InputRange", "1000.5", rangeRule},
        {"-InputRange", "10000000", rangeRule},        // -10000000 would be cut in the 8-character field
        {"-SamplingFrequency", "1e6", frequencyRule},  // the integer reading would give 1 Hz
        {"-SamplingFrequency", "32000.5", frequencyRule},
        {"-SamplingFrequency", "0", frequencyRule},
        {"-SamplingFrequency", "-1000", frequencyRule},
        {"-SamplingFrequency", "NaN", frequencyRule},
        {"-TimeCreated", "2017/02/30 10:22:33", timeRule},
        {"-TimeCreated", "2100/02/29 10:22:33", timeRule},  // not a leap year
        {"-TimeCreated", "2017/13/01 10:22:33", timeRule},
        {"-TimeCreated", "2017/07/03 25:00:00", timeRule},
        {"-TimeCreated", "2017/07/03 10:60:00", timeRule},
        {"-TimeCreated", "2017/07/03 10:22:60", timeRule},
        {"-TimeCreated", "2017/07/03 10:22:xx", timeRule},
        {"-TimeCreated", "1969/12/31 23:59:59", timeRule},
        {"-TimeCreated", "3001/01/01 00:00:00", timeRule},
    };
    const std::wstring csc = PathOf("CSC1.ocs");
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.key + " " + c.value);
        EmptyDirectory();
        WriteCsc(HeaderWith(c.key, {c.value}));
        messages.clear();
        EXPECT_EQ(Convert(L"", {csc}), -1);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().type, OrvLogging::Error);
        const std::wstring value = std::wstring(c.value.begin(), c.value.end());
        EXPECT_EQ(messages.back().text, L"Invalid " + std::wstring(c.key.begin(), c.key.end()) + L" value " + value
                                            + L" for CSC file: " + csc + L". " + c.rule);
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"CSC1.ocs"}) << "nothing may be created";
    }

    // With more channels the data records get shorter: 32 channels at 1 MHz would need records
    // of 0.95 ms. Exact record timing sizes them differently (1 ms) and takes the frequency.
    std::vector<std::wstring> files;
    for (int c = 1; c <= 32; ++c) {
        RecordingBuilder::Channel channel = Named("CSC" + std::to_string(c));
        channel.samplingFrequency = "1000000";
        files.push_back(WriteChannel(channel, ContinuousRecords(july5th2017, 1000000, 2000, 0)));
    }
    messages.clear();
    EXPECT_EQ(Convert(L"", files), -1);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, L"Invalid -SamplingFrequency value 1000000 for CSC file: " + files[0]
                                        + L". With 32 channels its data records would last less than 1 ms, the "
                                          L"shortest that the EDF writer makes; exact record timing avoids this.");
    EXPECT_TRUE(EdfFilesWritten().empty());
    ConversionOptions exact;
    exact.exactTiming = true;
    engine.SetOptions(exact);
    EXPECT_EQ(Convert(L"", files), 0);
}

// What the integer reading takes as it stands keeps its meaning: text after the digits, a
// fraction of zeros, a sign.
TEST_F(HostileInputTest, HeaderValuesWithTrailingTextKeepTheirMeaning)
{
    RecordingBuilder::Channel channel;
    channel.inputRange = "1000 uV";
    channel.adMaxValue = "+2047";
    channel.samplingFrequency = "1000.0";
    channel.timeCreated = "2016/02/29 23:59:59";  // a leap day, used for timestamps before 2011
    const std::wstring csc = WriteChannel(channel, ContinuousRecords(1000000, 1000, 3000, 0));
    ASSERT_EQ(Convert(L"", {csc}), 0);
    const EdfFile edf = ParsedOutput();
    ASSERT_EQ(edf.signals.size(), 2u);
    EXPECT_EQ(edf.signals[0].physicalMaximum, "1000");
    EXPECT_EQ(edf.signals[0].physicalMinimum, "-1000");
    EXPECT_EQ(edf.signals[0].digitalMaximum, 2047);
    EXPECT_EQ(edf.signals[0].digitalMinimum, -2048);
    EXPECT_EQ(edf.signals[0].samplesPerRecord, 1000);
    EXPECT_EQ(edf.startDate, "29.02.16");
    EXPECT_EQ(edf.startTime, "23.59.59");
}

TEST_F(HostileInputTest, ChannelsMustAgreeOnTheSessionAndTheSampleFrequency)
{
    const auto channels = [this](const Channel& second) {
        return [this, second] {
            WriteChannel(Channel{}, threeSeconds);
            WriteChannel(second, threeSeconds);
        };
    };
    Channel uuid = Named("CSC2");
    uuid.sessionUuid = "3A1F3C66-8B0E-4B7E-9D3C-2F5B7C1D0E42";  // differs only in letter case
    Channel frequency = Named("CSC2");
    frequency.samplingFrequency = "1001";
    const std::vector<FailingCase> cases = {
        {"session UUIDs", channels(uuid),
         L"Error, Session UUIDs do not match between CSC files.  Current UUID: 3A1F3C66-8B0E-4B7E-9D3C-2F5B7C1D0E42, "
         L"Previous UUID: 3a1f3c66-8b0e-4b7e-9d3c-2f5b7c1d0e42",
         0, PathOf("CSC2.ocs") + L": its -SessionUUID differs from that of " + PathOf("CSC1.ocs") + L"."},
        {"sample frequencies", channels(frequency),
         L"Error, sample frequencies do not match between CSC files.  Current sample frequency: 1001, Previous "
         L"sample frequency: 1000",
         0, PathOf("CSC2.ocs") + L": its -SamplingFrequency differs from that of " + PathOf("CSC1.ocs") + L"."},
    };
    ExpectEachFails(cases, L"", {PathOf("CSC1.ocs"), PathOf("CSC2.ocs")});

    frequency.samplingFrequency = "1000.0";  // frequencies compare as integers
    EXPECT_EQ(Convert(L"", {WriteChannel(Channel{}, threeSeconds), WriteChannel(frequency, threeSeconds)}), 0);
}

TEST_F(HostileInputTest, EventFileIsReadBeforeTheChannelFilesEvenWithoutAny)
{
    const std::wstring events = PathOf("Events.oev");
    const std::vector<FailingCase> cases = {
        {"missing", [] {}, L"Unable to open file " + events + L": No such file or directory"},
        {"CSC records",
         [&] {
             RecordingBuilder::WriteCscFile(dir.path / "Events.oev", RecordingBuilder::ChannelHeader({}), threeSeconds);
         },
         L"Unable to use " + events + L" as the event file: it holds CSC records (-FileType CSC)."},
    };
    ExpectEachFails(cases, events, {});
    ExpectEachFails(cases, events, {PathOf("CSC1.ocs")});

    // A usable event file and no channel file: the run gives up with a notice.
    messages.clear();
    EXPECT_EQ(Convert(WriteEvents({{5, "Starting Recording"}}), {}), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text, L"There were not any valid CSC files specified.  File conversion has been aborted.");
}

TEST_F(HostileInputTest, MoreThan256FilesAreRefusedBeforeAnythingIsOpened)
{
    std::vector<std::wstring> names(257, PathOf("missing.ocs"));
    EXPECT_EQ(Convert(PathOf("missing.oev"), names), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text, L"CSC file count exeeds the maximim allowed (256).");

    names.pop_back();  // 256 pass the count: opening the first file is what fails
    messages.clear();
    EXPECT_EQ(Convert(L"", names), -1);
    EXPECT_EQ(messages.back().text, L"Unable to open file " + PathOf("missing.ocs") + L": No such file or directory");
}
