#include "BatchRun.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "BatchProgress.h"
#include "BatchTerminal.h"
#include "ConversionReport.h"
#include "DirectOutput.h"
#include "ParallelBatch.h"
#include "PrintLine.h"
#include "RecordingConversion.h"
#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"

namespace {

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

int RunInThisProcess(const Discovery& discovery, const ConvertArguments& arguments, InterruptWatch& interrupts,
                     BatchTerminal& terminal, bool onTerminal)
{
    // A run that does not stop at a data record within the grace is ended where it is.
    interrupts.StopWithin(stopGrace, "Conversion Failed\n", interruptedLine);
    LogFile logFile;  // one for the whole program, as the window keeps one for its life
    DirectOutput output(terminal, discovery.recordings.size() == 1, onTerminal);
    int status = 0;
    for (size_t i = 0; i < discovery.recordings.size() && !interrupts.Interrupted(); ++i) {
        output.current = i;
        if (ConvertRecording(discovery.recordings[i], arguments, logFile, output,
                             [&interrupts] { return interrupts.Interrupted(); })
            != 0)
            status = 1;
        terminal.Progress().Finish(i);
    }
    terminal.Progress().Clear();
    return interrupts.Interrupted() ? 1 : status;
}

}  // namespace

int RunBatch(const Discovery& discovery, const ConvertArguments& arguments, InterruptWatch& interrupts)
{
    for (const std::string& problem : discovery.problems)
        PrintLine(stderr, "varelo-convert: " + problem);
    std::vector<int64_t> bytes;
    const bool batch = discovery.recordings.size() > 1;
    const bool onTerminal = isatty(fileno(stderr)) == 1;
    for (const Recording& recording : discovery.recordings)
        bytes.push_back(batch && onTerminal ? RecordingBytes(recording) : 0);
    BatchProgress progress(bytes, batch && onTerminal, stderr);
    BatchTerminal terminal(stdout, stderr, progress, arguments.reportFile);
    const int status =
        arguments.jobs > 1 && batch
            ? ParallelBatch(discovery, arguments, interrupts, terminal, ConversionChildren(arguments)).Run()
            : RunInThisProcess(discovery, arguments, interrupts, terminal, onTerminal);
    if (interrupts.Interrupted())
        terminal.Interrupted();
    return discovery.problems.empty() ? status : 1;
}
