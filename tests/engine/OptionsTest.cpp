// The choices beyond the usual output: exact record timing, a physical dimension, the
// verification of every file written; and the report of events that no file can hold.
#include <cstring>

#include "edf/EdfLayout.h"
#include "engine/ConversionRun.h"
#include "tests/engine/CapturingFrontend.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/Bytes.h"

using RecordingBuilder::ContinuousRecords;

namespace {

// 2 channels at 1,000 Hz from 10:00:00.123456 UTC: one-second records of 1,000 samples, 2 × 2,000
// sample bytes and the 114-byte annotation slot behind a (2 + 2) × 256 = 1,024-byte header.
constexpr uint64_t fraction = 123456;  // µs
constexpr size_t headerBytes = 1024;

}  // namespace

class OptionsTest : public EngineTest {
protected:
    std::vector<std::wstring> WriteRecording()
    {
        return {WriteChannel(Named("CSC1"), ContinuousRecords(july5th2017 + fraction, 1000, 3000, 0)),
                WriteChannel(Named("CSC2"), ContinuousRecords(july5th2017 + fraction, 1000, 3000, 100))};
    }

    std::vector<std::wstring> Texts() const
    {
        std::vector<std::wstring> texts;
        for (const CapturedMessage& message : messages)
            texts.push_back(OrvLogging::MessageTypeName(message.type) + L": " + message.text);
        return texts;
    }
};

TEST_F(OptionsTest, ExactTimingStartsTheFirstRecordAtTheInstantsFractionOfASecond)
{
    const std::vector<std::wstring> channels = WriteRecording();
    const std::wstring events = WriteEvents({{july5th2017 + 623456, "stimulus"}});
    ConversionOptions options;
    options.exactTiming = true;
    engine.SetOptions(options);
    ASSERT_EQ(Convert(events, channels), 0);
    const EdfFile edf = ParsedOutput();
    EXPECT_EQ(edf.startTime, "10.00.00");  // whole seconds in the header
    EXPECT_EQ(edf.recordDuration, "1");
    EXPECT_EQ(edf.recordStartTimes, (std::vector<std::string>{"+0.1234560", "+1.1234560", "+2.1234560"}));
    // Onsets to the microsecond from 10:00:00: the first instant, the event, the last instant
    // (123,456 + 2,999,000 µs).
    EXPECT_EQ(TalTexts(edf), (std::vector<std::string>{"+0.1234560 Recording starts", "+0.6234560 stimulus",
                                                       "+3.1224560 Recording ends"}));
}

TEST_F(OptionsTest, SplitPartsOfAnUnsetClockContinueFromTheCreationTime)
{
    // Timestamps of 1970 are not wall-clock time: the first part starts at the creation time
    // (10:22:33), each later one that time plus the records before it. 1.999999 s hold one
    // 1-second record.
    const uint64_t first = 5000000 + fraction;
    const std::vector<std::wstring> channels = {WriteChannel(Named("CSC1"), ContinuousRecords(first, 1000, 3000, 0)),
                                                WriteChannel(Named("CSC2"), ContinuousRecords(first, 1000, 3000, 100))};
    const std::wstring events = WriteEvents({{first + 999999, "before the cut"}, {first + 1000000, "at the cut"}});
    ConversionOptions options;
    options.exactTiming = true;
    options.flatNames = true;
    options.splitMicroseconds = 1999999;
    engine.SetOptions(options);
    ASSERT_EQ(Convert(events, channels), 0);
    // per part: its start in the header and its annotations; every record starts at +0 of it
    const std::pair<std::string, std::vector<std::string>> parts[] = {
        {"DevOutput_run01_seg1of1_part1of3.edf", {"10.22.33", "+0 Recording starts", "+0.9999990 before the cut"}},
        {"DevOutput_run01_seg1of1_part2of3.edf", {"10.22.34", "+0 at the cut"}},
        {"DevOutput_run01_seg1of1_part3of3.edf", {"10.22.35", "+0.9990000 Recording ends"}},
    };
    EXPECT_EQ(EdfFilesWritten().size(), 3U);
    for (const auto& [name, wanted] : parts) {
        const EdfFile edf = ParsedOutput(name);
        std::vector<std::string> read = TalTexts(edf);
        read.insert(read.begin(), edf.startTime);
        EXPECT_EQ(read, wanted) << name;
        EXPECT_EQ(edf.recordStartTimes, std::vector<std::string>{"+0"}) << name;
    }
}

TEST_F(OptionsTest, UnitIsTheDimensionOfEverySignalButTheAnnotations)
{
    ConversionOptions options;
    options.physicalDimension = "uV";
    engine.SetOptions(options);
    ASSERT_EQ(Convert(L"", WriteRecording()), 0);
    // N = 3 signals, the annotation signal last: its dimension is blank.
    EXPECT_TRUE(BytesAt(ReadFileBytes(dir.path / "DevOutput.edf"),
                        EdfFieldOffset(EdfSignalField::PhysicalDimension, 3, 0), "uV      uV              "));
}

TEST_F(OptionsTest, VerificationPassesOrNamesTheFirstSampleThatDiffers)
{
    ConversionOptions options;
    options.verify = true;
    engine.SetOptions(options);
    const std::vector<std::wstring> channels = WriteRecording();
    ASSERT_EQ(Convert(L"", channels), 0);
    EXPECT_EQ(Texts().back(), L"Notice: Verified 1 EDF files: every sample and annotation matches.");

    // Sample 5 of signal 1 in record 0 lies at 1,024 + 2,000 + 2 × 5; its low bit is flipped
    // after the close, before the verification reads the file.
    EmptyDirectory();
    messages.clear();
    int16_t written = 0;
    engine.SetClosedFileHook([&](const std::string& path) {
        std::vector<unsigned char> bytes = ReadFileBytes(path);
        std::memcpy(&written, &bytes[headerBytes + 2000 + 10], 2);
        bytes[headerBytes + 2000 + 10] ^= 1;
        WriteFileBytes(path, bytes);
    });
    ASSERT_EQ(Convert(L"", WriteRecording()), -1);
    EXPECT_EQ(written, 105);  // the second channel's ramp from 100
    EXPECT_EQ(Texts().back(), L"Error: Verification of EDF file " + PathOf("DevOutput.edf")
                                  + L" failed: data record 0, signal 1 (CSC2), sample 5 holds 104 where 105 was "
                                    L"written.");
}

TEST_F(OptionsTest, EventsThatNoFileHoldsAreCountedInOneWarning)
{
    const std::wstring events = WriteEvents({{july5th2017, "before"},
                                             {july5th2017 + fraction + 1000000, "inside"},
                                             {july5th2017 + 9000000, "after"},
                                             {july5th2017 + 9500000, "long after"}});
    ASSERT_EQ(Convert(events, WriteRecording()), 0);
    EXPECT_EQ(Texts().back(), L"Warning: 3 events lie in no EDF+ file: before the first sample instant, in a gap or "
                              L"after the last one (timestamps from 1499248800000000 \u00b5s to 1499248809500000 "
                              L"\u00b5s).");
    EmptyDirectory();
    messages.clear();
    ASSERT_EQ(Convert(WriteEvents({{july5th2017 + fraction + 1000000, "inside"}}), WriteRecording()), 0);
    EXPECT_NE(Texts().back().rfind(L"Warning", 0), 0u) << "no warning when every event has its file";
}

TEST(ConversionRunTest, OptionsInForceAreNamedOnceTheLogIsOpen)
{
    TempDir dir;
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                   ContinuousRecords(july5th2017, 1000, 1000, 0));
    ConversionRequest request;
    request.dataDirectory = dir.path.wstring();
    ScanDirectory(request.dataDirectory, request.cscFiles, request.eventFile);
    request.options.exactTiming = true;
    request.options.physicalDimension = "uV";
    request.options.verify = true;
    LogFile logFile;
    CapturingFrontend frontend(logFile);
    ASSERT_EQ(RunConversion(request, logFile, frontend), 0);
    ASSERT_GE(frontend.events.size(), 2u);
    // a frontend without words for the choices: the core's names alone
    EXPECT_EQ(frontend.events[1], L"Notice: Conversion options in force: exact record timing; physical dimension "
                                  L"\"uV\"; every file verified after conversion.");
}

TEST(ConversionOptionsTest, DescriptionAddsTheFrontendsWordsForEachChoiceItHasThemFor)
{
    // A frontend with words for two of the four choices.
    const ChoiceHint hint = [](ConversionChoice choice) -> std::wstring {
        if (choice == ConversionChoice::ExactRecordTiming)
            return L"menu item T";
        if (choice == ConversionChoice::LabOutput)
            return L"menu item L";
        return {};
    };
    ConversionOptions timingAndUnit;
    timingAndUnit.exactTiming = true;
    timingAndUnit.physicalDimension = "mV";
    ConversionOptions verifyOnly;
    verifyOnly.verify = true;
    const struct {
        ConversionOptions options;
        ChoiceHint hint;
        std::wstring expected;
    } cases[] = {
        {timingAndUnit, hint,
         L"Conversion options in force: exact record timing (menu item T); physical dimension \"mV\"."},
        {verifyOnly, hint, L"Conversion options in force: every file verified after conversion."},
        {verifyOnly, {}, L"Conversion options in force: every file verified after conversion."},
        {ConversionOptions::Lab(), hint,
         L"Conversion options in force: exact record timing (menu item T); physical dimension \"uV\"; annotation "
         L"onsets to the microsecond; channels in the natural order of their file names; the whole 16-bit range, no "
         L"sample clipped; event texts whole; one file per segment, named <name>_run<RR>_seg<KK>of<NN>.edf (menu "
         L"item L)."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.options.Description(c.hint), c.expected);
}

TEST(ConversionOptionsTest, SplitSecondsAreDigitsWithUpToSixDecimalsAboveZero)
{
    // the microseconds taken; 0: refused
    const std::pair<std::string, int64_t> cases[] = {
        {"3", 3000000},    {"2.5", 2500000}, {"0.000001", 1}, {"999999999.999999", 999999999999999},
        {"0", 0},          {"0.0", 0},       {"", 0},         {"-3", 0},
        {"+3", 0},         {"3.", 0},        {".5", 0},       {"1.0000001", 0},
        {"1000000000", 0}, {"1e3", 0},       {"3 ", 0},       {"3.-5", 0},
    };
    for (const auto& [text, wanted] : cases) {
        SCOPED_TRACE(text);
        int64_t microseconds = -1;
        std::string error;
        EXPECT_EQ(ParseSplitSeconds(text, microseconds, error), wanted > 0);
        EXPECT_EQ(microseconds, wanted);
        if (wanted > 0) {
            EXPECT_EQ(SecondsText(microseconds), text);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}
