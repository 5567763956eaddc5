#include "logging/FreedMemory.h"

#include <malloc.h>

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

}  // namespace OrvSystem
