#pragma once

#include <cstddef>
#include <vector>

namespace OrvSystem {

// Asks the allocator to keep the memory that a conversion frees for the next one, rather than
// hand it back to the system: every page a process touches anew costs a page fault (on a virtual
// machine about 10 µs), and the buffers of a conversion (windows over the channel files, a data
// record, the read-back) come to megabytes, so that a batch of short recordings spent more time in
// faults than in converting. The peak resident memory stays what it was; the process keeps it
// until it ends. Called once, at the start of a program that converts.
void KeepFreedMemory();

// Has the system give `bytes` at `start` their pages now, in one call, where the program would
// otherwise fault on each page as it first writes it: for a buffer about to be filled whole (a
// window over a channel file, an output stream's buffers). One call costs about what one fault
// does, so a window of 64 KiB costs one instead of sixteen. Pages the memory already has cost
// nothing more; only the pages wholly inside the span are asked for, and where the system cannot
// do it (a kernel older than 5.14) the faults happen as before.
void PopulatePages(void* start, std::size_t bytes);

// Gives `values` room for `capacity` elements where it has less, the pages of the new room
// populated (PopulatePages) before the elements move in: for a buffer that grows to its working
// size once and is then refilled, which would otherwise fault on each of its pages.
template <typename T> void ReservePopulated(std::vector<T>& values, std::size_t capacity)
{
    if (values.capacity() >= capacity)
        return;
    std::vector<T> larger;
    larger.reserve(capacity);
    PopulatePages(larger.data(), larger.capacity() * sizeof(T));
    larger.assign(values.begin(), values.end());
    values.swap(larger);
}

}  // namespace OrvSystem
