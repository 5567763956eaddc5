#pragma once

#include <cstdint>

#include "edf/EdfFileEngine.h"
#include "edf/EdfLayout.h"

// The texts of the EDF file engine: label folding, annotation text conversion and the
// time-stamped annotation lists (TALs) of a data record's annotation slot.

// Replaces, in place up to its NUL, every byte outside printable ASCII by an ASCII look-alike
// (Windows-1252 / ISO 8859-1 letters lose their accents) or a space.
void FoldToAscii(char* text);

// Converts the first n bytes (n <= 40, fewer when a NUL comes first) of ISO 8859-1 text to UTF-8
// in place, producing at most n bytes: a character that needs two bytes where only one is left
// becomes a space, and what follows the n-th output byte is dropped. Control characters become
// '.'. Writes a NUL after the output, so text must hold n + 1 bytes; returns the output length.
int Latin1ToUtf8(char* text, int n);
// The same from `in` (inLength bytes, fewer when a NUL comes first) to `out`, producing at most
// outLimit bytes and a NUL after them (out holds outLimit + 1 bytes).
int Latin1ToUtf8(const char* in, int inLength, char* out, int outLimit);

// The text as stored, into `out` (edfMaxWholeAnnotationTextBytes + 1 bytes), NUL-terminated;
// returns its length.
int StoredAnnotationText(const char* latin1, AnnotationTexts texts, char* out);

// "+" and the start time of data record `record` in seconds, for records of `recordTicks` units
// of 100 ns after a first record that starts `offsetTicks` after the file's start time: whole
// seconds, then "." and 7 digits unless the duration and the offset are whole numbers of
// seconds. Returns the length (at most 21, no NUL written).
int WriteRecordStartTime(char* out, int64_t record, int64_t recordTicks, int64_t offsetTicks = 0);

// "+" and an onset in seconds, given in units of 10^-decimals s (4: 100 µs, 7: 100 ns): whole
// seconds, then "." and `decimals` digits unless the onset is a whole number of seconds.
// Returns the length (at most 29, no NUL written).
int WriteOnset(char* out, int64_t onset, int decimals = 4);

// The time-keeping TAL of data record `record`: "+" start 0x14 0x14. Returns its length (at most
// edfLongestTimeKeepingTalBytes, no NUL written).
int WriteTimeKeepingTal(char* out, int64_t record, int64_t recordTicks, int64_t offsetTicks = 0);
// The TAL of one annotation: "+" onset 0x14 text 0x14, the text (UTF-8) up to its NUL and at most
// maxTextBytes, cut where a character begins. Returns its length (at most
// edfLongestWholeAnnotationTalBytes, no NUL written).
int WriteAnnotationTal(char* out, const char* text, int64_t onset, int onsetDecimals = 4,
                       int maxTextBytes = edfMaxWholeAnnotationTextBytes);

// Fills one annotation slot of data record `record`: its time-keeping TAL, then, when `text` is
// not null, the TAL of the annotation (onset, text up to its NUL and at most 40 bytes, cut where
// a character begins), then
// 0x00 bytes to the end of the slot.
//   "+" start 0x14 0x14 [0x00 "+" onset 0x14 text 0x14] 0x00...
void BuildAnnotationSlot(char (&slot)[edfAnnotationSlotBytes], int64_t record, int64_t recordTicks,
                         const char* text = nullptr, int64_t onset = 0, int64_t offsetTicks = 0, int onsetDecimals = 4);
