#include "EdfHeaderWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include "EdfFileState.h"
#include "EdfNumbers.h"
#include "EdfText.h"
#include "edf/EdfLayout.h"

namespace {

constexpr const char* monthNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// `length` bytes of text, cut or filled with spaces to `width`.
void WriteField(BufferedFile& file, const char* text, int length, int width)
{
    int kept = length < width ? length : width;
    file.Write(text, static_cast<std::size_t>(kept));
    file.PutSpaces(static_cast<std::size_t>(width - kept));
}

void WriteTextField(BufferedFile& file, const char* text, int width)
{
    WriteField(file, text, static_cast<int>(std::strlen(text)), width);
}

template <typename Field> void WriteTextField(BufferedFile& file, const char* text, Field field)
{
    WriteTextField(file, text, EdfFieldWidth(field));
}

template <typename Field> void WriteDecimalField(BufferedFile& file, int64_t value, Field field)
{
    char text[24];
    WriteField(file, text, WriteDecimal(text, value), EdfFieldWidth(field));
}

// Blank fields of every signal in the file.
void WriteBlankFields(BufferedFile& file, EdfSignalField field, int signalsInFile)
{
    file.PutSpaces(static_cast<std::size_t>(EdfFieldWidth(field)) * static_cast<std::size_t>(signalsInFile));
}

// The physical minimum and maximum share one width.
constexpr int physicalFieldWidth = EdfFieldWidth(EdfSignalField::PhysicalMinimum);
static_assert(physicalFieldWidth == EdfFieldWidth(EdfSignalField::PhysicalMaximum));

// A physical value of a signal as its 8-character field holds it: cut there, or rounded to the
// nearest value that fits. Returns the length.
int PhysicalText(char (&text)[24], const EdfSignalParams& signal, double value)
{
    const int nearest = signal.physicalNearest ? FormatDoubleNearest(text, value, physicalFieldWidth) : -1;
    return nearest >= 0 ? nearest : std::min(FormatDouble(text, value), physicalFieldWidth);
}

void WritePhysicalField(BufferedFile& file, const EdfSignalParams& signal, double value)
{
    char text[24];
    WriteField(file, text, PhysicalText(text, signal, value), physicalFieldWidth);
}

// The data record duration in seconds, written from its exact count of 100 ns units. A duration
// is a whole number of 10 µs from 1 ms to 60 s, so it always fits the 8 characters exactly. (The
// double of the duration, written with truncated decimals, would lose its last digit at many
// values, 0.01639 s becoming 0.016389, and the header would disagree with the start times in the
// records.)
void WriteDurationField(BufferedFile& file, int64_t ticks)
{
    char text[32];
    WriteField(file, text, WriteSeconds(text, ticks), EdfFieldWidth(EdfHeaderField::RecordDuration));
}

// "dd.mm.yy" or "hh.mm.ss": three values of two digits each
void WriteTripleField(BufferedFile& file, EdfHeaderField field, int first, int second, int third)
{
    char text[8];
    static_assert(sizeof text == EdfFieldWidth(EdfHeaderField::StartDate)
                  && sizeof text == EdfFieldWidth(EdfHeaderField::StartTime));
    WriteDecimal(text, first, 2);
    text[2] = '.';
    WriteDecimal(text + 3, second, 2);
    text[5] = '.';
    WriteDecimal(text + 6, third, 2);
    WriteField(file, text, 8, EdfFieldWidth(field));
}

// A physical value as a reader of the header sees it.
double WrittenPhysicalValue(double value, bool nearest)
{
    EdfSignalParams signal;
    signal.physicalNearest = nearest;
    char text[24];
    const int length = PhysicalText(text, signal, value);
    double written = 0;
    (void)std::from_chars(text, text + length, written);  // always a number: digits, sign, point
    return written;
}

void TakeLocalTime(EdfFileState& state)
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    state.startYear = local.tm_year + 1900;
    state.startMonth = local.tm_mon + 1;
    state.startDay = local.tm_mday;
    state.startHour = local.tm_hour;
    state.startMinute = local.tm_min;
    state.startSecond = local.tm_sec == 60 ? 0 : local.tm_sec;  // leap second
}

// "Startdate dd-MMM-yyyy " and the recording's subfields, "X X X " when none were set
void WriteRecordingField(BufferedFile& file, const EdfFileState& state)
{
    char text[EdfFieldWidth(EdfHeaderField::Recording) + 8] = "Startdate ";
    int n = 10;
    n += WriteDecimal(text + n, state.startDay, 2);
    text[n++] = '-';
    std::memcpy(text + n, monthNames[state.startMonth - 1], 3);
    n += 3;
    text[n++] = '-';
    n += WriteDecimal(text + n, state.startYear, 4);
    text[n++] = ' ';
    const char* subfields = state.recording[0] != '\0' ? state.recording : "X X X ";
    const auto length = static_cast<int>(std::strlen(subfields));
    std::memcpy(text + n, subfields, static_cast<std::size_t>(length));
    WriteField(file, text, n + length, EdfFieldWidth(EdfHeaderField::Recording));
}

// One field of the signal part: the ordinary signals' values, then the annotation signal's.
template <typename WriteSignal>
void WriteSignalFields(BufferedFile& file, EdfFileState& state, WriteSignal writeSignal, const char* annotationValue,
                       EdfSignalField field)
{
    for (int i = 0; i < state.signalCount; ++i)
        writeSignal(state.signals[i]);
    for (int i = 0; i < state.annotationSignalCount; ++i)
        WriteTextField(file, annotationValue, field);
}

}  // namespace

int EdfCheckDigitalRange(int minimum, int maximum)
{
    if (!EdfDigitalMinimumAccepted(minimum) || !EdfDigitalMaximumAccepted(maximum))
        return EdfFailure;
    if (maximum == minimum)
        return EdfDigitalRangeEmpty;
    if (maximum < minimum)
        return EdfDigitalRangeInverted;
    return EdfOk;
}

int EdfCheckPhysicalRange(double minimum, double maximum, bool nearest)
{
    // Compared as written: two values that differ only beyond what 8 characters hold (1e-10 and
    // 0 are both written 0) would leave a range that no reader can scale by.
    if (maximum == minimum || WrittenPhysicalValue(maximum, nearest) == WrittenPhysicalValue(minimum, nearest))
        return EdfPhysicalRangeEmpty;
    return EdfOk;
}

int EdfCheckSignals(const EdfFileState& state)
{
    for (int i = 0; i < state.signalCount; ++i) {
        const EdfSignalParams& signal = state.signals[i];
        if (signal.samplesPerRecord < 1)
            return EdfBadSamplesPerRecord;
        // the setters kept both digital limits within 16 bits
        if (int digital = EdfCheckDigitalRange(signal.digitalMinimum, signal.digitalMaximum); digital != EdfOk)
            return digital;
        if (int physical =
                EdfCheckPhysicalRange(signal.physicalMinimum, signal.physicalMaximum, signal.physicalNearest);
            physical != EdfOk)
            return physical;
    }
    return EdfOk;
}

int EdfWriteHeader(EdfFileState& state)
{
    if (int check = EdfCheckSignals(state); check != EdfOk)
        return check;
    if (state.startYear == 0)
        TakeLocalTime(state);

    BufferedFile& file = state.file;
    const int signalsInFile = state.signalCount + state.annotationSignalCount;
    state.headerWritten = true;
    (void)file.Seek(0);  // a failure here shows in the stream's FailedAt
    WriteTextField(file, "0", EdfHeaderField::Version);
    WriteTextField(file, state.patient[0] != '\0' ? state.patient : "X X X X", EdfHeaderField::Patient);
    WriteRecordingField(file, state);
    WriteTripleField(file, EdfHeaderField::StartDate, state.startDay, state.startMonth, state.startYear % 100);
    WriteTripleField(file, EdfHeaderField::StartTime, state.startHour, state.startMinute, state.startSecond);
    WriteDecimalField(file, EdfHeaderBytes(state), EdfHeaderField::HeaderBytes);
    WriteTextField(file, "EDF+C", EdfHeaderField::Reserved);
    WriteTextField(file, "-1", EdfHeaderField::RecordCount);  // fixed at close
    WriteDurationField(file, state.recordDurationTicks);      // "1" for one second
    WriteDecimalField(file, signalsInFile, EdfHeaderField::SignalCount);

    WriteSignalFields(
        file, state,
        [&](EdfSignalParams& signal) {
            FoldToAscii(signal.label);
            WriteTextField(file, signal.label, EdfSignalField::Label);
        },
        "EDF Annotations", EdfSignalField::Label);
    WriteBlankFields(file, EdfSignalField::Transducer, signalsInFile);
    WriteSignalFields(
        file, state,
        [&](const EdfSignalParams& signal) {
            WriteTextField(file, signal.physicalDimension, EdfSignalField::PhysicalDimension);
        },
        "", EdfSignalField::PhysicalDimension);
    WriteSignalFields(
        file, state, [&](const EdfSignalParams& signal) { WritePhysicalField(file, signal, signal.physicalMinimum); },
        "-1", EdfSignalField::PhysicalMinimum);
    WriteSignalFields(
        file, state, [&](const EdfSignalParams& signal) { WritePhysicalField(file, signal, signal.physicalMaximum); },
        "1", EdfSignalField::PhysicalMaximum);
    WriteSignalFields(
        file, state,
        [&](const EdfSignalParams& signal) {
            WriteDecimalField(file, signal.digitalMinimum, EdfSignalField::DigitalMinimum);
        },
        "-32768", EdfSignalField::DigitalMinimum);
    WriteSignalFields(
        file, state,
        [&](const EdfSignalParams& signal) {
            WriteDecimalField(file, signal.digitalMaximum, EdfSignalField::DigitalMaximum);
        },
        "32767", EdfSignalField::DigitalMaximum);
    WriteSignalFields(
        file, state,
        [&](const EdfSignalParams& signal) { WriteTextField(file, signal.prefiltering, EdfSignalField::Prefiltering); },
        "", EdfSignalField::Prefiltering);
    char annotationSamples[24] = {};
    (void)WriteDecimal(annotationSamples, edfAnnotationSamplesPerRecord);  // NUL-terminated by the zeros
    WriteSignalFields(
        file, state,
        [&](const EdfSignalParams& signal) {
            WriteDecimalField(file, signal.samplesPerRecord, EdfSignalField::SamplesPerRecord);
        },
        annotationSamples, EdfSignalField::SamplesPerRecord);
    WriteBlankFields(file, EdfSignalField::Reserved, signalsInFile);

    state.annotationBytesPerRecord = edfAnnotationSlotBytes * state.annotationSignalCount;
    return EdfOk;
}
