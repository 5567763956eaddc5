#include "logging/FreedMemory.h"

#include <cstdint>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace OrvSystem {

void KeepFreedMemory()
{
    // Blocks up to 32 MiB (the largest threshold the allocator takes) come from its heap, not from
    // mappings of their own that a free unmaps; and the heap is not cut back while less than 1 GiB
    // lies free at its top.
    constexpr int heapBlockBytes = 32 * 1024 * 1024;
    constexpr int keptFreeBytes = 1024 * 1024 * 1024;
    (void)mallopt(M_MMAP_THRESHOLD, heapBlockBytes);
    (void)mallopt(M_TRIM_THRESHOLD, keptFreeBytes);
}

void PopulatePages(void* start, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    static const auto pageBytes = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    if (start == nullptr || pageBytes == 0)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t first = (begin + pageBytes - 1) / pageBytes * pageBytes;
    const std::uintptr_t end = (begin + bytes) / pageBytes * pageBytes;
    if (end > first)
        (void)madvise(static_cast<char*>(start) + (first - begin), end - first, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)bytes;
#endif
}

}  // namespace OrvSystem
