#include "tools/ConvertArguments.h"

#include <getopt.h>

namespace {

constexpr const char* usageText =
    "Usage: varelo-convert [OPTION]... DIRECTORY...\n"
    "\n"
    "Converts each recording DIRECTORY in turn into EDF+ files written beside the data:\n"
    "every channel file (*.ocs) becomes one EDF signal, the first event file (*.oev) gives the\n"
    "annotations, and each gap-free stretch of the recording becomes its own file, named from\n"
    "DevOutput.edf (DevOutput_01.edf, ... when that name is taken; nothing is overwritten).\n"
    "Every message is written to VareloLogFile.txt in the directory and printed here as its log\n"
    "line; each directory ends with the line \"Conversion Complete\" or \"Conversion Failed\".\n"
    "\n"
    "Options:\n"
    "  -q, --quiet         print only the result line of each directory\n"
    "      --exact-timing  data records whose duration is exactly their samples / sampling rate,\n"
    "                      so that EDF readers see the true rate (the usual sizing can make them\n"
    "                      drift by up to seconds per hour), the first record starting at the\n"
    "                      fraction of a second of the first sample\n"
    "      --unit UNIT     the physical dimension of every channel, for example uV (the input\n"
    "                      range is in microvolts); 1 to 8 printable ASCII characters. Without it\n"
    "                      the dimension is blank, which readers may take for volts\n"
    "      --verify        read every EDF+ file back once it is written and compare every sample\n"
    "                      and annotation with what was converted; a mismatch fails the directory\n"
    "  -h, --help          show this help and exit\n"
    "      --version       show the version and exit\n"
    "\n"
    "Every option is off by default; without options the files are written as they always were.\n"
    "\n"
    "Exit status: 0 when every directory converted, 1 when any failed, 2 for a usage error.\n";

enum OptionCode { ExactTiming = 1000, Unit, Verify, Version };

const option longOptions[] = {
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, Version},
    {"exact-timing", no_argument, nullptr, ExactTiming},
    {"unit", required_argument, nullptr, Unit},
    {"verify", no_argument, nullptr, Verify},
    {nullptr, 0, nullptr, 0},
};

ConvertArguments UsageError(std::string error)
{
    ConvertArguments arguments;
    arguments.request = ConvertArguments::Request::UsageError;
    arguments.error = std::move(error);
    return arguments;
}

}  // namespace

ConvertArguments ParseConvertArguments(int argc, char** argv)
{
    ConvertArguments arguments;
    optind = 0;  // a fresh scan, also when called more than once
    opterr = 0;  // the errors are told here, once
    int code = 0;
    while ((code = getopt_long(argc, argv, ":qh", longOptions, nullptr)) != -1) {
        switch (code) {
        case 'q':
            arguments.quiet = true;
            break;
        case 'h':
            arguments.request = ConvertArguments::Request::Help;
            return arguments;
        case Version:
            arguments.request = ConvertArguments::Request::Version;
            return arguments;
        case ExactTiming:
            arguments.options.exactTiming = true;
            break;
        case Verify:
            arguments.options.verify = true;
            break;
        case Unit: {
            std::string error;
            if (!IsUsablePhysicalDimension(optarg, error))
                return UsageError("--unit " + std::string(optarg) + ": " + error);
            arguments.options.physicalDimension = optarg;
            break;
        }
        case ':':
            return UsageError(std::string(argv[optind - 1]) + " needs a value");
        default:
            return UsageError("unknown option '" + std::string(argv[optind - 1]) + "'");
        }
    }
    for (int i = optind; i < argc; ++i)
        arguments.directories.emplace_back(argv[i]);
    if (arguments.directories.empty())
        return UsageError("no directory given");
    return arguments;
}

const char* ConvertUsage()
{
    return usageText;
}
