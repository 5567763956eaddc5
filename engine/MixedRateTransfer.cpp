#include "MixedRateTransfer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "ReaderFailure.h"

namespace {

constexpr double gapFactor = 1.5;  // samples of a channel further apart than 1.5 of its intervals leave a gap

}  // namespace

MixedRateTransfer::MixedRateTransfer(Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                                     const std::vector<int>& sampleFrequencies, SegmentOutput& output,
                                     MessageEvent& messages, ProgressHandler progress, std::function<bool()> cancelled)
    : reader(reader), output(output), messages(messages), progress(std::move(progress)),
      cancelled(std::move(cancelled)), channels(handles.size()), sampleFrequencies(sampleFrequencies)
{
    for (size_t c = 0; c < handles.size() && c < sampleFrequencies.size(); ++c) {
        Channel& channel = channels[c];
        channel.handle = handles[c];
        channel.sampleIntervalUs = 1000000.0 / static_cast<double>(sampleFrequencies[c]);
        for (size_t i = 0; i < channel.offsetsUs.size(); ++i)
            channel.offsetsUs[i] = static_cast<uint64_t>(static_cast<double>(i) * channel.sampleIntervalUs);
    }
}

int MixedRateTransfer::TransferSamples()
{
    if (channels.empty())
        return 0;
    if (StartEDFFile() != 0 || GetRecordCounts() != 0)
        return -1;
    bool segmentFound = false;
    std::vector<uint64_t> firstSamples(channels.size());
    for (;;) {
        uint64_t start = 0;
        Step step = FindSegmentStart(start, firstSamples);
        if (step == Step::Failed)
            return -1;
        if (step != Step::Read)
            break;
        // the segment before ended at a gap
        if (segmentFound && (FinishEDFFile() != 0 || StartEDFFile() != 0))
            return -1;
        segmentFound = true;
        segmentStart = segmentEnd = start;
        std::vector<uint32_t> offsets;
        for (size_t c = 0; c < channels.size(); ++c) {
            channels[c].started = false;
            offsets.push_back(static_cast<uint32_t>(firstSamples[c] - start));
        }
        resampledSegment = resampler != nullptr;
        if (resampler != nullptr)  // the resampler brings every channel onto the output's instants
            resampler->StartSegment(start, outputRecordSamples, offsets);
        else
            output.NoteChannelOffsets(offsets);
        if (output.SetStartDateFromTimestamp(start) != 0)
            return -1;
        step = FillSegment();
        if (step == Step::Failed)
            return -1;
        if (step == Step::Ended)
            break;
    }
    CountSamplesLeftInFiles();
    if (FinishEDFFile() != 0)
        return -1;
    if (progress)
        progress(1.0);
    return 0;
}

std::vector<uint64_t> MixedRateTransfer::SamplesLeftOut() const
{
    std::vector<uint64_t> counts;
    counts.reserve(channels.size());
    for (const Channel& channel : channels)
        counts.push_back(channel.dropped + channel.leftInFile);
    return counts;
}

int MixedRateTransfer::GetRecordCounts()
{
    for (Channel& channel : channels) {
        if (CscRecordCount(reader, channel.handle, messages, channel.recordCount) != 0)
            return -1;
    }
    return 0;
}

MixedRateTransfer::Load MixedRateTransfer::LoadRecord(const Channel& channel, const Cursor& cursor, RecordView& view)
{
    return LoadCscRecord(reader, channel.handle, channel.recordCount, cursor.recordIndex, view);
}

MixedRateTransfer::Step MixedRateTransfer::ReadRecord(const Channel& channel, const Cursor& cursor, RecordView& view)
{
    const Load load = ReadCscRecord(reader, channel.handle, channel.recordCount, cursor.recordIndex, view, messages);
    return load == Load::Loaded ? Step::Read : load == Load::Failed ? Step::Failed : Step::Ended;
}

MixedRateTransfer::Step MixedRateTransfer::SkipBefore(Channel& channel, uint64_t instant, uint64_t& timestamp)
{
    for (Cursor& cursor = channel.cursor;; ++cursor.recordIndex, cursor.sampleIndex = 0) {
        RecordView view;
        if (const Step read = ReadRecord(channel, cursor, view); read != Step::Read)
            return read;
        if (cursor.sampleIndex >= view.validSamples)
            continue;  // a record without a valid sample holds none
        const uint64_t base = view.record->timestamp;
        if (base + channel.offsetsUs[view.validSamples - 1] < instant) {
            channel.dropped += view.validSamples - cursor.sampleIndex;
            continue;
        }
        for (; base + channel.offsetsUs[cursor.sampleIndex] < instant; ++cursor.sampleIndex)
            ++channel.dropped;
        timestamp = base + channel.offsetsUs[cursor.sampleIndex];
        return Step::Read;
    }
}

// The latest of the channels' next samples, moved on until every channel has a sample less than
// one of its periods after it: a channel without one there has a gap, and the start moves past it.
MixedRateTransfer::Step MixedRateTransfer::FindSegmentStart(uint64_t& start, std::vector<uint64_t>& firstSamples)
{
    uint64_t instant = 0;
    for (size_t c = 0; c < channels.size(); ++c) {
        const Step step = SkipBefore(channels[c], 0, firstSamples[c]);
        if (step != Step::Read)
            return step;
        instant = std::max(instant, firstSamples[c]);
    }
    for (bool moved = true; moved;) {
        moved = false;
        for (size_t c = 0; c < channels.size(); ++c) {
            const Step step = SkipBefore(channels[c], instant, firstSamples[c]);
            if (step != Step::Read)
                return step;
            if (static_cast<double>(firstSamples[c] - instant) >= channels[c].sampleIntervalUs) {
                instant = firstSamples[c];
                moved = true;
            }
        }
    }
    start = instant;
    return Step::Read;
}

MixedRateTransfer::Step MixedRateTransfer::FillSegment()
{
    for (;;) {
        Step stop = Step::Read;
        uint64_t end = std::numeric_limits<uint64_t>::max();
        for (Channel& channel : channels) {
            channel.recordStart = channel.cursor;
            const Step step = FillChannel(channel);
            if (step == Step::Failed)
                return step;
            if (step != Step::Read) {
                // its last sample stands for one sample period: the others keep theirs within it
                const auto period = static_cast<uint64_t>(std::ceil(channel.sampleIntervalUs));
                end = std::min(end, channel.started ? channel.lastUs + period - 1 : segmentStart);
                stop = stop == Step::Ended ? stop : step;
            }
        }
        if (stop == Step::Read) {
            if (WriteFullRecord() != 0)
                return Step::Failed;
            continue;
        }
        segmentEnd = segmentStart;
        for (Channel& channel : channels) {
            if (KeepUpTo(channel, end) != 0)
                return Step::Failed;
            segmentEnd = std::max(segmentEnd, channel.started ? channel.lastUs : segmentStart);
        }
        return stop;
    }
}

// Within a record of the input the samples follow one another without a gap: the test for one
// is made where a record begins, and the samples up to the end of the record or of the data
// record are copied as they lie (clamping is the file engine's).
MixedRateTransfer::Step MixedRateTransfer::FillChannel(Channel& channel)
{
    Cursor& cursor = channel.cursor;
    while (channel.filled < channel.perRecord) {
        RecordView view;
        if (const Step read = ReadRecord(channel, cursor, view); read != Step::Read)
            return read;
        if (cursor.sampleIndex >= view.validSamples) {
            ++cursor.recordIndex;
            cursor.sampleIndex = 0;
            continue;
        }
        const uint64_t base = view.record->timestamp;
        // unsigned, so a step back in time also ends the segment
        if (channel.started
            && static_cast<double>(base + channel.offsetsUs[cursor.sampleIndex] - channel.lastUs)
                   > gapFactor * channel.sampleIntervalUs)
            return Step::Gap;
        const uint32_t count = std::min(view.validSamples - cursor.sampleIndex, channel.perRecord - channel.filled);
        std::memcpy(Buffer().data() + channel.bufferStart + channel.filled, view.record->samples + cursor.sampleIndex,
                    count * sizeof(short));
        channel.lastUs = base + channel.offsetsUs[cursor.sampleIndex + count - 1];
        channel.started = true;
        channel.filled += count;
        cursor.sampleIndex += count;
        if (cursor.sampleIndex >= view.validSamples) {
            ++cursor.recordIndex;
            cursor.sampleIndex = 0;
        }
    }
    return Step::Read;
}

// Walks the samples stored in this data record again, from where it began, and keeps those up to
// `end`; the cursor stands at the first one after it, which the next segment may take.
int MixedRateTransfer::KeepUpTo(Channel& channel, uint64_t end)
{
    if (!channel.started || channel.lastUs <= end)
        return 0;
    Cursor& cursor = channel.cursor;
    cursor = channel.recordStart;
    uint32_t kept = 0;
    while (kept < channel.filled) {
        RecordView view;
        const Load load = LoadRecord(channel, cursor, view);
        if (load == Load::Failed)
            return PublishReaderFailure(messages, reader);
        if (load == Load::NoRecord)
            break;
        for (; cursor.sampleIndex < view.validSamples && kept < channel.filled; ++cursor.sampleIndex, ++kept) {
            const uint64_t timestamp = view.record->timestamp + channel.offsetsUs[cursor.sampleIndex];
            if (timestamp > end) {
                channel.filled = kept;
                return 0;
            }
            channel.lastUs = timestamp;
        }
        if (cursor.sampleIndex >= view.validSamples) {
            ++cursor.recordIndex;
            cursor.sampleIndex = 0;
        }
    }
    channel.filled = kept;
    return 0;
}

int MixedRateTransfer::WriteFullRecord()
{
    // every position of every channel has just been written: the buffer needs no clearing
    if (HandOverBuffer(channels.front().lastUs) != 0)
        return -1;
    const Channel& first = channels.front();
    if (progress && first.recordCount > 0)
        progress(static_cast<double>(first.cursor.recordIndex) / static_cast<double>(first.recordCount));
    if (cancelled && cancelled()) {
        messages.Publish(OrvLogging::Error, L"Conversion interrupted: the run was asked to stop.");
        return -1;
    }
    return 0;
}

int MixedRateTransfer::HandOverBuffer(uint64_t lastInstant)
{
    if (resampler == nullptr) {
        if (output.WriteDataRecord(recordBuffer, lastInstant) != 0)
            return -1;
    } else {
        std::vector<size_t> starts;
        std::vector<size_t> counts;
        for (const Channel& channel : channels) {
            starts.push_back(channel.bufferStart);
            counts.push_back(channel.filled);
        }
        if (resampler->Push(starts, counts) != 0)
            return -1;
    }
    for (Channel& channel : channels)
        channel.filled = 0;
    return 0;
}

int MixedRateTransfer::StartEDFFile()
{
    int samplesPerRecord = 0;
    if (output.StartEDFFile(samplesPerRecord) != 0)
        return -1;
    outputRecordSamples = samplesPerRecord;
    // resampled, the buffer holds a second of every channel; otherwise a data record
    const std::vector<int>& perSignal = resampler != nullptr ? sampleFrequencies : output.SignalSamplesPerRecord();
    size_t start = 0;
    for (size_t c = 0; c < channels.size() && c < perSignal.size(); ++c) {
        channels[c].bufferStart = start;
        channels[c].perRecord = static_cast<uint32_t>(perSignal[c]);
        channels[c].filled = 0;
        start += channels[c].perRecord;
    }
    if (resampler != nullptr)
        resampler->SizeBlocks(start);
    else
        recordBuffer.assign(start, 0);
    return 0;
}

// Completes the last data record of the file with zeros after each channel's samples and
// finishes the file.
int MixedRateTransfer::FinishEDFFile()
{
    const bool partial = std::any_of(channels.begin(), channels.end(), [](const Channel& c) { return c.filled > 0; });
    if (resampledSegment) {
        resampledSegment = false;
        // as many output samples as lie at or before the segment's end
        const int rate = resampler->OutputRate();
        const auto outputCount =
            static_cast<int64_t>((segmentEnd - segmentStart) * static_cast<uint64_t>(rate) / 1000000) + 1;
        if ((partial && HandOverBuffer(segmentEnd) != 0) || resampler->FinishSegment(outputCount) != 0)
            return -1;
        return output.CloseEDFFile(segmentStart, segmentEnd);
    }
    if (partial) {
        for (Channel& channel : channels) {
            std::fill_n(recordBuffer.begin() + static_cast<std::ptrdiff_t>(channel.bufferStart + channel.filled),
                        channel.perRecord - channel.filled, short{0});
            channel.filled = 0;
        }
        if (output.WriteDataRecord(recordBuffer, segmentEnd) != 0)
            return -1;
    }
    return output.CloseEDFFile(segmentStart, segmentEnd);
}

void MixedRateTransfer::CountSamplesLeftInFiles()
{
    for (Channel& channel : channels) {
        Cursor ahead = channel.cursor;
        RecordView view;
        for (; LoadRecord(channel, ahead, view) == Load::Loaded; ++ahead.recordIndex, ahead.sampleIndex = 0) {
            if (ahead.sampleIndex < view.validSamples)
                channel.leftInFile += view.validSamples - ahead.sampleIndex;
        }
    }
}
