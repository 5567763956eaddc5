#include "SideThread.h"

#include <chrono>

namespace {

// Tells the processor that this thread waits on memory that another one writes.
inline void PauseBriefly()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Watches `present` until it equals `awaited` or `limit` has passed: a wake-up from sleep costs
// more than the moment a job or its end is usually away.
void WatchFor(const std::atomic<bool>& present, bool awaited, std::chrono::microseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (present.load(std::memory_order_acquire) == awaited)
                return;
            PauseBriefly();
        }
        if (std::chrono::steady_clock::now() >= end)
            return;
    }
}

// How long the side thread watches for its next job, and the caller for the job's end.
constexpr std::chrono::microseconds watchLimit{50};

}  // namespace

SideThread::~SideThread()
{
    if (!started)
        return;
    {
        const std::lock_guard<std::mutex> held(lock);
        stopping = true;
    }
    changed.notify_all();
    (void)pthread_join(thread, nullptr);
}

bool SideThread::Run(void (*job)(void*), void* argument)
{
    if (unavailable)
        return false;
    {
        const std::lock_guard<std::mutex> held(lock);
        this->job = job;
        this->argument = argument;
        jobPresent.store(true, std::memory_order_release);
    }
    if (!started) {
        started = pthread_create(&thread, nullptr, &Loop, this) == 0;
        unavailable = !started;
        if (unavailable) {
            this->job = nullptr;
            jobPresent.store(false, std::memory_order_release);
            return false;
        }
    }
    changed.notify_all();
    return true;
}

void SideThread::Wait()
{
    WatchFor(jobPresent, false, watchLimit);
    std::unique_lock<std::mutex> held(lock);
    changed.wait(held, [this] { return job == nullptr; });
}

void* SideThread::Loop(void* self)
{
    auto& side = *static_cast<SideThread*>(self);
    std::unique_lock<std::mutex> held(side.lock);
    for (;;) {
        if (side.job == nullptr && !side.stopping) {
            held.unlock();
            WatchFor(side.jobPresent, true, watchLimit);
            held.lock();
        }
        side.changed.wait(held, [&side] { return side.job != nullptr || side.stopping; });
        if (side.job == nullptr)
            return nullptr;  // stopping, with no job left
        void (*const job)(void*) = side.job;
        void* const argument = side.argument;
        held.unlock();
        job(argument);
        held.lock();
        side.job = nullptr;
        side.jobPresent.store(false, std::memory_order_release);
        side.changed.notify_all();
    }
}
