#include "BatchTerminal.h"

#include <nlohmann/json.hpp>

#include "ConversionReport.h"
#include "PrintLine.h"

BatchTerminal::BatchTerminal(std::FILE* out, std::FILE* err, BatchProgress& progress, std::string reportFile)
    : out(out), err(err), progress(progress), reportFile(std::move(reportFile))
{
}

void BatchTerminal::Line(const std::string& text)
{
    progress.Clear();
    PrintLine(out, text);
    std::fflush(out);
}

void BatchTerminal::ErrorLine(const std::string& text)
{
    progress.Clear();
    PrintLine(err, text);
}

void BatchTerminal::Report(const std::string& json)
{
    std::string error;
    if (!reportFile.empty() && !json.empty()
        && !AppendReportLine(reportFile, nlohmann::ordered_json::parse(json, nullptr, false), error))
        ErrorLine("varelo-convert: " + error);
}

void BatchTerminal::Print(const Outcome& outcome)
{
    progress.Clear();
    for (const auto& [toError, text] : outcome.lines)
        PrintLine(toError ? err : out, text);
    std::fflush(out);
    Report(outcome.report);
}

void BatchTerminal::Interrupted()
{
    std::fputs(interruptedLine, err);
}
