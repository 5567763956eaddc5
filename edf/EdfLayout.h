#pragma once

// Sizes in the files that the EDF file engine writes; internal to the engine.

constexpr int edfMaxLabelLength = 16;          // bytes of a signal label as stored
constexpr int edfMaxAnnotationTextBytes = 40;  // bytes of an annotation text as stored (UTF-8)
// The annotation signal's bytes in a data record: 57 two-byte samples.
constexpr int edfAnnotationSlotBytes = 114;
