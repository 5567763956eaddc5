#include "KaiserLowpass.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The modified Bessel function of the first kind and order zero, by its power series, which
// converges for every argument the window uses (beta below 20).
double BesselI0(double x)
{
    const double quarterSquare = x * x / 4;
    double term = 1;
    double sum = 1;
    for (int k = 1; k < 500 && term > sum * 1e-17; ++k) {
        term *= quarterSquare / (static_cast<double>(k) * static_cast<double>(k));
        sum += term;
    }
    return sum;
}

double KaiserBeta(double attenuationDb)
{
    if (attenuationDb > 50)
        return 0.1102 * (attenuationDb - 8.7);
    if (attenuationDb >= 21)
        return 0.5842 * std::pow(attenuationDb - 21, 0.4) + 0.07886 * (attenuationDb - 21);
    return 0;
}

// Kaiser's estimate falls a few dB short at the narrowest transitions; the margin keeps the
// designed filter above the attenuation asked for.
constexpr double designMarginDb = 4;

}  // namespace

int64_t KaiserLowpassLength(const KaiserLowpassDesign& design)
{
    const double transition = design.stopbandEdge - design.passbandEdge;
    const double estimate =
        (design.attenuationDb + designMarginDb - 7.95) / (2.285 * 2 * std::numbers::pi * transition) + 1;
    return 2 * static_cast<int64_t>(std::ceil(estimate / 2)) + 1;
}

std::vector<double> DesignKaiserLowpass(const KaiserLowpassDesign& design)
{
    return DesignKaiserLowpass(design, 0);
}

std::vector<double> DesignKaiserLowpass(const KaiserLowpassDesign& design, double shift)
{
    const double attenuation = design.attenuationDb + designMarginDb;
    const int64_t half = KaiserLowpassLength(design) / 2;
    const double cutoff = (design.passbandEdge + design.stopbandEdge) / 2;
    const double beta = KaiserBeta(attenuation);
    const double windowScale = BesselI0(beta);
    // the window, centred on the shifted middle, reaches just to the farther end tap
    const double windowHalf = static_cast<double>(half) + shift;
    std::vector<double> taps(static_cast<size_t>(2 * half + 1));
    for (int64_t n = -half; n <= half; ++n) {
        const double t = static_cast<double>(n) - shift;
        const double ratio = t / windowHalf;
        const double window = BesselI0(beta * std::sqrt(std::max(0.0, 1 - ratio * ratio))) / windowScale;
        const double x = 2 * std::numbers::pi * cutoff * t;
        const double sinc = t == 0 ? 2 * cutoff : std::sin(x) / (std::numbers::pi * t);
        taps[static_cast<size_t>(n + half)] = design.gain * sinc * window;
    }
    return taps;
}

double LowpassAmplitude(const std::vector<double>& taps, double frequency)
{
    // symmetric taps: the response is real once the delay of the middle tap is taken out
    const size_t middle = taps.size() / 2;
    double sum = taps[middle];
    for (size_t k = 1; k <= middle; ++k)
        sum += 2 * taps[middle + k] * std::cos(2 * std::numbers::pi * frequency * static_cast<double>(k));
    return std::abs(sum);
}
