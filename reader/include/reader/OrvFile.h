#pragma once

#include <cstdint>
#include <string>

#include "reader/FileWindow.h"
#include "reader/HeaderText.h"
#include "reader/OrvFileIO.h"
#include "reader/RecordKind.h"

namespace Velquor {

// One open acquisition file: its descriptor, its header values, the size and count of its
// records, the window of it that is held in memory and the run of records in that window that
// has been checked and can be handed out as it is. Not copyable; the destructor frees the window
// and closes the descriptor.
class OrvFile {
public:
    OrvFile() = default;
    ~OrvFile();
    OrvFile(const OrvFile&) = delete;
    OrvFile& operator=(const OrvFile&) = delete;

    // false, with `error` naming the path and the reason, when the file cannot be opened or is
    // not an acquisition file. No record is read yet.
    bool Open(const std::wstring& filePath, std::wstring& error);

    const std::wstring& Path() const { return path; }
    OrvRecordKind Kind() const { return kind; }
    int RecordCount() const { return recordCount; }
    const HeaderTable& Header() const { return header; }

    // A ready record lies whole in the window and has been checked; the index is then also below
    // the record count. Ready records are handed out without any further work.
    bool IsReady(int index) const { return index >= readyFirst && index < readyEnd; }
    const void* ReadyRecord(int index) const { return window.At(RecordOffset(index)); }
    int ReadyCountFrom(int index) const { return readyEnd - index; }

    bool WindowHolds(int index) const;
    // The stretch of the file to read for record `index`: from the page that holds the record's
    // start, `targetBytes` long or as long as the record needs, never past the end of the file.
    void WindowSpan(int index, uint64_t targetBytes, uint64_t& offset, uint64_t& length) const;
    // OrvReadFailed (or OrvOutOfMemory when the window's buffer cannot grow), with `error` naming
    // the file and the reason, when the stretch cannot be read.
    OrvDataTypes::OrvRetVal ReadWindow(uint64_t offset, uint64_t length, std::wstring& error);
    void ReleaseWindow();
    uint64_t WindowBytes() const { return window.BufferBytes(); }  // memory held by the window

    // Checks the records from `index` (which the window must hold) on and makes them ready.
    // false, with `error` naming the file and the record, when record `index` itself is corrupt.
    bool PrepareFrom(int index, std::wstring& error);

    uint64_t lastUse = 0;  // the store's request count when this file was last asked for a new record

private:
    bool OpenDescriptor(std::wstring& error);
    bool ReadHeaderBlock(std::wstring& error);
    bool DecideKind(std::wstring& error);
    uint64_t RecordOffset(int index) const;
    uint32_t ValidSampleCount(int index) const;
    void ForgetReadyRecords();
    std::wstring DescribeFailure(const wchar_t* action, int errorNumber) const;
    // As DescribeFailure; error number 0 means that the file ended before the bytes asked for.
    std::wstring DescribeReadFailure(const wchar_t* action, int errorNumber) const;

    std::wstring path;
    int fd = -1;
    uint64_t fileBytes = 0;
    HeaderTable header;
    OrvRecordKind kind = OrvRecordKind::Csc;
    uint64_t recordBytes = 0;
    int recordCount = 0;
    FileWindow window;
    int readyFirst = 0;
    int readyEnd = 0;  // readyFirst == readyEnd: no record is ready
};

}  // namespace Velquor
