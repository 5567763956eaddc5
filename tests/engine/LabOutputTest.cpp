// Lab output: its choices one by one and together (natural order, lossless range, onsets to the
// microsecond, whole texts), and what classic output says when it loses samples or text.
#include "engine/ConversionRun.h"
#include "engine/DirectoryListing.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::ContinuousRecords;

namespace {

const std::string longText = "na\xEFve \xB5 text with \xE9, longer than forty bytes";  // ISO 8859-1
const std::string longTextUtf8 = "na\xC3\xAFve \xC2\xB5 text with \xC3\xA9, longer than forty bytes";

RecordingBuilder::Channel WithAdMax(const std::string& name, const std::string& adMax, const std::string& range)
{
    RecordingBuilder::Channel channel = Named(name);
    channel.adMaxValue = adMax;
    channel.inputRange = range;
    return channel;
}

}  // namespace

TEST(NaturalOrder, NumbersCompareAsNumbersAndTiesInByteOrder)
{
    const std::vector<std::string> sorted = {
        "CSC1.ocs",
        "CSC2.ocs",
        "CSC9.ocs",
        "CSC10.ocs",
        "CSC10a.ocs",
        "CSC11.ocs",
        "CSC100.ocs",
        "CSC0101.ocs",  // 101 with a leading zero ties with CSC101 and goes first in byte order
        "CSC101.ocs",
        "TT1_2.ocs",
        "TT1_10.ocs",
        "TT2_1.ocs",
        "Tetrode.ocs",
        "csc3.ocs",
        "x99999999999999999999.ocs",
        "x100000000000000000000.ocs",  // more digits than any integer holds
    };
    for (size_t i = 0; i < sorted.size(); ++i) {
        for (size_t j = 0; j < sorted.size(); ++j)
            EXPECT_EQ(NaturalOrder(sorted[i], sorted[j]), i < j) << sorted[i] << " / " << sorted[j];
    }
}

class LabOutputTest : public EngineTest {
protected:
    std::vector<std::wstring> Texts() const
    {
        std::vector<std::wstring> texts;
        for (const CapturedMessage& message : messages)
            texts.push_back(OrvLogging::MessageTypeName(message.type) + L": " + message.text);
        return texts;
    }

    std::vector<std::wstring> Warnings() const
    {
        std::vector<std::wstring> warnings;
        for (const std::wstring& text : Texts())
            if (text.starts_with(L"Warning: "))
                warnings.push_back(text);
        return warnings;
    }
};

TEST_F(LabOutputTest, LabChoicesTogether)
{
    // 1,000 Hz from 10:00:00.123457; an A/D maximum of 100 with samples up to 189, which the
    // header's range would clip; an event at an odd microsecond with a text longer than 40 bytes.
    const std::vector<std::wstring> channels = {
        WriteChannel(WithAdMax("CSC10", "100", "500"), ContinuousRecords(july5th2017 + 123457, 1000, 3000, -40)),
        WriteChannel(WithAdMax("CSC2", "32767", "1000"), ContinuousRecords(july5th2017 + 123457, 1000, 3000, 0))};
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(dir.path.wstring(), cscFiles, eventFile, ChannelOrder::Natural);
    ASSERT_EQ(cscFiles, (std::vector<std::wstring>{channels[1], channels[0]}));
    ScanDirectory(dir.path.wstring(), cscFiles, eventFile, ChannelOrder::Listing);
    ASSERT_EQ(cscFiles, channels);

    ConversionOptions options = ConversionOptions::Lab();
    options.verify = true;
    options.flatNames = false;  // the file's content is what counts here; the names have tests of their own
    engine.SetOptions(options);
    ScanDirectory(dir.path.wstring(), cscFiles, eventFile, ChannelOrder::Natural);
    ASSERT_EQ(Convert(WriteEvents({{july5th2017 + 623461, longText}}), cscFiles), 0);
    EXPECT_EQ(Warnings(), std::vector<std::wstring>{});
    const EdfFile edf = ParsedOutput();
    ASSERT_EQ(edf.signals.size(), 3u);
    EXPECT_EQ(edf.signals[0].label, "CSC2");
    EXPECT_EQ(edf.signals[1].label, "CSC10");
    const struct {
        std::string minimum;
        std::string maximum;
    } physical[] = {{"-1000.03", "1000"}, {"-163840", "163835"}};  // 32768 × 1000/32767; ±32768 × 5 µV
    for (size_t s = 0; s < 2; ++s) {
        EXPECT_EQ(edf.signals[s].physicalDimension, "uV");
        EXPECT_EQ(edf.signals[s].physicalMinimum, physical[s].minimum);
        EXPECT_EQ(edf.signals[s].physicalMaximum, physical[s].maximum);
        EXPECT_EQ(edf.signals[s].digitalMinimum, -32768);
        EXPECT_EQ(edf.signals[s].digitalMaximum, 32767);
    }
    EXPECT_EQ(edf.samplesPerSignal[1], Ramp(-40, 3000));  // nothing clipped: 101 .. 2959 stay
    EXPECT_EQ(edf.recordStartTimes.front(), "+0.1234570");
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0.123457 Recording starts", "+0.623461 " + longTextUtf8,
                                                       "+3.122457 Recording ends"}));
    EXPECT_EQ(engine.Summary().channels[1].clippedSamples, 0);
    EXPECT_TRUE(engine.Summary().textsCut.empty());
}

TEST_F(LabOutputTest, ClassicWarnsOnceOfClippedSamplesAndCutTexts)
{
    const struct {
        std::string name;
        bool clips;
        bool cuts;
    } cases[] = {{"clean", false, false}, {"clipping", true, false}, {"cutting", false, true}, {"both", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyDirectory();
        messages.clear();
        // CSC1 holds 0 .. 2999; an A/D maximum of 2899 clips the last 100 of them
        const std::vector<std::wstring> channels = {
            WriteChannel(WithAdMax("CSC1", c.clips ? "2899" : "32767", "1000"),
                         ContinuousRecords(july5th2017, 1000, 3000, 0)),
            WriteChannel(Named("CSC2"), ContinuousRecords(july5th2017, 1000, 3000, 0))};
        std::vector<RecordingBuilder::EventRecord> events = {{july5th2017 + 500, "short"}};
        if (c.cuts) {
            events.push_back({july5th2017 + 1500000, longText});
            events.push_back({july5th2017 + 2000000, std::string(41, 'x')});
        }
        ASSERT_EQ(Convert(WriteEvents(events), channels), 0);
        std::vector<std::wstring> wanted;
        if (c.clips)
            wanted.push_back(L"Warning: 100 samples lay beyond the A/D maximum of the channel's header and were "
                             L"clipped to the digital range: CSC1 ("
                             + channels[0] + L") 100 samples (0.100000 s).");
        if (c.cuts)
            wanted.push_back(L"Warning: 2 event texts were cut to the 40 bytes of an annotation: 1499248801500000 "
                             L"\u00b5s \"na\u00efve \u00b5 text with \u00e9, longer than forty bytes\"; "
                             L"1499248802000000 \u00b5s \""
                             + std::wstring(41, L'x') + L"\".");
        EXPECT_EQ(Warnings(), wanted);
        EXPECT_EQ(engine.Summary().channels[0].clippedSamples, c.clips ? 100 : 0);
        EXPECT_EQ(engine.Summary().channels[1].clippedSamples, 0);
        EXPECT_EQ(engine.Summary().textsCut.size(), c.cuts ? 2u : 0u);
    }
}

TEST_F(LabOutputTest, EachChoiceAlone)
{
    // One channel of 0 .. 1999 at 1,000 Hz, A/D maximum 1000, from 10:00:00.000250; one event
    // 1,234,567 µs later with a long text.
    const struct {
        std::string name;
        void (*choose)(ConversionOptions&);
        std::string eventTal;
        int digitalMaximum;
    } cases[] = {
        {"classic", [](ConversionOptions&) {}, "+1.2345 " + longTextUtf8.substr(0, 40), 1000},
        {"microsecond onsets", [](ConversionOptions& o) { o.microsecondOnsets = true; },
         "+1.234567 " + longTextUtf8.substr(0, 40), 1000},
        {"whole texts", [](ConversionOptions& o) { o.wholeTexts = true; }, "+1.2345 " + longTextUtf8, 1000},
        {"lossless range", [](ConversionOptions& o) { o.losslessRange = true; },
         "+1.2345 " + longTextUtf8.substr(0, 40), 32767},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyDirectory();
        messages.clear();
        ConversionOptions options;
        c.choose(options);
        engine.SetOptions(options);
        const std::vector<std::wstring> channels = {
            WriteChannel(WithAdMax("CSC1", "1000", "1000"), ContinuousRecords(july5th2017 + 250, 1000, 2000, 0))};
        ASSERT_EQ(Convert(WriteEvents({{july5th2017 + 250 + 1234567, longText}}), channels), 0);
        const EdfFile edf = ParsedOutput();
        EXPECT_EQ(TalTexts(edf).at(1), c.eventTal);
        EXPECT_EQ(edf.signals.at(0).digitalMaximum, c.digitalMaximum);
        // nothing is clipped but in classic output, and that one says so
        EXPECT_EQ(edf.samplesPerSignal.at(0), c.digitalMaximum == 1000 ? [] {
            std::vector<int16_t> clipped = Ramp(0, 2000);
            std::fill(clipped.begin() + 1001, clipped.end(), int16_t{1000});
            return clipped;
        }()
                                                                        : Ramp(0, 2000));
        EXPECT_EQ(Warnings().size(), (c.digitalMaximum == 1000 ? 1u : 0u) + (c.name == "whole texts" ? 0u : 1u));
    }
}
