#include "SegmentResampler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

SegmentResampler::SegmentResampler(const ResamplingPlan& plan, size_t channelCount, SegmentOutput& output)
    : plan(plan), output(output), pending(channelCount), clipped(channelCount, 0)
{
    channels.reserve(channelCount);
    for (size_t c = 0; c < channelCount; ++c)
        channels.emplace_back(plan);
}

void SegmentResampler::StartSegment(uint64_t firstInstant, int samplesPerRecord)
{
    this->firstInstant = firstInstant;
    this->samplesPerRecord = static_cast<size_t>(samplesPerRecord);
    record.assign(channels.size() * this->samplesPerRecord, 0);
    fillIndex = 0;
    outputIndex = 0;
}

int SegmentResampler::Push(const std::vector<short>& block, size_t stride, size_t count)
{
    // the channels are independent: the first half is filtered on the side thread meanwhile, or
    // here after the others when there is no side thread
    Filtering firstHalf{this, &block, stride, count, 0, channels.size() / 2, &converted[0]};
    const bool aside = firstHalf.end > 0 && side.Run(&FilterChannels, &firstHalf);
    Filtering secondHalf{this, &block, stride, count, firstHalf.end, channels.size(), &converted[1]};
    FilterChannels(&secondHalf);
    if (aside)
        side.Wait();
    else
        FilterChannels(&firstHalf);
    return WriteWholeRecords();
}

void SegmentResampler::FilterChannels(void* work)
{
    auto& filtering = *static_cast<Filtering*>(work);
    SegmentResampler& self = *filtering.owner;
    for (size_t c = filtering.begin; c < filtering.end; ++c) {
        const short* samples = filtering.block->data() + c * filtering.stride;
        filtering.converted->assign(samples, samples + filtering.count);
        self.channels[c].Push(filtering.converted->data(), filtering.count, self.pending[c]);
    }
}

int SegmentResampler::FinishSegment()
{
    for (size_t c = 0; c < channels.size(); ++c)
        channels[c].Finish(pending[c]);
    if (WriteWholeRecords() != 0)
        return -1;
    if (fillIndex == 0)
        return 0;
    for (size_t c = 0; c < channels.size(); ++c)
        std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(c * samplesPerRecord + fillIndex),
                    samplesPerRecord - fillIndex, short{0});
    fillIndex = 0;
    return output.WriteDataRecord(record, InstantOf(outputIndex - 1));
}

int SegmentResampler::WriteWholeRecords()
{
    const size_t available = pending.empty() ? 0 : pending.front().size();  // the same for every channel
    size_t taken = 0;
    while (taken < available) {
        const size_t count = std::min(available - taken, samplesPerRecord - fillIndex);
        for (size_t c = 0; c < channels.size(); ++c)
            Store(c, taken, count);
        taken += count;
        fillIndex += count;
        outputIndex += static_cast<int64_t>(count);
        if (fillIndex < samplesPerRecord)
            break;
        fillIndex = 0;
        if (output.WriteDataRecord(record, InstantOf(outputIndex - 1)) != 0)
            return -1;
    }
    for (std::vector<float>& samples : pending)
        samples.clear();
    return 0;
}

void SegmentResampler::Store(size_t channel, size_t from, size_t count)
{
    const float* in = pending[channel].data() + from;
    short* out = record.data() + channel * samplesPerRecord + fillIndex;
    int64_t beyond = 0;
    for (size_t i = 0; i < count; ++i) {
        const float rounded = std::nearbyint(in[i]);
        const float kept = std::clamp(rounded, static_cast<float>(INT16_MIN), static_cast<float>(INT16_MAX));
        beyond += kept != rounded ? 1 : 0;
        out[i] = static_cast<short>(kept);
    }
    clipped[channel] += beyond;
}

uint64_t SegmentResampler::InstantOf(int64_t index) const
{
    // k / F after the first instant, to the nearest microsecond
    const int64_t rate = plan.OutputRate();
    return firstInstant + static_cast<uint64_t>((index * 1000000 + rate / 2) / rate);
}
