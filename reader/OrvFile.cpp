#include "reader/OrvFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "logging/FileErrors.h"
#include "logging/TextConversion.h"
#include "reader/OrvFileIO.h"

namespace Velquor {
namespace {

constexpr uint64_t cscRecordBytes = sizeof(CSCRecord);
constexpr uint64_t eventRecordBytes = sizeof(EventRecord);

}  // namespace

OrvFile::~OrvFile()
{
    window.Release();
    if (fd >= 0)
        (void)close(fd);
}

bool OrvFile::Open(const std::wstring& filePath, std::wstring& error)
{
    path = filePath;
    if (!OpenDescriptor(error) || !ReadHeaderBlock(error) || !DecideKind(error))
        return false;
    recordBytes = kind == OrvRecordKind::Csc ? cscRecordBytes : eventRecordBytes;
    // The bytes of an incomplete last record are not a record.
    const uint64_t records = (fileBytes - orvHeaderBytes) / recordBytes;
    recordCount = static_cast<int>(std::min<uint64_t>(records, INT_MAX));
    return true;
}

bool OrvFile::OpenDescriptor(std::wstring& error)
{
    // O_NONBLOCK: a FIFO under the name must not hang the open.
    fd = open(OrvText::WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = DescribeFailure(L"Unable to open file ", errno);
        return false;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        error = DescribeFailure(L"Unable to open file ", errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        error = DescribeFailure(L"Unable to open file ", EISDIR);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = L"Unable to open file " + path + L": it is not a regular file.";
        return false;
    }
    fileBytes = static_cast<uint64_t>(status.st_size);
    if (fileBytes < orvHeaderBytes) {
        std::wostringstream text;
        text << L"Unable to open file " << path << L": it holds " << fileBytes << L" bytes, fewer than the "
             << orvHeaderBytes << L"-byte header block of an acquisition file.";
        error = text.str();
        return false;
    }
    return true;
}

bool OrvFile::ReadHeaderBlock(std::wstring& error)
{
    std::vector<unsigned char> block(orvHeaderBytes);
    int errorNumber = 0;
    if (!FileWindow::ReadAt(fd, 0, block.data(), block.size(), errorNumber)) {
        error = DescribeReadFailure(L"Unable to read the header of file ", errorNumber);
        return false;
    }
    header = ParseHeaderText(std::string_view(reinterpret_cast<const char*>(block.data()), block.size()));
    return true;
}

bool OrvFile::DecideKind(std::wstring& error)
{
    const auto found = header.find(std::wstring_view(L"-FileType"));
    const std::optional<OrvRecordKind> decided =
        RecordKindOf(path, found == header.end() ? std::vector<HeaderRow>() : found->second);
    if (decided) {
        kind = *decided;
        return true;
    }
    const HeaderRow& row = found->second.front();
    const std::wstring type = row.empty() ? std::wstring() : row.front();
    error = L"Unable to open file " + path + L": unknown file type \"" + type + L"\" in its -FileType header line.";
    return false;
}

uint64_t OrvFile::RecordOffset(int index) const
{
    return orvHeaderBytes + static_cast<uint64_t>(index) * recordBytes;
}

bool OrvFile::WindowHolds(int index) const
{
    const uint64_t start = RecordOffset(index);
    return window.IsLoaded() && start >= window.Offset() && start + recordBytes <= window.End();
}

void OrvFile::WindowSpan(int index, uint64_t targetBytes, uint64_t& offset, uint64_t& length) const
{
    const uint64_t start = RecordOffset(index);
    offset = start - start % FileWindow::PageBytes();
    const uint64_t end = std::min(std::max(offset + targetBytes, start + recordBytes), fileBytes);
    length = end - offset;
}

OrvDataTypes::OrvRetVal OrvFile::ReadWindow(uint64_t offset, uint64_t length, std::wstring& error)
{
    ForgetReadyRecords();
    int errorNumber = 0;
    if (!window.Load(fd, offset, length, errorNumber)) {
        error = DescribeReadFailure(L"Unable to read file ", errorNumber);
        return errorNumber == ENOMEM ? OrvDataTypes::OrvOutOfMemory : OrvDataTypes::OrvReadFailed;
    }
    return OrvDataTypes::OrvSuccess;
}

void OrvFile::ReleaseWindow()
{
    ForgetReadyRecords();
    window.Release();
}

void OrvFile::ForgetReadyRecords()
{
    readyFirst = 0;
    readyEnd = 0;
}

uint32_t OrvFile::ValidSampleCount(int index) const
{
    return CscValidSampleCount(window.At(RecordOffset(index)));
}

bool OrvFile::PrepareFrom(int index, std::wstring& error)
{
    // Complete records in the window from `index` on.
    const uint64_t windowRecords = (window.End() - RecordOffset(index)) / recordBytes;
    const int available =
        static_cast<int>(std::min<uint64_t>(windowRecords, static_cast<uint64_t>(recordCount - index)));
    if (kind == OrvRecordKind::Event) {
        readyFirst = index;
        readyEnd = index + available;
        return true;
    }
    const int limit = index + available;
    int end = index;
    while (end < limit && ValidSampleCount(end) <= static_cast<uint32_t>(orvSamplesPerCscRecord))
        ++end;
    if (end == index) {
        std::wostringstream text;
        text << L"Corrupt record " << index << L" in file " << path << L": it claims " << ValidSampleCount(index)
             << L" valid samples, more than " << orvSamplesPerCscRecord << L".";
        error = text.str();
        readyFirst = readyEnd = 0;
        return false;
    }
    readyFirst = index;
    readyEnd = end;
    return true;
}

std::wstring OrvFile::DescribeFailure(const wchar_t* action, int errorNumber) const
{
    return action + path + L": " + OrvText::SystemReason(errorNumber);
}

std::wstring OrvFile::DescribeReadFailure(const wchar_t* action, int errorNumber) const
{
    if (errorNumber == 0)
        return action + path + L": it has become shorter since it was opened.";
    return DescribeFailure(action, errorNumber);
}

}  // namespace Velquor
