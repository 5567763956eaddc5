#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader/OrvRecords.h"

namespace OrvDataTypes {

// Result of every reader operation that can fail: zero for success.
using OrvRetVal = int;

constexpr OrvRetVal OrvSuccess = 0;
constexpr OrvRetVal OrvOpenFailed = 1;     // the file cannot be opened or is not an acquisition file
constexpr OrvRetVal OrvBadHandle = 2;      // no file is open under the handle
constexpr OrvRetVal OrvBadIndex = 3;       // record index outside the file
constexpr OrvRetVal OrvCorruptRecord = 4;  // a record's contents cannot be valid
constexpr OrvRetVal OrvOutOfMemory = 5;
constexpr OrvRetVal OrvReadFailed = 6;  // the file's records cannot be read

}  // namespace OrvDataTypes

namespace Velquor {

class OrvFileStore;

// Reads acquisition files (CSC ".ocs" and event ".oev"): header values by key and records by
// index, from a window of each file held in memory. Every failure leaves a text for GetLastErrorMessage
// that names the file.
class OrvFileIO {
public:
    OrvFileIO();
    virtual ~OrvFileIO();
    OrvFileIO(const OrvFileIO&) = delete;
    OrvFileIO& operator=(const OrvFileIO&) = delete;

    OrvDataTypes::OrvRetVal SetMaxNumBytesToUse(unsigned int bytes);
    OrvDataTypes::OrvRetVal OpenOrvInputFile(const wchar_t* path, int& handle);
    unsigned int GetNumBytesInUse();
    OrvDataTypes::OrvRetVal GetNumRecordsInFile(int handle, int& count);
    // data points to `count` consecutive records beginning with record `index`; it stays valid
    // until the next call on this reader and must not be written to. Every CSC record handed
    // out claims at most 512 valid samples. An event text that fills all 128 bytes has no NUL:
    // read it with a bound (strnlen(text, 128)).
    OrvDataTypes::OrvRetVal GetDataFromIndex(int handle, int index, void*& data, int& count);
    OrvDataTypes::OrvRetVal CloseOrvInputFile(int handle);

    inline OrvDataTypes::OrvRetVal GetHeaderMetaData(int handle, const std::wstring& key,
                                                     std::vector<std::vector<std::wstring>>& values);
    inline std::wstring GetLastErrorMessage();

private:
    OrvDataTypes::OrvRetVal GetHeaderMetaDataInternal(int handle, const wchar_t* key, wchar_t***& rows, int& rowCount,
                                                      int*& fieldCounts);
    OrvDataTypes::OrvRetVal GetLastErrorMessageInternal(wchar_t*& text);
    void FreeArray(void* p);

    std::unique_ptr<OrvFileStore> store;
};

inline OrvDataTypes::OrvRetVal OrvFileIO::GetHeaderMetaData(int handle, const std::wstring& key,
                                                            std::vector<std::vector<std::wstring>>& values)
{
    values.clear();
    wchar_t*** rows = nullptr;
    int rowCount = 0;
    int* fieldCounts = nullptr;
    const OrvDataTypes::OrvRetVal result = GetHeaderMetaDataInternal(handle, key.c_str(), rows, rowCount, fieldCounts);
    if (result != OrvDataTypes::OrvSuccess)
        return result;
    for (int r = 0; r < rowCount; ++r) {
        values.emplace_back();
        for (int f = 0; f < fieldCounts[r]; ++f) {
            values.back().emplace_back(rows[r][f]);
            FreeArray(rows[r][f]);
        }
        FreeArray(rows[r]);
    }
    FreeArray(rows);
    FreeArray(fieldCounts);
    return OrvDataTypes::OrvSuccess;
}

inline std::wstring OrvFileIO::GetLastErrorMessage()
{
    std::wstring message;
    wchar_t* text = nullptr;
    if (GetLastErrorMessageInternal(text) == OrvDataTypes::OrvSuccess && text != nullptr)
        message = text;
    FreeArray(text);
    return message;
}

}  // namespace Velquor
