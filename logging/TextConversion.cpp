#include "logging/TextConversion.h"

#include <cstdint>

namespace OrvText {
namespace {

constexpr char32_t escapeFirst = 0xDC80;  // a lone low surrogate carries one undecodable byte
constexpr char32_t escapeLast = 0xDCFF;

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one well-formed UTF-8 sequence at `pos`; returns its length, or 0 when the bytes there
// are not one (overlong forms, surrogates and values past U+10FFFF included).
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& c)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[pos + i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

bool WideToLatin1(std::wstring_view wide, std::string& latin1)
{
    latin1.clear();
    latin1.reserve(wide.size());
    for (const wchar_t c : wide) {
        if (static_cast<uint32_t>(c) > 0xFF) {
            latin1.clear();
            return false;
        }
        latin1 += static_cast<char>(static_cast<uint8_t>(c));
    }
    return true;
}

std::wstring Latin1ToWide(std::string_view latin1)
{
    std::wstring wide;
    wide.reserve(latin1.size());
    for (const char c : latin1)
        wide += static_cast<wchar_t>(static_cast<uint8_t>(c));
    return wide;
}

std::string WideToUtf8(std::wstring_view wide)
{
    std::string utf8;
    utf8.reserve(wide.size());
    for (const wchar_t w : wide) {
        const auto c = static_cast<char32_t>(static_cast<uint32_t>(w));
        if (c >= escapeFirst && c <= escapeLast)
            utf8 += static_cast<char>(c - 0xDC00);
        else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            AppendUtf8(utf8, 0xFFFD);
        else
            AppendUtf8(utf8, c);
    }
    return utf8;
}

std::wstring Utf8ToWide(std::string_view utf8)
{
    std::wstring wide;
    wide.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t c = 0;
        const size_t length = DecodeUtf8(utf8, pos, c);
        if (length == 0) {
            wide += static_cast<wchar_t>(0xDC00 + static_cast<uint8_t>(utf8[pos]));
            ++pos;
        } else {
            wide += static_cast<wchar_t>(c);
            pos += length;
        }
    }
    return wide;
}

bool IsUtf8(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = 0;
        const size_t length = DecodeUtf8(text, pos, c);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

}  // namespace OrvText
