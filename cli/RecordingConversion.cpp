#include "RecordingConversion.h"

#include <chrono>
#include <filesystem>
#include <sys/stat.h>

#include "BidsNames.h"
#include "BidsPublication.h"
#include "CommandLineFrontend.h"
#include "ConversionReport.h"
#include "engine/ConversionRun.h"
#include "logging/ControlEscaping.h"
#include "logging/SafeFile.h"
#include "logging/TextConversion.h"

namespace {

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// What the result line starts with: in a batch under --quiet the recording's directory, so that
// each line says which recording it is about.
std::string ResultPrefix(const Recording& recording, const ConvertArguments& arguments)
{
    const bool batch = arguments.recursive || arguments.directories.size() > 1;
    return arguments.quiet && batch ? recording.directory + ": " : std::string();
}

void HandOver(const RecordingReport& report, const ConvertArguments& arguments, RunOutput& output, bool writeBesideLog)
{
    const nlohmann::ordered_json json = ReportJson(report, arguments);
    std::string error;
    if (writeBesideLog && !WriteReportFile(report.outputDirectory + "/" + reportFileName, json, error))
        output.ErrorLine("varelo-convert: " + error);
    output.ReportLine(ReportText(json, -1));
}

// Makes the output directory. Below the --output-dir root (`root`, empty without one), which is
// taken as the user named it, every directory is made or entered without following a symbolic
// link: a link inside the output tree is never written through. false with the problem in words.
bool MakeOutputDirectory(const std::string& outputDirectory, const std::string& root, std::string& problem)
{
    const bool belowRoot = !root.empty() && outputDirectory.size() > root.size() + 1
                           && outputDirectory.compare(0, root.size() + 1, root + "/") == 0;
    const std::string existing = belowRoot ? root : outputDirectory;
    std::error_code error;
    std::filesystem::create_directories(existing, error);
    if (error) {
        problem = "cannot create the output directory " + existing + ": " + error.message();
        return false;
    }
    std::string failedPath;
    OrvFiles::Failure failure;
    if (belowRoot
        && !OrvFiles::MakeDirectoriesBelow(root, outputDirectory.substr(root.size() + 1), failedPath, failure)) {
        problem = "cannot create the output directory " + failedPath + ": " + OrvText::WideToUtf8(failure.reason);
        return false;
    }
    return true;
}

// Where an earlier conversion of the recording completed with the same output options from the
// files as they are, for --skip-converted; empty when none did (or without the option). Into a
// BIDS dataset, each conversion of the same names has a staging directory of its own.
std::string EarlierConversion(const Recording& recording, const ConvertArguments& arguments,
                              const std::string& outputDirectory, const std::vector<InputFile>& inputs)
{
    if (!arguments.skipConverted)
        return {};
    std::vector<std::string> places = {outputDirectory};
    if (!arguments.bids.root.empty())
        places = BidsStagingDirectoriesTaken(
            BidsNames(WithoutTrailingSlashes(arguments.bids.root), recording.bids, arguments.bids.datatype));
    for (const std::string& place : places) {
        if (ConvertedBefore(place + "/" + reportFileName, inputs, arguments.options))
            return place;
    }
    return {};
}

}  // namespace

int ConvertRecording(const Recording& recording, const ConvertArguments& arguments, LogFile& logFile, RunOutput& output,
                     const std::function<bool()>& cancelled)
{
    const auto started = std::chrono::steady_clock::now();
    const std::string outputDirectory = OutputDirectoryOf(recording);
    if (!IsDirectory(recording.directory)) {
        output.ErrorLine("varelo-convert: " + recording.directory + ": not a directory");
        output.Line(ResultPrefix(recording, arguments) + OrvText::WideToUtf8(ResultText(-1)));
        HandOver(FailedRecording(recording.directory, outputDirectory, recording.directory + ": not a directory"),
                 arguments, output, false);
        return 1;
    }
    ConversionRequest request;
    request.dataDirectory = OrvText::Utf8ToWide(recording.directory);
    request.outputDirectory = OrvText::Utf8ToWide(outputDirectory);
    request.options = arguments.options;
    request.cancelled = cancelled;
    ScanDirectory(request.dataDirectory, request.cscFiles, request.eventFile, ChannelOrderOf(request.options));

    RecordingReport report;
    report.recording = recording.directory;
    report.outputDirectory = outputDirectory;
    report.inputs = DescribeInputs(request.cscFiles, request.eventFile);
    if (const std::string earlier = EarlierConversion(recording, arguments, outputDirectory, report.inputs);
        !earlier.empty()) {
        report.outputDirectory = earlier;
        const std::wstring notice = OrvText::EscapeControls(
            L"Skipping " + request.dataDirectory
            + L": its last conversion completed with the same output options and its files have not changed since.");
        output.Line(OrvText::WideToUtf8(LogFile::MessageLine(OrvLogging::Notice, notice)));
        report.messages.emplace_back(OrvLogging::Notice, notice);
        report.result = "skipped";
        HandOver(report, arguments, output, false);  // the report of the conversion stays
        return 0;
    }

    std::string problem;
    if (!arguments.bids.root.empty() && !CheckBidsTargets(recording, arguments.bids, problem)) {
        output.ErrorLine("varelo-convert: " + problem);
        output.Line(ResultPrefix(recording, arguments) + OrvText::WideToUtf8(ResultText(-1)));
        HandOver(FailedRecording(recording.directory, outputDirectory, problem), arguments, output, false);
        return 1;
    }
    if (!MakeOutputDirectory(outputDirectory, WithoutTrailingSlashes(arguments.outputDirectory), problem)) {
        output.ErrorLine("varelo-convert: " + problem);
        output.Line(ResultPrefix(recording, arguments) + OrvText::WideToUtf8(ResultText(-1)));
        HandOver(FailedRecording(recording.directory, outputDirectory, problem), arguments, output, false);
        return 1;
    }

    CommandLineFrontend frontend(logFile, arguments.quiet, output, ResultPrefix(recording, arguments));
    const int result = RunConversion(request, logFile, frontend, &report.summary);
    report.messages = frontend.Messages();
    report.result = result == 0 ? "complete" : "failed";
    int status = result == 0 ? 0 : 1;
    if (result == 0 && !arguments.bids.root.empty())
        status = PublishToBids(recording, arguments.bids, request.eventFile, report, output, arguments.quiet);
    report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    HandOver(report, arguments, output, true);
    return status;
}
