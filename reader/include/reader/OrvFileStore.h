#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader/OrvFile.h"
#include "reader/OrvFileIO.h"

namespace Velquor {

// The reader's open files, addressed by handle (the index of a slot; a closed file's slot is
// reused), with the memory budget that their windows share and the text of the last failure.
// Each file gets a window of budget / open files, at most 64 KiB and at most a share of 4 MiB:
// small enough that the windows of all channels stay in the processor's cache between their read
// and their use, large enough that a read costs little per record. When a new window would break the budget, the
// windows of the files asked least recently are released first. A file always gets a window that
// holds the record asked for, even under a budget too small for it.
class OrvFileStore {
public:
    static constexpr uint64_t defaultBudgetBytes = 256ull * 1024 * 1024;
    static constexpr uint64_t largestWindowBytes = 64ull * 1024;
    // The windows of all files together stay within this, so that they fit the processor's
    // cache with many channels too (16 KiB each for 256 channels).
    static constexpr uint64_t cachedWindowBytes = 4ull * 1024 * 1024;

    OrvFileStore() = default;
    OrvFileStore(const OrvFileStore&) = delete;
    OrvFileStore& operator=(const OrvFileStore&) = delete;

    void SetBudget(uint64_t bytes);
    OrvDataTypes::OrvRetVal Open(const wchar_t* path, int& handle);
    uint64_t BytesInUse() const { return bytesInUse; }
    OrvDataTypes::OrvRetVal RecordCount(int handle, int& count);
    // Answers from the checked run of the current window when it holds `index`, which is what
    // the engine's repeated requests for one record meet.
    OrvDataTypes::OrvRetVal Records(int handle, int index, void*& data, int& count);
    // `rows` points into the file's header table, empty for a key that no line carries.
    OrvDataTypes::OrvRetVal HeaderRows(int handle, const wchar_t* key, const std::vector<HeaderRow>*& rows);
    OrvDataTypes::OrvRetVal Close(int handle);

    const std::wstring& LastError() const { return lastError; }
    OrvDataTypes::OrvRetVal Fail(OrvDataTypes::OrvRetVal code, std::wstring text);

private:
    OrvFile* Find(int handle) const;
    OrvDataTypes::OrvRetVal FailBadHandle(int handle);
    struct RecordBatch {
        OrvDataTypes::OrvRetVal result;
        void* data;
        int count;
    };
    RecordBatch RecordsAfterMiss(int handle, int index);
    OrvDataTypes::OrvRetVal LoadWindow(OrvFile& file, int index);
    uint64_t WindowTargetBytes() const;
    void EvictUntilFree(uint64_t bytesWanted);
    void ReleaseWindow(OrvFile& file);

    // The request answered last: the engine asks for one record once per sample, channel after
    // channel, so most requests repeat it. Forgotten whenever a window moves or is released.
    struct LastRequest {
        uint64_t key = 0;      // RequestKey of the handle and the index
        void* data = nullptr;  // null: nothing remembered
        int count = 0;
    };
    static uint64_t RequestKey(int handle, int index)
    {
        return uint64_t{static_cast<uint32_t>(handle)} << 32 | static_cast<uint32_t>(index);
    }
    LastRequest lastRequest;
    std::vector<std::unique_ptr<OrvFile>> files;  // slot = handle, null when free
    int openCount = 0;
    uint64_t budgetBytes = defaultBudgetBytes;
    uint64_t bytesInUse = 0;    // bytes held by all windows
    uint64_t requestCount = 0;  // orders the files by their last use
    std::wstring lastError;
};

inline OrvFile* OrvFileStore::Find(int handle) const
{
    if (handle < 0 || static_cast<size_t>(handle) >= files.size())
        return nullptr;
    return files[static_cast<size_t>(handle)].get();
}

inline OrvDataTypes::OrvRetVal OrvFileStore::Records(int handle, int index, void*& data, int& count)
{
    if (RequestKey(handle, index) == lastRequest.key && lastRequest.data != nullptr) {
        data = lastRequest.data;
        count = lastRequest.count;
        return OrvDataTypes::OrvSuccess;
    }
    // Handed back by value, so that the caller's data and count need not live in memory.
    const RecordBatch batch = RecordsAfterMiss(handle, index);
    if (batch.result == OrvDataTypes::OrvSuccess) {
        data = batch.data;
        count = batch.count;
    }
    return batch.result;
}

}  // namespace Velquor
