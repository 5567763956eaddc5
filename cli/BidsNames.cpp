#include "BidsNames.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

#include "BidsFiles.h"
#include "engine/DirectoryListing.h"

BidsNames::BidsNames(std::string root, BidsEntities entities, std::string datatype)
    : root(std::move(root)), entities(std::move(entities)), datatype(std::move(datatype))
{
}

std::string BidsNames::Stem() const
{
    std::string stem = "sub-" + entities.subject;
    if (!entities.session.empty())
        stem += "_ses-" + entities.session;
    stem += "_task-" + entities.task;
    if (!entities.acquisition.empty())
        stem += "_acq-" + entities.acquisition;
    return stem;
}

std::string BidsNames::ScansDirectory() const
{
    const std::string subject = root + "/sub-" + entities.subject;
    return entities.session.empty() ? subject : subject + "/ses-" + entities.session;
}

std::string BidsNames::ScansTable() const
{
    const std::string session = entities.session.empty() ? "" : "_ses-" + entities.session;
    return ScansDirectory() + "/sub-" + entities.subject + session + "_scans.tsv";
}

std::string BidsNames::DataDirectory() const
{
    return ScansDirectory() + "/" + datatype;
}

std::string BidsNames::RunPrefix(int run) const
{
    return Stem() + "_run-" + std::to_string(run) + "_";
}

std::string BidsNames::RunFile(int run, const std::string& suffix) const
{
    return DataDirectory() + "/" + RunPrefix(run) + suffix;
}

std::string BidsNames::ScansEntry(int run) const
{
    return datatype + "/" + RunPrefix(run) + datatype + ".edf";
}

int BidsNames::HighestRun() const
{
    std::vector<std::string> files;
    int errorNumber = 0;
    if (!ListDirectory(DataDirectory(), files, errorNumber))
        return 0;  // no data directory yet: no run
    const std::string prefix = Stem() + "_run-";
    int highest = 0;
    for (const std::string& file : files) {
        if (file.compare(0, prefix.size(), prefix) != 0)
            continue;
        int run = 0;
        const char* digits = file.c_str() + prefix.size();
        const auto [end, error] = std::from_chars(digits, file.c_str() + file.size(), run);
        if (error == std::errc() && end != digits && *end == '_')
            highest = std::max(highest, run);
    }
    return highest;
}

bool BidsNames::RunTaken(int run) const
{
    std::vector<std::string> files;
    int errorNumber = 0;
    if (!ListDirectory(DataDirectory(), files, errorNumber))
        return false;
    const std::string prefix = RunPrefix(run);
    return std::any_of(files.begin(), files.end(),
                       [&prefix](const std::string& file) { return file.compare(0, prefix.size(), prefix) == 0; });
}

namespace {

// The staging directory of the names' conversion number `number` (1 for the first).
std::string StagingDirectory(const BidsNames& names, int number)
{
    const int run = names.Entities().run;
    const std::string base =
        names.Root() + "/sourcedata/varelo/" + names.Stem() + (run > 0 ? "_run-" + std::to_string(run) : "");
    return number == 1 ? base : base + "_" + std::to_string(number);
}

}  // namespace

std::string BidsStagingDirectory(const BidsNames& names)
{
    int number = 1;
    while (PathExists(StagingDirectory(names, number)))
        ++number;
    return StagingDirectory(names, number);
}

std::vector<std::string> BidsStagingDirectoriesTaken(const BidsNames& names)
{
    std::vector<std::string> taken;
    for (int number = 1; PathExists(StagingDirectory(names, number)); ++number)
        taken.push_back(StagingDirectory(names, number));
    return taken;
}
