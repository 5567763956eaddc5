#pragma once

#include <string_view>

// Letter case folded for ASCII letters only. File types, file name extensions, the listing order
// and the start event's text compare so: the result does not change with the process locale, and
// no ISO 8859-1 letter beyond ASCII folds onto an ASCII one.
namespace OrvText {

char FoldAsciiToUpper(char c);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);
bool EndsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view suffix);

}  // namespace OrvText
