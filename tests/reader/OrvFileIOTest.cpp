#include "reader/OrvFileIO.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logging/TextConversion.h"
#include "synth/SynthRecords.h"
#include "tests/support/TempDir.h"

namespace {

using Velquor::CSCRecord;
using Velquor::EventRecord;

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

void AppendEvent(std::vector<unsigned char>& bytes, uint64_t timestamp, const std::string& text)
{
    VareloSynth::EventRecordFields event;
    event.timestampUs = timestamp;
    event.text = text;
    VareloSynth::AppendEventRecord(bytes, event);
}

size_t OpenDescriptorCount()
{
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
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
        int count = -1;
        EXPECT_EQ(reader.GetNumRecordsInFile(handle, count), 0) << reader.GetLastErrorMessage();
        return count;
    }

    // A CSC file of `count` full records stamped 1000, 2000, ...
    std::wstring WriteCscFile(const std::string& name, int count)
    {
        std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
        for (int i = 0; i < count; ++i)
            AppendCsc(bytes, 1000u * static_cast<uint64_t>(i + 1), 512, static_cast<int16_t>(i));
        return Write(name, bytes);
    }

    TempDir dir;
    Velquor::OrvFileIO reader;
    void* data = nullptr;
    int count = 0;
};

TEST_F(OrvFileIOTest, FreshReaderHasNoErrorText)
{
    EXPECT_EQ(reader.GetLastErrorMessage(), L"");
    EXPECT_EQ(reader.GetNumBytesInUse(), 0u);
}

TEST_F(OrvFileIOTest, CscRecordsAreCountedAndHandedOutAsTheyLie)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    AppendCsc(bytes, 12000000, 512, 100);
    AppendCsc(bytes, 12016000, 512, -50);
    AppendCsc(bytes, 12032000, 276, 3);
    const int handle = Open(Write("CSC1.ocs", bytes));
    EXPECT_EQ(RecordCount(handle), 3);

    ASSERT_EQ(reader.GetDataFromIndex(handle, 0, data, count), 0);
    ASSERT_EQ(count, 3);
    const auto* records = static_cast<const CSCRecord*>(data);
    EXPECT_EQ(uint64_t{records[0].timestamp}, 12000000u);
    EXPECT_EQ(records[0].channelNumber, 7u);
    EXPECT_EQ(records[0].sampleFrequency, 32000u);
    EXPECT_EQ(records[0].samples[0], 100);
    EXPECT_EQ(records[0].samples[511], 611);
    EXPECT_EQ(uint64_t{records[1].timestamp}, 12016000u);
    EXPECT_EQ(records[1].samples[0], -50);
    EXPECT_EQ(records[2].numValidSamples, 276u);
    EXPECT_EQ(records[2].samples[275], 278);
    EXPECT_EQ(records[2].samples[276], 0);

    ASSERT_EQ(reader.GetDataFromIndex(handle, 2, data, count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(uint64_t{static_cast<const CSCRecord*>(data)->timestamp}, 12032000u);
    EXPECT_EQ(reader.CloseOrvInputFile(handle), 0);
}

TEST_F(OrvFileIOTest, RepeatedRequestForOneRecordGivesTheSameBytesWithoutCopying)
{
    const int handle = Open(WriteCscFile("CSC1.ocs", 4));
    ASSERT_EQ(reader.GetDataFromIndex(handle, 1, data, count), 0);
    void* first = data;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(reader.GetDataFromIndex(handle, 1, data, count), 0);
        EXPECT_EQ(data, first);
    }
    ASSERT_EQ(reader.GetDataFromIndex(handle, 2, data, count), 0);
    EXPECT_EQ(static_cast<const unsigned char*>(data) - static_cast<const unsigned char*>(first), 1044);
}

TEST_F(OrvFileIOTest, IncompleteLastRecordIsNotCounted)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    for (int i = 0; i < 3; ++i)
        AppendCsc(bytes, 1000u * static_cast<uint64_t>(i), 512);
    bytes.resize(bytes.size() + 1043, 0xAB);  // one byte short of a fourth record
    const int handle = Open(Write("CSC1.ocs", bytes));
    EXPECT_EQ(RecordCount(handle), 3);
    EXPECT_NE(reader.GetDataFromIndex(handle, 3, data, count), 0);
}

TEST_F(OrvFileIOTest, HeaderOnlyFileHasNoRecord)
{
    const std::wstring path = Write("CSC1.ocs", HeaderBlock({"-FileType CSC"}));
    const int handle = Open(path);
    EXPECT_EQ(RecordCount(handle), 0);
    EXPECT_EQ(reader.GetDataFromIndex(handle, 0, data, count), OrvDataTypes::OrvBadIndex);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to read record 0 of file " + path + L": the file holds 0 records.");
}

TEST_F(OrvFileIOTest, IndexOutsideTheFileFailsWithItsText)
{
    const std::wstring path = WriteCscFile("CSC1.ocs", 3);
    const int handle = Open(path);
    EXPECT_EQ(reader.GetDataFromIndex(handle, 3, data, count), OrvDataTypes::OrvBadIndex);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to read record 3 of file " + path + L": the file holds 3 records.");
    EXPECT_EQ(reader.GetDataFromIndex(handle, -1, data, count), OrvDataTypes::OrvBadIndex);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to read record -1 of file " + path + L": the file holds 3 records.");
    EXPECT_EQ(reader.GetDataFromIndex(handle, 2147483647, data, count), OrvDataTypes::OrvBadIndex);
}

TEST_F(OrvFileIOTest, IndexMinusOneIsRefusedBeforeAnyReadAndAfterTheWindowIsDropped)
{
    // The reader remembers the record it handed out last; -1 must never pass for "that one".
    const std::wstring path = WriteCscFile("CSC1.ocs", 2);
    const std::wstring text = L"Unable to read record -1 of file " + path + L": the file holds 2 records.";
    const int handle = Open(path);
    EXPECT_EQ(reader.GetDataFromIndex(handle, -1, data, count), OrvDataTypes::OrvBadIndex);
    EXPECT_EQ(reader.GetLastErrorMessage(), text);
    ASSERT_EQ(reader.GetDataFromIndex(handle, 1, data, count), 0);
    (void)reader.SetMaxNumBytesToUse(0);  // unmaps the window
    EXPECT_EQ(reader.GetDataFromIndex(handle, -1, data, count), OrvDataTypes::OrvBadIndex);
    EXPECT_EQ(reader.GetLastErrorMessage(), text);
    ASSERT_EQ(reader.GetDataFromIndex(handle, 1, data, count), 0);
    EXPECT_EQ(count, 1);
}

TEST_F(OrvFileIOTest, FileShorterThanTheHeaderBlockCannotBeOpened)
{
    const std::wstring path = Write("CSC1.ocs", std::vector<unsigned char>(16383, 0));
    int handle = -1;
    EXPECT_EQ(reader.OpenOrvInputFile(path.c_str(), handle), OrvDataTypes::OrvOpenFailed);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to open file " + path
                  + L": it holds 16383 bytes, fewer than the 16384-byte header block of an "
                    L"acquisition file.");
    const std::wstring empty = Write("Empty.ocs", {});
    EXPECT_NE(reader.OpenOrvInputFile(empty.c_str(), handle), 0);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Unable to open file " + empty
                                                + L": it holds 0 bytes, fewer than the 16384-byte header block of an "
                                                  L"acquisition file.");
}

TEST_F(OrvFileIOTest, MissingFileGivesPathAndSystemReason)
{
    const std::wstring path = (dir.path / "CSC3.ocs").wstring();
    int handle = -1;
    EXPECT_EQ(reader.OpenOrvInputFile(path.c_str(), handle), OrvDataTypes::OrvOpenFailed);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Unable to open file " + path + L": No such file or directory");
}

TEST_F(OrvFileIOTest, DirectoryOrNullPathCannotBeOpened)
{
    const std::wstring path = dir.path.wstring();
    int handle = -1;
    EXPECT_NE(reader.OpenOrvInputFile(path.c_str(), handle), 0);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Unable to open file " + path + L": Is a directory");
    EXPECT_NE(reader.OpenOrvInputFile(nullptr, handle), 0);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Unable to open file: no path was given.");
}

TEST_F(OrvFileIOTest, PathWithCharactersBeyondLatin1Opens)
{
    const std::string utf8Name = "Kanal-\xE6\x97\xA5\xE6\x9C\xAC.ocs";  // two CJK characters
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC"});
    AppendCsc(bytes, 5, 1);
    WriteFileBytes(dir.path / utf8Name, bytes);
    const std::wstring path = OrvText::Utf8ToWide(dir.path.string() + "/" + utf8Name);
    ASSERT_NE(path.find(L'\u65E5'), std::wstring::npos);
    EXPECT_EQ(RecordCount(Open(path)), 1);
}

TEST_F(OrvFileIOTest, GarbageHeaderStillOpensByExtension)
{
    // Binary noise without a value line: no -FileType, so ".ocs" means CSC records.
    std::vector<unsigned char> bytes(16384);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>((i * 7919 + 13) % 251 + 1);
    AppendCsc(bytes, 77, 512);
    const int handle = Open(Write("CSC1.ocs", bytes));
    EXPECT_EQ(RecordCount(handle), 1);
    std::vector<std::vector<std::wstring>> values;
    ASSERT_EQ(reader.GetHeaderMetaData(handle, L"-FileType", values), 0);
    EXPECT_TRUE(values.empty());
}

// 2,088 bytes of records: 2 CSC records (1,044 bytes) or 11 event records (184 bytes).
class FileTypeTest : public OrvFileIOTest {
protected:
    int CountAs(const std::string& name, const std::vector<std::string>& headerLines)
    {
        std::vector<unsigned char> bytes = HeaderBlock(headerLines);
        bytes.resize(bytes.size() + 2088, 0);
        return RecordCount(Open(Write(name, bytes)));
    }
};

TEST_F(FileTypeTest, FileTypeLineDecidesInAnyLetterCase)
{
    EXPECT_EQ(CountAs("a.ocs", {"-FileType CSC"}), 2);
    EXPECT_EQ(CountAs("b.ocs", {"-FileType csc"}), 2);
    EXPECT_EQ(CountAs("c.ocs", {"-FileType Event"}), 11);
    EXPECT_EQ(CountAs("d.ocs", {"-FileType EVENT"}), 11);
    EXPECT_EQ(CountAs("e.oev", {"-FileType CSC"}), 2);
    EXPECT_EQ(CountAs("f.dat", {"-FileType Event", "-FileType CSC"}), 11);  // the first line counts
}

TEST_F(FileTypeTest, ExtensionDecidesWithoutFileTypeLine)
{
    EXPECT_EQ(CountAs("Events.oev", {"-SessionUUID x"}), 11);
    EXPECT_EQ(CountAs("Events2.OeV", {}), 11);
    EXPECT_EQ(CountAs("CSC1.ocs", {}), 2);
    EXPECT_EQ(CountAs("noextension", {"-filetype Event"}), 2);  // keys are case-sensitive
}

TEST_F(FileTypeTest, UnknownFileTypeNamesTypeAndPath)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType Video"});
    const std::wstring path = Write("CSC1.ocs", bytes);
    int handle = -1;
    EXPECT_EQ(reader.OpenOrvInputFile(path.c_str(), handle), OrvDataTypes::OrvOpenFailed);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to open file " + path + L": unknown file type \"Video\" in its -FileType header line.");

    const std::wstring noValue = Write("CSC2.ocs", HeaderBlock({"-FileType"}));
    EXPECT_NE(reader.OpenOrvInputFile(noValue.c_str(), handle), 0);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to open file " + noValue + L": unknown file type \"\" in its -FileType header line.");
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
    EXPECT_EQ(uint64_t{static_cast<const CSCRecord*>(data)->timestamp}, 3000u);
    EXPECT_NE(reader.GetDataFromIndex(handle, 3, data, count), 0);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Corrupt record 3 in file " + path + L": it claims 4294967295 valid samples, more than 512.");
}

TEST_F(OrvFileIOTest, EventRecordsComeInBatchesWithUnalignedTimestamps)
{
    std::vector<unsigned char> bytes = HeaderBlock({"-FileType Event"});
    AppendEvent(bytes, 12000000, "Starting Recording");
    AppendEvent(bytes, 0x0102030405060708ull, "TTL");
    AppendEvent(bytes, 12500000, std::string(128, 'x'));  // fills the text field: no NUL
    const int handle = Open(Write("Events.oev", bytes));
    EXPECT_EQ(RecordCount(handle), 3);

    ASSERT_EQ(reader.GetDataFromIndex(handle, 0, data, count), 0);
    ASSERT_EQ(count, 3);
    const auto* events = static_cast<const EventRecord*>(data);
    EXPECT_EQ(uint64_t{events[0].timestamp}, 12000000u);
    EXPECT_STREQ(events[0].eventText, "Starting Recording");
    EXPECT_EQ(uint64_t{events[1].timestamp}, 0x0102030405060708ull);
    EXPECT_EQ(strnlen(events[2].eventText, 128), 128u);
    EXPECT_EQ(std::string(events[2].eventText, 128), std::string(128, 'x'));

    ASSERT_EQ(reader.GetDataFromIndex(handle, 1, data, count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(uint64_t{static_cast<const EventRecord*>(data)->timestamp}, 0x0102030405060708ull);
}

TEST_F(OrvFileIOTest, BadHandlesAreRefusedWithText)
{
    int records = 0;
    EXPECT_EQ(reader.GetNumRecordsInFile(0, records), OrvDataTypes::OrvBadHandle);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Invalid file handle 0: no acquisition file is open under it.");
    EXPECT_EQ(reader.GetDataFromIndex(-1, 0, data, count), OrvDataTypes::OrvBadHandle);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Invalid file handle -1: no acquisition file is open under it.");
    EXPECT_EQ(reader.CloseOrvInputFile(12345), OrvDataTypes::OrvBadHandle);
    EXPECT_EQ(reader.GetLastErrorMessage(), L"Invalid file handle 12345: no acquisition file is open under it.");

    const int handle = Open(WriteCscFile("CSC1.ocs", 1));
    EXPECT_EQ(reader.CloseOrvInputFile(handle), 0);
    EXPECT_EQ(reader.CloseOrvInputFile(handle), OrvDataTypes::OrvBadHandle);
    EXPECT_EQ(reader.GetDataFromIndex(handle, 0, data, count), OrvDataTypes::OrvBadHandle);
}

TEST_F(OrvFileIOTest, ManyFilesStayOpenTogether)
{
    constexpr int cscCount = 256;
    std::vector<int> handles;
    for (int i = 0; i < cscCount; ++i) {
        std::vector<unsigned char> bytes = HeaderBlock({"-FileType CSC", "-AcqEntName CSC" + std::to_string(i + 1)});
        AppendCsc(bytes, 1000u + static_cast<uint64_t>(i), 512);
        handles.push_back(Open(Write("CSC" + std::to_string(i + 1) + ".ocs", bytes)));
    }
    std::vector<unsigned char> events = HeaderBlock({"-FileType Event"});
    AppendEvent(events, 999, "Starting Recording");
    const int eventHandle = Open(Write("Events.oev", events));

    for (int i = 0; i < cscCount; ++i) {
        ASSERT_EQ(reader.GetDataFromIndex(handles[i], 0, data, count), 0) << reader.GetLastErrorMessage();
        EXPECT_EQ(uint64_t{static_cast<const CSCRecord*>(data)->timestamp}, 1000u + static_cast<uint64_t>(i));
        std::vector<std::vector<std::wstring>> values;
        ASSERT_EQ(reader.GetHeaderMetaData(handles[i], L"-AcqEntName", values), 0);
        EXPECT_EQ(values, (std::vector<std::vector<std::wstring>>{{L"CSC" + std::to_wstring(i + 1)}}));
    }
    ASSERT_EQ(reader.GetDataFromIndex(eventHandle, 0, data, count), 0);
    EXPECT_STREQ(static_cast<const EventRecord*>(data)->eventText, "Starting Recording");
    EXPECT_EQ(reader.CloseOrvInputFile(eventHandle), 0);
    for (const int handle : handles)
        EXPECT_EQ(reader.CloseOrvInputFile(handle), 0);
    EXPECT_EQ(reader.GetNumBytesInUse(), 0u);
}

TEST_F(OrvFileIOTest, DestructionReleasesEveryOpenFile)
{
    const std::wstring path = WriteCscFile("CSC1.ocs", 2);
    const size_t before = OpenDescriptorCount();
    {
        Velquor::OrvFileIO scoped;
        for (int i = 0; i < 5; ++i) {
            int handle = -1;
            ASSERT_EQ(scoped.OpenOrvInputFile(path.c_str(), handle), 0);
            ASSERT_EQ(scoped.GetDataFromIndex(handle, 1, data, count), 0);
        }
        EXPECT_EQ(OpenDescriptorCount(), before + 5);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(OrvFileIOTest, FileCutShortAfterOpeningIsAReadFailureNamingIt)
{
    const std::wstring path = WriteCscFile("CSC1.ocs", 3);
    const int handle = Open(path);
    std::filesystem::resize_file(dir.path / "CSC1.ocs", 16384 + 1044);
    EXPECT_EQ(reader.GetDataFromIndex(handle, 2, data, count), OrvDataTypes::OrvReadFailed);
    EXPECT_EQ(reader.GetLastErrorMessage(),
              L"Unable to read file " + path + L": it has become shorter since it was opened.");
}

TEST_F(OrvFileIOTest, ClosedHandleSlotServesTheNextFile)
{
    const int first = Open(WriteCscFile("CSC1.ocs", 1));
    const int second = Open(WriteCscFile("CSC2.ocs", 2));
    EXPECT_NE(first, second);
    ASSERT_EQ(reader.CloseOrvInputFile(first), 0);
    const int third = Open(WriteCscFile("CSC3.ocs", 3));
    EXPECT_EQ(RecordCount(third), 3);
    EXPECT_EQ(RecordCount(second), 2);
}

}  // namespace
