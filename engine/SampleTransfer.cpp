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

// Copies `run` samples from `first` on of one record into `out`, asking the reader for the
// record once for every sample, and gives the record (null when the reader failed). Kept out of
// line so that the copy loop has the registers to itself.
[[gnu::noinline]] const Velquor::CSCRecord* CopyRecordSamples(Velquor::OrvFileIO& reader, int handle, int recordIndex,
                                                             uint32_t first, uint32_t run, short* out)
{
    const Velquor::CSCRecord* record = nullptr;
    for (uint32_t j = 0; j < run; ++j) {
        void* data = nullptr;
        int count = 0;
        if (reader.GetDataFromIndex(handle, recordIndex, data, count) != OrvDataTypes::OrvSuccess)
            return nullptr;
        record = static_cast<const Velquor::CSCRecord*>(data);
        out[j] = record->samples[first + j];
    }
    return record;
}

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
        uint64_t nextRecordTimestamp = 0;  // µs, of the record that holds the next sample (runs only)
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
        const uint32_t run = AlignedRunLength(state);
        if (run > 0) {
            if (StoreRun(state, run) != 0)
                return -1;
            continue;
        }
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

// The instants from here on that the sample-by-sample steps would store one after the other
// without dropping a sample or starting a file: every channel's next samples, up to the end of
// the shortest of their records, show one timestamp at each instant. The run also ends where the
// record buffer fills and before any step that a gap would start. 0 when no run applies here.
uint32_t OrvToEDF::AlignedRunLength(TransferState& state)
{
    if (state.lastTimestamp == 0)
        return 0;  // the first instant starts the file
    uint32_t run = static_cast<uint32_t>(state.samplesPerRecord) - state.fillIndex;
    bool evenlyPlaced = true;  // every channel at one sample index of records with one timestamp
    for (TransferState::Channel& channel : state.channels) {
        const ChannelCursor& cursor = channel.cursor;
        if (cursor.recordCount < 0 || cursor.recordIndex >= static_cast<uint32_t>(cursor.recordCount))
            return 0;
        void* data = nullptr;
        int count = 0;
        if (state.reader.GetDataFromIndex(channel.handle, static_cast<int>(cursor.recordIndex), data, count)
                != OrvDataTypes::OrvSuccess
            || data == nullptr || count < 1)
            return 0;  // the sample-by-sample steps report it
        const auto* record = static_cast<const Velquor::CSCRecord*>(data);
        const uint32_t claimedSamples = record->numValidSamples;
        const uint32_t validSamples = std::min<uint32_t>(claimedSamples, Velquor::orvSamplesPerCscRecord);
        if (validSamples <= cursor.sampleIndex)
            return 0;
        channel.nextRecordTimestamp = record->timestamp;
        const TransferState::Channel& first = state.channels.front();
        evenlyPlaced = evenlyPlaced && cursor.sampleIndex == first.cursor.sampleIndex
                       && channel.nextRecordTimestamp == first.nextRecordTimestamp;
        run = std::min(run, validSamples - cursor.sampleIndex);
    }
    if (!evenlyPlaced)
        run = InstantsInAgreement(state, run);
    const TransferState::Channel& first = state.channels.front();
    const double largestStep = gapFactor * state.sampleIntervalUs;
    uint64_t previous = state.lastTimestamp;
    for (uint32_t j = 0; j < run; ++j) {
        const uint64_t instant = first.nextRecordTimestamp + state.sampleOffsetsUs[first.cursor.sampleIndex + j];
        if (static_cast<double>(instant - previous) > largestStep)
            return j;
        previous = instant;
    }
    return run;
}

// Channels that started at other sample indexes still agree in time where their samples'
// offsets in the record line up (the sample interval is truncated to whole microseconds, so
// whether they do depends on the indexes): the first `run` instants, at most, at which the next
// samples of all channels show one timestamp.
uint32_t OrvToEDF::InstantsInAgreement(const TransferState& state, uint32_t run)
{
    const TransferState::Channel& first = state.channels.front();
    for (uint32_t j = 0; j < run; ++j) {
        const uint64_t instant = first.nextRecordTimestamp + state.sampleOffsetsUs[first.cursor.sampleIndex + j];
        for (const TransferState::Channel& channel : state.channels) {
            if (channel.nextRecordTimestamp + state.sampleOffsetsUs[channel.cursor.sampleIndex + j] != instant)
                return j;
        }
    }
    return run;
}

// Stores `run` instants found by AlignedRunLength, channel by channel, asking the reader for the
// record once for every sample taken, like the sample-by-sample steps.
int OrvToEDF::StoreRun(TransferState& state, uint32_t run)
{
    const auto samplesPerRecord = static_cast<size_t>(state.samplesPerRecord);
    uint64_t lastInstant = 0;
    for (size_t c = 0; c < state.channels.size(); ++c) {
        TransferState::Channel& channel = state.channels[c];
        const uint32_t sampleIndex = channel.cursor.sampleIndex;
        short* out = state.recordBuffer.data() + c * samplesPerRecord + state.fillIndex;
        const Velquor::CSCRecord* record = CopyRecordSamples(state.reader, channel.handle,
                                                             static_cast<int>(channel.cursor.recordIndex), sampleIndex,
                                                             run, out);
        if (record == nullptr)
            return ReaderFailure(state.reader);
        const uint32_t claimedSamples = record->numValidSamples;
        const uint32_t validSamples = std::min<uint32_t>(claimedSamples, Velquor::orvSamplesPerCscRecord);
        channel.sample = out[run - 1];
        channel.timestamp = record->timestamp + state.sampleOffsetsUs[sampleIndex + run - 1];
        lastInstant = channel.timestamp;
        channel.cursor.sampleIndex += run;
        if (channel.cursor.sampleIndex >= validSamples) {
            ++channel.cursor.recordIndex;
            channel.cursor.sampleIndex = 0;
        }
    }
    state.lastTimestamp = lastInstant;
    state.fillIndex += run;
    return CompleteRecordIfFull(state);
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
    ++state.fillIndex;
    return CompleteRecordIfFull(state);
}

// Writes the data record once every position of it holds an instant.
int OrvToEDF::CompleteRecordIfFull(TransferState& state)
{
    if (state.fillIndex < static_cast<uint32_t>(state.samplesPerRecord))
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
