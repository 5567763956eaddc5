#pragma once

#include <string>

#include "edf/UnfinishedFile.h"

// The names of lab output: one file per segment, "<stem>_run<RR>_seg<KK>of<NN>.edf" beside the
// output name "<stem>.edf" (DevOutput_run01_seg03of12.edf). The segment number KK is zero-padded
// to the digits of the count NN, so that the names of a run sort in segment order; the run number
// RR (at least two digits) is the lowest that no file of the directory carries yet, so that a
// rerun's files differ from the first run's and are never read as further segments of it. The
// names are as long as the stem and the numbers make them, whatever the number of gaps. A segment
// split into parts gives "<stem>_run<RR>_seg<KK>of<NN>_part<PP>of<MM>.edf", part PP of the
// segment's MM, zero-padded in the same way, so that the parts sort in order within their segment.
//
// The count is known when the last segment ends: until then the files lie under the unfinished
// names of provisional ones ("<stem>_run<RR>_seg<K>.edf", "<stem>_run<RR>_seg<K>_part<P>.edf", never given to a file),
// and the run number is reserved by a locked file of its own, so that runs at the same time never share one.
class FlatNames {
public:
    FlatNames() = default;
    FlatNames(const FlatNames&) = delete;
    FlatNames& operator=(const FlatNames&) = delete;

    // Reserves the run number for the directory and stem of outputFileName (UTF-8). false with
    // the system's error number when no run number can be reserved.
    bool ReserveRun(const std::string& outputFileName, int& errorNumber);
    bool Reserved() const { return run > 0; }
    // segment and part count from 1; part 0: the segment is not split
    std::string ProvisionalName(int segment, int part) const;
    std::string FinalName(int segment, int count, int part, int partCount) const;
    // Lets go of the run number once its files are named, or given up.
    void Release() { runLock.Discard(); }

private:
    bool RunHasFiles(int candidate) const;
    std::string RunPrefix(int candidate) const;  // "<stem>_run<RR>_"

    UnfinishedFile runLock;
    std::string directory;  // with its trailing slash, empty for the working directory
    std::string stem;
    int run = 0;
};
