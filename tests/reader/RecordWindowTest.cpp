#include "reader/OrvFileIO.h"

#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "synth/SynthRecords.h"
#include "tests/support/TempDir.h"

// The reader holds a window of each file in memory and slides it; these tests walk files several
// times larger than the memory budget.
namespace {

using Velquor::CSCRecord;
using Velquor::EventRecord;

constexpr unsigned int budgetBytes = 1024 * 1024;
constexpr int cscRecords = 4000;     // 16,384 + 4,000 × 1,044 = 4,192,384 bytes: four budgets
constexpr int eventRecords = 22000;  // 16,384 + 22,000 × 184 = 4,064,384 bytes

std::vector<unsigned char> HeaderBlock(const std::string& fileType)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(VareloSynth::AppendHeaderBlock(bytes, {"-FileType " + fileType}, "\n"));
    return bytes;
}

// Record i is stamped 1000 × (i + 1) and its first sample is i (mod 2^16); record
// `corruptIndex` claims 600 samples.
std::vector<unsigned char> CscFile(int records, int corruptIndex = -1)
{
    std::vector<unsigned char> bytes = HeaderBlock("CSC");
    bytes.reserve(bytes.size() + static_cast<size_t>(records) * 1044);
    for (int i = 0; i < records; ++i) {
        const int16_t first = static_cast<int16_t>(i);
        const uint32_t valid = i == corruptIndex ? 600 : 512;
        VareloSynth::AppendCscRecord(bytes, {1000u * static_cast<uint64_t>(i + 1), 0, 32000, valid, {&first, 1}});
    }
    return bytes;
}

// Event i is stamped 10 × i + 5.
std::vector<unsigned char> EventFile(int records)
{
    std::vector<unsigned char> bytes = HeaderBlock("Event");
    for (int i = 0; i < records; ++i) {
        VareloSynth::EventRecordFields event;
        event.timestampUs = 10u * static_cast<uint64_t>(i) + 5;
        event.text = "Event " + std::to_string(i);
        VareloSynth::AppendEventRecord(bytes, event);
    }
    return bytes;
}

class RecordWindowTest : public ::testing::Test {
protected:
    int Open(const std::string& name, const std::vector<unsigned char>& bytes)
    {
        WriteFileBytes(dir.path / name, bytes);
        int handle = -1;
        EXPECT_EQ(reader.OpenOrvInputFile((dir.path / name).wstring().c_str(), handle), 0)
            << reader.GetLastErrorMessage();
        return handle;
    }

    // Reads record `index` of a file made by CscFile and checks it.
    void ExpectCscRecord(int handle, int index)
    {
        ASSERT_EQ(reader.GetDataFromIndex(handle, index, data, count), 0) << reader.GetLastErrorMessage();
        ASSERT_GE(count, 1);
        const auto* record = static_cast<const CSCRecord*>(data);
        EXPECT_EQ(uint64_t{record->timestamp}, 1000u * static_cast<uint64_t>(index + 1));
        EXPECT_EQ(record->numValidSamples, 512u);
        EXPECT_EQ(record->samples[0], static_cast<int16_t>(index));
    }

    TempDir dir;
    Velquor::OrvFileIO reader;
    void* data = nullptr;
    int count = 0;
};

TEST_F(RecordWindowTest, EventBatchesSlideOverAFileLargerThanTheBudget)
{
    ASSERT_EQ(reader.SetMaxNumBytesToUse(budgetBytes), 0);
    const int handle = Open("Events.oev", EventFile(eventRecords));
    int index = 0;
    int batches = 0;
    while (index < eventRecords) {
        ASSERT_EQ(reader.GetDataFromIndex(handle, index, data, count), 0) << reader.GetLastErrorMessage();
        ASSERT_GE(count, 1);
        ASSERT_LE(count, 5698);  // 1,048,576 / 184 records fit one budget
        ASSERT_LE(index + count, eventRecords);
        const auto* events = static_cast<const EventRecord*>(data);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(uint64_t{events[i].timestamp}, 10u * static_cast<uint64_t>(index + i) + 5)
                << "record " << index + i;
        EXPECT_STREQ(events[count - 1].eventText, ("Event " + std::to_string(index + count - 1)).c_str());
        EXPECT_LE(reader.GetNumBytesInUse(), budgetBytes);
        index += count;
        ++batches;
    }
    EXPECT_GE(batches, 4);
}

TEST_F(RecordWindowTest, CscFilesSlideSharingTheBudgetWithEvents)
{
    ASSERT_EQ(reader.SetMaxNumBytesToUse(budgetBytes), 0);
    const int first = Open("CSC1.ocs", CscFile(cscRecords));
    const int second = Open("CSC2.ocs", CscFile(cscRecords));
    const int events = Open("Events.oev", EventFile(eventRecords));
    for (int index = 0; index < cscRecords; ++index) {
        ExpectCscRecord(first, index);
        ExpectCscRecord(second, index);
        ASSERT_EQ(reader.GetDataFromIndex(events, index * 5, data, count), 0);
        EXPECT_EQ(uint64_t{static_cast<const EventRecord*>(data)->timestamp}, 50u * static_cast<uint64_t>(index) + 5);
        ASSERT_LE(reader.GetNumBytesInUse(), budgetBytes) << "record " << index;
    }
    // and back to the start
    ExpectCscRecord(first, 0);
    ExpectCscRecord(second, cscRecords - 1);
}

TEST_F(RecordWindowTest, LoweringTheBudgetReleasesWindows)
{
    const int first = Open("CSC1.ocs", CscFile(1500));
    const int second = Open("CSC2.ocs", CscFile(1500));
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

TEST_F(RecordWindowTest, BudgetBelowOneRecordStillReadsEveryRecord)
{
    ASSERT_EQ(reader.SetMaxNumBytesToUse(100), 0);
    const int handle = Open("CSC1.ocs", CscFile(20));
    const unsigned int page = static_cast<unsigned int>(sysconf(_SC_PAGESIZE));
    for (int index = 0; index < 20; ++index) {
        ExpectCscRecord(handle, index);
        EXPECT_LE(reader.GetNumBytesInUse(), 2 * page);  // a record starting anywhere in a page ends in the next
    }
}

TEST_F(RecordWindowTest, NoBatchEverHoldsACorruptRecord)
{
    const int handle = Open("CSC1.ocs", CscFile(700, 300));
    for (int index = 0; index < 300; ++index) {
        ExpectCscRecord(handle, index);
        ASSERT_LE(index + count, 300) << "record " << index;
    }
    EXPECT_EQ(reader.GetDataFromIndex(handle, 300, data, count), OrvDataTypes::OrvCorruptRecord);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Corrupt record 300 in file " + (dir.path / "CSC1.ocs").wstring()
                                                + L": it claims 600 valid samples, more than 512.");
    for (int index = 301; index < 700; ++index)
        ExpectCscRecord(handle, index);
    for (int index = 299; index >= 0; index -= 37)
        ExpectCscRecord(handle, index);
}

}  // namespace
