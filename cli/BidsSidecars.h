#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BidsFiles.h"
#include "BidsInputs.h"
#include "cli/BidsRequest.h"
#include "engine/ConversionSummary.h"

// The sidecar files that describe one EDF+ file of a BIDS dataset: its channels, its events
// and the recording. Their figures come from the file's header and the conversion's summary.

struct BidsChannel {
    std::string name;
    std::string type;
    std::string units;
    double samplingFrequency = 0;  // Hz
    ChannelSettings settings;
};

// The EDF+ file's facts that the sidecars state.
struct BidsRecording {
    std::vector<BidsChannel> channels;  // in the file's order
    double samplingFrequency = 0;       // Hz, the highest of its channels
    double durationSeconds = 0;
};

// Reads the header of the EDF+ file at `path` and pairs its signals with the channels' header
// settings (same order); false with the reason in `error`.
bool DescribeRecording(const std::string& path, const std::vector<ChannelSettings>& settings,
                       const BidsRequest& request, BidsRecording& recording, std::string& error);

TsvRows ChannelsTable(const BidsRecording& recording);
// The events of [file.firstSampleUs, file.lastSampleUs], the window whose events the file holds.
TsvRows EventsTable(const std::vector<RecordedEvent>& events, const OutputFileSummary& file, double samplingFrequency);
nlohmann::ordered_json EventsDescription();
// *_ieeg.json or *_eeg.json.
nlohmann::ordered_json RecordingDescription(const BidsRequest& request, const std::string& task,
                                            const BidsRecording& recording);

// The file's first sample instant in ISO 8601 to the microsecond, for the scans table.
std::string AcquisitionTime(const OutputFileSummary& file);

// A figure in the shortest decimal form that gives it back (2000, 0.5, 1234.5678).
std::string DecimalText(double value);
