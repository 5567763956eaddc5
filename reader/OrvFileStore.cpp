#include "reader/OrvFileStore.h"

#include <algorithm>
#include <new>
#include <sstream>

namespace Velquor {

using namespace OrvDataTypes;

void OrvFileStore::SetBudget(uint64_t bytes)
{
    budgetBytes = bytes;
    EvictUntilFree(0);
}

OrvRetVal OrvFileStore::Open(const wchar_t* path, int& handle)
{
    if (path == nullptr)
        return Fail(OrvOpenFailed, L"Unable to open file: no path was given.");
    std::unique_ptr<OrvFile> file(new (std::nothrow) OrvFile());
    if (!file)
        return Fail(OrvOutOfMemory, L"Unable to open file " + std::wstring(path) + L": out of memory.");
    std::wstring error;
    if (!file->Open(path, error))
        return Fail(OrvOpenFailed, std::move(error));
    const auto freeSlot = std::find(files.begin(), files.end(), nullptr);
    handle = static_cast<int>(freeSlot - files.begin());
    if (freeSlot == files.end())
        files.push_back(std::move(file));
    else
        *freeSlot = std::move(file);
    ++openCount;
    return OrvSuccess;
}

OrvRetVal OrvFileStore::RecordCount(int handle, int& count)
{
    const OrvFile* file = Find(handle);
    if (file == nullptr)
        return FailBadHandle(handle);
    count = file->RecordCount();
    return OrvSuccess;
}

OrvFileStore::RecordBatch OrvFileStore::RecordsAfterMiss(int handle, int index)
{
    OrvFile* file = Find(handle);
    if (file == nullptr)
        return {FailBadHandle(handle), nullptr, 0};
    if (index < 0 || index >= file->RecordCount()) {
        std::wostringstream text;
        text << L"Unable to read record " << index << L" of file " << file->Path() << L": the file holds "
             << file->RecordCount() << L" records.";
        return {Fail(OrvBadIndex, text.str()), nullptr, 0};
    }
    file->lastUse = ++requestCount;
    if (!file->IsReady(index)) {
        if (!file->WindowHolds(index)) {
            const OrvRetVal loaded = LoadWindow(*file, index);
            if (loaded != OrvSuccess)
                return {loaded, nullptr, 0};
        }
        std::wstring error;
        if (!file->PrepareFrom(index, error))
            return {Fail(OrvCorruptRecord, std::move(error)), nullptr, 0};
    }
    // The window is the reader's own and never written through; the interface hands it out as void*.
    void* data = const_cast<void*>(file->ReadyRecord(index));
    const int count = file->ReadyCountFrom(index);
    lastRequest = {RequestKey(handle, index), data, count};
    return {OrvSuccess, data, count};
}

OrvRetVal OrvFileStore::LoadWindow(OrvFile& file, int index)
{
    uint64_t offset = 0;
    uint64_t length = 0;
    file.WindowSpan(index, WindowTargetBytes(), offset, length);
    lastRequest = {};
    if (length > file.WindowBytes()) {
        // The window's buffer must grow: it goes first, then room is made for the new one.
        ReleaseWindow(file);
        EvictUntilFree(length);
    }
    const uint64_t heldBefore = file.WindowBytes();
    std::wstring error;
    const OrvRetVal read = file.ReadWindow(offset, length, error);
    bytesInUse = bytesInUse - heldBefore + file.WindowBytes();
    if (read != OrvSuccess)
        return Fail(read, std::move(error));
    return OrvSuccess;
}

uint64_t OrvFileStore::WindowTargetBytes() const
{
    const uint64_t share = std::min(budgetBytes, cachedWindowBytes) / static_cast<uint64_t>(std::max(openCount, 1));
    const uint64_t page = FileWindow::PageBytes();
    return std::max(std::min(share, largestWindowBytes) / page * page, page);
}

void OrvFileStore::EvictUntilFree(uint64_t bytesWanted)
{
    while (bytesInUse + bytesWanted > budgetBytes) {
        OrvFile* oldest = nullptr;
        for (const auto& file : files) {
            if (file && file->WindowBytes() > 0 && (oldest == nullptr || file->lastUse < oldest->lastUse))
                oldest = file.get();
        }
        if (oldest == nullptr)
            return;
        ReleaseWindow(*oldest);
    }
}

void OrvFileStore::ReleaseWindow(OrvFile& file)
{
    lastRequest = {};
    bytesInUse -= file.WindowBytes();
    file.ReleaseWindow();
}

OrvRetVal OrvFileStore::HeaderRows(int handle, const wchar_t* key, const std::vector<HeaderRow>*& rows)
{
    static const std::vector<HeaderRow> noRows;
    const OrvFile* file = Find(handle);
    if (file == nullptr)
        return FailBadHandle(handle);
    if (key == nullptr)
        return Fail(OrvBadIndex, L"Unable to read a header value of file " + file->Path() + L": no key was given.");
    const auto found = file->Header().find(std::wstring_view(key));
    rows = found == file->Header().end() ? &noRows : &found->second;
    return OrvSuccess;
}

OrvRetVal OrvFileStore::Close(int handle)
{
    OrvFile* file = Find(handle);
    if (file == nullptr)
        return FailBadHandle(handle);
    ReleaseWindow(*file);
    files[static_cast<size_t>(handle)].reset();
    --openCount;
    return OrvSuccess;
}

OrvRetVal OrvFileStore::Fail(OrvRetVal code, std::wstring text)
{
    lastError = std::move(text);
    return code;
}

OrvRetVal OrvFileStore::FailBadHandle(int handle)
{
    std::wostringstream text;
    text << L"Invalid file handle " << handle << L": no acquisition file is open under it.";
    return Fail(OrvBadHandle, text.str());
}

}  // namespace Velquor
