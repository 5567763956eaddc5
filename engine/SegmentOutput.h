#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edf/EDFPlusFileWriter.h"
#include "engine/ConversionOptions.h"
#include "engine/ConversionSummary.h"
#include "engine/EventAnnotations.h"
#include "engine/RecordingParameters.h"

// The output side of the sample transfer: one EDF+ file per gap-free segment, opened under a
// free name with the recording's signal parameters and "Recording starts", and finished with the
// segment's events, "Recording ends" and the close. Failures are the writer's, which has
// published them.
class SegmentOutput {
public:
    // outputFileName is the writer's name variable: each open starts from it and leaves the name
    // used in it.
    SegmentOutput(EDFPlusFileWriter& writer, std::wstring& outputFileName, const RecordingParameters& parameters,
                  const ConversionOptions& options, int signalCount, EventAnnotations& events,
                  ConversionSummary& summary);
    SegmentOutput(const SegmentOutput&) = delete;
    SegmentOutput& operator=(const SegmentOutput&) = delete;

    // Opens the next file; samplesPerRecord comes back holding the samples of each signal in one
    // data record.
    int StartEDFFile(int& samplesPerRecord);
    // The start date of the open file from the timestamp (µs) of its first sample instant: its
    // UTC date when it falls after 2010, otherwise the header's creation time. With exact record
    // timing the first record then starts at the timestamp's fraction of a second, and the
    // annotations count from the whole second before it.
    int SetStartDateFromTimestamp(uint64_t timestamp);
    int WriteDataRecord(const std::vector<short>& samples) { return writer.WriteDataRecord(samples); }
    // Hands over the events of [segmentStart, segmentEnd] (µs) and "Recording ends" at the
    // segment's last instant, and closes the file; its data records are all written.
    int CloseEDFFile(uint64_t segmentStart, uint64_t segmentEnd);

private:
    int SetSignalParameters(int& samplesPerRecord);
    // The physical range from the input range, the digital range from the A/D maximum.
    int SetHeaderRanges();
    // The whole 16-bit digital range, each end times the channel's step.
    int SetLosslessRanges();
    void NoteStart(uint64_t timestamp, const tm& calendar);
    // The annotation of an instant (µs), its onset counted from origin: in the usual 100 µs
    // units, in 100 ns with exact record timing, or in µs when onsets are to the microsecond.
    int Annotate(uint64_t timestamp, uint64_t origin, const std::string& text);

    EDFPlusFileWriter& writer;
    std::wstring& outputFileName;
    const RecordingParameters& parameters;
    const ConversionOptions& options;
    int signalCount;
    EventAnnotations& events;
    ConversionSummary& summary;
    std::vector<OutputFileSummary>& outputs;  // of the summary: one entry per file opened
    uint64_t fileStart = 0;                   // µs, what the open file's onsets count from; 0 until its first instant
    // With exact record timing, "Recording starts" waits for the first instant, which fixes the
    // file's start.
    bool recordingStartsPending = false;
};
