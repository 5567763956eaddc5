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

// Moves the channels' samples, aligned in time, into EDF data records: a sample instant is a
// moment at which every channel holds a sample of one timestamp, and a segment is a run of
// instants without a gap (nor a step back in time); each segment goes into a file of its own
// through the segment output. Channel c of the output is the channel file of handles[c].
//
// Two paths move the samples and must agree: the sample-by-sample steps, which read one sample
// of each channel, drop samples until all channels agree and test for a gap at every instant,
// and the run path, which copies a stretch of instants that those steps would store one after
// the other without dropping a sample or starting a file. Both read records through one
// decoding step and move the cursors with one advance.
class SampleTransfer {
public:
    // fraction of the recording converted so far, 0 to 1
    using ProgressHandler = std::function<void(double fraction)>;

    // cancelled (may be empty) is asked after every data record; true stops the transfer.
    SampleTransfer(Velquor::OrvFileIO& reader, const std::vector<int>& handles, int sampleFrequency,
                   SegmentOutput& output, MessageEvent& messages, ProgressHandler progress,
                   std::function<bool()> cancelled = {});
    SampleTransfer(const SampleTransfer&) = delete;
    SampleTransfer& operator=(const SampleTransfer&) = delete;

    // The instants go through the resampler, in blocks, instead of into data records directly.
    void ResampleThrough(SegmentResampler& segmentResampler) { resampler = &segmentResampler; }
    // The whole transfer: 0 once the last file is finished, -1 after a failure (published).
    int TransferSamples();
    // Per channel, after the transfer: the samples read or left in its file that no file holds
    // (dropped to line the channels up, or after the end of the shortest channel).
    std::vector<uint64_t> SamplesLeftOut() const;

private:
    struct ChannelCursor {
        uint32_t recordIndex = 0;  // record that holds the channel's next sample
        uint32_t sampleIndex = 0;  // that sample within the record
        int32_t recordCount = 0;
    };

    // One channel's read position and the last sample read from it.
    struct Channel {
        ChannelCursor cursor;
        int handle = -1;
        short sample = 0;
        uint64_t timestamp = 0;            // µs, of that sample
        uint64_t nextRecordTimestamp = 0;  // µs, of the record that holds the next sample (runs only)
        bool pending = false;              // the sample was read and is not stored (yet)
        uint64_t dropped = 0;              // samples read and never stored
        uint64_t leftInFile = 0;           // samples after the end of the data, counted there
    };

    // The record a cursor stands in, as the reader handed it out.
    using RecordView = CscRecordView;

    using Load = CscLoad;
    enum class Step { Read, Failed, Ended };

    int GetRecordCounts();
    // The decoding step of both paths: the record of the channel's cursor. Failed leaves the
    // reader's text unpublished; NoRecord when the channel is exhausted.
    Load LoadRecord(const Channel& channel, RecordView& view);
    // Moves past `count` samples of the record the cursor stands in, into the next record at
    // its end.
    static void Advance(ChannelCursor& cursor, uint32_t count, uint32_t validSamples);
    static void MoveToNextRecord(ChannelCursor& cursor);

    // The sample-by-sample steps.
    Step ReadNextSample(Channel& channel);
    Step ReadInstant();
    Step AlignChannels();
    int StoreInstant();

    // The run path.
    uint32_t AlignedRunLength();
    uint32_t InstantsInAgreement(uint32_t run) const;
    int StoreRun(uint32_t run);

    // Opens the next file; with resampling, the record buffer then holds a block of instants.
    int StartEDFFile();
    // The first instant of the file opened: its start date, and where its resampling starts.
    int StartSegmentAt(uint64_t firstInstant);
    int CompleteRecordIfFull();
    // Hands the instants stored on: the data record, or the block to the resampler.
    int HandOverBuffer();
    // Where the instants are stored: the data record, or the resampler's block to fill.
    std::vector<short>& Buffer() { return resampler != nullptr ? resampler->Block() : recordBuffer; }
    // Counts, at the end of the data, what each channel holds beyond it.
    void CountSamplesLeftInFiles();
    // Completes the last data record of the file with zeros and finishes the file.
    int FinishEDFFile();
    void ReportProgress() const;

    Velquor::OrvFileIO& reader;
    SegmentOutput& output;
    MessageEvent& messages;
    ProgressHandler progress;
    std::function<bool()> cancelled;
    SegmentResampler* resampler = nullptr;
    std::vector<Channel> channels;
    std::vector<short> recordBuffer;  // channel-major: samplesPerRecord entries per channel
    uint32_t fillIndex = 0;           // sample instants stored in Buffer()
    int samplesPerRecord = 0;         // instants Buffer() holds: of a data record, or of a block
    int outputRecordSamples = 0;      // of a data record at the output rate, when resampling
    double sampleIntervalUs = 0;
    // µs after its record's timestamp of the sample at each index: the truncated product of the
    // index and sampleIntervalUs, worked out once instead of for every sample.
    std::array<uint64_t, Velquor::orvSamplesPerCscRecord> sampleOffsetsUs{};
    uint64_t segmentStart = 0;   // µs, first sample instant of the open file
    uint64_t lastTimestamp = 0;  // µs, last sample instant stored; 0 while none is
};
