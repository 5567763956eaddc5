#pragma once

#include <string>
#include <vector>

#include "cli/ConvertArguments.h"

// The recordings that varelo-convert's arguments name, and where the output of each goes.
struct Recording {
    std::string directory;        // UTF-8, without trailing slashes
    std::string outputDirectory;  // empty: beside the data
    BidsEntities bids;            // with --bids: the entities that name its files
};

struct Discovery {
    std::vector<Recording> recordings;  // in the order they are converted
    std::vector<std::string> problems;  // directories that could not be searched, in words
};

// Where the recording's files go.
std::string OutputDirectoryOf(const Recording& recording);

// Without --recursive every argument is a recording; with it every directory below each root
// (the root included) that holds a channel file, in sorted path order, never through a symbolic
// link to a directory. false, with the reason in usageError, when two recordings would write
// into one output directory.
bool DiscoverRecordings(const ConvertArguments& arguments, Discovery& discovery, std::string& usageError);

// "/data/rec/" and "/data/rec" name the same directory; file names are built onto the latter.
std::string WithoutTrailingSlashes(std::string directory);
