#pragma once

#include "InterruptWatch.h"
#include "RecordingDiscovery.h"
#include "cli/ConvertArguments.h"

// Converts the recordings found, one after the other or up to --jobs at once in processes of
// their own, and prints each recording's lines as one block when it ends, in the order of the
// recordings (a batch run in parallel prints what the same batch run one by one prints). On a
// terminal, a batch of several recordings shows its progress on standard error. Returns the exit
// status: 0 when every recording converted, 1 when any failed or the batch was interrupted.
int RunBatch(const Discovery& discovery, const ConvertArguments& arguments, InterruptWatch& interrupts);
