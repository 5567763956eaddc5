#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "edf/EdfFileEngine.h"
#include "edf/EdfVerification.h"
#include "edf/RecordSizing.h"
#include "edf/UnfinishedFile.h"
#include "logging/ConversionChoice.h"
#include "logging/SubscribedEvent.h"

// Writes EDF+C files one at a time through the file engine: picks a free file name, sizes the
// data records from the sampling frequency and publishes a message for every failure on its
// message event before it returns -1.
class EDFPlusFileWriter {
public:
    EDFPlusFileWriter() = default;
    // Closes a file still open (after a failure) as CloseUnfinished does, without a message.
    virtual ~EDFPlusFileWriter();
    EDFPlusFileWriter(const EDFPlusFileWriter&) = delete;
    EDFPlusFileWriter& operator=(const EDFPlusFileWriter&) = delete;

    void Subscribe(MessageHandler handler, SubscriptionId& id);

    // fileName comes back holding the free name actually used: fileName itself when no file
    // takes it, else the first free one of stem_01.ext, stem_02.ext, ... (MakeUniqueFileName);
    // once such a name would be too long for the file system, the first free one numbered over
    // the name that the first OpenFile of this writer was given. The file is written under its
    // unfinished name (UnfinishedFile.h), which reserves the name, and gets the name at CloseFile:
    // never opened over an existing one.
    int OpenFile(std::wstring& fileName, int signalCount);
    // Files closed keep their unfinished names, for the caller to name them once it knows how
    // (UnfinishedFile::RenameWithoutReplacing); the Notice of OpenFile then names the unfinished
    // file. Off by default.
    void SetNamingDeferred(bool deferred) { namingDeferred = deferred; }
    // Every file read back once it is closed and compared with what was handed over (samples,
    // annotations); a mismatch fails the close with an Error that names the first one.
    void SetVerification(bool on);
    // Whether the caller reports the samples clipped into the digital range (ClippedSamples): the
    // verification then expects them clipped, as written. Otherwise it expects every sample as it
    // was handed over, and a clipped one is a mismatch. Reported by default.
    void SetClipsReported(bool reported);
    // Per signal, the samples clipped into its digital range in every file closed so far.
    const std::vector<int64_t>& ClippedSamples() const { return clippedSamples; }
    int VerifiedFileCount() const { return verifiedFiles; }
    // The file open now (or closed last): data records and annotations handed over, record size.
    int64_t RecordsWritten() const { return recordsWritten; }
    int64_t AnnotationsWritten() const { return annotationsWritten; }
    int RecordDurationUnits() const { return recordDurationUnits; }  // units of 10 µs
    // Called with the UTF-8 path of every file just closed, before it is verified: tests change
    // the file there to see the verification catch it.
    using ClosedFileHook = std::function<void(const std::string& path)>;
    void SetClosedFileHook(ClosedFileHook hook) { closedFileHook = std::move(hook); }

    // Records whose duration is exactly their samples / frequency (ExactRecordSize) from the next
    // SetSampleFrequency on, instead of the usual sizing; off by default.
    void SetExactRecordTiming(bool exact) { exactRecordTiming = exact; }
    // How the user makes a choice that a message names (exact record timing, for one); none by
    // default.
    void SetChoiceHint(ChoiceHint hint) { choiceHint = std::move(hint); }
    // samplesPerRecord comes back holding the samples of each signal in one data record. With the
    // usual sizing, the first file whose records make EDF readers see another rate than the
    // sampling frequency gets a Warning that says which and how far it drifts; once per writer.
    int SetSampleFrequency(int sampleFrequency, int& samplesPerRecord);
    // The same for signals of different rates, one frequency per signal: data records that hold a
    // whole number of samples of every rate and last exactly that long (ExactMixedRecordSize).
    int SetSampleFrequencies(const std::vector<int>& sampleFrequencies, std::vector<int>& samplesPerRecord);
    // Whether SetSampleFrequency will take sampleFrequency for files of signalCount signals, with
    // exact record timing or without: asked before any file is opened.
    static bool RecordsFit(int signalCount, int sampleFrequency, bool exactTiming);
    int SetSamplesPerRecord(int samplesPerRecord);
    int SetPhysicalRange(int signal, double minimum, double maximum);
    // The same with both values written rounded to the nearest value the header holds (not
    // cut), for a range that must scale the samples exactly; fails for a value whose whole part
    // does not fit the header's 8 characters.
    int SetPhysicalRangeNearest(int signal, double minimum, double maximum);
    int SetDigitalRange(int signal, int minimum, int maximum);
    // unit: printable ASCII, at most 8 characters (the caller checks).
    int SetPhysicalDimension(int signal, const std::string& unit);
    // text: printable ASCII, at most 80 characters (the caller checks).
    int SetPrefiltering(int signal, const std::string& text);
    // The EDF+ patient subfields and the recording's after its start date, as EdfSetIdentification
    // takes them; empty ones stay "X".
    int SetIdentification(const std::string& patient, const std::string& recording);
    // The first data record starts offsetUs (below one second) after the start date and time.
    int SetRecordStartOffset(int64_t offsetUs);
    // label is ISO 8859-1 text; more than 16 characters are cut, with a warning.
    int SetLabel(int signal, const std::string& label);
    // onset in units of 100 µs from the start of the file; text is ISO 8859-1.
    int WriteAnnotation(int64_t onset, const std::string& text);
    // The same with the onset in units of 100 ns, for onsets finer than 100 µs.
    int WriteFineAnnotation(int64_t onsetTicks, const std::string& text);
    // The same with the onset in microseconds.
    int WriteMicrosecondAnnotation(int64_t onsetUs, const std::string& text);
    // Annotation texts whole (up to 255 characters, in UTF-8) in every file opened from now on,
    // instead of their first 40 bytes; off by default.
    void SetWholeTexts(bool whole) { annotationTexts = whole ? AnnotationTexts::Whole : AnnotationTexts::Cut; }
    // Whether WriteAnnotation would keep less than the whole of `text`.
    bool CutsText(const std::string& text) const;
    // One whole data record: all samples of signal 0, then of signal 1, and so on. Records reach
    // the file behind this call: a record that cannot be written fails a later WriteDataRecord,
    // or SyncRecords, with the same message.
    int WriteDataRecord(const std::vector<short>& samples);
    // Waits until every data record has reached the file; fails as WriteDataRecord does.
    int SyncRecords();
    // Calendar values: the full year in tm_year, the month 1 to 12 in tm_mon.
    int SetStartDate(tm startTime);
    // A file with more annotations than data records is rewritten so that it keeps them all;
    // when that fails, a Warning says how many were left out (the close still succeeds). The file
    // is verified (when asked) and then named; one that fails either keeps its unfinished name.
    int CloseFile();
    // After a failure: closes the file still open at its last whole record, under its unfinished
    // name, and publishes nothing. records receives the data records kept. -1 when no file was
    // open.
    int CloseUnfinished(int64_t& records);
    // Where the file closed last lies while (or when it stays) unfinished.
    const std::wstring& KeptName() const { return keptName; }
    // Where the file open now is written until it is complete.
    std::wstring UnfinishedName() const;

    // The first name, starting with `name` itself, that no file takes: name, stem_01.ext,
    // stem_02.ext, ... (a directory of that name does not count as taken).
    static std::string MakeUniqueFileName(const std::string& name);

private:
    int SetSignalSamples(int signal, int samplesPerRecord);
    static RecordSize RecordSizeFor(int signalCount, int sampleFrequency, bool exactTiming);
    int Fail(const std::wstring& message);
    // The message, then one more Error that names the file and the reason (FileErrorText).
    int Fail(const std::wstring& message, const std::wstring& reason);
    // Why the engine refused a value of the file (signal -1) or of one of its signals: no file
    // open, the header gone out already, no such signal, or else valueReason.
    std::wstring RefusalReason(int signal, const std::wstring& valueReason) const;
    std::wstring AnnotationRefusal(int64_t onset) const;
    // Why a data record (or the wait for the records) failed: the system's words for the failed
    // write, or the header check that refused the parameters.
    std::wstring WriteRefusal() const;
    int AddAnnotation(int64_t onset, int onsetDecimals, const std::string& text);
    void WarnOfRateSeen(int sampleFrequency, const RecordSize& size);
    std::string FreeName(const std::string& name) const;

    static constexpr int maxCreateAttempts = 10000;  // names found free, then taken by another program

    MessageEvent messageEvent;
    int edfHandle = -1;  // negative after a failed open
    int signalCount = -1;
    int VerifyClosedFile(bool annotationsLeftOut, const std::string& path);
    int64_t ClipsInOpenFile() const;  // samples clipped so far in the file open now, every signal

    bool exactRecordTiming = false;
    ChoiceHint choiceHint;
    bool clipsReported = true;
    std::vector<int64_t> clippedSamples;
    int64_t clipsInFile = 0;  // ClipsInOpenFile after the last data record
    AnnotationTexts annotationTexts = AnnotationTexts::Cut;
    std::unique_ptr<EdfVerification> verification;  // null unless files are verified
    int verifiedFiles = 0;
    ClosedFileHook closedFileHook;
    bool timingWarned = false;
    bool fileOpen = false;      // edfHandle names a file that this writer opened and has not closed
    std::string firstFileName;  // UTF-8, the name the first OpenFile was given
    std::wstring openFileName;  // the file open now, or last: its final name
    UnfinishedFile unfinished;  // where it is written, and the reservation of its name
    bool namingDeferred = false;
    std::wstring keptName;
    int64_t recordsWritten = 0;      // data records of the file open now
    int64_t annotationsWritten = 0;  // annotations handed over for it
    size_t recordSamplesSet = 0;     // of all signals of the file open now
    int recordDurationUnits = 0;
};
