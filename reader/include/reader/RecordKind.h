#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "reader/HeaderText.h"

namespace Velquor {

enum class OrvRecordKind { Csc, Event };

// Whether a file name (UTF-8) or path ends in ".oev", in any letter case: the name of an event file.
bool HasEventFileExtension(std::string_view name);
bool HasEventFileExtension(std::wstring_view path);

// The kind of records an acquisition file holds. Its -FileType line decides: first field "CSC" or
// "Event", in any letter case. Without a -FileType line its name decides: ".oev" at the end, in
// any letter case, means event records, anything else CSC records. `fileTypeRows` are the rows of
// the file's -FileType key. None when that line names another type (or none at all): such a file
// cannot be opened.
std::optional<OrvRecordKind> RecordKindOf(std::wstring_view path, const std::vector<HeaderRow>& fileTypeRows);

}  // namespace Velquor
