#pragma once

#include <chrono>
#include <csignal>

#include "tools/ConvertArguments.h"
#include "tools/RecordingDiscovery.h"

// Ctrl-C (SIGINT) and SIGTERM, held back from the moment it is made so that a conversion under
// way can stop cleanly between two data records: the signal waits until Interrupted() finds it.
// After the first interrupt this process takes signals as usual again (a second Ctrl-C ends it at
// once); processes started for a batch keep holding them, so that each finishes its report.
class InterruptWatch {
public:
    explicit InterruptWatch(bool restoreAfterFirst);
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Interrupted();
    // Interrupted() for a check made once per data record, thousands of times a second: it asks
    // the kernel at most every 10 ms, so it answers at most that late.
    bool Glance();

private:
    sigset_t signals{};
    bool restoreAfterFirst;
    bool interrupted = false;
    std::chrono::steady_clock::time_point lastAsked{};
};

// Converts the recordings found, one after the other or up to --jobs at once in processes of
// their own, and prints each recording's lines as one block when it ends, in the order of the
// recordings (a batch run in parallel prints what the same batch run one by one prints). On a
// terminal, a batch of several recordings shows its progress on standard error. Returns the exit
// status: 0 when every recording converted, 1 when any failed or the batch was interrupted.
int RunBatch(const Discovery& discovery, const ConvertArguments& arguments, InterruptWatch& interrupts);
