#include "BatchRun.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "BatchProgress.h"
#include "ChildChannel.h"
#include "ConversionReport.h"
#include "PrintLine.h"
#include "RecordingConversion.h"
#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"

namespace {

const char* const interruptedLine = "varelo-convert: interrupted; the conversions under way were stopped\n";
// How long after a signal a conversion may take to stop at a data record and write its report
// before its process ends where it is; and how long the batch waits for its children to end
// before it ends them.
constexpr std::chrono::milliseconds stopGrace{600};
constexpr std::chrono::milliseconds killGrace{800};

// The input bytes of a recording, for the batch's progress.
int64_t RecordingBytes(const Recording& recording)
{
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(OrvText::Utf8ToWide(recording.directory), cscFiles, eventFile);
    int64_t bytes = 0;
    for (const InputFile& input : DescribeInputs(cscFiles, eventFile))
        bytes += input.size > 0 ? input.size : 0;
    return bytes;
}

void AppendToReport(const ConvertArguments& arguments, const std::string& line)
{
    std::string error;
    if (!arguments.reportFile.empty() && !line.empty()
        && !AppendReportLine(arguments.reportFile, nlohmann::ordered_json::parse(line, nullptr, false), error))
        PrintLine(stderr, "varelo-convert: " + error);
}

// The lines of recordings converted in this process: printed at once. A single recording shows
// its own progress on a terminal; a batch shows the batch's.
class DirectOutput : public RunOutput {
public:
    DirectOutput(const ConvertArguments& arguments, BatchProgress& batch, bool single)
        : arguments(arguments), batch(batch), single(single), terminal(isatty(fileno(stderr)) == 1)
    {
    }

    void Line(const std::string& text) override
    {
        ClearProgress();
        PrintLine(stdout, text);
        std::fflush(stdout);
    }
    void ErrorLine(const std::string& text) override
    {
        ClearProgress();
        PrintLine(stderr, text);
    }
    void Progress(double fraction) override
    {
        if (!single) {
            batch.Update(current, fraction);
            return;
        }
        const int percent = fraction <= 0 ? 0 : fraction >= 1 ? 100 : static_cast<int>(fraction * 100);
        if (!terminal || percent == shownPercent)
            return;
        shownPercent = percent;
        std::fprintf(stderr, "\rConverting... %3d%%", percent);
        std::fflush(stderr);
    }
    void ReportLine(const std::string& json) override { AppendToReport(arguments, json); }

    size_t current = 0;  // the recording converted now

private:
    void ClearProgress()
    {
        batch.Clear();
        if (shownPercent < 0)
            return;
        std::fprintf(stderr, "\r%20s\r", "");
        shownPercent = -1;
    }

    const ConvertArguments& arguments;
    BatchProgress& batch;
    bool single;
    bool terminal;
    int shownPercent = -1;
};

int RunInThisProcess(const Discovery& discovery, const ConvertArguments& arguments, InterruptWatch& interrupts,
                     BatchProgress& progress)
{
    // A run that does not stop at a data record within the grace is ended where it is.
    interrupts.StopWithin(stopGrace, "Conversion Failed\n", interruptedLine);
    LogFile logFile;  // one for the whole program, as the window keeps one for its life
    DirectOutput output(arguments, progress, discovery.recordings.size() == 1);
    int status = 0;
    for (size_t i = 0; i < discovery.recordings.size() && !interrupts.Interrupted(); ++i) {
        output.current = i;
        if (ConvertRecording(discovery.recordings[i], arguments, logFile, output,
                             [&interrupts] { return interrupts.Interrupted(); })
            != 0)
            status = 1;
        progress.Finish(i);
    }
    progress.Clear();
    return interrupts.Interrupted() ? 1 : status;
}

// A recording converted in a child process, as the batch sees it.
struct Job {
    size_t recording = 0;
    pid_t pid = -1;
    int fd = -1;  // the pipe's reading end
    FrameBuffer frames;
};

// What a child's recording printed and reported, kept until its turn to be printed.
struct Outcome {
    bool done = false;
    int status = 1;
    std::vector<std::pair<bool, std::string>> lines;  // (on standard error, text)
    std::string report;
};

[[noreturn]] void RunChild(const Recording& recording, const ConvertArguments& arguments, int fd)
{
    InterruptWatch interrupts(false);                    // further signals are ignored until the report is written
    interrupts.StopWithin(stopGrace, nullptr, nullptr);  // the batch says that it failed
    LogFile logFile;
    PipeOutput output(fd);
    const int status =
        ConvertRecording(recording, arguments, logFile, output, [&interrupts] { return interrupts.Interrupted(); });
    (void)close(fd);
    _exit(status);
}

class ParallelBatch {
public:
    ParallelBatch(const Discovery& discovery, const ConvertArguments& arguments, InterruptWatch& interrupts,
                  BatchProgress& progress)
        : discovery(discovery), arguments(arguments), interrupts(interrupts), progress(progress),
          outcomes(discovery.recordings.size())
    {
    }

    int Run()
    {
        while (next < discovery.recordings.size() || !jobs.empty()) {
            if (interrupts.Interrupted() && !forwarded) {
                for (const Job& job : jobs)
                    (void)kill(job.pid, SIGINT);  // each stops at its next data record
                forwarded = true;
                forwardedAt = std::chrono::steady_clock::now();
            }
            if (forwarded && !killed && std::chrono::steady_clock::now() - forwardedAt > killGrace) {
                for (const Job& job : jobs)
                    (void)kill(job.pid, SIGKILL);  // stuck where even its own deadline cannot end it
                killed = true;
            }
            while (!forwarded && jobs.size() < static_cast<size_t>(arguments.jobs)
                   && next < discovery.recordings.size())
                Start(next++);
            if (jobs.empty())
                break;
            Wait();
            PrintFinished();
        }
        progress.Clear();
        int status = forwarded ? 1 : 0;
        for (const Outcome& outcome : outcomes)
            status = outcome.done && outcome.status == 0 ? status : 1;
        return status;
    }

private:
    void Start(size_t recording)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) {
            Fail(recording, "cannot start a conversion: " + std::string(std::strerror(errno)));
            return;
        }
        std::fflush(nullptr);  // nothing buffered is written twice
        const pid_t pid = fork();
        if (pid == 0) {
            (void)close(pipeEnds[0]);
            for (const Job& job : jobs)
                (void)close(job.fd);
            RunChild(discovery.recordings[recording], arguments, pipeEnds[1]);
        }
        (void)close(pipeEnds[1]);
        if (pid < 0) {
            (void)close(pipeEnds[0]);
            Fail(recording, "cannot start a conversion: " + std::string(std::strerror(errno)));
            return;
        }
        Job job;
        job.recording = recording;
        job.pid = pid;
        job.fd = pipeEnds[0];
        jobs.push_back(std::move(job));
    }

    void Fail(size_t recording, const std::string& problem)
    {
        Outcome& outcome = outcomes[recording];
        outcome.lines.emplace_back(true, "varelo-convert: " + problem);
        outcome.lines.emplace_back(false, OrvText::WideToUtf8(ResultText(-1)));
        outcome.done = true;
    }

    // Reads whatever the children have said within a short while; reaps those that are done.
    void Wait()
    {
        std::vector<pollfd> watched;
        for (const Job& job : jobs)
            watched.push_back({job.fd, POLLIN, 0});
        if (poll(watched.data(), watched.size(), 100) <= 0)
            return;
        for (size_t i = jobs.size(); i-- > 0;) {
            if (watched[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t got = read(jobs[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got > 0) {
                jobs[i].frames.Append(buffer, static_cast<size_t>(got));
                TakeFrames(jobs[i]);
                continue;
            }
            End(jobs[i]);
            jobs.erase(jobs.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }

    void TakeFrames(Job& job)
    {
        Outcome& outcome = outcomes[job.recording];
        FrameType type{};
        std::string payload;
        while (job.frames.Next(type, payload)) {
            if (type == FrameType::Progress)
                progress.Update(job.recording, std::strtod(payload.c_str(), nullptr));
            else if (type == FrameType::Report)
                outcome.report = payload;
            else
                outcome.lines.emplace_back(type == FrameType::ErrorLine, payload);
        }
    }

    void End(Job& job)
    {
        (void)close(job.fd);
        int waitStatus = 0;
        while (waitpid(job.pid, &waitStatus, 0) < 0 && errno == EINTR) {}
        Outcome& outcome = outcomes[job.recording];
        outcome.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 1;
        if (!WIFEXITED(waitStatus))
            outcome.lines.emplace_back(true, "varelo-convert: the conversion of "
                                                 + discovery.recordings[job.recording].directory + " ended by signal "
                                                 + std::to_string(WTERMSIG(waitStatus)));
        if (outcome.report.empty())  // ended before its result: every complete run reports
            outcome.lines.emplace_back(false, OrvText::WideToUtf8(ResultText(-1)));
        outcome.done = true;
        progress.Finish(job.recording);
    }

    // In the recordings' order: a batch run in parallel prints what it prints run one by one.
    void PrintFinished()
    {
        while (printed < outcomes.size() && outcomes[printed].done) {
            progress.Clear();
            for (const auto& [toError, text] : outcomes[printed].lines)
                PrintLine(toError ? stderr : stdout, text);
            std::fflush(stdout);
            AppendToReport(arguments, outcomes[printed].report);
            ++printed;
        }
    }

    const Discovery& discovery;
    const ConvertArguments& arguments;
    InterruptWatch& interrupts;
    BatchProgress& progress;
    std::vector<Outcome> outcomes;
    std::vector<Job> jobs;
    size_t next = 0;
    size_t printed = 0;
    bool forwarded = false;  // the interrupt has been passed on to the children
    std::chrono::steady_clock::time_point forwardedAt{};
    bool killed = false;
};

}  // namespace

int RunBatch(const Discovery& discovery, const ConvertArguments& arguments, InterruptWatch& interrupts)
{
    for (const std::string& problem : discovery.problems)
        PrintLine(stderr, "varelo-convert: " + problem);
    std::vector<int64_t> bytes;
    const bool batch = discovery.recordings.size() > 1;
    const bool terminal = isatty(fileno(stderr)) == 1;
    for (const Recording& recording : discovery.recordings)
        bytes.push_back(batch && terminal ? RecordingBytes(recording) : 0);
    BatchProgress progress(bytes, batch && terminal, stderr);
    const int status = arguments.jobs > 1 && batch ? ParallelBatch(discovery, arguments, interrupts, progress).Run()
                                                   : RunInThisProcess(discovery, arguments, interrupts, progress);
    if (interrupts.Interrupted())
        std::fputs(interruptedLine, stderr);
    return discovery.problems.empty() ? status : 1;
}
