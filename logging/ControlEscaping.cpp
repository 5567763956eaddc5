#include "logging/ControlEscaping.h"

#include <cstdint>

#include "logging/TextConversion.h"

namespace OrvText {
namespace {

constexpr uint32_t undecodableFirst = 0xDC80;  // a byte of a path that is not UTF-8
constexpr uint32_t undecodableLast = 0xDCFF;

bool IsControl(uint32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void AppendEscape(std::wstring& out, uint32_t byte)
{
    constexpr wchar_t digits[] = L"0123456789abcdef";
    out += L"\\x";
    out += digits[(byte >> 4) & 0xF];
    out += digits[byte & 0xF];
}

}  // namespace

std::wstring EscapeControls(std::wstring_view text)
{
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t w : text) {
        const auto c = static_cast<uint32_t>(static_cast<char32_t>(w));
        if (IsControl(c))
            AppendEscape(escaped, c);
        else if (c >= undecodableFirst && c <= undecodableLast)
            AppendEscape(escaped, c - 0xDC00);
        else
            escaped += w;
    }
    return escaped;
}

std::string EscapeControlsUtf8(std::string_view utf8)
{
    return WideToUtf8(EscapeControls(Utf8ToWide(utf8)));
}

}  // namespace OrvText
