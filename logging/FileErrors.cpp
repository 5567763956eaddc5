#include "logging/FileErrors.h"

#include <system_error>

#include "logging/TextConversion.h"

namespace OrvText {

std::wstring FileErrorText(const std::wstring& path, const std::wstring& reason)
{
    return path + L": " + reason + L".";
}

std::wstring SystemReason(int errorNumber)
{
    return Latin1ToWide(std::generic_category().message(errorNumber));
}

}  // namespace OrvText
