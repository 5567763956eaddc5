#include "engine/ConversionReport.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "VareloVersion.h"
#include "logging/SafeFile.h"
#include "logging/TextConversion.h"
#include "logging/WriteAll.h"

namespace {

using json = nlohmann::ordered_json;

std::string Utf8(const std::wstring& text)
{
    return OrvText::WideToUtf8(text);
}

std::string UtcTime(const timespec& time)
{
    tm utc{};
    gmtime_r(&time.tv_sec, &utc);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<long>(time.tv_nsec));
    return text;
}

// Paths are kept exactly: a path that is UTF-8 is the text of its field; one that is not (a
// Latin-1 name written by another system) reads in its field with U+FFFD for each byte that is
// not UTF-8, and its exact bytes are the lowercase hex text of the field key + "_bytes".
void PutPath(json& object, const std::string& key, const std::string& path)
{
    object[key] = path;
    if (OrvText::IsUtf8(path))
        return;
    constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * path.size());
    for (const char c : path) {
        hex += digits[static_cast<unsigned char>(c) >> 4];
        hex += digits[static_cast<unsigned char>(c) & 0xF];
    }
    object[key + "_bytes"] = hex;
}

// A text field of an object, empty when it is missing or not a text.
std::string TextOf(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The path that PutPath kept under key; its text when the bytes field is missing or not hex.
std::string PathOf(const json& object, const std::string& key)
{
    const std::string hex = TextOf(object, (key + "_bytes").c_str());
    std::string path;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return TextOf(object, key.c_str());
        path += static_cast<char>(high * 16 + low);
    }
    return hex.empty() || hex.size() % 2 != 0 ? TextOf(object, key.c_str()) : path;
}

InputFile Describe(const std::wstring& file, bool events)
{
    InputFile input;
    input.path = Utf8(file);
    input.events = events;
    struct stat info {};
    if (stat(input.path.c_str(), &info) == 0) {
        input.size = info.st_size;
        input.modified = UtcTime(info.st_mtim);
    }
    return input;
}

json InputJson(const InputFile& input, const ConversionSummary& summary)
{
    json entry = json::object();
    PutPath(entry, "file", input.path);
    entry["size"] = input.size;
    entry["modified"] = input.modified;
    entry["kind"] = input.events ? "events" : "channel";
    for (const ChannelSummary& channel : summary.channels) {
        if (Utf8(channel.file) == input.path) {
            entry["channel"] = Utf8(channel.name);
            entry["sampling_rate_hz"] = channel.sampleFrequency;
            entry["samples_clipped"] = channel.clippedSamples;
            if (channel.inputInverted)
                entry["input_inverted"] = *channel.inputInverted;
        }
    }
    return entry;
}

json OutputJson(const OutputFileSummary& output)
{
    struct stat info {};
    const std::string file = Utf8(output.file);
    json entry = json::object();
    PutPath(entry, "file", file);
    entry.update(json{{"size", stat(file.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1},
                      {"start", output.startDate},
                      {"records", output.records},
                      {"record_duration_s", output.durationUnits / 100000.0},
                      {"samples_per_record", output.samplesPerRecord},
                      {"annotations", output.annotations},
                      {"first_sample_us", output.firstSampleUs},
                      {"last_sample_us", output.lastSampleUs},
                      {"complete", output.complete},
                      {"named", output.named}});
    if (!output.channelOffsetsUs.empty())  // channels of different rates
        entry.update(json{{"channel_samples_per_record", output.channelSamplesPerRecord},
                          {"channel_offsets_us", output.channelOffsetsUs}});
    return entry;
}

// Each event in no output file, in event-file order: its timestamp and its text (ISO 8859-1 in
// the event file, UTF-8 here).
json EventsJson(const std::vector<EventSummary>& events)
{
    json list = json::array();
    for (const EventSummary& event : events)
        list.push_back({{"timestamp_us", event.timestamp}, {"text", Utf8(OrvText::Latin1ToWide(event.text))}});
    return list;
}

// Input files and what of them no output file holds: samples, seconds and (for a partial
// record) bytes.
json LeftOutJson(const std::vector<InputLeftOut>& files, int sampleFrequency, bool withBytes)
{
    json entries = json::array();
    for (const InputLeftOut& file : files) {
        json entry = {{"file", Utf8(file.file)}, {"channel", Utf8(file.channel)}, {"samples", file.samples}};
        entry["seconds"] = sampleFrequency > 0 ? static_cast<double>(file.samples) / sampleFrequency : 0.0;
        if (withBytes)
            entry["bytes"] = file.bytes;
        entries.push_back(entry);
    }
    return entries;
}

// The options of the run: those that shape the output (as output_options gives them), the
// read-back, and how the run went about its directories.
json OptionsJson(const ReportSettings& arguments)
{
    json options = OutputOptionsJson(arguments.options);
    options["verify"] = arguments.options.verify;
    PutPath(options, "output_dir", arguments.outputDirectory);
    options.update(json{
        {"recursive", arguments.recursive}, {"jobs", arguments.jobs}, {"skip_converted", arguments.skipConverted}});
    return options;
}

int SampleFrequency(const ConversionSummary& summary)
{
    return summary.channels.empty() ? 0 : summary.channels.front().sampleFrequency;
}

std::string BaseOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The text of an earlier report; empty when there is none that is a regular file (a FIFO under
// the name must not hang the run).
std::string ReadReport(const std::string& path)
{
    OrvFiles::Failure failure;
    const int fd = OrvFiles::OpenForReading(path, failure);
    std::string text;
    char buffer[65536];
    for (ssize_t got = 0; fd >= 0;) {
        got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    if (fd >= 0)
        (void)close(fd);
    return text;
}

}  // namespace

RecordingReport FailedRecording(const std::string& recording, const std::string& outputDirectory,
                                const std::string& problem)
{
    RecordingReport report;
    report.recording = recording;
    report.outputDirectory = outputDirectory;
    report.messages.emplace_back(OrvLogging::Error, OrvText::Utf8ToWide(problem));
    report.result = "failed";
    return report;
}

std::vector<InputFile> DescribeInputs(const std::vector<std::wstring>& cscFiles, const std::wstring& eventFile)
{
    std::vector<InputFile> inputs;
    inputs.reserve(cscFiles.size() + 1);
    for (const std::wstring& file : cscFiles)
        inputs.push_back(Describe(file, false));
    if (!eventFile.empty())
        inputs.push_back(Describe(eventFile, true));
    return inputs;
}

json ReportJson(const RecordingReport& report, const ReportSettings& arguments)
{
    json inputs = json::array();
    for (const InputFile& input : report.inputs)
        inputs.push_back(InputJson(input, report.summary));
    json outputs = json::array();
    for (const OutputFileSummary& output : report.summary.outputs)
        outputs.push_back(OutputJson(output));
    json eventFilesNotUsed = json::array();
    for (const std::wstring& file : report.summary.eventFilesNotUsed)
        eventFilesNotUsed.push_back(Utf8(file));
    json messages = json::array();
    for (const auto& [type, text] : report.messages)
        messages.push_back({{"type", Utf8(OrvLogging::MessageTypeName(type))}, {"text", Utf8(text)}});
    json whole = {{"program", "varelo-convert"}, {"version", VARELO_VERSION}};
    PutPath(whole, "recording", report.recording);
    PutPath(whole, "output_directory", report.outputDirectory);
    whole.update(json{
        {"options", OptionsJson(arguments)},
        {"output_options", OutputOptionsJson(arguments.options)},
        {"inputs", inputs},
        {"outputs", outputs},
        {"events_left_out", report.summary.eventsLeftOut},
        {"events_left_out_list", EventsJson(report.summary.leftOutEvents)},
        {"event_texts_cut", EventsJson(report.summary.textsCut)},
        {"channels_cut", LeftOutJson(report.summary.channelsCut, SampleFrequency(report.summary), false)},
        {"partial_records_ignored", LeftOutJson(report.summary.partialRecords, SampleFrequency(report.summary), true)},
        {"event_files_not_used", eventFilesNotUsed},
        {"messages", messages},
        {"result", report.result},
        {"wall_time_s", report.wallSeconds}});
    return whole;
}

std::string ReportText(const json& report, int indent)
{
    return report.dump(indent, ' ', false, json::error_handler_t::replace);
}

bool WriteReportFile(const std::string& path, const json& report, std::string& error)
{
    std::string temporary = path + ".XXXXXX";
    OrvFiles::Failure failure;
    const int fd = OrvFiles::CreateTemporary(temporary, failure);
    if (fd < 0) {
        error = "cannot write the report " + path + ": " + OrvText::WideToUtf8(failure.reason);
        return false;
    }
    (void)fchmod(fd, 0644);
    const bool written = WriteAll(fd, ReportText(report, 2) + "\n") && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    // The rename replaces whatever has the name, a symbolic link included, and writes through none.
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write the report " + path + ": " + std::generic_category().message(errno);
        (void)unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool AppendReportLine(const std::string& file, const json& report, std::string& error)
{
    OrvFiles::Failure failure;
    const int fd = OrvFiles::OpenForWriting(file, OrvFiles::Existing::Append, false, failure);
    if (fd < 0) {
        error = "cannot append to the report " + file + ": " + OrvText::WideToUtf8(failure.reason);
        return false;
    }
    const bool written = WriteAll(fd, ReportText(report, -1) + "\n");
    if (!written)
        error = "cannot append to the report " + file + ": " + std::generic_category().message(errno);
    (void)close(fd);
    return written;
}

json OutputOptionsJson(const ConversionOptions& options)
{
    json chosen = {{"exact_timing", options.exactTiming},
                   {"unit", options.physicalDimension},
                   {"microsecond_onsets", options.microsecondOnsets},
                   {"natural_order", options.naturalOrder},
                   {"lossless_range", options.losslessRange},
                   {"whole_texts", options.wholeTexts},
                   {"flat_names", options.flatNames}};
    if (options.resampleHz > 0)  // only then: reports written before the option still compare alike
        chosen["resample_hz"] = options.resampleHz;
    if (options.prefiltering)
        chosen["prefiltering"] = true;
    if (!options.channels.empty())
        chosen["channels"] = options.channels;
    if (!options.labels.empty())
        chosen["labels"] = options.labels;
    if (!options.patient.empty())
        chosen["patient"] = options.patient;
    if (!options.recording.empty())
        chosen["recording"] = options.recording;
    if (options.splitMicroseconds > 0)
        chosen["split_us"] = options.splitMicroseconds;
    return chosen;
}

bool ConvertedBefore(const std::string& path, const std::vector<InputFile>& inputs, const ConversionOptions& options)
{
    const json report = json::parse(ReadReport(path), nullptr, false);  // no exception: discarded when not JSON
    if (!report.is_object() || TextOf(report, "result") != "complete")
        return false;
    const auto shapedBy = report.find("output_options");
    if (shapedBy == report.end() || *shapedBy != OutputOptionsJson(options))
        return false;
    const auto previous = report.find("inputs");
    if (previous == report.end() || !previous->is_array() || previous->size() != inputs.size())
        return false;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const json& entry = (*previous)[i];
        const auto size = entry.is_object() ? entry.find("size") : entry.end();
        // by name: the recording may be named by another path than last time
        if (!entry.is_object() || BaseOf(PathOf(entry, "file")) != BaseOf(inputs[i].path)
            || TextOf(entry, "modified") != inputs[i].modified || size == entry.end() || !size->is_number_integer()
            || size->get<int64_t>() != inputs[i].size || inputs[i].size < 0)
            return false;
    }
    return true;
}
