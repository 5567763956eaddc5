#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "BatchTerminal.h"
#include "ChildChannel.h"
#include "InterruptWatch.h"
#include "RecordingDiscovery.h"
#include "cli/ConvertArguments.h"

// How a recording's process is made and what it runs there: fork and the recording's
// conversion; tests put stand-ins in.
struct ChildLaunch {
    std::function<pid_t()> fork;
    // Runs in the new process with the pipe's writing end; gives the process's exit status.
    std::function<int(const Recording& recording, int fd)> work;
};

// fork, and the conversion of the recording with its lines and report sent down the pipe.
ChildLaunch ConversionChildren(const ConvertArguments& arguments);

// Converts the recordings in processes of their own, up to --jobs at once, each telling the batch
// its lines and report over a pipe (ChildChannel.h), and prints each recording's lines as one
// block when it ends, in the order of the recordings. A recording whose process cannot be started
// or ends before its report (a signal, a deadline) fails with the reason, on the terminal and in
// the report.
class ParallelBatch {
public:
    ParallelBatch(const Discovery& discovery, const ConvertArguments& arguments, const InterruptWatch& interrupts,
                  BatchTerminal& terminal, ChildLaunch launch);

    // 0 when every recording converted, 1 when any failed or the batch was interrupted.
    int Run();

private:
    // A recording converted in a child process, as the batch sees it.
    struct Job {
        size_t recording = 0;
        pid_t pid = -1;
        int fd = -1;  // the pipe's reading end
        FrameBuffer frames;
    };

    void Start(size_t recording);
    [[noreturn]] void RunChild(size_t recording, int fd);
    void Wait();
    bool Read(Job& job);
    void TakeFrames(Job& job);
    void End(Job& job);
    void Fail(size_t recording, const std::string& problem);
    void PrintFinished();
    std::vector<pid_t> Children() const;

    const Discovery& discovery;
    const ConvertArguments& arguments;
    const InterruptWatch& interrupts;
    BatchTerminal& terminal;
    ChildLaunch launch;
    std::vector<Outcome> outcomes;
    std::vector<Job> jobs;
    size_t next = 0;
    size_t printed = 0;
};

// Why a child's process ended before its report, from its wait status: "killed by signal 9
// (Killed)", or "ended with exit status 1 before its report".
std::string ChildEndReason(int waitStatus);
