#include "synth/SynthCommandLine.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <getopt.h>
#include <iterator>
#include <optional>
#include <variant>

#include "logging/TextConversion.h"

namespace VareloSynth {
namespace {

template <typename Number> bool ParseNumber(std::string_view text, Number& value)
{
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, value);
    return failure == std::errc() && stop == end && !text.empty();
}

// The value of an option that sets one field: a whole number of the field's type, or any text.
template <typename Number> bool ReadValue(std::string_view text, Number& value)
{
    return ParseNumber(text, value);
}

bool ReadValue(std::string_view text, std::string& value)
{
    value = text;
    return true;
}

template <typename Value> bool ReadValue(std::string_view text, std::optional<Value>& value)
{
    Value read{};
    if (!ReadValue(text, read))
        return false;
    value = read;
    return true;
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

// An option that sets one field of the recording: its value is read into the field, whatever the
// field's type, and a value that does not fit the type is a usage error.
struct RecordingOption {
    const char* name;
    std::variant<int SynthOptions::*, uint32_t SynthOptions::*, uint64_t SynthOptions::*, std::string SynthOptions::*>
        field;
};

const RecordingOption recordingOptions[] = {
    {"frequency", &SynthOptions::samplingFrequencyHz},
    {"first-timestamp", &SynthOptions::firstTimestampUs},
    {"ad-max", &SynthOptions::adMaxValue},
    {"input-range", &SynthOptions::inputRangeUv},
    {"uuid", &SynthOptions::sessionUuid},
    {"time-created", &SynthOptions::timeCreated},
    {"seed", &SynthOptions::seed},
    {"events", &SynthOptions::spreadEventCount},
    {"low-cut", &SynthOptions::lowCutHz},
    {"high-cut", &SynthOptions::highCutHz},
};

// An option CHANNEL:VALUE that sets one field of one channel, the channel counted from 1.
struct ChannelOption {
    const char* name;
    std::variant<uint32_t SynthChannel::*, uint64_t SynthChannel::*, std::optional<int> SynthChannel::*,
                 std::optional<std::string> SynthChannel::*>
        field;
    const char* expected;  // the form of the value, told with a value that does not have it
};

const ChannelOption channelOptions[] = {
    {"offset", &SynthChannel::startOffsetUs, "CHANNEL:MICROSECONDS"},
    {"channel-uuid", &SynthChannel::sessionUuid, "CHANNEL:UUID"},
    {"channel-frequency", &SynthChannel::samplingFrequencyHz, "CHANNEL:HZ"},
    {"channel-rate", &SynthChannel::rateHz, "CHANNEL:HZ"},
    {"channel-ad-max", &SynthChannel::headerAdMaxValue, "CHANNEL:N"},
    {"missing-records", &SynthChannel::missingTailRecords, "CHANNEL:COUNT"},
    {"truncate-last", &SynthChannel::truncatedTailBytes, "CHANNEL:BYTES"},
};

template <typename Owner, typename Field> bool ReadField(std::string_view text, Owner& owner, const Field& field)
{
    return std::visit([&](auto member) { return ReadValue(text, owner.*member); }, field);
}

// The getopt_long codes of the options that no table holds; the tables' options follow them.
enum OptionCode {
    CodeHelp = 'h',
    CodeChannels = 1000,
    CodeNames,
    CodeDuration,
    CodeSamples,
    CodeGap,
    CodeSpreadGaps,
    CodeEvent,
    CodeNoStartEvent,
    CodeNoEventFile,
    CodeOmitKey,
    CodeCorruptRecord,
    CodeVersion,
    CodeFirstRecordingOption = 2000,
    CodeFirstChannelOption = 3000,
};

const option otherOptions[] = {
    {"channels", required_argument, nullptr, CodeChannels},
    {"names", required_argument, nullptr, CodeNames},
    {"duration", required_argument, nullptr, CodeDuration},
    {"samples", required_argument, nullptr, CodeSamples},
    {"gap", required_argument, nullptr, CodeGap},
    {"gaps", required_argument, nullptr, CodeSpreadGaps},
    {"event", required_argument, nullptr, CodeEvent},
    {"no-start-event", no_argument, nullptr, CodeNoStartEvent},
    {"no-event-file", no_argument, nullptr, CodeNoEventFile},
    {"omit-key", required_argument, nullptr, CodeOmitKey},
    {"corrupt-record", required_argument, nullptr, CodeCorruptRecord},
    {"help", no_argument, nullptr, CodeHelp},
    {"version", no_argument, nullptr, CodeVersion},
};

// Every long option for getopt_long, each name written once above, and the end mark.
std::vector<option> LongOptions()
{
    std::vector<option> options(std::begin(otherOptions), std::end(otherOptions));
    int code = CodeFirstRecordingOption;
    for (const RecordingOption& known : recordingOptions)
        options.push_back({known.name, required_argument, nullptr, code++});
    code = CodeFirstChannelOption;
    for (const ChannelOption& known : channelOptions)
        options.push_back({known.name, required_argument, nullptr, code++});
    options.push_back({nullptr, 0, nullptr, 0});
    return options;
}

std::string OptionName(const std::vector<option>& options, int code)
{
    for (const option& known : options) {
        if (known.name != nullptr && known.val == code)
            return std::string("--") + known.name;
    }
    return "-" + std::string(1, static_cast<char>(code));
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

    // false, with `error` telling the first wrong argument; `command` is Help or Version when
    // --help or --version stands anywhere, wrong arguments or not.
    bool Read(std::vector<char*>& argv, SynthCommand& command);

private:
    bool Handle(int code, const std::string& name, const std::string& value);
    bool Finish();
    bool ApplyChannelSettings();
    bool ApplySampleCount();
    bool Wrong(const std::string& name, const std::string& value, const char* expected);
    bool ReadChannelOption(const ChannelOption& known, const std::string& name, const std::string& value);

    bool Channels(const std::string& name, const std::string& value);
    bool Duration(const std::string& name, const std::string& value);
    bool Gap(const std::string& name, const std::string& value);
    bool SpreadGaps(const std::string& name, const std::string& value);
    bool Event(const std::string& name, const std::string& value);
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

bool ArgumentReader::Read(std::vector<char*>& argv, SynthCommand& command)
{
    const std::vector<option> longOptions = LongOptions();
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    optind = 0;  // a fresh scan, also when called more than once
    opterr = 0;  // the errors are told here, once
    bool help = false;
    bool version = false;
    std::optional<std::string> firstError;
    int code = 0;
    while ((code = getopt_long(argc, argv.data(), ":h", longOptions.data(), nullptr)) != -1) {
        const std::string argument = argv[optind - 1];
        const std::string name = argument.substr(0, argument.find('='));
        bool handled = true;
        if (code == CodeHelp) {
            help = true;
        } else if (code == CodeVersion) {
            version = true;
        } else if (code == ':') {
            handled = false;
            error = OptionName(longOptions, optopt) + " needs a value";
        } else if (code == '?') {
            handled = false;
            // optopt: 0 for an unknown long option, the code of a long option given a value it does
            // not take, or the unknown letter after a single '-'
            const bool givenValue = optopt == CodeHelp || optopt >= CodeChannels;
            error = optopt == 0  ? "unknown option " + name
                    : givenValue ? OptionName(longOptions, optopt) + " takes no value"
                                 : "unknown option " + OptionName(longOptions, optopt);
        } else {
            handled = Handle(code, OptionName(longOptions, code), optarg != nullptr ? optarg : "");
        }
        if (!handled && !firstError)
            firstError = error;
    }
    command = help ? SynthCommand::Help : version ? SynthCommand::Version : SynthCommand::Write;
    if (command != SynthCommand::Write)
        return true;
    if (firstError) {
        error = *firstError;
        return false;
    }
    for (int i = optind; i < argc; ++i) {
        if (directory) {
            error = "only one directory can be given (" + *directory + ", " + argv[static_cast<size_t>(i)] + ")";
            return false;
        }
        directory = argv[static_cast<size_t>(i)];
    }
    return Finish();
}

bool ArgumentReader::Handle(int code, const std::string& name, const std::string& value)
{
    if (code >= CodeFirstChannelOption)
        return ReadChannelOption(channelOptions[code - CodeFirstChannelOption], name, value);
    if (code >= CodeFirstRecordingOption)
        return ReadField(value, options, recordingOptions[code - CodeFirstRecordingOption].field)
               || Wrong(name, value, "a whole number");
    switch (code) {
    case CodeChannels:
        return Channels(name, value);
    case CodeNames:
        names = SplitList(value);
        return true;
    case CodeDuration:
        return Duration(name, value);
    case CodeSamples: {
        uint64_t count = 0;
        if (!ParseNumber(value, count))
            return Wrong(name, value, "a whole number");
        sampleCount = count;
        return true;
    }
    case CodeGap:
        return Gap(name, value);
    case CodeSpreadGaps:
        return SpreadGaps(name, value);
    case CodeEvent:
        return Event(name, value);
    case CodeNoStartEvent:
        options.startEvent = false;
        return true;
    case CodeNoEventFile:
        options.writeEventFile = false;
        return true;
    case CodeOmitKey:
        omittedKeys.push_back(value);
        return true;
    default:
        return CorruptRecord(name, value);
    }
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

bool ArgumentReader::ReadChannelOption(const ChannelOption& known, const std::string& name, const std::string& value)
{
    size_t channel = 0;
    std::string_view rest;
    SynthChannel checked;
    if (!SplitChannel(value, channel, rest) || !ReadField(rest, checked, known.field))
        return Wrong(name, value, known.expected);
    channelSettings.push_back({name, channel, [&known, rest = std::string(rest)](SynthChannel& c) {
                                   (void)ReadField(rest, c, known.field);  // read once already
                               }});
    return true;
}

bool ArgumentReader::Channels(const std::string& name, const std::string& value)
{
    size_t count = 0;
    if (!ParseNumber(value, count) || count > 100000)
        return Wrong(name, value, "a channel count up to 100000");
    channelCount = count;
    return true;
}

bool ArgumentReader::Duration(const std::string& name, const std::string& value)
{
    double seconds = 0;
    if (!ParseNumber(value, seconds) || !std::isfinite(seconds) || seconds < 0)
        return Wrong(name, value, "a number of seconds");
    durationSeconds = seconds;
    return true;
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
    channelSettings.push_back({name, channel, [record, validCount](SynthChannel& c) {
                                   c.corruptRecord = record;
                                   c.corruptValidCount = validCount;
                               }});
    return true;
}

}  // namespace

bool ParseSynthArguments(const std::vector<std::string>& arguments, SynthOptions& options, SynthCommand& command,
                         std::string& error)
{
    std::vector<std::string> copies{"varelo-synth"};  // getopt_long reorders the pointers, never the texts
    copies.insert(copies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(copies.size() + 1);  // and the null pointer that ends them
    for (std::string& copy : copies)
        argv.push_back(copy.data());
    ArgumentReader reader(options, error);
    return reader.Read(argv, command);
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
  --channel-rate CHANNEL:HZ sample CHANNEL at HZ instead of --frequency, as long and
                            with the same gaps; may be repeated
  --offset CHANNEL:US       add US microseconds to every timestamp of CHANNEL
                            (channels count from 1); may be repeated
  --ad-max N                -ADMaxValue (default 32767); samples stay within +-N
  --input-range UV          -InputRange in microvolts (default 1000)
  --uuid TEXT               -SessionUUID (default: drawn from the seed)
  --time-created TEXT       -TimeCreated, "YYYY/MM/DD hh:mm:ss" (default "2017/07/03 10:22:33")
  --seed N                  seed of the signal and the default UUID (default 1)
  --low-cut HZ              the header's high-pass filter on at HZ (its enabled flag and
                            frequency keys); default: no filter keys
  --high-cut HZ             the header's low-pass filter on at HZ (its enabled flag and
                            frequency keys); default: no filter keys

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
