#include "ChannelResampler.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "MirroredIndex.h"
#include "logging/FreedMemory.h"
#include "logging/VectorClones.h"

namespace {

// Input samples taken through the stages at a time.
constexpr size_t pushStretch = 4096;

// Inputs that may sit in front of the oldest one still needed before they are cut away.
constexpr int64_t compactionSlack = 1024;

// Room for `needed` floats in a buffer that is refilled block after block, its new pages
// populated in one call rather than a fault each. It grows by what a stage's input may hold more
// before it is compacted, so that it grows once; every page of the room becomes resident, so the
// room stays close to what is needed.
void MakeRoom(std::vector<float>& buffer, size_t needed)
{
    if (buffer.capacity() < needed)
        OrvSystem::ReservePopulated(buffer, needed + static_cast<size_t>(compactionSlack));
}

// Eight floats side by side (the vector extension of GCC and Clang): the compiler maps them onto
// the registers of the build it makes, two SSE registers or one AVX register. Every lane does
// the same operations in the same order in either, so the output does not depend on the
// processor.
using Lanes = float __attribute__((vector_size(8 * sizeof(float))));
constexpr size_t laneCount = 8;

// GCC warns that Lanes are passed differently between builds with and without AVX; no call
// between the builds passes one (Load takes them by reference, and is always inlined).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

// The kernels below are built for AVX2 and for the baseline processor (VectorClones.h).
#define VARELO_VECTOR_KERNEL VARELO_VECTOR_CLONES("avx2")

// Outputs made from one stretch of samples split into odd and even ones, and outputs summed side
// by side in registers.
constexpr size_t halvingStretch = 256;
constexpr size_t outputBlock = 2 * laneCount;

// x[from + 2m] for m in [0, count) into `to`, eight at a time while the source lasts.
void TakeEverySecond(const float* from, size_t count, float* to)
{
    size_t m = 0;
    for (; m + laneCount < count; m += laneCount) {  // reads up to from[2m + 15], within 2 count - 1
        Lanes low;
        Lanes high;
        std::memcpy(&low, from + 2 * m, sizeof low);
        std::memcpy(&high, from + 2 * m + laneCount, sizeof high);
        const Lanes taken = __builtin_shufflevector(low, high, 0, 2, 4, 6, 8, 10, 12, 14);
        std::memcpy(to + m, &taken, sizeof taken);
    }
    for (; m < count; ++m)
        to[m] = from[2 * m];
}

// Eight floats from `at`, through a reference: a function that returned Lanes would pass them
// differently in the AVX2 and the baseline build, which Clang refuses across the two.
[[gnu::always_inline]] inline void Load(Lanes& lanes, const float* at)
{
    std::memcpy(&lanes, at, sizeof lanes);
}

// The sum of the eight floats at `before` and the eight at `after`.
[[gnu::always_inline]] inline void LoadSum(Lanes& sum, const float* before, const float* after)
{
    Lanes second;
    Load(sum, before);
    Load(second, after);
    sum += second;
}

// Outputs [0, count) of a stage that halves the rate, from the prototype folded about its middle
// (ResamplingStage), with x[2k] at centre[2k]. The samples are first split into odd and even
// ones, so that every tap reads consecutive floats, and a block of outputs is summed in
// registers, tap by tap: the middle, the odd taps, then the even taps. `out` has room for whole
// blocks: up to outputBlock - 1 floats after the count are overwritten.
VARELO_VECTOR_KERNEL void HalvingOutputs(const ResamplingStage& stage, const float* centre, size_t count,
                                         std::vector<float>& scratch, float* out)
{
    const size_t oddReach = stage.oddTaps.size();  // odd samples on each side of an output
    const size_t evenReach = stage.evenTaps.size();
    for (size_t done = 0; done < count; done += halvingStretch) {
        const size_t stretch = std::min(halvingStretch, count - done);
        const size_t whole = (stretch + outputBlock - 1) / outputBlock * outputBlock;
        // odd[m] = x[2 (done + m - oddReach) + 1], even[m] = x[2 (done + m - evenReach)]; zeros
        // after the stretch fill the last block, whose outputs beyond it are not kept
        const size_t oddCount = stretch + 2 * oddReach - 1;
        const size_t evenCount = stretch + 2 * evenReach;
        const size_t oddRoom = whole + 2 * oddReach;
        scratch.resize(oddRoom + whole + 2 * evenReach);
        float* odd = scratch.data();
        float* even = odd + oddRoom;
        TakeEverySecond(centre + 2 * done - (2 * oddReach - 1), oddCount, odd);
        std::fill(odd + oddCount, even, 0.0F);
        TakeEverySecond(centre + 2 * done - 2 * evenReach, evenCount, even);
        std::fill(even + evenCount, scratch.data() + scratch.size(), 0.0F);
        for (size_t k = 0; k < stretch; k += outputBlock) {
            const float* middle = even + k + evenReach;
            Lanes first;
            Lanes second;
            Load(first, middle);
            Load(second, middle + laneCount);
            first *= stage.middle;
            second *= stage.middle;
            Lanes pair;
            for (size_t j = 0; j < oddReach; ++j) {
                const float* before = odd + k + oddReach - 1 - j;  // x[2k - 2j - 1]
                const float* after = odd + k + oddReach + j;       // x[2k + 2j + 1]
                LoadSum(pair, before, after);
                first += stage.oddTaps[j] * pair;
                LoadSum(pair, before + laneCount, after + laneCount);
                second += stage.oddTaps[j] * pair;
            }
            for (size_t q = 0; q < evenReach; ++q) {
                const float* before = middle - q - 1;  // x[2k - 2q - 2]
                const float* after = middle + q + 1;   // x[2k + 2q + 2]
                LoadSum(pair, before, after);
                first += stage.evenTaps[q] * pair;
                LoadSum(pair, before + laneCount, after + laneCount);
                second += stage.evenTaps[q] * pair;
            }
            std::memcpy(out + done + k, &first, sizeof first);
            std::memcpy(out + done + k + laneCount, &second, sizeof second);
        }
    }
}

// The sum of taps[i] samples[i], i in [0, count), in eight running sums, then the rest.
VARELO_VECTOR_KERNEL float Dot(const float* taps, const float* samples, int count)
{
    Lanes sums = {};
    int i = 0;
    Lanes tap;
    Lanes sample;
    for (; i + static_cast<int>(laneCount) <= count; i += laneCount) {
        Load(tap, taps + i);
        Load(sample, samples + i);
        sums += tap * sample;
    }
    float total = 0;
    for (; i < count; ++i)
        total += taps[i] * samples[i];
    for (size_t lane = 0; lane < laneCount; ++lane)
        total += sums[lane];
    return total;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace

ChannelResampler::ChannelResampler(const ResamplingPlan& plan) : plan(plan), states(plan.Stages().size())
{
}

void ChannelResampler::Push(const float* samples, size_t count, std::vector<float>& output)
{
    PushSamples(samples, count, output);
}

void ChannelResampler::Push(const short* samples, size_t count, std::vector<float>& output)
{
    // a stretch at a time through all the stages: their buffers stay small, in the cache and in
    // the memory of many channels
    for (size_t done = 0; done < count; done += pushStretch)
        PushSamples(samples + done, std::min(pushStretch, count - done), output);
}

template <typename Sample>
void ChannelResampler::PushSamples(const Sample* samples, size_t count, std::vector<float>& output)
{
    const std::vector<ResamplingStage>& stages = plan.Stages();
    if (stages.empty()) {
        output.insert(output.end(), samples, samples + count);
        return;
    }
    std::vector<float>& firstOut = stages.size() == 1 ? output : between[0];
    if (stages.size() > 1)
        firstOut.clear();
    PushStage(stages[0], states[0], samples, count, firstOut);
    const float* in = firstOut.data();
    size_t inCount = firstOut.size();
    for (size_t s = 1; s < stages.size(); ++s) {
        const bool last = s + 1 == stages.size();
        std::vector<float>& out = last ? output : between[s % 2];
        if (!last)
            out.clear();
        PushStage(stages[s], states[s], in, inCount, out);
        in = out.data();
        inCount = out.size();
    }
}

void ChannelResampler::Finish(std::vector<float>& output)
{
    const std::vector<ResamplingStage>& stages = plan.Stages();
    for (size_t s = 0; s < stages.size(); ++s) {
        const bool last = s + 1 == stages.size();
        std::vector<float>& out = last ? output : between[s % 2];
        if (!last)
            out.clear();
        FinishStage(stages[s], states[s], out);
        // the rest of this stage goes through the next ones as usual, which are finished after it
        for (size_t t = s + 1; t < stages.size(); ++t) {
            const bool lastAfter = t + 1 == stages.size();
            std::vector<float>& next = lastAfter ? output : between[t % 2];
            const std::vector<float>& in = between[(t - 1) % 2];
            if (!lastAfter)
                next.clear();
            PushStage(stages[t], states[t], in.data(), in.size(), next);
        }
    }
}

template <typename Sample>
void ChannelResampler::PushStage(const ResamplingStage& stage, StageState& state, const Sample* samples, size_t count,
                                 std::vector<float>& output)
{
    MakeRoom(state.input, state.input.size() + count + 2 * static_cast<size_t>(stage.tapsPerPhase));
    state.input.insert(state.input.end(), samples, samples + count);
    state.received += static_cast<int64_t>(count);
    const int64_t mirrored = stage.tapsPerPhase;  // samples mirrored in front of the segment
    if (!state.started && state.received > mirrored) {
        std::vector<float> front(static_cast<size_t>(mirrored));
        for (int64_t i = 0; i < mirrored; ++i)
            front[static_cast<size_t>(i)] = state.input[static_cast<size_t>(mirrored - i)];
        state.input.insert(state.input.begin(), front.begin(), front.end());
        state.first = -mirrored;
        state.started = true;
    }
    if (!state.started)
        return;
    Produce(stage, state, state.received, INT64_MAX, output);
    Compact(stage, state);
}

void ChannelResampler::FinishStage(const ResamplingStage& stage, StageState& state, std::vector<float>& output)
{
    const int64_t n = state.received;
    if (n > 0) {
        const int64_t margin = stage.tapsPerPhase + 1;
        // the segment from -margin to n + margin, mirrored where it has no sample
        std::vector<float> whole;
        const int64_t from = state.started ? state.first : -margin;
        for (int64_t i = from; i < n + margin; ++i) {
            const int64_t j = i < 0 || i >= n ? MirroredIndex(i, n) : i;
            whole.push_back(state.input[static_cast<size_t>(j - state.first)]);
        }
        state.input = std::move(whole);
        state.first = from;
        const int64_t lastOutput = (n - 1) * stage.up / stage.down;
        Produce(stage, state, n + margin, lastOutput, output);
    }
    state = StageState{};
}

void ChannelResampler::Produce(const ResamplingStage& stage, StageState& state, int64_t available, int64_t last,
                               std::vector<float>& output)
{
    if (stage.halving) {
        ProduceHalving(stage, state, available, last, output);
        return;
    }
    const int taps = stage.tapsPerPhase;
    for (; state.next <= last; ++state.next) {
        const int64_t position = state.next * stage.down + stage.delay;  // of the prototype's middle, upsampled
        const int64_t newest = position / stage.up;
        if (newest >= available)
            break;
        const int64_t phase = position - newest * stage.up;
        const int64_t oldest = newest - taps + 1;
        output.push_back(Dot(stage.phases.data() + phase * taps, state.input.data() + (oldest - state.first), taps));
    }
}

// Output k stands at input 2k and needs up to 2k + delay: all outputs available are made at
// once (HalvingOutputs).
void ChannelResampler::ProduceHalving(const ResamplingStage& stage, StageState& state, int64_t available, int64_t last,
                                      std::vector<float>& output)
{
    // last may be the largest count (no end yet): the minimum first, then one past it
    const int64_t end = std::min(last, (available - 1 - stage.delay) / 2) + 1;  // outputs [next, end)
    if (end <= state.next)
        return;
    const auto count = static_cast<size_t>(end - state.next);
    const size_t at = output.size();
    MakeRoom(output, at + count + outputBlock);
    output.resize(at + count + outputBlock);
    const float* centre = state.input.data() + (2 * state.next - state.first);  // x[2k] at centre[2k']
    HalvingOutputs(stage, centre, count, state.scratch, output.data() + at);
    output.resize(at + count);
    state.next = end;
}

void ChannelResampler::Compact(const ResamplingStage& stage, StageState& state)
{
    const int64_t position = state.next * stage.down + stage.delay;
    const int64_t oldestNeeded = position / stage.up - stage.tapsPerPhase + 1;
    // the end's mirror needs the last tapsPerPhase + 2 samples
    const int64_t keepFrom = std::min(oldestNeeded, state.received - stage.tapsPerPhase - 2);
    const int64_t cut = keepFrom - state.first;
    if (cut < compactionSlack)
        return;
    state.input.erase(state.input.begin(), state.input.begin() + cut);
    state.first = keepFrom;
}
