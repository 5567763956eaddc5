#include "InterruptWatch.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

// What the handlers share with the program; written before the handlers are installed, or by
// the handlers themselves.
volatile sig_atomic_t interrupted = 0;
volatile sig_atomic_t restoreDefault = 0;
volatile sig_atomic_t deadlineArmed = 0;
timer_t deadline{};
bool deadlineCreated = false;  // one timer for the process, whatever the watches it has in turn
itimerspec grace{};
const char* lastOutput = nullptr;
const char* lastError = nullptr;

void WriteText(int fd, const char* text)
{
    if (text == nullptr)
        return;
    for (size_t left = std::strlen(text); left > 0;) {
        const ssize_t written = write(fd, text, left);
        if (written <= 0)
            return;  // nothing more can be said
        text += written;
        left -= static_cast<size_t>(written);
    }
}

void Install(int signalNumber, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the run's reads and writes go on; it looks at the flag
    (void)sigaction(signalNumber, &action, nullptr);
}

void OnInterrupt(int)
{
    const int savedErrno = errno;
    if (interrupted == 0) {
        interrupted = 1;
        if (deadlineArmed != 0)
            (void)timer_settime(deadline, 0, &grace, nullptr);
        if (restoreDefault != 0) {
            Install(SIGINT, SIG_DFL);
            Install(SIGTERM, SIG_DFL);
        }
    }
    errno = savedErrno;
}

// Only the handlers' own functions here: the program may be anywhere, holding any lock.
void OnDeadline(int)
{
    if (deadlineArmed == 0)
        return;
    WriteText(STDOUT_FILENO, lastOutput);
    WriteText(STDERR_FILENO, lastError);
    _exit(1);
}

}  // namespace

InterruptWatch::InterruptWatch(bool restoreAfterFirst)
{
    restoreDefault = restoreAfterFirst ? 1 : 0;
    // Signals held back by whoever started this process are taken from now on.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    Install(SIGINT, OnInterrupt);
    Install(SIGTERM, OnInterrupt);
    (void)sigprocmask(SIG_UNBLOCK, &signals, nullptr);
}

InterruptWatch::~InterruptWatch()
{
    deadlineArmed = 0;
}

void InterruptWatch::StopWithin(std::chrono::milliseconds graceTime, const char* standardOutput,
                                const char* standardError)
{
    lastOutput = standardOutput;
    lastError = standardError;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(graceTime);
    grace.it_value.tv_sec = static_cast<time_t>(seconds.count());
    grace.it_value.tv_nsec = static_cast<long>(std::chrono::nanoseconds(graceTime - seconds).count());
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = SIGALRM;
    if (!deadlineCreated && timer_create(CLOCK_MONOTONIC, &event, &deadline) != 0)
        return;  // without a timer the run still stops at its next data record
    deadlineCreated = true;
    Install(SIGALRM, OnDeadline);
    deadlineArmed = 1;
    if (interrupted != 0)  // the signal came before the deadline was set
        (void)timer_settime(deadline, 0, &grace, nullptr);
}

bool InterruptWatch::Interrupted() const
{
    return interrupted != 0;
}
