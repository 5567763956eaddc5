#include "edf/EDFPlusFileWriter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "EdfNumbers.h"
#include "EdfText.h"
#include "edf/EdfFileEngine.h"
#include "edf/EdfLayout.h"
#include "edf/RecordSizing.h"
#include "edf/UnfinishedFile.h"
#include "logging/FileErrors.h"
#include "logging/TextConversion.h"

namespace {

// A file system object exists under the name and is not a directory, or a run that is alive
// writes the file that is to get the name. A symbolic link counts as taken whatever it points to
// (lstat): creating the file through a dangling link would write wherever the link leads.
bool IsTakenName(const std::string& utf8Name)
{
    struct stat info {};
    return (lstat(utf8Name.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) || UnfinishedFile::IsHeldByLiveRun(utf8Name);
}

std::wstring NumberedName(const std::wstring& stem, int number, const std::wstring& extension)
{
    std::wostringstream name;
    name << stem << L'_';
    if (number < 10)
        name << L'0';
    name << number << extension;
    return name.str();
}

// The first of stem_01.ext, stem_02.ext, ... (from the path's last '.') that no file takes.
std::string FirstFreeNumberedName(const std::string& name)
{
    const std::wstring wide = OrvText::Utf8ToWide(name);
    const size_t dot = wide.rfind(L'.');
    const std::wstring stem = wide.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : wide.substr(dot);
    std::string candidate;
    for (int number = 1;; ++number) {
        candidate = OrvText::WideToUtf8(NumberedName(stem, number, extension));
        if (!IsTakenName(candidate))
            return candidate;
    }
}

// Whether the last part of the path is longer than its directory's file system allows.
bool NameTooLong(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const size_t nameBytes = slash == std::string::npos ? path.size() : path.size() - slash - 1;
    const long limit = pathconf(directory.c_str(), _PC_NAME_MAX);
    return nameBytes > static_cast<size_t>(limit > 0 ? limit : NAME_MAX);
}

std::wstring Widen(const char* ascii)
{
    return OrvText::Latin1ToWide(ascii);
}

// A duration of whole 10 µs in seconds, as the header writes it: 0.02941, 0.5, 1.
std::wstring FormatDuration(int units)
{
    char text[32];
    const int length = WriteSeconds(text, static_cast<int64_t>(units) * 100);
    return OrvText::Latin1ToWide(std::string_view(text, static_cast<size_t>(length)));
}

}  // namespace

EDFPlusFileWriter::~EDFPlusFileWriter()
{
    int64_t records = 0;
    (void)CloseUnfinished(records);  // a destructor reports nothing
}

void EDFPlusFileWriter::Subscribe(MessageHandler handler, SubscriptionId& id)
{
    messageEvent.Subscribe(std::move(handler), id);
}

int EDFPlusFileWriter::OpenFile(std::wstring& fileName, int signalCount)
{
    if (signalCount > edfMaxSignals) {
        std::wostringstream message;
        message << L"Unable to open EDF file named: " << fileName << L". The signal count (" << signalCount
                << L") must be less than or equal to " << edfMaxSignals << L".";
        return Fail(message.str());
    }
    std::string name = OrvText::WideToUtf8(fileName);
    if (firstFileName.empty())
        firstFileName = name;
    if (IsTakenName(name))
        name = FreeName(name);
    int errorNumber = 0;
    UnfinishedFile::Reservation reserved = unfinished.Reserve(name, errorNumber);
    // Another program (another run on the same directory) took the name after it was found
    // free: the next free name is tried.
    for (int attempt = 0; reserved == UnfinishedFile::Reservation::Taken && attempt < maxCreateAttempts; ++attempt) {
        name = FreeName(name);
        reserved = unfinished.Reserve(name, errorNumber);
    }
    fileName = OrvText::Utf8ToWide(name);
    edfHandle = reserved != UnfinishedFile::Reservation::Reserved
                    ? EdfCannotCreate
                    : EdfOpenFileDescriptor(dup(unfinished.Descriptor()), unfinished.Path().c_str(), signalCount);
    openFileName = fileName;
    fileOpen = edfHandle >= 0;
    if (edfHandle < 0) {
        unfinished.Discard();
        const std::wstring reason = errorNumber != 0          ? OrvText::SystemReason(errorNumber)
                                    : edfHandle == EdfFailure ? std::wstring(L"out of memory")
                                                              : Widen(EdfResultText(edfHandle));
        return Fail(L"Unable to open EDF file named: " + fileName, reason);
    }
    this->signalCount = signalCount;
    recordsWritten = 0;
    annotationsWritten = 0;
    if (annotationTexts == AnnotationTexts::Whole && EdfSetWholeAnnotationTexts(edfHandle) != 0)
        return Fail(L"Unable to open EDF file named: " + fileName);
    if (verification) {
        verification->Begin(signalCount);
        if (EdfKeepRecordFingerprints(edfHandle, verification->RecordFingerprints()) != 0)
            return Fail(L"Unable to open EDF file named: " + fileName);
    }
    clipsInFile = 0;
    if (unfinished.TookOver())
        messageEvent.Publish(OrvLogging::Notice, L"Taking over " + OrvText::Utf8ToWide(unfinished.Path())
                                                     + L", left unfinished by a conversion that was killed.");
    messageEvent.Publish(OrvLogging::Notice,
                         L"EDF File Opened Successfully: "
                             + (namingDeferred ? OrvText::Utf8ToWide(unfinished.Path()) : fileName));
    return 0;
}

std::string EDFPlusFileWriter::FreeName(const std::string& name) const
{
    const std::string next = MakeUniqueFileName(name);
    // A name that grows by a number for every file would soon pass what the file system allows:
    // then the counter starts again over the name of the first file.
    return NameTooLong(next) ? FirstFreeNumberedName(firstFileName) : next;
}

int EDFPlusFileWriter::SetSampleFrequency(int sampleFrequency, int& samplesPerRecord)
{
    samplesPerRecord = sampleFrequency;
    const RecordSize size = RecordSizeFor(signalCount, sampleFrequency, exactRecordTiming);
    recordDurationUnits = oneSecondUnits;
    if (size.durationUnits != oneSecondUnits) {
        if (EdfSetRecordDuration(edfHandle, size.durationUnits) != 0) {
            std::wostringstream reason;
            reason << L"data records of " << signalCount << L" signals at " << sampleFrequency << L" Hz would last "
                   << FormatDuration(size.durationUnits) << L" s, outside the "
                   << FormatDuration(edfShortestRecordDuration) << L" s to " << FormatDuration(edfLongestRecordDuration)
                   << L" s that an EDF data record may last";
            return Fail(L"Unable to set data record duration", RefusalReason(-1, reason.str()));
        }
        samplesPerRecord = size.samplesPerRecord;
        recordDurationUnits = size.durationUnits;
    }
    if (!exactRecordTiming && !timingWarned)
        WarnOfRateSeen(sampleFrequency, size);
    return SetSamplesPerRecord(samplesPerRecord);
}

RecordSize EDFPlusFileWriter::RecordSizeFor(int signalCount, int sampleFrequency, bool exactTiming)
{
    return exactTiming ? ExactRecordSize(signalCount, sampleFrequency)
                       : SpecifiedRecordSize(signalCount, sampleFrequency);
}

bool EDFPlusFileWriter::RecordsFit(int signalCount, int sampleFrequency, bool exactTiming)
{
    // what SetSampleFrequency hands the engine: the duration only when it is not one second
    const RecordSize size = RecordSizeFor(signalCount, sampleFrequency, exactTiming);
    return (size.durationUnits == oneSecondUnits || EdfRecordDurationAccepted(size.durationUnits))
           && EdfSamplesPerRecordAccepted(size.samplesPerRecord);
}

void EDFPlusFileWriter::WarnOfRateSeen(int sampleFrequency, const RecordSize& size)
{
    const double seen = RateSeen(size);
    const double ratio = static_cast<double>(sampleFrequency) / seen;  // true seconds per second read
    if (std::fabs(ratio - 1) <= 1e-6)
        return;
    timingWarned = true;
    std::wostringstream message;
    message << std::fixed << std::setprecision(2) << L"Data records of " << size.samplesPerRecord << L" samples last "
            << FormatDuration(size.durationUnits) << L" s: EDF readers will see " << seen << L" Hz instead of "
            << sampleFrequency << L" Hz, " << std::fabs(ratio - 1) * 3600 << L" s per hour. "
            << WithChoiceHint(L"Exact record timing", ConversionChoice::ExactRecordTiming, choiceHint)
            << L" avoids this.";
    messageEvent.Publish(OrvLogging::Warning, message.str());
}

int EDFPlusFileWriter::SetPhysicalDimension(int signal, const std::string& unit)
{
    if (EdfSetPhysicalDimension(edfHandle, signal, unit.c_str()) != 0)
        return Fail(L"Error writing physical dimension header value", RefusalReason(signal, {}));
    return 0;
}

int EDFPlusFileWriter::SetPrefiltering(int signal, const std::string& text)
{
    if (EdfSetPrefiltering(edfHandle, signal, text.c_str()) != 0)
        return Fail(L"Error writing prefiltering header value", RefusalReason(signal, {}));
    return 0;
}

int EDFPlusFileWriter::SetIdentification(const std::string& patient, const std::string& recording)
{
    if (EdfSetIdentification(edfHandle, patient.c_str(), recording.c_str()) != 0)
        return Fail(L"Error writing patient and recording identification to EDF file",
                    RefusalReason(-1, L"the subfields do not fit their 80-character fields"));
    return 0;
}

int EDFPlusFileWriter::SetRecordStartOffset(int64_t offsetUs)
{
    if (EdfSetRecordStartOffset(edfHandle, offsetUs * 10) != 0)
        return Fail(L"Error writing the first data record's start offset to EDF file",
                    RefusalReason(-1, L"an offset of " + std::to_wstring(offsetUs)
                                          + L" \u00b5s is not from 0 to below one second"));
    return 0;
}

int EDFPlusFileWriter::SetSamplesPerRecord(int samplesPerRecord)
{
    for (int signal = 0; signal < signalCount; ++signal) {
        if (SetSignalSamples(signal, samplesPerRecord) != 0)
            return -1;
    }
    recordSamplesSet = static_cast<size_t>(std::max(signalCount, 0)) * static_cast<size_t>(samplesPerRecord);
    if (verification)
        verification->SetSamplesPerRecord(samplesPerRecord);
    return 0;
}

int EDFPlusFileWriter::SetSampleFrequencies(const std::vector<int>& sampleFrequencies,
                                            std::vector<int>& samplesPerRecord)
{
    const MixedRecordSize size = ExactMixedRecordSize(sampleFrequencies);
    if (static_cast<int>(size.samplesPerRecord.size()) != signalCount)
        return Fail(L"Error writing sample frequency to EDF file",
                    RefusalReason(-1, std::to_wstring(sampleFrequencies.size()) + L" sampling frequencies for "
                                          + std::to_wstring(signalCount) + L" signals"));
    recordDurationUnits = oneSecondUnits;
    if (size.durationUnits != oneSecondUnits) {
        if (EdfSetRecordDuration(edfHandle, size.durationUnits) != 0)
            return Fail(L"Unable to set data record duration",
                        RefusalReason(-1, L"data records of " + FormatDuration(size.durationUnits) + L" s"));
        recordDurationUnits = size.durationUnits;
    }
    recordSamplesSet = 0;
    for (int signal = 0; signal < signalCount; ++signal) {
        if (SetSignalSamples(signal, size.samplesPerRecord[static_cast<size_t>(signal)]) != 0)
            return -1;
        recordSamplesSet += static_cast<size_t>(size.samplesPerRecord[static_cast<size_t>(signal)]);
    }
    if (verification)
        verification->SetSamplesPerRecord(size.samplesPerRecord);
    samplesPerRecord = size.samplesPerRecord;
    return 0;
}

int EDFPlusFileWriter::SetSignalSamples(int signal, int samplesPerRecord)
{
    if (EdfSetSamplesPerRecord(edfHandle, signal, samplesPerRecord) == 0)
        return 0;
    return Fail(
        L"Error writing sample frequency to EDF file",
        RefusalReason(signal, std::to_wstring(samplesPerRecord) + L" samples per data record lie outside the 1 to "
                                  + std::to_wstring(edfLargestSamplesPerRecord) + L" that the header's field holds"));
}

int EDFPlusFileWriter::SetPhysicalRange(int signal, double minimum, double maximum)
{
    if (EdfSetPhysicalMaximum(edfHandle, signal, maximum) != 0)
        return Fail(L"Error writing physical maximum header value", RefusalReason(signal, {}));
    if (EdfSetPhysicalMinimum(edfHandle, signal, minimum) != 0)
        return Fail(L"Error writing physical minimum header value", RefusalReason(signal, {}));
    return 0;
}

int EDFPlusFileWriter::SetPhysicalRangeNearest(int signal, double minimum, double maximum)
{
    if (EdfSetPhysicalRangeNearest(edfHandle, signal, minimum, maximum) != 0) {
        std::wostringstream message;
        message << L"Error writing physical range header values " << minimum << L" to " << maximum << L" of signal "
                << signal << L" to EDF file " << openFileName << L": they do not fit the header's 8 characters.";
        return Fail(message.str());
    }
    return 0;
}

int EDFPlusFileWriter::SetDigitalRange(int signal, int minimum, int maximum)
{
    if (EdfSetDigitalMaximum(edfHandle, signal, maximum) != 0)
        return Fail(L"Error writing digital maximum header value",
                    RefusalReason(signal, L"the digital maximum " + std::to_wstring(maximum) + L" lies above "
                                              + std::to_wstring(edfLargestDigitalValue)
                                              + L", the largest 16-bit sample"));
    if (EdfSetDigitalMinimum(edfHandle, signal, minimum) != 0)
        return Fail(L"Error writing digital minimum header value",
                    RefusalReason(signal, L"the digital minimum " + std::to_wstring(minimum) + L" lies below "
                                              + std::to_wstring(edfSmallestDigitalValue)
                                              + L", the smallest 16-bit sample"));
    if (verification)
        verification->SetDigitalRange(signal, minimum, maximum);
    return 0;
}

int EDFPlusFileWriter::SetLabel(int signal, const std::string& label)
{
    if (label.size() > static_cast<size_t>(edfMaxLabelLength)) {
        std::wostringstream message;
        message << L"Warning, header labels can only be a max of " << edfMaxLabelLength << L" chars, the label: "
                << OrvText::Latin1ToWide(label) << L" will be truncated.";
        messageEvent.Publish(OrvLogging::Warning, message.str());
    }
    if (EdfSetLabel(edfHandle, signal, label.c_str()) != 0)
        return Fail(L"Error writing label header value", RefusalReason(signal, {}));
    return 0;
}

int EDFPlusFileWriter::WriteAnnotation(int64_t onset, const std::string& text)
{
    return AddAnnotation(onset, 4, text);
}

int EDFPlusFileWriter::WriteFineAnnotation(int64_t onsetTicks, const std::string& text)
{
    return AddAnnotation(onsetTicks, 7, text);
}

int EDFPlusFileWriter::WriteMicrosecondAnnotation(int64_t onsetUs, const std::string& text)
{
    return AddAnnotation(onsetUs, 6, text);
}

int EDFPlusFileWriter::AddAnnotation(int64_t onset, int onsetDecimals, const std::string& text)
{
    if (EdfAddAnnotationInUnits(edfHandle, text.c_str(), onset, onsetDecimals) != 0)
        return Fail(L"Error writing annotation.", AnnotationRefusal(onset));
    ++annotationsWritten;
    if (verification)
        verification->AddAnnotation(onset, onsetDecimals, text, annotationTexts);
    return 0;
}

bool EDFPlusFileWriter::CutsText(const std::string& text) const
{
    char stored[edfMaxWholeAnnotationTextBytes + 1];
    char whole[edfMaxWholeAnnotationTextBytes + 1];
    const int length = StoredAnnotationText(text.c_str(), annotationTexts, stored);
    return length != StoredAnnotationText(text.c_str(), AnnotationTexts::Whole, whole)
           || std::memcmp(stored, whole, static_cast<size_t>(length)) != 0 || text.size() > edfMaxWholeTextInputBytes;
}

int EDFPlusFileWriter::WriteDataRecord(const std::vector<short>& samples)
{
    if (fileOpen && samples.size() < recordSamplesSet)  // the engine reads a whole record's samples
        return Fail(L"Error writing data to file", L"the data record holds " + std::to_wstring(samples.size())
                                                       + L" samples instead of the " + std::to_wstring(recordSamplesSet)
                                                       + L" of its signals");
    if (EdfWriteRecord(edfHandle, samples.data()) != 0)
        return Fail(L"Error writing data to file", WriteRefusal());
    ++recordsWritten;
    if (verification && !clipsReported) {
        // a clipped sample is not expected, so the record is not what was handed over
        const int64_t clips = ClipsInOpenFile();
        if (clips != clipsInFile)
            verification->MarkAltered(recordsWritten - 1);
        clipsInFile = clips;
    }
    return 0;
}

int64_t EDFPlusFileWriter::ClipsInOpenFile() const
{
    int64_t clips = 0;
    for (int signal = 0; signal < signalCount; ++signal)
        clips += std::max<int64_t>(EdfClippedSamples(edfHandle, signal), 0);
    return clips;
}

int EDFPlusFileWriter::SyncRecords()
{
    if (fileOpen && EdfSyncRecords(edfHandle) != EdfOk)
        return Fail(L"Error writing data to file", WriteRefusal());
    return 0;
}

int EDFPlusFileWriter::SetStartDate(tm startTime)
{
    if (EdfSetStartDateTime(edfHandle, startTime.tm_year, startTime.tm_mon, startTime.tm_mday, startTime.tm_hour,
                            startTime.tm_min, startTime.tm_sec)
        != 0) {
        wchar_t date[96];
        std::swprintf(date, std::size(date), L"%04d-%02d-%02d %02d:%02d:%02d", startTime.tm_year, startTime.tm_mon,
                      startTime.tm_mday, startTime.tm_hour, startTime.tm_min, startTime.tm_sec);
        std::wostringstream reason;
        reason << L"the start date and time " << date << L" (year-month-day hour:minute:second) lies outside what "
               << L"the header holds, the years " << edfEarliestYear << L" to " << edfLatestYear
               << L" and a time of day from 00:00:00 to 23:59:59";
        return Fail(L"Error writing start date to EDF file", RefusalReason(-1, reason.str()));
    }
    return 0;
}

int EDFPlusFileWriter::CloseFile()
{
    // A record that could not be written shows here at the latest. The file stays open; the
    // destructor closes it at its last whole record.
    if (SyncRecords() != 0)
        return -1;
    clippedSamples.resize(static_cast<size_t>(std::max(signalCount, 0)), 0);
    for (int signal = 0; signal < signalCount; ++signal)
        clippedSamples[static_cast<size_t>(signal)] += std::max<int64_t>(EdfClippedSamples(edfHandle, signal), 0);
    std::string complete;
    const int closed = EdfFinishFile(edfHandle, complete);
    if (closed == EdfFailure)
        return Fail(L"Unable to close EDF file.", RefusalReason(-1, Widen(EdfResultText(EdfCheckHeader(edfHandle)))));
    fileOpen = false;
    if (closed == EdfAnnotationsLeftOut) {
        std::wostringstream message;
        if (annotationsWritten > recordsWritten)
            message << L"Unable to keep every annotation in EDF file " << openFileName << L": "
                    << annotationsWritten - recordsWritten << L" of " << annotationsWritten
                    << L" were left out, since the file could not be rewritten with room for them.";
        else  // every annotation has its record, but a whole text does not fit its slot
            message << L"Unable to keep every annotation text whole in EDF file " << openFileName
                    << L": those longer than " << edfMaxAnnotationTextBytes
                    << L" bytes were cut, since the file could not be rewritten with room for them.";
        messageEvent.Publish(OrvLogging::Warning, message.str());
    }
    // verified before it gets its name: a file that fails stays unfinished
    if (verification && VerifyClosedFile(closed == EdfAnnotationsLeftOut, complete) != 0) {
        unfinished.Leave(complete);
        return -1;
    }
    keptName = OrvText::Utf8ToWide(unfinished.Path());
    if (namingDeferred) {
        unfinished.Leave(complete);
        return 0;
    }
    int errorNumber = 0;
    if (!unfinished.Name(complete, errorNumber)) {
        unfinished.Leave(complete);
        return Fail(L"Unable to give EDF file " + keptName + L" its name " + openFileName + L": "
                    + OrvText::Utf8ToWide(std::generic_category().message(errorNumber)) + L".");
    }
    return 0;
}

std::wstring EDFPlusFileWriter::UnfinishedName() const
{
    return OrvText::Utf8ToWide(unfinished.Path());
}

int EDFPlusFileWriter::CloseUnfinished(int64_t& records)
{
    records = 0;
    if (!fileOpen)
        return -1;
    fileOpen = false;
    records = EdfRecordsInFile(edfHandle);
    std::string complete;
    if (EdfFinishFile(edfHandle, complete) == EdfFailure) {
        // its header checks fail: released as it is, empty
        (void)EdfReleaseFile(edfHandle);
        complete.clear();
        records = 0;
    }
    keptName = OrvText::Utf8ToWide(unfinished.Path());
    unfinished.Leave(complete);
    return 0;
}

void EDFPlusFileWriter::SetVerification(bool on)
{
    verification = on ? std::make_unique<EdfVerification>() : nullptr;
}

void EDFPlusFileWriter::SetClipsReported(bool reported)
{
    clipsReported = reported;
}

int EDFPlusFileWriter::VerifyClosedFile(bool annotationsLeftOut, const std::string& path)
{
    if (annotationsLeftOut)
        verification->KeepAnnotations(static_cast<size_t>(recordsWritten));
    if (closedFileHook)
        closedFileHook(path);
    const std::wstring mismatch = verification->Compare(path);
    if (!mismatch.empty())
        return Fail(L"Verification of EDF file " + openFileName + L" failed: " + mismatch);
    ++verifiedFiles;
    return 0;
}

std::string EDFPlusFileWriter::MakeUniqueFileName(const std::string& name)
{
    if (name.empty())
        return {};
    return IsTakenName(name) ? FirstFreeNumberedName(name) : name;
}

int EDFPlusFileWriter::Fail(const std::wstring& message)
{
    messageEvent.Publish(OrvLogging::Error, message);
    return -1;
}

int EDFPlusFileWriter::Fail(const std::wstring& message, const std::wstring& reason)
{
    messageEvent.Publish(OrvLogging::Error, message);
    messageEvent.Publish(OrvLogging::Error, OrvText::FileErrorText(openFileName, reason));
    return -1;
}

std::wstring EDFPlusFileWriter::RefusalReason(int signal, const std::wstring& valueReason) const
{
    if (!fileOpen)
        return L"no EDF file is open under that name";
    if (!EdfAcceptsParameters(edfHandle))
        return L"its header went out with the first data record, and header values cannot change after that";
    if (signal < -1 || signal >= signalCount) {
        std::wostringstream reason;
        reason << L"it has no signal " << signal << L": its signals are numbered 0 to " << signalCount - 1;
        return reason.str();
    }
    return valueReason.empty() ? std::wstring(L"the EDF file engine refused the value") : valueReason;
}

std::wstring EDFPlusFileWriter::AnnotationRefusal(int64_t onset) const
{
    if (!fileOpen)
        return L"no EDF file is open under that name";
    if (onset < 0)
        return L"the onset " + std::to_wstring(onset) + L" lies before the start of the file";
    return L"out of memory for the file's list of annotations";
}

std::wstring EDFPlusFileWriter::WriteRefusal() const
{
    if (!fileOpen)
        return L"no EDF file is open under that name";
    if (const int errorNumber = EdfWriteErrorNumber(edfHandle); errorNumber != 0)
        return OrvText::SystemReason(errorNumber);
    if (EdfAcceptsParameters(edfHandle))  // the header was refused
        return Widen(EdfResultText(EdfCheckHeader(edfHandle)));
    return L"the EDF file engine refused the data record";
}
