#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reader/OrvRecords.h"

// The encoder of acquisition files: a header block and CSC and event records, built field by
// field in little-endian order at the offsets of the record layouts. The generator writes its
// recordings with it, and tests use it to build files of any shape, hostile ones included.
namespace VareloSynth {

constexpr size_t headerBlockBytes = Velquor::orvHeaderBytes;
constexpr size_t cscRecordBytes = sizeof(Velquor::CSCRecord);
constexpr uint32_t cscSamplesPerRecord = Velquor::orvSamplesPerCscRecord;
constexpr size_t eventRecordBytes = sizeof(Velquor::EventRecord);
constexpr size_t eventTextBytes = Velquor::orvEventTextBytes;

struct CscRecordFields {
    uint64_t timestampUs = 0;  // of the first sample
    uint32_t channelNumber = 0;
    uint32_t sampleFrequencyHz = 0;
    uint32_t validSampleCount = 0;     // written as given, also when it claims more than 512
    std::span<const int16_t> samples;  // the first 512 fill the sample slots, missing ones are 0
};

struct EventRecordFields {
    int16_t packetId = 4098;
    int16_t packetDataSize = 2;
    uint64_t timestampUs = 0;
    int16_t eventId = 0;
    int16_t ttlValue = 0;
    int16_t crc = 0;
    std::array<int32_t, 8> extra{};
    std::string text;  // 8-bit; cut to 128 bytes; a text of 128 bytes or more leaves no NUL
};

// Appends a 16,384-byte header block: each line followed by `lineEnd`, then NUL bytes to the end
// of the block. A text of exactly 16,384 bytes fills the block and has no NUL. false, with
// nothing appended, when the text is longer than the block.
bool AppendHeaderBlock(std::vector<unsigned char>& out, const std::vector<std::string>& lines,
                       std::string_view lineEnd = "\r\n");

// Write exactly cscRecordBytes / eventRecordBytes at `at`.
void PutCscRecord(unsigned char* at, const CscRecordFields& record);
void PutEventRecord(unsigned char* at, const EventRecordFields& record);

void AppendCscRecord(std::vector<unsigned char>& out, const CscRecordFields& record);
void AppendEventRecord(std::vector<unsigned char>& out, const EventRecordFields& record);

inline void PutLittleEndian16(unsigned char* at, uint16_t value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

inline void PutLittleEndian32(unsigned char* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

inline void PutLittleEndian64(unsigned char* at, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace VareloSynth
