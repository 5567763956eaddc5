#pragma once

#include "ILogFile.h"

namespace OrvLogging {

// Writes tag and text to the wide standard output, one message per line, without flushing.
class ConsoleLogger : public ILogFile {
public:
    int LogMessage(ORVB_MESSAGE_TYPE type, const std::wstring& text) override;
};

}  // namespace OrvLogging
