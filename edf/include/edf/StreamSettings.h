#pragma once

#include <cstddef>
#include <cstdint>

// The sizes and thresholds of a buffered output stream (BufferedFile and its WriteBehind). The
// defaults are what every program writes with: buffers small enough to stay in the processor's
// cache between their filling and their writing (the four of them, 1 MiB), and large enough that
// the writing thread is woken seldom (a wake-up costs tens of µs on a virtual machine: with 64 KiB
// buffers a file of 126 MB took a thousand of them, and its conversion a tenth longer); and the
// first chunks of a stream written on the caller's thread, since most segment files of a
// recording with many gaps are that short. Tests
// and fuzz targets set small values so that a few bytes fill a buffer and every stream hands its
// buffers to the writing thread.
struct StreamSettings {
    std::size_t bufferBytes = std::size_t{256} * 1024;  // of each buffer
    uint64_t chunksWithoutThread = 2;                   // written before the writing thread starts

    // A buffer holds at least a few samples, and no more than can be allocated sensibly.
    static constexpr std::size_t smallestBufferBytes = 16;
    static constexpr std::size_t largestBufferBytes = std::size_t{64} * 1024 * 1024;

    bool Valid() const { return bufferBytes >= smallestBufferBytes && bufferBytes <= largestBufferBytes; }
};
