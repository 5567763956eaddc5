#include "cli/ConvertCommand.h"

#include <cstdio>
#include <string>

#include "BatchRun.h"
#include "InterruptWatch.h"
#include "PrintLine.h"
#include "RecordingDiscovery.h"
#include "VareloVersion.h"
#include "cli/ConvertArguments.h"

namespace {

int ListRecordings(const Discovery& discovery)
{
    for (const std::string& problem : discovery.problems)
        PrintLine(stderr, "varelo-convert: " + problem);
    for (const Recording& recording : discovery.recordings)
        PrintLine(stdout, recording.directory);
    return discovery.problems.empty() ? 0 : 1;
}

}  // namespace

int RunConvertCommand(int argc, char** argv)
{
    const ConvertArguments arguments = ParseConvertArguments(argc, argv);
    switch (arguments.request) {
    case ConvertArguments::Request::Help:
        std::fputs(ConvertUsage(), stdout);
        return 0;
    case ConvertArguments::Request::Version:
        std::puts("varelo-convert (Velquor Varelo) " VARELO_VERSION);
        return 0;
    case ConvertArguments::Request::UsageError:
        PrintLine(stderr, "varelo-convert: " + arguments.error);
        std::fprintf(stderr, "\n%s", ConvertUsage());
        return 2;
    case ConvertArguments::Request::List:
    case ConvertArguments::Request::Run:
        break;
    }
    Discovery discovery;
    std::string error;
    if (!DiscoverRecordings(arguments, discovery, error)) {
        PrintLine(stderr, "varelo-convert: " + error);
        return 2;
    }
    if (arguments.request == ConvertArguments::Request::List)
        return ListRecordings(discovery);
    InterruptWatch interrupts(true);
    return RunBatch(discovery, arguments, interrupts);
}
