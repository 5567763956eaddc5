#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli/BidsRequest.h"

// The files of a BIDS dataset that belong to the whole dataset: dataset_description.json and a
// README, made when missing, and participants.tsv (with its .json), to which a subject is added
// once. Each function is false with the reason in `error`.

// dataset_description.json and README, unless they exist.
bool StartDataset(const BidsRequest& request, std::string& error);
// participants.tsv with the subject added (rewritten whole) unless it lists it already, and
// participants.json unless it exists.
bool AddParticipant(const std::string& root, const std::string& subject, std::string& error);
// The rows (file name, acquisition time) added to the scans table at `path`, made when missing.
bool AddScans(const std::string& path, const std::vector<std::pair<std::string, std::string>>& scans,
              std::string& error);
