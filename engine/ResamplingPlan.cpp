#include "ResamplingPlan.h"

#include <numeric>

#include "KaiserLowpass.h"

namespace {

// At least 90 dB, what 16-bit samples can show, and more: the window's passband ripple equals its
// stopband's, and the ripples of the stages add up; the half-band stages, which are short, get
// the most.
constexpr double halfBandAttenuationDb = 110;
constexpr double lastStageAttenuationDb = 100;
constexpr double passbandFraction = 0.4;  // of the output rate, passed
constexpr double stopbandFraction = 0.5;  // of the output rate, stopped from there on
// The largest prototype designed: 16 M taps take 64 MiB as phases. Ratios of large coprime
// rates (999,983 Hz to 999,979 Hz) would need more.
constexpr int64_t largestPrototype = int64_t{16} * 1024 * 1024;

}  // namespace

bool ResamplingPlan::Design(int inputRate, int outputRate, std::string& error)
{
    stages.clear();
    this->inputRate = inputRate;
    this->outputRate = outputRate;
    if (outputRate < 1 || outputRate > inputRate) {
        error = "the output rate " + std::to_string(outputRate) + " Hz lies outside 1 Hz to the input rate "
                + std::to_string(inputRate) + " Hz";
        return false;
    }
    const double wanted = outputRate;
    int rate = inputRate;
    while (rate % 2 == 0 && rate / 2 > outputRate) {
        // passes 0 to 0.5 F and stops what would fold into it: half-band about a quarter of the rate
        const double half = rate / 2.0;
        AddStage(1, 2,
                 {.passbandEdge = stopbandFraction * wanted / rate,
                  .stopbandEdge = (half - stopbandFraction * wanted) / rate,
                  .attenuationDb = halfBandAttenuationDb});
        MakeHalfBand(stages.back());
        rate /= 2;
    }
    if (rate == outputRate)
        return true;
    const int common = std::gcd(rate, outputRate);
    const int up = outputRate / common;
    const int down = rate / common;
    const double prototypeRate = static_cast<double>(rate) * up;
    const KaiserLowpassDesign last = {.passbandEdge = passbandFraction * wanted / prototypeRate,
                                      .stopbandEdge = stopbandFraction * wanted / prototypeRate,
                                      .attenuationDb = lastStageAttenuationDb,
                                      .gain = static_cast<double>(up)};
    if (KaiserLowpassLength(last) > largestPrototype) {
        error = "the ratio " + std::to_string(up) + "/" + std::to_string(down) + " of the rates from "
                + std::to_string(rate) + " Hz needs a filter of more than 16,777,216 taps";
        return false;
    }
    AddStage(up, down, last);
    if (up == 1 && down == 2)
        FoldHalving(stages.back());
    return true;
}

void ResamplingPlan::AddStage(int up, int down, const KaiserLowpassDesign& design)
{
    ResamplingStage stage;
    stage.up = up;
    stage.down = down;
    stage.taps = DesignKaiserLowpass(design);
    const auto length = static_cast<int64_t>(stage.taps.size());
    stage.delay = (length - 1) / 2;
    stage.tapsPerPhase = static_cast<int>((length + up - 1) / up);
    stage.phases.assign(static_cast<size_t>(up) * static_cast<size_t>(stage.tapsPerPhase), 0.0F);
    for (int64_t p = 0; p < up; ++p) {
        for (int64_t i = 0; i < stage.tapsPerPhase; ++i) {
            const int64_t tap = p + (stage.tapsPerPhase - 1 - i) * up;
            if (tap < length)
                stage.phases[static_cast<size_t>(p * stage.tapsPerPhase + i)] =
                    static_cast<float>(stage.taps[static_cast<size_t>(tap)]);
        }
    }
    stages.push_back(std::move(stage));
}

void ResamplingPlan::MakeHalfBand(ResamplingStage& stage)
{
    // the sinc cut off at a quarter of the rate is zero at even distances from the middle; the
    // rounding of the sine leaves some 1e-17 there, set to the zero it stands for
    const auto middle = static_cast<size_t>(stage.delay);
    for (size_t distance = 2; distance <= middle; distance += 2) {
        stage.taps[middle - distance] = 0;
        stage.taps[middle + distance] = 0;
    }
    stage.halfBand = true;
    FoldHalving(stage);
    stage.evenTaps.clear();
}

void ResamplingPlan::FoldHalving(ResamplingStage& stage)
{
    const auto middle = static_cast<size_t>(stage.delay);
    stage.halving = true;
    stage.middle = static_cast<float>(stage.taps[middle]);
    stage.oddTaps.clear();
    stage.evenTaps.clear();
    for (size_t distance = 1; distance <= middle; ++distance) {
        std::vector<float>& folded = distance % 2 == 1 ? stage.oddTaps : stage.evenTaps;
        folded.push_back(static_cast<float>(stage.taps[middle + distance]));
    }
}

int64_t ResamplingPlan::OutputCount(int64_t inputSamples) const
{
    int64_t count = inputSamples;
    for (const ResamplingStage& stage : stages)
        count = count < 1 ? 0 : (count - 1) * stage.up / stage.down + 1;
    return count;
}
