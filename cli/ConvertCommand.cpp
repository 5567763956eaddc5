#include "cli/ConvertCommand.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "BatchRun.h"
#include "InterruptWatch.h"
#include "PrintLine.h"
#include "RecordingDiscovery.h"
#include "VareloVersion.h"
#include "cli/ConvertArguments.h"
#include "engine/ChannelChoice.h"
#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"

namespace {

int ListRecordings(const Discovery& discovery)
{
    for (const std::string& problem : discovery.problems)
        PrintLine(stderr, "varelo-convert: " + problem);
    for (const Recording& recording : discovery.recordings)
        PrintLine(stdout, recording.directory);
    return discovery.problems.empty() ? 0 : 1;
}

// Whether `options` names only channels that `recording` has (ChooseChannels); false with the
// usage error, which names the option and its value. --recursive leaves this to each recording's
// conversion, where such a name is an Error of that recording.
bool NamesChannelsOf(const Recording& recording, const ConversionOptions& options, std::string& error)
{
    struct stat info {};
    if (stat(recording.directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return true;  // its conversion says why it cannot be read
    std::vector<std::wstring> files;
    std::wstring eventFile;
    ScanDirectory(OrvText::Utf8ToWide(recording.directory), files, eventFile, ChannelOrderOf(options));
    ConversionOptions labelsOnly;
    labelsOnly.labels = options.labels;
    ConversionOptions channelsOnly;
    channelsOnly.channels = options.channels;
    std::string reason;
    if (!ChooseChannels(labelsOnly, files, reason)) {
        error = "--label/--labels: " + recording.directory + ": " + reason;
        return false;
    }
    if (!ChooseChannels(channelsOnly, files, reason)) {
        std::string list;
        for (const std::string& entry : options.channels)
            list += (list.empty() ? "" : ",") + entry;
        error = "--channels " + list + ": " + recording.directory + ": " + reason;
        return false;
    }
    return true;
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
    for (size_t i = 0; !arguments.recursive && i < discovery.recordings.size(); ++i) {
        if (!NamesChannelsOf(discovery.recordings[i], arguments.options, error)) {
            PrintLine(stderr, "varelo-convert: " + error);
            return 2;
        }
    }
    InterruptWatch interrupts(true);
    return RunBatch(discovery, arguments, interrupts);
}
