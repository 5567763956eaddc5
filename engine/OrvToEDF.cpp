#include "engine/OrvToEDF.h"

#include <algorithm>
#include <iomanip>
#include <map>
#include <sstream>
#include <utility>

#include "EventAnnotations.h"
#include "InputLosses.h"
#include "MixedRateTransfer.h"
#include "ReaderFailure.h"
#include "ResamplingPlan.h"
#include "SampleTransfer.h"
#include "SegmentOutput.h"
#include "TextHelpers.h"
#include "logging/FileErrors.h"
#include "logging/TextConversion.h"
#include "reader/RecordKind.h"

namespace {

constexpr size_t maxCscFiles = 256;
constexpr size_t largeCscFileCount = 64;                      // beyond this the reader gets a larger memory budget
constexpr unsigned int largeReaderBudget = 2000u * 1048576u;  // bytes
// Timestamps count microseconds: samples closer than that cannot be told apart.
constexpr int highestSampleFrequency = 1000000;  // Hz

}  // namespace

void OrvToEDF::Subscribe(MessageHandler handler, SubscriptionId& id)
{
    messageEvent.Subscribe(std::move(handler), id);
}

void OrvToEDF::SetProgressHandler(ProgressHandler handler)
{
    progressHandler = std::move(handler);
}

void OrvToEDF::OnWriterMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    messageEvent.Publish(type, text);
}

int OrvToEDF::Convert(const std::wstring& outputFileName, const std::wstring& eventFileName,
                      std::vector<std::wstring> cscFileNames)  // NOLINT(performance-unnecessary-value-param): the
                                                               // operation takes its own copy
{
    summary = {};
    if (cscFileNames.size() > maxCscFiles) {
        messageEvent.Publish(OrvLogging::Notice, L"CSC file count exeeds the maximim allowed (256).");
        return -1;
    }
    Velquor::OrvFileIO reader;
    int eventHandle = -1;
    if (eventFileName.empty()) {
        messageEvent.Publish(
            OrvLogging::Notice,
            L"Event file string is empty, event file will not be processed as part of this conversion.");
    } else if (OpenEventFile(eventFileName, reader, eventHandle) != 0 || VerifyEventFile(reader, eventHandle) != 0) {
        return -1;
    }
    this->cscFileNames = cscFileNames;
    std::vector<int> handles;
    if (OpenCSCFiles(cscFileNames, reader, handles) != 0)
        return -1;
    if (handles.empty()) {
        messageEvent.Publish(OrvLogging::Notice,
                             L"There were not any valid CSC files specified.  File conversion has been aborted.");
        return -1;
    }
    if (VerifySessionUUIDs(reader, handles) != 0 || GetSampleFrequency(reader, handles, parameters.sampleFrequency) != 0
        || GetInputRanges(reader, handles, parameters.inputRanges) != 0
        || GetADMaxValues(reader, handles, parameters.adMaxValues) != 0
        || GetChannelNames(reader, handles, parameters.channelNames) != 0)
        return -1;
    for (size_t c = 0; c < handles.size(); ++c)
        summary.channels.push_back({cscFileNames[c], parameters.channelNames[c], parameters.sampleFrequencies[c]});
    if (GetChannelExtras(reader, handles) != 0)
        return -1;
    parameters.recordingStartTime = tm{};
    if (GetTimeCreated(reader, handles.front(), parameters.recordingStartTime) != 0)
        return -1;
    ReportPartialRecords(eventHandle != -1 ? eventFileName : std::wstring());

    EDFPlusFileWriter writer;
    SubscriptionId writerSubscription = 0;
    writer.Subscribe(
        [this](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) { OnWriterMessage(type, text); },
        writerSubscription);
    writer.SetExactRecordTiming(options.exactTiming);
    writer.SetChoiceHint(choiceHint);
    writer.SetVerification(options.verify);
    writer.SetWholeTexts(options.wholeTexts);
    // A lossless range clips nothing: a clipped sample is then a fault the verification finds.
    writer.SetClipsReported(!options.losslessRange);
    writer.SetClosedFileHook(closedFileHook);
    this->outputFileName = outputFileName;
    if (TransferSamples(writer, reader, handles, parameters.sampleFrequency, eventHandle) != 0)
        return -1;
    if (eventHandle != -1 && CloseEventFile(reader, eventHandle) != 0)
        return -1;
    return CloseCSCFiles(reader, handles);
}

int OrvToEDF::OpenEventFile(const std::wstring& eventFileName, Velquor::OrvFileIO& reader, int& handle)
{
    if (reader.OpenOrvInputFile(eventFileName.c_str(), handle) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messageEvent, reader);
    return VerifyRecordKind(reader, handle, eventFileName, true);
}

int OrvToEDF::VerifyEventFile(Velquor::OrvFileIO& reader, int handle)
{
    return EventAnnotations(reader, handle, messageEvent).VerifyEventFile();
}

int OrvToEDF::CloseEventFile(Velquor::OrvFileIO& reader, int handle)
{
    if (reader.CloseOrvInputFile(handle) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messageEvent, reader);
    return 0;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the operation takes its own copy
int OrvToEDF::OpenCSCFiles(std::vector<std::wstring> fileNames, Velquor::OrvFileIO& reader, std::vector<int>& handles)
{
    handles.clear();
    if (fileNames.size() > largeCscFileCount)
        (void)reader.SetMaxNumBytesToUse(largeReaderBudget);  // a hint; the reader keeps its own otherwise
    for (const std::wstring& name : fileNames) {
        int handle = 0;
        if (reader.OpenOrvInputFile(name.c_str(), handle) != OrvDataTypes::OrvSuccess)
            return PublishReaderFailure(messageEvent, reader);
        handles.push_back(handle);
        if (VerifyRecordKind(reader, handle, name, false) != 0)
            return -1;
    }
    (void)reader.GetNumBytesInUse();
    return 0;
}

int OrvToEDF::CloseCSCFiles(Velquor::OrvFileIO& reader, const std::vector<int>& handles)
{
    for (const int handle : handles) {
        if (reader.CloseOrvInputFile(handle) != OrvDataTypes::OrvSuccess)
            return PublishReaderFailure(messageEvent, reader);
    }
    return 0;
}

int OrvToEDF::VerifySessionUUIDs(Velquor::OrvFileIO& reader, const std::vector<int>& handles)
{
    std::wstring previous;
    size_t previousChannel = 0;
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        std::vector<std::vector<std::wstring>> values;
        if (reader.GetHeaderMetaData(handles[channel], L"-SessionUUID", values) != OrvDataTypes::OrvSuccess)
            return PublishReaderFailure(messageEvent, reader);
        if (values.empty() || values.front().empty()) {
            messageEvent.Publish(OrvLogging::Error,
                                 L"No data returned from header when getting Session UUID for CSC file.");
            return FailNaming(channel, L"its header has no -SessionUUID value");
        }
        const std::wstring& current = values.front().front();
        if (!previous.empty() && current != previous) {
            messageEvent.Publish(OrvLogging::Error,
                                 L"Error, Session UUIDs do not match between CSC files.  Current UUID: " + current
                                     + L", Previous UUID: " + previous);
            return FailNaming(channel, L"its -SessionUUID differs from that of " + FileNameOf(previousChannel));
        }
        previous = current;
        previousChannel = channel;
    }
    messageEvent.Publish(OrvLogging::Notice, L"Session UUIDs successfull verified for all CSC files.");
    return 0;
}

int OrvToEDF::GetSampleFrequency(Velquor::OrvFileIO& reader, const std::vector<int>& handles, int& frequency)
{
    int previous = -1;
    int highest = 0;
    std::vector<int> frequencies;
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        std::wstring field;
        if (GetFirstField(reader, handles, channel, L"-SamplingFrequency", field) != 0)
            return -1;
        int current = 0;
        (void)ReadWholeNumber(field, current);  // a value that is not a whole number counts as 0
        if (current < 1 || current > highestSampleFrequency) {
            std::wostringstream message;
            message << L"Invalid -SamplingFrequency value " << field << L" for CSC file: " << FileNameOf(channel)
                    << L". It must be a whole number of samples per second from 1 to " << highestSampleFrequency
                    << L".";
            messageEvent.Publish(OrvLogging::Error, message.str());
            return -1;
        }
        // With exact record timing every channel keeps its own rate.
        if (previous != -1 && current != previous && !options.exactTiming) {
            std::wostringstream message;
            message << L"Error, sample frequencies do not match between CSC files.  Current sample frequency: "
                    << current << L", Previous sample frequency: " << previous;
            messageEvent.Publish(OrvLogging::Error, message.str());
            return FailNaming(channel, L"its -SamplingFrequency differs from that of " + FileNameOf(channel - 1));
        }
        previous = current;
        highest = std::max(highest, current);
        frequencies.push_back(current);
    }
    parameters.sampleFrequencies = frequencies;
    if (std::any_of(frequencies.begin(), frequencies.end(), [previous](int f) { return f != previous; })) {
        frequency = highest;
        return 0;  // records whole for every rate last 1 ms to 1 s, and always fit
    }
    // The data records that the writer makes of this frequency must be ones that it can write.
    if (!handles.empty()
        && !EDFPlusFileWriter::RecordsFit(static_cast<int>(handles.size()), previous, options.exactTiming)) {
        std::wostringstream message;
        message << L"Invalid -SamplingFrequency value " << previous << L" for CSC file: " << FileNameOf(0) << L". With "
                << handles.size() << L" channels its data records would last less than 1 ms, the shortest that "
                << L"the EDF writer makes" << (options.exactTiming ? L"." : L"; exact record timing avoids this.");
        messageEvent.Publish(OrvLogging::Error, message.str());
        return -1;
    }
    frequency = previous;
    return 0;
}

// The reader decides a file's records by its -FileType line, or without one by its extension
// (".oev" for events), and hands out records of that kind. An event record is 184 bytes, a CSC
// record 1,044: read as the other kind, records would be read past their end.
int OrvToEDF::VerifyRecordKind(Velquor::OrvFileIO& reader, int handle, const std::wstring& fileName, bool wantEvents)
{
    std::vector<std::vector<std::wstring>> values;
    if (reader.GetHeaderMetaData(handle, L"-FileType", values) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messageEvent, reader);
    const bool declared = !values.empty() && !values.front().empty();
    // the reader opens no file of another type
    const bool holdsEvents = Velquor::RecordKindOf(fileName, values) != Velquor::OrvRecordKind::Csc;
    if (holdsEvents == wantEvents)
        return 0;
    const std::wstring reason =
        declared ? L"-FileType " + values.front().front()
                 : std::wstring(holdsEvents ? L"its name ends in .oev" : L"its name does not end in .oev");
    messageEvent.Publish(OrvLogging::Error, L"Unable to use " + fileName
                                                + (wantEvents ? L" as the event file: it holds CSC records ("
                                                              : L" as a CSC file: it holds event records (")
                                                + reason + L").");
    return -1;
}

int OrvToEDF::GetFirstField(Velquor::OrvFileIO& reader, const std::vector<int>& handles, size_t channel,
                            const std::wstring& key, std::wstring& field)
{
    std::vector<std::vector<std::wstring>> values;
    if (reader.GetHeaderMetaData(handles[channel], key, values) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messageEvent, reader);
    if (values.empty() || values.front().empty()) {
        messageEvent.Publish(OrvLogging::Error, L"No data returned from header when getting " + key + L" for CSC file: "
                                                    + FileNameOf(channel));
        return -1;
    }
    field = values.front().front();
    return 0;
}

int OrvToEDF::FailNaming(size_t channel, const std::wstring& reason)
{
    messageEvent.Publish(OrvLogging::Error, OrvText::FileErrorText(FileNameOf(channel), reason));
    return -1;
}

const std::wstring& OrvToEDF::FileNameOf(size_t channel) const
{
    static const std::wstring unknown;
    return channel < cscFileNames.size() ? cscFileNames[channel] : unknown;
}

int OrvToEDF::TransferSamples(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                              int sampleFrequency, int eventHandle)
{
    if (parameters.MixedRates())
        return TransferMixedRates(writer, reader, handles, eventHandle);
    ResamplingPlan plan;
    std::string planError;
    if (options.resampleHz > 0 && !plan.Design(sampleFrequency, options.resampleHz, planError))
        return FailNaming(0, L"cannot be resampled: " + OrvText::Utf8ToWide(planError));
    RecordingParameters written = parameters;  // the files' own rate when resampled
    written.sampleFrequency = options.resampleHz > 0 ? options.resampleHz : sampleFrequency;
    written.sampleFrequencies.assign(handles.size(), written.sampleFrequency);
    EventAnnotations events(reader, eventHandle, messageEvent);
    SegmentOutput output(writer, outputFileName, written, options, static_cast<int>(handles.size()), events, summary,
                         messageEvent);
    SampleTransfer transfer(reader, handles, sampleFrequency, output, messageEvent, progressHandler, cancelCheck);
    SegmentResampler resampler(plan, handles.size(), output);
    if (options.resampleHz > 0)
        transfer.ResampleThrough(resampler);
    const int transferred = transfer.TransferSamples();  // before the samples it left out are asked
    if (FinishTransfer(transferred, transfer.SamplesLeftOut(), writer, output, events) != 0)
        return -1;
    ReportClippedSamples(resampler.ClippedSamples(), written.sampleFrequency,
                         L" beyond the 16-bit range once resampled and ");
    ReportTextsAndVerification(writer);
    return 0;
}

int OrvToEDF::TransferMixedRates(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                                 int eventHandle)
{
    // one plan per rate, each to the output rate
    std::map<int, ResamplingPlan> plans;
    std::vector<const ResamplingPlan*> channelPlans;
    RecordingParameters written = parameters;  // resampled: every channel at the output rate
    if (options.resampleHz > 0) {
        for (size_t c = 0; c < handles.size() && c < parameters.sampleFrequencies.size(); ++c) {
            const int rate = parameters.sampleFrequencies[c];
            std::string planError;
            if (!plans.contains(rate) && !plans[rate].Design(rate, options.resampleHz, planError))
                return FailNaming(c, L"cannot be resampled: " + OrvText::Utf8ToWide(planError));
            channelPlans.push_back(&plans[rate]);
        }
        written.sampleFrequency = options.resampleHz;
        written.sampleFrequencies.assign(handles.size(), options.resampleHz);
    }
    EventAnnotations events(reader, eventHandle, messageEvent);
    SegmentOutput output(writer, outputFileName, written, options, static_cast<int>(handles.size()), events, summary,
                         messageEvent);
    MixedRateTransfer transfer(reader, handles, parameters.sampleFrequencies, output, messageEvent, progressHandler,
                               cancelCheck);
    SegmentResampler resampler(channelPlans, output);
    if (options.resampleHz > 0)
        transfer.ResampleThrough(resampler);
    const int transferred = transfer.TransferSamples();  // before the samples it left out are asked
    if (FinishTransfer(transferred, transfer.SamplesLeftOut(), writer, output, events) != 0)
        return -1;
    ReportClippedSamples(resampler.ClippedSamples(), written.sampleFrequency,
                         L" beyond the 16-bit range once resampled and ");
    ReportTextsAndVerification(writer);
    return 0;
}

int OrvToEDF::FinishTransfer(int transferred, const std::vector<uint64_t>& leftOut, const EDFPlusFileWriter& writer,
                             SegmentOutput& output, EventAnnotations& events)
{
    if (transferred != 0) {
        output.LeaveUnfinished();
        return -1;
    }
    if (output.NameFiles() != 0)
        return -1;
    ReportChannelsCut(leftOut);
    if (ReportEventsLeftOut(events) != 0)
        return -1;
    ReportClippedSamples(writer.ClippedSamples(), parameters.sampleFrequency,
                         L" beyond the A/D maximum of the channel's header and ");
    return 0;
}

void OrvToEDF::ReportTextsAndVerification(const EDFPlusFileWriter& writer)
{
    ReportTextsCut();
    if (options.verify) {
        std::wostringstream message;
        message << L"Verified " << writer.VerifiedFileCount() << L" EDF files: every sample and annotation matches.";
        messageEvent.Publish(OrvLogging::Notice, message.str());
    }
}

void OrvToEDF::ReportPartialRecords(const std::wstring& eventFileName)
{
    summary.partialRecords = FindPartialRecords(cscFileNames, eventFileName);
    for (InputLeftOut& file : summary.partialRecords) {
        for (size_t c = 0; c < cscFileNames.size(); ++c)
            file.channel = cscFileNames[c] == file.file ? parameters.channelNames[c] : file.channel;
    }
    PublishWarning(PartialRecordsWarning(summary.partialRecords, parameters.sampleFrequency));
}

void OrvToEDF::ReportChannelsCut(const std::vector<uint64_t>& samplesLeftOut)
{
    for (size_t c = 0; c < samplesLeftOut.size(); ++c) {
        if (samplesLeftOut[c] > 0)
            summary.channelsCut.push_back({FileNameOf(c), parameters.channelNames[c], samplesLeftOut[c], 0});
    }
    PublishWarning(ChannelsCutWarning(summary.channelsCut, parameters.sampleFrequency));
}

void OrvToEDF::PublishWarning(const std::wstring& text)
{
    if (!text.empty())
        messageEvent.Publish(OrvLogging::Warning, text);
}

int OrvToEDF::ReportEventsLeftOut(EventAnnotations& events)
{
    EventAnnotations::LeftOut leftOut;
    if (events.FindEventsLeftOut(leftOut) != 0)
        return -1;
    const auto count = static_cast<int64_t>(leftOut.events.size());
    summary.eventsLeftOut = count;
    summary.leftOutEvents = std::move(leftOut.events);
    if (count > 0) {
        std::wostringstream message;
        message << count << (count == 1 ? L" event lies" : L" events lie")
                << L" in no EDF+ file: before the first sample instant, in a gap or after the last one "
                << L"(timestamps from " << leftOut.earliest << L" \u00b5s to " << leftOut.latest << L" \u00b5s).";
        messageEvent.Publish(OrvLogging::Warning, message.str());
    }
    return 0;
}

void OrvToEDF::ReportClippedSamples(const std::vector<int64_t>& clipped, int sampleFrequency, const wchar_t* reason)
{
    std::wostringstream channels;
    int64_t total = 0;
    for (size_t c = 0; c < clipped.size() && c < summary.channels.size(); ++c) {
        summary.channels[c].clippedSamples += clipped[c];
        if (clipped[c] == 0)
            continue;
        total += clipped[c];
        channels << (total == clipped[c] ? L" " : L"; ") << summary.channels[c].name << L" ("
                 << summary.channels[c].file << L") " << clipped[c] << L" samples (" << std::fixed
                 << std::setprecision(6) << static_cast<double>(clipped[c]) / sampleFrequency << L" s)";
    }
    if (total == 0)
        return;
    std::wostringstream message;
    message << total << (total == 1 ? L" sample lay" : L" samples lay") << reason << (total == 1 ? L"was" : L"were")
            << L" clipped to the digital range:" << channels.str() << L".";
    messageEvent.Publish(OrvLogging::Warning, message.str());
}

void OrvToEDF::ReportTextsCut()
{
    const std::vector<EventSummary>& cut = summary.textsCut;
    if (cut.empty())
        return;
    std::wostringstream message;
    message << cut.size() << (cut.size() == 1 ? L" event text was" : L" event texts were")
            << L" cut to the 40 bytes of an annotation:";
    for (size_t i = 0; i < cut.size(); ++i)
        message << (i == 0 ? L" " : L"; ") << cut[i].timestamp << L" \u00b5s \"" << OrvText::Latin1ToWide(cut[i].text)
                << L"\"";
    message << L".";
    messageEvent.Publish(OrvLogging::Warning, message.str());
}
