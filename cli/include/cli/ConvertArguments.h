#pragma once

#include <string>
#include <vector>

#include "cli/BidsRequest.h"
#include "engine/ConversionOptions.h"

// The command line of varelo-convert.
struct ConvertArguments {
    enum class Request { Run, List, Help, Version, UsageError };

    Request request = Request::Run;
    std::string error;  // what is wrong, for UsageError
    bool quiet = false;
    ConversionOptions options;
    std::string outputDirectory;  // empty: each recording's output beside its data
    bool recursive = false;       // the arguments are roots to search for recordings
    int jobs = 1;                 // recordings converted at once, each worker process taking one at a time
    bool skipConverted = false;
    std::string reportFile;  // empty: no batch report
    std::vector<std::string> directories;
    BidsRequest bids;  // --bids: the recordings written into a BIDS dataset
};

// Reads argv (GNU getopt_long: options anywhere, "--name=value" or "--name value", "--" ends them).
ConvertArguments ParseConvertArguments(int argc, char** argv);

const char* ConvertUsage();
