#include "reader/FileWindow.h"

#include <cerrno>
#include <sys/mman.h>
#include <unistd.h>

namespace Velquor {

FileWindow::~FileWindow()
{
    Unmap();
}

bool FileWindow::Map(int fd, uint64_t fileOffset, uint64_t byteCount, int& errorNumber)
{
    Unmap();
    // MAP_POPULATE maps the whole window in one go rather than a page fault at a time.
    void* mapped = mmap(nullptr, static_cast<size_t>(byteCount), PROT_READ, MAP_SHARED | MAP_POPULATE, fd,
                        static_cast<off_t>(fileOffset));
    if (mapped == MAP_FAILED) {
        errorNumber = errno;
        return false;
    }
    // The engine walks records forward: read ahead and drop pages behind.
    (void)madvise(mapped, static_cast<size_t>(byteCount), MADV_SEQUENTIAL);
    base = static_cast<const unsigned char*>(mapped);
    offset = fileOffset;
    length = byteCount;
    return true;
}

void FileWindow::Unmap()
{
    if (base == nullptr)
        return;
    (void)munmap(const_cast<unsigned char*>(base), static_cast<size_t>(length));
    base = nullptr;
    offset = 0;
    length = 0;
}

uint64_t FileWindow::PageBytes()
{
    const long pageBytes = sysconf(_SC_PAGESIZE);
    return pageBytes > 0 ? static_cast<uint64_t>(pageBytes) : 4096;
}

}  // namespace Velquor
