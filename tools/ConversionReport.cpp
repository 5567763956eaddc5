#include "tools/ConversionReport.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "VareloVersion.h"
#include "logging/TextConversion.h"
#include "tools/WriteAll.h"

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
    json entry = {{"file", input.path},
                  {"size", input.size},
                  {"modified", input.modified},
                  {"kind", input.events ? "events" : "channel"}};
    for (const ChannelSummary& channel : summary.channels) {
        if (Utf8(channel.file) == input.path) {
            entry["channel"] = Utf8(channel.name);
            entry["sampling_rate_hz"] = channel.sampleFrequency;
        }
    }
    return entry;
}

json OutputJson(const OutputFileSummary& output)
{
    struct stat info {};
    const std::string file = Utf8(output.file);
    return {{"file", file},
            {"size", stat(file.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1},
            {"start", output.startDate},
            {"records", output.records},
            {"record_duration_s", output.durationUnits / 100000.0},
            {"samples_per_record", output.samplesPerRecord},
            {"annotations", output.annotations},
            {"first_sample_us", output.firstSampleUs},
            {"last_sample_us", output.lastSampleUs},
            {"complete", output.complete},
            {"named", output.named}};
}

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

json OptionsJson(const ConvertArguments& arguments)
{
    return {{"exact_timing", arguments.options.exactTiming},
            {"unit", arguments.options.physicalDimension},
            {"verify", arguments.options.verify},
            {"output_dir", arguments.outputDirectory},
            {"recursive", arguments.recursive},
            {"jobs", arguments.jobs},
            {"skip_converted", arguments.skipConverted}};
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

// A text field of an object, empty when it is missing or not a text.
std::string TextOf(const json& object, const char* key)
{
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

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

json ReportJson(const RecordingReport& report, const ConvertArguments& arguments)
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
    return {
        {"program", "varelo-convert"},
        {"version", VARELO_VERSION},
        {"recording", report.recording},
        {"output_directory", report.outputDirectory},
        {"options", OptionsJson(arguments)},
        {"output_options", OutputOptionsJson(arguments.options)},
        {"inputs", inputs},
        {"outputs", outputs},
        {"events_left_out", report.summary.eventsLeftOut},
        {"channels_cut", LeftOutJson(report.summary.channelsCut, SampleFrequency(report.summary), false)},
        {"partial_records_ignored", LeftOutJson(report.summary.partialRecords, SampleFrequency(report.summary), true)},
        {"event_files_not_used", eventFilesNotUsed},
        {"messages", messages},
        {"result", report.result},
        {"wall_time_s", report.wallSeconds}};
}

std::string ReportText(const json& report, int indent)
{
    return report.dump(indent, ' ', false, json::error_handler_t::replace);
}

bool WriteReportFile(const std::string& path, const json& report, std::string& error)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot write the report " + path + ": " + std::generic_category().message(errno);
        return false;
    }
    (void)fchmod(fd, 0644);
    const bool written = WriteAll(fd, ReportText(report, 2) + "\n") && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write the report " + path + ": " + std::generic_category().message(errno);
        (void)unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool AppendReportLine(const std::string& file, const json& report, std::string& error)
{
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const bool written = fd >= 0 && WriteAll(fd, ReportText(report, -1) + "\n");
    if (!written)
        error = "cannot append to the report " + file + ": " + std::generic_category().message(errno);
    if (fd >= 0)
        (void)close(fd);
    return written;
}

json OutputOptionsJson(const ConversionOptions& options)
{
    return {
        {"exact_timing", options.exactTiming}, {"unit", options.physicalDimension}, {"flat_names", options.flatNames}};
}

bool ConvertedBefore(const std::string& path, const std::vector<InputFile>& inputs, const ConversionOptions& options)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const json report = json::parse(text.str(), nullptr, false);  // no exception: discarded when not JSON
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
        if (!entry.is_object() || BaseOf(TextOf(entry, "file")) != BaseOf(inputs[i].path)
            || TextOf(entry, "modified") != inputs[i].modified || size == entry.end() || !size->is_number_integer()
            || size->get<int64_t>() != inputs[i].size || inputs[i].size < 0)
            return false;
    }
    return true;
}
