#pragma once

#include <string>

#include "logging/MessageType.h"

namespace OrvLogging {

// Something that records messages.
class ILogFile {
public:
    virtual ~ILogFile() = default;
    virtual int LogMessage(ORVB_MESSAGE_TYPE type, const std::wstring& text) = 0;
};

}  // namespace OrvLogging
