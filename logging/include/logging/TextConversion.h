#pragma once

#include <string>
#include <string_view>

// The program's two text encodings, converted in this one place and independent of the
// process locale:
// - file text (log lines, EDF labels and annotations, acquisition headers) is ISO 8859-1;
// - file paths are UTF-8.
namespace OrvText {

// Each character up to U+00FF becomes the byte of the same value. A text holding any character
// above U+00FF cannot be converted: the result is false and `latin1` is left empty.
bool WideToLatin1(std::wstring_view wide, std::string& latin1);

// Each byte becomes the character of the same value.
std::wstring Latin1ToWide(std::string_view latin1);

// UTF-8 for a path. Bytes that are not valid UTF-8 (a file name written by another system)
// travel through wide text as U+DC80 to U+DCFF, so that every name read from a directory
// converts back to the very bytes it had.
std::string WideToUtf8(std::wstring_view wide);
std::wstring Utf8ToWide(std::string_view utf8);

// Whether every byte of the text belongs to a well-formed UTF-8 sequence.
bool IsUtf8(std::string_view text);

}  // namespace OrvText
