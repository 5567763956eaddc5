#include "BidsSidecars.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <map>

#include "VareloVersion.h"
#include "edf/EdfParser.h"

namespace {

constexpr uint64_t microsecondsPerSecond = 1000000;

double FromText(const std::string& text)
{
    double value = 0;
    (void)std::from_chars(text.data(), text.data() + text.size(), value);  // the parser checked it
    return value;
}

double RoundedToMicro(double value)
{
    return std::round(value * 1e6) / 1e6;
}

// Seconds to the microsecond, e.g. "12.000500".
std::string SecondsText(uint64_t microseconds)
{
    std::string fraction = std::to_string(microseconds % microsecondsPerSecond);
    fraction.insert(0, 6 - fraction.size(), '0');
    return std::to_string(microseconds / microsecondsPerSecond) + "." + fraction;
}

std::string Units(const std::string& physicalDimension)
{
    if (physicalDimension.empty())
        return "n/a";
    return physicalDimension == "uV" ? "µV" : physicalDimension;  // BIDS writes the SI prefix
}

// The value every channel shares, or `differing` when they do not share one.
template <typename Field> std::string Common(const BidsRecording& recording, Field field, const std::string& differing)
{
    if (recording.channels.empty())
        return "n/a";
    std::string first = field(recording.channels.front().settings);
    for (const BidsChannel& channel : recording.channels)
        if (field(channel.settings) != first)
            return differing;
    return first;
}

// HardwareFilters: each filter's corner where every channel states the same.
nlohmann::ordered_json HardwareFilters(const BidsRecording& recording)
{
    nlohmann::ordered_json filters = nlohmann::ordered_json::object();
    const std::string differing = "per channel, see channels.tsv";
    const std::string highpass = Common(
        recording, [](const ChannelSettings& s) { return s.lowCutoff; }, differing);
    const std::string lowpass = Common(
        recording, [](const ChannelSettings& s) { return s.highCutoff; }, differing);
    for (const auto& [name, corner] : {std::pair{"HighpassFilter", highpass}, std::pair{"LowpassFilter", lowpass}}) {
        if (corner == differing)
            filters[name] = {{"CutoffFrequency", differing}};
        else if (corner != "n/a")
            filters[name] = {{"CutoffFrequency", FromText(corner)}};
    }
    if (filters.empty())
        return "n/a";
    return filters;
}

}  // namespace

std::string DecimalText(double value)
{
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : "n/a";
}

bool DescribeRecording(const std::string& path, const std::vector<ChannelSettings>& settings,
                       const BidsRequest& request, BidsRecording& recording, std::string& error)
{
    EdfReader reader;
    if (!reader.Open(path, error)) {
        error = path + ": " + error;
        return false;
    }
    const EdfHeader& header = reader.Header();
    const double recordSeconds = FromText(header.recordDuration);
    recording = {};
    recording.durationSeconds = RoundedToMicro(static_cast<double>(header.recordCount) * recordSeconds);
    for (const EdfSignal& signal : header.signals) {
        if (signal.isAnnotation)
            continue;
        const size_t index = recording.channels.size();
        const double rate = recordSeconds > 0 ? RoundedToMicro(signal.samplesPerRecord / recordSeconds) : 0;
        recording.channels.push_back({signal.label, BidsChannelType(request, signal.label),
                                      Units(signal.physicalDimension), rate,
                                      index < settings.size() ? settings[index] : ChannelSettings()});
    }
    // channels of different rates: the highest, at which readers take the file; channels.tsv
    // gives each its own
    for (const BidsChannel& channel : recording.channels)
        recording.samplingFrequency = std::max(recording.samplingFrequency, channel.samplingFrequency);
    return true;
}

TsvRows ChannelsTable(const BidsRecording& recording)
{
    TsvRows rows = {
        {"name", "type", "units", "low_cutoff", "high_cutoff", "reference", "sampling_frequency", "status"}};
    for (const BidsChannel& channel : recording.channels)
        rows.push_back({channel.name, channel.type, channel.units, channel.settings.lowCutoff,
                        channel.settings.highCutoff, channel.settings.reference, DecimalText(channel.samplingFrequency),
                        "good"});
    return rows;
}

TsvRows EventsTable(const std::vector<RecordedEvent>& events, const OutputFileSummary& file, double samplingFrequency)
{
    TsvRows rows = {{"onset", "duration", "sample", "trial_type", "value"}};
    for (const RecordedEvent& event : events) {
        if (event.timestamp < file.firstSampleUs || event.timestamp > file.lastSampleUs)
            continue;
        const uint64_t offset = event.timestamp - file.firstSampleUs;  // µs
        const auto sample = static_cast<int64_t>(std::llround(static_cast<double>(offset) * samplingFrequency / 1e6));
        rows.push_back({SecondsText(offset), "0", std::to_string(sample), event.text.empty() ? "n/a" : event.text,
                        std::to_string(event.ttl)});
    }
    return rows;
}

nlohmann::ordered_json EventsDescription()
{
    return {
        {"sample", {{"Description", "The event's sample in the data file, counted from 0 at its first sample."}}},
        {"trial_type", {{"Description", "The event's text as the acquisition system recorded it."}}},
        {"value", {{"Description", "The TTL value of the acquisition system's event record."}}},
    };
}

nlohmann::ordered_json RecordingDescription(const BidsRequest& request, const std::string& task,
                                            const BidsRecording& recording)
{
    std::map<std::string, int> counts;
    for (const BidsChannel& channel : recording.channels)
        ++counts[channel.type];
    const bool ieeg = request.datatype == "ieeg";
    const std::string reference = Common(
        recording, [](const ChannelSettings& s) { return s.reference; }, "per channel, see channels.tsv");
    nlohmann::ordered_json json;
    json["TaskName"] = task;
    json["SamplingFrequency"] = recording.samplingFrequency;
    if (request.lineFrequency > 0)
        json["PowerLineFrequency"] = request.lineFrequency;
    else
        json["PowerLineFrequency"] = "n/a";
    json["SoftwareFilters"] = "n/a";
    json["HardwareFilters"] = HardwareFilters(recording);
    json[ieeg ? "iEEGReference" : "EEGReference"] = reference;
    json["RecordingDuration"] = recording.durationSeconds;
    json["RecordingType"] = "continuous";  // each file holds one gap-free segment
    const std::vector<std::pair<std::string, std::string>> countNames = {
        {"ECOGChannelCount", "ECOG"}, {"SEEGChannelCount", "SEEG"},   {"EEGChannelCount", "EEG"},
        {"EOGChannelCount", "EOG"},   {"ECGChannelCount", "ECG"},     {"EMGChannelCount", "EMG"},
        {"MiscChannelCount", "MISC"}, {"TriggerChannelCount", "TRIG"}};
    for (const auto& [key, type] : countNames)
        if (ieeg || (type != "ECOG" && type != "SEEG"))
            json[key] = counts[type];
    json["SoftwareVersions"] = "converted by Varelo " VARELO_VERSION;
    return json;
}

std::string AcquisitionTime(const OutputFileSummary& file)
{
    // The header's start holds whole seconds; where it is the first sample's own second (a
    // wall-clock timestamp), the file starts at that instant's fraction.
    const auto seconds = static_cast<time_t>(file.firstSampleUs / microsecondsPerSecond);
    tm utc{};
    char text[32] = "";
    if (gmtime_r(&seconds, &utc) != nullptr)
        (void)std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    const bool wallClock = file.startDate == text;
    const std::string fraction = SecondsText(wallClock ? file.firstSampleUs % microsecondsPerSecond : 0);
    return file.startDate + fraction.substr(fraction.find('.'));
}
