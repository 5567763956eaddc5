#include "ChannelResampler.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Index of the sample that stands at segment index i when the n samples are mirrored about the
// first and the last, as often as needed.
int64_t Mirrored(int64_t i, int64_t n)
{
    if (n == 1)
        return 0;
    const int64_t period = 2 * (n - 1);
    int64_t j = i % period;
    j = j < 0 ? j + period : j;
    return j >= n ? period - j : j;
}

// Inputs that may sit in front of the oldest one still needed before they are cut away.
constexpr int64_t compactionSlack = 1024;

float Dot(const float* taps, const float* samples, int count)
{
    // separate sums the compiler keeps in vector lanes
    constexpr int lanes = 8;
    float sums[lanes] = {};
    int i = 0;
    for (; i + lanes <= count; i += lanes) {
        for (int l = 0; l < lanes; ++l)
            sums[l] += taps[i + l] * samples[i + l];
    }
    float total = 0;
    for (; i < count; ++i)
        total += taps[i] * samples[i];
    for (const float sum : sums)
        total += sum;
    return total;
}

}  // namespace

ChannelResampler::ChannelResampler(const ResamplingPlan& plan) : plan(plan), states(plan.Stages().size())
{
}

void ChannelResampler::Push(const float* samples, size_t count, std::vector<float>& output)
{
    const std::vector<ResamplingStage>& stages = plan.Stages();
    if (stages.empty()) {
        output.insert(output.end(), samples, samples + count);
        return;
    }
    const float* in = samples;
    size_t inCount = count;
    for (size_t s = 0; s < stages.size(); ++s) {
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

void ChannelResampler::PushStage(const ResamplingStage& stage, StageState& state, const float* samples, size_t count,
                                 std::vector<float>& output)
{
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
            const int64_t j = i < 0 || i >= n ? Mirrored(i, n) : i;
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
    if (stage.halfBand) {
        ProduceHalfBand(stage, state, available, last, output);
        return;
    }
    if (stage.up == 1) {
        ProduceDecimated(stage, state, available, last, output);
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
// once, tap by tap, in loops over the outputs that the compiler vectorises.
void ChannelResampler::ProduceHalfBand(const ResamplingStage& stage, StageState& state, int64_t available, int64_t last,
                                       std::vector<float>& output)
{
    // last may be the largest count (no end yet): the minimum first, then one past it
    const int64_t end = std::min(last, (available - 1 - stage.delay) / 2) + 1;  // outputs [next, end)
    if (end <= state.next)
        return;
    const auto count = static_cast<size_t>(end - state.next);
    const size_t at = output.size();
    output.resize(at + count);
    float* out = output.data() + at;
    const float* centre = state.input.data() + (2 * state.next - state.first);  // x[2k] at centre[2k']
    for (size_t k = 0; k < count; ++k)
        out[k] = stage.middle * centre[2 * k];
    for (size_t j = 0; j < stage.oddTaps.size(); ++j) {
        const float tap = stage.oddTaps[j];
        const float* before = centre - (2 * j + 1);
        const float* after = centre + (2 * j + 1);
        for (size_t k = 0; k < count; ++k)
            out[k] += tap * (before[2 * k] + after[2 * k]);
    }
    state.next = end;
}

// With L = 1 every output takes the one phase: all outputs available are made at once, tap by
// tap, output k from the inputs kM - delay on.
void ChannelResampler::ProduceDecimated(const ResamplingStage& stage, StageState& state, int64_t available,
                                        int64_t last, std::vector<float>& output)
{
    const int64_t down = stage.down;
    const int64_t end = std::min(last, (available - 1 - stage.delay) / down) + 1;  // outputs [next, end)
    if (end <= state.next)
        return;
    const auto count = static_cast<size_t>(end - state.next);
    const auto stride = static_cast<size_t>(down);
    const size_t at = output.size();
    output.resize(at + count, 0.0F);
    float* out = output.data() + at;
    const float* oldest = state.input.data() + (state.next * down + stage.delay - stage.tapsPerPhase + 1 - state.first);
    for (int i = 0; i < stage.tapsPerPhase; ++i) {
        const float tap = stage.phases[static_cast<size_t>(i)];
        const float* in = oldest + i;
        for (size_t k = 0; k < count; ++k)
            out[k] += tap * in[k * stride];
    }
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
