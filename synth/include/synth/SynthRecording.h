#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Writes a synthetic recording directory: one CSC file "<name>.ocs" per channel and an event file
// "Events.oev", laid out as the acquisition system writes them, with a signal of sines and noise
// that depends only on the seed. Timestamps advance like the acquisition clock: record k starts
// at firstTimestampUs + floor(k * 512 * 1,000,000 / samplingFrequencyHz), plus the lengths of
// the gaps before it and the channel's start offset; the last record may be partial.
namespace VareloSynth {

// From record `beforeRecord` on, the timestamps of every channel are `lengthUs` later.
struct SynthGap {
    uint64_t beforeRecord = 0;
    uint64_t lengthUs = 0;
};

struct SynthEvent {
    uint64_t timestampUs = 0;  // acquisition clock
    std::string text;          // 8-bit; 128 bytes or more fill the text field without a NUL
};

// One channel. Everything below the name is there to make test conditions.
struct SynthChannel {
    std::string name;            // UTF-8, ISO 8859-1 characters only; empty: "CSC" and the channel number from 1
    uint64_t startOffsetUs = 0;  // added to every timestamp of the channel

    std::optional<std::string> sessionUuid;  // instead of the recording's
    std::optional<int> samplingFrequencyHz;  // header and record field only; timing stays the recording's
    // Sampled at this rate instead of the recording's: as long, with timestamps at its own rate
    // and each gap before its first record that starts at or after the gap's place.
    std::optional<int> rateHz;
    std::optional<int> adMaxValue;        // header value, and the limit of the samples
    std::optional<int> headerAdMaxValue;  // header value only: the samples may then lie beyond it
    std::optional<int> inputRangeUv;
    std::vector<std::string> omittedKeys;       // header keys left out, e.g. "-InputRange"
    std::vector<std::string> extraHeaderLines;  // appended after the usual header lines
    uint64_t missingTailRecords = 0;            // records left out at the end
    std::optional<uint64_t> corruptRecord;      // this record claims corruptValidCount valid samples
    uint32_t corruptValidCount = 513;
    uint32_t truncatedTailBytes = 0;  // 1 to 1,043: that many bytes of one more record end the file
};

struct SynthOptions {
    std::filesystem::path directory;  // created when missing
    std::vector<SynthChannel> channels = std::vector<SynthChannel>(4);
    int samplingFrequencyHz = 32000;
    uint64_t samplesPerChannel = 320000;
    uint64_t firstTimestampUs = 12000000;  // acquisition clock
    std::vector<SynthGap> gaps;
    uint32_t spreadGapCount = 0;  // more gaps of spreadGapUs each, at evenly spaced records
    uint64_t spreadGapUs = 0;
    int adMaxValue = 32767;
    int inputRangeUv = 1000;
    std::string sessionUuid;                          // empty: drawn from the seed
    std::string timeCreated = "2017/07/03 10:22:33";  // -TimeCreated: YYYY/MM/DD hh:mm:ss
    uint64_t seed = 1;
    // The corner frequencies (Hz, as written) of the acquisition's high-pass and low-pass
    // filters, written with their flags True; empty: the header has no filter keys.
    std::string lowCutHz;
    std::string highCutHz;

    bool writeEventFile = true;
    std::string eventFileName = "Events.oev";
    bool startEvent = true;          // "Starting Recording" at firstTimestampUs, the file's first event
    uint32_t spreadEventCount = 0;   // TTL events at evenly spaced samples of the recording
    std::vector<SynthEvent> events;  // more events; all but the start event go in time order
};

// Largest samplesPerChannel: the reader counts records in an int.
constexpr uint64_t maxSynthSamplesPerChannel = 512ull * 2147483647ull;

// Writes the recording. Refuses, before anything is written, when any of its files exists.
// 0 on success; -1 with `error` saying what went wrong.
int WriteSynthRecording(const SynthOptions& options, std::string& error);

// The session UUID drawn from a seed, e.g. "1b4e28ba-2fa1-4d2f-883f-0016d3cca427".
std::string SessionUuidFromSeed(uint64_t seed);

}  // namespace VareloSynth
