#include "reader/OrvFileIO.h"

#include <string>
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
constexpr int cscRecords = 4000;  // 16,384 + 4,000 × 1,044 = 4,192,384 bytes: four budgets

std::vector<unsigned char> HeaderBlock(const std::string& fileType)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(VareloSynth::AppendHeaderBlock(bytes, {"-FileType " + fileType}, "\n"));
    return bytes;
}

// Record i is stamped 1000 × (i + 1) and its first sample is i (mod 2^16).
std::vector<unsigned char> CscFile(int records)
{
    std::vector<unsigned char> bytes = HeaderBlock("CSC");
    for (int i = 0; i < records; ++i) {
        const int16_t first = static_cast<int16_t>(i);
        VareloSynth::AppendCscRecord(bytes, {1000u * static_cast<uint64_t>(i + 1), 0, 32000, 512, {&first, 1}});
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
        EXPECT_EQ(record->samples[0], static_cast<int16_t>(index));
    }

    TempDir dir;
    Velquor::OrvFileIO reader;
    void* data = nullptr;
    int count = 0;
};

TEST_F(RecordWindowTest, CscFilesSlideSharingTheBudgetWithEvents)
{
    ASSERT_EQ(reader.SetMaxNumBytesToUse(budgetBytes), 0);
    const int first = Open("CSC1.ocs", CscFile(cscRecords));
    const int second = Open("CSC2.ocs", CscFile(cscRecords));
    std::vector<unsigned char> eventBytes = HeaderBlock("Event");
    for (int i = 0; i < 5 * cscRecords; ++i) {  // event i stamped 10 × i + 5: 3,696,384 bytes
        VareloSynth::EventRecordFields event;
        event.timestampUs = 10u * static_cast<uint64_t>(i) + 5;
        VareloSynth::AppendEventRecord(eventBytes, event);
    }
    const int events = Open("Events.oev", eventBytes);
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

}  // namespace
