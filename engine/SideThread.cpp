#include "SideThread.h"

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
    }
    if (!started) {
        started = pthread_create(&thread, nullptr, &Loop, this) == 0;
        unavailable = !started;
        if (unavailable) {
            this->job = nullptr;
            return false;
        }
    }
    changed.notify_all();
    return true;
}

void SideThread::Wait()
{
    std::unique_lock<std::mutex> held(lock);
    changed.wait(held, [this] { return job == nullptr; });
}

void* SideThread::Loop(void* self)
{
    auto& side = *static_cast<SideThread*>(self);
    std::unique_lock<std::mutex> held(side.lock);
    for (;;) {
        side.changed.wait(held, [&side] { return side.job != nullptr || side.stopping; });
        if (side.job == nullptr)
            return nullptr;  // stopping, with no job left
        void (*const job)(void*) = side.job;
        void* const argument = side.argument;
        held.unlock();
        job(argument);
        held.lock();
        side.job = nullptr;
        side.changed.notify_all();
    }
}
