#pragma once

#include <string>
#include <vector>

#include "engine/ConversionOptions.h"

// Which of a recording's channel files are converted, in which order, and under which labels. A
// channel is named by its -AcqEntName or by its file's name without the extension; names compare
// case-sensitively.

// cscFiles narrowed to the channels that options.channels names and put in its order. Each entry
// is a name, a range of numbered names (CSC1-CSC16: the channels named CSC and a number from 1 to
// 16, in the range's order, however many of them the recording has) or a shell pattern (LFP*:
// the channels it matches, in the order of cscFiles); a channel that several entries name comes
// once, at its first place. Without entries cscFiles stays as it is. false, with error naming the
// entry, when an entry names no channel, or a label of options.labels names no channel of the
// recording (chosen or not).
bool ChooseChannels(const ConversionOptions& options, std::vector<std::wstring>& cscFiles, std::string& error);

// The label that options.labels gives the channel of `file` named acqEntName; empty when none.
std::string GivenLabel(const ConversionOptions& options, const std::wstring& file, const std::wstring& acqEntName);
