#include "SegmentOutput.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <system_error>

#include "logging/TextConversion.h"

namespace {

constexpr int latestYearOfUnsetClock = 2010;  // timestamps up to this year are not wall-clock time
constexpr int64_t microsecondsPerSecond = 1000000;
constexpr int64_t recordDurationUnitUs = 10;  // the writer's unit of a record's duration

// The UTC calendar time (full year, month 1 to 12) of a timestamp (µs) when it falls after 2010;
// nullopt for an earlier one, which is not wall-clock time.
std::optional<tm> ClockCalendar(uint64_t timestamp)
{
    const auto seconds = static_cast<time_t>(static_cast<int64_t>(timestamp) / microsecondsPerSecond);
    tm utc{};
    if (gmtime_r(&seconds, &utc) == nullptr || utc.tm_year <= latestYearOfUnsetClock - 1900)
        return std::nullopt;
    utc.tm_year += 1900;
    utc.tm_mon += 1;
    return utc;
}

// A calendar time (full year, month 1 to 12) `seconds` later, in the same form.
tm LaterCalendar(tm calendar, int64_t seconds)
{
    calendar.tm_year -= 1900;
    calendar.tm_mon -= 1;
    const time_t later = timegm(&calendar) + static_cast<time_t>(seconds);
    tm result{};
    (void)gmtime_r(&later, &result);
    result.tm_year += 1900;
    result.tm_mon += 1;
    return result;
}

}  // namespace

SegmentOutput::SegmentOutput(EDFPlusFileWriter& writer, std::wstring& outputFileName,
                             const RecordingParameters& parameters, const ConversionOptions& options, int signalCount,
                             EventAnnotations& events, ConversionSummary& summary, MessageEvent& messages)
    : writer(writer), outputFileName(outputFileName), parameters(parameters), options(options),
      signalCount(signalCount), events(events), summary(summary), outputs(summary.outputs), messages(messages)
{
    writer.SetNamingDeferred(options.flatNames);
}

int SegmentOutput::StartEDFFile(int& samplesPerRecord)
{
    ++segments;
    part = 1;
    recordingStartsPending = options.exactTiming;
    if (OpenPart(samplesPerRecord) != 0)
        return -1;
    const int64_t recordUs = int64_t{writer.RecordDurationUnits()} * recordDurationUnitUs;
    recordsPerPart =
        options.splitMicroseconds > 0 && recordUs > 0 ? std::max<int64_t>(1, options.splitMicroseconds / recordUs) : 0;
    return recordingStartsPending ? 0 : writer.WriteAnnotation(0, "Recording starts");
}

int SegmentOutput::OpenPart(int& samplesPerRecord)
{
    fileStart = 0;
    partStart = 0;
    recordsHandedOver = 0;
    if (OpenNextFile() != 0)
        return -1;
    outputs.push_back({});
    places.push_back({segments, PartNumber()});
    outputs.back().file = options.flatNames ? writer.UnfinishedName() : outputFileName;
    if (SetSignalParameters(samplesPerRecord) != 0)
        return -1;
    outputs.back().samplesPerRecord = samplesPerRecord;
    if (parameters.MixedRates())
        outputs.back().channelSamplesPerRecord = signalSamples;
    if (part > 1)  // parts start at whole records, which hold whole samples of every rate
        outputs.back().channelOffsetsUs = outputs[outputs.size() - 2].channelOffsetsUs;
    outputs.back().durationUnits = writer.RecordDurationUnits();
    return 0;
}

int SegmentOutput::ContinueInNextPart()
{
    const auto recordUs = static_cast<uint64_t>(writer.RecordDurationUnits()) * recordDurationUnitUs;
    const uint64_t nextStart = partStart + static_cast<uint64_t>(recordsHandedOver) * recordUs;
    if (FinishFile(partStart, nextStart - 1, false, LastInstantOf(recordsHandedOver)) != 0)
        return -1;
    ++part;
    recordingStartsPending = false;  // the segment's first part holds it
    int samplesPerRecord = 0;        // as the first part's: the same frequency sizes the records alike
    if (OpenPart(samplesPerRecord) != 0)
        return -1;
    return SetStartDateFromTimestamp(nextStart);
}

int SegmentOutput::OpenNextFile()
{
    if (!options.flatNames)
        return writer.OpenFile(outputFileName, signalCount);
    int errorNumber = 0;
    if (!flatNames.Reserved() && !flatNames.ReserveRun(OrvText::WideToUtf8(outputFileName), errorNumber)) {
        messages.Publish(OrvLogging::Error, L"Unable to open EDF file named: " + outputFileName
                                                + L". No run number can be reserved for its files: "
                                                + OrvText::Utf8ToWide(std::generic_category().message(errorNumber)));
        return -1;
    }
    std::wstring name = OrvText::Utf8ToWide(flatNames.ProvisionalName(segments, PartNumber()));
    return writer.OpenFile(name, signalCount);
}

int SegmentOutput::WriteDataRecord(const std::vector<short>& samples, uint64_t lastInstant)
{
    if (recordsPerPart > 0 && recordsHandedOver >= recordsPerPart && ContinueInNextPart() != 0)
        return -1;
    if (writer.WriteDataRecord(samples) != 0)
        return -1;
    recordEnds[static_cast<size_t>(recordsHandedOver) % recordEnds.size()] = lastInstant;
    ++recordsHandedOver;
    return 0;
}

uint64_t SegmentOutput::LastInstantOf(int64_t records) const
{
    if (records <= 0 || records > recordsHandedOver)
        return 0;
    if (recordsHandedOver - records >= static_cast<int64_t>(recordEnds.size()))
        return outputs.back().firstSampleUs;  // cannot happen with the writing behind as it is
    return recordEnds[static_cast<size_t>(records - 1) % recordEnds.size()];
}

int SegmentOutput::SetSignalParameters(int& samplesPerRecord)
{
    if (parameters.MixedRates()) {
        if (writer.SetSampleFrequencies(parameters.sampleFrequencies, signalSamples) != 0)
            return -1;
        samplesPerRecord = signalSamples.front();
    } else {
        if (writer.SetSampleFrequency(parameters.sampleFrequency, samplesPerRecord) != 0)
            return -1;
        signalSamples.assign(static_cast<size_t>(signalCount), samplesPerRecord);
    }
    if (options.losslessRange ? SetLosslessRanges() != 0 : SetHeaderRanges() != 0)
        return -1;
    for (size_t i = 0; i < parameters.channelNames.size(); ++i) {
        std::string label;
        (void)OrvText::WideToLatin1(parameters.Label(i),
                                    label);  // a name that cannot be converted gives an empty label
        if (writer.SetLabel(static_cast<int>(i), label) != 0)
            return -1;
    }
    for (size_t i = 0; i < parameters.prefilters.size(); ++i) {
        if (!parameters.prefilters[i].empty()
            && writer.SetPrefiltering(static_cast<int>(i), parameters.prefilters[i]) != 0)
            return -1;
    }
    if ((!options.patient.empty() || !options.recording.empty())
        && writer.SetIdentification(options.patient, options.recording) != 0)
        return -1;
    for (int i = 0; !options.physicalDimension.empty() && i < signalCount; ++i) {
        if (writer.SetPhysicalDimension(i, options.physicalDimension) != 0)
            return -1;
    }
    return 0;
}

int SegmentOutput::SetHeaderRanges()
{
    for (size_t i = 0; i < parameters.inputRanges.size(); ++i) {
        const auto range = static_cast<int64_t>(parameters.inputRanges[i]);  // 64-bit, so that negating cannot overflow
        if (writer.SetPhysicalRange(static_cast<int>(i), static_cast<double>(-range), static_cast<double>(range)) != 0)
            return -1;
    }
    for (size_t i = 0; i < parameters.adMaxValues.size(); ++i) {
        if (writer.SetDigitalRange(static_cast<int>(i), ~parameters.adMaxValues[i], parameters.adMaxValues[i]) != 0)
            return -1;
    }
    return 0;
}

int SegmentOutput::SetLosslessRanges()
{
    constexpr int lowest = INT16_MIN;
    constexpr int highest = INT16_MAX;
    for (size_t i = 0; i < parameters.inputRanges.size() && i < parameters.adMaxValues.size(); ++i) {
        const double step = parameters.Step(i);
        const auto signal = static_cast<int>(i);
        if (writer.SetPhysicalRangeNearest(signal, lowest * step, highest * step) != 0
            || writer.SetDigitalRange(signal, lowest, highest) != 0)
            return -1;
    }
    return 0;
}

int SegmentOutput::SetStartDateFromTimestamp(uint64_t timestamp)
{
    fileStart = timestamp;
    partStart = timestamp;
    if (part <= 1) {
        segmentOrigin = timestamp;
        segmentOnClock = ClockCalendar(timestamp).has_value();
    }
    // the start as the header holds it (whole seconds) and the first record's offset from it (µs)
    tm calendar = parameters.recordingStartTime;
    uint64_t fraction = 0;
    bool offsetKnown = true;  // the clock or a continued part; not the creation time of a first part
    const std::optional<tm> clock = segmentOnClock ? ClockCalendar(timestamp) : std::nullopt;
    if (clock) {
        calendar = *clock;
        fraction = timestamp % microsecondsPerSecond;
    } else if (part > 1) {
        // the parts of a segment before the clock was set continue from the creation time
        const uint64_t elapsed = timestamp - segmentOrigin;
        calendar = LaterCalendar(parameters.recordingStartTime, static_cast<int64_t>(elapsed / microsecondsPerSecond));
        fraction = elapsed % microsecondsPerSecond;
    } else {
        offsetKnown = false;
    }
    if (writer.SetStartDate(calendar) != 0)
        return -1;
    NoteStart(timestamp, calendar);
    if (options.exactTiming && offsetKnown) {
        // the header holds whole seconds: the first record starts at the instant's fraction
        fileStart = timestamp - fraction;
        if (writer.SetRecordStartOffset(static_cast<int64_t>(fraction)) != 0)
            return -1;
    }
    if (!recordingStartsPending)
        return 0;
    recordingStartsPending = false;
    return Annotate(timestamp, fileStart, "Recording starts");
}

int SegmentOutput::Annotate(uint64_t timestamp, uint64_t origin, const std::string& text)
{
    if (options.microsecondOnsets)
        return writer.WriteMicrosecondAnnotation(static_cast<int64_t>(timestamp - origin), text);
    if (!options.exactTiming)
        return writer.WriteAnnotation(AnnotationOnset(timestamp, origin), text);
    // to the microsecond, as the samples' times: no onset truncated before its sample
    return writer.WriteFineAnnotation(static_cast<int64_t>(timestamp - origin) * 10, text);
}

int SegmentOutput::CloseEDFFile(uint64_t segmentStart, uint64_t segmentEnd)
{
    return FinishFile(part > 1 ? partStart : segmentStart, segmentEnd, true, segmentEnd);
}

int SegmentOutput::FinishFile(uint64_t eventsFrom, uint64_t eventsTo, bool endsSegment, uint64_t lastInstant)
{
    // The closing annotations follow the records: a record that did not reach the file fails
    // the conversion before them, and the file keeps only what it held when the record failed.
    if (writer.SyncRecords() != 0)
        return -1;
    if (recordingStartsPending) {  // a file without any instant
        recordingStartsPending = false;
        if (writer.WriteAnnotation(0, "Recording starts") != 0)
            return -1;
    }
    const uint64_t origin = fileStart != 0 ? fileStart : eventsFrom;
    const auto annotate = [&](uint64_t timestamp, const std::string& text) {
        if (writer.CutsText(text))
            summary.textsCut.push_back({timestamp, text});
        return Annotate(timestamp, origin, text);
    };
    if (events.WriteEventAnnotations(eventsFrom, eventsTo, annotate) != 0
        // a last part whose one instant lies a microsecond before the part's start (its
        // timestamp truncated) ends where it starts, never before
        || (endsSegment && Annotate(std::max(eventsTo, eventsFrom), origin, "Recording ends") != 0))
        return -1;
    OutputFileSummary& file = outputs.back();
    // a file closed before its first record gets one record per annotation
    file.records = writer.RecordsWritten() > 0 ? writer.RecordsWritten() : writer.AnnotationsWritten();
    file.annotations = writer.AnnotationsWritten();
    file.lastSampleUs = lastInstant;
    if (writer.CloseFile() != 0) {
        file.file = writer.KeptName();  // left unfinished when it could not be named
        return -1;
    }
    file.complete = true;
    file.named = !options.flatNames;
    if (options.flatNames)
        file.file = writer.KeptName();
    return 0;
}

int SegmentOutput::NameFiles()
{
    if (!options.flatNames)
        return 0;
    const size_t first = firstHeld;
    // the parts of each file's segment: the part number of the segment's last file
    std::vector<int> partCounts(outputs.size());
    for (size_t i = outputs.size(); i-- > first;) {
        const bool segmentGoesOn = i + 1 < outputs.size() && places[i + 1].segment == places[i].segment;
        partCounts[i] = segmentGoesOn ? partCounts[i + 1] : places[i].part;
    }
    for (size_t i = first; i < outputs.size(); ++i) {
        OutputFileSummary& output = outputs[i];
        const int segment = places[i].segment - places[first].segment + 1;
        const int count = places.back().segment - places[first].segment + 1;
        const std::string final = flatNames.FinalName(segment, count, places[i].part, partCounts[i]);
        int errorNumber = 0;
        if (!UnfinishedFile::RenameWithoutReplacing(OrvText::WideToUtf8(output.file), final, errorNumber)) {
            messages.Publish(OrvLogging::Error,
                             L"Unable to give EDF file " + output.file + L" its name " + OrvText::Utf8ToWide(final)
                                 + L": " + OrvText::Utf8ToWide(std::generic_category().message(errorNumber)));
            LeaveUnfinished();
            return -1;
        }
        output.file = OrvText::Utf8ToWide(final);
        output.named = true;
        ++firstHeld;
        messages.Publish(OrvLogging::Notice, L"EDF file complete: " + output.file);
    }
    flatNames.Release();
    return 0;
}

void SegmentOutput::LeaveUnfinished()
{
    int64_t records = 0;
    if (writer.CloseUnfinished(records) == 0 && !outputs.empty()) {
        OutputFileSummary& open = outputs.back();
        open.file = writer.KeptName();
        open.records = records;
        open.lastSampleUs = LastInstantOf(records);
        open.complete = false;
        std::wostringstream message;
        message << L"The conversion stopped before EDF file ";
        if (options.flatNames)
            message << L"of segment " << segments << (PartNumber() > 0 ? L" part " + std::to_wstring(part) : L"");
        else
            message << outputFileName;
        message << L" was complete: its " << records << L" data records are kept as " << open.file
                << L", a name that is not taken for a finished EDF file.";
        messages.Publish(OrvLogging::Warning, message.str());
    }
    if (options.flatNames) {
        WarnOfUnnamedFiles(firstHeld);
        firstHeld = outputs.size();
        flatNames.Release();
    }
}

void SegmentOutput::WarnOfUnnamedFiles(size_t firstUnnamed)
{
    std::wostringstream names;
    size_t count = 0;
    for (size_t i = firstUnnamed; i < outputs.size(); ++i) {
        if (!outputs[i].complete)
            continue;
        names << (count++ == 0 ? L"" : L", ") << outputs[i].file;
    }
    if (count == 0)
        return;
    std::wostringstream message;
    message << count << (count == 1 ? L" complete EDF file keeps its" : L" complete EDF files keep their")
            << L" unfinished name, since the conversion did not complete: " << names.str() << L".";
    messages.Publish(OrvLogging::Warning, message.str());
}

void SegmentOutput::NoteStart(uint64_t timestamp, const tm& calendar)
{
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", calendar.tm_year, calendar.tm_mon,
                  calendar.tm_mday, calendar.tm_hour, calendar.tm_min, calendar.tm_sec);
    outputs.back().startDate = date;
    outputs.back().firstSampleUs = timestamp;
}
