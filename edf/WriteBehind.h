#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <pthread.h>

#include "edf/StreamSettings.h"

// Writes chunks of bytes to a file on a thread of its own, so that the caller fills its next
// buffers meanwhile: the write-behind of a buffered stream. Up to `depth` chunks wait or are under
// way at once, written in the order handed over, each at its offset with pwrite(2). The first
// offset that could not be written is remembered (later chunks are still written: a record
// count or an annotation slot may still fit where blocks exist), and asking for it takes no lock.
// Each side wakes the other only when it sleeps, and the caller wakes a sleeping writer only
// once two chunks wait (or it must wait itself), so that the writer takes them in one go and
// a stream costs few system calls besides its writes. Where no
// thread can be started, chunks are written on the caller's thread. Not copyable; the
// destructor waits for the chunks under way.
class WriteBehind {
public:
    static constexpr std::size_t depth = 4;

    WriteBehind() = default;
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // The first `count` chunks of a stream are written on the caller's thread (StreamSettings);
    // set before the first Hand.
    void SetChunksWithoutThread(uint64_t count) { chunksWithoutThread = count; }
    // Hands over `count` bytes at `data` for `offset` of `fd`, and returns once fewer than
    // `depth` chunks are waiting: `data` must stay untouched until `depth - 1` further chunks
    // have been handed over, or Wait has returned.
    void Hand(int fd, const unsigned char* data, std::size_t count, int64_t offset);
    // Waits until every chunk handed over is written (or has failed).
    void Wait();
    // The first file offset that could not be written, -1 while every write succeeded.
    int64_t FailedAt() const { return failedAt.load(std::memory_order_acquire); }
    // The system's error number of the write that failed at FailedAt; 0 while none failed.
    int FailedErrorNumber() const { return FailedAt() < 0 ? 0 : failedErrorNumber.load(std::memory_order_relaxed); }
    // Forgets a failure (for a stream that starts a new file, or has dealt with it).
    void Reset();

private:
    struct Chunk {
        int fd = -1;
        const unsigned char* data = nullptr;
        std::size_t count = 0;
        int64_t offset = 0;
    };

    static void* Run(void* self);
    void WriteChunk(const Chunk& chunk);
    void WakeWriter();  // with the lock held

    std::mutex lock;
    std::condition_variable writerWakes;  // a chunk arrived, or the stream stops
    std::condition_variable callerWakes;  // a chunk was written
    pthread_t thread{};
    bool started = false;
    bool stopping = false;
    bool writerSleeps = false;
    bool callerSleeps = false;
    std::array<Chunk, depth> chunks{};
    uint64_t chunksWithoutThread = StreamSettings{}.chunksWithoutThread;
    uint64_t chunksSeen = 0;  // chunks handed over, with a thread or without
    uint64_t handed = 0;      // chunks handed over to the thread so far
    uint64_t written = 0;     // of them, those written (or failed)
    std::atomic<int64_t> failedAt{-1};
    std::atomic<int> failedErrorNumber{0};
};
