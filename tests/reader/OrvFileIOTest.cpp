#include "reader/OrvFileIO.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "synth/SynthRecords.h"
#include "tests/support/TempDir.h"

namespace {

using Velquor::CSCRecord;

std::vector<unsigned char> HeaderBlock(const std::vector<std::string>& lines)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(VareloSynth::AppendHeaderBlock(bytes, lines, "\n"));
    return bytes;
}

// A CSC record whose samples are first, first + 1, ... for its valid count.
void AppendCsc(std::vector<unsigned char>& bytes, uint64_t timestamp, uint32_t validCount, int16_t first = 0)
{
    std::vector<int16_t> samples;
    for (uint32_t i = 0; i < validCount && i < 512; ++i)
        samples.push_back(static_cast<int16_t>(first + static_cast<int16_t>(i)));
    VareloSynth::AppendCscRecord(bytes, {timestamp, 7, 32000, validCount, samples});
}

// The reader holds a window of each file in memory and slides it: files several times larger
// than the memory budget. Record i is stamped 1000 × (i + 1) and its first sample is i (mod 2^16).
constexpr unsigned int budgetBytes = 1024 * 1024;
constexpr int cscRecords = 4000;  // 16,384 + 4,000 × 1,044 = 4,192,384 bytes: four budgets

std::vector<unsigned char> CscFile(int records)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    for (int i = 0; i < records; ++i) {
        const int16_t first = static_cast<int16_t>(i);
        VareloSynth::AppendCscRecord(bytes, {1000u * static_cast<uint64_t>(i + 1), 0, 32000, 512, {&first, 1}});
    }
    return bytes;
}

class OrvFileIOTest : public ::testing::Test {
protected:
    std::wstring Write(const std::string& name, const std::vector<unsigned char>& bytes)
    {
        WriteFileBytes(dir.path / name, bytes);
        return (dir.path / name).wstring();
    }

    int Open(const std::wstring& path)
    {
        int handle = -1;
        EXPECT_EQ(reader.OpenOrvInputFile(path.c_str(), handle), 0) << reader.GetLastErrorMessage();
        return handle;
    }

    int RecordCount(int handle)
    {
        int records = -1;
        EXPECT_EQ(reader.GetNumRecordsInFile(handle, records), 0) << reader.GetLastErrorMessage();
        return records;
    }

    // Reads record `index` of a file made by CscFile and checks it.
    void ExpectCscRecord(int handle, int index)
    {
        ASSERT_EQ(reader.GetDataFromIndex(handle, index, data, count), 0) << reader.GetLastErrorMessage();
        const auto* record = static_cast<const CSCRecord*>(data);
        EXPECT_EQ(uint64_t{record->timestamp}, 1000u * static_cast<uint64_t>(index + 1));
        EXPECT_EQ(record->samples[0], static_cast<int16_t>(index));
    }

    TempDir dir;
    Velquor::OrvFileIO reader;
    void* data = nullptr;
    int count = 0;
};

TEST_F(OrvFileIOTest, CscRecordsAreCountedAndHandedOutAsTheyLie)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    AppendCsc(bytes, 12000000, 512, 100);
    AppendCsc(bytes, 12016000, 512, -50);
    AppendCsc(bytes, 12032000, 276, 3);
    bytes.resize(bytes.size() + 1043, 0xAB);  // one byte short of a fourth record
    const std::wstring path = Write("CSC1.ocs", bytes);
    const int handle = Open(path);
    EXPECT_EQ(RecordCount(handle), 3);

    ASSERT_EQ(reader.GetDataFromIndex(handle, 0, data, count), 0);
    ASSERT_EQ(count, 3);
    const auto* records = static_cast<const CSCRecord*>(data);
    EXPECT_EQ(uint64_t{records[0].timestamp}, 12000000u);
    EXPECT_EQ(records[0].channelNumber, 7u);
    EXPECT_EQ(records[0].sampleFrequency, 32000u);
    EXPECT_EQ(records[0].samples[511], 611);
    EXPECT_EQ(records[1].samples[0], -50);
    EXPECT_EQ(records[2].numValidSamples, 276u);
    EXPECT_EQ(records[2].samples[275], 278);
    EXPECT_EQ(records[2].samples[276], 0);
    ASSERT_EQ(reader.GetDataFromIndex(handle, 2, data, count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(uint64_t{static_cast<const CSCRecord*>(data)->timestamp}, 12032000u);

    // Outside the file, also -1 after a read and after the window is dropped: the reader
    // remembers the record it handed out last, and -1 must never pass for "that one".
    for (const int index : {3, -1, 2147483647}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(reader.GetDataFromIndex(handle, index, data, count), OrvDataTypes::OrvBadIndex);
        EXPECT_EQ(reader.GetLastErrorMessage(), L"Unable to read record " + std::to_wstring(index) + L" of file " + path
                                                    + L": the file holds 3 records.");
        (void)reader.SetMaxNumBytesToUse(0);  // unmaps the window
    }
    EXPECT_EQ(reader.CloseOrvInputFile(handle), 0);
}

TEST_F(OrvFileIOTest, FileTypeLineOrElseTheExtensionDecidesTheRecordKind)
{
    // 2,088 bytes of records: 2 CSC records (1,044 bytes) or 11 event records (184 bytes).
    const struct {
        std::string name;
        std::vector<std::string> header;
        int records;
    } cases[] = {
        {"a.ocs", {"-FileType csc"}, 2},
        {"b.ocs", {"-FileType EVENT"}, 11},
        {"c.oev", {"-FileType CSC"}, 2},
        {"d.dat", {"-FileType Event", "-FileType CSC"}, 11},  // the first line counts
        {"Events.oev", {"-SessionUUID x"}, 11},
        {"Events2.OeV", {}, 11},
        {"CSC1.ocs", {}, 2},
        {"noextension", {"-filetype Event"}, 2},  // keys are case-sensitive
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> bytes = HeaderBlock(c.header);
        bytes.resize(bytes.size() + 2088, 0);
        EXPECT_EQ(RecordCount(Open(Write(c.name, bytes))), c.records);
    }
}

TEST_F(OrvFileIOTest, RecordClaimingMoreThan512SamplesIsRefused)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    AppendCsc(bytes, 1000, 512);
    AppendCsc(bytes, 2000, 513);
    AppendCsc(bytes, 3000, 512);
    AppendCsc(bytes, 4000, 0xFFFFFFFFu);
    const std::wstring path = Write("CSC3.ocs", bytes);
    const int handle = Open(path);

    ASSERT_EQ(reader.GetDataFromIndex(handle, 0, data, count), 0);
    EXPECT_EQ(count, 1);  // the batch stops before the corrupt record
    EXPECT_EQ(reader.GetDataFromIndex(handle, 1, data, count), OrvDataTypes::OrvCorruptRecord);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Corrupt record 1 in file " + path + L": it claims 513 valid samples, more than 512.");
    ASSERT_EQ(reader.GetDataFromIndex(handle, 2, data, count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_NE(reader.GetDataFromIndex(handle, 3, data, count), 0);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Corrupt record 3 in file " + path + L": it claims 4294967295 valid samples, more than 512.");
}

TEST_F(OrvFileIOTest, BadHandlesAreRefusedWithText)
{
    std::vector<std::vector<std::wstring>> values{{L"left over"}};
    EXPECT_NE(reader.GetHeaderMetaData(3, L"-FileType", values), 0);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Invalid file handle 3: no acquisition file is open under it.");
    EXPECT_EQ(reader.GetDataFromIndex(-1, 0, data, count), OrvDataTypes::OrvBadHandle);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Invalid file handle -1: no acquisition file is open under it.");

    const int handle = Open(Write("CSC1.ocs", HeaderBlock({"-FileType CSC"})));
    EXPECT_EQ(reader.GetDataFromIndex(handle, 0, data, count), OrvDataTypes::OrvBadIndex);  // no record at all
    EXPECT_EQ(reader.CloseOrvInputFile(handle), 0);
    EXPECT_EQ(reader.CloseOrvInputFile(handle), OrvDataTypes::OrvBadHandle);
    EXPECT_EQ(reader.GetNumRecordsInFile(handle, count), OrvDataTypes::OrvBadHandle);
}

TEST_F(OrvFileIOTest, FileCutShortAfterOpeningIsAReadFailureNamingIt)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    for (int i = 0; i < 3; ++i)
        AppendCsc(bytes, 1000u * static_cast<uint64_t>(i), 512);
    const std::wstring path = Write("CSC1.ocs", bytes);
    const int handle = Open(path);
    std::filesystem::resize_file(dir.path / "CSC1.ocs", 16384 + 1044);
    EXPECT_EQ(reader.GetDataFromIndex(handle, 2, data, count), OrvDataTypes::OrvReadFailed);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to read file " + path + L": it has become shorter since it was opened.");
}

TEST_F(OrvFileIOTest, HeaderTextThatFillsTheWholeBlockIsReadToItsEnd)
{
    // 16,384 bytes of text without a NUL: a comment line, then "-Last value" as the block's last
    // eleven bytes.
    const std::string last = "-Last value";
    std::string text(16384 - last.size() - 1, '#');
    text += '\n';
    text += last;
    std::vector<unsigned char> block;
    ASSERT_TRUE(VareloSynth::AppendHeaderBlock(block, {text}, ""));
    EXPECT_FALSE(VareloSynth::AppendHeaderBlock(block, {text + "\n"}, ""));  // a byte more does not fit
    ASSERT_EQ(block, std::vector<unsigned char>(text.begin(), text.end()));
    std::vector<std::vector<std::wstring>> values;
    ASSERT_EQ(reader.GetHeaderMetaData(Open(Write("CSC1.ocs", block)), L"-Last", values), 0);
    EXPECT_EQ(values, (std::vector<std::vector<std::wstring>>{{L"value"}}));
}

TEST_F(OrvFileIOTest, CscFilesSlideSharingTheBudgetWithEvents)
{
    ASSERT_EQ(reader.SetMaxNumBytesToUse(budgetBytes), 0);
    const int first = Open(Write("CSC1.ocs", CscFile(cscRecords)));
    const int second = Open(Write("CSC2.ocs", CscFile(cscRecords)));
    std::vector<unsigned char> eventBytes = HeaderBlock({"-FileType Event"});
    for (int i = 0; i < 5 * cscRecords; ++i) {  // event i stamped 10 × i + 5: 3,696,384 bytes
        VareloSynth::EventRecordFields event;
        event.timestampUs = 10u * static_cast<uint64_t>(i) + 5;
        VareloSynth::AppendEventRecord(eventBytes, event);
    }
    const int events = Open(Write("Events.oev", eventBytes));
    for (int index = 0; index < cscRecords; ++index) {
        ExpectCscRecord(first, index);
        ExpectCscRecord(second, index);
        ASSERT_EQ(reader.GetDataFromIndex(events, index * 5, data, count), 0);
        EXPECT_EQ(uint64_t{static_cast<const Velquor::EventRecord*>(data)->timestamp},
                  50u * static_cast<uint64_t>(index) + 5);
        ASSERT_LE(reader.GetNumBytesInUse(), budgetBytes) << "record " << index;
    }
    // and back to the start
    ExpectCscRecord(first, 0);
    ExpectCscRecord(second, cscRecords - 1);
}

TEST_F(OrvFileIOTest, LoweringTheBudgetReleasesWindows)
{
    const int first = Open(Write("CSC1.ocs", CscFile(1500)));
    const int second = Open(Write("CSC2.ocs", CscFile(1500)));
    EXPECT_EQ(reader.GetNumBytesInUse(), 0u);  // nothing is held before a record is asked for
    ExpectCscRecord(first, 0);
    ExpectCscRecord(second, 0);
    // Under the default budget each file's window is the largest one, 64 KiB from the first record
    // on (the header block is read apart).
    EXPECT_EQ(reader.GetNumBytesInUse(), 2u * 65536u);
    ASSERT_EQ(reader.SetMaxNumBytesToUse(65536), 0);
    EXPECT_EQ(reader.GetNumBytesInUse(), 65536u);  // the window asked for least recently went
    ExpectCscRecord(first, 1499);
    ExpectCscRecord(second, 1499);
    EXPECT_LE(reader.GetNumBytesInUse(), 65536u);
    EXPECT_EQ(reader.CloseOrvInputFile(second), 0);
    EXPECT_EQ(reader.CloseOrvInputFile(first), 0);
    EXPECT_EQ(reader.GetNumBytesInUse(), 0u);
}

}  // namespace
