// The checks that come before any sample is moved: file counts, the event file, session UUIDs and
// sampling frequencies across channels. Damaged files and header values: HostileInputTest.
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;

namespace {

const std::vector<RecordingBuilder::CscRecord> someRecords = RecordingBuilder::ContinuousRecords(1000000, 1000, 600, 0);

Channel Named(const std::string& name)
{
    Channel channel;
    channel.name = name;
    return channel;
}

}  // namespace

TEST_F(EngineTest, MoreThan256FilesAreRefusedBeforeAnythingIsOpened)
{
    std::vector<std::wstring> names(257, PathOf("missing.ocs"));
    EXPECT_EQ(Convert(PathOf("missing.oev"), names), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text, L"CSC file count exeeds the maximim allowed (256).");

    names.pop_back();  // 256 pass the count: opening the first file is what fails
    messages.clear();
    EXPECT_EQ(Convert(L"", names), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text, L"Unable to open file " + PathOf("missing.ocs") + L": No such file or directory");
}

TEST_F(EngineTest, EmptyListWithAnEventFileReadsTheEventsThenGivesUp)
{
    EXPECT_EQ(Convert(WriteEvents({{5, "Starting Recording"}}), {}), -1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text, L"There were not any valid CSC files specified.  File conversion has been aborted.");
    EXPECT_TRUE(EdfFilesWritten().empty());
}

TEST_F(EngineTest, MissingEventFileIsANoticeAndTheConversionGoesOn)
{
    EXPECT_EQ(Convert(L"", {WriteChannel(Channel{}, someRecords)}), 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].type, OrvLogging::Notice);
    EXPECT_EQ(messages[0].text,
              L"Event file string is empty, event file will not be processed as part of this conversion.");
    EXPECT_TRUE(HasMessage(OrvLogging::Notice, L"Session UUIDs successfull verified for all CSC files."));
    EXPECT_EQ(EdfFilesWritten(), std::vector<std::string>{"DevOutput.edf"});
}

TEST_F(EngineTest, SessionUuidsMustMatchExactly)
{
    Channel second = Named("CSC2");
    second.sessionUuid = "3A1F3C66-8B0E-4B7E-9D3C-2F5B7C1D0E42";  // differs only in letter case
    EXPECT_EQ(Convert(L"", {WriteChannel(Channel{}, someRecords), WriteChannel(second, someRecords)}), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text, L"Error, Session UUIDs do not match between CSC files.  Current UUID: "
                                    L"3A1F3C66-8B0E-4B7E-9D3C-2F5B7C1D0E42, Previous UUID: "
                                    L"3a1f3c66-8b0e-4b7e-9d3c-2f5b7c1d0e42");
    EXPECT_TRUE(EdfFilesWritten().empty());
}

TEST_F(EngineTest, SampleFrequenciesCompareAsIntegers)
{
    Channel second = Named("CSC2");
    second.samplingFrequency = "1000.0";
    Channel third = Named("CSC3");
    third.samplingFrequency = "1001";
    const std::wstring a = WriteChannel(Channel{}, someRecords);
    EXPECT_EQ(Convert(L"", {a, WriteChannel(second, someRecords)}), 0);

    messages.clear();
    EXPECT_EQ(Convert(L"", {a, WriteChannel(third, someRecords)}), -1);
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text, L"Error, sample frequencies do not match between CSC files.  "
                                    L"Current sample frequency: 1001, Previous sample frequency: 1000");
}

TEST_F(EngineTest, WriterMessagesReachTheEnginesSubscribers)
{
    Channel channel;
    channel.adMaxValue = "40000";  // beyond the 16-bit digital range: the writer refuses
    EXPECT_EQ(Convert(L"", {WriteChannel(channel, someRecords)}), -1);
    EXPECT_TRUE(HasMessage(OrvLogging::Notice, L"EDF File Opened Successfully: " + PathOf("DevOutput.edf")));
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_EQ(messages.back().text, L"Error writing digital maximum header value");
}

TEST_F(EngineTest, NonNumericAdMaximumCountsAsZero)
{
    Channel channel;
    channel.adMaxValue = "unknown";
    EXPECT_EQ(Convert(L"", {WriteChannel(channel, RecordingBuilder::ContinuousRecords(1000000, 1000, 1000, -2))}), 0);
    const EdfFile edf = ParsedOutput();
    // A/D maximum 0 gives the digital range -1 to 0, and the samples are clamped into it.
    EXPECT_EQ(edf.signals.at(0).digitalMinimum, -1);
    EXPECT_EQ(edf.signals.at(0).digitalMaximum, 0);
    EXPECT_EQ(edf.samplesPerSignal.at(0).at(0), -1);
    EXPECT_EQ(edf.samplesPerSignal.at(0).at(5), 0);
}
