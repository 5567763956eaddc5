#include "synth/SynthRecords.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace VareloSynth {

using Velquor::CSCRecord;
using Velquor::EventRecord;

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

void PutCscRecord(unsigned char* at, const CscRecordFields& record)
{
    PutLittleEndian64(at + offsetof(CSCRecord, timestamp), record.timestampUs);
    PutLittleEndian32(at + offsetof(CSCRecord, channelNumber), record.channelNumber);
    PutLittleEndian32(at + offsetof(CSCRecord, sampleFrequency), record.sampleFrequencyHz);
    PutLittleEndian32(at + offsetof(CSCRecord, numValidSamples), record.validSampleCount);
    const size_t given = std::min<size_t>(record.samples.size(), cscSamplesPerRecord);
    unsigned char* samples = at + offsetof(CSCRecord, samples);
    for (size_t i = 0; i < cscSamplesPerRecord; ++i) {
        const int16_t sample = i < given ? record.samples[i] : 0;
        PutLittleEndian16(samples + 2 * i, static_cast<uint16_t>(sample));
    }
}

void PutEventRecord(unsigned char* at, const EventRecordFields& record)
{
    std::memset(at, 0, eventRecordBytes);  // the reserved fields stay 0
    PutLittleEndian16(at + offsetof(EventRecord, packetId), static_cast<uint16_t>(record.packetId));
    PutLittleEndian16(at + offsetof(EventRecord, packetDataSize), static_cast<uint16_t>(record.packetDataSize));
    PutLittleEndian64(at + offsetof(EventRecord, timestamp), record.timestampUs);
    PutLittleEndian16(at + offsetof(EventRecord, eventId), static_cast<uint16_t>(record.eventId));
    PutLittleEndian16(at + offsetof(EventRecord, ttlValue), static_cast<uint16_t>(record.ttlValue));
    PutLittleEndian16(at + offsetof(EventRecord, crc), static_cast<uint16_t>(record.crc));
    for (size_t i = 0; i < record.extra.size(); ++i)
        PutLittleEndian32(at + offsetof(EventRecord, extra) + 4 * i, static_cast<uint32_t>(record.extra[i]));
    // a text of 128 bytes or more fills the field and leaves no NUL, as the layout allows
    std::copy_n(record.text.data(), std::min(record.text.size(), eventTextBytes),
                at + offsetof(EventRecord, eventText));
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
