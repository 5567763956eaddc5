// The batch's interrupt passed on to its children. Each case runs in a process of its own: the
// interrupt is the process's, once noted it stays.
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "InterruptForwarding.h"
#include "InterruptWatch.h"

namespace {

// A child that ignores SIGINT, as a conversion finishing its report does, and waits to be ended.
pid_t StubbornChild()
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        (void)signal(SIGINT, SIG_IGN);
        (void)signal(SIGTERM, SIG_DFL);  // not the batch's handler
        (void)write(ready[1], "r", 1);
        for (;;)
            (void)pause();
    }
    char byte = 0;
    (void)read(ready[0], &byte, 1);
    (void)close(ready[0]);
    (void)close(ready[1]);
    return child;
}

// The signal that ended the stubborn child once the batch has passed the interrupt on and then
// ended it with SIGTERM itself; 0 when something else went wrong.
int EndingSignal(bool interrupted, std::chrono::milliseconds killGrace)
{
    const pid_t helper = fork();
    if (helper == 0) {
        InterruptWatch interrupts(false);
        if (interrupted)
            (void)raise(SIGINT);
        const pid_t child = StubbornChild();
        InterruptForwarding forwarding(interrupts, killGrace);
        forwarding.Pass({child});
        if (forwarding.Forwarded() != interrupted)
            _exit(0);
        (void)kill(child, SIGTERM);
        int status = 0;
        (void)waitpid(child, &status, 0);
        _exit(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    }
    int status = 0;
    (void)waitpid(helper, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}

}  // namespace

TEST(InterruptForwardingTest, InterruptGoesOnAsSigintAndKillsOnlyAfterTheGrace)
{
    EXPECT_EQ(EndingSignal(true, std::chrono::hours(1)), SIGTERM);   // asked, not yet killed
    EXPECT_EQ(EndingSignal(false, std::chrono::hours(0)), SIGTERM);  // nothing passed on
    EXPECT_EQ(EndingSignal(true, std::chrono::milliseconds(-1)), SIGKILL);
}
