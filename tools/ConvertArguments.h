#pragma once

#include <string>
#include <vector>

#include "engine/ConversionOptions.h"

// The command line of varelo-convert.
struct ConvertArguments {
    enum class Request { Run, Help, Version, UsageError };

    Request request = Request::Run;
    std::string error;  // what is wrong, for UsageError
    bool quiet = false;
    ConversionOptions options;
    std::vector<std::string> directories;
};

// Reads argv (GNU getopt_long: options anywhere, "--name=value" or "--name value", "--" ends them).
ConvertArguments ParseConvertArguments(int argc, char** argv);

const char* ConvertUsage();
