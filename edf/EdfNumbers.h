#pragma once

#include <cstdint>

// The number texts of EDF header fields and annotation lists, written into a caller's buffer.

// '-' for a negative value, then the digits, zero-padded to `minDigits`. Returns the length
// (at most 20, no NUL written).
int WriteDecimal(char* out, int64_t value, int minDigits = 0);

// A duration of `ticks` units of 100 ns (not negative) in seconds: the whole seconds, then, unless
// they are all, "." and the decimals without trailing zeros (0.02941, 0.5, 1). Returns the length
// (at most 27, no NUL written).
int WriteSeconds(char* out, int64_t ticks);

// x with at most 9 decimals, truncated toward zero, trailing zeros and a bare '.' removed
// (3276.7 gives 3276.699999999). The integer part saturates at the 32-bit range; NaN gives "0".
// Returns the length (at most 21, no NUL written).
int FormatDouble(char* out, double x);

// x rounded to the nearest value that `width` characters hold (width at most 21): as many
// decimals as fit, trailing zeros and a bare '.' removed. Returns the length (no NUL written),
// or -1 when not even the whole part fits.
int FormatDoubleNearest(char* out, double x, int width);
