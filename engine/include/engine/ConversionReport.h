#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/ConversionOptions.h"
#include "engine/ConversionSummary.h"
#include "logging/MessageType.h"

// The report of one recording's conversion, as JSON: what a pipeline needs to know of what came
// out. Written beside the log file as VareloReport.json, and as one line of the batch's --report
// file.

constexpr const char* reportFileName = "VareloReport.json";

struct InputFile {
    std::string path;      // UTF-8
    int64_t size = -1;     // bytes; -1 when the file cannot be looked at
    std::string modified;  // UTC, to the nanosecond: "2026-12-07T09:37:37.123456789Z"
    bool events = false;   // the event file, not a channel file
};

struct RecordingReport {
    std::string recording;        // the recording directory
    std::string outputDirectory;  // where its files went
    std::vector<InputFile> inputs;
    ConversionSummary summary;
    std::vector<std::pair<OrvLogging::ORVB_MESSAGE_TYPE, std::wstring>> messages;
    std::string result;  // "complete", "failed" or "skipped"
    double wallSeconds = 0;
};

// How the program that converted was asked to run, as a report names it: the options, and for
// the command line the output root and how its batch went (empty, false and 1 for the window).
struct ReportSettings {
    ConversionOptions options;
    std::string outputDirectory;  // the root of the outputs; empty: each beside its recording
    bool recursive = false;
    int jobs = 1;
    bool skipConverted = false;
};

// The report of a recording that failed outside the engine (not a directory, its process killed):
// the problem as its one Error message.
RecordingReport FailedRecording(const std::string& recording, const std::string& outputDirectory,
                                const std::string& problem);

// Names, sizes and modification times of the channel files and the event file.
std::vector<InputFile> DescribeInputs(const std::vector<std::wstring>& cscFiles, const std::wstring& eventFile);

nlohmann::ordered_json ReportJson(const RecordingReport& report, const ReportSettings& arguments);
// The JSON text. A path that is not UTF-8 shows U+FFFD for its stray bytes in its field and is
// kept exactly beside it, in hex under the field's name + "_bytes".
std::string ReportText(const nlohmann::ordered_json& report, int indent);

// Writes the report to a temporary name beside `path` and renames it there, so that the report
// is either complete or absent. false with the reason in `error`.
bool WriteReportFile(const std::string& path, const nlohmann::ordered_json& report, std::string& error);
// Appends the report as one line to `file` in one write (appending writers do not interleave).
bool AppendReportLine(const std::string& file, const nlohmann::ordered_json& report, std::string& error);

// The options that shape the EDF+ files (not how the run goes, nor --verify, which only reads
// them back): exact timing, unit and the names. A report keeps them as "output_options".
nlohmann::ordered_json OutputOptionsJson(const ConversionOptions& options);

// Whether the report at `path` says that the conversion completed, with exactly these inputs and
// these output options.
bool ConvertedBefore(const std::string& path, const std::vector<InputFile>& inputs, const ConversionOptions& options);
