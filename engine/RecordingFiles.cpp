#include "engine/RecordingFiles.h"

#include <sys/stat.h>

#include "engine/DirectoryListing.h"
#include "logging/AsciiCase.h"
#include "reader/RecordKind.h"

namespace {

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The regular files of `directory` whose names pass `isWanted`, in listing order.
std::vector<std::string> FilesIn(const std::string& directory, bool (*isWanted)(std::string_view))
{
    std::vector<std::string> names;
    int errorNumber = 0;
    (void)ListDirectory(directory, names, errorNumber);  // what could be read is used, as a search does
    std::erase_if(names,
                  [&](const std::string& name) { return !isWanted(name) || !IsRegularFile(directory + "/" + name); });
    return names;
}

}  // namespace

bool IsChannelFileName(std::string_view name)
{
    return OrvText::EndsWithIgnoringAsciiCase(name, ".ocs") && name.find(".ocs") != std::string_view::npos;
}

bool IsEventFileName(std::string_view name)
{
    return Velquor::HasEventFileExtension(name);
}

bool IsChannelFile(const std::string& directory, const std::string& name)
{
    return IsChannelFileName(name) && IsRegularFile(directory + "/" + name);
}

std::vector<std::string> ChannelFilesIn(const std::string& directory)
{
    return FilesIn(directory, IsChannelFileName);
}

std::vector<std::string> EventFilesIn(const std::string& directory)
{
    return FilesIn(directory, IsEventFileName);
}
