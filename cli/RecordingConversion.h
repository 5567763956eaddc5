#pragma once

#include <functional>

#include "RecordingDiscovery.h"
#include "RunOutput.h"
#include "cli/ConvertArguments.h"
#include "logging/LogFile.h"

// The whole of one recording's conversion by varelo-convert: its output directory made, its
// files scanned, passed over when --skip-converted finds it converted already, converted, and its
// report written beside its log file and handed to the batch. 0 when it converted (or was passed
// over), 1 when it failed. cancelled is asked once per data record.
int ConvertRecording(const Recording& recording, const ConvertArguments& arguments, LogFile& logFile, RunOutput& output,
                     const std::function<bool()>& cancelled);
