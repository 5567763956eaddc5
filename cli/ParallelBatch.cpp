#include "ParallelBatch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "ConversionReport.h"
#include "InterruptForwarding.h"
#include "RecordingConversion.h"
#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"

namespace {

// How long the batch waits for its children to stop after passing an interrupt on, before it
// ends them.
constexpr std::chrono::milliseconds killGrace{800};
// How long one turn of the batch waits for a child to say something.
constexpr int turnMilliseconds = 100;

std::string EndedWithoutReportReason(int status)
{
    return "ended with exit status " + std::to_string(status) + " before its report";
}

}  // namespace

ChildLaunch ConversionChildren(const ConvertArguments& arguments)
{
    ChildLaunch launch;
    launch.fork = [] { return fork(); };
    launch.work = [&arguments](const Recording& recording, int fd) {
        InterruptWatch interrupts(false);                    // further signals are ignored until the report is written
        interrupts.StopWithin(stopGrace, nullptr, nullptr);  // the batch says that it failed
        LogFile logFile;
        PipeOutput output(fd);
        return ConvertRecording(recording, arguments, logFile, output,
                                [&interrupts] { return interrupts.Interrupted(); });
    };
    return launch;
}

std::string ChildEndReason(int waitStatus)
{
    if (WIFSIGNALED(waitStatus)) {
        const int signalNumber = WTERMSIG(waitStatus);
        return "killed by signal " + std::to_string(signalNumber) + " (" + strsignal(signalNumber) + ")";
    }
    return EndedWithoutReportReason(WEXITSTATUS(waitStatus));
}

ParallelBatch::ParallelBatch(const Discovery& discovery, const ConvertArguments& arguments,
                             const InterruptWatch& interrupts, BatchTerminal& terminal, ChildLaunch launch)
    : discovery(discovery), arguments(arguments), interrupts(interrupts), terminal(terminal), launch(std::move(launch)),
      outcomes(discovery.recordings.size())
{
}

int ParallelBatch::Run()
{
    InterruptForwarding forwarding(interrupts, killGrace);
    while (!workers.empty() || (next < discovery.recordings.size() && !forwarding.Forwarded())) {
        forwarding.Pass(Children());
        if (forwarding.Forwarded()) {
            for (Worker& worker : workers)  // no recording is handed out any more
                CloseCommands(worker);
        } else {
            HandOutRecordings();
        }
        if (!workers.empty())
            Wait();
        PrintFinished();  // a recording that could not start is done at once
    }
    terminal.Progress().Clear();
    int status = interrupts.Interrupted() ? 1 : 0;  // also when it came in the last turn
    for (const Outcome& outcome : outcomes)
        status = outcome.done && outcome.status == 0 ? status : 1;
    return status;
}

// Idle workers take the next recordings, new workers are started for the rest up to --jobs, and
// idle workers are let go once every recording is handed out.
void ParallelBatch::HandOutRecordings()
{
    for (Worker& worker : workers) {
        if (!worker.recording && next < discovery.recordings.size())
            Assign(worker, next++);
    }
    while (next < discovery.recordings.size() && workers.size() < static_cast<size_t>(arguments.jobs)) {
        if (StartWorker())
            Assign(workers.back(), next);
        ++next;
    }
    for (Worker& worker : workers) {
        if (!worker.recording)
            CloseCommands(worker);
    }
}

// A new worker for recording `next`; when it cannot be started, that recording fails.
bool ParallelBatch::StartWorker()
{
    const auto cannotStart = [this](int errorNumber) {
        Fail(next, "cannot start the conversion of " + discovery.recordings[next].directory + ": "
                       + std::strerror(errorNumber));
        return false;
    };
    int framePipe[2];
    int commandSockets[2];  // a socket pair, so that handing a recording to a dead worker raises no SIGPIPE
    if (pipe(framePipe) != 0)
        return cannotStart(errno);
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, commandSockets) != 0) {
        const int errorNumber = errno;
        (void)close(framePipe[0]);
        (void)close(framePipe[1]);
        return cannotStart(errorNumber);
    }
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = launch.fork();
    if (pid == 0) {
        (void)close(framePipe[0]);
        (void)close(commandSockets[1]);
        RunWorker(commandSockets[0], framePipe[1]);
    }
    const int forkError = errno;
    (void)close(framePipe[1]);
    (void)close(commandSockets[0]);
    if (pid < 0) {
        (void)close(framePipe[0]);
        (void)close(commandSockets[1]);
        return cannotStart(forkError);
    }
    Worker worker;
    worker.pid = pid;
    worker.frames = framePipe[0];
    worker.commands = commandSockets[1];
    workers.push_back(std::move(worker));
    return true;
}

void ParallelBatch::RunWorker(int commands, int frames)
{
    for (const Worker& worker : workers) {  // the other workers' pipes are theirs
        (void)close(worker.frames);
        if (worker.commands >= 0)
            (void)close(worker.commands);
    }
    // A batch that is gone, or that closed the pipe, has no recording left for this worker.
    uint32_t index = 0;
    while (ReceiveRecordingIndex(commands, index) && index < discovery.recordings.size()) {
        const int status = launch.work(discovery.recordings[index], frames);
        PipeOutput(frames).Ended(status);
    }
    (void)close(frames);
    _exit(0);
}

void ParallelBatch::Assign(Worker& worker, size_t recording)
{
    worker.recording = recording;
    if (!SendRecordingIndex(worker.commands, static_cast<uint32_t>(recording)))
        CloseCommands(worker);  // the worker is gone: its end is read next
}

void ParallelBatch::CloseCommands(Worker& worker)
{
    if (worker.commands < 0)
        return;
    (void)close(worker.commands);
    worker.commands = -1;
}

// Reads whatever the workers have said within a short while; reaps those that are done.
void ParallelBatch::Wait()
{
    std::vector<pollfd> watched;
    for (const Worker& worker : workers)
        watched.push_back({worker.frames, POLLIN, 0});
    if (poll(watched.data(), watched.size(), turnMilliseconds) <= 0)
        return;
    for (size_t i = workers.size(); i-- > 0;) {
        if (watched[i].revents == 0 || Read(workers[i]))
            continue;
        End(workers[i]);
        workers.erase(workers.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

// false once the worker has closed its end of the pipe.
bool ParallelBatch::Read(Worker& worker)
{
    char buffer[65536];
    const ssize_t got = read(worker.frames, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
        return true;
    if (got <= 0)
        return false;
    worker.received.Append(buffer, static_cast<size_t>(got));
    TakeFrames(worker);
    return true;
}

void ParallelBatch::TakeFrames(Worker& worker)
{
    FrameType type{};
    std::string payload;
    while (worker.recording && worker.received.Next(type, payload)) {
        Outcome& outcome = outcomes[*worker.recording];
        if (type == FrameType::Progress)
            terminal.Progress().Update(*worker.recording, std::strtod(payload.c_str(), nullptr));
        else if (type == FrameType::Report)
            outcome.report = payload;
        else if (type == FrameType::Ended)
            Finish(worker, std::atoi(payload.c_str()));
        else
            outcome.lines.emplace_back(type == FrameType::ErrorLine, payload);
    }
}

// The worker's recording ended with `status`; the worker is idle again.
void ParallelBatch::Finish(Worker& worker, int status)
{
    const size_t recording = *worker.recording;
    worker.recording.reset();
    Settle(recording, status, EndedWithoutReportReason(status));
}

// The worker's process has ended; the recording it was converting, if any, fails with the reason.
void ParallelBatch::End(Worker& worker)
{
    (void)close(worker.frames);
    CloseCommands(worker);
    int waitStatus = 0;
    while (waitpid(worker.pid, &waitStatus, 0) < 0 && errno == EINTR) {}
    if (!worker.recording)
        return;
    // one that reported and then exited where it was keeps its report, and fails
    const std::optional<int> status =
        WIFEXITED(waitStatus) ? std::optional<int>(std::max(1, WEXITSTATUS(waitStatus))) : std::nullopt;
    Settle(*worker.recording, status, ChildEndReason(waitStatus));
}

// A recording that ended with `status` (none: killed) is done with it once it has reported;
// otherwise it fails for `reason`. Every recording reports, one that failed too.
void ParallelBatch::Settle(size_t recording, std::optional<int> status, const std::string& reason)
{
    terminal.Progress().Finish(recording);
    Outcome& outcome = outcomes[recording];
    if (status && !outcome.report.empty()) {
        outcome.status = *status;
        outcome.done = true;
        return;
    }
    Fail(recording, "the conversion of " + discovery.recordings[recording].directory + ": " + reason);
}

// A recording whose process failed to start or ended before its result: its error, and, unless it
// reported already, the result line and a failed report naming the reason.
void ParallelBatch::Fail(size_t recording, const std::string& problem)
{
    Outcome& outcome = outcomes[recording];
    outcome.lines.emplace_back(true, "varelo-convert: " + problem);
    if (outcome.report.empty()) {
        const Recording& failed = discovery.recordings[recording];
        outcome.lines.emplace_back(false, OrvText::WideToUtf8(ResultText(-1)));
        outcome.report = ReportText(
            ReportJson(FailedRecording(failed.directory, OutputDirectoryOf(failed), problem), arguments), -1);
    }
    outcome.status = 1;
    outcome.done = true;
}

// In the recordings' order: a batch run in parallel prints what it prints run one by one.
void ParallelBatch::PrintFinished()
{
    while (printed < outcomes.size() && outcomes[printed].done)
        terminal.Print(outcomes[printed++]);
}

std::vector<pid_t> ParallelBatch::Children() const
{
    std::vector<pid_t> children;
    for (const Worker& worker : workers)
        children.push_back(worker.pid);
    return children;
}
