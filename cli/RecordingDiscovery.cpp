#include "RecordingDiscovery.h"

#include <climits>
#include <cstdlib>
#include <map>
#include <sys/stat.h>
#include <system_error>

#include "BidsNames.h"
#include "engine/DirectoryListing.h"
#include "engine/RecordingFiles.h"

namespace {

bool IsRealDirectory(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct Found {
    std::string directory;
    std::string name;  // below the root; empty for the root itself
};

// Depth first in listing order: a directory comes before the directories below it.
void Walk(const std::string& directory, const std::string& name, std::vector<Found>& found,
          std::vector<std::string>& problems)
{
    std::vector<std::string> entries;
    int errorNumber = 0;
    if (!ListDirectory(directory, entries, errorNumber)) {
        problems.push_back("cannot read directory " + directory + ": " + std::generic_category().message(errorNumber));
        return;
    }
    for (const std::string& entry : entries) {
        if (IsChannelFile(directory, entry)) {
            found.push_back({directory, name});
            break;
        }
    }
    for (const std::string& entry : entries) {
        const std::string path = directory + "/" + entry;
        if (IsRealDirectory(path))  // lstat: a link to a directory is not followed, so no loop
            Walk(path, name.empty() ? entry : name + "/" + entry, found, problems);
    }
}

std::string BaseName(const std::string& directory)
{
    char resolved[PATH_MAX];
    const std::string path = realpath(directory.c_str(), resolved) != nullptr ? resolved : directory;
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return base.empty() ? "root" : base;
}

}  // namespace

std::string OutputDirectoryOf(const Recording& recording)
{
    return recording.outputDirectory.empty() ? recording.directory : recording.outputDirectory;
}

std::string WithoutTrailingSlashes(std::string directory)
{
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory;
}

bool DiscoverRecordings(const ConvertArguments& arguments, Discovery& discovery, std::string& usageError)
{
    std::vector<Found> found;
    for (const std::string& argument : arguments.directories) {
        const std::string directory = WithoutTrailingSlashes(argument);
        if (!arguments.recursive)
            found.push_back({directory, BaseName(directory)});
        else if (!IsRealDirectory(directory))
            discovery.problems.push_back(directory + ": not a directory");
        else
            Walk(directory, "", found, discovery.problems);
    }
    const bool ownDirectories = arguments.recursive || found.size() > 1;
    std::map<std::string, std::string> taken;  // output directory: the recording that takes it
    for (Found& recording : found) {
        Recording next{recording.directory, {}, arguments.bids.entities};
        if (!arguments.bids.root.empty()) {
            const std::string name = recording.name.empty() ? BaseName(recording.directory) : recording.name;
            std::string problem;
            if (!arguments.bids.pattern.empty()
                && !MatchBidsPattern(arguments.bids.pattern, name, next.bids, problem)) {
                discovery.problems.push_back(recording.directory + ": " + problem);
                continue;
            }
            const BidsNames names(WithoutTrailingSlashes(arguments.bids.root), next.bids, arguments.bids.datatype);
            next.outputDirectory = BidsStagingDirectory(names);
            const auto [place, inserted] = taken.emplace(next.outputDirectory, recording.directory);
            if (!inserted) {
                usageError = "the recordings " + place->second + " and " + recording.directory + " would both be "
                             + names.Stem() + ": tell them apart (--bids-pattern, --acquisition)";
                return false;
            }
        } else if (!arguments.outputDirectory.empty()) {
            const std::string root = WithoutTrailingSlashes(arguments.outputDirectory);
            const std::string name = recording.name.empty() ? BaseName(recording.directory) : recording.name;
            next.outputDirectory = ownDirectories ? root + "/" + name : root;
            const auto [place, inserted] = taken.emplace(next.outputDirectory, recording.directory);
            if (!inserted) {
                usageError = "the recordings " + place->second + " and " + recording.directory
                             + " would share the output directory " + next.outputDirectory;
                return false;
            }
        }
        discovery.recordings.push_back(next);
    }
    return true;
}
