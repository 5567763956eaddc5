// Conversions with every channel resampled: files per segment at the new rate with exact record
// timing, output sample k at k / F after the segment's first instant, events where they were
// without resampling, clipped samples in a Warning, and a rate above the input's refused.
#include <cmath>
#include <numbers>

#include "ResamplingPlan.h"
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::ContinuousRecords;

namespace {

constexpr int inputRate = 8000;
constexpr int outputRate = 1000;
constexpr uint64_t secondSegment = july5th2017 + 5000000;  // after a gap of about 3 s

// 16,000 instants from 10:00:00.123457, then 8,000 after the gap: ramps from 0 in each segment.
std::vector<RecordingBuilder::CscRecord> TwoSegments()
{
    std::vector<RecordingBuilder::CscRecord> records = ContinuousRecords(july5th2017 + 123457, inputRate, 16000, 0);
    for (RecordingBuilder::CscRecord& record : ContinuousRecords(secondSegment, inputRate, 8000, 0))
        records.push_back(record);
    return records;
}

RecordingBuilder::Channel At8kHz(const std::string& name)
{
    RecordingBuilder::Channel channel = Named(name);
    channel.samplingFrequency = std::to_string(inputRate);
    return channel;
}

}  // namespace

class ResampledOutputTest : public EngineTest {
protected:
    std::vector<EdfFile> ConvertRecording(int resampleHz, const std::vector<RecordingBuilder::CscRecord>& first)
    {
        EmptyDirectory();
        messages.clear();
        const std::vector<std::wstring> channels = {WriteChannel(At8kHz("CSC1"), first),
                                                    WriteChannel(At8kHz("CSC2"), TwoSegments())};
        ConversionOptions options = ConversionOptions::Lab();
        options.flatNames = false;  // DevOutput.edf, DevOutput_01.edf: names have tests of their own
        options.verify = true;
        options.resampleHz = resampleHz;
        engine.SetOptions(options);
        const std::wstring events = WriteEvents({{july5th2017 + 623461, "in the first"},
                                                 {july5th2017 + 2100017, "near its end"},
                                                 {july5th2017 + 3500000, "in the gap"},
                                                 {secondSegment + 999, "in the second"}});
        EXPECT_EQ(Convert(events, channels), 0);
        std::vector<EdfFile> files;
        for (const std::string& name : EdfFilesWritten())
            files.push_back(ParsedOutput(name));
        return files;
    }

    std::vector<std::wstring> Warnings() const
    {
        std::vector<std::wstring> warnings;
        for (const CapturedMessage& message : messages)
            if (message.type == OrvLogging::Warning)
                warnings.push_back(message.text);
        return warnings;
    }
};

TEST_F(ResampledOutputTest, SegmentsAtTheNewRateWithEventsWhereTheyWere)
{
    const std::vector<EdfFile> usual = ConvertRecording(0, TwoSegments());
    const std::vector<EdfFile> resampled = ConvertRecording(outputRate, TwoSegments());
    ASSERT_EQ(usual.size(), 2u);
    ASSERT_EQ(resampled.size(), 2u);
    ResamplingPlan plan;
    std::string error;
    ASSERT_TRUE(plan.Design(inputRate, outputRate, error)) << error;
    const size_t instants[] = {16000, 8000};
    for (size_t f = 0; f < 2; ++f) {
        SCOPED_TRACE(f);
        const EdfFile& file = resampled[f];
        EXPECT_EQ(TalTexts(file), TalTexts(usual[f]));  // "Recording starts", the events, "Recording ends"
        EXPECT_EQ(file.recordStartTimes.front(), usual[f].recordStartTimes.front());
        ASSERT_EQ(file.signals.size(), 3u);
        EXPECT_EQ(file.signals[0].samplesPerRecord, outputRate);  // one-second records: exactly the rate
        EXPECT_EQ(file.recordDuration, "1");
        const auto count = static_cast<size_t>(plan.OutputCount(static_cast<int64_t>(instants[f])));
        for (size_t s = 0; s < 2; ++s) {
            const std::vector<int16_t>& samples = file.samplesPerSignal[s];
            ASSERT_GE(samples.size(), count);
            // the ramp k × 8 at k / F: no delay; the mirrored ends bend it, the middle keeps it
            for (size_t k = 30; k + 30 < count; ++k)
                ASSERT_NEAR(samples[k], static_cast<double>(k) * inputRate / outputRate, 1.0) << k;
            for (size_t k = count; k < samples.size(); ++k)
                ASSERT_EQ(samples[k], 0) << k;  // the last record completed with zeros
        }
    }
    EXPECT_EQ(Warnings().size(), 1u);  // the event in the gap, as without resampling
}

TEST_F(ResampledOutputTest, ClippedSamplesAreCountedInAWarning)
{
    // a full-scale square wave of 20 Hz overshoots the 16-bit range once filtered
    std::vector<RecordingBuilder::CscRecord> square = TwoSegments();
    for (RecordingBuilder::CscRecord& record : square) {
        for (size_t i = 0; i < record.samples.size(); ++i)
            record.samples[i] = (i / 200) % 2 == 0 ? 32767 : -32767;
    }
    (void)ConvertRecording(outputRate, square);
    const int64_t clipped = engine.Summary().channels.at(0).clippedSamples;
    EXPECT_GT(clipped, 0);
    EXPECT_EQ(engine.Summary().channels.at(1).clippedSamples, 0);
    const std::wstring start = std::to_wstring(clipped) + L" samples lay beyond the 16-bit range once resampled and "
                               + L"were clipped to the digital range: CSC1 (" + PathOf("CSC1.ocs") + L") "
                               + std::to_wstring(clipped) + L" samples (";
    const std::vector<std::wstring> warnings = Warnings();
    EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                            [&](const std::wstring& text) { return text.starts_with(start); }),
              1);
}

// Channels of 8 kHz and 2 kHz, the second sampled 200 µs after the segment's start (it cannot
// sample at the first channel's instants): both are resampled to 1 kHz onto the same instants,
// k / F after the start. Each carries sines at 0.1 and 0.4 F of absolute time, which come out in
// phase to within a tenth of an output sample and within 0.1 dB.
TEST_F(ResampledOutputTest, ChannelsOfDifferentRatesComeOutOnTheSameInstants)
{
    constexpr uint64_t start = july5th2017 + 123457;
    const auto sines = [](uint64_t firstUs, int rate, size_t count) {
        std::vector<RecordingBuilder::CscRecord> records = ContinuousRecords(firstUs, rate, count, 0);
        size_t i = 0;
        for (RecordingBuilder::CscRecord& record : records) {
            for (int16_t& sample : record.samples) {
                const double t =
                    static_cast<double>(static_cast<int64_t>(firstUs - start)) / 1e6 + static_cast<double>(i++) / rate;
                sample = static_cast<int16_t>(std::lround(6000 * std::sin(2 * std::numbers::pi * 100 * t)
                                                          + 6000 * std::sin(2 * std::numbers::pi * 400 * t)));
            }
        }
        return records;
    };
    RecordingBuilder::Channel slow = Named("CSC2");
    slow.samplingFrequency = "2000";
    // from 300 µs before the start: its first sample in the segment is 200 µs after it
    const std::vector<std::wstring> channels = {WriteChannel(At8kHz("CSC1"), sines(start, inputRate, 24000)),
                                                WriteChannel(slow, sines(start - 300, 2000, 6000))};
    ConversionOptions options = ConversionOptions::Lab();
    options.resampleHz = outputRate;
    engine.SetOptions(options);
    ASSERT_EQ(Convert(L"", channels), 0);
    const std::vector<std::string> names = EdfFilesWritten();
    ASSERT_EQ(names.size(), 1u);
    const EdfFile file = ParsedOutput(names.front());
    EXPECT_EQ(file.recordStartTimes.front(), "+0.1234570");
    ASSERT_EQ(file.signals.size(), 3u);
    for (size_t s = 0; s < 2; ++s) {
        SCOPED_TRACE(file.signals[s].label);
        EXPECT_EQ(file.signals[s].samplesPerRecord, outputRate);
        const std::vector<int16_t>& samples = file.samplesPerSignal[s];
        ASSERT_GE(samples.size(), 2900u);
        for (const double frequency : {100.0, 400.0}) {
            // the least-squares sine of the frequency through the middle of the output
            double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
            for (size_t k = 200; k < 2800; ++k) {
                const double x = 2 * std::numbers::pi * frequency * static_cast<double>(k) / outputRate;
                ss += std::sin(x) * std::sin(x);
                sc += std::sin(x) * std::cos(x);
                cc += std::cos(x) * std::cos(x);
                ys += samples[k] * std::sin(x);
                yc += samples[k] * std::cos(x);
            }
            const double a = (ys * cc - yc * sc) / (ss * cc - sc * sc);
            const double b = (yc * ss - ys * sc) / (ss * cc - sc * sc);
            EXPECT_NEAR(20 * std::log10(std::hypot(a, b) / 6000), 0, 0.1) << frequency;
            const double phaseSamples = std::atan2(b, a) / (2 * std::numbers::pi * frequency) * outputRate;
            EXPECT_NEAR(phaseSamples, 0, 0.1) << frequency;
        }
    }
}

TEST_F(ResampledOutputTest, RefusesARateAboveTheInputs)
{
    const std::vector<std::wstring> channels = {WriteChannel(At8kHz("CSC1"), TwoSegments())};
    ConversionOptions options = ConversionOptions::Lab();
    options.resampleHz = inputRate + 1;
    engine.SetOptions(options);
    EXPECT_EQ(Convert(L"", channels), -1);
    EXPECT_TRUE(EdfFilesWritten().empty());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().type, OrvLogging::Error);
    EXPECT_NE(messages.back().text.find(PathOf("CSC1.ocs")), std::wstring::npos) << messages.back().text;
    EXPECT_NE(messages.back().text.find(L"the output rate 8001 Hz lies outside 1 Hz to the input rate 8000 Hz"),
              std::wstring::npos)
        << messages.back().text;
}
