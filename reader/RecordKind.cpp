#include "reader/RecordKind.h"

#include "logging/AsciiCase.h"

namespace Velquor {

bool HasEventFileExtension(std::string_view name)
{
    return OrvText::EndsWithIgnoringAsciiCase(name, ".oev");
}

bool HasEventFileExtension(std::wstring_view path)
{
    return OrvText::EndsWithIgnoringAsciiCase(path, L".oev");
}

std::optional<OrvRecordKind> RecordKindOf(std::wstring_view path, const std::vector<HeaderRow>& fileTypeRows)
{
    if (fileTypeRows.empty())
        return HasEventFileExtension(path) ? OrvRecordKind::Event : OrvRecordKind::Csc;
    const HeaderRow& row = fileTypeRows.front();
    if (row.empty())
        return std::nullopt;
    if (OrvText::EqualsIgnoringAsciiCase(row.front(), L"CSC"))
        return OrvRecordKind::Csc;
    if (OrvText::EqualsIgnoringAsciiCase(row.front(), L"Event"))
        return OrvRecordKind::Event;
    return std::nullopt;
}

}  // namespace Velquor
