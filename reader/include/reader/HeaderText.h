#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Velquor {

// The header values of one acquisition file: for each key (its leading '-' included, compared
// case-sensitively) the rows of every value line that carries it, in header order.
using HeaderRow = std::vector<std::wstring>;
using HeaderTable = std::map<std::wstring, std::vector<HeaderRow>, std::less<>>;

// Reads the 8-bit (ISO 8859-1) header block of an acquisition file. The text ends at the first
// NUL byte or at the end of the block. Lines end in LF, a CR just before the LF is dropped. A
// line whose first non-blank character is '-' is a value line: its first word is the key, the
// other words are the row's fields. Words are split at runs of blanks and tabs; a word that
// begins with a double quote runs to the next double quote (or the end of the line) and loses
// its quotes, and a word after the closing quote starts a new field. Other lines are ignored.
HeaderTable ParseHeaderText(std::string_view block);

}  // namespace Velquor
