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

TEST_F(OptionsTest, VerificationPassesOrNamesWhatDiffersFirst)
{
    ConversionOptions options;
    options.verify = true;
    engine.SetOptions(options);
    ASSERT_EQ(Convert(L"", WriteRecording()), 0);
    EXPECT_EQ(Texts().back(), L"Notice: Verified 1 EDF files: every sample and annotation matches.");

    // Each change is made behind the converter's back, after the close and before the
    // verification reads the file. Records of 2 × 2,000 sample bytes and the 114-byte slot.
    const struct {
        const char* what;
        size_t offset;
        unsigned char value;
        std::wstring reported;
    } changes[] = {
        {"the low byte of sample 5 of signal 1 in record 2", headerBytes + 2 * 4114 + 2000 + 10, 0,
         L"data record 2 holds other samples than were written."},
        // the slot of record 0: "+0" 0x14 0x14 0x00, then the annotation's "+0" 0x14 and its text
        {"the first letter of \"Recording starts\"", headerBytes + 4000 + 8, 'r',
         L"annotation 1 (data record 0) reads \"recording starts\" at +0 s, not the one written."},
        {"the digital maximum of signal 0", static_cast<size_t>(EdfFieldOffset(EdfSignalField::DigitalMaximum, 3, 0)),
         '1',
         L"its header gives signal 0 (CSC1) 1000 samples per data record and the digital range -32768 to "
         L"12767 instead of 1000 and -32768 to 32767."},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        EmptyDirectory();
        messages.clear();
        engine.SetClosedFileHook([&](const std::string& path) {
            std::vector<unsigned char> bytes = ReadFileBytes(path);
            ASSERT_NE(bytes[change.offset], change.value);
            bytes[change.offset] = change.value;
            WriteFileBytes(path, bytes);
        });
        ASSERT_EQ(Convert(L"", WriteRecording()), -1);
        EXPECT_EQ(Texts().back(),
                  L"Error: Verification of EDF file " + PathOf("DevOutput.edf") + L" failed: " + change.reported);
    }
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
         L"Conversion options in force: exact record timing (menu item T); physical dimension \"uV\"; every file "
         L"verified after conversion; annotation onsets to the microsecond; channels in the natural order of their "
         L"file names; the whole 16-bit range, no "
         L"sample clipped; event texts whole; one file per segment, named <name>_run<RR>_seg<KK>of<NN>.edf (menu "
         L"item L)."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.options.Description(c.hint), c.expected);
}
