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
#include "tools/ConvertArguments.h"

namespace {

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

bool ConvertDirectory(const std::string& directory, LogFile& logFile, const ConvertArguments& arguments)
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
    CommandLineFrontend frontend(logFile, arguments.quiet, stdout, stderr);
    return RunConversion(wideDirectory, cscFiles, eventFile, logFile, frontend, arguments.options) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const ConvertArguments arguments = ParseConvertArguments(argc, argv);
    switch (arguments.request) {
    case ConvertArguments::Request::Help:
        std::fputs(ConvertUsage(), stdout);
        return 0;
    case ConvertArguments::Request::Version:
        std::puts("varelo-convert (Velquor Varelo) 1.0.0");
        return 0;
    case ConvertArguments::Request::UsageError:
        std::fprintf(stderr, "varelo-convert: %s\n\n%s", arguments.error.c_str(), ConvertUsage());
        return 2;
    case ConvertArguments::Request::Run:
        break;
    }
    LogFile logFile;  // one for the whole program, as the window keeps one for its life
    bool allConverted = true;
    for (const std::string& directory : arguments.directories)
        allConverted = ConvertDirectory(directory, logFile, arguments) && allConverted;
    return allConverted ? 0 : 1;
}
