#include "reader/OrvFileIO.h"

#include <algorithm>
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

// A CSC file whose record i is stamped 1000 × (i + 1), claims validCounts[i] samples and holds
// i, i + 1, ... (mod 2^16) in up to 512 of them.
std::vector<unsigned char> CscFile(const std::vector<uint32_t>& validCounts)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    for (size_t i = 0; i < validCounts.size(); ++i) {
        std::vector<int16_t> samples(std::min<uint32_t>(validCounts[i], 512));
        for (size_t j = 0; j < samples.size(); ++j)
            samples[j] = static_cast<int16_t>(i + j);
        VareloSynth::AppendCscRecord(bytes, {1000 * (i + 1), 7, 32000, validCounts[i], samples});
    }
    return bytes;
}

// The reader holds a window of each file in memory and slides it: files several times larger
// than the memory budget.
constexpr unsigned int budgetBytes = 1024 * 1024;
constexpr int cscRecords = 4000;  // 16,384 + 4,000 × 1,044 = 4,192,384 bytes: four budgets
const std::vector<uint32_t> fullRecords(cscRecords, 512);

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
    std::vector<unsigned char> bytes = CscFile({512, 512, 276});
    bytes.resize(bytes.size() + 1043, 0xAB);  // one byte short of a fourth record
    const std::wstring path = Write("CSC1.ocs", bytes);
    const int handle = Open(path);
    ASSERT_EQ(reader.GetNumRecordsInFile(handle, count), 0);
    EXPECT_EQ(count, 3);
    ASSERT_EQ(reader.GetDataFromIndex(handle, 0, data, count), 0);
    ASSERT_EQ(count, 3);
    const auto* records = static_cast<const CSCRecord*>(data);
    EXPECT_EQ(records[0].channelNumber, 7u);
    EXPECT_EQ(records[0].sampleFrequency, 32000u);
    EXPECT_EQ(records[0].samples[511], 511);
    EXPECT_EQ(records[2].numValidSamples, 276u);
    EXPECT_EQ(records[2].samples[275], 277);
    EXPECT_EQ(records[2].samples[276], 0);
    ExpectCscRecord(handle, 2);
    EXPECT_EQ(count, 1);

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

TEST_F(OrvFileIOTest, RecordClaimingMoreThan512SamplesIsRefused)
{
    const std::wstring path = Write("CSC3.ocs", CscFile({512, 513, 512, 0xFFFFFFFFu}));
    const int handle = Open(path);
    ExpectCscRecord(handle, 0);
    EXPECT_EQ(count, 1);  // the batch stops before the corrupt record
    EXPECT_EQ(reader.GetDataFromIndex(handle, 1, data, count), OrvDataTypes::OrvCorruptRecord);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Corrupt record 1 in file " + path + L": it claims 513 valid samples, more than 512.");
    ExpectCscRecord(handle, 2);
    EXPECT_EQ(count, 1);
    EXPECT_NE(reader.GetDataFromIndex(handle, 3, data, count), 0);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Corrupt record 3 in file " + path + L": it claims 4294967295 valid samples, more than 512.");
    EXPECT_EQ(reader.GetDataFromIndex(-1, 0, data, count), OrvDataTypes::OrvBadHandle);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Invalid file handle -1: no acquisition file is open under it.");
}

TEST_F(OrvFileIOTest, FileCutShortAfterOpeningIsAReadFailureNamingIt)
{
    const std::wstring path = Write("CSC1.ocs", CscFile({512, 512, 512}));
    const int handle = Open(path);
    std::filesystem::resize_file(dir.path / "CSC1.ocs", 16384 + 1044);
    EXPECT_EQ(reader.GetDataFromIndex(handle, 2, data, count), OrvDataTypes::OrvReadFailed);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to read file " + path + L": it has become shorter since it was opened.");
}

TEST_F(OrvFileIOTest, HeaderTextThatFillsTheWholeBlockIsReadToItsEnd)
{
    // 16,384 bytes of text without a NUL, "-Last value" as the block's last eleven bytes.
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
    const int first = Open(Write("CSC1.ocs", CscFile(fullRecords)));
    const int second = Open(Write("CSC2.ocs", CscFile(fullRecords)));
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

TEST_F(OrvFileIOTest, LoweringTheBudgetReleasesWindowsUntilTheNewOneFits)
{
    const int first = Open(Write("CSC1.ocs", CscFile(std::vector<uint32_t>(1500, 512))));
    const int second = Open(Write("CSC2.ocs", CscFile(std::vector<uint32_t>(1500, 512))));
    ExpectCscRecord(first, 0);
    ExpectCscRecord(second, 0);
    EXPECT_EQ(reader.GetNumBytesInUse(), 2u * 65536u);  // under the default budget, the largest windows
    ASSERT_EQ(reader.SetMaxNumBytesToUse(65536), 0);
    EXPECT_EQ(reader.GetNumBytesInUse(), 65536u);  // the window asked for least recently went
    ExpectCscRecord(first, 1499);                  // its new window of 32 KiB needs the other's room
    EXPECT_LE(reader.GetNumBytesInUse(), 65536u);
}

}  // namespace
