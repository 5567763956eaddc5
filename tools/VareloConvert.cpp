// varelo-convert: converts recording directories to EDF+ from the command line, exactly as the
// window's button does after the folder browser.
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/ConversionRun.h"
#include "logging/LogFile.h"
#include "logging/TextConversion.h"
#include "tools/CommandLineFrontend.h"

namespace {

constexpr const char* usageText =
    "Usage: varelo-convert [--quiet] DIRECTORY...\n"
    "\n"
    "Converts each recording DIRECTORY in turn into EDF+ files written beside the data:\n"
    "every channel file (*.ocs) becomes one EDF signal, the first event file (*.oev) gives the\n"
    "annotations, and each gap-free stretch of the recording becomes its own file, named from\n"
    "DevOutput.edf (DevOutput_01.edf, ... when that name is taken; nothing is overwritten).\n"
    "Every message is written to VareloLogFile.txt in the directory and printed here as its log\n"
    "line; each directory ends with the line \"Conversion Complete\" or \"Conversion Failed\".\n"
    "\n"
    "Options:\n"
    "  -q, --quiet    print only the result line of each directory\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when every directory converted, 1 when any failed, 2 for a usage error.\n";

struct Arguments {
    bool quiet = false;
    std::vector<std::string> directories;
};

enum class ParseResult { Run, Help, Version, UsageError };

ParseResult ParseArguments(int argc, char** argv, Arguments& arguments, std::string& error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            arguments.directories.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-q" || argument == "--quiet") {
            arguments.quiet = true;
        } else if (argument == "-h" || argument == "--help") {
            return ParseResult::Help;
        } else if (argument == "--version") {
            return ParseResult::Version;
        } else {
            error = "unknown option '" + argument + "'";
            return ParseResult::UsageError;
        }
    }
    if (arguments.directories.empty()) {
        error = "no directory given";
        return ParseResult::UsageError;
    }
    return ParseResult::Run;
}

// "/data/rec/" and "/data/rec" name the same directory; file names are built onto the latter.
std::string WithoutTrailingSlashes(std::string directory)
{
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory;
}

bool IsDirectory(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ConvertDirectory(const std::string& directory, LogFile& logFile, bool quiet)
{
    if (!IsDirectory(directory)) {
        std::fprintf(stderr, "varelo-convert: %s: not a directory\n", directory.c_str());
        std::printf("Conversion Failed\n");
        return false;
    }
    const std::wstring wideDirectory = OrvText::Utf8ToWide(WithoutTrailingSlashes(directory));
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(wideDirectory, cscFiles, eventFile);
    CommandLineFrontend frontend(logFile, quiet, stdout, stderr);
    return RunConversion(wideDirectory, cscFiles, eventFile, logFile, frontend) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    std::string error;
    switch (ParseArguments(argc, argv, arguments, error)) {
    case ParseResult::Help:
        std::fputs(usageText, stdout);
        return 0;
    case ParseResult::Version:
        std::puts("varelo-convert (Velquor Varelo) 1.0.0");
        return 0;
    case ParseResult::UsageError:
        std::fprintf(stderr, "varelo-convert: %s\n\n%s", error.c_str(), usageText);
        return 2;
    case ParseResult::Run:
        break;
    }
    LogFile logFile;  // one for the whole program, as the window keeps one for its life
    bool allConverted = true;
    for (const std::string& directory : arguments.directories)
        allConverted = ConvertDirectory(directory, logFile, arguments.quiet) && allConverted;
    return allConverted ? 0 : 1;
}
