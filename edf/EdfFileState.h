#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "BufferedFile.h"
#include "EdfText.h"
#include "RecordFingerprint.h"
#include "edf/EdfFileEngine.h"
#include "edf/EdfLayout.h"

// The state of one open file of the EDF file engine; internal to the engine and its header
// writer. The engine keeps no transducer: no operation sets it, so the header writes it blank. The
// prefiltering and the patient and recording subfields are blank (or "X") until set.

struct EdfSignalParams {
    char label[edfMaxLabelLength + 1] = {};
    char physicalDimension[edfMaxPhysicalDimensionLength + 1] = {};
    char prefiltering[edfMaxPrefilteringLength + 1] = {};
    double physicalMinimum = 0;
    double physicalMaximum = 0;
    // Both physical values written rounded to the nearest value the field holds, not cut.
    bool physicalNearest = false;
    int digitalMinimum = 0;
    int digitalMaximum = 0;
    int samplesPerRecord = 0;
    int64_t clippedSamples = 0;  // samples written beyond the digital range, as its nearest end
};

struct EdfAnnotation {
    int64_t onset = 0;                              // units of 10^-onsetDecimals s from the file's start, not negative
    int onsetDecimals = 4;                          // 4: 100 µs units; 7: 100 ns
    int64_t duration = -1;                          // none; never written
    char text[edfMaxAnnotationTextBytes + 1] = {};  // UTF-8
    std::unique_ptr<char[]> longText;               // a whole text longer than `text` holds, UTF-8

    const char* Text() const { return longText ? longText.get() : text; }
    bool FitsSlot() const { return !longText; }  // its TAL fits the usual 114-byte slot
};

struct EdfFileState {
    BufferedFile file;
    std::unique_ptr<char[]> path;                // the whole path, however long: a second open of it is refused
    char patient[edfMaxPatientLength + 1] = {};  // empty: "X X X X"
    char recording[edfMaxRecordingSubfieldsLength + 1] = {};  // after the start date; empty: "X X X"
    int startDay = 0;
    int startMonth = 0;
    int startYear = 0;  // 0: not set, the header takes the local time
    int startSecond = 0;
    int startMinute = 0;
    int startHour = 0;
    int signalCount = 0;
    int64_t recordsWritten = 0;
    // The header went to the stream with the first data record: the parameters are frozen from
    // then on, also when the records did not reach the file after all.
    bool headerWritten = false;
    int annotationSignalCount = 1;
    double recordDuration = 1.0;               // s
    int64_t recordDurationTicks = 10'000'000;  // units of 100 ns
    int64_t recordStartOffsetTicks = 0;        // units of 100 ns from the start time to the first record
    int annotationCount = 0;
    int annotationCapacity = 0;
    int annotationBytesPerRecord = 0;  // set when the header is written
    bool writeFailed = false;          // a write failed once: the file is cut to its records at close
    AnnotationTexts annotationTexts = AnnotationTexts::Cut;
    std::unique_ptr<EdfSignalParams[]> signals;
    std::vector<uint64_t>* recordPrints = nullptr;  // receives each record's fingerprint, when set
    RecordFingerprint recordPrint;                  // of the record being packed
};

// Bytes of the header, the annotation signal included.
inline int64_t EdfHeaderBytes(const EdfFileState& state)
{
    return EdfHeaderBytesFor(static_cast<int64_t>(state.signalCount) + state.annotationSignalCount);
}

// Bytes of the ordinary signals' samples in one data record.
inline int64_t EdfSampleBytesPerRecord(const EdfFileState& state)
{
    int64_t bytes = 0;
    for (int i = 0; i < state.signalCount; ++i)
        bytes += static_cast<int64_t>(state.signals[i].samplesPerRecord) * 2;
    return bytes;
}
