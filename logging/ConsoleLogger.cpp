#include "ConsoleLogger.h"

#include <iostream>

namespace OrvLogging {

int ConsoleLogger::LogMessage(ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    std::wcout << MessageTypeTag(type) << text << L"\r\n";
    return 0;
}

}  // namespace OrvLogging
