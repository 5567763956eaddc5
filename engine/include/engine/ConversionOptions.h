#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
    // The channels converted, in this order: names, ranges and patterns (ChannelChoice.h); empty:
    // every channel file.
    std::vector<std::string> channels;
    // Signal labels by channel name (UTF-8); a channel without one is labelled with its name.
    std::vector<std::pair<std::string, std::string>> labels;
    // The EDF+ patient subfields and the recording's after its start date (Identification.h);
    // empty: X for each.
    std::string patient;
    std::string recording;
    // Each channel's filter settings, where its header has them, in its prefiltering field.
    bool prefiltering = false;
    // No file longer than this (µs): a segment goes into parts of whole data records, the most
    // that fit (at least one), each starting where the one before ended; 0: one file per segment.
    int64_t splitMicroseconds = 0;

    // What the command line writes by default: exact timing, microvolts, microsecond onsets,
    // natural order, lossless range, whole texts, prefiltering and flat names, every file verified.
    static ConversionOptions Lab();

    bool Any() const
    {
        return exactTiming || !physicalDimension.empty() || verify || microsecondOnsets || naturalOrder || losslessRange
               || wholeTexts || flatNames || resampleHz > 0 || !channels.empty() || !labels.empty() || !patient.empty()
               || !recording.empty() || prefiltering || splitMicroseconds > 0;
    }
    // The Notice that names the options in force, at the start of a run, each choice followed by
    // how the user makes it where `hint` has words for that.
    std::wstring Description(const ChoiceHint& hint) const;
};

// Whether `label` can be written as a signal label (printable ASCII, not the annotation signal's),
// whole (at most 16 characters) unless `cutAllowed`; false with the reason in `error`.
bool IsUsableLabel(const std::string& label, bool cutAllowed, std::string& error);
// The part length of --split from its text: seconds as digits with at most six decimals (3,
// 2.5, 0.001), more than 0 and below a billion. false with the reason in `error`.
bool ParseSplitSeconds(const std::string& text, int64_t& microseconds, std::string& error);
// The entries of a channel list (ChannelChoice.h) from its text: separated by commas, none empty.
// false, with the reason in `error`, for an empty entry (an empty text too).
bool SplitChannelList(const std::string& list, std::vector<std::string>& entries, std::string& error);
// Microseconds as seconds, without trailing zeros: 2500000 as "2.5".
std::string SecondsText(int64_t microseconds);

// Whether `unit` can be written as a physical dimension; false with the reason in `error`.
bool IsUsablePhysicalDimension(const std::string& unit, std::string& error);
