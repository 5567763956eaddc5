#include "synth/SynthCommandLine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using VareloSynth::SynthCommand;

class SynthCommandLineTest : public ::testing::Test {
protected:
    bool Parse(const std::vector<std::string>& arguments)
    {
        error.clear();
        return VareloSynth::ParseSynthArguments(arguments, options, command, error);
    }

    void ExpectUsageError(const std::vector<std::string>& arguments, const std::string& expected)
    {
        options = VareloSynth::SynthOptions();
        EXPECT_FALSE(Parse(arguments));
        EXPECT_EQ(error, expected);
    }

    VareloSynth::SynthOptions options;
    SynthCommand command = SynthCommand::Help;
    std::string error;
};

TEST_F(SynthCommandLineTest, RecordingOptions)
{
    ASSERT_TRUE(Parse({"--channels",
                       "3",
                       "--frequency=1000",
                       "--duration",
                       "2.5",
                       "--first-timestamp",
                       "77",
                       "--gap",
                       "10:5000",
                       "--gap=20:6",
                       "--ad-max",
                       "2047",
                       "--input-range",
                       "500",
                       "--uuid",
                       "u-1",
                       "--time-created",
                       "2020/01/02 03:04:05",
                       "--seed",
                       "9",
                       "out"}))
        << error;
    EXPECT_EQ(options.directory, "out");
    EXPECT_EQ(options.channels.size(), 3u);
    EXPECT_EQ(options.samplingFrequencyHz, 1000);
    EXPECT_EQ(options.samplesPerChannel, 2500u);  // 2.5 s × 1,000 Hz
    EXPECT_EQ(options.firstTimestampUs, 77u);
    ASSERT_EQ(options.gaps.size(), 2u);
    EXPECT_EQ(options.gaps[0].beforeRecord, 10u);
    EXPECT_EQ(options.gaps[0].lengthUs, 5000u);
    EXPECT_EQ(options.gaps[1].beforeRecord, 20u);
    EXPECT_EQ(options.gaps[1].lengthUs, 6u);
    EXPECT_EQ(options.adMaxValue, 2047);
    EXPECT_EQ(options.inputRangeUv, 500);
    EXPECT_EQ(options.sessionUuid, "u-1");
    EXPECT_EQ(options.timeCreated, "2020/01/02 03:04:05");
    EXPECT_EQ(options.seed, 9u);
}

TEST_F(SynthCommandLineTest, NamesAndEventOptions)
{
    ASSERT_TRUE(Parse({"--names", "Left,Right Side,Ref", "--samples", "1234", "--events", "5", "--event",
                       "12000100:Stim: on", "--event", "7:K\xC3\xA4se", "--no-start-event", "--no-event-file", "d"}))
        << error;
    ASSERT_EQ(options.channels.size(), 3u);
    EXPECT_EQ(options.channels[1].name, "Right Side");
    EXPECT_EQ(options.channels[2].name, "Ref");
    EXPECT_EQ(options.samplesPerChannel, 1234u);
    EXPECT_EQ(options.spreadEventCount, 5u);
    ASSERT_EQ(options.events.size(), 2u);
    EXPECT_EQ(options.events[0].timestampUs, 12000100u);
    EXPECT_EQ(options.events[0].text, "Stim: on");
    EXPECT_EQ(options.events[1].text, "K\xE4se");  // ISO 8859-1 in the file
    EXPECT_FALSE(options.startEvent);
    EXPECT_FALSE(options.writeEventFile);
}

TEST_F(SynthCommandLineTest, ChannelOptionsCountChannelsFromOne)
{
    ASSERT_TRUE(Parse({"--offset", "2:62", "--channel-uuid", "1:other", "--channel-frequency", "3:30000",
                       "--missing-records", "2:4", "--truncate-last", "1:100", "--corrupt-record", "3:5",
                       "--corrupt-record", "2:6:600", "--omit-key", "-InputRange", "--channels", "3", "d"}))
        << error;
    ASSERT_EQ(options.channels.size(), 3u);
    EXPECT_EQ(options.channels[1].startOffsetUs, 62u);
    EXPECT_EQ(options.channels[0].startOffsetUs, 0u);
    EXPECT_EQ(options.channels[0].sessionUuid, "other");
    EXPECT_EQ(options.channels[2].samplingFrequencyHz, 30000);
    EXPECT_EQ(options.channels[1].missingTailRecords, 4u);
    EXPECT_EQ(options.channels[0].truncatedTailBytes, 100u);
    EXPECT_EQ(options.channels[2].corruptRecord, 5u);
    EXPECT_EQ(options.channels[2].corruptValidCount, 513u);
    EXPECT_EQ(options.channels[1].corruptRecord, 6u);
    EXPECT_EQ(options.channels[1].corruptValidCount, 600u);
    for (const auto& channel : options.channels)
        EXPECT_EQ(channel.omittedKeys, std::vector<std::string>{"-InputRange"});
}

TEST_F(SynthCommandLineTest, DirectoryHelpAndVersion)
{
    ASSERT_TRUE(Parse({"/tmp/rec"})) << error;
    EXPECT_EQ(command, SynthCommand::Write);
    EXPECT_EQ(options.directory, "/tmp/rec");
    ASSERT_TRUE(Parse({"--channels", "x", "--help"}));  // help wins over what comes before it
    EXPECT_EQ(command, SynthCommand::Help);
    ASSERT_TRUE(Parse({"--version"}));
    EXPECT_EQ(command, SynthCommand::Version);
    EXPECT_NE(VareloSynth::SynthUsage().find("Usage: varelo-synth [OPTION]... DIRECTORY"), std::string::npos);
}

TEST_F(SynthCommandLineTest, UsageErrorsSayWhatIsWrong)
{
    ExpectUsageError({}, "no directory given");
    ExpectUsageError({"a", "b"}, "only one directory can be given (a, b)");
    ExpectUsageError({"--colour", "red", "d"}, "unknown option --colour");
    ExpectUsageError({"d", "--channels"}, "--channels needs a value");
    ExpectUsageError({"--channels", "3x", "d"}, "--channels 3x: expected a channel count up to 100000");
    ExpectUsageError({"--samples", "3x", "d"}, "--samples 3x: expected a whole number");
    ExpectUsageError({"--frequency", "-5", "d", "--seed", "-1"}, "--seed -1: expected a whole number");
    ExpectUsageError({"--duration", "-1", "d"}, "--duration -1: expected a number of seconds");
    ExpectUsageError({"--gap", "5", "d"}, "--gap 5: expected RECORD:MICROSECONDS");
    ExpectUsageError({"--offset", "0:5", "d"}, "--offset: there is no channel 0 (channels count from 1 to 4)");
    ExpectUsageError({"--channels", "2", "--offset", "3:5", "d"},
                     "--offset: there is no channel 3 (channels count from 1 to 2)");
    ExpectUsageError({"--names", "a,b", "--channels", "3", "d"}, "--names gives 2 names for 3 channels");
    ExpectUsageError({"--duration", "1", "--samples", "5", "d"}, "give either --duration or --samples");
    ExpectUsageError({"--event", "x:text", "d"},
                     "--event x:text: expected MICROSECONDS:TEXT with ISO 8859-1 characters");
}

}  // namespace
