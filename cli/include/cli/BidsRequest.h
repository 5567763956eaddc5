#pragma once

#include <map>
#include <string>

// What --bids asks for: the recordings written into a BIDS dataset (Brain Imaging Data
// Structure) under a root, each file named by its entities and described by sidecar files.

// The entities that name one recording's files.
struct BidsEntities {
    std::string subject;
    std::string session;  // empty: the subject has no session level
    std::string task;
    std::string acquisition;  // empty: none
    int run = 0;              // the first file's run index; 0: the next one free
};

struct BidsRequest {
    std::string root;  // empty: no BIDS dataset
    BidsEntities entities;
    std::string datatype = "ieeg";  // "ieeg" or "eeg"
    int lineFrequency = 0;          // Hz; 0: not given
    std::string datasetName;        // empty: the root's name
    // With --recursive: where in a recording's path its entities stand, e.g.
    // "sub-{subject}/ses-{session}"; matched against the last directories of the path.
    std::string pattern;
    std::string channelType;                          // of every channel not named below; empty: the default
    std::map<std::string, std::string> channelTypes;  // by channel name
};

// Letters and digits only, at least one: what BIDS allows in a label.
bool IsBidsLabel(const std::string& label);

constexpr int largestRun = 99999;

// A run index, 1 to largestRun, in decimal digits only.
bool ParseRunIndex(const std::string& text, int& run);

// "SEEG" (every channel) or "CSC1=ECOG,CSC2=EEG" (by name) into `request`; false with the
// reason in `error`.
bool ParseChannelTypes(const std::string& value, BidsRequest& request, std::string& error);

// Whether `pattern` is usable: directories separated by '/', each with at most one of {subject},
// {session}, {task}, {acquisition} or {run}; false with the reason in `error`.
bool IsBidsPattern(const std::string& pattern, std::string& error);

// Fills the entities that `pattern` places in `path` (a recording's path below its root) into
// `entities`; false with the reason in `error` when the path does not match or a value is not a
// label.
bool MatchBidsPattern(const std::string& pattern, const std::string& path, BidsEntities& entities, std::string& error);

// The channel type of the channel named `name`.
std::string BidsChannelType(const BidsRequest& request, const std::string& name);
