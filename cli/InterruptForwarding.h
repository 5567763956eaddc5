#pragma once

#include <chrono>
#include <sys/types.h>
#include <vector>

#include "InterruptWatch.h"

// Passes the batch's interrupt on to its children: SIGINT to each once the batch is
// interrupted (each stops at its next data record and writes its report), SIGKILL to those still
// there `killGrace` later (stuck where even their own deadline cannot end them).
class InterruptForwarding {
public:
    InterruptForwarding(const InterruptWatch& interrupts, std::chrono::milliseconds killGrace);

    // Called on every turn of the batch with the children running now.
    void Pass(const std::vector<pid_t>& children);
    // The interrupt has been passed on: no child is started any more.
    bool Forwarded() const { return forwarded; }

private:
    const InterruptWatch& interrupts;
    std::chrono::milliseconds killGrace;
    bool forwarded = false;
    bool killed = false;
    std::chrono::steady_clock::time_point forwardedAt{};
};
