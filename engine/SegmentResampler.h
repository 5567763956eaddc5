#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "ChannelResampler.h"
#include "FractionalDelay.h"
#include "ResamplingPlan.h"
#include "SegmentOutput.h"
#include "SideThread.h"

// Between the sample transfer and the segment output when the channels are resampled: takes the
// segment's samples in blocks, filters every channel through its own ChannelResampler and packs
// the output samples into data records at the output rate. The output keeps the input's step (one
// digital unit stays one digital unit); a filtered sample beyond the 16-bit range is clipped to
// it and counted. Channels may come at different rates, each through a plan of its own to the one
// output rate; a channel whose first sample lies after the segment's first instant is delayed by
// that fraction of an output period (FractionalDelay), so that output sample k of every channel
// lies k / F after the segment's first instant. Failures are the output's, which has published
// them.
//
// The caller fills one of two blocks that the resampler holds while the block pushed before is
// filtered on a side thread; the caller, once it has filled the next block, filters what is
// left of the one before on its own thread. Reading and filtering overlap, the two threads
// share the filtering, and no block is copied.
class SegmentResampler {
public:
    // Every channel from the plan's input rate.
    SegmentResampler(const ResamplingPlan& plan, size_t channelCount, SegmentOutput& output);
    // Channel c from plans[c]'s input rate; every plan has the same output rate, and outlives this.
    SegmentResampler(const std::vector<const ResamplingPlan*>& plans, SegmentOutput& output);
    // Waits for the block under way on the side thread, which reads the blocks held here.
    ~SegmentResampler();
    SegmentResampler(const SegmentResampler&) = delete;
    SegmentResampler& operator=(const SegmentResampler&) = delete;

    // Both blocks `entries` long, zeroed; whatever was pushed must have been finished.
    void SizeBlocks(size_t entries);
    // The block to fill next, the caller's until it is pushed; another one after every Push.
    std::vector<short>& Block() { return blocks[filling]; }

    // A segment starts at the instant firstInstant (µs); its records hold samplesPerRecord
    // samples of each channel. channelOffsetsUs, when given: how long after firstInstant each
    // channel's first sample lies, less than one output period.
    void StartSegment(uint64_t firstInstant, int samplesPerRecord, const std::vector<uint32_t>& channelOffsetsUs = {});
    // The next `count` instants, in Block(): entry c * stride + i holds instant i of channel c.
    // Writes the records that the block pushed before completes; its filtering starts meanwhile.
    int Push(size_t stride, size_t count);
    // The next counts[c] samples of each channel c, from entry starts[c] of Block() on.
    int Push(const std::vector<size_t>& starts, const std::vector<size_t>& counts);
    // Writes the segment's remaining samples, the last record completed with zeros. outputCount,
    // when not negative, is the segment's output samples of every channel: a channel that gives
    // more is cut there, one that gives fewer repeats its last sample.
    int FinishSegment(int64_t outputCount = -1);
    int OutputRate() const { return outputRate; }
    // Per channel, the output samples clipped to the 16-bit range so far.
    const std::vector<int64_t>& ClippedSamples() const { return clipped; }

private:
    // Filters the channels of the block pushed last that no thread has taken yet, one after the
    // other, from its first channel on or from its last one back; `resampled` holds a channel's
    // output before its delay.
    void FilterUntaken(std::vector<float>& resampled, bool fromEnd);
    // The next channel that no thread has taken, from the start or from the end; the channel
    // count when none is left. The side thread takes from the start and the caller from the end,
    // so that a channel mostly stays with one thread, its filters' state in that processor's
    // cache. (The block reached the threads with the side thread's hand-over, which orders
    // everything else.)
    size_t TakeChannel(bool fromEnd);
    // The block just filled becomes the one filtered, on the side thread where there is one.
    void HandOutBlock();
    static void FilterOnSide(void* self);
    // The block pushed last filtered (on both threads) and its records written.
    int CompleteBlock();
    // Moves what every channel holds into records and writes each that fills.
    int WriteWholeRecords();
    void Store(size_t channel, size_t from, size_t count);
    uint64_t InstantOf(int64_t outputIndex) const;

    int outputRate = 1;
    SegmentOutput& output;
    std::vector<ChannelResampler> channels;
    std::vector<FractionalDelay> delays;      // per channel; one that delays nothing by default
    std::vector<std::vector<float>> pending;  // per channel: output samples not yet in a record
    std::vector<short> record;                // channel-major, samplesPerRecord entries per channel
    std::vector<int64_t> clipped;
    std::vector<short> blocks[2];     // one filled by the caller, one filtered
    size_t filling = 0;               // index of the block the caller fills
    std::vector<size_t> blockStarts;  // of each channel in the block pushed last
    std::vector<size_t> blockCounts;
    std::atomic<uint64_t> taken{0};   // channels of that block taken: from its start (low half), from its end
    bool underWay = false;            // that block is not filtered yet
    bool aside = false;               // the side thread has a share of it
    std::vector<float> resampled[2];  // per thread: one channel's output before its delay
    size_t samplesPerRecord = 0;
    size_t fillIndex = 0;       // samples of each channel in `record`
    int64_t outputIndex = 0;    // of the segment's next sample put into `record`
    uint64_t firstInstant = 0;  // µs
    SideThread side;            // last: ended before the members its jobs use
};
