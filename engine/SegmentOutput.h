#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "EventAnnotations.h"
#include "FlatNames.h"
#include "edf/EDFPlusFileWriter.h"
#include "engine/ConversionOptions.h"
#include "engine/ConversionSummary.h"
#include "engine/RecordingParameters.h"

// The output side of the sample transfer: one EDF+ file per gap-free segment, opened under a
// free name with the recording's signal parameters and "Recording starts", and finished with the
// segment's events, "Recording ends" and the close. A file gets its name once it is complete: at
// its close, or with flat names when the last segment has ended (NameFiles). Failures are the
// writer's, which has published them, unless said otherwise.
//
// With a part length (ConversionOptions::splitMicroseconds) a segment goes into parts: a data
// record that would make the open file longer first closes it and opens the next part, whose
// first record starts where the last one ended (by the records' duration, which is exact with
// exact record timing). Each event goes into the part whose time holds it, one at the instant a
// part starts into that part. The first part alone holds "Recording starts" and the last alone
// "Recording ends": the parts between neither start nor end the recording, and the parts read one
// after the other hold what the unsplit file would.
class SegmentOutput {
public:
    // outputFileName is the writer's name variable: each open starts from it and leaves the name
    // used in it.
    SegmentOutput(EDFPlusFileWriter& writer, std::wstring& outputFileName, const RecordingParameters& parameters,
                  const ConversionOptions& options, int signalCount, EventAnnotations& events,
                  ConversionSummary& summary, MessageEvent& messages);
    SegmentOutput(const SegmentOutput&) = delete;
    SegmentOutput& operator=(const SegmentOutput&) = delete;

    // Opens the next file; samplesPerRecord comes back holding the samples of each signal in one
    // data record.
    int StartEDFFile(int& samplesPerRecord);
    // Of each signal of the open file; with channels of different rates they differ.
    const std::vector<int>& SignalSamplesPerRecord() const { return signalSamples; }
    // µs from the open file's first instant to each channel's first sample (channels of
    // different rates), for the summary.
    void NoteChannelOffsets(const std::vector<uint32_t>& offsets) { outputs.back().channelOffsetsUs = offsets; }
    // The start date of the open file from the timestamp (µs) of its first sample instant: its
    // UTC date when it falls after 2010, otherwise the header's creation time (for a later part,
    // that time and the part's distance from the segment's start). With exact record timing the
    // first record then starts at the timestamp's fraction of a second, and the annotations count
    // from the whole second before it.
    int SetStartDateFromTimestamp(uint64_t timestamp);
    // lastInstant: timestamp (µs) of the last sample instant that the record holds. Opens the
    // next part first when the open file holds a part's records already.
    int WriteDataRecord(const std::vector<short>& samples, uint64_t lastInstant);
    // Hands over the events of [segmentStart, segmentEnd] (µs) and "Recording ends" at the
    // segment's last instant, and closes the file; its data records are all written.
    int CloseEDFFile(uint64_t segmentStart, uint64_t segmentEnd);
    // Once the last file is closed: with flat names, gives every file its name (a failure is
    // published here, and the files not named stay unfinished).
    int NameFiles();
    // After a failure: the file still open is closed at its last whole record under its
    // unfinished name, and that and the complete files still without a name are named in a
    // Warning and in the summary.
    void LeaveUnfinished();

private:
    // Where a file lies in the run, for its name: its segment and its part (0 when unsplit).
    struct FilePlace {
        int segment = 0;
        int part = 0;
    };

    // Opens a file of the segment with the signal parameters, and notes it in the summary.
    int OpenPart(int& samplesPerRecord);
    // Closes the open part of a segment that goes on, and opens the next at the instant its
    // records continue from.
    int ContinueInNextPart();
    // Hands over the events of [eventsFrom, eventsTo] (µs), with "Recording ends" at eventsTo
    // when the file ends the segment, and closes the file; lastInstant (µs) is its last sample's.
    int FinishFile(uint64_t eventsFrom, uint64_t eventsTo, bool endsSegment, uint64_t lastInstant);
    int SetSignalParameters(int& samplesPerRecord);
    // The open file's part number for its name: 0 when segments are not split.
    int PartNumber() const { return options.splitMicroseconds > 0 ? part : 0; }
    // The physical range from the input range, the digital range from the A/D maximum.
    int SetHeaderRanges();
    // The whole 16-bit digital range, each end times the channel's step.
    int SetLosslessRanges();
    void NoteStart(uint64_t timestamp, const tm& calendar);
    // The annotation of an instant (µs), its onset counted from origin: in the usual 100 µs
    // units, in 100 ns with exact record timing, or in µs when onsets are to the microsecond.
    int Annotate(uint64_t timestamp, uint64_t origin, const std::string& text);
    int OpenNextFile();
    // The timestamp of the last instant in the first `records` data records of the open file.
    uint64_t LastInstantOf(int64_t records) const;
    void WarnOfUnnamedFiles(size_t firstUnnamed);

    EDFPlusFileWriter& writer;
    std::wstring& outputFileName;
    const RecordingParameters& parameters;
    const ConversionOptions& options;
    int signalCount;
    EventAnnotations& events;
    ConversionSummary& summary;
    std::vector<OutputFileSummary>& outputs;  // of the summary: one entry per file opened
    MessageEvent& messages;
    FlatNames flatNames;
    std::vector<int> signalSamples;  // samples per data record of each signal
    int segments = 0;                // segments started
    int part = 0;                    // of the open file in its segment, from 1
    std::vector<FilePlace> places;   // per entry of outputs
    int64_t recordsPerPart = 0;      // 0: segments are not split
    uint64_t partStart = 0;          // µs, where the open file's first record starts; 0 until known
    uint64_t segmentOrigin = 0;      // µs, where the segment's first part starts
    bool segmentOnClock = false;     // its timestamps are wall-clock time: the header's date is theirs
    size_t firstHeld = 0;            // entry of the first file that waits for its name (flat names)
    // The last instant of each of the latest data records, by record number modulo the size: the
    // records that may not have reached the file when it fails are fewer (the writing behind
    // holds at most a few hundred KiB, a record at least 116 bytes).
    std::array<uint64_t, 4096> recordEnds{};
    int64_t recordsHandedOver = 0;  // to the open file
    uint64_t fileStart = 0;         // µs, what the open file's onsets count from; 0 until its first instant
    // With exact record timing, "Recording starts" waits for the first instant, which fixes the
    // file's start.
    bool recordingStartsPending = false;
};
