#include "tests/support/RecordingBuilder.h"

#include <algorithm>
#include <fstream>

namespace RecordingBuilder {
namespace {

constexpr size_t headerBytes = 16384;
constexpr size_t cscRecordBytes = 1044;
constexpr size_t eventRecordBytes = 184;
constexpr size_t samplesPerRecord = 512;

void PutLittleEndian(std::vector<unsigned char>& bytes, size_t offset, uint64_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
}

void Append(std::ofstream& out, const std::vector<unsigned char>& bytes)
{
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

std::vector<std::string> ChannelHeader(const Channel& channel)
{
    return {
        "######## Acquisition File Header",
        "-FileType CSC",
        "-SessionUUID " + channel.sessionUuid,
        "-TimeCreated " + channel.timeCreated,
        "-AcqEntName " + channel.name,
        "-SamplingFrequency " + channel.samplingFrequency,
        "-ADMaxValue " + channel.adMaxValue,
        "-InputRange " + channel.inputRange,
    };
}

std::vector<CscRecord> ContinuousRecords(uint64_t firstTimestamp, int frequency, size_t sampleCount, int16_t firstValue)
{
    std::vector<CscRecord> records;
    for (size_t first = 0; first < sampleCount; first += samplesPerRecord) {
        CscRecord record;
        record.timestamp = firstTimestamp + first * 1000000 / static_cast<uint64_t>(frequency);
        record.validSamples = static_cast<uint32_t>(std::min(samplesPerRecord, sampleCount - first));
        for (uint32_t i = 0; i < record.validSamples; ++i)
            record.samples.push_back(static_cast<int16_t>(firstValue + static_cast<int>(first + i)));
        records.push_back(record);
    }
    return records;
}

std::vector<unsigned char> HeaderBlock(const std::vector<std::string>& lines)
{
    std::vector<unsigned char> block(headerBytes, 0);
    size_t offset = 0;
    for (const std::string& line : lines) {
        for (const char c : line + "\n") {
            if (offset < headerBytes)
                block[offset++] = static_cast<unsigned char>(c);
        }
    }
    return block;
}

void WriteCscFile(const std::filesystem::path& path, const std::vector<std::string>& headerLines,
                  const std::vector<CscRecord>& records)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    Append(out, HeaderBlock(headerLines));
    for (const CscRecord& record : records) {
        std::vector<unsigned char> bytes(cscRecordBytes, 0);
        PutLittleEndian(bytes, 0, record.timestamp, 8);
        PutLittleEndian(bytes, 16, record.validSamples, 4);
        for (size_t i = 0; i < record.samples.size() && i < samplesPerRecord; ++i)
            PutLittleEndian(bytes, 20 + 2 * i, static_cast<uint16_t>(record.samples[i]), 2);
        Append(out, bytes);
    }
}

void WriteEventFile(const std::filesystem::path& path, const std::vector<std::string>& headerLines,
                    const std::vector<EventRecord>& events)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    Append(out, HeaderBlock(headerLines));
    for (const EventRecord& event : events) {
        std::vector<unsigned char> bytes(eventRecordBytes, 0);
        PutLittleEndian(bytes, 6, event.timestamp, 8);
        for (size_t i = 0; i < event.text.size() && i < 128; ++i)
            bytes[56 + i] = static_cast<unsigned char>(event.text[i]);
        Append(out, bytes);
    }
}

}  // namespace RecordingBuilder
