#pragma once

#include <string_view>
#include <vector>

#include "reader/HeaderText.h"

namespace Velquor {

// The separately allocated arrays in which the reader hands out header values and error texts.
// Every string, every row array, the array of rows and the array of field counts is one
// allocation of std::malloc, released one by one with std::free (the reader's FreeArray). A
// table without rows gives null arrays; a row without fields a null row array.

// A NUL-terminated copy; null when memory runs out.
wchar_t* CopyToWideArray(std::wstring_view text);

// false when memory runs out; nothing is then left allocated and the out-parameters are null/0.
bool CopyToHeaderArrays(const std::vector<HeaderRow>& table, wchar_t***& rows, int& rowCount, int*& fieldCounts);

}  // namespace Velquor
