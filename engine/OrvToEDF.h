#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "edf/EDFPlusFileWriter.h"
#include "logging/SubscribedEvent.h"
#include "reader/OrvFileIO.h"

// The conversion engine: checks that a set of CSC files belong together, reads their header
// values, and moves their samples, aligned in time, into one EDF+C file per gap-free segment with
// the recording's events as annotations. Every failure is published on the message event before
// -1 is returned; the writer's messages are forwarded there too.
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
    int GetChannelNames(Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                        std::vector<std::wstring>& names);
    int GetTimeCreated(Velquor::OrvFileIO& reader, int handle, tm& time);

    // Events of [segmentStart, segmentEnd] (µs) as annotations of the open output file.
    int WriteEventAnnotations(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, int eventHandle,
                              uint64_t segmentStart, uint64_t segmentEnd);

    int TransferSamples(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                        int sampleFrequency, int eventHandle);

private:
    struct ChannelCursor {
        uint32_t recordIndex = 0;  // record that holds the channel's next sample
        uint32_t sampleIndex = 0;  // that sample within the record
        int32_t recordCount = 0;
    };

    // Everything the transfer keeps between sample instants.
    struct TransferState;

    enum SampleResult { SampleRead = 0, SampleFailed = -1, ChannelEnded = 1 };

    int StartEDFFile(EDFPlusFileWriter& writer, const std::vector<int>& handles, int& samplesPerRecord);
    int SetSignalParameters(EDFPlusFileWriter& writer, int& samplesPerRecord);
    int GetRecordCounts(Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                        std::vector<ChannelCursor>& cursors);
    // sampleOffsetsUs: µs after the record's timestamp of the sample at each index of a record.
    SampleResult ReadNextSample(Velquor::OrvFileIO& reader, ChannelCursor& cursor, int handle, short& sample,
                                uint64_t& timestamp, const uint64_t* sampleOffsetsUs);
    int SetStartDateFromTimestamp(EDFPlusFileWriter& writer, uint64_t timestamp);
    int FinishEDFFile(EDFPlusFileWriter& writer, uint32_t& fillIndex, std::vector<short>& recordBuffer,
                      Velquor::OrvFileIO& reader, int eventHandle, uint64_t segmentStart, uint64_t segmentEnd);
    SampleResult ReadInstant(TransferState& state);
    SampleResult AlignChannels(TransferState& state);
    int StoreInstant(TransferState& state);
    uint32_t AlignedRunLength(TransferState& state);
    static uint32_t InstantsInAgreement(const TransferState& state, uint32_t run);
    int StoreRun(TransferState& state, uint32_t run);
    int CompleteRecordIfFull(TransferState& state);
    void ReportProgress(const ChannelCursor& cursor);

    enum class EventWalk { Continue, Stop, Fail };
    using EventVisitor = std::function<EventWalk(const unsigned char* record)>;
    // Hands the event file's first maxRecords records, in the reader's batches, to visit until it
    // stops or fails. -1 when visit fails (it has published why) or the reader does.
    int WalkEventRecords(Velquor::OrvFileIO& reader, int handle, int maxRecords, const EventVisitor& visit);

    // Publishes the reader's last error text unchanged as an Error; returns -1.
    int ReaderFailure(Velquor::OrvFileIO& reader);
    // Fails, naming the file, unless it holds event records (wantEvents) or CSC records (not).
    int VerifyRecordKind(Velquor::OrvFileIO& reader, int handle, const std::wstring& fileName, bool wantEvents);
    // Fetches the first field of the first row of key for one channel; a missing value fails.
    int GetFirstField(Velquor::OrvFileIO& reader, const std::vector<int>& handles, size_t channel,
                      const std::wstring& key, std::wstring& field);
    const std::wstring& FileNameOf(size_t channel) const;

    MessageEvent messageEvent;
    std::wstring outputFileName;
    int sampleFrequency = 0;  // Hz, common to all CSC files
    std::vector<int> inputRanges;
    std::vector<int> adMaxValues;
    std::vector<std::wstring> channelNames;
    tm recordingStartTime{};  // calendar values: full year, month 1 to 12
    std::vector<std::wstring> cscFileNames;  // the files of the running conversion, for messages
    ProgressHandler progressHandler;
};
