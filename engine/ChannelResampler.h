#pragma once

#include <cstdint>
#include <vector>

#include "ResamplingPlan.h"

// One channel's way through the stages of a plan, one gap-free segment at a time: samples go in
// as they come, output samples come out as soon as the input they need has arrived, and Finish
// gives the rest at the segment's end. Output sample k of a segment lies exactly k / F after its
// first input sample: each stage's delay is taken out.
//
// Edges: a stage sees its input mirrored about the segment's first and last samples (x[-i] =
// x[i], x[n - 1 + i] = x[n - 1 - i]), so nothing from before the segment, after it or across a
// gap enters a sample. The state held is the stages' recent input only, whatever the length.
class ChannelResampler {
public:
    explicit ChannelResampler(const ResamplingPlan& plan);

    // Appends to `output` the output samples that `count` more input samples complete.
    void Push(const float* samples, size_t count, std::vector<float>& output);
    // The same for 16-bit samples, which go into the first stage as floats without a copy between.
    void Push(const short* samples, size_t count, std::vector<float>& output);
    // Appends the segment's remaining output samples and makes ready for the next segment.
    void Finish(std::vector<float>& output);

private:
    // One stage's input: x[first .. first + size) of the segment (first is negative once the
    // mirrored start is in), its count of real samples and the next output to make.
    struct StageState {
        std::vector<float> input;
        int64_t first = 0;
        int64_t received = 0;
        int64_t next = 0;
        bool started = false;        // the mirrored start is in
        std::vector<float> scratch;  // a halving stage's samples split into odd and even ones
    };

    template <typename Sample> void PushSamples(const Sample* samples, size_t count, std::vector<float>& output);
    template <typename Sample>
    static void PushStage(const ResamplingStage& stage, StageState& state, const Sample* samples, size_t count,
                          std::vector<float>& output);
    static void FinishStage(const ResamplingStage& stage, StageState& state, std::vector<float>& output);
    // Outputs whose newest input sample is below `available` (segment index).
    static void Produce(const ResamplingStage& stage, StageState& state, int64_t available, int64_t last,
                        std::vector<float>& output);
    static void ProduceHalving(const ResamplingStage& stage, StageState& state, int64_t available, int64_t last,
                               std::vector<float>& output);
    static void Compact(const ResamplingStage& stage, StageState& state);

    const ResamplingPlan& plan;
    std::vector<StageState> states;
    std::vector<float> between[2];  // the output of one stage, the input of the next
};
