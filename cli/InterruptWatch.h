#pragma once

#include <chrono>

// Ctrl-C (SIGINT) and SIGTERM: a handler notes the first one, and a conversion under way stops
// at its next data record (Interrupted() is asked there; it costs a load, no system call). After
// the first signal this process takes signals as usual again when restoreAfterFirst (a second
// Ctrl-C ends it at once); processes started for a batch keep ignoring further ones, so that each
// finishes its report.
//
// A run busy where it does not ask (a long close or verification of a large file) still ends
// soon: with StopWithin, a process that has not ended `grace` after the first signal writes its
// last words and exits with status 1 there and then.
//
// How long after a signal a conversion may take to stop at a data record and write its report
// before its process ends where it is.
inline constexpr std::chrono::milliseconds stopGrace{600};

// One watch at a time per process: the signals' handlers are the process's.
class InterruptWatch {
public:
    explicit InterruptWatch(bool restoreAfterFirst);
    // Turns the deadline off: the process ends by itself now.
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // From the first signal on, the process ends after `grace`, writing `standardOutput` and
    // `standardError` (either may be empty; each a static text) first. Called once per watch; a
    // worker process that converts one recording after the other has a watch for each.
    void StopWithin(std::chrono::milliseconds grace, const char* standardOutput, const char* standardError);

    bool Interrupted() const;
};
