#include "synth/SynthRecording.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <set>
#include <system_error>

#include "SynthSignal.h"
#include "logging/TextConversion.h"
#include "synth/NewFile.h"
#include "synth/SynthRecords.h"

namespace VareloSynth {
namespace {

constexpr uint64_t microsecondsPerSecond = 1000000;
constexpr size_t recordsPerWrite = 1024;  // about 1 MiB per write call
constexpr int16_t startEventId = 19;      // event ids: one per kind, so the kinds can be told apart
constexpr int16_t ttlEventId = 11;
constexpr int16_t givenEventId = 4;

uint64_t RecordCount(const SynthOptions& options)
{
    return (options.samplesPerChannel + cscSamplesPerRecord - 1) / cscSamplesPerRecord;
}

// Spread gap i (from 0) comes before record floor((i + 1) * records / (count + 1)); those at or
// before `record` are the i with (i + 1) * records < (record + 1) * (count + 1).
uint64_t SpreadGapsAtOrBefore(const SynthOptions& options, uint64_t record)
{
    const uint64_t count = options.spreadGapCount;
    const uint64_t records = RecordCount(options);
    if (count == 0 || records == 0)
        return 0;
    const uint64_t bound = ((record + 1) * (count + 1) + records - 1) / records - 1;
    return std::min(count, bound);
}

uint64_t GapsBefore(const SynthOptions& options, uint64_t record)
{
    uint64_t total = SpreadGapsAtOrBefore(options, record) * options.spreadGapUs;
    for (const SynthGap& gap : options.gaps) {
        if (gap.beforeRecord <= record)
            total += gap.lengthUs;
    }
    return total;
}

// Without the channel's start offset.
uint64_t RecordTimestamp(const SynthOptions& options, uint64_t record)
{
    const uint64_t frequency = static_cast<uint64_t>(options.samplingFrequencyHz);
    return options.firstTimestampUs + record * cscSamplesPerRecord * microsecondsPerSecond / frequency
           + GapsBefore(options, record);
}

uint64_t SampleTimestamp(const SynthOptions& options, uint64_t sample)
{
    const uint64_t frequency = static_cast<uint64_t>(options.samplingFrequencyHz);
    return RecordTimestamp(options, sample / cscSamplesPerRecord)
           + sample % cscSamplesPerRecord * microsecondsPerSecond / frequency;
}

std::string ChannelName(const SynthOptions& options, size_t channel)
{
    const std::string& name = options.channels[channel].name;
    return name.empty() ? "CSC" + std::to_string(channel + 1) : name;
}

std::filesystem::path ChannelPath(const SynthOptions& options, size_t channel)
{
    return options.directory / (ChannelName(options, channel) + ".ocs");
}

std::string SessionUuid(const SynthOptions& options)
{
    return options.sessionUuid.empty() ? SessionUuidFromSeed(options.seed) : options.sessionUuid;
}

bool AddWithoutOverflow(uint64_t a, uint64_t b, uint64_t& sum)
{
    sum = a + b;
    return sum >= a;
}

bool IsHeaderSafe(const std::string& value)
{
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool ValidateName(const std::string& name, std::string& error)
{
    std::string latin1;
    if (name == "." || name == ".." || name.find('/') != std::string::npos || name.find('"') != std::string::npos
        || !IsHeaderSafe(name) || !OrvText::WideToLatin1(OrvText::Utf8ToWide(name), latin1)) {
        error = "Unusable channel name \"" + name
                + "\": it must be a file name without '/' or '\"' whose characters ISO 8859-1 holds.";
        return false;
    }
    return true;
}

// The recording as one channel sees it: at its own rate, when it has one, the gaps placed before
// its first record at or after their place in the recording.
SynthOptions ChannelTiming(const SynthOptions& options, size_t channel)
{
    SynthOptions own = options;
    const std::optional<int> rate = options.channels[channel].rateHz;
    if (!rate || *rate == options.samplingFrequencyHz || *rate <= 0 || options.samplingFrequencyHz <= 0)
        return own;
    const auto from = static_cast<uint64_t>(options.samplingFrequencyHz);
    const auto to = static_cast<uint64_t>(*rate);
    own.samplingFrequencyHz = *rate;
    own.samplesPerChannel = options.samplesPerChannel * to / from;
    own.spreadGapCount = 0;
    own.gaps.clear();
    const auto place = [from, to](uint64_t record) { return (record * to + from - 1) / from; };
    for (const SynthGap& gap : options.gaps)
        own.gaps.push_back({place(gap.beforeRecord), gap.lengthUs});
    for (uint64_t record = 0, before = 0; record < RecordCount(options); ++record) {
        const uint64_t gaps = SpreadGapsAtOrBefore(options, record);
        for (; before < gaps; ++before)
            own.gaps.push_back({place(record), options.spreadGapUs});
    }
    return own;
}

bool ValidateChannel(const SynthOptions& options, size_t channel, std::string& error)
{
    const SynthChannel& settings = options.channels[channel];
    const std::string name = ChannelName(options, channel);
    if (!ValidateName(name, error))
        return false;
    if (settings.rateHz && (*settings.rateHz < 1 || *settings.rateHz > 1000000)) {
        error = "Channel " + name + ": a rate is 1 to 1000000 Hz, not " + std::to_string(*settings.rateHz) + ".";
        return false;
    }
    if (settings.truncatedTailBytes >= cscRecordBytes) {
        error = "Channel " + name + ": a truncated tail must be shorter than one record (1044 bytes).";
        return false;
    }
    const uint64_t written = RecordCount(options) - std::min(RecordCount(options), settings.missingTailRecords);
    if (settings.corruptRecord && *settings.corruptRecord >= written) {
        error = "Channel " + name + ": the corrupt record " + std::to_string(*settings.corruptRecord)
                + " lies beyond its " + std::to_string(written) + " records.";
        return false;
    }
    if (settings.sessionUuid && !IsHeaderSafe(*settings.sessionUuid)) {
        error = "Channel " + name + ": the session UUID must not hold line breaks or NUL.";
        return false;
    }
    return true;
}

bool ValidateNamesDiffer(const SynthOptions& options, std::string& error)
{
    std::set<std::string> seen;
    for (size_t channel = 0; channel < options.channels.size(); ++channel) {
        if (!seen.insert(ChannelName(options, channel)).second) {
            error = "Two channels are named " + ChannelName(options, channel) + ".";
            return false;
        }
    }
    return true;
}

// The largest timestamp must fit 64 bits.
bool ValidateTimestampRange(const SynthOptions& options, std::string& error)
{
    const uint64_t records = RecordCount(options) + 1;  // a truncated tail record included
    uint64_t last =
        records * cscSamplesPerRecord * microsecondsPerSecond / static_cast<uint64_t>(options.samplingFrequencyHz);
    bool fits = AddWithoutOverflow(last, options.firstTimestampUs, last);
    for (const SynthGap& gap : options.gaps)
        fits = fits && AddWithoutOverflow(last, gap.lengthUs, last);
    for (uint32_t i = 0; i < options.spreadGapCount; ++i)
        fits = fits && AddWithoutOverflow(last, options.spreadGapUs, last);
    uint64_t largestOffset = 0;
    for (const SynthChannel& channel : options.channels)
        largestOffset = std::max(largestOffset, channel.startOffsetUs);
    fits = fits && AddWithoutOverflow(last, largestOffset, last);
    if (!fits)
        error = "The recording's timestamps would run past the largest 64-bit value.";
    return fits;
}

bool ValidateOptions(const SynthOptions& options, std::string& error)
{
    if (options.samplingFrequencyHz <= 0) {
        error = "The sampling frequency must be a positive number of Hz.";
        return false;
    }
    if (options.samplesPerChannel > maxSynthSamplesPerChannel) {
        error = "At most " + std::to_string(maxSynthSamplesPerChannel) + " samples per channel can be written.";
        return false;
    }
    if (!IsHeaderSafe(options.sessionUuid) || !IsHeaderSafe(options.timeCreated)) {
        error = "The session UUID and the creation time must not hold line breaks or NUL.";
        return false;
    }
    if (options.writeEventFile
        && (options.eventFileName.empty() || options.eventFileName.find('/') != std::string::npos)) {
        error = "Unusable event file name \"" + options.eventFileName + "\".";
        return false;
    }
    for (size_t channel = 0; channel < options.channels.size(); ++channel) {
        if (!ValidateChannel(options, channel, error))
            return false;
    }
    return ValidateNamesDiffer(options, error) && ValidateTimestampRange(options, error);
}

std::vector<std::filesystem::path> TargetFiles(const SynthOptions& options)
{
    std::vector<std::filesystem::path> targets;
    if (options.writeEventFile)
        targets.push_back(options.directory / options.eventFileName);
    for (size_t channel = 0; channel < options.channels.size(); ++channel)
        targets.push_back(ChannelPath(options, channel));
    return targets;
}

bool PrepareDirectory(const SynthOptions& options, std::string& error)
{
    std::error_code failure;
    std::filesystem::create_directories(options.directory, failure);
    if (failure) {
        error = "Unable to create directory " + options.directory.string() + ": " + failure.message();
        return false;
    }
    for (const std::filesystem::path& target : TargetFiles(options)) {
        if (std::filesystem::symlink_status(target, failure).type() != std::filesystem::file_type::not_found) {
            error = "Refusing to overwrite existing file " + target.string() + ".";
            return false;
        }
    }
    return true;
}

std::string Latin1(const std::string& utf8)
{
    std::string latin1;
    (void)OrvText::WideToLatin1(OrvText::Utf8ToWide(utf8), latin1);  // names were checked
    return latin1;
}

std::string QuotedWhenBlank(const std::string& value)
{
    return value.find_first_of(" \t") == std::string::npos ? value : "\"" + value + "\"";
}

std::string FormatBitVolts(int inputRangeUv, int adMaxValue)
{
    std::array<char, 64> text{};
    const double volts = inputRangeUv / 1e6 / adMaxValue;
    const auto end = std::to_chars(text.data(), text.data() + text.size(), volts, std::chars_format::general, 12).ptr;
    return std::string(text.data(), end);
}

// Key and value of each usual line of a CSC header, in order.
std::vector<std::pair<std::string, std::string>> CscHeaderValues(const SynthOptions& options, size_t channel)
{
    const SynthChannel& settings = options.channels[channel];
    const int adMax = settings.headerAdMaxValue.value_or(settings.adMaxValue.value_or(options.adMaxValue));
    const int inputRange = settings.inputRangeUv.value_or(options.inputRangeUv);
    std::vector<std::pair<std::string, std::string>> values = {
        {"-FileType", "CSC"},
        {"-FileVersion", "3.4"},
        {"-RecordSize", std::to_string(cscRecordBytes)},
        {"-SessionUUID", settings.sessionUuid.value_or(SessionUuid(options))},
        {"-TimeCreated", options.timeCreated},
        {"-AcqEntName", QuotedWhenBlank(Latin1(ChannelName(options, channel)))},
        {"-SamplingFrequency", std::to_string(settings.samplingFrequencyHz.value_or(options.samplingFrequencyHz))},
        {"-ADMaxValue", std::to_string(adMax)},
    };
    if (adMax > 0)
        values.emplace_back("-ADBitVolts", FormatBitVolts(inputRange, adMax));
    values.emplace_back("-InputRange", std::to_string(inputRange));
    values.emplace_back("-InputInverted", "True");
    if (!options.lowCutHz.empty()) {
        values.emplace_back("-DSPLowCutFilterEnabled", "True");
        values.emplace_back("-DspLowCutFrequency", options.lowCutHz);
    }
    if (!options.highCutHz.empty()) {
        values.emplace_back("-DSPHighCutFilterEnabled", "True");
        values.emplace_back("-DspHighCutFrequency", options.highCutHz);
    }
    values.emplace_back("-ReferenceChannel", "\"Source 01 Reference 1\"");
    return values;
}

std::vector<std::string> CscHeaderLines(const SynthOptions& options, size_t channel)
{
    const SynthChannel& settings = options.channels[channel];
    std::vector<std::string> lines = {"######## Acquisition File Header",
                                      "## File Name " + Latin1(ChannelName(options, channel)) + ".ocs"};
    for (const auto& [key, value] : CscHeaderValues(options, channel)) {
        if (std::find(settings.omittedKeys.begin(), settings.omittedKeys.end(), key) == settings.omittedKeys.end())
            lines.push_back(key + " " + value);
    }
    lines.insert(lines.end(), settings.extraHeaderLines.begin(), settings.extraHeaderLines.end());
    return lines;
}

std::vector<std::string> EventHeaderLines(const SynthOptions& options)
{
    return {"######## Acquisition File Header",
            "## File Name " + options.eventFileName,
            "-FileType Event",
            "-FileVersion 3.4",
            "-RecordSize " + std::to_string(eventRecordBytes),
            "-SessionUUID " + SessionUuid(options),
            "-TimeCreated " + options.timeCreated};
}

EventRecordFields EventAt(uint64_t timestampUs, int16_t eventId, int16_t ttlValue, std::string text)
{
    EventRecordFields event;
    event.timestampUs = timestampUs;
    event.eventId = eventId;
    event.ttlValue = ttlValue;
    event.text = std::move(text);
    return event;
}

std::vector<EventRecordFields> RecordingEvents(const SynthOptions& options)
{
    std::vector<EventRecordFields> timed;
    for (uint32_t i = 0; i < options.spreadEventCount; ++i) {
        const uint64_t sample = (i + 1) * options.samplesPerChannel / (options.spreadEventCount + 1ull);
        const int16_t ttl = i % 2 == 0 ? 1 : 0;
        timed.push_back(
            EventAt(SampleTimestamp(options, sample), ttlEventId, ttl,
                    ttl == 1 ? "TTL Input on port 0 value (0x0001)." : "TTL Input on port 0 value (0x0000)."));
    }
    for (const SynthEvent& given : options.events)
        timed.push_back(EventAt(given.timestampUs, givenEventId, 0, given.text));
    std::stable_sort(timed.begin(), timed.end(), [](const EventRecordFields& a, const EventRecordFields& b) {
        return a.timestampUs < b.timestampUs;
    });
    if (options.startEvent)
        timed.insert(timed.begin(), EventAt(options.firstTimestampUs, startEventId, 0, "Starting Recording"));
    return timed;
}

bool WriteEventFile(const SynthOptions& options, std::string& error)
{
    const std::vector<EventRecordFields> events = RecordingEvents(options);
    std::vector<unsigned char> bytes;
    bytes.reserve(headerBlockBytes + events.size() * eventRecordBytes);
    (void)AppendHeaderBlock(bytes, EventHeaderLines(options));  // the fixed lines fit easily
    for (const EventRecordFields& event : events)
        AppendEventRecord(bytes, event);
    return WriteNewFile(options.directory / options.eventFileName, bytes, error);
}

// Writes records and the truncated tail of one channel through a buffer of recordsPerWrite.
class ChannelRecordWriter {
public:
    ChannelRecordWriter(const SynthOptions& options, size_t channel)
        : options(options), settings(options.channels[channel]), channel(channel),
          signal(options.seed, static_cast<int>(channel), options.samplingFrequencyHz,
                 settings.adMaxValue.value_or(options.adMaxValue)),
          buffer(recordsPerWrite * cscRecordBytes)
    {
    }

    bool WriteAll(NewFile& file, std::string& error)
    {
        const uint64_t total = RecordCount(options);
        const uint64_t written = total - std::min(total, settings.missingTailRecords);
        size_t filled = 0;
        for (uint64_t record = 0; record < written; ++record) {
            PutRecord(record, buffer.data() + filled * cscRecordBytes);
            if (++filled == recordsPerWrite) {
                if (!file.Write(buffer, error))
                    return false;
                filled = 0;
            }
        }
        if (settings.truncatedTailBytes > 0) {
            PutRecord(written, buffer.data() + filled * cscRecordBytes);
            return file.Write(std::span(buffer).first(filled * cscRecordBytes + settings.truncatedTailBytes), error);
        }
        return file.Write(std::span(buffer).first(filled * cscRecordBytes), error);
    }

private:
    void PutRecord(uint64_t record, unsigned char* at)
    {
        const uint64_t remaining = options.samplesPerChannel > record * cscSamplesPerRecord
                                       ? options.samplesPerChannel - record * cscSamplesPerRecord
                                       : cscSamplesPerRecord;  // the truncated tail past the last sample
        const uint32_t valid = static_cast<uint32_t>(std::min<uint64_t>(remaining, cscSamplesPerRecord));
        for (uint32_t i = 0; i < valid; ++i)
            samples[i] = signal.Next();
        std::fill(samples.begin() + valid, samples.end(), int16_t{0});
        CscRecordFields fields;
        fields.timestampUs = RecordTimestamp(options, record) + settings.startOffsetUs;
        fields.channelNumber = static_cast<uint32_t>(channel);
        fields.sampleFrequencyHz =
            static_cast<uint32_t>(settings.samplingFrequencyHz.value_or(options.samplingFrequencyHz));
        fields.validSampleCount = settings.corruptRecord == record ? settings.corruptValidCount : valid;
        fields.samples = samples;
        PutCscRecord(at, fields);
    }

    const SynthOptions& options;
    const SynthChannel& settings;
    size_t channel;
    SynthSignal signal;
    std::array<int16_t, cscSamplesPerRecord> samples{};
    std::vector<unsigned char> buffer;
};

bool WriteChannelFile(const SynthOptions& options, size_t channel, std::string& error)
{
    const std::filesystem::path path = ChannelPath(options, channel);
    std::vector<unsigned char> header;
    if (!AppendHeaderBlock(header, CscHeaderLines(options, channel))) {
        error = "The header text of " + path.string() + " is longer than 16384 bytes.";
        return false;
    }
    NewFile file;
    ChannelRecordWriter records(options, channel);
    return file.Create(path, error) && file.Write(header, error) && records.WriteAll(file, error) && file.Close(error);
}

}  // namespace

int WriteSynthRecording(const SynthOptions& options, std::string& error)
{
    if (!ValidateOptions(options, error) || !PrepareDirectory(options, error))
        return -1;
    if (options.writeEventFile && !WriteEventFile(options, error))
        return -1;
    for (size_t channel = 0; channel < options.channels.size(); ++channel) {
        if (!WriteChannelFile(ChannelTiming(options, channel), channel, error))
            return -1;
    }
    return 0;
}

std::string SessionUuidFromSeed(uint64_t seed)
{
    SeededRandom random(seed ^ 0x5EED5EED5EED5EEDull);
    const uint64_t high = (random.Next() & ~0xF000ull) | 0x4000ull;       // version 4
    const uint64_t low = (random.Next() & ~(3ull << 62)) | (2ull << 62);  // RFC 4122 variant
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (int nibble = 0; nibble < 32; ++nibble) {
        if (nibble == 8 || nibble == 12 || nibble == 16 || nibble == 20)
            text += '-';
        const uint64_t word = nibble < 16 ? high : low;
        text += digits[(word >> (4 * (15 - nibble % 16))) & 0xF];
    }
    return text;
}

}  // namespace VareloSynth
