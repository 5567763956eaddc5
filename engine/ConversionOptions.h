#pragma once

#include <string>

// What a user may ask of a conversion beyond the usual output. Every choice is off by default:
// a conversion without options writes exactly the usual files.
struct ConversionOptions {
    // Data records whose duration is exactly their samples / sampling frequency, so that EDF
    // readers see the true rate; and the first record starts at the fraction of a second of the
    // segment's first sample instant, so that the files of one session line up.
    bool exactTiming = false;
    // The physical dimension of every channel's signal (printable ASCII, at most 8 characters),
    // for example "uV": the input range is in microvolts. Empty: left blank.
    std::string physicalDimension;
    // Every file read back once it is closed and compared with what was written.
    bool verify = false;
    // One file per segment under names that sort in segment order and tell the run (FlatNames.h)
    // instead of the usual DevOutput.edf, DevOutput_01.edf, DevOutput_01_01.edf, ...
    bool flatNames = false;

    // What the command line writes by default: the choices a lab needs.
    static ConversionOptions Lab();

    bool Any() const { return exactTiming || !physicalDimension.empty() || verify || flatNames; }
    // The Notice that names the options in force, at the start of a run.
    std::wstring Description() const;
};

// Whether `unit` can be written as a physical dimension; false with the reason in `error`.
bool IsUsablePhysicalDimension(const std::string& unit, std::string& error);
