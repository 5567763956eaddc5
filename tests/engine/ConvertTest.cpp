// The checks that come before any sample is moved: file counts, the event file, session UUIDs,
// sampling frequencies and the channel header values.
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;

namespace {

const std::vector<RecordingBuilder::CscRecord> someRecords =
    RecordingBuilder::ContinuousRecords(1000000, 1000, 600, 0);

}  // namespace

TEST_F(EngineTest, MoreThan256FilesAreRefusedBeforeAnythingIsOpened)
{
    std::vector<std::wstring> names(257, PathOf("missing.ocs"));
    EXPECT_EQ(Convert(PathOf("missing.oev"), names), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text, L"CSC file count exeeds the maximim allowed (256).");
}

TEST_F(EngineTest, Exactly256FilesPassTheCountCheck)
{
    std::vector<std::wstring> names(256, PathOf("missing.ocs"));
    EXPECT_EQ(Convert(L"", names), -1);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_NE(messages[0].text, L"CSC file count exeeds the maximim allowed (256).");
    EXPECT_EQ(messages[1].type, OrvLogging::Error);  // the first file cannot be opened
    EXPECT_NE(messages[1].text.find(PathOf("missing.ocs")), std::wstring::npos) << std::string(messages[1].text.begin(), messages[1].text.end());
}

TEST_F(EngineTest, EmptyListWithAnEventFileReadsTheEventsThenGivesUp)
{
    const std::wstring events = WriteEvents({{5, "Starting Recording"}});
    EXPECT_EQ(Convert(events, {}), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text, L"There were not any valid CSC files specified.  File conversion has been aborted.");
    EXPECT_TRUE(EdfFilesWritten().empty());
}

TEST_F(EngineTest, MissingEventFileIsANoticeAndTheConversionGoesOn)
{
    const std::wstring csc = WriteChannel(Channel{}, someRecords);
    EXPECT_EQ(Convert(L"", {csc}), 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text,
              L"Event file string is empty, event file will not be processed as part of this conversion.");
    EXPECT_TRUE(HasMessage(OrvLogging::Notice, L"Session UUIDs successfull verified for all CSC files."));
    EXPECT_EQ(EdfFilesWritten(), std::vector<std::string>{"DevOutput.edf"});
}

TEST_F(EngineTest, UnopenableEventFileStopsBeforeAnyChannel)
{
    const std::wstring csc = WriteChannel(Channel{}, someRecords);
    EXPECT_EQ(Convert(PathOf("absent.oev"), {csc}), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, OrvLogging::Error);
    EXPECT_NE(messages[0].text.find(PathOf("absent.oev")), std::wstring::npos);
    EXPECT_TRUE(EdfFilesWritten().empty());
}

TEST_F(EngineTest, UnopenableChannelFailsWithTheReadersText)
{
    const std::wstring csc = WriteChannel(Channel{}, someRecords);
    EXPECT_EQ(Convert(L"", {csc, PathOf("CSC9.ocs")}), -1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].type, OrvLogging::Error);
    EXPECT_NE(messages[1].text.find(PathOf("CSC9.ocs")), std::wstring::npos);
}

TEST_F(EngineTest, SessionUuidsMustMatchExactly)
{
    Channel first;
    Channel second;
    second.name = "CSC2";
    second.sessionUuid = "3A1F3C66-8B0E-4B7E-9D3C-2F5B7C1D0E42";  // differs only in letter case
    const std::wstring a = WriteChannel(first, someRecords);
    const std::wstring b = WriteChannel(second, someRecords);
    EXPECT_EQ(Convert(L"", {a, b}), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text, L"Error, Session UUIDs do not match between CSC files.  Current UUID: "
                                    L"3A1F3C66-8B0E-4B7E-9D3C-2F5B7C1D0E42, Previous UUID: "
                                    L"3a1f3c66-8b0e-4b7e-9d3c-2f5b7c1d0e42");
    EXPECT_TRUE(EdfFilesWritten().empty());
}

TEST_F(EngineTest, MissingSessionUuidIsReported)
{
    Channel channel;
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", {"-FileType CSC", "-SessionUUID", "-SamplingFrequency 1000"},
                                   someRecords);
    EXPECT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), -1);
    EXPECT_EQ(messages.back().text, L"No data returned from header when getting Session UUID for CSC file.");
}

TEST_F(EngineTest, SampleFrequenciesCompareAsIntegers)
{
    Channel first;
    first.samplingFrequency = "1000";
    Channel second;
    second.name = "CSC2";
    second.samplingFrequency = "1000.0";
    Channel third;
    third.name = "CSC3";
    third.samplingFrequency = "1001";
    const std::wstring a = WriteChannel(first, someRecords);
    const std::wstring b = WriteChannel(second, someRecords);
    const std::wstring c = WriteChannel(third, someRecords);
    EXPECT_EQ(Convert(L"", {a, b}), 0);
    for (const std::string& name : EdfFilesWritten())
        std::filesystem::remove(dir.path / name);

    messages.clear();
    EXPECT_EQ(Convert(L"", {a, c}), -1);
    EXPECT_EQ(messages.back().text, L"Error, sample frequencies do not match between CSC files.  "
                                    L"Current sample frequency: 1001, Previous sample frequency: 1000");
}

TEST_F(EngineTest, MissingNumericHeaderValueNamesTheValueAndTheFile)
{
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs",
                                   {"-FileType CSC", "-SessionUUID abc", "-SamplingFrequency 1000",
                                    "-ADMaxValue 32767", "-AcqEntName CSC1", "-TimeCreated 2017/07/03 10:22:33"},
                                   someRecords);
    EXPECT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text,
              L"No data returned from header when getting -InputRange for CSC file: " + PathOf("CSC1.ocs"));
}

TEST_F(EngineTest, TimeCreatedNeedsOneRowOfTwoFields)
{
    const std::vector<std::string> base = {"-FileType CSC", "-SessionUUID abc", "-SamplingFrequency 1000",
                                           "-ADMaxValue 32767", "-InputRange 1000", "-AcqEntName CSC1"};
    struct Case {
        std::vector<std::string> lines;
        std::wstring message;
    };
    const Case cases[] = {
        {{}, L"Error processing Time Opened header value for CSC file.  The expected return parameter count was 0."},
        {{"-TimeCreated 2017/07/03 10:22:33", "-TimeCreated 2017/07/04 10:22:33"},
         L"Error processing Time Opened header value for CSC file.  The expected return parameter count was 0."},
        {{"-TimeCreated 2017/07/03 10:22:33 extra"},
         L"Error processing Time Opened header value for CSC file. The expected return parameter count was not equal "
         L"to 2."},
        {{"-TimeCreated 2017-07-03 10:22:33"},
         L"Error processing Time Opened header value for CSC file " + PathOf("CSC1.ocs")
             + L": 2017-07-03 10:22:33 is not a date written year/month/day and a time written hour:minute:second."},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = base;
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", lines, someRecords);
        messages.clear();
        EXPECT_EQ(Convert(L"", {PathOf("CSC1.ocs")}), -1);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().type, OrvLogging::Error);
        EXPECT_EQ(messages.back().text, c.message);
    }
    EXPECT_TRUE(EdfFilesWritten().empty());
}

TEST_F(EngineTest, WriterMessagesReachTheEnginesSubscribers)
{
    Channel channel;
    channel.name = "AVeryLongChannelName";  // 20 characters: the writer warns and cuts it
    channel.adMaxValue = "40000";           // beyond the 16-bit digital range: the writer refuses
    const std::wstring csc = WriteChannel(channel, someRecords);
    EXPECT_EQ(Convert(L"", {csc}), -1);
    EXPECT_TRUE(HasMessage(OrvLogging::Notice, L"EDF File Opened Successfully: " + PathOf("DevOutput.edf")));
    EXPECT_TRUE(HasMessage(OrvLogging::Error, L"Error writing digital maximum header value"));
    EXPECT_EQ(messages.back().text, L"Error writing digital maximum header value");
}

TEST_F(EngineTest, NonNumericAdMaximumCountsAsZero)
{
    Channel channel;
    channel.adMaxValue = "unknown";
    const std::wstring csc = WriteChannel(channel, RecordingBuilder::ContinuousRecords(1000000, 1000, 1000, -2));
    EXPECT_EQ(Convert(L"", {csc}), 0);
    EdfFile edf;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(dir.path / "DevOutput.edf", edf, error)) << error;
    // A/D maximum 0 gives the digital range -1 to 0, and the samples are clamped into it.
    EXPECT_EQ(edf.signals[0].digitalMinimum, -1);
    EXPECT_EQ(edf.signals[0].digitalMaximum, 0);
    EXPECT_EQ(edf.samplesPerSignal[0][0], -1);
    EXPECT_EQ(edf.samplesPerSignal[0][5], 0);
}
