#pragma once

#include <cstdint>

struct EdfFileState;

// Checks the signal parameters and writes the complete EDF+C header from offset 0 through the
// file's stream: 0 or the code of the first failed check (-22 to -25, nothing written then).
// Fills in the local date and time when no start date was set. Write failures are left to the
// stream (its FailedAt and Sync).
int EdfWriteHeader(EdfFileState& state);
// The checks of EdfWriteHeader alone: 0 or the code of the first that fails.
int EdfCheckSignals(const EdfFileState& state);
