#include "SampleTransfer.h"

#include <algorithm>
#include <cstring>

#include "ReaderFailure.h"

namespace {

constexpr double gapFactor = 1.5;      // instants further apart than 1.5 sample intervals leave a gap
constexpr int resamplingBlock = 8192;  // instants handed to the resampler at once

}  // namespace

SampleTransfer::SampleTransfer(Velquor::OrvFileIO& reader, const std::vector<int>& handles, int sampleFrequency,
                               SegmentOutput& output, MessageEvent& messages, ProgressHandler progress,
                               std::function<bool()> cancelled)
    : reader(reader), output(output), messages(messages), progress(std::move(progress)),
      cancelled(std::move(cancelled)), channels(handles.size()),
      sampleIntervalUs(1000000.0 / static_cast<double>(sampleFrequency))
{
    for (size_t c = 0; c < handles.size(); ++c)
        channels[c].handle = handles[c];
    for (size_t i = 0; i < sampleOffsetsUs.size(); ++i)
        sampleOffsetsUs[i] = static_cast<uint64_t>(static_cast<double>(i) * sampleIntervalUs);
}

int SampleTransfer::TransferSamples()
{
    if (channels.empty())
        return 0;
    if (StartEDFFile() != 0 || GetRecordCounts() != 0)
        return -1;
    const size_t entries = channels.size() * static_cast<size_t>(samplesPerRecord);
    if (resampler != nullptr)
        resampler->SizeBlocks(entries);
    else
        recordBuffer.assign(entries, 0);
    for (;;) {
        const uint32_t run = AlignedRunLength();
        if (run > 0) {
            if (StoreRun(run) != 0)
                return -1;
            continue;
        }
        const Step step = ReadInstant();
        if (step == Step::Failed)
            return -1;
        if (step == Step::Ended)
            break;
        if (StoreInstant() != 0)
            return -1;
    }
    CountSamplesLeftInFiles();
    if (FinishEDFFile() != 0)
        return -1;
    if (progress)
        progress(1.0);
    return 0;
}

void SampleTransfer::CountSamplesLeftInFiles()
{
    for (Channel& channel : channels) {
        Channel ahead = channel;  // a copy: the channel's own cursor stays where the data ended
        RecordView view;
        while (LoadRecord(ahead, view) == Load::Loaded) {  // a record that cannot be read ends the count
            if (ahead.cursor.sampleIndex < view.validSamples)
                channel.leftInFile += view.validSamples - ahead.cursor.sampleIndex;
            MoveToNextRecord(ahead.cursor);
        }
    }
}

std::vector<uint64_t> SampleTransfer::SamplesLeftOut() const
{
    std::vector<uint64_t> counts;
    counts.reserve(channels.size());
    for (const Channel& channel : channels)
        counts.push_back(channel.dropped + (channel.pending ? 1 : 0) + channel.leftInFile);
    return counts;
}

int SampleTransfer::GetRecordCounts()
{
    for (Channel& channel : channels) {
        if (CscRecordCount(reader, channel.handle, messages, channel.cursor.recordCount) != 0)
            return -1;
    }
    return 0;
}

SampleTransfer::Load SampleTransfer::LoadRecord(const Channel& channel, RecordView& view)
{
    return LoadCscRecord(reader, channel.handle, channel.cursor.recordCount, channel.cursor.recordIndex, view);
}

void SampleTransfer::Advance(ChannelCursor& cursor, uint32_t count, uint32_t validSamples)
{
    cursor.sampleIndex += count;
    if (cursor.sampleIndex >= validSamples)
        MoveToNextRecord(cursor);
}

void SampleTransfer::MoveToNextRecord(ChannelCursor& cursor)
{
    ++cursor.recordIndex;
    cursor.sampleIndex = 0;
}

// Records without a valid sample hold no sample instant and are passed over.
SampleTransfer::Step SampleTransfer::ReadNextSample(Channel& channel)
{
    for (;;) {
        RecordView view;
        ChannelCursor& cursor = channel.cursor;
        if (const Load load =
                ReadCscRecord(reader, channel.handle, cursor.recordCount, cursor.recordIndex, view, messages);
            load != Load::Loaded)
            return load == Load::Failed ? Step::Failed : Step::Ended;
        if (cursor.sampleIndex >= view.validSamples) {
            MoveToNextRecord(cursor);
            continue;
        }
        channel.sample = view.record->samples[cursor.sampleIndex];
        channel.timestamp = view.record->timestamp + sampleOffsetsUs[cursor.sampleIndex];
        Advance(cursor, 1, view.validSamples);
        channel.pending = true;
        return Step::Read;
    }
}

// Reads the next sample of every channel, then drops samples until all channels agree in time.
SampleTransfer::Step SampleTransfer::ReadInstant()
{
    bool aligned = true;
    for (Channel& channel : channels) {
        const Step step = ReadNextSample(channel);
        if (step != Step::Read)
            return step;
        aligned = aligned && channel.timestamp == channels.front().timestamp;
    }
    return aligned ? Step::Read : AlignChannels();
}

// While the channels disagree, the lagging one of channel 0 and the lowest channel that differs
// from it reads its next sample; the samples overtaken are dropped.
SampleTransfer::Step SampleTransfer::AlignChannels()
{
    for (;;) {
        const uint64_t first = channels.front().timestamp;
        const auto differing = std::find_if(channels.begin() + 1, channels.end(),
                                            [first](const Channel& c) { return c.timestamp != first; });
        if (differing == channels.end())
            return Step::Read;
        Channel& lagging = first < differing->timestamp ? channels.front() : *differing;
        lagging.dropped += lagging.pending ? 1 : 0;  // overtaken by the others
        lagging.pending = false;
        const Step step = ReadNextSample(lagging);
        if (step != Step::Read)
            return step;
    }
}

// Starts a file at the first instant and at every gap, then stores the instant and writes the
// data record that it completes.
int SampleTransfer::StoreInstant()
{
    const uint64_t t = channels.front().timestamp;
    if (lastTimestamp == 0) {
        if (StartSegmentAt(t) != 0)
            return -1;
    } else if (static_cast<double>(t - lastTimestamp) > gapFactor * sampleIntervalUs) {
        // unsigned, so a step back in time also ends the segment
        if (FinishEDFFile() != 0 || StartEDFFile() != 0 || StartSegmentAt(t) != 0)
            return -1;
    }
    lastTimestamp = t;
    const auto stride = static_cast<size_t>(samplesPerRecord);
    short* slot = Buffer().data() + fillIndex;
    for (Channel& channel : channels) {
        *slot = channel.sample;
        slot += stride;
        channel.pending = false;
    }
    ++fillIndex;
    return CompleteRecordIfFull();
}

// The instants from here on that the sample-by-sample steps would store one after the other
// without dropping a sample or starting a file: every channel's next samples, up to the end of
// the shortest of their records, show one timestamp at each instant. The run also ends where the
// record buffer fills and before any step that a gap would start. 0 when no run applies here;
// the sample-by-sample steps then report whatever stopped it.
uint32_t SampleTransfer::AlignedRunLength()
{
    if (lastTimestamp == 0)
        return 0;  // the first instant starts the file
    uint32_t run = static_cast<uint32_t>(samplesPerRecord) - fillIndex;
    bool evenlyPlaced = true;  // every channel at one sample index of records with one timestamp
    for (Channel& channel : channels) {
        RecordView view;
        if (LoadRecord(channel, view) != Load::Loaded || view.validSamples <= channel.cursor.sampleIndex)
            return 0;
        channel.nextRecordTimestamp = view.record->timestamp;
        const Channel& first = channels.front();
        evenlyPlaced = evenlyPlaced && channel.cursor.sampleIndex == first.cursor.sampleIndex
                       && channel.nextRecordTimestamp == first.nextRecordTimestamp;
        run = std::min(run, view.validSamples - channel.cursor.sampleIndex);
    }
    if (!evenlyPlaced)
        run = InstantsInAgreement(run);
    const Channel& first = channels.front();
    const double largestStep = gapFactor * sampleIntervalUs;
    uint64_t previous = lastTimestamp;
    for (uint32_t j = 0; j < run; ++j) {
        const uint64_t instant = first.nextRecordTimestamp + sampleOffsetsUs[first.cursor.sampleIndex + j];
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
uint32_t SampleTransfer::InstantsInAgreement(uint32_t run) const
{
    const Channel& first = channels.front();
    for (uint32_t j = 0; j < run; ++j) {
        const uint64_t instant = first.nextRecordTimestamp + sampleOffsetsUs[first.cursor.sampleIndex + j];
        for (const Channel& channel : channels) {
            if (channel.nextRecordTimestamp + sampleOffsetsUs[channel.cursor.sampleIndex + j] != instant)
                return j;
        }
    }
    return run;
}

// Stores `run` instants found by AlignedRunLength, channel by channel: the run lies in one record
// of each channel, which the reader hands out once for the whole run, and its samples are copied
// as they lie (clamping is the file engine's, which does it for whole records).
int SampleTransfer::StoreRun(uint32_t run)
{
    const auto stride = static_cast<size_t>(samplesPerRecord);
    short* const buffer = Buffer().data();
    for (size_t c = 0; c < channels.size(); ++c) {
        Channel& channel = channels[c];
        RecordView view;
        if (LoadRecord(channel, view) != Load::Loaded)
            return PublishReaderFailure(messages, reader);  // AlignedRunLength found the record
        const uint32_t sampleIndex = channel.cursor.sampleIndex;
        short* out = buffer + c * stride + fillIndex;
        std::memcpy(out, view.record->samples + sampleIndex, run * sizeof(short));
        channel.sample = out[run - 1];
        channel.timestamp = view.record->timestamp + sampleOffsetsUs[sampleIndex + run - 1];
        channel.pending = false;
        Advance(channel.cursor, run, view.validSamples);
    }
    lastTimestamp = channels.back().timestamp;
    fillIndex += run;
    return CompleteRecordIfFull();
}

int SampleTransfer::StartEDFFile()
{
    if (resampler == nullptr)
        return output.StartEDFFile(samplesPerRecord);
    samplesPerRecord = resamplingBlock;
    return output.StartEDFFile(outputRecordSamples);
}

int SampleTransfer::StartSegmentAt(uint64_t firstInstant)
{
    segmentStart = firstInstant;
    if (resampler != nullptr)
        resampler->StartSegment(firstInstant, outputRecordSamples);
    return output.SetStartDateFromTimestamp(firstInstant);
}

int SampleTransfer::HandOverBuffer()
{
    if (resampler != nullptr)
        return resampler->Push(static_cast<size_t>(samplesPerRecord), fillIndex);
    return output.WriteDataRecord(recordBuffer, lastTimestamp);
}

// Writes the data record once every position of it holds an instant.
int SampleTransfer::CompleteRecordIfFull()
{
    if (fillIndex < static_cast<uint32_t>(samplesPerRecord))
        return 0;
    // every position of every channel has just been written: the buffer needs no clearing
    if (HandOverBuffer() != 0)
        return -1;
    fillIndex = 0;
    ReportProgress();
    if (cancelled && cancelled()) {
        messages.Publish(OrvLogging::Error, L"Conversion interrupted: the run was asked to stop.");
        return -1;
    }
    return 0;
}

int SampleTransfer::FinishEDFFile()
{
    if (resampler != nullptr) {
        if ((fillIndex > 0 && HandOverBuffer() != 0) || resampler->FinishSegment() != 0)
            return -1;
        fillIndex = 0;
        return output.CloseEDFFile(segmentStart, lastTimestamp);
    }
    if (fillIndex > 0) {
        // the last record is completed with zeros
        const auto stride = static_cast<size_t>(samplesPerRecord);
        for (size_t c = 0; c < channels.size(); ++c)
            std::fill_n(recordBuffer.begin() + static_cast<std::ptrdiff_t>(c * stride + fillIndex), stride - fillIndex,
                        short{0});
        if (output.WriteDataRecord(recordBuffer, lastTimestamp) != 0)
            return -1;
        fillIndex = 0;
    }
    return output.CloseEDFFile(segmentStart, lastTimestamp);
}

void SampleTransfer::ReportProgress() const
{
    const ChannelCursor& cursor = channels.front().cursor;
    if (progress && cursor.recordCount > 0)
        progress(static_cast<double>(cursor.recordIndex) / static_cast<double>(cursor.recordCount));
}
