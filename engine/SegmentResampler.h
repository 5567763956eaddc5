#pragma once

#include <cstdint>
#include <vector>

#include "ChannelResampler.h"
#include "ResamplingPlan.h"
#include "SegmentOutput.h"
#include "SideThread.h"

// Between the sample transfer and the segment output when the channels are resampled: takes the
// segment's instants in blocks, filters every channel through its own ChannelResampler and packs
// the output samples into data records at the output rate. The output keeps the input's step (one
// digital unit stays one digital unit); a filtered sample beyond the 16-bit range is clipped to
// it and counted. Failures are the output's, which has published them.
class SegmentResampler {
public:
    SegmentResampler(const ResamplingPlan& plan, size_t channelCount, SegmentOutput& output);
    SegmentResampler(const SegmentResampler&) = delete;
    SegmentResampler& operator=(const SegmentResampler&) = delete;

    // A segment starts at the instant firstInstant (µs); its records hold samplesPerRecord
    // samples of each channel.
    void StartSegment(uint64_t firstInstant, int samplesPerRecord);
    // The next `count` instants: entry c * stride + i holds instant i of channel c.
    int Push(const std::vector<short>& block, size_t stride, size_t count);
    // Writes the segment's remaining samples, the last record completed with zeros.
    int FinishSegment();
    // Per channel, the output samples clipped to the 16-bit range so far.
    const std::vector<int64_t>& ClippedSamples() const { return clipped; }

private:
    // Channels [begin, end) of a block, filtered on one thread.
    struct Filtering {
        SegmentResampler* owner;
        const std::vector<short>* block;
        size_t stride;
        size_t count;
        size_t begin;
        size_t end;
        std::vector<float>* converted;  // one channel's samples as floats
    };
    static void FilterChannels(void* work);
    // Moves what every channel holds into records and writes each that fills.
    int WriteWholeRecords();
    void Store(size_t channel, size_t from, size_t count);
    uint64_t InstantOf(int64_t outputIndex) const;

    const ResamplingPlan& plan;
    SegmentOutput& output;
    std::vector<ChannelResampler> channels;
    std::vector<std::vector<float>> pending;  // per channel: output samples not yet in a record
    std::vector<short> record;                // channel-major, samplesPerRecord entries per channel
    std::vector<int64_t> clipped;
    SideThread side;                  // filters the first half of the channels
    std::vector<float> converted[2];  // per half: one channel's samples as floats
    size_t samplesPerRecord = 0;
    size_t fillIndex = 0;       // samples of each channel in `record`
    int64_t outputIndex = 0;    // of the segment's next sample put into `record`
    uint64_t firstInstant = 0;  // µs
};
