#include "InterruptForwarding.h"

#include <csignal>

namespace {

void SignalEach(const std::vector<pid_t>& children, int signalNumber)
{
    for (const pid_t child : children)
        (void)kill(child, signalNumber);  // one that has just ended is reaped by the batch
}

}  // namespace

InterruptForwarding::InterruptForwarding(const InterruptWatch& interrupts, std::chrono::milliseconds killGrace)
    : interrupts(interrupts), killGrace(killGrace)
{
}

void InterruptForwarding::Pass(const std::vector<pid_t>& children)
{
    if (interrupts.Interrupted() && !forwarded) {
        SignalEach(children, SIGINT);
        forwarded = true;
        forwardedAt = std::chrono::steady_clock::now();
    }
    if (forwarded && !killed && std::chrono::steady_clock::now() - forwardedAt > killGrace) {
        SignalEach(children, SIGKILL);
        killed = true;
    }
}
