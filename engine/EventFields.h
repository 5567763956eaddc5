#pragma once

#include <cstdint>
#include <cstring>
#include <string>

// Fields of an event record, read from its bytes (the timestamp is unaligned, the text may fill
// its 128 bytes without a NUL).
namespace EventFields {

constexpr size_t recordBytes = 184;
constexpr size_t timestampOffset = 6;
constexpr size_t textOffset = 56;
constexpr size_t textBytes = 128;

inline uint64_t Timestamp(const unsigned char* record)
{
    uint64_t timestamp = 0;  // µs, acquisition clock
    std::memcpy(&timestamp, record + timestampOffset, sizeof(timestamp));
    return timestamp;
}

// ISO 8859-1 text up to its NUL, never past its 128 bytes.
inline std::string Text(const unsigned char* record)
{
    const char* text = reinterpret_cast<const char*>(record + textOffset);
    return std::string(text, strnlen(text, textBytes));
}

// Onset of an annotation in units of 100 µs from the first sample instant of its file.
inline int64_t AnnotationOnset(uint64_t timestamp, uint64_t segmentStart)
{
    return static_cast<int64_t>((timestamp - segmentStart) / 100);
}

}  // namespace EventFields
