#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "BatchTerminal.h"
#include "ChildChannel.h"
#include "InterruptWatch.h"
#include "RecordingDiscovery.h"
#include "cli/ConvertArguments.h"

// How a worker process is made and what it runs for each recording: fork and the recording's
// conversion; tests put stand-ins in.
struct ChildLaunch {
    std::function<pid_t()> fork;
    // Runs in a worker process with the pipe's writing end, once per recording handed to it;
    // gives the recording's exit status.
    std::function<int(const Recording& recording, int fd)> work;
};

// fork, and the conversion of the recording with its lines and report sent down the pipe.
ChildLaunch ConversionChildren(const ConvertArguments& arguments);

// Converts the recordings in up to --jobs worker processes, each taking one recording after the
// other, telling the batch its lines, report and exit status over a pipe (ChildChannel.h), and
// prints each recording's lines as one block when it ends, in the order of the recordings. A
// worker converts many recordings, so that each finds the memory the last one freed (a process
// new to its memory pays a page fault for every page, which for short recordings cost more than
// the conversion). A recording whose worker cannot be started or ends before its report (a
// signal, a deadline) fails with the reason, on the terminal and in the report; the next
// recording gets a new worker.
class ParallelBatch {
public:
    ParallelBatch(const Discovery& discovery, const ConvertArguments& arguments, const InterruptWatch& interrupts,
                  BatchTerminal& terminal, ChildLaunch launch);

    // 0 when every recording converted, 1 when any failed or the batch was interrupted.
    int Run();

private:
    // A worker process as the batch sees it.
    struct Worker {
        pid_t pid = -1;
        int frames = -1;                  // the reading end of the pipe it talks down
        int commands = -1;                // the batch's end of the socket pair it takes recordings from; -1 once closed
        std::optional<size_t> recording;  // the recording it converts, none while idle
        FrameBuffer received;
    };

    void HandOutRecordings();
    bool StartWorker();
    [[noreturn]] void RunWorker(int commands, int frames);
    void Assign(Worker& worker, size_t recording);
    void CloseCommands(Worker& worker);
    void Wait();
    bool Read(Worker& worker);
    void TakeFrames(Worker& worker);
    void Finish(Worker& worker, int status);
    void End(Worker& worker);
    void Settle(size_t recording, std::optional<int> status, const std::string& reason);
    void Fail(size_t recording, const std::string& problem);
    void PrintFinished();
    std::vector<pid_t> Children() const;

    const Discovery& discovery;
    const ConvertArguments& arguments;
    const InterruptWatch& interrupts;
    BatchTerminal& terminal;
    ChildLaunch launch;
    std::vector<Outcome> outcomes;
    std::vector<Worker> workers;
    size_t next = 0;
    size_t printed = 0;
};

// Why a worker ended before a recording's report, from its wait status: "killed by signal 9
// (Killed)", or "ended with exit status 1 before its report".
std::string ChildEndReason(int waitStatus);
