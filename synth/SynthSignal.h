#pragma once

#include <array>
#include <cstdint>

namespace VareloSynth {

// SplitMix64: a small, fast generator whose output depends on nothing but its seed, the same on
// every platform.
class SeededRandom {
public:
    explicit SeededRandom(uint64_t seed) : state(seed) {}

    uint64_t Next()
    {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in 0 .. bound - 1 (bound below 2^32).
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(((Next() >> 32) * bound) >> 32); }

private:
    uint64_t state;
};

// The samples of one synthetic channel: a slow and a faster sine with noise on top, each
// channel with frequencies and phases of its own drawn from the seed. Every sample lies within
// ±limit, where limit is the A/D maximum capped to the 16-bit range.
class SynthSignal {
public:
    SynthSignal(uint64_t seed, int channelIndex, int samplingFrequencyHz, int adMaxValue);

    int16_t Next()
    {
        slowPhase += slowStep;
        fastPhase += fastStep;
        int32_t value =
            (slowAmplitude * sineTable[slowPhase >> phaseShift] + fastAmplitude * sineTable[fastPhase >> phaseShift])
            / sineScale;
        value += static_cast<int32_t>(random.Below(2 * noiseAmplitude + 1)) - static_cast<int32_t>(noiseAmplitude);
        value = value > limit ? limit : (value < -limit ? -limit : value);
        return static_cast<int16_t>(value);
    }

private:
    static constexpr int tableBits = 12;
    static constexpr int phaseShift = 32 - tableBits;
    static constexpr int32_t sineScale = 32767;

    static uint32_t PhaseStep(double toneHz, int samplingFrequencyHz);

    std::array<int32_t, 1u << tableBits> sineTable{};  // one period, ±sineScale
    SeededRandom random;
    int32_t limit = 0;
    int32_t slowAmplitude = 0;
    int32_t fastAmplitude = 0;
    uint32_t noiseAmplitude = 0;
    uint32_t slowPhase = 0;  // 2^32 is one period
    uint32_t fastPhase = 0;
    uint32_t slowStep = 0;
    uint32_t fastStep = 0;
};

}  // namespace VareloSynth
