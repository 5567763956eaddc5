#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The on-disk layout of acquisition files, described once for everything that reads or writes
// them (the reader, the engine, the recording generator and the tests). Every number is
// little-endian. A file is a header block of 8-bit text, then records without a gap: CSC records
// in a channel file (".ocs"), event records in an event file (".oev").
namespace Velquor {

constexpr size_t orvHeaderBytes = 16384;
constexpr int orvSamplesPerCscRecord = 512;
constexpr size_t orvEventTextBytes = 128;

// A CSC record exactly as it lies in the file. The reader hands out pointers to such records
// only after checking the valid count.
#pragma pack(push, 1)
struct CSCRecord {
    uint64_t timestamp;  // µs, acquisition clock, of the first sample
    uint32_t channelNumber;
    uint32_t sampleFrequency;                 // Hz, of this record
    uint32_t numValidSamples;                 // 0 to 512; a larger count marks a corrupt record
    int16_t samples[orvSamplesPerCscRecord];  // entries at and after the valid count are unused
};

// An event record exactly as it lies in the file; its timestamp is not 8-byte aligned, so it is
// read from the bytes (EventTimestamp) rather than through the struct.
struct EventRecord {
    int16_t reserved;
    int16_t packetId;
    int16_t packetDataSize;
    uint64_t timestamp;  // µs, acquisition clock
    int16_t eventId;
    int16_t ttlValue;
    int16_t crc;
    int16_t reserved2;
    int16_t reserved3;
    int32_t extra[8];
    char eventText[orvEventTextBytes];  // NUL-terminated unless it fills all 128 bytes
};
#pragma pack(pop)

static_assert(sizeof(CSCRecord) == 1044);
static_assert(offsetof(CSCRecord, timestamp) == 0);
static_assert(offsetof(CSCRecord, channelNumber) == 8);
static_assert(offsetof(CSCRecord, sampleFrequency) == 12);
static_assert(offsetof(CSCRecord, numValidSamples) == 16);
static_assert(offsetof(CSCRecord, samples) == 20);

static_assert(sizeof(EventRecord) == 184);
static_assert(offsetof(EventRecord, packetId) == 2);
static_assert(offsetof(EventRecord, packetDataSize) == 4);
static_assert(offsetof(EventRecord, timestamp) == 6);
static_assert(offsetof(EventRecord, eventId) == 14);
static_assert(offsetof(EventRecord, ttlValue) == 16);
static_assert(offsetof(EventRecord, crc) == 18);
static_assert(offsetof(EventRecord, extra) == 24);
static_assert(offsetof(EventRecord, eventText) == 56);

// Reading fields from a record's bytes (which need not be aligned).

inline uint64_t EventTimestamp(const unsigned char* record)
{
    uint64_t timestamp = 0;  // µs, acquisition clock
    std::memcpy(&timestamp, record + offsetof(EventRecord, timestamp), sizeof timestamp);
    return timestamp;
}

// ISO 8859-1 text up to its NUL, never past its 128 bytes.
inline std::string_view EventText(const unsigned char* record)
{
    const char* text = reinterpret_cast<const char*>(record + offsetof(EventRecord, eventText));
    return {text, strnlen(text, orvEventTextBytes)};
}

inline uint32_t CscValidSampleCount(const unsigned char* record)
{
    uint32_t count = 0;
    std::memcpy(&count, record + offsetof(CSCRecord, numValidSamples), sizeof count);
    return count;
}

}  // namespace Velquor
