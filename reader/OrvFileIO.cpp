#include "reader/OrvFileIO.h"

#include <climits>
#include <cstdlib>
#include <new>

#include "HeaderArrays.h"
#include "reader/OrvFileStore.h"

namespace Velquor {

using namespace OrvDataTypes;

OrvFileIO::OrvFileIO() : store(new (std::nothrow) OrvFileStore())
{
}

// The store's destruction closes every file still open.
OrvFileIO::~OrvFileIO() = default;

OrvRetVal OrvFileIO::SetMaxNumBytesToUse(unsigned int bytes)
{
    if (!store)
        return OrvOutOfMemory;
    store->SetBudget(bytes);
    return OrvSuccess;
}

OrvRetVal OrvFileIO::OpenOrvInputFile(const wchar_t* path, int& handle)
{
    return store ? store->Open(path, handle) : OrvOutOfMemory;
}

unsigned int OrvFileIO::GetNumBytesInUse()
{
    if (!store)
        return 0;
    const uint64_t bytes = store->BytesInUse();
    return bytes > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(bytes);
}

OrvRetVal OrvFileIO::GetNumRecordsInFile(int handle, int& count)
{
    return store ? store->RecordCount(handle, count) : OrvOutOfMemory;
}

OrvRetVal OrvFileIO::GetDataFromIndex(int handle, int index, void*& data, int& count)
{
    return store ? store->Records(handle, index, data, count) : OrvOutOfMemory;
}

OrvRetVal OrvFileIO::CloseOrvInputFile(int handle)
{
    return store ? store->Close(handle) : OrvOutOfMemory;
}

OrvRetVal OrvFileIO::GetHeaderMetaDataInternal(int handle, const wchar_t* key, wchar_t***& rows, int& rowCount,
                                               int*& fieldCounts)
{
    rows = nullptr;
    rowCount = 0;
    fieldCounts = nullptr;
    if (!store)
        return OrvOutOfMemory;
    const std::vector<HeaderRow>* table = nullptr;
    const OrvRetVal found = store->HeaderRows(handle, key, table);
    if (found != OrvSuccess)
        return found;
    if (!CopyToHeaderArrays(*table, rows, rowCount, fieldCounts))
        return store->Fail(OrvOutOfMemory,
                           L"Unable to hand out the header value " + std::wstring(key) + L": out of memory.");
    return OrvSuccess;
}

OrvRetVal OrvFileIO::GetLastErrorMessageInternal(wchar_t*& text)
{
    text = nullptr;
    if (!store)
        return OrvOutOfMemory;
    text = CopyToWideArray(store->LastError());
    return text != nullptr ? OrvSuccess : OrvOutOfMemory;
}

void OrvFileIO::FreeArray(void* p)
{
    std::free(p);
}

}  // namespace Velquor
