#include "HeaderArrays.h"

#include <cstdlib>
#include <cstring>

namespace Velquor {
namespace {

template <typename T> T* AllocateArray(size_t count)
{
    return static_cast<T*>(std::calloc(count, sizeof(T)));
}

void ReleaseRows(wchar_t*** rows, const int* fieldCounts, int rowCount)
{
    for (int r = 0; r < rowCount; ++r) {
        if (rows[r] == nullptr)
            continue;
        for (int f = 0; f < fieldCounts[r]; ++f)
            std::free(rows[r][f]);
        std::free(rows[r]);
    }
    std::free(rows);
}

// Fills the row array of one row; false when memory runs out (what was copied stays in `row`).
bool CopyRow(const HeaderRow& fields, wchar_t**& row)
{
    if (fields.empty())
        return true;
    row = AllocateArray<wchar_t*>(fields.size());
    if (row == nullptr)
        return false;
    for (size_t f = 0; f < fields.size(); ++f) {
        row[f] = CopyToWideArray(fields[f]);
        if (row[f] == nullptr)
            return false;
    }
    return true;
}

}  // namespace

wchar_t* CopyToWideArray(std::wstring_view text)
{
    wchar_t* copy = AllocateArray<wchar_t>(text.size() + 1);
    if (copy != nullptr && !text.empty())
        std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
    return copy;
}

bool CopyToHeaderArrays(const std::vector<HeaderRow>& table, wchar_t***& rows, int& rowCount, int*& fieldCounts)
{
    rows = nullptr;
    rowCount = 0;
    fieldCounts = nullptr;
    if (table.empty())
        return true;
    wchar_t*** newRows = AllocateArray<wchar_t**>(table.size());
    int* newCounts = AllocateArray<int>(table.size());
    bool complete = newRows != nullptr && newCounts != nullptr;
    for (size_t r = 0; complete && r < table.size(); ++r) {
        // calloc left every unfilled slot null, so a partial row releases cleanly.
        newCounts[r] = static_cast<int>(table[r].size());
        complete = CopyRow(table[r], newRows[r]);
    }
    if (!complete) {
        if (newRows != nullptr && newCounts != nullptr)
            ReleaseRows(newRows, newCounts, static_cast<int>(table.size()));
        else
            std::free(newRows);
        std::free(newCounts);
        return false;
    }
    rows = newRows;
    rowCount = static_cast<int>(table.size());
    fieldCounts = newCounts;
    return true;
}

}  // namespace Velquor
