#include "edf/EdfLayout.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edf/EdfFileEngine.h"
#include "tests/support/Bytes.h"
#include "tests/support/TempDir.h"

namespace {

// `text` filled with spaces to `width`.
std::string Padded(const std::string& text, int width)
{
    return text + std::string(static_cast<std::size_t>(width) - text.size(), ' ');
}

struct FixedFieldCase {
    EdfHeaderField field;
    int width;  // as the format gives it
    std::string text;
};

struct SignalFieldCase {
    EdfSignalField field;
    int width;                       // as the format gives it
    std::vector<std::string> texts;  // signal 0, signal 1, the annotation signal
};

// The fields of a file of two signals, one data record, each as the format lays it out.
const std::vector<FixedFieldCase> fixedFields{
    {EdfHeaderField::Version, 8, "0"},
    {EdfHeaderField::Patient, 80, "X X X X"},
    {EdfHeaderField::Recording, 80, "Startdate 05-JUL-2017 X X X"},
    {EdfHeaderField::StartDate, 8, "05.07.17"},
    {EdfHeaderField::StartTime, 8, "10.20.30"},
    {EdfHeaderField::HeaderBytes, 8, "1024"},
    {EdfHeaderField::Reserved, 44, "EDF+C"},
    {EdfHeaderField::RecordCount, 8, "1"},
    {EdfHeaderField::RecordDuration, 8, "0.5"},
    {EdfHeaderField::SignalCount, 4, "3"},
};

const std::vector<SignalFieldCase> signalFields{
    {EdfSignalField::Label, 16, {"EEG1", "ECG two", "EDF Annotations"}},
    {EdfSignalField::Transducer, 80, {"", "", ""}},
    {EdfSignalField::PhysicalDimension, 8, {"uV", "mV", ""}},
    {EdfSignalField::PhysicalMinimum, 8, {"-1000", "-5", "-1"}},
    {EdfSignalField::PhysicalMaximum, 8, {"1000", "5", "1"}},
    {EdfSignalField::DigitalMinimum, 8, {"-32768", "-2048", "-32768"}},
    {EdfSignalField::DigitalMaximum, 8, {"32767", "2047", "32767"}},
    {EdfSignalField::Prefiltering, 80, {"", "", ""}},
    {EdfSignalField::SamplesPerRecord, 8, {"3", "2", "57"}},
    {EdfSignalField::Reserved, 32, {"", "", ""}},
};

// Writes the file the tables above describe and returns its bytes.
std::vector<unsigned char> WriteTwoSignalFile(const TempDir& dir)
{
    const std::string path = (dir.path / "layout.edf").string();
    const int handle = EdfOpenFile(path.c_str(), 2);
    EXPECT_GE(handle, 0);
    const char* labels[] = {"EEG1", "ECG two"};
    const char* units[] = {"uV", "mV"};
    const double physical[] = {1000, 5};
    const int digital[] = {32767, 2047};
    const int samples[] = {3, 2};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(EdfSetLabel(handle, i, labels[i]), 0);
        EXPECT_EQ(EdfSetPhysicalDimension(handle, i, units[i]), 0);
        EXPECT_EQ(EdfSetPhysicalMinimum(handle, i, -physical[i]), 0);
        EXPECT_EQ(EdfSetPhysicalMaximum(handle, i, physical[i]), 0);
        EXPECT_EQ(EdfSetDigitalMinimum(handle, i, -digital[i] - 1), 0);
        EXPECT_EQ(EdfSetDigitalMaximum(handle, i, digital[i]), 0);
        EXPECT_EQ(EdfSetSamplesPerRecord(handle, i, samples[i]), 0);
    }
    EXPECT_EQ(EdfSetRecordDuration(handle, 50'000), 0);  // units of 10 µs
    EXPECT_EQ(EdfSetStartDateTime(handle, 2017, 7, 5, 10, 20, 30), 0);
    const std::vector<int16_t> record(5, 0);
    EXPECT_EQ(EdfWriteRecord(handle, record.data()), 0);
    EXPECT_EQ(EdfCloseFile(handle), 0);
    return ReadFileBytes(dir.path / "layout.edf");
}

}  // namespace

TEST(EdfLayoutTest, TheWrittenHeaderHoldsEachFieldWhereTheTablePutsIt)
{
    TempDir dir;
    const std::vector<unsigned char> bytes = WriteTwoSignalFile(dir);
    ASSERT_EQ(bytes.size(), 1024u + 2 * (3 + 2) + 114u);

    for (const FixedFieldCase& c : fixedFields) {
        EXPECT_EQ(EdfFieldWidth(c.field), c.width) << c.text;
        EXPECT_TRUE(BytesAt(bytes, static_cast<std::size_t>(EdfFieldOffset(c.field)), Padded(c.text, c.width)))
            << c.text;
    }
    for (const SignalFieldCase& c : signalFields) {
        EXPECT_EQ(EdfFieldWidth(c.field), c.width) << c.texts[0];
        for (int i = 0; i < 3; ++i) {
            const auto offset = static_cast<std::size_t>(EdfFieldOffset(c.field, 3, i));
            EXPECT_TRUE(BytesAt(bytes, offset, Padded(c.texts[static_cast<std::size_t>(i)], c.width)))
                << "signal " << i << ": " << c.texts[static_cast<std::size_t>(i)];
        }
    }
}
