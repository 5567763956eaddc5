#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "CscRecordSource.h"
#include "SegmentOutput.h"
#include "SegmentResampler.h"
#include "logging/SubscribedEvent.h"
#include "reader/OrvFileIO.h"

// Moves the samples of channels sampled at different rates into EDF data records, each channel
// at its own rate: a data record holds a whole number of samples of every rate, and a channel's
// samples follow one another in the records as they follow one another in its file. A segment
// spans the time that every channel covers without a gap: it starts at the latest of the
// channels' first samples, each channel at its first sample at or after that instant (less than
// one of its sample periods later), and a gap in any channel, or its end, ends the segment of
// all at that channel's last sample. Channel c of the output is the channel file of handles[c].
class MixedRateTransfer {
public:
    // fraction of the recording converted so far, 0 to 1
    using ProgressHandler = std::function<void(double fraction)>;

    // cancelled (may be empty) is asked after every data record; true stops the transfer.
    MixedRateTransfer(Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                      const std::vector<int>& sampleFrequencies, SegmentOutput& output, MessageEvent& messages,
                      ProgressHandler progress, std::function<bool()> cancelled = {});
    MixedRateTransfer(const MixedRateTransfer&) = delete;
    MixedRateTransfer& operator=(const MixedRateTransfer&) = delete;

    // The samples go through the resampler, a second of each channel at a time, instead of into
    // data records at their own rates directly.
    void ResampleThrough(SegmentResampler& segmentResampler) { resampler = &segmentResampler; }
    // The whole transfer: 0 once the last file is finished, -1 after a failure (published).
    int TransferSamples();
    // Per channel, after the transfer: the samples read or left in its file that no file holds.
    std::vector<uint64_t> SamplesLeftOut() const;

private:
    struct Cursor {
        uint32_t recordIndex = 0;  // record that holds the channel's next sample
        uint32_t sampleIndex = 0;  // that sample within the record
    };

    struct Channel {
        int handle = -1;
        int32_t recordCount = 0;
        Cursor cursor;
        Cursor recordStart;  // where the data record being filled began to take this channel's samples
        double sampleIntervalUs = 0;
        // µs after its record's timestamp of the sample at each index (truncated)
        std::array<uint64_t, Velquor::orvSamplesPerCscRecord> offsetsUs{};
        size_t bufferStart = 0;   // of the channel's samples in the record buffer
        uint32_t perRecord = 0;   // its samples in one data record
        uint32_t filled = 0;      // of those, stored so far
        uint64_t lastUs = 0;      // timestamp of the last sample stored
        bool started = false;     // a sample of the segment is stored
        uint64_t dropped = 0;     // samples read and never stored
        uint64_t leftInFile = 0;  // samples after the end of the data
    };

    using RecordView = CscRecordView;

    using Load = CscLoad;
    enum class Step { Read, Failed, Ended, Gap };

    int GetRecordCounts();
    Load LoadRecord(const Channel& channel, const Cursor& cursor, RecordView& view);
    // As LoadRecord, a reader's failure published: Read, Failed or Ended.
    Step ReadRecord(const Channel& channel, const Cursor& cursor, RecordView& view);
    // The timestamp of the channel's first sample at or after `instant`; the samples before it
    // are dropped.
    Step SkipBefore(Channel& channel, uint64_t instant, uint64_t& timestamp);
    // The first instant that every channel covers from the cursors on, each channel's cursor at
    // its first sample at or after it.
    Step FindSegmentStart(uint64_t& start, std::vector<uint64_t>& firstSamples);
    // Fills data records until a gap or the end of a channel.
    Step FillSegment();
    // Copies the channel's samples into the data record being filled, up to its end or a gap.
    Step FillChannel(Channel& channel);
    // Takes back the samples after `end` stored in the data record being filled.
    int KeepUpTo(Channel& channel, uint64_t end);
    int WriteFullRecord();
    // Hands the samples stored on: the data record, or each channel's to the resampler.
    int HandOverBuffer(uint64_t lastInstant);
    // Where the samples are stored: the data record, or the resampler's block to fill.
    std::vector<short>& Buffer() { return resampler != nullptr ? resampler->Block() : recordBuffer; }
    int StartEDFFile();
    int FinishEDFFile();
    void CountSamplesLeftInFiles();

    Velquor::OrvFileIO& reader;
    SegmentOutput& output;
    MessageEvent& messages;
    ProgressHandler progress;
    std::function<bool()> cancelled;
    std::vector<Channel> channels;
    std::vector<int> sampleFrequencies;
    SegmentResampler* resampler = nullptr;
    int outputRecordSamples = 0;      // of each channel, in the resampler's data records
    bool resampledSegment = false;    // the resampler has a segment started
    std::vector<short> recordBuffer;  // channel-major: each channel's perRecord entries in turn
    uint64_t segmentStart = 0;        // µs, the open file's first instant
    uint64_t segmentEnd = 0;          // µs, the last instant that every channel covers
};
