#pragma once

#include <string>
#include <vector>

#include "engine/ConversionSummary.h"

// The Warnings about input that the EDF+ files do not hold, each with the files concerned and how
// much (samples and seconds at sampleFrequency): one text per kind of loss, empty when nothing
// of that kind is lost.

// The channel files (and the event file, when given) that end in an incomplete record, whose
// bytes the reader passes over: the bytes and, in a channel file, the samples they hold.
std::vector<InputLeftOut> FindPartialRecords(const std::vector<std::wstring>& cscFiles, const std::wstring& eventFile);
std::wstring PartialRecordsWarning(const std::vector<InputLeftOut>& partial, int sampleFrequency);
std::wstring ChannelsCutWarning(const std::vector<InputLeftOut>& cut, int sampleFrequency);
std::wstring EventFilesNotUsedWarning(const std::wstring& used, const std::vector<std::wstring>& notUsed);
