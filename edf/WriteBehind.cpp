#include "edf/WriteBehind.h"

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
    if (!started && pthread_create(&thread, nullptr, &WriteBehind::Run, this) == 0)
        started = true;
    if (!started) {  // no thread: write here and now
        WriteChunk({fd, data, count, offset});
        return;
    }
    std::unique_lock<std::mutex> guard(lock);
    chunks[handed % depth] = {fd, data, count, offset};
    ++handed;
    if (writerSleeps) {
        writerSleeps = false;
        writerWakes.notify_one();
    }
    while (handed - written >= depth) {  // the next buffer of the caller is still being written
        callerSleeps = true;
        callerWakes.wait(guard);
    }
}

void WriteBehind::Wait()
{
    std::unique_lock<std::mutex> guard(lock);
    while (written != handed) {
        callerSleeps = true;
        callerWakes.wait(guard);
    }
}

int64_t WriteBehind::FailedAt()
{
    std::lock_guard<std::mutex> guard(lock);
    return failedAt;
}

void WriteBehind::Reset()
{
    Wait();
    std::lock_guard<std::mutex> guard(lock);
    failedAt = -1;
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
            std::lock_guard<std::mutex> guard(lock);
            const int64_t failed = chunk.offset + static_cast<int64_t>(done);
            if (failedAt < 0 || failed < failedAt)
                failedAt = failed;
            return;
        }
        done += static_cast<std::size_t>(bytes);
    }
}
