#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>

// A second thread kept for as long as its owner lives, running one job at a time beside the
// caller: handing a job over costs at most a wake-up instead of a thread's start and end, and
// none when the job comes while the thread still watches for it after the last. The thread is
// started with the first job; where none can be started, Run says so and the caller does the job
// itself. Not copyable; the destructor ends the thread once its job is done.
class SideThread {
public:
    SideThread() = default;
    ~SideThread();
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // Starts job(argument) on the side thread; false when there is no thread to run it. The job
    // handed over before must have been waited for.
    bool Run(void (*job)(void*), void* argument);
    // Returns once the job that Run started is done.
    void Wait();

private:
    static void* Loop(void* self);

    std::mutex lock;
    std::condition_variable changed;  // a job handed over, a job done, or the end
    pthread_t thread{};
    bool started = false;
    bool unavailable = false;  // the thread could not be started
    bool stopping = false;
    void (*job)(void*) = nullptr;  // the job under way, nullptr once it is done
    void* argument = nullptr;
    // job != nullptr, also read without the lock: each thread first watches it for a moment
    // before it sleeps, since the job or its end is often that close
    std::atomic<bool> jobPresent{false};
};
