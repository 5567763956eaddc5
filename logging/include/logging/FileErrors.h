#pragma once

#include <string>

// The one form of the Error that follows a fixed message naming no file or no reason: the full
// path, then the reason, as in "/data/rec1/DevOutput.edf: No space left on device.".
namespace OrvText {

// "<path>: <reason>." (reason without a closing full stop).
std::wstring FileErrorText(const std::wstring& path, const std::wstring& reason);

// The system's own words for an error number, for example "Permission denied".
std::wstring SystemReason(int errorNumber);

}  // namespace OrvText
