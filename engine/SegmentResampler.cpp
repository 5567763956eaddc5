#include "SegmentResampler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "logging/FreedMemory.h"

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

SegmentResampler::~SegmentResampler()
{
    if (aside)
        side.Wait();
}

void SegmentResampler::SizeBlocks(size_t entries)
{
    if (aside)
        side.Wait();
    aside = false;
    underWay = false;
    for (std::vector<short>& block : blocks) {
        OrvSystem::ReservePopulated(block, entries);
        block.assign(entries, 0);
    }
}

int SegmentResampler::Push(size_t stride, size_t count)
{
    // the block before is done (and its records written) before this one's counts take its place
    if (CompleteBlock() != 0)
        return -1;
    blockStarts.resize(channels.size());
    for (size_t c = 0; c < channels.size(); ++c)
        blockStarts[c] = c * stride;
    blockCounts.assign(channels.size(), count);
    HandOutBlock();
    return 0;
}

int SegmentResampler::Push(const std::vector<size_t>& starts, const std::vector<size_t>& counts)
{
    if (CompleteBlock() != 0)
        return -1;
    blockStarts = starts;
    blockCounts = counts;
    HandOutBlock();
    return 0;
}

void SegmentResampler::HandOutBlock()
{
    taken.store(0, std::memory_order_relaxed);
    underWay = true;
    filling ^= 1U;
    // the side thread filters while the caller fills the other block; without one the caller
    // filters the block when it pushes the next, or finishes the segment
    aside = side.Run(&FilterOnSide, this);
}

int SegmentResampler::CompleteBlock()
{
    if (!underWay)
        return 0;
    FilterUntaken(resampled[1], true);
    if (aside)
        side.Wait();
    aside = false;
    underWay = false;
    return WriteWholeRecords();
}

void SegmentResampler::FilterOnSide(void* self)
{
    auto& resampler = *static_cast<SegmentResampler*>(self);
    resampler.FilterUntaken(resampler.resampled[0], false);
}

size_t SegmentResampler::TakeChannel(bool fromEnd)
{
    const uint64_t count = channels.size();
    uint64_t both = taken.load(std::memory_order_relaxed);
    for (;;) {
        const uint64_t fromStart = both & 0xFFFFFFFFU;
        const uint64_t fromBack = both >> 32U;
        if (fromStart + fromBack >= count)
            return channels.size();
        const uint64_t next = fromEnd ? both + (uint64_t{1} << 32U) : both + 1;
        if (taken.compare_exchange_weak(both, next, std::memory_order_relaxed))
            return static_cast<size_t>(fromEnd ? count - 1 - fromBack : fromStart);
    }
}

void SegmentResampler::FilterUntaken(std::vector<float>& resampled, bool fromEnd)
{
    const std::vector<short>& block = blocks[filling ^ 1U];
    for (size_t c = TakeChannel(fromEnd); c < channels.size(); c = TakeChannel(fromEnd)) {
        const short* samples = block.data() + blockStarts[c];
        const size_t count = blockCounts[c];
        if (!delays[c].Delays()) {
            channels[c].Push(samples, count, pending[c]);
            continue;
        }
        resampled.clear();
        channels[c].Push(samples, count, resampled);
        delays[c].Push(resampled.data(), resampled.size(), pending[c]);
    }
}

int SegmentResampler::FinishSegment(int64_t outputCount)
{
    if (CompleteBlock() != 0)
        return -1;
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
