#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "edf/EDFPlusFileWriter.h"
#include "engine/ConversionOptions.h"
#include "engine/ConversionSummary.h"
#include "engine/RecordingParameters.h"
#include "logging/SubscribedEvent.h"
#include "reader/OrvFileIO.h"

// The conversion engine: checks that a set of CSC files belong together, reads their header
// values, and moves their samples, aligned in time, into one EDF+C file per gap-free segment with
// the recording's events as annotations. Every failure is published on the message event before
// -1 is returned; the writer's messages are forwarded there too.
class EventAnnotations;
class SegmentOutput;

class OrvToEDF {
public:
    // fraction of the recording converted so far, 0 to 1
    using ProgressHandler = std::function<void(double fraction)>;

    OrvToEDF() = default;
    virtual ~OrvToEDF() = default;
    OrvToEDF(const OrvToEDF&) = delete;
    OrvToEDF& operator=(const OrvToEDF&) = delete;

    void Subscribe(MessageHandler handler, SubscriptionId& id);
    void SetProgressHandler(ProgressHandler handler);
    void SetOptions(const ConversionOptions& conversionOptions) { options = conversionOptions; }
    // Asked once per data record; true stops the conversion, which then fails.
    void SetCancelCheck(std::function<bool()> check) { cancelCheck = std::move(check); }
    // How the user makes a choice that a message names; none by default.
    void SetChoiceHint(ChoiceHint hint) { choiceHint = std::move(hint); }
    // What the last Convert read and wrote, as far as it came.
    const ConversionSummary& Summary() const { return summary; }
    // For tests of the verification: called with every file closed, before it is verified.
    void SetClosedFileHook(EDFPlusFileWriter::ClosedFileHook hook) { closedFileHook = std::move(hook); }

    // 0 when the EDF+ output was written and every input file closed, -1 otherwise.
    int Convert(const std::wstring& outputFileName, const std::wstring& eventFileName,
                std::vector<std::wstring> cscFileNames);

    void OnWriterMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text);

    // Session checks and files.
    int OpenEventFile(const std::wstring& eventFileName, Velquor::OrvFileIO& reader, int& handle);
    int VerifyEventFile(Velquor::OrvFileIO& reader, int handle);
    int CloseEventFile(Velquor::OrvFileIO& reader, int handle);
    int OpenCSCFiles(std::vector<std::wstring> fileNames, Velquor::OrvFileIO& reader, std::vector<int>& handles);
    int CloseCSCFiles(Velquor::OrvFileIO& reader, const std::vector<int>& handles);
    int VerifySessionUUIDs(Velquor::OrvFileIO& reader, const std::vector<int>& handles);
    int GetSampleFrequency(Velquor::OrvFileIO& reader, const std::vector<int>& handles, int& frequency);

    // Channel header values.
    int GetInputRanges(Velquor::OrvFileIO& reader, const std::vector<int>& handles, std::vector<int>& ranges);
    int GetADMaxValues(Velquor::OrvFileIO& reader, const std::vector<int>& handles, std::vector<int>& values);
    int GetChannelNames(Velquor::OrvFileIO& reader, const std::vector<int>& handles, std::vector<std::wstring>& names);
    int GetTimeCreated(Velquor::OrvFileIO& reader, int handle, tm& time);
    // The labels given for the channels and, when the options ask for them, the filter settings
    // and polarity that the headers hold.
    int GetChannelExtras(Velquor::OrvFileIO& reader, const std::vector<int>& handles);

    // The samples of every channel into one output file per gap-free segment, each with its
    // events as annotations.
    int TransferSamples(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                        int sampleFrequency, int eventHandle);

private:
    // The transfer of channels of different rates, each written at its own.
    int TransferMixedRates(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                           int eventHandle);
    // After a transfer (transferred: its result): the files named, or left unfinished when it
    // failed, and the Warnings about channels cut, events left out and samples clipped.
    int FinishTransfer(int transferred, const std::vector<uint64_t>& leftOut, const EDFPlusFileWriter& writer,
                       SegmentOutput& output, EventAnnotations& events);
    // The last Warning and Notice of a transfer: texts cut, files verified.
    void ReportTextsAndVerification(const EDFPlusFileWriter& writer);
    // The Warning about events that no file received; none when every event found a file.
    int ReportEventsLeftOut(EventAnnotations& events);
    // The Warning that names, per channel, the samples clipped to the digital range; none when
    // no sample was.
    // reason: where the samples lay, as in " beyond the A/D maximum of the channel's header and "
    void ReportClippedSamples(const std::vector<int64_t>& clipped, int sampleFrequency, const wchar_t* reason);
    // The Warning that names the events whose texts were cut; none when every text is whole.
    void ReportTextsCut();
    // The Warnings, and the summary's entries, about input files that end in a partial record
    // and about samples of longer channels that no file holds; none when nothing is left out.
    void ReportPartialRecords(const std::wstring& eventFileName);
    void ReportChannelsCut(const std::vector<uint64_t>& samplesLeftOut);
    void PublishWarning(const std::wstring& text);  // none when the text is empty
    // Fails, naming the file, unless it holds event records (wantEvents) or CSC records (not).
    int VerifyRecordKind(Velquor::OrvFileIO& reader, int handle, const std::wstring& fileName, bool wantEvents);
    // Fetches the first field of the first row of key for one channel; a missing value fails.
    int GetFirstField(Velquor::OrvFileIO& reader, const std::vector<int>& handles, size_t channel,
                      const std::wstring& key, std::wstring& field);
    const std::wstring& FileNameOf(size_t channel) const;
    // The Error that follows a fixed message naming no file: "<channel's file>: <reason>."; -1.
    int FailNaming(size_t channel, const std::wstring& reason);

    MessageEvent messageEvent;
    std::wstring outputFileName;
    RecordingParameters parameters;
    ConversionOptions options;
    EDFPlusFileWriter::ClosedFileHook closedFileHook;
    std::function<bool()> cancelCheck;
    ChoiceHint choiceHint;
    ConversionSummary summary;
    std::vector<std::wstring> cscFileNames;  // the files of the running conversion, for messages
    ProgressHandler progressHandler;
};
