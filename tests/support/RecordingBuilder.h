#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Acquisition files for tests, written with the generator's encoder:
// a 16,384-byte header block of text lines, then 1,044-byte CSC or 184-byte event records.
namespace RecordingBuilder {

struct CscRecord {
    uint64_t timestamp = 0;  // µs, of the first sample
    uint32_t validSamples = 0;
    std::vector<int16_t> samples;  // up to 512; the rest of the record is zeros
};

struct EventRecord {
    uint64_t timestamp = 0;  // µs
    std::string text;        // up to 128 bytes; exactly 128 leaves no NUL
};

struct Channel {
    std::string name = "CSC1";
    std::string sessionUuid = "3a1f3c66-8b0e-4b7e-9d3c-2f5b7c1d0e42";
    std::string samplingFrequency = "1000";
    std::string adMaxValue = "32767";
    std::string inputRange = "1000";
    std::string timeCreated = "2017/07/03 10:22:33";
};

// The header lines of a CSC file for the channel's values.
std::vector<std::string> ChannelHeader(const Channel& channel);

// Full records of 512 samples from firstTimestamp at the given frequency, then one partial record,
// holding sampleCount samples in all; the samples are firstValue, firstValue + 1, ...
std::vector<CscRecord> ContinuousRecords(uint64_t firstTimestamp, int frequency, size_t sampleCount,
                                         int16_t firstValue);

void WriteCscFile(const std::filesystem::path& path, const std::vector<std::string>& headerLines,
                  const std::vector<CscRecord>& records);
void WriteEventFile(const std::filesystem::path& path, const std::vector<std::string>& headerLines,
                    const std::vector<EventRecord>& events);

// Header block text: the lines joined with LF, padded with NUL bytes to 16,384 bytes.
std::vector<unsigned char> HeaderBlock(const std::vector<std::string>& lines);

}  // namespace RecordingBuilder
