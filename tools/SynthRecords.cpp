#include "tools/SynthRecords.h"

#include <algorithm>
#include <cstring>

namespace VareloSynth {

bool AppendHeaderBlock(std::vector<unsigned char>& out, const std::vector<std::string>& lines, std::string_view lineEnd)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += lineEnd;
    }
    if (text.size() > headerBlockBytes)
        return false;
    const size_t start = out.size();
    out.resize(start + headerBlockBytes, 0);
    std::memcpy(out.data() + start, text.data(), text.size());
    return true;
}

// CSC record: timestamp u64 @0, channel number u32 @8, sampling frequency u32 @12,
// valid sample count u32 @16, 512 samples s16 @20; 1,044 bytes.
void PutCscRecord(unsigned char* at, const CscRecordFields& record)
{
    PutLittleEndian64(at, record.timestampUs);
    PutLittleEndian32(at + 8, record.channelNumber);
    PutLittleEndian32(at + 12, record.sampleFrequencyHz);
    PutLittleEndian32(at + 16, record.validSampleCount);
    const size_t given = std::min<size_t>(record.samples.size(), cscSamplesPerRecord);
    for (size_t i = 0; i < cscSamplesPerRecord; ++i) {
        const int16_t sample = i < given ? record.samples[i] : 0;
        PutLittleEndian16(at + 20 + 2 * i, static_cast<uint16_t>(sample));
    }
}

// Event record: reserved s16 @0, packet id s16 @2, packet data size s16 @4, timestamp u64 @6,
// event id s16 @14, TTL value s16 @16, CRC s16 @18, two reserved s16 @20 and @22,
// 8 extra values s32 @24, text of 128 bytes @56; 184 bytes.
void PutEventRecord(unsigned char* at, const EventRecordFields& record)
{
    std::memset(at, 0, eventRecordBytes);
    PutLittleEndian16(at + 2, static_cast<uint16_t>(record.packetId));
    PutLittleEndian16(at + 4, static_cast<uint16_t>(record.packetDataSize));
    PutLittleEndian64(at + 6, record.timestampUs);
    PutLittleEndian16(at + 14, static_cast<uint16_t>(record.eventId));
    PutLittleEndian16(at + 16, static_cast<uint16_t>(record.ttlValue));
    PutLittleEndian16(at + 18, static_cast<uint16_t>(record.crc));
    for (size_t i = 0; i < record.extra.size(); ++i)
        PutLittleEndian32(at + 24 + 4 * i, static_cast<uint32_t>(record.extra[i]));
    std::memcpy(at + 56, record.text.data(), std::min(record.text.size(), eventTextBytes));
}

void AppendCscRecord(std::vector<unsigned char>& out, const CscRecordFields& record)
{
    const size_t start = out.size();
    out.resize(start + cscRecordBytes);
    PutCscRecord(out.data() + start, record);
}

void AppendEventRecord(std::vector<unsigned char>& out, const EventRecordFields& record)
{
    const size_t start = out.size();
    out.resize(start + eventRecordBytes);
    PutEventRecord(out.data() + start, record);
}

}  // namespace VareloSynth
