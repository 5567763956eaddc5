#include "WriteBehind.h"

#include <cerrno>
#include <unistd.h>

WriteBehind::~WriteBehind()
{
    if (!started)
        return;
    Wait();
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    writerWakes.notify_one();
    (void)pthread_join(thread, nullptr);
}

void WriteBehind::Hand(int fd, const unsigned char* data, std::size_t count, int64_t offset)
{
    // A short file is written without a thread: it needs none started and ended.
    const bool wanted = ++chunksSeen > chunksWithoutThread;
    if (!started && wanted && pthread_create(&thread, nullptr, &WriteBehind::Run, this) == 0)
        started = true;
    if (!started) {  // no thread: write here and now
        WriteChunk({fd, data, count, offset});
        return;
    }
    std::unique_lock<std::mutex> guard(lock);
    chunks[handed % depth] = {fd, data, count, offset};
    ++handed;
    if (handed - written >= 2)
        WakeWriter();
    while (handed - written >= depth) {  // the next buffer of the caller is still being written
        WakeWriter();
        callerSleeps = true;
        callerWakes.wait(guard);
    }
}

void WriteBehind::Wait()
{
    std::unique_lock<std::mutex> guard(lock);
    while (written != handed) {
        WakeWriter();
        callerSleeps = true;
        callerWakes.wait(guard);
    }
}

void WriteBehind::Reset()
{
    Wait();
    failedAt.store(-1, std::memory_order_release);
    failedErrorNumber.store(0, std::memory_order_release);
}

void WriteBehind::WakeWriter()
{
    if (writerSleeps) {
        writerSleeps = false;
        writerWakes.notify_one();
    }
}

void* WriteBehind::Run(void* self)
{
    auto& writer = *static_cast<WriteBehind*>(self);
    std::unique_lock<std::mutex> guard(writer.lock);
    for (;;) {
        while (writer.written == writer.handed && !writer.stopping) {
            writer.writerSleeps = true;
            writer.writerWakes.wait(guard);
        }
        if (writer.written == writer.handed)
            return nullptr;  // stopping, nothing left
        const Chunk chunk = writer.chunks[writer.written % depth];
        guard.unlock();
        writer.WriteChunk(chunk);
        guard.lock();
        ++writer.written;
        if (writer.callerSleeps) {
            writer.callerSleeps = false;
            writer.callerWakes.notify_one();
        }
    }
}

void WriteBehind::WriteChunk(const Chunk& chunk)
{
    std::size_t done = 0;
    while (done < chunk.count) {
        const ssize_t bytes =
            pwrite(chunk.fd, chunk.data + done, chunk.count - done, chunk.offset + static_cast<int64_t>(done));
        if (bytes < 0 && errno == EINTR)
            continue;
        if (bytes <= 0) {
            // only the writing thread (or the caller, without one) stores a failure; a write
            // that wrote nothing without an error leaves no space for the rest
            const int errorNumber = bytes < 0 ? errno : ENOSPC;
            const int64_t failed = chunk.offset + static_cast<int64_t>(done);
            const int64_t before = failedAt.load(std::memory_order_relaxed);
            if (before < 0 || failed < before) {
                failedErrorNumber.store(errorNumber, std::memory_order_relaxed);
                failedAt.store(failed, std::memory_order_release);  // publishes the error number too
            }
            return;
        }
        done += static_cast<std::size_t>(bytes);
    }
}
