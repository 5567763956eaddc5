#include "reader/HeaderText.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Velquor::HeaderRow;
using Velquor::HeaderTable;
using Velquor::ParseHeaderText;
using Rows = std::vector<HeaderRow>;

TEST(HeaderText, ValueLinesGiveRowsOfFieldsByKey)
{
    const struct {
        std::string what;
        std::string text;
        std::wstring key;
        Rows rows;
    } cases[] = {
        {"one field", "-SamplingFrequency 32000\n", L"-SamplingFrequency", {{L"32000"}}},
        {"two fields", "-TimeCreated 2017/07/03 10:22:33\n", L"-TimeCreated", {{L"2017/07/03", L"10:22:33"}}},
        {"runs of blanks and tabs", "  \t-InputRange\t1000  \t 2000 \t\n", L"-InputRange", {{L"1000", L"2000"}}},
        {"quoted words keep blanks",
         "-Ref \"Source 01 Reference 1\" next\n",
         L"-Ref",
         {{L"Source 01 Reference 1", L"next"}}},
        {"empty quotes", "-Empty \"\"\n", L"-Empty", {{L""}}},
        {"unclosed quote", "-Unclosed \"runs to  the end\n", L"-Unclosed", {{L"runs to  the end"}}},
        {"word after closing quote", "-Adjacent \"a b\"c\n", L"-Adjacent", {{L"a b", L"c"}}},
        {"quote inside a word", "-Inner ab\"c d\"\n", L"-Inner", {{L"ab\"c", L"d\""}}},
        {"CR before LF", "-FileType CSC\r\n", L"-FileType", {{L"CSC"}}},
        {"CR elsewhere", "-Odd a\rb\r\n-Last x\r", L"-Odd", {{L"a\rb"}}},
        {"CR at the very end", "-Odd a\rb\r\n-Last x\r", L"-Last", {{L"x\r"}}},
        {"repeated key", "-Channel 1 a\n-Other x\n-Channel 2\n-Channel\n", L"-Channel", {{L"1", L"a"}, {L"2"}, {}}},
        {"keys compare case-sensitively", "-filetype Event\n-FileType CSC\n", L"-FileType", {{L"CSC"}}},
        {"text up to the first NUL", std::string("-Cut 2\0-After 3\n", 16), L"-Cut", {{L"2"}}},
        {"no text after the first NUL", std::string("-Cut 2\0-After 3\n", 16), L"-After", {}},
        {"bytes are ISO 8859-1", "-Unit \xB5V Kan\xE4l\n", L"-Unit", {{L"\u00B5V", L"Kan\u00E4l"}}},
        {"only lines that start with '-' hold values", "## -Key 1\n\n  \t \nKey -Key 2\n-Key 3\n", L"-Key", {{L"3"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const HeaderTable table = ParseHeaderText(c.text);
        const auto found = table.find(c.key);
        EXPECT_EQ(found == table.end() ? Rows() : found->second, c.rows);
    }
}

}  // namespace
