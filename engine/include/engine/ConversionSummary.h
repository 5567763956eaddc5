#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a conversion read and wrote, for reports: kept by the engine as it goes, so that it also
// tells how far a failed conversion came.

struct ChannelSummary {
    std::wstring file;
    std::wstring name;        // -AcqEntName
    int sampleFrequency = 0;  // Hz
    // Whether the acquisition inverted the input's polarity (-InputInverted), as far as known.
    std::optional<bool> inputInverted = std::nullopt;
    // Samples beyond the signal's digital range, written as its nearest end.
    int64_t clippedSamples = 0;
};

struct OutputFileSummary {
    std::wstring file;           // where it lies: its final name, or its unfinished one until it has that
    std::string startDate;       // "2017-07-03T10:22:33" as the header holds it; empty until set
    int64_t records = 0;         // data records in the file, also in one left unfinished
    int64_t annotations = 0;     // annotations handed over, "Recording starts" and "Recording ends" included
    int samplesPerRecord = 0;    // of every signal
    int durationUnits = 0;       // of a data record, in units of 10 µs
    uint64_t firstSampleUs = 0;  // acquisition clock, of the first and last sample instant in the file
    uint64_t lastSampleUs = 0;
    // Channels of different rates, per channel: µs from the first instant to its first sample
    // (less than one of its sample periods), and its samples in one data record.
    std::vector<uint32_t> channelOffsetsUs;
    std::vector<int> channelSamplesPerRecord;
    // Closed with all its records and annotations. The file a failed conversion was writing is
    // not: it reads as a clean, shorter recording, but it stops where the conversion did.
    bool complete = false;
    bool named = false;  // under its final name; a file left unfinished never is
};

// Input that no output file holds, per input file.
struct InputLeftOut {
    std::wstring file;
    std::wstring channel;  // its -AcqEntName; empty for the event file
    uint64_t samples = 0;
    uint64_t bytes = 0;  // of a partial last record
};

struct EventSummary {
    uint64_t timestamp = 0;  // µs, acquisition clock
    std::string text;        // as the event file holds it (ISO 8859-1)
};

struct ConversionSummary {
    std::vector<ChannelSummary> channels;  // once the headers have been read
    std::vector<OutputFileSummary> outputs;
    int64_t eventsLeftOut = 0;                // events in no file
    std::vector<EventSummary> leftOutEvents;  // those events, in event-file order
    // Events whose annotation keeps only the beginning of their text.
    std::vector<EventSummary> textsCut;
    // Channels of unequal length: the samples of longer channels that other channels lack.
    std::vector<InputLeftOut> channelsCut;
    // Files whose last record is incomplete, which the reader passes over.
    std::vector<InputLeftOut> partialRecords;
    std::vector<std::wstring> eventFilesNotUsed;  // beside the first, which alone is read
};
