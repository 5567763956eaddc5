#include "reader/FileWindow.h"

#include <cerrno>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

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
        // Mapped with its pages made present at once: one call instead of a page fault per
        // page at the first read, which costs more than the read itself where faults are dear
        // (virtual machines), and a window is read only a few times per channel in a short
        // recording.
        const size_t bytes = static_cast<size_t>(byteCount);
        void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (mapped == MAP_FAILED) {
            errorNumber = ENOMEM;
            return false;
        }
        buffer = static_cast<unsigned char*>(mapped);
        capacity = byteCount;
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
    if (buffer != nullptr)
        (void)munmap(buffer, static_cast<size_t>(capacity));
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
