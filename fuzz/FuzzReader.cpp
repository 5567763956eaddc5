// Fuzz target: the acquisition file reader on arbitrary files. One file's bytes are written under
// two names (one that the extension makes a CSC file, one that makes an event file), opened
// through one reader whose memory budget can be tiny, so that the windows slide; then the
// header values, the record counts and records at every index and at fuzzed indices, in and out
// of range, are asked for, and each answer is checked against the bytes written.
//
// Input: a flags byte, an access flags byte, the file (16-bit length, then its packed or raw
// bytes), then the access sequence: pairs of (file selector, index + 2).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "logging/AsciiCase.h"
#include "reader/OrvFileIO.h"
#include "reader/OrvFileStore.h"

namespace {

using FuzzSupport::Finding;

constexpr size_t cscRecordBytes = sizeof(Velquor::CSCRecord);
constexpr size_t eventRecordBytes = sizeof(Velquor::EventRecord);
constexpr uint32_t maxValidSamples = 512;
constexpr int maxFuzzedAccesses = 64;  // each may map a window: keep a run short

const char* const cscNames[] = {"a.ocs", "a.OCS", "a", "a.dat"};  // no event extension
const char* const eventNames[] = {"b.oev", "b.OEV"};

constexpr uint64_t defaultBudgetBytes = Velquor::OrvFileStore::defaultBudgetBytes;
const uint64_t pageBytes = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));

// The budgets the reader may be given; 0 stands for none (the reader's default).
constexpr unsigned int budgets[] = {0, 1, 4096, 8192, 3 * 1044, 65536, 2097152000u, 0};

const std::wstring headerKeys[] = {
    L"-FileType",   L"-SessionUUID", L"-SamplingFrequency", L"-InputRange", L"-ADMaxValue",
    L"-AcqEntName", L"-TimeCreated", L"-ReferenceChannel",  L"-",           L"",
    L"FileType",    L"-filetype",
};

struct OpenFile {
    std::wstring path;
    bool eventExtension = false;
    int handle = -1;
    size_t recordBytes = 0;  // decided from the file's -FileType line or its extension
    int recordCount = 0;
};

class ReaderRun {
public:
    ReaderRun(Velquor::OrvFileIO& reader, const std::vector<uint8_t>& bytes) : reader(reader), bytes(bytes) {}

    bool Open(OpenFile& file)
    {
        if (reader.OpenOrvInputFile(file.path.c_str(), file.handle) != OrvDataTypes::OrvSuccess) {
            ExpectErrorNaming(file.path, "a failed open");
            if (bytes.size() >= FuzzSupport::headerBlockBytes && !HasBadFileType())
                Finding("a file with a whole header block and no bad -FileType line was refused");
            file.handle = -1;
            return false;
        }
        if (bytes.size() < FuzzSupport::headerBlockBytes)
            Finding("a file shorter than the header block was opened");
        file.recordBytes = ExpectedRecordBytes(file);
        if (reader.GetNumRecordsInFile(file.handle, file.recordCount) != OrvDataTypes::OrvSuccess)
            Finding("GetNumRecordsInFile failed on an open file");
        const size_t expected = (bytes.size() - FuzzSupport::headerBlockBytes) / file.recordBytes;
        if (static_cast<size_t>(file.recordCount) != expected)
            Finding("record count differs from (file size - header) / record size");
        return true;
    }

    void QueryHeader(const OpenFile& file)
    {
        for (const std::wstring& key : headerKeys) {
            std::vector<std::vector<std::wstring>> values;
            if (reader.GetHeaderMetaData(file.handle, key, values) != OrvDataTypes::OrvSuccess)
                Finding("GetHeaderMetaData failed on an open file");
            for (const auto& row : values) {
                for (const std::wstring& field : row) {
                    for (const wchar_t c : field) {
                        if (c == L'\0' || c == L'\n' || c > 0xFF)
                            Finding("a header field holds NUL, LF or a character above U+00FF");
                    }
                }
            }
        }
    }

    // Asks for record `index` and checks the answer against the bytes of the file.
    void Fetch(const OpenFile& file, int index)
    {
        void* data = nullptr;
        int count = 0;
        const OrvDataTypes::OrvRetVal result = reader.GetDataFromIndex(file.handle, index, data, count);
        const bool inRange = index >= 0 && index < file.recordCount;
        if (result != OrvDataTypes::OrvSuccess) {
            ExpectErrorNaming(file.path, "a failed record read");
            if (inRange && !(file.recordBytes == cscRecordBytes && ValidCount(index) > maxValidSamples))
                Finding("a record that is not corrupt could not be read");
            return;
        }
        if (!inRange)
            Finding("a record outside the file was handed out");
        if (data == nullptr || count < 1 || count > file.recordCount - index)
            Finding("a successful read handed out no record or more records than the file holds");
        const size_t offset = FuzzSupport::headerBlockBytes + static_cast<size_t>(index) * file.recordBytes;
        if (std::memcmp(data, bytes.data() + offset, static_cast<size_t>(count) * file.recordBytes) != 0)
            Finding("the records handed out differ from the file's bytes");
        if (file.recordBytes == cscRecordBytes) {
            for (int i = 0; i < count; ++i) {
                if (ValidCount(index + i) > maxValidSamples)
                    Finding("a CSC record claiming more than 512 valid samples was handed out");
            }
        }
    }

    void ExpectErrorNaming(const std::wstring& path, const char* after)
    {
        const std::wstring text = reader.GetLastErrorMessage();
        if (text.empty())
            Finding("no error text after", after);
        if (text.find(path) == std::wstring::npos)
            Finding("the error text does not name the file after", after);
    }

private:
    // The record layout the reader must have chosen: -FileType decides, else the extension.
    size_t ExpectedRecordBytes(const OpenFile& file)
    {
        std::vector<std::vector<std::wstring>> rows;
        if (reader.GetHeaderMetaData(file.handle, L"-FileType", rows) != OrvDataTypes::OrvSuccess)
            Finding("GetHeaderMetaData(-FileType) failed on an open file");
        if (rows.empty())
            return file.eventExtension ? eventRecordBytes : cscRecordBytes;
        const std::wstring type = rows.front().empty() ? std::wstring() : rows.front().front();
        if (OrvText::EqualsIgnoringAsciiCase(type, L"CSC"))
            return cscRecordBytes;
        if (OrvText::EqualsIgnoringAsciiCase(type, L"Event"))
            return eventRecordBytes;
        Finding("a file with an unknown -FileType was opened");
    }

    // A file with a whole header block may only be refused for a -FileType line that names
    // another type. The check is loose: the header block must at least hold "-FileType".
    bool HasBadFileType() const
    {
        const size_t textEnd = std::min(FuzzSupport::headerBlockBytes, bytes.size());
        const std::string text(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(textEnd));
        return text.find("-FileType") != std::string::npos;
    }

    uint32_t ValidCount(int index) const
    {
        uint32_t valid = 0;
        const size_t offset = FuzzSupport::headerBlockBytes + static_cast<size_t>(index) * cscRecordBytes + 16;
        std::memcpy(&valid, bytes.data() + offset, sizeof valid);
        return valid;
    }

    Velquor::OrvFileIO& reader;
    const std::vector<uint8_t>& bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::InputCursor input(data, size);
    const uint8_t fileFlags = input.Byte();
    const uint8_t accessFlags = input.Byte();
    const std::span<const uint8_t> content = input.LengthPrefixed();
    const bool raw = (fileFlags & 0x08) != 0;
    const std::vector<uint8_t> bytes = raw ? std::vector<uint8_t>(content.begin(), content.end())
                                           : FuzzSupport::ExpandAcquisitionFile(content, (fileFlags & 0x10) != 0);
    const unsigned int budget = budgets[(fileFlags >> 5) & 7];
    const bool budgetAfterOpening = (accessFlags & 0x01) != 0;

    const std::filesystem::path& dir = FuzzSupport::ScratchDirectory();
    OpenFile files[2];
    files[0].path = (dir / cscNames[fileFlags & 3]).wstring();
    files[1].path = (dir / eventNames[(fileFlags >> 2) & 1]).wstring();
    files[1].eventExtension = true;
    for (const OpenFile& file : files) {
        if (!FuzzSupport::WriteFile(file.path, bytes))
            Finding("cannot write the input file");
    }

    {
        Velquor::OrvFileIO reader;
        ReaderRun run(reader, bytes);
        if (budget != 0 && !budgetAfterOpening)
            (void)reader.SetMaxNumBytesToUse(budget);
        const int fileCount = (accessFlags & 0x02) != 0 ? 1 : 2;
        bool anyOpen = false;
        for (int f = 0; f < fileCount; ++f)
            anyOpen |= run.Open(files[f]);
        if (budget != 0 && budgetAfterOpening)
            (void)reader.SetMaxNumBytesToUse(budget);
        // The windows keep to the budget; only a single window that holds the record asked for
        // may go beyond a budget too small for it (a record starting anywhere in a page ends in
        // the next one).
        const uint64_t allowedBytes = std::max<uint64_t>(budget != 0 ? budget : defaultBudgetBytes, 2 * pageBytes);
        const auto checkBudget = [&] {
            if (reader.GetNumBytesInUse() > allowedBytes)
                Finding("the reader's windows hold more than its memory budget");
        };
        checkBudget();

        if (anyOpen) {
            for (int f = 0; f < fileCount; ++f) {
                if (files[f].handle < 0)
                    continue;
                run.QueryHeader(files[f]);
                // the engine's walk: every index in order, each asked for twice
                for (int index = -2; index <= files[f].recordCount + 1; ++index) {
                    run.Fetch(files[f], index);
                    run.Fetch(files[f], index);
                    checkBudget();
                }
            }
            // interleaved fuzzed indices over both files, so that their windows push each other out
            for (int access = 0; access < maxFuzzedAccesses && input.Left() >= 2; ++access) {
                const uint8_t selector = input.Byte();
                const int index = static_cast<int>(input.Byte()) - 2;
                const OpenFile& file = files[selector & 1];
                if (file.handle >= 0)
                    run.Fetch(file, (selector & 0x80) != 0 ? file.recordCount - 1 - index : index);
                checkBudget();
            }
            if ((accessFlags & 0x04) != 0 && files[0].handle >= 0) {
                // a closed handle answers nothing; the slot is given out again
                if (reader.CloseOrvInputFile(files[0].handle) != OrvDataTypes::OrvSuccess)
                    Finding("closing an open file failed");
                void* record = nullptr;
                int count = 0;
                if (reader.GetDataFromIndex(files[0].handle, 0, record, count) == OrvDataTypes::OrvSuccess)
                    Finding("a closed handle handed out a record");
                if (reader.CloseOrvInputFile(files[0].handle) == OrvDataTypes::OrvSuccess)
                    Finding("a closed handle was closed again");
                if (run.Open(files[0]))
                    run.Fetch(files[0], 0);
            }
        }
        // invalid handles
        int count = 0;
        void* record = nullptr;
        std::vector<std::vector<std::wstring>> values;
        if (reader.GetNumRecordsInFile(-1, count) == OrvDataTypes::OrvSuccess
            || reader.GetDataFromIndex(99, 0, record, count) == OrvDataTypes::OrvSuccess
            || reader.GetHeaderMetaData(-7, L"-FileType", values) == OrvDataTypes::OrvSuccess)
            Finding("an invalid handle was answered");
        // the second file is left open: the reader's destruction releases it
        if (files[0].handle >= 0)
            (void)reader.CloseOrvInputFile(files[0].handle);
    }
    return 0;
}
