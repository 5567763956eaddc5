// varelo-convert: converts recording directories to EDF+ from the command line, exactly as the
// window's button does after the folder browser; and whole trees of them, in parallel if asked.
#include <cstdio>
#include <string>

#include "VareloVersion.h"
#include "tools/BatchRun.h"
#include "tools/ConvertArguments.h"
#include "tools/PrintLine.h"
#include "tools/RecordingDiscovery.h"

int main(int argc, char** argv)
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
    if (arguments.request == ConvertArguments::Request::List) {
        for (const std::string& problem : discovery.problems)
            PrintLine(stderr, "varelo-convert: " + problem);
        for (const Recording& recording : discovery.recordings)
            PrintLine(stdout, recording.directory);
        return discovery.problems.empty() ? 0 : 1;
    }
    InterruptWatch interrupts(true);
    return RunBatch(discovery, arguments, interrupts);
}
