#include "edf/EDFPlusFileWriter.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

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
    EXPECT_EQ(Last(), L"Error: Unable to close EDF file.");
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
    EXPECT_EQ(Last(), L"Error: Unable to open EDF file named: " + NameIn("dir.edf"));
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
        EXPECT_TRUE(BytesAt(ReadFileBytes(name), 244, c.durationField));
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
    // Labels of 3 signals (two and the annotation signal) start at 256, 16 bytes each.
    EXPECT_TRUE(BytesAt(ReadFileBytes(name), 256, "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"));
}

TEST_F(WriterTest, RefusalsNameTheValue)
{
    std::wstring name = NameIn("range.edf");
    ASSERT_EQ(writer.OpenFile(name, 512), 0);
    // 512 signals at 60,000 Hz: 61,440,000 bytes, 1,001 parts, 99 units: below the 1 ms minimum.
    EXPECT_EQ(writer.SetSampleFrequency(60000, samplesPerRecord), -1);
    EXPECT_EQ(Last(), L"Error: Unable to set data record duration");
    EXPECT_EQ(writer.SetSampleFrequency(0, samplesPerRecord), -1);
    EXPECT_EQ(Last(), L"Error: Error writing sample frequency to EDF file");
    EXPECT_EQ(writer.SetDigitalRange(0, -32768, 32768), -1);
    EXPECT_EQ(Last(), L"Error: Error writing digital maximum header value");
    EXPECT_EQ(writer.SetDigitalRange(0, -32769, 32767), -1);
    EXPECT_EQ(Last(), L"Error: Error writing digital minimum header value");
    EXPECT_EQ(writer.SetPhysicalRange(512, -1, 1), -1);
    EXPECT_EQ(Last(), L"Error: Error writing physical maximum header value");
    EXPECT_EQ(writer.SetLabel(512, "x"), -1);
    EXPECT_EQ(Last(), L"Error: Error writing label header value");
    EXPECT_EQ(writer.WriteAnnotation(-1, "before the start"), -1);
    EXPECT_EQ(Last(), L"Error: Error writing annotation.");
    (void)writer.CloseFile();  // its header checks fail; the file stays in the engine's table
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
                      L"instead of 32000 Hz, 0.46 s per hour. Exact record timing (--exact-timing, or Options > "
                      L"Exact record timing in the window) avoids this.");
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
