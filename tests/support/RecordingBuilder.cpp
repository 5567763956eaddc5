#include "tests/support/RecordingBuilder.h"

#include <algorithm>

#include "synth/SynthRecords.h"
#include "tests/support/TempDir.h"

namespace RecordingBuilder {
namespace {

constexpr size_t samplesPerRecord = VareloSynth::cscSamplesPerRecord;

}  // namespace

std::vector<std::string> ChannelHeader(const Channel& channel)
{
    return {
        "######## Acquisition File Header",    "-FileType CSC",
        "-SessionUUID " + channel.sessionUuid, "-TimeCreated " + channel.timeCreated,
        "-AcqEntName " + channel.name,         "-SamplingFrequency " + channel.samplingFrequency,
        "-ADMaxValue " + channel.adMaxValue,   "-InputRange " + channel.inputRange,
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
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    text.resize(std::min(text.size(), VareloSynth::headerBlockBytes));  // what does not fit is cut
    std::vector<unsigned char> block;
    (void)VareloSynth::AppendHeaderBlock(block, {text}, "");
    return block;
}

void WriteCscFile(const std::filesystem::path& path, const std::vector<std::string>& headerLines,
                  const std::vector<CscRecord>& records)
{
    std::vector<unsigned char> bytes = HeaderBlock(headerLines);
    for (const CscRecord& record : records) {
        VareloSynth::CscRecordFields fields;
        fields.timestampUs = record.timestamp;
        fields.validSampleCount = record.validSamples;
        fields.samples = record.samples;
        VareloSynth::AppendCscRecord(bytes, fields);
    }
    WriteFileBytes(path, bytes);
}

void WriteEventFile(const std::filesystem::path& path, const std::vector<std::string>& headerLines,
                    const std::vector<EventRecord>& events)
{
    std::vector<unsigned char> bytes = HeaderBlock(headerLines);
    for (const EventRecord& event : events) {
        VareloSynth::EventRecordFields fields;
        fields.packetId = 0;
        fields.packetDataSize = 0;
        fields.timestampUs = event.timestamp;
        fields.text = event.text;
        VareloSynth::AppendEventRecord(bytes, fields);
    }
    WriteFileBytes(path, bytes);
}

}  // namespace RecordingBuilder
