#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KaiserLowpass.h"

// The filters that take a channel from its input rate to an output rate F: a cascade of
// half-band stages, each halving the rate while the rate is even and its half still lies above
// F, then one polyphase stage for the rational ratio L/M (reduced) that remains. Every stage is a
// Kaiser-windowed sinc (KaiserLowpass.h) of at least 90 dB; the whole passes 0 to 0.4 F and stops every
// frequency from 0.5 F on.
//
// Why a cascade: the transition 0.4 F to 0.5 F is narrow only at the last rate. A half-band stage
// must only keep what aliases into 0 to 0.5 F out of the band, so its transition runs from 0.5 F
// to its output rate - 0.5 F and it needs a handful of taps, while one stage at the input rate
// would need the narrow transition there: at 32 kHz to 1 kHz some 1,900 taps per output sample
// instead of about 150 for the whole cascade.
struct ResamplingStage {
    int up = 1;    // L: the stage's rate times L / M
    int down = 1;  // M
    // The prototype at L times the input rate, an odd number of taps symmetric about its middle,
    // which lies `delay` prototype samples after the first tap.
    std::vector<double> taps;
    int64_t delay = 0;
    // The prototype split into L phases of tapsPerPhase taps, each in the order of the input
    // samples it multiplies (oldest first): phase p holds taps p + (tapsPerPhase - 1 - i) L.
    std::vector<float> phases;
    int tapsPerPhase = 0;
    // Stages that halve the rate (L = 1, M = 2) also hold the prototype folded about its middle,
    // which the symmetric taps allow: output k is middle x[2k] + the sum of oddTaps[j]
    // (x[2k - 2j - 1] + x[2k + 2j + 1]) + the sum of evenTaps[q] (x[2k - 2q - 2] + x[2k + 2q + 2]).
    // A half-band stage (cut off at a quarter of the rate) has zeros at every even distance from
    // the middle but the middle itself: its evenTaps are empty.
    bool halving = false;
    bool halfBand = false;
    float middle = 0;
    std::vector<float> oddTaps;
    std::vector<float> evenTaps;
};

class ResamplingPlan {
public:
    // Designs the stages from inputRate to outputRate (Hz); false with the reason in `error`
    // when the output rate lies outside 1 to inputRate or the filter would be too large.
    bool Design(int inputRate, int outputRate, std::string& error);

    const std::vector<ResamplingStage>& Stages() const { return stages; }
    int InputRate() const { return inputRate; }
    int OutputRate() const { return outputRate; }
    // The output samples of a stretch of `inputSamples` instants: those that lie at or before
    // its last instant, the first at its first instant.
    int64_t OutputCount(int64_t inputSamples) const;

private:
    void AddStage(int up, int down, const KaiserLowpassDesign& design);
    static void MakeHalfBand(ResamplingStage& stage);
    static void FoldHalving(ResamplingStage& stage);

    std::vector<ResamplingStage> stages;
    int inputRate = 0;
    int outputRate = 0;
};
