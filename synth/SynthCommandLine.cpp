#include "synth/SynthCommandLine.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <optional>

#include "logging/TextConversion.h"

namespace VareloSynth {
namespace {

template <typename Number> bool ParseNumber(std::string_view text, Number& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value);
    return failure == std::errc() && stop == end && !text.empty();
}

// "A:B": the text before the first colon and the text after it.
bool SplitPair(std::string_view text, std::string_view& first, std::string_view& second)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    first = text.substr(0, colon);
    second = text.substr(colon + 1);
    return true;
}

// "CHANNEL:REST", the channel counted from 1.
bool SplitChannel(std::string_view text, size_t& channelNumber, std::string_view& rest)
{
    std::string_view channel;
    return SplitPair(text, channel, rest) && ParseNumber(channel, channelNumber);
}

std::vector<std::string> SplitList(std::string_view text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.emplace_back(
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            return parts;
        start = comma + 1;
    }
}

// A channel setting waits until the channel count is known.
struct ChannelSetting {
    std::string option;
    size_t channelNumber = 0;  // from 1
    std::function<void(SynthChannel&)> apply;
};

class ArgumentReader {
public:
    ArgumentReader(SynthOptions& options, std::string& error) : options(options), error(error) {}

    bool Read(const std::vector<std::string>& arguments);

private:
    using Handler = bool (ArgumentReader::*)(const std::string& name, const std::string& value);
    struct Option {
        const char* name;
        bool takesValue;
        Handler handler;
    };
    static const Option knownOptions[];

    static const Option* FindOption(const std::string& name);
    bool Finish();
    bool ApplyChannelSettings();
    bool ApplySampleCount();
    bool Wrong(const std::string& name, const std::string& value, const char* expected);
    template <typename Target> bool Number(const std::string& name, const std::string& value, Target& target);
    void AddChannelSetting(const std::string& name, size_t channelNumber, std::function<void(SynthChannel&)> apply);

    bool Channels(const std::string& name, const std::string& value);
    bool Names(const std::string& name, const std::string& value);
    bool Frequency(const std::string& name, const std::string& value);
    bool Duration(const std::string& name, const std::string& value);
    bool Samples(const std::string& name, const std::string& value);
    bool FirstTimestamp(const std::string& name, const std::string& value);
    bool Gap(const std::string& name, const std::string& value);
    bool SpreadGaps(const std::string& name, const std::string& value);
    bool AdMax(const std::string& name, const std::string& value);
    bool InputRange(const std::string& name, const std::string& value);
    bool Uuid(const std::string& name, const std::string& value);
    bool TimeCreated(const std::string& name, const std::string& value);
    bool Seed(const std::string& name, const std::string& value);
    bool SpreadEvents(const std::string& name, const std::string& value);
    bool Event(const std::string& name, const std::string& value);
    bool NoStartEvent(const std::string& name, const std::string& value);
    bool NoEventFile(const std::string& name, const std::string& value);
    bool OmitKey(const std::string& name, const std::string& value);
    bool Offset(const std::string& name, const std::string& value);
    bool ChannelUuid(const std::string& name, const std::string& value);
    bool ChannelFrequency(const std::string& name, const std::string& value);
    bool ChannelAdMax(const std::string& name, const std::string& value);
    bool MissingRecords(const std::string& name, const std::string& value);
    bool TruncateLast(const std::string& name, const std::string& value);
    bool CorruptRecord(const std::string& name, const std::string& value);

    SynthOptions& options;
    std::string& error;
    std::optional<std::string> directory;
    std::optional<size_t> channelCount;
    std::optional<std::vector<std::string>> names;
    std::optional<double> durationSeconds;
    std::optional<uint64_t> sampleCount;
    std::vector<std::string> omittedKeys;
    std::vector<ChannelSetting> channelSettings;
};

const ArgumentReader::Option ArgumentReader::knownOptions[] = {
    {"--channels", true, &ArgumentReader::Channels},
    {"--names", true, &ArgumentReader::Names},
    {"--frequency", true, &ArgumentReader::Frequency},
    {"--duration", true, &ArgumentReader::Duration},
    {"--samples", true, &ArgumentReader::Samples},
    {"--first-timestamp", true, &ArgumentReader::FirstTimestamp},
    {"--gap", true, &ArgumentReader::Gap},
    {"--gaps", true, &ArgumentReader::SpreadGaps},
    {"--ad-max", true, &ArgumentReader::AdMax},
    {"--input-range", true, &ArgumentReader::InputRange},
    {"--uuid", true, &ArgumentReader::Uuid},
    {"--time-created", true, &ArgumentReader::TimeCreated},
    {"--seed", true, &ArgumentReader::Seed},
    {"--events", true, &ArgumentReader::SpreadEvents},
    {"--event", true, &ArgumentReader::Event},
    {"--no-start-event", false, &ArgumentReader::NoStartEvent},
    {"--no-event-file", false, &ArgumentReader::NoEventFile},
    {"--omit-key", true, &ArgumentReader::OmitKey},
    {"--offset", true, &ArgumentReader::Offset},
    {"--channel-uuid", true, &ArgumentReader::ChannelUuid},
    {"--channel-frequency", true, &ArgumentReader::ChannelFrequency},
    {"--channel-ad-max", true, &ArgumentReader::ChannelAdMax},
    {"--missing-records", true, &ArgumentReader::MissingRecords},
    {"--truncate-last", true, &ArgumentReader::TruncateLast},
    {"--corrupt-record", true, &ArgumentReader::CorruptRecord},
};

const ArgumentReader::Option* ArgumentReader::FindOption(const std::string& name)
{
    for (const Option& option : knownOptions) {
        if (name == option.name)
            return &option;
    }
    return nullptr;
}

bool ArgumentReader::Read(const std::vector<std::string>& arguments)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            if (directory) {
                error = "only one directory can be given (" + *directory + ", " + argument + ")";
                return false;
            }
            directory = argument;
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const Option* option = FindOption(name);
        if (option == nullptr) {
            error = "unknown option " + name;
            return false;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (option->takesValue) {
            if (i + 1 == arguments.size()) {
                error = name + " needs a value";
                return false;
            }
            value = arguments[++i];
        }
        if (!(this->*option->handler)(name, value))
            return false;
    }
    return Finish();
}

bool ArgumentReader::Finish()
{
    if (!directory) {
        error = "no directory given";
        return false;
    }
    options.directory = *directory;
    if (names && channelCount && names->size() != *channelCount) {
        error = "--names gives " + std::to_string(names->size()) + " names for " + std::to_string(*channelCount)
                + " channels";
        return false;
    }
    options.channels.assign(names ? names->size() : channelCount.value_or(options.channels.size()), SynthChannel());
    for (size_t c = 0; names && c < names->size(); ++c)
        options.channels[c].name = (*names)[c];
    for (SynthChannel& channel : options.channels)
        channel.omittedKeys = omittedKeys;
    return ApplyChannelSettings() && ApplySampleCount();
}

bool ArgumentReader::ApplyChannelSettings()
{
    for (const ChannelSetting& setting : channelSettings) {
        if (setting.channelNumber < 1 || setting.channelNumber > options.channels.size()) {
            error = setting.option + ": there is no channel " + std::to_string(setting.channelNumber)
                    + " (channels count from 1 to " + std::to_string(options.channels.size()) + ")";
            return false;
        }
        setting.apply(options.channels[setting.channelNumber - 1]);
    }
    return true;
}

bool ArgumentReader::ApplySampleCount()
{
    if (durationSeconds && sampleCount) {
        error = "give either --duration or --samples";
        return false;
    }
    if (sampleCount)
        options.samplesPerChannel = *sampleCount;
    if (durationSeconds) {
        const double samples = std::round(*durationSeconds * options.samplingFrequencyHz);
        if (options.samplingFrequencyHz <= 0 || samples > static_cast<double>(maxSynthSamplesPerChannel)) {
            error = "--duration does not give a usable sample count at this frequency";
            return false;
        }
        options.samplesPerChannel = static_cast<uint64_t>(samples);
    }
    return true;
}

bool ArgumentReader::Wrong(const std::string& name, const std::string& value, const char* expected)
{
    error = name + " " + value + ": expected " + expected;
    return false;
}

template <typename Target>
bool ArgumentReader::Number(const std::string& name, const std::string& value, Target& target)
{
    return ParseNumber(value, target) || Wrong(name, value, "a whole number");
}

void ArgumentReader::AddChannelSetting(const std::string& name, size_t channelNumber,
                                       std::function<void(SynthChannel&)> apply)
{
    channelSettings.push_back({name, channelNumber, std::move(apply)});
}

bool ArgumentReader::Channels(const std::string& name, const std::string& value)
{
    size_t count = 0;
    if (!ParseNumber(value, count) || count > 100000)
        return Wrong(name, value, "a channel count up to 100000");
    channelCount = count;
    return true;
}

bool ArgumentReader::Names(const std::string&, const std::string& value)
{
    names = SplitList(value);
    return true;
}

bool ArgumentReader::Frequency(const std::string& name, const std::string& value)
{
    return Number(name, value, options.samplingFrequencyHz);
}

bool ArgumentReader::Duration(const std::string& name, const std::string& value)
{
    double seconds = 0;
    if (!ParseNumber(value, seconds) || !std::isfinite(seconds) || seconds < 0)
        return Wrong(name, value, "a number of seconds");
    durationSeconds = seconds;
    return true;
}

bool ArgumentReader::Samples(const std::string& name, const std::string& value)
{
    uint64_t count = 0;
    if (!Number(name, value, count))
        return false;
    sampleCount = count;
    return true;
}

bool ArgumentReader::FirstTimestamp(const std::string& name, const std::string& value)
{
    return Number(name, value, options.firstTimestampUs);
}

bool ArgumentReader::Gap(const std::string& name, const std::string& value)
{
    std::string_view record;
    std::string_view length;
    SynthGap gap;
    if (!SplitPair(value, record, length) || !ParseNumber(record, gap.beforeRecord)
        || !ParseNumber(length, gap.lengthUs))
        return Wrong(name, value, "RECORD:MICROSECONDS");
    options.gaps.push_back(gap);
    return true;
}

bool ArgumentReader::SpreadGaps(const std::string& name, const std::string& value)
{
    std::string_view count;
    std::string_view length;
    if (!SplitPair(value, count, length) || !ParseNumber(count, options.spreadGapCount)
        || !ParseNumber(length, options.spreadGapUs))
        return Wrong(name, value, "COUNT:MICROSECONDS");
    return true;
}

bool ArgumentReader::AdMax(const std::string& name, const std::string& value)
{
    return Number(name, value, options.adMaxValue);
}

bool ArgumentReader::InputRange(const std::string& name, const std::string& value)
{
    return Number(name, value, options.inputRangeUv);
}

bool ArgumentReader::Uuid(const std::string&, const std::string& value)
{
    options.sessionUuid = value;
    return true;
}

bool ArgumentReader::TimeCreated(const std::string&, const std::string& value)
{
    options.timeCreated = value;
    return true;
}

bool ArgumentReader::Seed(const std::string& name, const std::string& value)
{
    return Number(name, value, options.seed);
}

bool ArgumentReader::SpreadEvents(const std::string& name, const std::string& value)
{
    return Number(name, value, options.spreadEventCount);
}

bool ArgumentReader::Event(const std::string& name, const std::string& value)
{
    std::string_view time;
    std::string_view text;
    SynthEvent event;
    if (!SplitPair(value, time, text) || !ParseNumber(time, event.timestampUs)
        || !OrvText::WideToLatin1(OrvText::Utf8ToWide(text), event.text))
        return Wrong(name, value, "MICROSECONDS:TEXT with ISO 8859-1 characters");
    options.events.push_back(event);
    return true;
}

bool ArgumentReader::NoStartEvent(const std::string&, const std::string&)
{
    options.startEvent = false;
    return true;
}

bool ArgumentReader::NoEventFile(const std::string&, const std::string&)
{
    options.writeEventFile = false;
    return true;
}

bool ArgumentReader::OmitKey(const std::string&, const std::string& value)
{
    omittedKeys.push_back(value);
    return true;
}

bool ArgumentReader::Offset(const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    uint64_t offset = 0;
    if (!SplitChannel(value, channel, rest) || !ParseNumber(rest, offset))
        return Wrong(name, value, "CHANNEL:MICROSECONDS");
    AddChannelSetting(name, channel, [offset](SynthChannel& c) { c.startOffsetUs = offset; });
    return true;
}

bool ArgumentReader::ChannelUuid(const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    if (!SplitChannel(value, channel, rest))
        return Wrong(name, value, "CHANNEL:UUID");
    AddChannelSetting(name, channel, [uuid = std::string(rest)](SynthChannel& c) { c.sessionUuid = uuid; });
    return true;
}

bool ArgumentReader::ChannelFrequency(const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    int frequency = 0;
    if (!SplitChannel(value, channel, rest) || !ParseNumber(rest, frequency))
        return Wrong(name, value, "CHANNEL:HZ");
    AddChannelSetting(name, channel, [frequency](SynthChannel& c) { c.samplingFrequencyHz = frequency; });
    return true;
}

bool ArgumentReader::ChannelAdMax(const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    int adMax = 0;
    if (!SplitChannel(value, channel, rest) || !ParseNumber(rest, adMax))
        return Wrong(name, value, "CHANNEL:N");
    AddChannelSetting(name, channel, [adMax](SynthChannel& c) { c.headerAdMaxValue = adMax; });
    return true;
}

bool ArgumentReader::MissingRecords(const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    uint64_t count = 0;
    if (!SplitChannel(value, channel, rest) || !ParseNumber(rest, count))
        return Wrong(name, value, "CHANNEL:COUNT");
    AddChannelSetting(name, channel, [count](SynthChannel& c) { c.missingTailRecords = count; });
    return true;
}

bool ArgumentReader::TruncateLast(const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    uint32_t bytes = 0;
    if (!SplitChannel(value, channel, rest) || !ParseNumber(rest, bytes))
        return Wrong(name, value, "CHANNEL:BYTES");
    AddChannelSetting(name, channel, [bytes](SynthChannel& c) { c.truncatedTailBytes = bytes; });
    return true;
}

bool ArgumentReader::CorruptRecord(const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    std::string_view index;
    std::string_view count = "513";
    uint64_t record = 0;
    uint32_t validCount = 0;
    if (!SplitChannel(value, channel, rest))
        return Wrong(name, value, "CHANNEL:RECORD[:COUNT]");
    if (!SplitPair(rest, index, count))
        index = rest;
    if (!ParseNumber(index, record) || !ParseNumber(count, validCount))
        return Wrong(name, value, "CHANNEL:RECORD[:COUNT]");
    AddChannelSetting(name, channel, [record, validCount](SynthChannel& c) {
        c.corruptRecord = record;
        c.corruptValidCount = validCount;
    });
    return true;
}

// --help and --version win wherever they stand, even among wrong arguments.
bool FindHelpOrVersion(const std::vector<std::string>& arguments, SynthCommand& command)
{
    bool version = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            command = SynthCommand::Help;
            return true;
        }
        version = version || argument == "--version";
    }
    if (version)
        command = SynthCommand::Version;
    return version;
}

}  // namespace

bool ParseSynthArguments(const std::vector<std::string>& arguments, SynthOptions& options, SynthCommand& command,
                         std::string& error)
{
    command = SynthCommand::Write;
    if (FindHelpOrVersion(arguments, command))
        return true;
    ArgumentReader reader(options, error);
    return reader.Read(arguments);
}

std::string SynthUsage()
{
    return R"(Usage: varelo-synth [OPTION]... DIRECTORY

Writes a synthetic recording into DIRECTORY (created when missing): one CSC file
<name>.ocs per channel and the event file Events.oev. The samples are sines with
noise drawn from the seed; the same options always give the same bytes. No file
that exists is ever overwritten: the program stops before writing anything.

Recording:
  --channels N              number of channels (default 4)
  --names A,B,...           channel names, also the file names (default CSC1..CSCn)
  --frequency HZ            sampling frequency (default 32000)
  --duration SECONDS        length of the recording (default 10)
  --samples N               samples per channel, instead of --duration
  --first-timestamp US      timestamp of the first sample, microseconds (default 12000000)
  --gap RECORD:US           from record RECORD (counted from 0) on, timestamps are US
                            microseconds later; may be repeated
  --gaps N:US               N more gaps of US microseconds, at evenly spaced records
  --offset CHANNEL:US       add US microseconds to every timestamp of CHANNEL
                            (channels count from 1); may be repeated
  --ad-max N                -ADMaxValue (default 32767); samples stay within +-N
  --input-range UV          -InputRange in microvolts (default 1000)
  --uuid TEXT               -SessionUUID (default: drawn from the seed)
  --time-created TEXT       -TimeCreated, "YYYY/MM/DD hh:mm:ss" (default "2017/07/03 10:22:33")
  --seed N                  seed of the signal and the default UUID (default 1)

Events:
  --events N                N TTL events spread evenly over the recording
  --event US:TEXT           an event at timestamp US; may be repeated
  --no-start-event          leave out the "Starting Recording" event at the first timestamp
  --no-event-file           write no event file

Faults, for tests:
  --channel-uuid CHANNEL:UUID       another -SessionUUID for one channel
  --channel-frequency CHANNEL:HZ    another -SamplingFrequency for one channel
  --channel-ad-max CHANNEL:N        another -ADMaxValue for one channel, its samples unchanged
                                    (so that they may lie beyond it)
  --omit-key KEY                    leave header key KEY (e.g. -InputRange) out of every CSC file
  --missing-records CHANNEL:N       leave the last N records of a channel out
  --truncate-last CHANNEL:BYTES     end a channel's file with BYTES bytes of one more record
  --corrupt-record CHANNEL:RECORD[:COUNT]
                                    record RECORD claims COUNT valid samples (default 513)

Options taking a value also accept --option=VALUE.

  -h, --help                show this text
  --version                 show the version

Example:
  varelo-synth --channels 32 --duration 600 --gap 1000:250000 --events 20 /tmp/rec1
)";
}

}  // namespace VareloSynth
