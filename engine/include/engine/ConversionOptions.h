#pragma once

#include <string>

#include "logging/ConversionChoice.h"

// What a user may ask of a conversion beyond the usual output. Every choice is off by default:
// a conversion without options writes exactly the usual files. Lab() is the set of choices that
// make files an analysis can take as they are.
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
    // Annotation onsets to the microsecond: an event's onset is its timestamp's offset from the
    // file's start, not cut to 100 µs.
    bool microsecondOnsets = false;
    // Channels in the natural order of their file names (CSC2 before CSC10) instead of the
    // listing order.
    bool naturalOrder = false;
    // The whole 16-bit digital range, the physical range scaled by the header's step (input
    // range / A/D maximum): every sample the input holds is kept as it is, none is clipped.
    bool losslessRange = false;
    // Event texts whole, converted to UTF-8, instead of cut to the usual 40 bytes.
    bool wholeTexts = false;
    // One file per segment under names that sort in segment order and tell the run (FlatNames.h)
    // instead of the usual DevOutput.edf, DevOutput_01.edf, DevOutput_01_01.edf, ...
    bool flatNames = false;
    // Every channel resampled to this rate (Hz), through a linear-phase anti-aliasing filter
    // (ResamplingPlan.h); 0: the input's rate.
    int resampleHz = 0;

    // What the command line writes by default: exact timing, microvolts, microsecond onsets,
    // natural order, lossless range, whole texts and flat names, every file verified.
    static ConversionOptions Lab();

    bool Any() const
    {
        return exactTiming || !physicalDimension.empty() || verify || microsecondOnsets || naturalOrder || losslessRange
               || wholeTexts || flatNames || resampleHz > 0;
    }
    // The Notice that names the options in force, at the start of a run, each choice followed by
    // how the user makes it where `hint` has words for that.
    std::wstring Description(const ChoiceHint& hint) const;
};

// Whether `unit` can be written as a physical dimension; false with the reason in `error`.
bool IsUsablePhysicalDimension(const std::string& unit, std::string& error);
