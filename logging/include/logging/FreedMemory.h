#pragma once

namespace OrvSystem {

// Asks the allocator to keep the memory that a conversion frees for the next one, rather than
// hand it back to the system: every page a process touches anew costs a page fault (on a virtual
// machine about 10 µs), and the buffers of a conversion (windows over the channel files, a data
// record, the read-back) come to megabytes, so that a batch of short recordings spent more time in
// faults than in converting. The peak resident memory stays what it was; the process keeps it
// until it ends. Called once, at the start of a program that converts.
void KeepFreedMemory();

}  // namespace OrvSystem
