#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The byte layout of the files that the EDF file engine writes: each header field's place and
// width, and the limits that follow from them.
//
// The header is a fixed part of 256 bytes, then a signal part of 256 bytes per signal (the
// annotation signal included). The signal part holds one field at a time for all signals: every
// signal's label, then every signal's transducer type, and so on. Every field is ASCII text,
// left-aligned and filled with spaces to its width.

// The fields of the fixed part, in file order.
enum class EdfHeaderField {
    Version,
    Patient,
    Recording,
    StartDate,
    StartTime,
    HeaderBytes,
    Reserved,
    RecordCount,
    RecordDuration,
    SignalCount,
};

// The per-signal fields, in file order.
enum class EdfSignalField {
    Label,
    Transducer,
    PhysicalDimension,
    PhysicalMinimum,
    PhysicalMaximum,
    DigitalMinimum,
    DigitalMaximum,
    Prefiltering,
    SamplesPerRecord,
    Reserved,
};

namespace EdfLayoutDetail {

// Widths in bytes, in the order of the enums above; each field starts where the one before ends.
constexpr std::array<int, 10> headerFieldWidths{8, 80, 80, 8, 8, 8, 44, 8, 8, 4};
constexpr std::array<int, 10> signalFieldWidths{16, 80, 8, 8, 8, 8, 8, 80, 8, 32};

constexpr int SumBefore(const std::array<int, 10>& widths, std::size_t end)
{
    int sum = 0;
    for (std::size_t i = 0; i < end; ++i)
        sum += widths[i];
    return sum;
}

}  // namespace EdfLayoutDetail

constexpr int EdfFieldWidth(EdfHeaderField field)
{
    return EdfLayoutDetail::headerFieldWidths[static_cast<std::size_t>(field)];
}

constexpr int EdfFieldWidth(EdfSignalField field)
{
    return EdfLayoutDetail::signalFieldWidths[static_cast<std::size_t>(field)];
}

// Offset of a field of the fixed part from the start of the file.
constexpr int64_t EdfFieldOffset(EdfHeaderField field)
{
    return EdfLayoutDetail::SumBefore(EdfLayoutDetail::headerFieldWidths, static_cast<std::size_t>(field));
}

constexpr int edfFixedHeaderBytes =
    EdfLayoutDetail::SumBefore(EdfLayoutDetail::headerFieldWidths, EdfLayoutDetail::headerFieldWidths.size());
constexpr int edfHeaderBytesPerSignal =
    EdfLayoutDetail::SumBefore(EdfLayoutDetail::signalFieldWidths, EdfLayoutDetail::signalFieldWidths.size());

// Offset of field `field` of signal `signal` (0-based) in the header of a file of `signalsInFile`
// signals, the annotation signal included: all signals' earlier fields come first.
constexpr int64_t EdfFieldOffset(EdfSignalField field, int64_t signalsInFile, int64_t signal)
{
    const auto before = EdfLayoutDetail::SumBefore(EdfLayoutDetail::signalFieldWidths, static_cast<std::size_t>(field));
    return edfFixedHeaderBytes + before * signalsInFile + EdfFieldWidth(field) * signal;
}

// Bytes of the header of a file of `signalsInFile` signals, the annotation signal included.
constexpr int64_t EdfHeaderBytesFor(int64_t signalsInFile)
{
    return edfFixedHeaderBytes + edfHeaderBytesPerSignal * signalsInFile;
}

// The largest count an 8-character number field holds: the record count, samples per record.
constexpr int edfLargestFieldNumber = 99'999'999;

constexpr int edfMaxSignals = 512;                                                               // ordinary signals
constexpr int edfMaxLabelLength = EdfFieldWidth(EdfSignalField::Label);                          // bytes as stored
constexpr int edfMaxPhysicalDimensionLength = EdfFieldWidth(EdfSignalField::PhysicalDimension);  // bytes as stored
constexpr int edfMaxPrefilteringLength = EdfFieldWidth(EdfSignalField::Prefiltering);            // bytes as stored
// The patient identification's subfields fill its field; the recording identification's follow
// "Startdate dd-MMM-yyyy " (22 bytes) in theirs.
constexpr int edfMaxPatientLength = EdfFieldWidth(EdfHeaderField::Patient);
constexpr int edfMaxRecordingSubfieldsLength = EdfFieldWidth(EdfHeaderField::Recording) - 22;
constexpr int edfMaxAnnotationTextBytes = 40;  // bytes of an annotation text as stored (UTF-8)
// Whole texts: up to 255 bytes of ISO 8859-1 text, each character 1 or 2 bytes of UTF-8.
constexpr int edfMaxWholeTextInputBytes = 255;
constexpr int edfMaxWholeAnnotationTextBytes = 2 * edfMaxWholeTextInputBytes;
// The annotation signal's two-byte samples in a data record, and the bytes they take.
constexpr int edfAnnotationSamplesPerRecord = 57;
constexpr int edfAnnotationSlotBytes = 2 * edfAnnotationSamplesPerRecord;
// The longest TALs: "+", 20 digits of a 64-bit count, "." and 7 decimals, then 0x14 0x14; and
// "+", 20 digits, "." and up to 7 decimals, 0x14, 40 bytes of text, 0x14.
constexpr int edfLongestTimeKeepingTalBytes = 1 + 20 + 8 + 2;
constexpr int edfLongestAnnotationTalBytes = 1 + 20 + 8 + 1 + edfMaxAnnotationTextBytes + 1;
constexpr int edfLongestWholeAnnotationTalBytes = 1 + 20 + 8 + 1 + edfMaxWholeAnnotationTextBytes + 1;
