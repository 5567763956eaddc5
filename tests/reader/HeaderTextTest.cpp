#include "reader/HeaderText.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader/OrvFileIO.h"
#include "tests/support/TempDir.h"
#include "tools/SynthRecords.h"

namespace {

using Velquor::HeaderRow;
using Velquor::HeaderTable;
using Velquor::ParseHeaderText;
using Rows = std::vector<HeaderRow>;

Rows RowsOf(const HeaderTable& table, const std::wstring& key)
{
    const auto found = table.find(key);
    return found == table.end() ? Rows() : found->second;
}

TEST(HeaderText, ValueLineGivesKeyWithItsFields)
{
    const HeaderTable table = ParseHeaderText("-SamplingFrequency 32000\n-TimeCreated 2017/07/03 10:22:33\n");
    EXPECT_EQ(RowsOf(table, L"-SamplingFrequency"), Rows({{L"32000"}}));
    EXPECT_EQ(RowsOf(table, L"-TimeCreated"), Rows({{L"2017/07/03", L"10:22:33"}}));
    EXPECT_EQ(table.size(), 2u);
}

TEST(HeaderText, RunsOfBlanksAndTabsSeparateFields)
{
    const HeaderTable table = ParseHeaderText("  \t-InputRange\t1000  \t 2000 \t\n");
    EXPECT_EQ(RowsOf(table, L"-InputRange"), Rows({{L"1000", L"2000"}}));
}

TEST(HeaderText, QuotedWordKeepsBlanksAndLosesQuotes)
{
    const HeaderTable table = ParseHeaderText(
        "-ReferenceChannel \"Source 01 Reference 1\" next\n"
        "-Empty \"\"\n"
        "-Unclosed \"runs to  the end\n"
        "-Adjacent \"a b\"c\n"
        "-Inner ab\"c d\"\n");
    EXPECT_EQ(RowsOf(table, L"-ReferenceChannel"), Rows({{L"Source 01 Reference 1", L"next"}}));
    EXPECT_EQ(RowsOf(table, L"-Empty"), Rows({{L""}}));
    EXPECT_EQ(RowsOf(table, L"-Unclosed"), Rows({{L"runs to  the end"}}));
    EXPECT_EQ(RowsOf(table, L"-Adjacent"), Rows({{L"a b", L"c"}}));
    // A quote inside a word is an ordinary character.
    EXPECT_EQ(RowsOf(table, L"-Inner"), Rows({{L"ab\"c", L"d\""}}));
}

TEST(HeaderText, CarriageReturnIsDroppedOnlyBeforeLineFeed)
{
    const HeaderTable table = ParseHeaderText("-FileType CSC\r\n-Odd a\rb\r\n-Last x\r");
    EXPECT_EQ(RowsOf(table, L"-FileType"), Rows({{L"CSC"}}));
    EXPECT_EQ(RowsOf(table, L"-Odd"), Rows({{L"a\rb"}}));
    EXPECT_EQ(RowsOf(table, L"-Last"), Rows({{L"x\r"}}));
}

TEST(HeaderText, RepeatedKeyGivesOneRowPerLineInOrder)
{
    const HeaderTable table = ParseHeaderText("-Channel 1 a\n-Other x\n-Channel 2\n-Channel\n");
    EXPECT_EQ(RowsOf(table, L"-Channel"), Rows({{L"1", L"a"}, {L"2"}, {}}));
}

TEST(HeaderText, KeysCompareCaseSensitively)
{
    const HeaderTable table = ParseHeaderText("-filetype Event\n-FileType CSC\n");
    EXPECT_EQ(RowsOf(table, L"-FileType"), Rows({{L"CSC"}}));
    EXPECT_EQ(RowsOf(table, L"-filetype"), Rows({{L"Event"}}));
    EXPECT_TRUE(RowsOf(table, L"-FILETYPE").empty());
}

TEST(HeaderText, LinesThatAreNotValueLinesAreIgnored)
{
    const HeaderTable table = ParseHeaderText(
        "######## Acquisition File Header\n"
        "## -NotAKey 1\n"
        "\n"
        "   \t \n"
        "Key -NotAKey 2\n"
        "-Real 3\n");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(RowsOf(table, L"-Real"), Rows({{L"3"}}));
}

TEST(HeaderText, TextEndsAtTheFirstNul)
{
    const std::string block("-Before 1\n-Cut 2\0-After 3\n", 26);
    const HeaderTable table = ParseHeaderText(block);
    EXPECT_EQ(RowsOf(table, L"-Cut"), Rows({{L"2"}}));
    EXPECT_TRUE(RowsOf(table, L"-After").empty());
}

TEST(HeaderText, BytesAreLatin1Characters)
{
    const HeaderTable table = ParseHeaderText("-Unit \xB5V\n-Name Kan\xE4l\n");
    EXPECT_EQ(RowsOf(table, L"-Unit"), Rows({{L"\u00B5V"}}));
    EXPECT_EQ(RowsOf(table, L"-Name"), Rows({{L"Kan\u00E4l"}}));
}

// The same rules seen through the reader, whose tables travel in separately allocated arrays.
class HeaderThroughReader : public ::testing::Test {
protected:
    int OpenWithHeaderBlock(const std::vector<unsigned char>& block)
    {
        const std::filesystem::path file = dir.path / "CSC1.ocs";
        WriteFileBytes(file, block);
        int handle = -1;
        EXPECT_EQ(reader.OpenOrvInputFile(file.wstring().c_str(), handle), 0) << reader.GetLastErrorMessage();
        return handle;
    }

    int OpenWithHeaderLines(const std::vector<std::string>& lines)
    {
        std::vector<unsigned char> block;
        EXPECT_TRUE(VareloSynth::AppendHeaderBlock(block, lines, "\r\n"));
        return OpenWithHeaderBlock(block);
    }

    TempDir dir;
    Velquor::OrvFileIO reader;
    std::vector<std::vector<std::wstring>> values;
};

TEST_F(HeaderThroughReader, RowsAndFieldsArriveInOrder)
{
    const int handle = OpenWithHeaderLines({"-FileType CSC", "-Ref \"Source 01\" 2", "-Ref", "-Ref x\ty"});
    ASSERT_EQ(reader.GetHeaderMetaData(handle, L"-Ref", values), 0);
    EXPECT_EQ(values, Rows({{L"Source 01", L"2"}, {}, {L"x", L"y"}}));
}

TEST_F(HeaderThroughReader, MissingKeyGivesEmptyTable)
{
    const int handle = OpenWithHeaderLines({"-FileType CSC"});
    values = {{L"left over"}};
    ASSERT_EQ(reader.GetHeaderMetaData(handle, L"-InputRange", values), 0);
    EXPECT_TRUE(values.empty());
    ASSERT_EQ(reader.GetHeaderMetaData(handle, L"-filetype", values), 0);
    EXPECT_TRUE(values.empty());
}

TEST_F(HeaderThroughReader, TextThatFillsTheWholeBlockIsReadToItsEnd)
{
    // 16,384 bytes of text without a NUL: a comment line, then "-Last value" as the block's last
    // eleven bytes.
    const std::string last = "-Last value";
    std::string text(16384 - last.size() - 1, '#');
    text += '\n';
    text += last;
    ASSERT_EQ(text.size(), 16384u);
    const int handle = OpenWithHeaderBlock(std::vector<unsigned char>(text.begin(), text.end()));
    ASSERT_EQ(reader.GetHeaderMetaData(handle, L"-Last", values), 0);
    EXPECT_EQ(values, Rows({{L"value"}}));
}

TEST_F(HeaderThroughReader, BadHandleIsRefused)
{
    values = {{L"left over"}};
    EXPECT_NE(reader.GetHeaderMetaData(3, L"-FileType", values), 0);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Invalid file handle 3: no acquisition file is open under it.");
}

}  // namespace
