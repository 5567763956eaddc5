#include "SegmentResampler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

SegmentResampler::SegmentResampler(const ResamplingPlan& plan, size_t channelCount, SegmentOutput& output)
    : SegmentResampler(std::vector<const ResamplingPlan*>(channelCount, &plan), output)
{
}

SegmentResampler::SegmentResampler(const std::vector<const ResamplingPlan*>& plans, SegmentOutput& output)
    : outputRate(plans.empty() ? 1 : std::max(plans.front()->OutputRate(), 1)), output(output), delays(plans.size()),
      pending(plans.size()), clipped(plans.size(), 0)
{
    channels.reserve(plans.size());
    for (const ResamplingPlan* plan : plans)
        channels.emplace_back(*plan);
}

void SegmentResampler::StartSegment(uint64_t firstInstant, int samplesPerRecord,
                                    const std::vector<uint32_t>& channelOffsetsUs)
{
    this->firstInstant = firstInstant;
    this->samplesPerRecord = static_cast<size_t>(samplesPerRecord);
    record.assign(channels.size() * this->samplesPerRecord, 0);
    fillIndex = 0;
    outputIndex = 0;
    for (size_t c = 0; c < delays.size(); ++c) {
        // the channel's output k lies offset µs after the output's instant k: it is read at k - fraction
        const double offsetUs = c < channelOffsetsUs.size() ? channelOffsetsUs[c] : 0;
        const double fraction = std::min(offsetUs * outputRate / 1e6, 1.0);
        if (fraction != delays[c].Fraction())  // offsets repeat from segment to segment: taps are designed once
            delays[c] = FractionalDelay(fraction);
        else
            delays[c].Restart();
    }
}

int SegmentResampler::Push(const std::vector<short>& block, size_t stride, size_t count)
{
    blockStarts.resize(channels.size());
    for (size_t c = 0; c < channels.size(); ++c)
        blockStarts[c] = c * stride;
    blockCounts.assign(channels.size(), count);
    return Push(block, blockStarts, blockCounts);
}

int SegmentResampler::Push(const std::vector<short>& block, const std::vector<size_t>& starts,
                           const std::vector<size_t>& counts)
{
    // the channels are independent: the first half is filtered on the side thread meanwhile, or
    // here after the others when there is no side thread
    Filtering firstHalf{this, &block, &starts, &counts, 0, channels.size() / 2, &resampled[0]};
    const bool aside = firstHalf.end > 0 && side.Run(&FilterChannels, &firstHalf);
    Filtering secondHalf{this, &block, &starts, &counts, firstHalf.end, channels.size(), &resampled[1]};
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
        const short* samples = filtering.block->data() + (*filtering.starts)[c];
        const size_t count = (*filtering.counts)[c];
        if (!self.delays[c].Delays()) {
            self.channels[c].Push(samples, count, self.pending[c]);
            continue;
        }
        filtering.resampled->clear();
        self.channels[c].Push(samples, count, *filtering.resampled);
        self.delays[c].Push(filtering.resampled->data(), filtering.resampled->size(), self.pending[c]);
    }
}

int SegmentResampler::FinishSegment(int64_t outputCount)
{
    for (size_t c = 0; c < channels.size(); ++c) {
        if (!delays[c].Delays()) {
            channels[c].Finish(pending[c]);
            continue;
        }
        resampled[0].clear();
        channels[c].Finish(resampled[0]);
        delays[c].Push(resampled[0].data(), resampled[0].size(), pending[c]);
        delays[c].Finish(pending[c]);
    }
    if (outputCount >= 0) {
        const auto wanted = static_cast<size_t>(std::max<int64_t>(outputCount - outputIndex, 0));
        for (std::vector<float>& samples : pending)
            samples.resize(wanted, samples.empty() ? 0.0F : samples.back());
    }
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
    // what every channel has; channels of different rates may hold a sample more than others
    size_t available = pending.empty() || samplesPerRecord == 0 ? 0 : pending.front().size();
    for (const std::vector<float>& samples : pending)
        available = std::min(available, samples.size());
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
        samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(taken));
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
    const int64_t rate = outputRate;
    return firstInstant + static_cast<uint64_t>((index * 1000000 + rate / 2) / rate);
}
