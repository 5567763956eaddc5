#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <pthread.h>

// Writes chunks of bytes to a file on a thread of its own, so that the caller fills its next
// buffers meanwhile: the write-behind of a buffered stream. Up to `depth` chunks wait or are under
// way at once, written in the order handed over, each at its offset with pwrite(2). The first
// offset that could not be written is remembered (later chunks are still written: a record
// count or an annotation slot may still fit where blocks exist). Each side wakes the other only
// when it sleeps, so a stream that keeps both busy costs no system call per chunk. Where no
// thread can be started, chunks are written on the caller's thread. Not copyable; the
// destructor waits for the chunks under way.
class WriteBehind {
public:
    static constexpr std::size_t depth = 4;

    WriteBehind() = default;
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Hands over `count` bytes at `data` for `offset` of `fd`, and returns once fewer than
    // `depth` chunks are waiting: `data` must stay untouched until `depth - 1` further chunks
    // have been handed over, or Wait has returned.
    void Hand(int fd, const unsigned char* data, std::size_t count, int64_t offset);
    // Waits until every chunk handed over is written (or has failed).
    void Wait();
    // The first file offset that could not be written, -1 while every write succeeded.
    int64_t FailedAt();
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

    std::mutex lock;
    std::condition_variable writerWakes;  // a chunk arrived, or the stream stops
    std::condition_variable callerWakes;  // a chunk was written
    pthread_t thread{};
    bool started = false;
    bool stopping = false;
    bool writerSleeps = false;
    bool callerSleeps = false;
    std::array<Chunk, depth> chunks{};
    uint64_t handed = 0;   // chunks handed over so far
    uint64_t written = 0;  // of them, those written (or failed)
    int64_t failedAt = -1;
};
