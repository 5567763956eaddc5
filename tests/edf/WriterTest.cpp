#include "edf/EDFPlusFileWriter.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "edf/EdfLayout.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writer.Subscribe(
            [this](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
                messages.push_back(OrvLogging::MessageTypeName(type) + L": " + text);
            },
            id);
    }

    std::wstring NameIn(const std::string& name) const { return (dir.path / name).wstring(); }

    // Opens a file of signalCount signals with sound parameters, ready for data records.
    void OpenReadyFile(std::wstring& name, int signalCount, int sampleFrequency, int& samplesPerRecord)
    {
        ASSERT_EQ(writer.OpenFile(name, signalCount), 0);
        ASSERT_EQ(writer.SetSampleFrequency(sampleFrequency, samplesPerRecord), 0);
        for (int signal = 0; signal < signalCount; ++signal) {
            ASSERT_EQ(writer.SetPhysicalRange(signal, -1000, 1000), 0);
            ASSERT_EQ(writer.SetDigitalRange(signal, -32768, 32767), 0);
        }
    }

    std::wstring Last() const { return messages.empty() ? L"<none>" : messages.back(); }
    // A fixed message and the Error after it that names the file and the reason.
    std::vector<std::wstring> LastTwo() const
    {
        return messages.size() < 2 ? messages : std::vector<std::wstring>(messages.end() - 2, messages.end());
    }

    TempDir dir;
    EDFPlusFileWriter writer;
    SubscriptionId id = 0;
    std::vector<std::wstring> messages;  // "Type: text"
    int samplesPerRecord = 0;
};

TEST_F(WriterTest, TakenNamesGetTheFirstFreeNumber)
{
    std::wstring refused = NameIn("DevOutput.edf");
    EXPECT_EQ(writer.OpenFile(refused, 513), -1);
    EXPECT_EQ(Last(), L"Error: Unable to open EDF file named: " + refused
                          + L". The signal count (513) must be less than or equal to 512.");
    Touch(dir.path / "DevOutput.edf");
    std::wstring name = NameIn("DevOutput.edf");
    OpenReadyFile(name, 1, 100, samplesPerRecord);
    EXPECT_EQ(name, NameIn("DevOutput_01.edf"));
    EXPECT_EQ(messages[1], L"Notice: EDF File Opened Successfully: " + NameIn("DevOutput_01.edf"));
    ASSERT_EQ(writer.CloseFile(), 0);
    // The variable now holds the name used, so the next file numbers that name again.
    ASSERT_EQ(writer.OpenFile(name, 1), 0);
    EXPECT_EQ(name, NameIn("DevOutput_01_01.edf"));
    // Without samples per record its header cannot be written, so it cannot be closed either.
    EXPECT_EQ(writer.CloseFile(), -1);
    EXPECT_EQ(LastTwo(), (std::vector<std::wstring>{L"Error: Unable to close EDF file.",
                                                    L"Error: " + name
                                                        + L": its header cannot be written: a signal has no samples "
                                                          L"per data record."}));
    // It is written under its unfinished name, which no "*.edf" pattern takes.
    EXPECT_FALSE(std::filesystem::exists(dir.path / "DevOutput_01_01.edf"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / ".DevOutput_01_01.edf.partial"));
    EXPECT_EQ(ReadFileBytes(dir.path / "DevOutput.edf").size(), 0u) << "the taken file must stay untouched";

    const std::string base = (dir.path / "out.edf").string();
    EXPECT_EQ(EDFPlusFileWriter::MakeUniqueFileName(base), base);
    Touch(dir.path / "out.edf");
    for (int n = 1; n <= 7; ++n)
        Touch(dir.path / ("out_0" + std::to_string(n) + ".edf"));
    // A link takes its name whatever it points to: creating the file through it would write there.
    std::filesystem::create_symlink(dir.path / "absent.edf", dir.path / "out_08.edf");
    EXPECT_EQ(EDFPlusFileWriter::MakeUniqueFileName(base), (dir.path / "out_09.edf").string());
    Touch(dir.path / "noextension");
    EXPECT_EQ(EDFPlusFileWriter::MakeUniqueFileName((dir.path / "noextension").string()),
              (dir.path / "noextension_01").string());

    // A directory under the name does not take it, but the file cannot be created there.
    std::filesystem::create_directory(dir.path / "dir.edf");
    name = NameIn("dir.edf");
    EXPECT_EQ(writer.OpenFile(name, 1), -1);
    EXPECT_EQ(LastTwo(), (std::vector<std::wstring>{L"Error: Unable to open EDF file named: " + NameIn("dir.edf"),
                                                    L"Error: " + NameIn("dir.edf") + L": Is a directory."}));
}

TEST_F(WriterTest, AFileGetsItsNameOnlyWhenCompleteAndTheNameIsHeldWhileItIsWritten)
{
    const std::filesystem::path unfinished = dir.path / ".DevOutput.edf.partial";
    // (what lies under the unfinished name, held by a live run, the name the file gets)
    const struct {
        const char* what;
        bool present;
        bool held;
        const char* name;
    } cases[] = {
        {"nothing", false, false, "DevOutput.edf"},
        {"the file of a killed run", true, false, "DevOutput.edf"},
        {"the file of a live run", true, true, "DevOutput_01.edf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir.path);
        std::filesystem::create_directories(dir.path);
        int live = -1;
        if (c.present) {
            WriteFileBytes(unfinished, {'o', 'l', 'd'});
            live = c.held ? open(unfinished.c_str(), O_RDONLY) : -1;
            ASSERT_TRUE(!c.held || flock(live, LOCK_EX) == 0);
        }
        messages.clear();
        std::wstring name = NameIn("DevOutput.edf");
        OpenReadyFile(name, 1, 100, samplesPerRecord);
        EXPECT_EQ(name, NameIn(c.name));
        EXPECT_FALSE(std::filesystem::exists(name)) << "named before it is complete";
        EXPECT_EQ(EDFPlusFileWriter::MakeUniqueFileName((dir.path / "DevOutput.edf").string()),
                  (dir.path / (c.held ? "DevOutput_02.edf" : "DevOutput_01.edf")).string())
            << "the name is held while the file is written";
        EXPECT_EQ(messages.size(), c.present && !c.held ? 2u : 1u);
        EXPECT_EQ(messages.front()
                      == L"Notice: Taking over " + NameIn(".DevOutput.edf.partial")
                             + L", left unfinished by a conversion that was killed.",
                  c.present && !c.held);
        ASSERT_EQ(writer.WriteDataRecord(std::vector<short>(static_cast<size_t>(samplesPerRecord), 7)), 0);
        ASSERT_EQ(writer.CloseFile(), 0);
        EXPECT_EQ(ReadFileBytes(name).size(), 256u * 3 + 2u * static_cast<size_t>(samplesPerRecord) + 114u);
        EXPECT_EQ(std::filesystem::exists(unfinished), c.held);
        if (c.held) {
            EXPECT_EQ(ReadFileBytes(unfinished), (std::vector<unsigned char>{'o', 'l', 'd'}));
            close(live);
        }
    }
}

TEST_F(WriterTest, RecordSizeFollowsTheSampleBytesPerSecond)
{
    // bytes = signals × frequency × 2; above 61,440: parts = bytes / 61,440 + 1,
    // duration = 100,000 / parts (10 µs units), samples = frequency / parts. The duration field
    // lies at bytes 244 to 251 of the header.
    const struct {
        int signals;
        int frequency;
        int samplesPerRecord;
        std::string durationField;
    } cases[] = {
        {1, 32000, 16000, "0.5     "},  // 64,000 bytes: 2 parts
        {32, 32000, 941, "0.02941 "},   // 2,048,000 bytes: 34 parts, 2,941 units
        {1, 30720, 30720, "1       "},  // exactly 61,440 bytes: one second
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.signals << " signals at " << c.frequency << " Hz");
        std::wstring name = NameIn("rate.edf");
        OpenReadyFile(name, c.signals, c.frequency, samplesPerRecord);
        EXPECT_EQ(samplesPerRecord, c.samplesPerRecord);
        ASSERT_EQ(writer.WriteDataRecord(std::vector<short>(static_cast<size_t>(c.signals * samplesPerRecord), 0)), 0);
        ASSERT_EQ(writer.CloseFile(), 0);
        EXPECT_TRUE(BytesAt(ReadFileBytes(name), EdfFieldOffset(EdfHeaderField::RecordDuration), c.durationField));
        std::filesystem::remove(name);
    }
}

TEST_F(WriterTest, LabelsLongerThanSixteenCharactersAreCutWithAWarning)
{
    std::wstring name = NameIn("labels.edf");
    OpenReadyFile(name, 2, 10, samplesPerRecord);
    messages.clear();
    ASSERT_EQ(writer.SetLabel(0, "ABCDEFGHIJKLMNOP"), 0);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(writer.SetLabel(1, "ABCDEFGHIJKLMNOPQ"), 0);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Warning: Warning, header labels can only be a max of 16 chars, "
                                                  L"the label: ABCDEFGHIJKLMNOPQ will be truncated."});
    ASSERT_EQ(writer.WriteDataRecord(std::vector<short>(20, 0)), 0);
    ASSERT_EQ(writer.CloseFile(), 0);
    // Labels of 3 signals (two and the annotation signal), 16 bytes each.
    EXPECT_TRUE(
        BytesAt(ReadFileBytes(name), EdfFieldOffset(EdfSignalField::Label, 3, 0), "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"));
}

TEST_F(WriterTest, RefusalsAreFollowedByTheFileAndTheReason)
{
    std::wstring name = NameIn("range.edf");
    ASSERT_EQ(writer.OpenFile(name, 512), 0);
    struct Refusal {
        std::string what;
        std::function<int()> call;
        std::wstring message;
        std::wstring reason;
    };
    const std::vector<Refusal> refusals = {
        // 512 signals at 60,000 Hz: 61,440,000 bytes, 1,001 parts, 99 units: below the 1 ms minimum.
        {"duration", [&] { return writer.SetSampleFrequency(60000, samplesPerRecord); },
         L"Unable to set data record duration",
         L"data records of 512 signals at 60000 Hz would last 0.00099 s, outside the 0.001 s to 60 s that an EDF "
         L"data record may last"},
        {"samples per record", [&] { return writer.SetSampleFrequency(0, samplesPerRecord); },
         L"Error writing sample frequency to EDF file",
         L"0 samples per data record lie outside the 1 to 99999999 that the header's field holds"},
        {"digital maximum", [&] { return writer.SetDigitalRange(0, -32768, 32768); },
         L"Error writing digital maximum header value",
         L"the digital maximum 32768 lies above 32767, the largest 16-bit sample"},
        {"digital minimum", [&] { return writer.SetDigitalRange(0, -32769, 32767); },
         L"Error writing digital minimum header value",
         L"the digital minimum -32769 lies below -32768, the smallest 16-bit sample"},
        {"signal index", [&] { return writer.SetPhysicalRange(512, -1, 1); },
         L"Error writing physical maximum header value", L"it has no signal 512: its signals are numbered 0 to 511"},
        {"label", [&] { return writer.SetLabel(-2, "x"); }, L"Error writing label header value",
         L"it has no signal -2: its signals are numbered 0 to 511"},
        {"annotation", [&] { return writer.WriteAnnotation(-1, "before the start"); }, L"Error writing annotation.",
         L"the onset -1 lies before the start of the file"},
        {"start date",
         [&] {
             return writer.SetStartDate(tm{0, 0, 0, 1, 1, 3001, 0, 0, 0, 0, nullptr});
         },
         L"Error writing start date to EDF file",
         L"the start date and time 3001-01-01 00:00:00 (year-month-day hour:minute:second) lies outside what the "
         L"header holds, the years 1970 to 3000 and a time of day from 00:00:00 to 23:59:59"},
        // The header checks run when the file is closed without records: no samples per record.
        {"close", [&] { return writer.CloseFile(); }, L"Unable to close EDF file.",
         L"its header cannot be written: a signal has no samples per data record"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        messages.clear();
        EXPECT_EQ(refusal.call(), -1);
        EXPECT_EQ(LastTwo(), (std::vector<std::wstring>{L"Error: " + refusal.message,
                                                        L"Error: " + name + L": " + refusal.reason + L"."}));
    }

    // Values written rounded to the field must still fit its 8 characters.
    EXPECT_EQ(writer.SetPhysicalRangeNearest(3, -327680000.0, 327670000.0), -1);  // 9 characters
    EXPECT_EQ(Last(), L"Error: Error writing physical range header values -3.2768e+08 to 3.2767e+08 of signal 3 to EDF "
                      L"file "
                          + name + L": they do not fit the header's 8 characters.");
    EXPECT_EQ(writer.SetPhysicalRangeNearest(3, -9999999.4, 9999999.4), 0);  // "-9999999" fits

    // Once the first record went out, no header value can change; without a file, nothing can.
    ASSERT_EQ(writer.SetSampleFrequency(100, samplesPerRecord), 0);
    for (int signal = 0; signal < 512; ++signal) {
        ASSERT_EQ(writer.SetPhysicalRange(signal, -1, 1), 0);
        ASSERT_EQ(writer.SetDigitalRange(signal, -1, 1), 0);
    }
    ASSERT_EQ(writer.WriteDataRecord(std::vector<short>(512 * 100, 0)), 0);
    messages.clear();
    EXPECT_EQ(writer.SetLabel(0, "late"), -1);
    EXPECT_EQ(LastTwo(), (std::vector<std::wstring>{L"Error: Error writing label header value",
                                                    L"Error: " + name
                                                        + L": its header went out with the first data record, and "
                                                          L"header values cannot change after that."}));
    ASSERT_EQ(writer.CloseFile(), 0);
    EXPECT_EQ(writer.WriteDataRecord(std::vector<short>(512 * 100, 0)), -1);
    EXPECT_EQ(LastTwo(), (std::vector<std::wstring>{L"Error: Error writing data to file",
                                                    L"Error: " + name + L": no EDF file is open under that name."}));
}

TEST_F(WriterTest, NamesTooLongForTheFileSystemStartAgainOverTheFirstName)
{
    // 247 + 4 = 251 bytes; with _01 254, within the 255 of Linux file systems; with _01_01 257.
    const std::string stem = std::string(247, 'D');
    Touch(dir.path / (stem + ".edf"));
    std::wstring name = NameIn(stem + ".edf");
    ASSERT_EQ(writer.OpenFile(name, 1), 0);
    EXPECT_EQ(name, NameIn(stem + "_01.edf"));
    EXPECT_EQ(writer.CloseFile(), -1);  // no samples per record: no header; the file stays, empty
    ASSERT_EQ(writer.OpenFile(name, 1), 0);
    EXPECT_EQ(name, NameIn(stem + "_02.edf")) << "the first free name numbered over the first one";
}

TEST_F(WriterTest, RecordsThatDriftAreWarnedOfOnceAndExactTimingAvoidsThem)
{
    std::wstring name = NameIn("drift.edf");
    OpenReadyFile(name, 32, 32000, samplesPerRecord);
    // 941 samples in 2,941 × 10 µs: 941 / 0.02941 = 31,995.92 Hz; 3,600 × (32,000 / 31,995.92 - 1)
    // = 0.459 s per hour.
    EXPECT_EQ(Last(), L"Warning: Data records of 941 samples last 0.02941 s: EDF readers will see 31995.92 Hz "
                      L"instead of 32000 Hz, 0.46 s per hour. Exact record timing avoids this.");
    ASSERT_EQ(writer.CloseFile(), 0);
    messages.clear();
    name = NameIn("again.edf");
    OpenReadyFile(name, 32, 32000, samplesPerRecord);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Notice: EDF File Opened Successfully: " + name});

    EDFPlusFileWriter exact;
    exact.SetExactRecordTiming(true);
    name = NameIn("exact.edf");
    ASSERT_EQ(exact.OpenFile(name, 32), 0);
    ASSERT_EQ(exact.SetSampleFrequency(32000, samplesPerRecord), 0);
    EXPECT_EQ(samplesPerRecord, 960);  // 960 / 32,000 = 0.03 s, 61,440 bytes of 32 signals
    EXPECT_EQ(exact.RecordDurationUnits(), 3000);
}

TEST_F(WriterTest, RateWarningNamesExactTimingWithTheProgramsWordsForIt)
{
    // The hint is asked for the choice the warning names, and only what it answers is added.
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {L"--exact-timing", L"Exact record timing (--exact-timing) avoids this."},
        {L"", L"Exact record timing avoids this."},
    };
    for (const auto& [how, ending] : cases) {
        EDFPlusFileWriter hinted;
        std::vector<std::wstring> warnings;
        SubscriptionId hintedId = 0;
        hinted.Subscribe(
            [&warnings](OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring& text) { warnings.push_back(text); },
            hintedId);
        std::vector<ConversionChoice> asked;
        hinted.SetChoiceHint([&](ConversionChoice choice) {
            asked.push_back(choice);
            return how;
        });
        std::wstring name = NameIn(how.empty() ? "plain.edf" : "hinted.edf");
        ASSERT_EQ(hinted.OpenFile(name, 32), 0);
        ASSERT_EQ(hinted.SetSampleFrequency(32000, samplesPerRecord), 0);
        ASSERT_FALSE(warnings.empty());
        EXPECT_TRUE(warnings.back().ends_with(L"0.46 s per hour. " + ending)) << warnings.back();
        EXPECT_EQ(asked, std::vector<ConversionChoice>{ConversionChoice::ExactRecordTiming});
    }
}

TEST_F(WriterTest, VerificationExpectsClippedSamplesOnlyWhereTheCallerReportsThem)
{
    // One signal of digital -100 to 100 and one sample of 150: reported, it is expected as 100,
    // as written; not reported, the sample as handed over no longer matches the file.
    for (const bool reported : {true, false}) {
        SCOPED_TRACE(reported);
        messages.clear();
        writer.SetVerification(true);
        writer.SetClipsReported(reported);
        std::wstring name = NameIn(reported ? "reported.edf" : "unreported.edf");
        ASSERT_EQ(writer.OpenFile(name, 1), 0);
        ASSERT_EQ(writer.SetSampleFrequency(100, samplesPerRecord), 0);
        ASSERT_EQ(writer.SetPhysicalRange(0, -1000, 1000), 0);
        ASSERT_EQ(writer.SetDigitalRange(0, -100, 100), 0);
        std::vector<short> samples(static_cast<size_t>(samplesPerRecord), 5);
        samples[7] = 150;
        ASSERT_EQ(writer.WriteDataRecord(samples), 0);
        EXPECT_EQ(writer.CloseFile(), reported ? 0 : -1) << Last();
        if (!reported) {
            EXPECT_EQ(Last(), L"Error: Verification of EDF file " + name
                                  + L" failed: data record 0 holds other samples than were written.");
        }
    }
    EXPECT_EQ(writer.ClippedSamples(), (std::vector<int64_t>{2}));  // one in each file
}

TEST_F(WriterTest, VerificationOfALargeFileNamesTheFirstDifferenceAcrossItsHalves)
{
    // More than 8 MiB of records is read back in two halves at once; what differs is still named
    // in file order. Every record holds one annotation "a<record>" in its slot.
    constexpr int signals = 8;
    constexpr int records = 300;  // of under 64 KiB each
    struct Change {
        const char* what;
        int sampleRecord;      // a sample byte changed in this record; -1: none
        int annotationRecord;  // the first letter of this record's annotation; -1: none
        std::wstring reported;
    };
    const Change changes[] = {
        {"nothing", -1, -1, L""},
        {"a sample in the second half", 231, -1, L"data record 231 holds other samples than were written."},
        {"an annotation in the second half", -1, 227,
         L"annotation 228 (data record 227) reads \"b227\" at +22.7000 s, not the one written."},
        {"a sample in the first half and an annotation in the second", 30, 230,
         L"data record 30 holds other samples than were written."},
        {"an annotation in the first half and a sample in the second", 225, 20,
         L"annotation 21 (data record 20) reads \"b20\" at +2 s, not the one written."},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        messages.clear();
        writer.SetVerification(true);
        std::wstring name = NameIn(std::string("large-") + std::to_string(&change - changes) + ".edf");
        int samplesPerRecord = 0;
        OpenReadyFile(name, signals, 65536, samplesPerRecord);
        const auto recordSamples = static_cast<size_t>(signals * samplesPerRecord);
        ASSERT_GE(static_cast<int64_t>(recordSamples) * 2 * records, int64_t{16} * 1024 * 1024);
        std::vector<short> samples(recordSamples);
        for (int r = 0; r < records; ++r) {
            for (size_t k = 0; k < samples.size(); ++k)
                samples[k] = static_cast<short>(k * 7 + static_cast<size_t>(r));
            ASSERT_EQ(writer.WriteDataRecord(samples), 0);
            ASSERT_EQ(writer.WriteAnnotation(int64_t{r} * 1'000, "a" + std::to_string(r)), 0);
        }
        const size_t recordBytes = recordSamples * 2 + 114;
        const size_t firstRecord = 256 * (signals + 2);
        writer.SetClosedFileHook([&](const std::string& path) {
            std::vector<unsigned char> bytes = ReadFileBytes(path);
            ASSERT_EQ(bytes.size(), firstRecord + records * recordBytes);
            if (change.sampleRecord >= 0)
                bytes[firstRecord + static_cast<size_t>(change.sampleRecord) * recordBytes + 1001] ^= 0x40;
            if (change.annotationRecord >= 0) {
                const std::string text = "a" + std::to_string(change.annotationRecord);
                const size_t slot =
                    firstRecord + static_cast<size_t>(change.annotationRecord) * recordBytes + recordSamples * 2;
                const auto found =
                    std::search(bytes.begin() + static_cast<std::ptrdiff_t>(slot),
                                bytes.begin() + static_cast<std::ptrdiff_t>(slot + 114), text.begin(), text.end());
                ASSERT_NE(found, bytes.begin() + static_cast<std::ptrdiff_t>(slot + 114));
                *found = 'b';
            }
            WriteFileBytes(path, bytes);
        });
        EXPECT_EQ(writer.CloseFile(), change.reported.empty() ? 0 : -1) << Last();
        if (!change.reported.empty()) {
            EXPECT_EQ(Last(), L"Error: Verification of EDF file " + name + L" failed: " + change.reported);
        }
        writer.SetClosedFileHook({});
    }
    EXPECT_EQ(writer.VerifiedFileCount(), 1);
}

TEST_F(WriterTest, CutTextsAreToldUnlessTextsAreWhole)
{
    const struct {
        std::string text;
        bool cutWhenCut;
        bool cutWhenWhole;
    } cases[] = {
        {std::string(40, 'a'), false, false},
        {std::string(41, 'a'), true, false},
        {std::string(39, 'a') + "\xE9", true, false},  // two bytes of UTF-8 where one is left
        {std::string(20, '\xE9'), true, false},        // as many bytes out as in: 10 of the 20 are kept
        {"tab\tstop", false, false},                   // a control character becomes '.', which is no cut
        {std::string(256, 'a'), true, true},
    };
    for (const auto& c : cases) {
        writer.SetWholeTexts(false);
        EXPECT_EQ(writer.CutsText(c.text), c.cutWhenCut) << c.text;
        writer.SetWholeTexts(true);
        EXPECT_EQ(writer.CutsText(c.text), c.cutWhenWhole) << c.text;
    }
}
