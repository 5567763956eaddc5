#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edf/EdfLayout.h"
#include "edf/StreamSettings.h"

// The EDF file engine: writes EDF+C files (16-bit samples, one "EDF Annotations" signal) through
// a process-wide table of 64 open files addressed by integer handles. It publishes no messages;
// every operation answers with 0 (or a handle) for success and a negative code for failure.
//
// A file passes through three states: open and accepting parameters (after EdfOpenFile), open
// and recording (after the first EdfWriteRecord, which writes the header and freezes every
// parameter), and closed (EdfCloseFile fixes up the record count and places the annotations,
// one per data record).

// Result codes. A setter reports every refusal as EdfFailure.
enum EdfResult : int {
    EdfOk = 0,
    EdfFailure = -1,                // bad handle, empty slot, value out of range, write failed
    EdfCannotCreate = -2,           // path cannot be opened for writing
    EdfNameTaken = -3,              // a file of that name exists: it is neither opened nor truncated
    EdfNoFreeSlot = -4,             // 64 files already open
    EdfPathAlreadyOpen = -6,        // a file with the same path is open
    EdfBadSignalCount = -9,         // signal count outside 0 to 512
    EdfBadSamplesPerRecord = -22,   // a signal has fewer than 1 sample per record
    EdfDigitalRangeEmpty = -23,     // digital maximum equals digital minimum
    EdfDigitalRangeInverted = -24,  // digital maximum below digital minimum
    EdfPhysicalRangeEmpty = -25,    // physical maximum equals physical minimum, as the header writes them
    EdfAnnotationsLeftOut = -26,    // closed, but without the annotations beyond one per data record
};

// What becomes of an annotation's ISO 8859-1 text in the file: cut, its first 40 bytes converted
// to UTF-8 in 40 bytes; or whole, up to 255 bytes converted without a cut.
enum class AnnotationTexts { Cut, Whole };

constexpr int edfMaxOpenFiles = 64;
// The header gives each signal's samples per record 8 characters: a larger count would be cut
// there, and the header would no longer describe the records.
constexpr int edfLargestSamplesPerRecord = edfLargestFieldNumber;
constexpr int edfShortestRecordDuration = 100;       // units of 10 µs: 1 ms
constexpr int edfLongestRecordDuration = 6'000'000;  // units of 10 µs: 60 s
constexpr int edfLargestDigitalValue = 32767;        // 16-bit samples
constexpr int edfSmallestDigitalValue = -32768;
constexpr int edfEarliestYear = 1970;
constexpr int edfLatestYear = 3000;

// The values the engine takes, each rule written once: the setters and the header refuse what
// these refuse, and callers ask them before any file exists, so that values that cannot be
// written never leave a file behind.
bool EdfSamplesPerRecordAccepted(int samplesPerRecord);
bool EdfRecordDurationAccepted(int duration);  // units of 10 µs
// Hour, minute and second as a clock shows them; the day is not checked against the month.
bool EdfStartDateTimeAccepted(int year, int month, int day, int hour, int minute, int second);
bool EdfDigitalMaximumAccepted(int value);
bool EdfDigitalMinimumAccepted(int value);
// A signal's ranges as the header needs them: EdfOk; EdfFailure when a digital limit lies
// outside 16 bits; else the code of the header check that the first data record would fail with.
int EdfCheckDigitalRange(int minimum, int maximum);
// nearest: the values written rounded to the field, as EdfSetPhysicalRangeNearest writes them.
int EdfCheckPhysicalRange(double minimum, double maximum, bool nearest = false);
// true when a signal given this label would carry, as the header writes it (its first 16 bytes
// folded, without spaces at either end), the label of the annotation signal, "EDF Annotations":
// an EDF+ reader would take that signal for a second annotation signal.
bool EdfLabelNamesAnnotations(const char* label);
// What a result code means, in a few words that follow a file name ("the file cannot be
// created", ...); for EdfFailure, "the engine refused the call".
const char* EdfResultText(int code);

// The sizes and thresholds of the output stream of every file opened from now on (the usual ones
// until set): EdfOk, or EdfFailure for settings that are not Valid.
int EdfSetStreamSettings(const StreamSettings& settings);

// Creates the file at the UTF-8 `path`, which must not exist (EdfNameTaken otherwise: two writers
// never share a file); returns its handle 0 to 63 or a code.
// The whole path is kept, however long, for the byte-exact same-path check.
int EdfOpenFile(const char* path, int signalCount);
// The same; errorNumber receives the system's error number when the file cannot be created
// (EdfCannotCreate, EdfNameTaken), else 0.
int EdfOpenFile(const char* path, int signalCount, int& errorNumber);
// The same for a file that the caller has created and opened for reading and writing at
// `descriptor` (empty, regular), which lies at the UTF-8 `path`. The engine owns the descriptor
// from this call on and closes it, also when the open fails.
int EdfOpenFileDescriptor(int descriptor, const char* path, int signalCount);

// Parameter setters; each fails once the first data record has been written.
// samplesPerRecord: 1 to edfLargestSamplesPerRecord
int EdfSetSamplesPerRecord(int handle, int signal, int samplesPerRecord);
int EdfSetPhysicalMaximum(int handle, int signal, double value);
int EdfSetPhysicalMinimum(int handle, int signal, double value);
// Both ends of the physical range at once, each written rounded to the nearest value that the
// header's 8 characters hold (the two setters above write their values cut there); refused when
// the whole part of either does not fit.
int EdfSetPhysicalRangeNearest(int handle, int signal, double minimum, double maximum);
int EdfSetDigitalMaximum(int handle, int signal, int value);
int EdfSetDigitalMinimum(int handle, int signal, int value);
int EdfSetLabel(int handle, int signal, const char* label);
// The signal's physical dimension (unit): at most 8 bytes are kept; blank when never set.
int EdfSetPhysicalDimension(int handle, int signal, const char* unit);
// The signal's prefiltering, for example "HP:0.1Hz LP:9000Hz": at most 80 bytes are kept; blank
// when never set.
int EdfSetPrefiltering(int handle, int signal, const char* text);
// The EDF+ identification subfields, each separated by one blank, written as they are: the
// patient's ("code sex birthdate name", at most edfMaxPatientLength bytes) and the recording's
// that follow its start date ("admincode technician equipment", at most
// edfMaxRecordingSubfieldsLength bytes). An empty text keeps the field's "X" subfields; a longer
// one is refused.
int EdfSetIdentification(int handle, const char* patient, const char* recording);
// The time from the start date and time (whole seconds) to the start of the first data record,
// in units of 100 ns, below one second; 0 when never set. Every record's time-keeping TAL counts
// from it.
int EdfSetRecordStartOffset(int handle, int64_t ticks);
// duration in units of 10 µs, 100 (1 ms) to 6,000,000 (60 s)
int EdfSetRecordDuration(int handle, int duration);
int EdfSetStartDateTime(int handle, int year, int month, int day, int hour, int minute, int second);

// samples: one whole data record, all samples of signal 0 first, then signal 1, and so on.
// Records reach the file in large writes behind the caller's back, so a write that fails shows
// a little later: from then on every EdfWriteRecord and EdfSyncRecords answers -1, and the file
// ends, at close, with the last record that reached it whole.
int EdfWriteRecord(int handle, const int16_t* samples);
// From the next data record on, a fingerprint of each record's sample bytes as they go to the file
// (clamped, low byte first; the annotation slot left out) is appended to `into`, taken while the
// bytes are packed and still in the processor's cache: the read-back of a closed file compares its
// records with these. Records written at the close (a file closed before its first record) are
// fingerprinted too. `into` must outlive the file; nullptr stops.
int EdfKeepRecordFingerprints(int handle, std::vector<uint64_t>* into);
// Samples of the signal written so far that lay beyond its digital range and were written as its
// nearest end; -1 for a bad handle or signal.
int64_t EdfClippedSamples(int handle, int signal);
// Waits until every record handed over has reached the file: 0, or -1 when a write failed.
int EdfSyncRecords(int handle);
// The system's error number of the first write to the file that failed; 0 while none failed (or
// for a bad handle).
int EdfWriteErrorNumber(int handle);
// Whether the file is open and still takes parameters (no data record written yet).
bool EdfAcceptsParameters(int handle);
// EdfOk, or the code of the first header check that the file's parameters fail (-22 to -25):
// why its first data record, or its close, is refused. EdfFailure for a bad handle.
int EdfCheckHeader(int handle);
// Annotation texts added from now on are kept whole (up to 255 bytes, converted to UTF-8), not
// cut to 40 bytes; a file with a text that its 114-byte slots cannot hold is rewritten at close
// with wider ones, as for more annotations than records.
int EdfSetWholeAnnotationTexts(int handle);
// onset in units of 100 µs from the start of the file; text is 8-bit (ISO 8859-1).
int EdfAddAnnotation(int handle, const char* text, int64_t onset);
// The same with the onset in units of 10^-onsetDecimals s (0 to 7 decimals; 7 counts 100 ns), and
// written with as many decimals.
int EdfAddAnnotationInUnits(int handle, const char* text, int64_t onset, int onsetDecimals);
// A file closed before its first data record gets its header and one record per annotation,
// every sample digital 0 (clamped into the signal's range), so that it matches its header.
// Annotations go one per data record, annotation i into record i; a file with more annotations
// than records is rewritten with an annotation signal that holds them all (EdfAnnotationRewrite.h)
// and, when that cannot be done, keeps the first ones and closes with EdfAnnotationsLeftOut.
// Other write failures at close are not reported; whole records are kept, a partly written one
// is cut off.
int EdfCloseFile(int handle);
// EdfCloseFile, except that a file rewritten with every annotation is left where it was written
// (a new name beside the file's path), which completePath receives; otherwise completePath is the
// file's path. The file at the path then keeps the old layout, to be replaced or removed by the
// caller.
int EdfFinishFile(int handle, std::string& completePath);
// The data records of an open file that reached it whole (waits for the writes under way).
int64_t EdfRecordsInFile(int handle);
// Gives up a file that EdfCloseFile cannot close (its header checks fail): closes the stream and
// empties the slot without writing anything, so that the file keeps whatever bytes reached it
// (none while no header could be written) and its path and slot are free again. 0; -1 for a bad
// handle.
int EdfReleaseFile(int handle);
