#pragma once

#include <string>
#include <vector>

#include "cli/BidsRequest.h"

// Where a recording's files lie in a BIDS dataset and what they are called:
// ROOT/sub-S[/ses-E]/DATATYPE/sub-S[_ses-E]_task-T[_acq-A]_run-R_SUFFIX.
class BidsNames {
public:
    BidsNames(std::string root, BidsEntities entities, std::string datatype);

    // "sub-S[_ses-E]_task-T[_acq-A]": what every file of the recording starts with.
    std::string Stem() const;
    // The directory that holds the scans table: the session's, or the subject's without sessions.
    std::string ScansDirectory() const;
    std::string ScansTable() const;  // its sub-S[_ses-E]_scans.tsv
    std::string DataDirectory() const;
    // The file of run `run` with `suffix`, e.g. "ieeg.edf" or "channels.tsv".
    std::string RunFile(int run, const std::string& suffix) const;
    // The name in the scans table of run `run`'s data file: relative to ScansDirectory().
    std::string ScansEntry(int run) const;
    // The highest run of the stem in the data directory; 0 when none.
    int HighestRun() const;
    // Whether any file of the stem carries run `run`.
    bool RunTaken(int run) const;
    const std::string& Root() const { return root; }
    const BidsEntities& Entities() const { return entities; }
    const std::string& Datatype() const { return datatype; }

private:
    std::string RunPrefix(int run) const;  // the stem and "_run-R_"

    std::string root;
    BidsEntities entities;
    std::string datatype;
};

// Where the conversion of a recording into the dataset writes before its files take their
// names, with its log file and report, which stay: ROOT/sourcedata/varelo/ and the stem, with the
// lowest number that makes it new ("_2", "_3", ...) when that exists.
std::string BidsStagingDirectory(const BidsNames& names);
// The staging directories of the names' earlier conversions, the first one first.
std::vector<std::string> BidsStagingDirectoriesTaken(const BidsNames& names);
