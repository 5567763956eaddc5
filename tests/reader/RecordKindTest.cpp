#include "reader/RecordKind.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using Velquor::HeaderRow;
using Velquor::OrvRecordKind;

// The -FileType line decides before the name; without one, ".oev" in any letter case.
TEST(RecordKindOf, FileTypeLineDecidesThenTheExtension)
{
    const struct {
        std::wstring path;
        std::vector<HeaderRow> rows;
        std::optional<OrvRecordKind> kind;
    } cases[] = {
        {L"/r/CSC1.ocs", {}, OrvRecordKind::Csc},
        {L"/r/Events.oev", {}, OrvRecordKind::Event},
        {L"/r/Events.OeV", {}, OrvRecordKind::Event},
        {L"/r/Events.oev.bak", {}, OrvRecordKind::Csc},
        {L"/r/oev", {}, OrvRecordKind::Csc},
        {L"", {}, OrvRecordKind::Csc},
        {L"/r/Events.oev", {{L"CSC"}}, OrvRecordKind::Csc},
        {L"/r/CSC1.ocs", {{L"event"}}, OrvRecordKind::Event},
        {L"/r/CSC1.ocs", {{L"cSc", L"Event"}}, OrvRecordKind::Csc},      // the first field only
        {L"/r/CSC1.ocs", {{L"Event"}, {L"CSC"}}, OrvRecordKind::Event},  // the first row only
        {L"/r/CSC1.ocs", {{L"Video"}}, std::nullopt},
        {L"/r/CSC1.ocs", {{L"CSC "}}, std::nullopt},
        {L"/r/Events.oev", {{}}, std::nullopt},  // a -FileType line naming nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(Velquor::RecordKindOf(c.path, c.rows), c.kind) << std::string(c.path.begin(), c.path.end());
}
