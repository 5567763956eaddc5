// The resampler's filters by their frequency response, and channels streamed through it: sines
// in the passband keep amplitude and phase, sines from half the output rate on vanish, the edge
// rule holds a constant, and the output does not depend on how the input is cut into pieces.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <vector>

#include "ChannelResampler.h"
#include "FractionalDelay.h"
#include "KaiserLowpass.h"
#include "ResamplingPlan.h"

namespace {

struct Rates {
    int input;
    int output;
};

// 32 kHz and 30 kHz to scoring rates; 1,000 to 300 Hz has no half-band stage and L = 3.
const Rates rateCases[] = {{32000, 1000}, {30000, 256}, {32000, 2000}, {1000, 300}, {20000, 20000}};

ResamplingPlan Designed(const Rates& rates)
{
    ResamplingPlan plan;
    std::string error;
    EXPECT_TRUE(plan.Design(rates.input, rates.output, error)) << error;
    return plan;
}

double Db(double amplitude)
{
    return 20 * std::log10(amplitude);
}

// Frequencies from `from` to `to`: evenly spaced, and dense at `from`, where a lowpass's largest
// stopband ripples lie.
std::vector<double> Grid(double from, double to, double denseWidth)
{
    std::vector<double> frequencies;
    for (int i = 0; i <= 400; ++i)
        frequencies.push_back(std::min(to, from + denseWidth * i / 400));
    for (int i = 0; i <= 400; ++i)
        frequencies.push_back(from + (to - from) * i / 400);
    return frequencies;
}

struct Fit {
    double amplitude = 0;
    double phase = 0;  // radians, of the sine
};

// The least-squares sine of `frequency` (cycles per sample) through samples[from, to).
Fit FitSine(const std::vector<float>& samples, double frequency, size_t from, size_t to)
{
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (size_t k = from; k < to; ++k) {
        const double s = std::sin(2 * std::numbers::pi * frequency * static_cast<double>(k));
        const double c = std::cos(2 * std::numbers::pi * frequency * static_cast<double>(k));
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += samples[k] * s;
        yc += samples[k] * c;
    }
    const double determinant = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / determinant;  // y = a sin + b cos
    const double b = (yc * ss - ys * sc) / determinant;
    return {std::hypot(a, b), std::atan2(b, a)};
}

std::vector<float> Sine(int rate, double frequency, double amplitude, size_t count)
{
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] =
            static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
    return samples;
}

// The whole segment through a resampler, in pieces of `piece` samples.
std::vector<float> Resampled(const ResamplingPlan& plan, const std::vector<float>& input, size_t piece)
{
    ChannelResampler resampler(plan);
    std::vector<float> output;
    for (size_t at = 0; at < input.size(); at += piece)
        resampler.Push(input.data() + at, std::min(piece, input.size() - at), output);
    resampler.Finish(output);
    return output;
}

}  // namespace

TEST(KaiserLowpass, MeetsItsRippleAndAttenuation)
{
    const KaiserLowpassDesign designs[] = {
        {.passbandEdge = 0.1, .stopbandEdge = 0.15, .attenuationDb = 90},
        {.passbandEdge = 0.0125, .stopbandEdge = 0.2375, .attenuationDb = 110},  // a half-band stage
        {.passbandEdge = 0.001, .stopbandEdge = 0.00125, .attenuationDb = 100, .gain = 4},
    };
    for (const KaiserLowpassDesign& design : designs) {
        SCOPED_TRACE(design.stopbandEdge);
        const std::vector<double> taps = DesignKaiserLowpass(design);
        EXPECT_EQ(static_cast<int64_t>(taps.size()), KaiserLowpassLength(design));
        EXPECT_EQ(taps.size() % 2, 1u);
        for (size_t i = 0; i < taps.size() / 2; ++i)
            ASSERT_EQ(taps[i], taps[taps.size() - 1 - i]) << i;                // symmetric: linear phase
        const double ripple = 1.5 * std::pow(10, -design.attenuationDb / 20);  // the window ripples alike in both bands
        for (const double f : Grid(0, design.passbandEdge, design.passbandEdge))
            ASSERT_NEAR(LowpassAmplitude(taps, f) / design.gain, 1, ripple) << f;
        const double width = 40 * (design.stopbandEdge - design.passbandEdge);
        for (const double f : Grid(design.stopbandEdge, 0.5, width))
            ASSERT_LE(Db(LowpassAmplitude(taps, f) / design.gain), -design.attenuationDb) << f;
    }
}

// Each stage of each plan: the half-band stages pass 0 to 0.5 F and stop what folds into it; the
// last stage passes 0 to 0.4 F and stops 0.5 F on; the passband ripples together stay within
// ±0.1 dB and every stopband is 90 dB down or more.
TEST(ResamplingPlan, StagesMeetTheFigures)
{
    for (const Rates& rates : rateCases) {
        SCOPED_TRACE(std::to_string(rates.input) + " to " + std::to_string(rates.output));
        const ResamplingPlan plan = Designed(rates);
        const double f = rates.output;
        double rate = rates.input;
        double worstPassDb = 0;
        for (const ResamplingStage& stage : plan.Stages()) {
            const double prototypeRate = rate * stage.up;
            const double nextRate = prototypeRate / stage.down;
            const bool last = &stage == &plan.Stages().back();
            const double passEdge = (last ? 0.4 * f : 0.5 * f) / prototypeRate;
            const double stopEdge = (last ? 0.5 * f : nextRate - 0.5 * f) / prototypeRate;
            double stagePass = 0;
            for (const double x : Grid(0, passEdge, passEdge))
                stagePass = std::max(stagePass, std::abs(Db(LowpassAmplitude(stage.taps, x) / stage.up)));
            worstPassDb += stagePass;
            for (const double x : Grid(stopEdge, 0.5, 0.02 * (stopEdge - passEdge) + 40.0 / stage.taps.size()))
                ASSERT_LE(Db(LowpassAmplitude(stage.taps, x) / stage.up), -90) << x * prototypeRate << " Hz";
            rate = nextRate;
        }
        EXPECT_LE(worstPassDb, 0.1);
        EXPECT_EQ(rate, f);
    }
}

TEST(ResamplingPlan, RefusesRatesOutsideOneHertzToTheInputRateAndFiltersTooLarge)
{
    const struct {
        Rates rates;
        std::string reason;
    } refused[] = {
        {{1000, 0}, "the output rate 0 Hz lies outside 1 Hz to the input rate 1000 Hz"},
        {{1000, 1001}, "the output rate 1001 Hz lies outside 1 Hz to the input rate 1000 Hz"},
        {{32000, -5}, "the output rate -5 Hz lies outside 1 Hz to the input rate 32000 Hz"},
        // coprime rates near a megahertz: a transition of 1e-7 of the prototype's rate
        {{999983, 999979},
         "the ratio 999979/999983 of the rates from 999983 Hz needs a filter of more than "
         "16,777,216 taps"},
    };
    for (const auto& c : refused) {
        ResamplingPlan plan;
        std::string error;
        EXPECT_FALSE(plan.Design(c.rates.input, c.rates.output, error));
        EXPECT_EQ(error, c.reason);
    }
}

// Sines at 0.1, 0.3 and 0.4 F keep their amplitude within 0.1 dB and their phase within a tenth
// of an output sample: output k lies at k / F from the first input sample.
TEST(ChannelResampler, PassbandSinesKeepAmplitudeAndPhase)
{
    for (const Rates& rates : rateCases) {
        const ResamplingPlan plan = Designed(rates);
        for (const double fraction : {0.1, 0.3, 0.4}) {
            SCOPED_TRACE(std::to_string(rates.input) + " to " + std::to_string(rates.output) + " at "
                         + std::to_string(fraction));
            const double frequency = fraction * rates.output;
            const auto count = static_cast<size_t>(rates.input) * 4;
            const std::vector<float> output = Resampled(plan, Sine(rates.input, frequency, 10000, count), 1000);
            ASSERT_EQ(static_cast<int64_t>(output.size()), plan.OutputCount(static_cast<int64_t>(count)));
            const size_t edge = output.size() / 4;  // the ends' mirroring left out
            const Fit fit = FitSine(output, fraction, edge, output.size() - edge);
            EXPECT_LE(std::abs(Db(fit.amplitude / 10000)), 0.1);
            EXPECT_LE(std::abs(fit.phase) / (2 * std::numbers::pi * fraction), 0.1);  // output samples
        }
    }
}

// A channel sampled a fraction of a period late is read back at the output's instants: sines up
// to 0.4 of the rate keep their amplitude within 0.01 dB and move by the fraction to within a
// hundredth of a sample; a constant stays exact to the ends (mirrored), and the pieces the
// samples come in change nothing.
TEST(FractionalDelay, MovesPassbandSinesByTheFractionAndKeepsTheirAmplitude)
{
    constexpr size_t count = 4000;
    for (const double delay : {0.2, 0.75}) {
        for (const double fraction : {0.1, 0.3, 0.4}) {
            SCOPED_TRACE(std::to_string(delay) + " of a sample, a sine at " + std::to_string(fraction));
            const std::vector<float> input = Sine(1, fraction, 10000, count);
            FractionalDelay whole(delay);
            std::vector<float> output;
            whole.Push(input.data(), input.size(), output);
            whole.Finish(output);
            ASSERT_EQ(output.size(), count);
            const Fit fit = FitSine(output, fraction, 100, count - 100);
            EXPECT_LE(std::abs(Db(fit.amplitude / 10000)), 0.01);
            EXPECT_NEAR(-fit.phase / (2 * std::numbers::pi * fraction), delay, 0.01);  // samples later
            FractionalDelay pieces(delay);
            std::vector<float> again;
            for (size_t at = 0; at < count; at += 7)
                pieces.Push(input.data() + at, std::min<size_t>(7, count - at), again);
            pieces.Finish(again);
            EXPECT_EQ(again, output);
        }
        const std::vector<float> constant(50, 1234.0F);
        FractionalDelay flat(delay);
        std::vector<float> output;
        flat.Push(constant.data(), constant.size(), output);
        flat.Finish(output);
        ASSERT_EQ(output.size(), constant.size());
        for (const float sample : output)
            ASSERT_NEAR(sample, 1234.0F, 0.01F);
    }
}

// Sines at 0.5, 0.6 and 2 F come out 90 dB down or more.
TEST(ChannelResampler, SinesFromHalfTheOutputRateOnVanish)
{
    for (const Rates& rates : rateCases) {
        if (rates.input == rates.output)
            continue;  // nothing to stop
        const ResamplingPlan plan = Designed(rates);
        for (const double fraction : {0.5, 0.6, 2.0}) {
            const double frequency = fraction * rates.output;
            if (frequency >= rates.input / 2.0)
                continue;  // the input cannot hold it
            SCOPED_TRACE(std::to_string(rates.input) + " to " + std::to_string(rates.output) + " at "
                         + std::to_string(fraction));
            const auto count = static_cast<size_t>(rates.input) * 4;
            const std::vector<float> output = Resampled(plan, Sine(rates.input, frequency, 30000, count), 4096);
            const size_t edge = output.size() / 4;
            float largest = 0;
            for (size_t k = edge; k < output.size() - edge; ++k)
                largest = std::max(largest, std::abs(output[k]));
            EXPECT_LE(Db(largest / 30000), -90);
        }
    }
}

// Mirrored ends hold a constant up to the first and the last sample, whatever the segment's
// length (shorter than the filters too), and the pieces the input comes in change nothing.
TEST(ChannelResampler, ConstantStaysConstantAndPiecesDoNotMatter)
{
    for (const Rates& rates : rateCases) {
        const ResamplingPlan plan = Designed(rates);
        for (const size_t count : {size_t{1}, size_t{2}, size_t{7}, size_t{300}, size_t{10000}, size_t{123457}}) {
            SCOPED_TRACE(std::to_string(rates.input) + " to " + std::to_string(rates.output) + ", "
                         + std::to_string(count) + " samples");
            const std::vector<float> input(count, 1234.0F);
            const std::vector<float> whole = Resampled(plan, input, count);
            ASSERT_EQ(static_cast<int64_t>(whole.size()), plan.OutputCount(static_cast<int64_t>(count)));
            for (const float sample : whole)
                ASSERT_NEAR(sample, 1234.0, 0.01);
            const std::vector<float> sine = Sine(rates.input, 0.2 * rates.output, 5000, count);
            const std::vector<float> reference = Resampled(plan, sine, count);
            for (const size_t piece : {size_t{1}, size_t{511}, size_t{4096}})
                ASSERT_EQ(Resampled(plan, sine, piece), reference) << piece;
        }
    }
}

TEST(ChannelResampler, SegmentsAreFilteredAlone)
{
    const ResamplingPlan plan = Designed({32000, 1000});
    ChannelResampler resampler(plan);
    std::vector<float> first;
    std::vector<float> second;
    const std::vector<float> high(64000, 20000.0F);
    const std::vector<float> low(64000, -20000.0F);
    resampler.Push(high.data(), high.size(), first);
    resampler.Finish(first);
    resampler.Push(low.data(), low.size(), second);  // after a gap: nothing of the first segment
    resampler.Finish(second);
    ASSERT_EQ(first.size(), second.size());
    for (size_t k = 0; k < first.size(); ++k) {
        ASSERT_NEAR(first[k], 20000.0, 0.1) << k;
        ASSERT_NEAR(second[k], -20000.0, 0.1) << k;
    }
}
