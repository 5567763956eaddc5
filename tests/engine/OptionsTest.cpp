// The choices beyond the usual output: exact record timing, a physical dimension, the
// verification of every file written; and the report of events that no file can hold.
#include <cstring>

#include "edf/EdfLayout.h"
#include "engine/ChannelChoice.h"
#include "engine/ConversionRun.h"
#include "engine/Identification.h"
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
         L"file names; the whole 16-bit range, no sample clipped; event texts whole; filter settings in the "
         L"prefiltering fields; one file per segment, named <name>_run<RR>_seg<KK>of<NN>.edf (menu "
         L"item L)."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.options.Description(c.hint), c.expected);
}

// Channels CSC1, CSC2, CSC10, LFP1 and LFP2, and a file CSC3.ocs whose -AcqEntName is Fp1, in
// the listing order.
TEST(ChannelChoiceTest, EntriesChooseAndOrderTheChannelsOrNameTheOneThatMatchesNothing)
{
    TempDir dir;
    std::vector<std::wstring> files;
    for (const auto& [file, name] : std::vector<std::pair<std::string, std::string>>{{"CSC1", "CSC1"},
                                                                                     {"CSC10", "CSC10"},
                                                                                     {"CSC2", "CSC2"},
                                                                                     {"CSC3", "Fp1"},
                                                                                     {"LFP1", "LFP1"},
                                                                                     {"LFP2", "LFP2"}}) {
        RecordingBuilder::WriteCscFile(dir.path / (file + ".ocs"), RecordingBuilder::ChannelHeader(Named(name)), {});
        files.push_back((dir.path / (file + ".ocs")).wstring());
    }
    const std::string all = " names no channel of the recording (its channels are CSC1, CSC10, CSC2, Fp1, LFP1, LFP2)";
    const struct {
        std::vector<std::string> channels;
        std::vector<std::pair<std::string, std::string>> labels;
        std::vector<std::string> chosen;  // file names without .ocs; or the error
        std::string error;
    } cases[] = {
        {{"CSC10", "CSC1"}, {}, {"CSC10", "CSC1"}, ""},
        {{"CSC2-CSC10"}, {}, {"CSC2", "CSC3", "CSC10"}, ""},  // the numbers in the range that the recording has
        {{"CSC10-1"}, {}, {"CSC10", "CSC3", "CSC2", "CSC1"}, ""},
        {{"LFP*", "Fp1"}, {}, {"LFP1", "LFP2", "CSC3"}, ""},
        {{"CSC3"}, {}, {"CSC3"}, ""},  // by its file's name too
        {{"CSC2", "CSC*"}, {}, {"CSC2", "CSC1", "CSC10", "CSC3"}, ""},
        {{}, {{"LFP2", "Cz"}}, {"CSC1", "CSC10", "CSC2", "CSC3", "LFP1", "LFP2"}, ""},
        {{"CSC99"}, {}, {}, "\"CSC99\"" + all},
        {{"csc1"}, {}, {}, "\"csc1\"" + all},
        {{"CSC4-CSC9"}, {}, {}, "\"CSC4-CSC9\"" + all},
        {{"EEG*"}, {}, {}, "\"EEG*\"" + all},
        {{"CSC1"}, {{"Fp2", "x"}}, {}, "\"Fp2\"" + all},  // a label for a channel the recording lacks
    };
    for (const auto& c : cases) {
        ConversionOptions options;
        options.channels = c.channels;
        options.labels = c.labels;
        std::vector<std::wstring> chosen = files;
        std::string error;
        EXPECT_EQ(ChooseChannels(options, chosen, error), c.error.empty()) << c.channels.front();
        EXPECT_EQ(error, c.error);
        if (!c.error.empty())
            continue;
        std::vector<std::string> names;
        for (const std::wstring& file : chosen)
            names.push_back(std::filesystem::path(file).stem().string());
        EXPECT_EQ(names, c.chosen);
    }
}

TEST(IdentificationTest, SubfieldsAsEdfPlusHasThemOrTheSubfieldThatIsWrong)
{
    const std::string longName(75, 'n');
    const struct {
        bool patient;
        std::string text;
        bool ok;
        std::string expected;  // the subfields, or the error
    } cases[] = {
        {true, "code=MCH-0234567,sex=F,birthdate=02-may-1951,name=Haagse Harry", true,
         "MCH-0234567 F 02-MAY-1951 Haagse_Harry"},
        {true, "name=Higgins, Henry,sex=M", true, "X M X Higgins,_Henry"},  // a comma without a key after it
        {true, "", true, "X X X X"},
        {true, "birthdate=29-FEB-2000", true, "X X 29-FEB-2000 X"},
        {true, "name=" + longName, false,
         "the subfields \"X X X " + longName + "\" take 81 characters, and the field holds 80"},
        {true, "name=" + longName.substr(1), true, "X X X " + longName.substr(1)},  // 80 characters
        {false, "technician=J. Doe,equipment=Rig 3", true, "X J._Doe Rig_3"},
        {false, "admincode=" + std::string(55, 'a') + ",technician=b", false,
         "the subfields \"" + std::string(55, 'a') + " b X\" take 59 characters, and the field holds 58"},
        {true, "sex=Q", false, "sex is M, F or X, not \"Q\""},
        {true, "birthdate=29-FEB-2001", false,
         "birthdate is a date written dd-MMM-yyyy, as 02-MAY-1951, not \"29-FEB-2001\""},
        {true, "birthdate=2-MAY-1951", false,
         "birthdate is a date written dd-MMM-yyyy, as 02-MAY-1951, not \"2-MAY-1951\""},
        {true, "age=3", false, "\"age=3\" is not key=value with one of the keys code, sex, birthdate, name"},
        {false, "code=1", false, "\"code=1\" is not key=value with one of the keys admincode, technician, equipment"},
        {true, "code=1,code=2", false, "code is given twice"},
        {true, "name=", false, "name is empty (leave it out for X)"},
        {true, "name=J\xc3\xb6rg", false, "name holds a character that is not printable ASCII"},
    };
    for (const auto& c : cases) {
        std::string subfields;
        std::string error;
        const bool ok = c.patient ? ParsePatientIdentification(c.text, subfields, error)
                                  : ParseRecordingIdentification(c.text, subfields, error);
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(ok ? subfields : error, c.expected) << c.text;
    }
}

TEST_F(OptionsTest, LabelsFiltersAndIdentificationReachTheHeader)
{
    const std::vector<std::string> filters = {"-DSPLowCutFilterEnabled True", "-DspLowCutFrequency 0.10",
                                              "-DSPHighCutFilterEnabled True", "-DspHighCutFrequency 9000",
                                              "-InputInverted False"};
    std::vector<std::string> header = RecordingBuilder::ChannelHeader(Named("CSC1"));
    header.insert(header.end(), filters.begin(), filters.end());
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", header, ContinuousRecords(july5th2017, 1000, 1000, 0));
    header = RecordingBuilder::ChannelHeader(Named("CSC2"));
    header.insert(header.end(), {"-DSPLowCutFilterEnabled maybe", "-DSPHighCutFilterEnabled True",
                                 "-DspHighCutFrequency 6e3", "-InputInverted True"});
    RecordingBuilder::WriteCscFile(dir.path / "CSC2.ocs", header, ContinuousRecords(july5th2017, 1000, 1000, 0));
    ConversionOptions options;
    options.prefiltering = true;
    options.labels = {{"CSC2", "Cz"}};
    options.patient = "MCH-0234567 F 02-MAY-1951 Haagse_Harry";
    options.recording = "EMR-1 J._Doe Rig_3";
    engine.SetOptions(options);
    ASSERT_EQ(Convert(L"", {PathOf("CSC1.ocs"), PathOf("CSC2.ocs")}), 0);
    const EdfFile edf = ParsedOutput();
    EXPECT_EQ(edf.patient, "MCH-0234567 F 02-MAY-1951 Haagse_Harry");
    EXPECT_EQ(edf.recording, "Startdate 05-JUL-2017 EMR-1 J._Doe Rig_3");
    ASSERT_EQ(edf.signals.size(), 3u);
    EXPECT_EQ(edf.signals[0].label, "CSC1");
    EXPECT_EQ(edf.signals[1].label, "Cz");
    EXPECT_EQ(edf.signals[0].prefiltering, "HP:0.1Hz LP:9000Hz");
    EXPECT_EQ(edf.signals[1].prefiltering, "LP:6000Hz");
    EXPECT_EQ(edf.signals[2].prefiltering, "");
    ASSERT_EQ(engine.Summary().channels.size(), 2u);
    EXPECT_EQ(engine.Summary().channels[0].inputInverted, std::optional<bool>(false));
    EXPECT_EQ(engine.Summary().channels[1].inputInverted, std::optional<bool>(true));
    EXPECT_NE(std::find(Texts().begin(), Texts().end(),
                        L"Warning: Unusable -DSPLowCutFilterEnabled value maybe for CSC file: " + PathOf("CSC2.ocs")
                            + L". It is passed over: it must be True or False."),
              Texts().end());
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
