#pragma once

#include "cli/ConvertArguments.h"
#include "engine/ConversionReport.h"

// The report as varelo-convert's arguments shape it.
inline nlohmann::ordered_json ReportJson(const RecordingReport& report, const ConvertArguments& arguments)
{
    return ReportJson(report, ReportSettings{arguments.options, arguments.outputDirectory, arguments.recursive,
                                             arguments.jobs, arguments.skipConverted});
}
