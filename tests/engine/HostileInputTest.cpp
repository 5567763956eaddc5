// Inputs that an acquisition system never writes but a disk may hold: damaged headers, records
// and event files, strange names and strange things in a recording directory. Each ends with an
// Error message that names the offending file, or with a correct conversion where the data allow
// it; none may crash or hang.
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;
using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;

namespace {

constexpr uint64_t july5th2017 = 1499248800ull * 1000000;  // 2017-07-05 10:00:00 UTC, µs
constexpr int frequency = 1000;
constexpr size_t headerBytes = 16384;
constexpr size_t eventRecordBytes = 184;

const std::vector<CscRecord> threeSeconds = ContinuousRecords(july5th2017, frequency, 3000, 0);

std::vector<std::string> HeaderWithout(const std::string& key, const Channel& channel = {})
{
    std::vector<std::string> lines = RecordingBuilder::ChannelHeader(channel);
    std::erase_if(lines, [&](const std::string& line) { return line.rfind(key + " ", 0) == 0; });
    return lines;
}

std::vector<std::string> TalTexts(const EdfFile& file)
{
    std::vector<std::string> texts;
    for (const EdfTal& tal : file.annotations) {
        for (const std::string& text : tal.texts)
            texts.push_back(tal.onset + " " + text);
    }
    return texts;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// One damaged input and the Error that the conversion must end with.
struct HostileCase {
    std::string what;
    std::function<void()> write;
    std::wstring message;
};

}  // namespace

// A conversion of a recording whose files are written by the test, run once per case in the same
// directory; every case must fail with its message as the last one, an Error.
class HostileInputTest : public EngineTest {
protected:
    void ExpectEachFails(const std::vector<HostileCase>& cases, const std::wstring& eventFile,
                         const std::vector<std::wstring>& cscFiles)
    {
        for (const HostileCase& c : cases) {
            SCOPED_TRACE(c.what);
            for (const auto& entry : std::filesystem::directory_iterator(dir.path))
                std::filesystem::remove_all(entry.path());
            c.write();
            messages.clear();
            EXPECT_EQ(Convert(eventFile, cscFiles), -1);
            ASSERT_FALSE(messages.empty());
            EXPECT_EQ(messages.back().type, OrvLogging::Error);
            EXPECT_EQ(messages.back().text, c.message) << Narrow(messages.back().text);
            EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                                    [](const CapturedMessage& m) { return m.type == OrvLogging::Error; }),
                      1);
        }
    }

    void WriteCsc(const std::vector<std::string>& lines, const std::vector<CscRecord>& records = threeSeconds)
    {
        RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", lines, records);
    }

    EdfFile Parsed(const std::string& name)
    {
        EdfFile file;
        std::string error;
        EXPECT_TRUE(ParseEdfFile(dir.path / name, file, error)) << name << ": " << error;
        return file;
    }
};

// ---- headers

TEST_F(HostileInputTest, DamagedHeadersAreRefusedNamingTheFile)
{
    const std::wstring csc = PathOf("CSC1.ocs");
    const std::vector<std::string> good = RecordingBuilder::ChannelHeader({});
    auto withValue = [&](const std::string& key, const std::string& value) {
        std::vector<std::string> lines = HeaderWithout(key);
        lines.push_back(key + " " + value);
        return lines;
    };
    const std::vector<HostileCase> cases = {
        {"empty file", [&] { WriteFileBytes(dir.path / "CSC1.ocs", {}); },
         L"Unable to open file " + csc + L": it holds 0 bytes, fewer than the 16384-byte header block of an "
                                         L"acquisition file."},
        {"shorter than its header",
         [&] {
             std::vector<unsigned char> block = RecordingBuilder::HeaderBlock(good);
             block.resize(100);
             WriteFileBytes(dir.path / "CSC1.ocs", block);
         },
         L"Unable to open file " + csc + L": it holds 100 bytes, fewer than the 16384-byte header block of an "
                                         L"acquisition file."},
        {"binary header",
         [&] {
             WriteCsc(good);
             std::vector<unsigned char> bytes = ReadFileBytes(dir.path / "CSC1.ocs");
             std::fill(bytes.begin(), bytes.begin() + headerBytes, 0xFF);
             WriteFileBytes(dir.path / "CSC1.ocs", bytes);
         },
         L"No data returned from header when getting Session UUID for CSC file."},
        {"no -SamplingFrequency", [&] { WriteCsc(HeaderWithout("-SamplingFrequency")); },
         L"No data returned from header when getting -SamplingFrequency for CSC file: " + csc},
        {"no -ADMaxValue", [&] { WriteCsc(HeaderWithout("-ADMaxValue")); },
         L"No data returned from header when getting -ADMaxValue for CSC file: " + csc},
        {"no -AcqEntName", [&] { WriteCsc(HeaderWithout("-AcqEntName")); },
         L"No data returned from header when getting -AcqEntName for CSC file: " + csc},
        {"-SamplingFrequency not a number", [&] { WriteCsc(withValue("-SamplingFrequency", "fast")); },
         L"Invalid -SamplingFrequency value fast for CSC file: " + csc
             + L". It must be a whole number of samples per second from 1 to 1000000."},
        {"-SamplingFrequency 0", [&] { WriteCsc(withValue("-SamplingFrequency", "0")); },
         L"Invalid -SamplingFrequency value 0 for CSC file: " + csc
             + L". It must be a whole number of samples per second from 1 to 1000000."},
        {"-SamplingFrequency negative", [&] { WriteCsc(withValue("-SamplingFrequency", "-1000")); },
         L"Invalid -SamplingFrequency value -1000 for CSC file: " + csc
             + L". It must be a whole number of samples per second from 1 to 1000000."},
        // Microsecond timestamps cannot tell samples closer than 1 µs apart.
        {"-SamplingFrequency just too high", [&] { WriteCsc(withValue("-SamplingFrequency", "1000001")); },
         L"Invalid -SamplingFrequency value 1000001 for CSC file: " + csc
             + L". It must be a whole number of samples per second from 1 to 1000000."},
        {"-SamplingFrequency huge", [&] { WriteCsc(withValue("-SamplingFrequency", "2000000000")); },
         L"Invalid -SamplingFrequency value 2000000000 for CSC file: " + csc
             + L". It must be a whole number of samples per second from 1 to 1000000."},
        {"-SamplingFrequency beyond int", [&] { WriteCsc(withValue("-SamplingFrequency", "99999999999")); },
         L"Invalid -SamplingFrequency value 99999999999 for CSC file: " + csc
             + L". It must be a whole number of samples per second from 1 to 1000000."},
        {"-InputRange not a number", [&] { WriteCsc(withValue("-InputRange", "wide")); },
         L"Invalid -InputRange value wide for CSC file: " + csc
             + L". It must be a whole number other than 0, of at most 7 digits."},
        {"-InputRange 0", [&] { WriteCsc(withValue("-InputRange", "0")); },
         L"Invalid -InputRange value 0 for CSC file: " + csc
             + L". It must be a whole number other than 0, of at most 7 digits."},
        {"-InputRange INT_MIN", [&] { WriteCsc(withValue("-InputRange", "-2147483648")); },
         L"Invalid -InputRange value -2147483648 for CSC file: " + csc
             + L". It must be a whole number other than 0, of at most 7 digits."},
        {"-ADMaxValue negative", [&] { WriteCsc(withValue("-ADMaxValue", "-5")); },
         L"Invalid -ADMaxValue value -5 for CSC file: " + csc + L". It must not be negative."},
        {"-ADMaxValue above 32767", [&] { WriteCsc(withValue("-ADMaxValue", "32768")); },
         L"Error writing digital maximum header value"},
    };
    ExpectEachFails(cases, L"", {csc});
}

TEST_F(HostileInputTest, EventRecordsInAChannelFileAreRefused)
{
    // 512 event records end the file on a page boundary. Read as a CSC record, the last one
    // starts at timestamp 0 and its TTL and CRC bytes claim 512 valid samples: 1,042 bytes from
    // the start of a record of 184, far past the end of the file.
    std::vector<std::string> lines = RecordingBuilder::ChannelHeader({});
    lines[1] = "-FileType Event";
    std::vector<RecordingBuilder::EventRecord> events(512);
    RecordingBuilder::WriteEventFile(dir.path / "CSC1.ocs", lines, events);
    std::vector<unsigned char> bytes = ReadFileBytes(dir.path / "CSC1.ocs");
    bytes[headerBytes + 511 * eventRecordBytes + 17] = 0x02;
    WriteFileBytes(dir.path / "CSC1.ocs", bytes);

    EXPECT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text, L"Unable to use " + PathOf("CSC1.ocs")
                                        + L" as a CSC file: it holds event records (-FileType Event).");
    EXPECT_TRUE(EdfFilesWritten().empty());
}

TEST_F(HostileInputTest, HeadersThatStillHoldTheirValuesConvert)
{
    struct Case {
        std::string what;
        std::vector<unsigned char> header;
    };
    std::vector<std::string> lines = RecordingBuilder::ChannelHeader({});
    std::vector<unsigned char> noNul = RecordingBuilder::HeaderBlock(lines);
    std::fill(std::find(noNul.begin(), noNul.end(), 0), noNul.end(), '#');  // a comment to the block's end
    std::vector<std::string> crlf;
    for (const std::string& line : lines)
        crlf.push_back(line + "\r");
    lines[3] = "-TimeCreated abcd/ef/gh 10:22:33";  // not used: the timestamps give the start date
    const Case cases[] = {
        {"no NUL in the header block", noNul},
        {"CR LF line ends", RecordingBuilder::HeaderBlock(crlf)},
        {"-TimeCreated not a date", RecordingBuilder::HeaderBlock(lines)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.path / "DevOutput.edf");
        RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", {}, threeSeconds);
        std::vector<unsigned char> bytes = ReadFileBytes(dir.path / "CSC1.ocs");
        std::copy(c.header.begin(), c.header.end(), bytes.begin());
        WriteFileBytes(dir.path / "CSC1.ocs", bytes);
        messages.clear();
        ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), 0) << (messages.empty() ? "" : Narrow(messages.back().text));
        const EdfFile edf = Parsed("DevOutput.edf");
        EXPECT_EQ(edf.signals[0].label, "CSC1");
        EXPECT_EQ(edf.startTime, "10.00.00");
        EXPECT_EQ(edf.samplesPerSignal[0].size(), 3000u);
    }
}

TEST_F(HostileInputTest, HighestSampleFrequencyConverts)
{
    Channel channel;
    channel.samplingFrequency = "1000000";  // 1 µs apart: one channel gets records of 30,303 samples
    WriteCsc(RecordingBuilder::ChannelHeader(channel), ContinuousRecords(july5th2017, 1000000, 1536, 0));
    ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), 0);
    const EdfFile edf = Parsed("DevOutput.edf");
    EXPECT_EQ(edf.recordDuration, "0.0303");
    ASSERT_EQ(edf.samplesPerSignal[0].size(), 30303u);
    EXPECT_EQ(edf.samplesPerSignal[0][1535], 1535);
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts"}));  // one record, one annotation
}

// ---- records

TEST_F(HostileInputTest, RecordClaimingFourBillionSamplesIsRefused)
{
    std::vector<CscRecord> records = threeSeconds;
    records[0].validSamples = 0xFFFFFFFF;
    WriteCsc(RecordingBuilder::ChannelHeader({}), records);
    EXPECT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text, L"Corrupt record 0 in file " + PathOf("CSC1.ocs")
                                        + L": it claims 4294967295 valid samples, more than 512.");
}

TEST_F(HostileInputTest, ChannelWithoutSamplesGivesAFileWithoutSamples)
{
    std::vector<CscRecord> empty = threeSeconds;
    for (CscRecord& record : empty)
        record.validSamples = 0;
    const std::vector<std::pair<std::string, std::vector<CscRecord>>> cases = {
        {"no record at all", {}},
        {"every record empty", empty},
    };
    for (const auto& [what, records] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove(dir.path / "DevOutput.edf");
        WriteCsc(RecordingBuilder::ChannelHeader({}), records);
        ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), 0);
        const EdfFile edf = Parsed("DevOutput.edf");
        EXPECT_EQ(edf.recordCount, 2);  // one data record of zeros for each annotation
        EXPECT_EQ(edf.samplesPerSignal[0], std::vector<int16_t>(2000, 0));
        EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts", "+0 Recording ends"}));
    }
}

TEST_F(HostileInputTest, TimestampsThatWrapAroundStayOneSegment)
{
    // The clock passes UINT64_MAX 100 samples in; unsigned arithmetic keeps the instants 1 ms
    // apart across the wrap, and the start date comes from the header (the timestamp is no date).
    const uint64_t nearEnd = UINT64_MAX - 99000;
    WriteCsc(RecordingBuilder::ChannelHeader({}), ContinuousRecords(nearEnd, frequency, 1536, 0));
    const std::wstring events = WriteEvents({{0, "at zero"}, {UINT64_MAX, "at the end"}, {nearEnd, "first"}});
    ASSERT_EQ(Convert(events, {PathOf("CSC1.ocs")}), 0);
    ASSERT_EQ(EdfFilesWritten(), std::vector<std::string>{"DevOutput.edf"});
    const EdfFile edf = Parsed("DevOutput.edf");
    EXPECT_EQ(edf.recordCount, 2);
    EXPECT_EQ(edf.startDate, "03.07.17");
    EXPECT_EQ(edf.startTime, "10.22.33");
    std::vector<int16_t> expected(2000, 0);
    for (int16_t i = 0; i < 1536; ++i)
        expected[static_cast<size_t>(i)] = i;
    EXPECT_EQ(edf.samplesPerSignal[0], expected);
    // The window's end now lies below its start: no event, not even the one at its first
    // instant, falls between them, and the end is the wrapped difference.
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts", "+1.5350 Recording ends"}));
}

TEST_F(HostileInputTest, TimestampsGoingBackEveryRecordGiveOneFilePerRecord)
{
    std::vector<CscRecord> records;
    for (int i = 0; i < 4; ++i) {
        CscRecord record;
        record.timestamp = july5th2017 + static_cast<uint64_t>(10 - i) * 1000000;
        record.validSamples = 2;
        record.samples = {static_cast<int16_t>(10 * i), static_cast<int16_t>(10 * i + 1)};
        records.push_back(record);
    }
    WriteCsc(RecordingBuilder::ChannelHeader({}), records);
    ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), 0);
    // Each open goes on from the name the previous one took.
    ASSERT_EQ(EdfFilesWritten(), (std::vector<std::string>{"DevOutput.edf", "DevOutput_01.edf", "DevOutput_01_01.edf",
                                                           "DevOutput_01_01_01.edf"}));
    const EdfFile last = Parsed("DevOutput_01_01_01.edf");
    EXPECT_EQ(last.startTime, "10.00.07");
    EXPECT_EQ(last.samplesPerSignal[0][0], 30);
    EXPECT_EQ(last.samplesPerSignal[0][1], 31);
}

TEST_F(HostileInputTest, EndlessBackwardStepsEndWhenTheNameGrowsTooLong)
{
    // Every name adds "_01" to the last: after 81 files the next name is longer than a file
    // system allows, and the conversion stops with the writer's message naming it.
    std::vector<CscRecord> records;
    for (int i = 0; i < 100; ++i) {
        CscRecord record;
        record.timestamp = july5th2017 - static_cast<uint64_t>(i) * 1000000;
        record.validSamples = 1;
        record.samples = {static_cast<int16_t>(i)};
        records.push_back(record);
    }
    WriteCsc(RecordingBuilder::ChannelHeader({}), records);
    EXPECT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), -1);
    std::wstring tooLong = L"DevOutput";
    for (int i = 0; i < 81; ++i)
        tooLong += L"_01";
    EXPECT_EQ(messages.back().text, L"Unable to open EDF file named: " + PathOf(Narrow(tooLong) + ".edf"));
    EXPECT_EQ(EdfFilesWritten().size(), 81u);
    const std::string lastName = Narrow(tooLong.substr(0, tooLong.size() - 3)) + ".edf";
    EXPECT_EQ(Parsed(lastName).samplesPerSignal[0][0], 80);
}

// ---- event files

TEST_F(HostileInputTest, DamagedEventFilesAreRefusedNamingTheFile)
{
    const std::wstring events = PathOf("Events.oev");
    const std::vector<HostileCase> cases = {
        {"shorter than its header",
         [&] {
             WriteCsc(RecordingBuilder::ChannelHeader({}));
             WriteFileBytes(dir.path / "Events.oev", std::vector<unsigned char>(50, '-'));
         },
         L"Unable to open file " + events + L": it holds 50 bytes, fewer than the 16384-byte header block of an "
                                            L"acquisition file."},
        {"a FIFO",
         [&] {
             WriteCsc(RecordingBuilder::ChannelHeader({}));
             ASSERT_EQ(mkfifo((dir.path / "Events.oev").c_str(), 0600), 0);
         },
         L"Unable to open file " + events + L": it is not a regular file."},
        {"CSC records in the event file",
         [&] {
             WriteCsc(RecordingBuilder::ChannelHeader({}));
             RecordingBuilder::WriteCscFile(dir.path / "Events.oev", RecordingBuilder::ChannelHeader({}), threeSeconds);
         },
         L"Unable to use " + events + L" as the event file: it holds CSC records (-FileType CSC)."},
    };
    ExpectEachFails(cases, events, {PathOf("CSC1.ocs")});
}

TEST_F(HostileInputTest, TenThousandEventsInAShortFileKeepOnePerRecord)
{
    std::vector<RecordingBuilder::EventRecord> events;
    for (int i = 0; i < 10000; ++i) {
        std::string text = "e";
        text += std::to_string(i);
        events.push_back({july5th2017 + static_cast<uint64_t>(i) * 100, text});
    }
    WriteCsc(RecordingBuilder::ChannelHeader({}));
    ASSERT_EQ(Convert(WriteEvents(events), {PathOf("CSC1.ocs")}), 0);
    const EdfFile edf = Parsed("DevOutput.edf");
    EXPECT_EQ(edf.recordCount, 3);
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0 Recording starts", "+0 e0", "+0.0001 e1"}));
}

TEST_F(HostileInputTest, EventsAtTheEndsOfTheClockFallInNoFile)
{
    WriteCsc(RecordingBuilder::ChannelHeader({}));
    const std::wstring events = WriteEvents({{0, "zero"}, {UINT64_MAX, "last"}, {july5th2017 + 1000000, "inside"}});
    ASSERT_EQ(Convert(events, {PathOf("CSC1.ocs")}), 0);
    EXPECT_EQ(TalTexts(Parsed("DevOutput.edf")),
              (std::vector<std::string>{"+0 Recording starts", "+1 inside", "+2.9990 Recording ends"}));
}

// ---- names and paths

TEST_F(HostileInputTest, ChannelNamesBecomeLabelsAsFarAsTheyCan)
{
    struct Case {
        std::string what;
        std::string name;
        std::string label;
        std::wstring warning;  // empty: none
    };
    const std::string longName(200, 'N');
    const Case cases[] = {
        // The header is ISO 8859-1: UTF-8 bytes of U+03A9 read as 0xCE 0xA9, which fold to "I" and " ".
        {"UTF-8 bytes", "\xCE\xA9mega", "I mega", L""},
        {"200 characters", longName, std::string(16, 'N'),
         L"Warning, header labels can only be a max of 16 chars, the label: " + std::wstring(200, L'N')
             + L" will be truncated."},
        {"empty quoted name", "\"\"", "", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.path / "DevOutput.edf");
        Channel channel;
        channel.name = c.name;
        WriteCsc(RecordingBuilder::ChannelHeader(channel));
        messages.clear();
        ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), 0);
        EXPECT_EQ(Parsed("DevOutput.edf").signals[0].label, c.label);
        std::vector<std::wstring> warnings;
        for (const CapturedMessage& message : messages) {
            if (message.type == OrvLogging::Warning)
                warnings.push_back(message.text);
        }
        EXPECT_EQ(warnings, c.warning.empty() ? std::vector<std::wstring>{} : std::vector<std::wstring>{c.warning});
    }
}

TEST_F(HostileInputTest, PathsThatAreNoRegularFileAreRefusedNamingThem)
{
    const std::wstring csc = PathOf("CSC1.ocs");
    const std::vector<HostileCase> cases = {
        {"a directory", [&] { std::filesystem::create_directory(dir.path / "CSC1.ocs"); },
         L"Unable to open file " + csc + L": Is a directory"},
        {"a dangling symbolic link",
         [&] { std::filesystem::create_symlink(dir.path / "absent.ocs", dir.path / "CSC1.ocs"); },
         L"Unable to open file " + csc + L": No such file or directory"},
        {"a symbolic link to itself", [&] { std::filesystem::create_symlink("CSC1.ocs", dir.path / "CSC1.ocs"); },
         L"Unable to open file " + csc + L": Too many levels of symbolic links"},
        {"a FIFO", [&] { ASSERT_EQ(mkfifo((dir.path / "CSC1.ocs").c_str(), 0600), 0); },
         L"Unable to open file " + csc + L": it is not a regular file."},
    };
    ExpectEachFails(cases, L"", {csc});
    EXPECT_TRUE(EdfFilesWritten().empty());
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
        std::wstring last;
        OrvToEDF engine;
        SubscriptionId id = 0;
        engine.Subscribe([&](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
            if (type == OrvLogging::Error)
                last = text;
        }, id);
        const int result = engine.Convert(PathOf("DevOutput.edf"), L"", {PathOf("CSC1.ocs")});
        _exit(result == -1 && last == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: rights could not be dropped; 1: other result or message";
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
    EdfFile edf;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(foreign / "DevOutput.edf", edf, error)) << error;
    EXPECT_EQ(edf.samplesPerSignal[0].size(), 3000u);
}

// ---- recording directories

TEST(HostileDirectoryTest, StrangeEntriesBesideTheChannelFilesArePassedOver)
{
    struct Case {
        std::string what;
        std::function<void(const std::filesystem::path&)> add;
    };
    const Case cases[] = {
        {"a directory named like a channel file",
         [](const auto& d) { std::filesystem::create_directory(d / "x.ocs"); }},
        {"a directory named like an event file",
         [](const auto& d) { std::filesystem::create_directory(d / "a.oev"); }},
        {"a dangling symbolic link", [](const auto& d) { std::filesystem::create_symlink(d / "gone", d / "d.ocs"); }},
        {"a symbolic link loop", [](const auto& d) { std::filesystem::create_symlink("loop.ocs", d / "loop.ocs"); }},
        {"a FIFO named like a channel file", [](const auto& d) { ASSERT_EQ(mkfifo((d / "f.ocs").c_str(), 0600), 0); }},
        {"a FIFO named like an event file", [](const auto& d) { ASSERT_EQ(mkfifo((d / "f.oev").c_str(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}), threeSeconds);
        c.add(dir.path);
        std::vector<std::wstring> cscFiles;
        std::wstring eventFile = L"stale";
        ScanDirectory(dir.path.wstring(), cscFiles, eventFile);
        EXPECT_EQ(cscFiles, std::vector<std::wstring>{(dir.path / "CSC1.ocs").wstring()});
        EXPECT_EQ(eventFile, L"");
        LogFile logFile;
        CapturingFrontend frontend(logFile);
        EXPECT_EQ(RunConversion(dir.path.wstring(), cscFiles, eventFile, logFile, frontend), 0);
        EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "DevOutput.edf"));
    }
}

TEST(HostileDirectoryTest, EmptyChannelFileInTheDirectoryFailsTheRunNamingIt)
{
    TempDir dir;
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}), threeSeconds);
    Touch(dir.path / "CSC2.ocs");
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(dir.path.wstring(), cscFiles, eventFile);
    LogFile logFile;
    CapturingFrontend frontend(logFile);
    EXPECT_EQ(RunConversion(dir.path.wstring(), cscFiles, eventFile, logFile, frontend), -1);
    ASSERT_GE(frontend.events.size(), 3u);
    EXPECT_EQ(frontend.events[frontend.events.size() - 3],
              L"Error: Unable to open file " + (dir.path / "CSC2.ocs").wstring()
                  + L": it holds 0 bytes, fewer than the 16384-byte header block of an acquisition file.");
    EXPECT_EQ(frontend.events[frontend.events.size() - 2], L"box Conversion Results: Conversion Failed");
}
