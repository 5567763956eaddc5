#pragma once

#include <cstdint>
#include <string>

namespace OrvLogging {

// Message level; the values are fixed, since they travel as plain integers between the parts.
enum ORVB_MESSAGE_TYPE : int32_t {
    Fatal = 0,
    Error = 1,
    Warning = 2,
    Notice = 3,
    Data = 4,
    Debug = 5,
};

// "Fatal", "Error", ...; "Unknown" for a value outside the table.
std::wstring MessageTypeName(ORVB_MESSAGE_TYPE type);

// The 14-character tag that starts a log line, for example "-*  ERROR  *- ";
// "-* UNKNOWN *- " for a value outside the table.
std::wstring MessageTypeTag(ORVB_MESSAGE_TYPE type);

}  // namespace OrvLogging
