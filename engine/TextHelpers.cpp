#include "TextHelpers.h"

#include <cwchar>
#include <sstream>

bool StringToInt(const wchar_t* text, int& value)
{
    std::wistringstream stream(text == nullptr ? L"" : text);
    int parsed = 0;
    stream >> parsed;
    if (stream.fail())
        return false;
    value = parsed;
    return true;
}

bool ReadWholeNumber(const std::wstring& text, int& value)
{
    int integer = 0;
    if (!StringToInt(text.c_str(), integer))
        return false;
    // The number as a C reader of decimal, exponent and hexadecimal notation takes it.
    const double written = std::wcstod(text.c_str(), nullptr);
    if (written != static_cast<double>(integer))
        return false;
    value = integer;
    return true;
}

std::vector<std::wstring> SplitString(const std::wstring& text, const std::wstring& delimiter)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t found = text.find(delimiter, start);
        if (found == std::wstring::npos || delimiter.empty()) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, found - start));
        start = found + delimiter.size();
    }
}
