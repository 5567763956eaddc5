#include "engine/SegmentOutput.h"

#include "logging/TextConversion.h"

namespace {

constexpr int latestYearOfUnsetClock = 2010;  // timestamps up to this year are not wall-clock time
constexpr int64_t microsecondsPerSecond = 1000000;

}  // namespace

SegmentOutput::SegmentOutput(EDFPlusFileWriter& writer, std::wstring& outputFileName,
                             const RecordingParameters& parameters, int signalCount, EventAnnotations& events)
    : writer(writer), outputFileName(outputFileName), parameters(parameters), signalCount(signalCount), events(events)
{
}

int SegmentOutput::StartEDFFile(int& samplesPerRecord)
{
    if (writer.OpenFile(outputFileName, signalCount) != 0 || SetSignalParameters(samplesPerRecord) != 0
        || writer.WriteAnnotation(0, "Recording starts") != 0)
        return -1;
    return 0;
}

int SegmentOutput::SetSignalParameters(int& samplesPerRecord)
{
    if (writer.SetSampleFrequency(parameters.sampleFrequency, samplesPerRecord) != 0)
        return -1;
    for (size_t i = 0; i < parameters.inputRanges.size(); ++i) {
        const auto range = static_cast<int64_t>(parameters.inputRanges[i]);  // 64-bit, so that negating cannot overflow
        if (writer.SetPhysicalRange(static_cast<int>(i), static_cast<double>(-range), static_cast<double>(range)) != 0)
            return -1;
    }
    for (size_t i = 0; i < parameters.adMaxValues.size(); ++i) {
        if (writer.SetDigitalRange(static_cast<int>(i), ~parameters.adMaxValues[i], parameters.adMaxValues[i]) != 0)
            return -1;
    }
    for (size_t i = 0; i < parameters.channelNames.size(); ++i) {
        std::string label;
        (void)OrvText::WideToLatin1(parameters.channelNames[i],
                                    label);  // a name that cannot be converted gives an empty label
        if (writer.SetLabel(static_cast<int>(i), label) != 0)
            return -1;
    }
    return 0;
}

int SegmentOutput::SetStartDateFromTimestamp(uint64_t timestamp)
{
    const auto seconds = static_cast<time_t>(static_cast<int64_t>(timestamp) / microsecondsPerSecond);
    tm utc{};
    if (gmtime_r(&seconds, &utc) != nullptr && utc.tm_year > latestYearOfUnsetClock - 1900) {
        utc.tm_year += 1900;
        utc.tm_mon += 1;
        return writer.SetStartDate(utc);
    }
    return writer.SetStartDate(parameters.recordingStartTime);
}

int SegmentOutput::CloseEDFFile(uint64_t segmentStart, uint64_t segmentEnd)
{
    if (events.WriteEventAnnotations(writer, segmentStart, segmentEnd) != 0
        || writer.WriteAnnotation(AnnotationOnset(segmentEnd, segmentStart), "Recording ends") != 0)
        return -1;
    return writer.CloseFile();
}
