// The batch's fork/pipe scheduler with its processes' ends provoked for real: a child that kills
// itself, one that dies in the middle of a frame, one that ends without its report, a fork that
// fails. Each recording still gets its result line, its error in words and a line in the report.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BatchProgress.h"
#include "BatchTerminal.h"
#include "ChildChannel.h"
#include "InterruptWatch.h"
#include "ParallelBatch.h"
#include "logging/WriteAll.h"
#include "tests/support/TempDir.h"

namespace {

using json = nlohmann::ordered_json;
using Work = std::function<int(const Recording&, int)>;

std::string Contents(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, got);
    return text;
}

int Reports(const Recording&, int fd)
{
    PipeOutput output(fd);
    output.Line("Conversion Complete");
    output.ReportLine(R"({"recording":"done","result":"complete"})");
    return 0;
}

int KillsItself(const Recording&, int)
{
    (void)raise(SIGKILL);
    return 0;
}

int DiesMidFrame(const Recording&, int fd)
{
    PipeOutput output(fd);
    output.Line("said whole");
    (void)WriteAll(fd, std::string("O\x20\x00\x00\x00"
                                   "half a li",
                                   14));
    (void)raise(SIGKILL);
    return 0;
}

int EndsWithoutReport(const Recording&, int fd)
{
    PipeOutput output(fd);
    output.Line("said whole");
    return 3;
}

pid_t ForkRefused()
{
    errno = EAGAIN;
    return -1;
}

}  // namespace

class ParallelBatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        arguments.jobs = 2;
        arguments.reportFile = (dir.path / "batch.jsonl").string();
        for (const char* name : {"first", "second"})
            discovery.recordings.push_back({(dir.path / name).string(), {}, {}});
    }
    void TearDown() override
    {
        std::fclose(out);
        std::fclose(err);
    }

    int Run(
        Work work, std::function<pid_t()> fork = [] { return ::fork(); })
    {
        BatchProgress progress(std::vector<int64_t>(discovery.recordings.size(), 0), false, err);
        BatchTerminal terminal(out, err, progress, arguments.reportFile);
        return ParallelBatch(discovery, arguments, interrupts, terminal, {std::move(fork), std::move(work)}).Run();
    }

    std::vector<json> ReportLines()
    {
        std::vector<json> lines;
        for (const std::string& line : NonEmptyLines(arguments.reportFile))
            lines.push_back(json::parse(line));
        return lines;
    }

    TempDir dir;
    ConvertArguments arguments;
    Discovery discovery;
    InterruptWatch interrupts{true};
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
};

TEST_F(ParallelBatchTest, ChildrenThatReportArePrintedAndReportedInTheirOrder)
{
    EXPECT_EQ(Run(Reports), 0);
    EXPECT_EQ(Contents(out), "Conversion Complete\nConversion Complete\n");
    EXPECT_EQ(Contents(err), "");
    const std::vector<json> lines = ReportLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].dump(), R"({"recording":"done","result":"complete"})");
}

TEST_F(ParallelBatchTest, RecordingWhoseProcessEndsBeforeItsReportFailsWithTheReason)
{
    struct Case {
        const char* name;
        Work work;
        std::function<pid_t()> fork;
        std::string reason;  // after the recording's directory
        std::string printed;
    };
    const std::vector<Case> cases = {
        {"killed", KillsItself, [] { return ::fork(); }, ": killed by signal 9 (Killed)", ""},
        {"dead mid-frame", DiesMidFrame, [] { return ::fork(); }, ": killed by signal 9 (Killed)", "said whole\n"},
        {"no report", EndsWithoutReport, [] { return ::fork(); }, ": ended with exit status 3 before its report",
         "said whole\n"},
        {"fork refused", Reports, ForkRefused, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        discovery.recordings.resize(1);
        const std::string recording = discovery.recordings[0].directory;
        const std::string problem =
            c.reason.empty() ? "cannot start the conversion of " + recording + ": Resource temporarily unavailable"
                             : "the conversion of " + recording + c.reason;
        std::FILE* output = out;
        std::FILE* errors = err;
        out = std::tmpfile();
        err = std::tmpfile();
        (void)std::remove(arguments.reportFile.c_str());

        EXPECT_EQ(Run(c.work, c.fork), 1);
        EXPECT_EQ(Contents(out), c.printed + "Conversion Failed\n");
        EXPECT_EQ(Contents(err), "varelo-convert: " + problem + "\n");
        const std::vector<json> lines = ReportLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["recording"], recording);
        EXPECT_EQ(lines[0]["output_directory"], recording);
        EXPECT_EQ(lines[0]["result"], "failed");
        EXPECT_EQ(lines[0]["messages"], json::parse(R"([{"type":"Error","text":")" + problem + R"("}])"));
        EXPECT_EQ(lines[0]["options"]["jobs"], 2);
        std::fclose(output);
        std::fclose(errors);
    }
}

TEST_F(ParallelBatchTest, DeadChildFailsTheBatchWhileTheOthersAreStillPrintedInOrder)
{
    const Work work = [this](const Recording& recording, int fd) {
        return recording.directory == discovery.recordings[0].directory ? KillsItself(recording, fd)
                                                                        : Reports(recording, fd);
    };
    EXPECT_EQ(Run(work), 1);
    EXPECT_EQ(Contents(out), "Conversion Failed\nConversion Complete\n");
    const std::vector<json> lines = ReportLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["result"], "failed");
    EXPECT_EQ(lines[1]["result"], "complete");
}

TEST_F(ParallelBatchTest, ChildKilledAfterItsReportKeepsItButFails)
{
    const Work work = [](const Recording& recording, int fd) {
        (void)Reports(recording, fd);
        return KillsItself(recording, fd);
    };
    discovery.recordings.resize(1);
    EXPECT_EQ(Run(work), 1);
    EXPECT_EQ(Contents(out), "Conversion Complete\n");
    EXPECT_EQ(Contents(err), "varelo-convert: the conversion of " + discovery.recordings[0].directory
                                 + ": killed by signal 9 (Killed)\n");
    const std::vector<json> lines = ReportLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["result"], "complete");
}

TEST_F(ParallelBatchTest, WorkersTakeOneRecordingAfterTheOtherAndADeadOneIsReplaced)
{
    // Each recording says which process converted it; the third kills its worker.
    discovery.recordings.clear();
    for (int i = 0; i < 7; ++i)
        discovery.recordings.push_back({(dir.path / ("r" + std::to_string(i))).string(), {}, {}});
    const std::string third = discovery.recordings[2].directory;
    const Work work = [&third](const Recording& recording, int fd) {
        if (recording.directory == third)
            return KillsItself(recording, fd);
        PipeOutput output(fd);
        output.Line(std::to_string(getpid()));
        output.ReportLine(R"({"result":"complete"})");
        return 0;
    };
    EXPECT_EQ(Run(work), 1);
    std::vector<std::string> printed;
    std::istringstream lines(Contents(out));
    for (std::string line; std::getline(lines, line);)
        printed.push_back(line);
    ASSERT_EQ(printed.size(), 7u);
    EXPECT_EQ(printed[2], "Conversion Failed");
    std::set<std::string> processes(printed.begin(), printed.end());
    processes.erase("Conversion Failed");
    // two workers, and one more for the one killed: six recordings in at most three processes
    EXPECT_GE(processes.size(), 2u);
    EXPECT_LE(processes.size(), 3u);
    EXPECT_EQ(Contents(err), "varelo-convert: the conversion of " + third + ": killed by signal 9 (Killed)\n");
    const std::vector<json> reports = ReportLines();
    ASSERT_EQ(reports.size(), 7u);
    for (size_t i = 0; i < reports.size(); ++i)
        EXPECT_EQ(reports[i]["result"], i == 2 ? "failed" : "complete") << i;
}

TEST(ChildEndReasonTest, NamesTheSignalOrTheExitStatus)
{
    // Wait statuses as Linux encodes them: the signal in the low 7 bits, the exit status above.
    EXPECT_EQ(ChildEndReason(9), "killed by signal 9 (Killed)");
    EXPECT_EQ(ChildEndReason(15), "killed by signal 15 (Terminated)");
    EXPECT_EQ(ChildEndReason(1 << 8), "ended with exit status 1 before its report");
    EXPECT_EQ(ChildEndReason(0), "ended with exit status 0 before its report");
}

TEST_F(ParallelBatchTest, InterruptedBatchFailsEvenWhenEveryChildCompleted)
{
    // The child interrupts the batch and still completes: the batch says it was interrupted. In a
    // process of its own, as the interrupt stays noted in the process that takes it.
    const pid_t helper = fork();
    if (helper == 0) {
        InterruptWatch ownInterrupts(false);
        const Work work = [](const Recording& recording, int fd) {
            (void)kill(getppid(), SIGINT);
            return Reports(recording, fd);
        };
        discovery.recordings.resize(1);
        BatchProgress progress({0}, false, err);
        BatchTerminal terminal(out, err, progress, arguments.reportFile);
        const int status =
            ParallelBatch(discovery, arguments, ownInterrupts, terminal, {[] { return ::fork(); }, work}).Run();
        _exit(status == 1 && ownInterrupts.Interrupted() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(helper, &status, 0), helper);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the batch's status was not 1";
    EXPECT_EQ(ReportLines().at(0)["result"], "complete");
}
