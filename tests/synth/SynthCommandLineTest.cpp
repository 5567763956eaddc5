#include "synth/SynthCommandLine.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using VareloSynth::ParseSynthArguments;
using VareloSynth::SynthCommand;
using VareloSynth::SynthOptions;

namespace {

struct Parsed {
    bool ok = false;
    SynthCommand command = SynthCommand::Write;
    SynthOptions options;
    std::string error;
};

Parsed Parse(const std::vector<std::string>& arguments)
{
    Parsed parsed;
    parsed.ok = ParseSynthArguments(arguments, parsed.options, parsed.command, parsed.error);
    return parsed;
}

std::string Joined(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments)
        text += argument + " ";
    return text;
}

}  // namespace

// Each option reaches its field, as a separate value and as --option=VALUE; the options that set
// one channel's field wait for the channel count, wherever they stand.
TEST(SynthCommandLine, OptionsReachTheirFields)
{
    const struct {
        std::vector<std::string> arguments;
        std::function<bool(const SynthOptions&)> holds;
    } cases[] = {
        {{"d"},
         [](const SynthOptions& o) {
             return o.directory == "d" && o.channels.size() == 4 && o.samplesPerChannel == 320000;
         }},
        {{"--frequency", "977", "d"}, [](const SynthOptions& o) { return o.samplingFrequencyHz == 977; }},
        {{"--frequency=-5", "d"}, [](const SynthOptions& o) { return o.samplingFrequencyHz == -5; }},
        {{"--first-timestamp", "18446744073709551615", "d"},
         [](const SynthOptions& o) { return o.firstTimestampUs == 18446744073709551615ull; }},
        {{"d", "--ad-max", "100", "--input-range=500"},
         [](const SynthOptions& o) { return o.adMaxValue == 100 && o.inputRangeUv == 500; }},
        {{"--uuid=", "--time-created", "2020/01/02 03:04:05", "d"},
         [](const SynthOptions& o) { return o.sessionUuid.empty() && o.timeCreated == "2020/01/02 03:04:05"; }},
        {{"--seed", "7", "--events", "3", "d"},
         [](const SynthOptions& o) { return o.seed == 7 && o.spreadEventCount == 3; }},
        {{"--frequency", "1000", "--duration", "2.5", "d"},
         [](const SynthOptions& o) { return o.samplesPerChannel == 2500; }},
        {{"--samples", "5000", "d"}, [](const SynthOptions& o) { return o.samplesPerChannel == 5000; }},
        {{"--names", "A,,B", "d"},
         [](const SynthOptions& o) {
             return o.channels.size() == 3 && o.channels[0].name == "A" && o.channels[1].name.empty();
         }},
        {{"--gap", "3:250", "--gap=9:1", "--gaps", "2:77", "d"},
         [](const SynthOptions& o) {
             return o.gaps.size() == 2 && o.gaps[1].beforeRecord == 9 && o.gaps[1].lengthUs == 1
                    && o.spreadGapCount == 2 && o.spreadGapUs == 77;
         }},
        {{"--event", "1000:a:b", "--no-start-event", "--no-event-file", "d"},
         [](const SynthOptions& o) {
             return o.events.size() == 1 && o.events[0].text == "a:b" && !o.startEvent && !o.writeEventFile;
         }},
        {{"--offset", "2:41", "--channels", "2", "d"},
         [](const SynthOptions& o) { return o.channels[1].startOffsetUs == 41 && o.channels[0].startOffsetUs == 0; }},
        {{"--channel-uuid=1:", "--channel-frequency", "2:16000", "--channel-ad-max", "1:2047", "d"},
         [](const SynthOptions& o) {
             return o.channels[0].sessionUuid == "" && !o.channels[1].sessionUuid
                    && o.channels[1].samplingFrequencyHz == 16000 && o.channels[0].headerAdMaxValue == 2047;
         }},
        {{"--missing-records", "3:20", "--truncate-last", "4:500", "--omit-key", "-InputRange", "d"},
         [](const SynthOptions& o) {
             return o.channels[2].missingTailRecords == 20 && o.channels[3].truncatedTailBytes == 500
                    && o.channels[0].omittedKeys == std::vector<std::string>{"-InputRange"};
         }},
        {{"--corrupt-record", "1:30", "--corrupt-record", "2:4:600", "d"},
         [](const SynthOptions& o) {
             return o.channels[0].corruptRecord == 30u && o.channels[0].corruptValidCount == 513
                    && o.channels[1].corruptRecord == 4u && o.channels[1].corruptValidCount == 600;
         }},
        {{"--", "-d"}, [](const SynthOptions& o) { return o.directory == "-d"; }},
    };
    for (const auto& c : cases) {
        const Parsed parsed = Parse(c.arguments);
        ASSERT_TRUE(parsed.ok) << Joined(c.arguments) << ": " << parsed.error;
        EXPECT_EQ(parsed.command, SynthCommand::Write) << Joined(c.arguments);
        EXPECT_TRUE(c.holds(parsed.options)) << Joined(c.arguments);
    }
}

TEST(SynthCommandLine, UsageErrorsNameTheOptionAndTheReason)
{
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{}, "no directory given"},
        {{"d", "e"}, "only one directory can be given (d, e)"},
        {{"--bogus=3", "d"}, "unknown option --bogus"},
        {{"-x", "d"}, "unknown option -x"},
        {{"--no-event-file", "-xy", "d"}, "unknown option -x"},
        {{"--help=1", "d"}, "--help takes no value"},
        {{"d", "--gap"}, "--gap needs a value"},
        {{"--no-start-event=1", "d"}, "--no-start-event takes no value"},
        {{"--channels", "100001", "d"}, "--channels 100001: expected a channel count up to 100000"},
        {{"--frequency", "1e3", "d"}, "--frequency 1e3: expected a whole number"},
        {{"--frequency", "2147483648", "d"}, "--frequency 2147483648: expected a whole number"},
        {{"--events=-1", "d"}, "--events -1: expected a whole number"},
        {{"--samples", "", "d"}, "--samples : expected a whole number"},
        {{"--duration", "-1", "d"}, "--duration -1: expected a number of seconds"},
        {{"--duration", "1", "--samples", "5", "d"}, "give either --duration or --samples"},
        {{"--frequency", "0", "--duration", "1", "d"},
         "--duration does not give a usable sample count at this frequency"},
        {{"--names", "a,b", "--channels", "3", "d"}, "--names gives 2 names for 3 channels"},
        {{"--gap", "5", "d"}, "--gap 5: expected RECORD:MICROSECONDS"},
        {{"--gaps", "x:5", "d"}, "--gaps x:5: expected COUNT:MICROSECONDS"},
        {{"--event", "5:\xE2\x82\xAC", "d"},
         "--event 5:\xE2\x82\xAC: expected MICROSECONDS:TEXT with ISO 8859-1 characters"},
        {{"--offset", "a:5", "d"}, "--offset a:5: expected CHANNEL:MICROSECONDS"},
        {{"--offset", "3:-5", "d"}, "--offset 3:-5: expected CHANNEL:MICROSECONDS"},
        {{"--channel-uuid", "1", "d"}, "--channel-uuid 1: expected CHANNEL:UUID"},
        {{"--channel-frequency", "1:x", "d"}, "--channel-frequency 1:x: expected CHANNEL:HZ"},
        {{"--channel-ad-max", "1:", "d"}, "--channel-ad-max 1:: expected CHANNEL:N"},
        {{"--missing-records", "1:-2", "d"}, "--missing-records 1:-2: expected CHANNEL:COUNT"},
        {{"--truncate-last", "1:4294967296", "d"}, "--truncate-last 1:4294967296: expected CHANNEL:BYTES"},
        {{"--corrupt-record", "1:2:x", "d"}, "--corrupt-record 1:2:x: expected CHANNEL:RECORD[:COUNT]"},
        {{"--offset", "5:1", "d"}, "--offset: there is no channel 5 (channels count from 1 to 4)"},
        {{"--truncate-last", "0:1", "d"}, "--truncate-last: there is no channel 0 (channels count from 1 to 4)"},
        {{"--bogus", "--frequency", "x", "d"}, "unknown option --bogus"},  // the first wrong argument
    };
    for (const auto& c : cases) {
        const Parsed parsed = Parse(c.arguments);
        EXPECT_FALSE(parsed.ok) << Joined(c.arguments);
        EXPECT_EQ(parsed.error, c.error) << Joined(c.arguments);
    }
}

// --help and --version win wherever they stand, among wrong arguments too; --help before
// --version. A value that looks like one is the option's value.
TEST(SynthCommandLine, HelpAndVersionWinWhereverTheyStand)
{
    const struct {
        std::vector<std::string> arguments;
        SynthCommand command;
    } cases[] = {
        {{"--bogus", "--help"}, SynthCommand::Help},
        {{"d", "e", "-h"}, SynthCommand::Help},
        {{"--version", "--frequency", "x"}, SynthCommand::Version},
        {{"--version", "--help"}, SynthCommand::Help},
        {{"--uuid", "--help", "d"}, SynthCommand::Write},
    };
    for (const auto& c : cases) {
        const Parsed parsed = Parse(c.arguments);
        EXPECT_TRUE(parsed.ok) << Joined(c.arguments);
        EXPECT_EQ(parsed.command, c.command) << Joined(c.arguments);
    }
}
