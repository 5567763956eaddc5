#pragma once

// Sizes in the files that the EDF file engine writes; internal to the engine.

constexpr int edfMaxLabelLength = 16;             // bytes of a signal label as stored
constexpr int edfMaxPhysicalDimensionLength = 8;  // bytes of a signal's unit as stored
constexpr int edfMaxAnnotationTextBytes = 40;     // bytes of an annotation text as stored (UTF-8)
// Whole texts: up to 255 bytes of ISO 8859-1 text, each character 1 or 2 bytes of UTF-8.
constexpr int edfMaxWholeTextInputBytes = 255;
constexpr int edfMaxWholeAnnotationTextBytes = 2 * edfMaxWholeTextInputBytes;
// The annotation signal's bytes in a data record: 57 two-byte samples.
constexpr int edfAnnotationSlotBytes = 114;
// The longest TALs: "+", 20 digits of a 64-bit count, "." and 7 decimals, then 0x14 0x14; and
// "+", 20 digits, "." and up to 7 decimals, 0x14, 40 bytes of text, 0x14.
constexpr int edfLongestTimeKeepingTalBytes = 1 + 20 + 8 + 2;
constexpr int edfLongestAnnotationTalBytes = 1 + 20 + 8 + 1 + edfMaxAnnotationTextBytes + 1;
constexpr int edfLongestWholeAnnotationTalBytes = 1 + 20 + 8 + 1 + edfMaxWholeAnnotationTextBytes + 1;
