// Moves the channels' samples, aligned in time, into EDF data records: one output file per
// gap-free segment, each with "Recording starts", its events and "Recording ends".
#include <algorithm>
#include <array>

#include "engine/EventFields.h"
#include "engine/OrvToEDF.h"
#include "logging/TextConversion.h"

namespace {

constexpr double gapFactor = 1.5;  // instants further apart than 1.5 sample intervals leave a gap
constexpr int latestYearOfUnsetClock = 2010;  // timestamps up to this year are not wall-clock time
constexpr int64_t microsecondsPerSecond = 1000000;

}  // namespace

// Records without a valid sample hold no sample instant and are passed over. Runs for every
// sample of every channel, so it is inlined into the transfer loop.
[[gnu::always_inline]] inline OrvToEDF::SampleResult OrvToEDF::ReadNextSample(Velquor::OrvFileIO& reader, ChannelCursor& cursor, int handle,
                                                short& sample, uint64_t& timestamp, const uint64_t* sampleOffsetsUs)
{
    for (;;) {
        if (cursor.recordCount < 0 || cursor.recordIndex >= static_cast<uint32_t>(cursor.recordCount))
            return ChannelEnded;
        void* data = nullptr;
        int count = 0;
        if (reader.GetDataFromIndex(handle, static_cast<int>(cursor.recordIndex), data, count) != OrvDataTypes::OrvSuccess) {
            (void)ReaderFailure(reader);
            return SampleFailed;
        }
        if (data == nullptr || count < 1)
            return ChannelEnded;  // nothing more to read; never loop on an empty batch
        const auto* record = static_cast<const Velquor::CSCRecord*>(data);
        const uint32_t claimedSamples = record->numValidSamples;
        const uint32_t validSamples = std::min<uint32_t>(claimedSamples, Velquor::orvSamplesPerCscRecord);
        if (cursor.sampleIndex >= validSamples) {
            ++cursor.recordIndex;
            cursor.sampleIndex = 0;
            continue;
        }
        sample = record->samples[cursor.sampleIndex];
        timestamp = record->timestamp + sampleOffsetsUs[cursor.sampleIndex];
        if (++cursor.sampleIndex >= validSamples) {
            ++cursor.recordIndex;
            cursor.sampleIndex = 0;
        }
        return SampleRead;
    }
}

struct OrvToEDF::TransferState {
    // One channel's read position and the last sample read from it.
    struct Channel {
        ChannelCursor cursor;
        int handle = -1;
        short sample = 0;
        uint64_t timestamp = 0;  // µs, of that sample
    };

    EDFPlusFileWriter& writer;
    Velquor::OrvFileIO& reader;
    const std::vector<int>& handles;
    int eventHandle;
    std::vector<Channel> channels;
    std::vector<short> recordBuffer;  // channel-major: samplesPerRecord entries per channel
    uint32_t fillIndex = 0;           // sample instants stored in recordBuffer
    int samplesPerRecord = 0;
    double sampleIntervalUs = 0;
    // µs after its record's timestamp of the sample at each index: the truncated product of the
    // index and sampleIntervalUs, worked out once instead of for every sample.
    std::array<uint64_t, Velquor::orvSamplesPerCscRecord> sampleOffsetsUs{};
    uint64_t segmentStart = 0;   // µs, first sample instant of the open file
    uint64_t lastTimestamp = 0;  // µs, last sample instant stored; 0 while none is

    SampleResult ReadChannel(OrvToEDF& engine, Channel& channel)
    {
        return engine.ReadNextSample(reader, channel.cursor, channel.handle, channel.sample, channel.timestamp,
                                     sampleOffsetsUs.data());
    }
};

int OrvToEDF::TransferSamples(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                              int sampleFrequency, int eventHandle)
{
    if (handles.empty())
        return 0;
    TransferState state{writer, reader, handles, eventHandle, {}, {}, 0, 0, 0, {}, 0, 0};
    if (StartEDFFile(writer, handles, state.samplesPerRecord) != 0)
        return -1;
    std::vector<ChannelCursor> cursors(handles.size());
    if (GetRecordCounts(reader, handles, cursors) != 0)
        return -1;
    state.channels.resize(handles.size());
    for (size_t c = 0; c < handles.size(); ++c) {
        state.channels[c].cursor = cursors[c];
        state.channels[c].handle = handles[c];
    }
    state.recordBuffer.assign(handles.size() * static_cast<size_t>(state.samplesPerRecord), 0);
    state.sampleIntervalUs = 1000000.0 / static_cast<double>(sampleFrequency);
    for (size_t i = 0; i < state.sampleOffsetsUs.size(); ++i)
        state.sampleOffsetsUs[i] = static_cast<uint64_t>(static_cast<double>(i) * state.sampleIntervalUs);

    for (;;) {
        const SampleResult result = ReadInstant(state);
        if (result == SampleFailed)
            return -1;
        if (result == ChannelEnded)
            break;
        if (StoreInstant(state) != 0)
            return -1;
    }
    if (FinishEDFFile(writer, state.fillIndex, state.recordBuffer, reader, eventHandle, state.segmentStart,
                      state.lastTimestamp) != 0)
        return -1;
    if (progressHandler)
        progressHandler(1.0);
    return 0;
}

// Reads the next sample of every channel, then drops samples until all channels agree in time.
OrvToEDF::SampleResult OrvToEDF::ReadInstant(TransferState& state)
{
    bool aligned = true;
    const uint64_t* firstTimestamp = &state.channels.front().timestamp;
    for (TransferState::Channel& channel : state.channels) {
        const SampleResult result = state.ReadChannel(*this, channel);
        if (result != SampleRead)
            return result;
        aligned = aligned && channel.timestamp == *firstTimestamp;
    }
    return aligned ? SampleRead : AlignChannels(state);
}

OrvToEDF::SampleResult OrvToEDF::AlignChannels(TransferState& state)
{
    std::vector<TransferState::Channel>& channels = state.channels;
    for (;;) {
        const uint64_t first = channels.front().timestamp;
        const auto differing = std::find_if(channels.begin() + 1, channels.end(),
                                            [first](const TransferState::Channel& c) { return c.timestamp != first; });
        if (differing == channels.end())
            return SampleRead;
        TransferState::Channel& lagging = first < differing->timestamp ? channels.front() : *differing;
        const SampleResult result = state.ReadChannel(*this, lagging);
        if (result != SampleRead)
            return result;
    }
}

// Starts a file at the first instant and at every gap, then stores the instant and writes the
// data record that it completes.
int OrvToEDF::StoreInstant(TransferState& state)
{
    const uint64_t t = state.channels.front().timestamp;
    if (state.lastTimestamp == 0) {
        state.segmentStart = t;
        if (SetStartDateFromTimestamp(state.writer, t) != 0)
            return -1;
    } else if (static_cast<double>(t - state.lastTimestamp) > gapFactor * state.sampleIntervalUs) {
        // unsigned, so a step back in time also ends the segment
        if (FinishEDFFile(state.writer, state.fillIndex, state.recordBuffer, state.reader, state.eventHandle,
                          state.segmentStart, state.lastTimestamp) != 0)
            return -1;
        state.segmentStart = t;
        if (StartEDFFile(state.writer, state.handles, state.samplesPerRecord) != 0
            || SetStartDateFromTimestamp(state.writer, t) != 0)
            return -1;
    }
    state.lastTimestamp = t;
    const auto samplesPerRecord = static_cast<size_t>(state.samplesPerRecord);
    short* slot = state.recordBuffer.data() + state.fillIndex;
    for (const TransferState::Channel& channel : state.channels) {
        *slot = channel.sample;
        slot += samplesPerRecord;
    }
    if (++state.fillIndex < samplesPerRecord)
        return 0;
    if (state.writer.WriteDataRecord(state.recordBuffer) != 0)
        return -1;
    std::fill(state.recordBuffer.begin(), state.recordBuffer.end(), short{0});
    state.fillIndex = 0;
    ReportProgress(state.channels.front().cursor);
    return 0;
}

int OrvToEDF::StartEDFFile(EDFPlusFileWriter& writer, const std::vector<int>& handles, int& samplesPerRecord)
{
    if (writer.OpenFile(outputFileName, static_cast<int>(handles.size())) != 0
        || SetSignalParameters(writer, samplesPerRecord) != 0 || writer.WriteAnnotation(0, "Recording starts") != 0)
        return -1;
    return 0;
}

int OrvToEDF::SetSignalParameters(EDFPlusFileWriter& writer, int& samplesPerRecord)
{
    if (writer.SetSampleFrequency(sampleFrequency, samplesPerRecord) != 0)
        return -1;
    for (size_t i = 0; i < inputRanges.size(); ++i) {
        const auto range = static_cast<int64_t>(inputRanges[i]);  // 64-bit, so that negating cannot overflow
        if (writer.SetPhysicalRange(static_cast<int>(i), static_cast<double>(-range), static_cast<double>(range)) != 0)
            return -1;
    }
    for (size_t i = 0; i < adMaxValues.size(); ++i) {
        if (writer.SetDigitalRange(static_cast<int>(i), ~adMaxValues[i], adMaxValues[i]) != 0)
            return -1;
    }
    for (size_t i = 0; i < channelNames.size(); ++i) {
        std::string label;
        (void)OrvText::WideToLatin1(channelNames[i], label);  // a name that cannot be converted gives an empty label
        if (writer.SetLabel(static_cast<int>(i), label) != 0)
            return -1;
    }
    return 0;
}

int OrvToEDF::GetRecordCounts(Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                              std::vector<ChannelCursor>& cursors)
{
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        int count = 0;
        if (reader.GetNumRecordsInFile(handles[channel], count) != OrvDataTypes::OrvSuccess)
            return ReaderFailure(reader);
        cursors[channel].recordCount = count;
    }
    return 0;
}

int OrvToEDF::SetStartDateFromTimestamp(EDFPlusFileWriter& writer, uint64_t timestamp)
{
    const time_t seconds = static_cast<time_t>(static_cast<int64_t>(timestamp) / microsecondsPerSecond);
    tm utc{};
    if (gmtime_r(&seconds, &utc) != nullptr && utc.tm_year > latestYearOfUnsetClock - 1900) {
        utc.tm_year += 1900;
        utc.tm_mon += 1;
        return writer.SetStartDate(utc);
    }
    return writer.SetStartDate(recordingStartTime);
}

int OrvToEDF::FinishEDFFile(EDFPlusFileWriter& writer, uint32_t& fillIndex, std::vector<short>& recordBuffer,
                            Velquor::OrvFileIO& reader, int eventHandle, uint64_t segmentStart, uint64_t segmentEnd)
{
    if (fillIndex > 0) {
        // the entries after fillIndex are still 0: the last record is completed with zeros
        if (writer.WriteDataRecord(recordBuffer) != 0)
            return -1;
        std::fill(recordBuffer.begin(), recordBuffer.end(), short{0});
        fillIndex = 0;
    }
    if (WriteEventAnnotations(writer, reader, eventHandle, segmentStart, segmentEnd) != 0
        || writer.WriteAnnotation(EventFields::AnnotationOnset(segmentEnd, segmentStart), "Recording ends") != 0)
        return -1;
    return writer.CloseFile();
}

void OrvToEDF::ReportProgress(const ChannelCursor& cursor)
{
    if (progressHandler && cursor.recordCount > 0)
        progressHandler(static_cast<double>(cursor.recordIndex) / static_cast<double>(cursor.recordCount));
}
