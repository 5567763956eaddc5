#include "reader/FileWindow.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

#include "logging/FreedMemory.h"

namespace Velquor {

FileWindow::~FileWindow()
{
    Release();
}

bool FileWindow::Load(int fd, uint64_t fileOffset, uint64_t byteCount, int& errorNumber)
{
    Clear();
    if (byteCount > capacity) {
        Release();
        buffer = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(byteCount)));
        if (buffer == nullptr) {
            errorNumber = ENOMEM;
            return false;
        }
        capacity = byteCount;
        OrvSystem::PopulatePages(buffer, static_cast<size_t>(byteCount));
    }
    if (!ReadAt(fd, fileOffset, buffer, static_cast<size_t>(byteCount), errorNumber))
        return false;
    loaded = true;
    offset = fileOffset;
    length = byteCount;
    return true;
}

void FileWindow::Clear()
{
    loaded = false;
    offset = 0;
    length = 0;
}

void FileWindow::Release()
{
    Clear();
    std::free(buffer);
    buffer = nullptr;
    capacity = 0;
}

bool FileWindow::ReadAt(int fd, uint64_t fileOffset, unsigned char* into, size_t count, int& errorNumber)
{
    size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(fd, into + done, count - done, static_cast<off_t>(fileOffset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            errorNumber = got < 0 ? errno : 0;
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

uint64_t FileWindow::PageBytes()
{
    // Asked for twice per window; the system's answer does not change while the program runs.
    static const uint64_t pageBytes = [] {
        const long bytes = sysconf(_SC_PAGESIZE);
        return bytes > 0 ? static_cast<uint64_t>(bytes) : uint64_t{4096};
    }();
    return pageBytes;
}

}  // namespace Velquor
