#include "FractionalDelay.h"

#include <algorithm>

#include "KaiserLowpass.h"
#include "MirroredIndex.h"

namespace {

constexpr double attenuationDb = 90;

}  // namespace

FractionalDelay::FractionalDelay(double fraction) : fraction(fraction)
{
    if (fraction <= 0)
        return;
    const std::vector<double> design =
        DesignKaiserLowpass({.passbandEdge = 0.4, .stopbandEdge = 0.6, .attenuationDb = attenuationDb}, fraction);
    // the taps' sum is the gain at 0 Hz: made exactly one, so that a constant stays the same
    double sum = 0;
    for (const double tap : design)
        sum += tap;
    taps.reserve(design.size());
    for (auto tap = design.rbegin(); tap != design.rend(); ++tap)  // in the order of the inputs they multiply
        taps.push_back(static_cast<float>(*tap / sum));
    half = static_cast<int64_t>(design.size() / 2);
}

float FractionalDelay::Input(int64_t index) const
{
    // mirrored about the first sample, and about the last once the segment has ended (its length
    // known); a segment shorter than the filter reflects more than once
    if (finished)
        index = MirroredIndex(index, received);
    else if (index < 0)
        index = -index;
    index = std::clamp<int64_t>(index, heldFirst, heldFirst + static_cast<int64_t>(held.size()) - 1);
    return held[static_cast<std::size_t>(index - heldFirst)];
}

void FractionalDelay::Produce(int64_t last, std::vector<float>& output)
{
    const auto width = static_cast<int64_t>(taps.size());
    for (; next <= last; ++next) {
        const int64_t oldest = next - half;
        float sum = 0;
        if (oldest >= heldFirst && oldest + width <= received) {  // within the samples held
            const float* samples = held.data() + (oldest - heldFirst);
            for (int64_t j = 0; j < width; ++j)
                sum += taps[static_cast<std::size_t>(j)] * samples[j];
        } else {
            for (int64_t j = 0; j < width; ++j)
                sum += taps[static_cast<std::size_t>(j)] * Input(oldest + j);
        }
        output.push_back(sum);
    }
    // the samples the next output needs stay, and the first ones while the mirrored start needs them
    const int64_t keepFrom = std::max<int64_t>(0, next - half);
    if (keepFrom > heldFirst + static_cast<int64_t>(held.size()) / 2 && keepFrom > heldFirst + half) {
        held.erase(held.begin(), held.begin() + (keepFrom - heldFirst));
        heldFirst = keepFrom;
    }
}

void FractionalDelay::Push(const float* samples, std::size_t count, std::vector<float>& output)
{
    if (!Delays()) {
        output.insert(output.end(), samples, samples + count);
        return;
    }
    held.insert(held.end(), samples, samples + count);
    received += static_cast<int64_t>(count);
    Produce(received - 1 - half, output);  // outputs whose newest input has arrived
}

void FractionalDelay::Finish(std::vector<float>& output)
{
    if (Delays() && received > 0) {
        finished = true;
        Produce(received - 1, output);
    }
    Restart();
}

void FractionalDelay::Restart()
{
    held.clear();
    heldFirst = 0;
    received = 0;
    next = 0;
    finished = false;
}
