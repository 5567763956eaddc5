#include "SynthSignal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace VareloSynth {

SynthSignal::SynthSignal(uint64_t seed, int channelIndex, int samplingFrequencyHz, int adMaxValue)
    : random(seed ^ (0xA0761D6478BD642Full * static_cast<uint64_t>(channelIndex + 1)))
{
    for (size_t i = 0; i < sineTable.size(); ++i) {
        const double angle = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(sineTable.size());
        sineTable[i] = static_cast<int32_t>(std::lround(std::sin(angle) * sineScale));
    }
    limit = std::clamp(adMaxValue, 0, 32767);
    slowAmplitude = limit * 45 / 100;
    fastAmplitude = limit * 20 / 100;
    noiseAmplitude = static_cast<uint32_t>(limit * 5 / 100);
    const double slowHz = 1.0 + random.Below(1200) / 100.0;   // 1 to 13 Hz
    const double fastHz = 30.0 + random.Below(4000) / 100.0;  // 30 to 70 Hz
    slowStep = PhaseStep(slowHz, samplingFrequencyHz);
    fastStep = PhaseStep(fastHz, samplingFrequencyHz);
    slowPhase = static_cast<uint32_t>(random.Next());
    fastPhase = static_cast<uint32_t>(random.Next());
}

uint32_t SynthSignal::PhaseStep(double toneHz, int samplingFrequencyHz)
{
    if (samplingFrequencyHz <= 0)
        return 0;
    const double cycles = toneHz / samplingFrequencyHz;  // per sample
    return static_cast<uint32_t>(std::min((cycles - std::floor(cycles)) * 4294967296.0, 4294967295.0));
}

}  // namespace VareloSynth
