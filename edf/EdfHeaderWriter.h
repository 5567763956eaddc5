#pragma once

#include <cstdint>

struct EdfFileState;

// Checks the signal parameters and writes the complete EDF+C header from offset 0 through the
// file's stream: 0 or the code of the first failed check (-22 to -25, nothing written then).
// Fills in the local date and time when no start date was set. Write failures are left to the
// stream's next Flush.
int EdfWriteHeader(EdfFileState& state);

// '-' for a negative value, then the digits, zero-padded to `minDigits`. Returns the length
// (at most 20, no NUL written).
int WriteDecimal(char* out, int64_t value, int minDigits = 0);

// x with at most 9 decimals, truncated toward zero, trailing zeros and a bare '.' removed
// (3276.7 gives 3276.699999999). The integer part saturates at the 32-bit range; NaN gives "0".
// Returns the length (at most 21, no NUL written).
int FormatDouble(char* out, double x);
