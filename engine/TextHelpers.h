#pragma once

#include <string>
#include <vector>

// Reads one int from the start of text, after leading white space: an optional sign and the
// decimal digits up to the first other character ("32000.0" gives 32000). False when there is no
// number there or it lies beyond the range of int; value is then left as it was.
bool StringToInt(const wchar_t* text, int& value);

// StringToInt's reading of a header value, provided it is the whole number written: text after
// the digits may follow ("1000 uV" gives 1000, "32000.0" 32000), but no fraction or exponent
// that makes the number another ("1e6", "1000.5", "0x10"). False also where StringToInt fails;
// value is then left as it was.
bool ReadWholeNumber(const std::wstring& text, int& value);

// The parts of text between occurrences of delimiter, in order: "a//b" gives a, "", b; an empty
// text gives one empty part. The delimiter must not be empty.
std::vector<std::wstring> SplitString(const std::wstring& text, const std::wstring& delimiter);
