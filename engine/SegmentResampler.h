#pragma once

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
class SegmentResampler {
public:
    // Every channel from the plan's input rate.
    SegmentResampler(const ResamplingPlan& plan, size_t channelCount, SegmentOutput& output);
    // Channel c from plans[c]'s input rate; every plan has the same output rate, and outlives this.
    SegmentResampler(const std::vector<const ResamplingPlan*>& plans, SegmentOutput& output);
    SegmentResampler(const SegmentResampler&) = delete;
    SegmentResampler& operator=(const SegmentResampler&) = delete;

    // A segment starts at the instant firstInstant (µs); its records hold samplesPerRecord
    // samples of each channel. channelOffsetsUs, when given: how long after firstInstant each
    // channel's first sample lies, less than one output period.
    void StartSegment(uint64_t firstInstant, int samplesPerRecord, const std::vector<uint32_t>& channelOffsetsUs = {});
    // The next `count` instants: entry c * stride + i holds instant i of channel c.
    int Push(const std::vector<short>& block, size_t stride, size_t count);
    // The next counts[c] samples of each channel c, from entry starts[c] of the block on.
    int Push(const std::vector<short>& block, const std::vector<size_t>& starts, const std::vector<size_t>& counts);
    // Writes the segment's remaining samples, the last record completed with zeros. outputCount,
    // when not negative, is the segment's output samples of every channel: a channel that gives
    // more is cut there, one that gives fewer repeats its last sample.
    int FinishSegment(int64_t outputCount = -1);
    int OutputRate() const { return outputRate; }
    // Per channel, the output samples clipped to the 16-bit range so far.
    const std::vector<int64_t>& ClippedSamples() const { return clipped; }

private:
    // Channels [begin, end) of a block, filtered on one thread.
    struct Filtering {
        SegmentResampler* owner;
        const std::vector<short>* block;
        const std::vector<size_t>* starts;
        const std::vector<size_t>* counts;
        size_t begin;
        size_t end;
        std::vector<float>* resampled;  // one channel's output before its delay
    };
    static void FilterChannels(void* work);
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
    SideThread side;                  // filters the first half of the channels
    std::vector<float> resampled[2];  // per half: one channel's output before its delay
    std::vector<size_t> blockStarts;  // of each channel in a block of equal counts
    std::vector<size_t> blockCounts;
    size_t samplesPerRecord = 0;
    size_t fillIndex = 0;       // samples of each channel in `record`
    int64_t outputIndex = 0;    // of the segment's next sample put into `record`
    uint64_t firstInstant = 0;  // µs
};
