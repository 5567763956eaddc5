#pragma once

#include <string>

#include "ConversionReport.h"
#include "RecordingDiscovery.h"
#include "RunOutput.h"

// A recording's conversion into a BIDS dataset (--bids): the conversion writes into its staging
// directory (BidsNames.h), then its EDF+ files take their BIDS names beside their sidecars, and
// the dataset's tables gain their rows. Everything in the dataset is added under an exclusive
// lock on its root, so that conversions running at once (-j) add to its tables one at a time.

// The check before the conversion: false, with the problem in words, when the run that the
// options name exists already.
bool CheckBidsTargets(const Recording& recording, const BidsRequest& request, std::string& problem);

// Places the converted files of `report` into the dataset and writes their sidecars; the
// report's output files come out under their new names, and its messages gain those of this
// step, which also go to `output`. 0 on success, 1 on a failure (told as an Error).
int PublishToBids(const Recording& recording, const BidsRequest& request, const std::wstring& eventFile,
                  RecordingReport& report, RunOutput& output, bool quiet);
