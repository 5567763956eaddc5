#include "ParallelBatch.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
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
    return "ended with exit status " + std::to_string(WEXITSTATUS(waitStatus)) + " before its report";
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
    while (next < discovery.recordings.size() || !jobs.empty()) {
        forwarding.Pass(Children());
        while (!forwarding.Forwarded() && jobs.size() < static_cast<size_t>(arguments.jobs)
               && next < discovery.recordings.size())
            Start(next++);
        if (!jobs.empty())
            Wait();
        PrintFinished();  // a recording that could not start is done at once
        if (jobs.empty() && forwarding.Forwarded())
            break;
    }
    terminal.Progress().Clear();
    int status = interrupts.Interrupted() ? 1 : 0;  // also when it came in the last turn
    for (const Outcome& outcome : outcomes)
        status = outcome.done && outcome.status == 0 ? status : 1;
    return status;
}

void ParallelBatch::Start(size_t recording)
{
    const std::string& directory = discovery.recordings[recording].directory;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        Fail(recording, "cannot start the conversion of " + directory + ": " + std::strerror(errno));
        return;
    }
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = launch.fork();
    if (pid == 0) {
        (void)close(pipeEnds[0]);
        RunChild(recording, pipeEnds[1]);
    }
    const int forkError = errno;
    (void)close(pipeEnds[1]);
    if (pid < 0) {
        (void)close(pipeEnds[0]);
        Fail(recording, "cannot start the conversion of " + directory + ": " + std::strerror(forkError));
        return;
    }
    Job job;
    job.recording = recording;
    job.pid = pid;
    job.fd = pipeEnds[0];
    jobs.push_back(std::move(job));
}

void ParallelBatch::RunChild(size_t recording, int fd)
{
    for (const Job& job : jobs)
        (void)close(job.fd);
    const int status = launch.work(discovery.recordings[recording], fd);
    (void)close(fd);
    _exit(status);
}

// Reads whatever the children have said within a short while; reaps those that are done.
void ParallelBatch::Wait()
{
    std::vector<pollfd> watched;
    for (const Job& job : jobs)
        watched.push_back({job.fd, POLLIN, 0});
    if (poll(watched.data(), watched.size(), turnMilliseconds) <= 0)
        return;
    for (size_t i = jobs.size(); i-- > 0;) {
        if (watched[i].revents == 0 || Read(jobs[i]))
            continue;
        End(jobs[i]);
        jobs.erase(jobs.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

// false once the child has closed its end of the pipe.
bool ParallelBatch::Read(Job& job)
{
    char buffer[65536];
    const ssize_t got = read(job.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
        return true;
    if (got <= 0)
        return false;
    job.frames.Append(buffer, static_cast<size_t>(got));
    TakeFrames(job);
    return true;
}

void ParallelBatch::TakeFrames(Job& job)
{
    Outcome& outcome = outcomes[job.recording];
    FrameType type{};
    std::string payload;
    while (job.frames.Next(type, payload)) {
        if (type == FrameType::Progress)
            terminal.Progress().Update(job.recording, std::strtod(payload.c_str(), nullptr));
        else if (type == FrameType::Report)
            outcome.report = payload;
        else
            outcome.lines.emplace_back(type == FrameType::ErrorLine, payload);
    }
}

void ParallelBatch::End(Job& job)
{
    (void)close(job.fd);
    int waitStatus = 0;
    while (waitpid(job.pid, &waitStatus, 0) < 0 && errno == EINTR) {}
    Outcome& outcome = outcomes[job.recording];
    terminal.Progress().Finish(job.recording);
    const bool exited = WIFEXITED(waitStatus);
    if (!exited || outcome.report.empty()) {  // every recording reports, one that died too
        Fail(job.recording,
             "the conversion of " + discovery.recordings[job.recording].directory + ": " + ChildEndReason(waitStatus));
        return;
    }
    outcome.status = WEXITSTATUS(waitStatus);
    outcome.done = true;
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
    for (const Job& job : jobs)
        children.push_back(job.pid);
    return children;
}
