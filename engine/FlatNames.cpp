#include "FlatNames.h"

#include <cerrno>
#include <string_view>
#include <vector>

#include "engine/DirectoryListing.h"

namespace {

constexpr int largestRun = 9999;

std::string ZeroPadded(int number, int digits)
{
    std::string text = std::to_string(number);
    return std::string(text.size() < static_cast<size_t>(digits) ? digits - text.size() : 0, '0') + text;
}

int Digits(int number)
{
    return static_cast<int>(std::to_string(number).size());
}

}  // namespace

bool FlatNames::ReserveRun(const std::string& outputFileName, int& errorNumber)
{
    const size_t slash = outputFileName.rfind('/');
    directory = slash == std::string::npos ? std::string() : outputFileName.substr(0, slash + 1);
    const std::string name = outputFileName.substr(directory.size());
    const size_t dot = name.rfind('.');
    stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    for (int candidate = 1; candidate <= largestRun; ++candidate) {
        const std::string lockName = directory + RunPrefix(candidate) + "lock";
        const UnfinishedFile::Reservation reserved = runLock.Reserve(lockName, errorNumber);
        if (reserved == UnfinishedFile::Reservation::Failed)
            return false;
        if (reserved == UnfinishedFile::Reservation::Taken)
            continue;
        // looked at once the number is held: a run that named its files let go of it after that
        if (!RunHasFiles(candidate)) {
            run = candidate;
            return true;
        }
        runLock.Discard();
    }
    errorNumber = EEXIST;
    return false;
}

std::string FlatNames::ProvisionalName(int segment, int part) const
{
    const std::string partText = part > 0 ? "_part" + std::to_string(part) : std::string();
    return directory + RunPrefix(run) + "seg" + std::to_string(segment) + partText + ".edf";
}

std::string FlatNames::FinalName(int segment, int count, int part, int partCount) const
{
    const std::string partText =
        part > 0 ? "_part" + ZeroPadded(part, Digits(partCount)) + "of" + std::to_string(partCount) : std::string();
    return directory + RunPrefix(run) + "seg" + ZeroPadded(segment, Digits(count)) + "of" + std::to_string(count)
           + partText + ".edf";
}

bool FlatNames::RunHasFiles(int candidate) const
{
    std::vector<std::string> names;
    int errorNumber = 0;
    (void)ListDirectory(directory.empty() ? "." : directory, names, errorNumber);
    const std::string prefix = RunPrefix(candidate);
    for (const std::string& name : names) {
        if (std::string_view(name).starts_with(prefix))
            return true;
    }
    return false;
}

std::string FlatNames::RunPrefix(int candidate) const
{
    return stem + "_run" + ZeroPadded(candidate, 2) + "_";
}
