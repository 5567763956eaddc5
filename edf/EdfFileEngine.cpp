#include "edf/EdfFileEngine.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>

#include "EdfAnnotationRewrite.h"
#include "EdfFileState.h"
#include "EdfHeaderWriter.h"
#include "EdfNumbers.h"
#include "EdfText.h"
#include "edf/EdfLayout.h"

namespace {

constexpr int annotationListGrowth = 1'000;

// The engine's table of open files: the only mutable state of the module.
struct EdfSlot {
    std::unique_ptr<EdfFileState> state;           // null: the slot is empty
    std::unique_ptr<EdfAnnotation[]> annotations;  // state->annotationCount entries in use
};

EdfSlot edfFiles[edfMaxOpenFiles];
int edfOpenCount = 0;
StreamSettings edfStreamSettings;  // of the files opened from now on

EdfFileState* OpenFile(int handle)
{
    if (handle < 0 || handle >= edfMaxOpenFiles)
        return nullptr;
    return edfFiles[handle].state.get();
}

// The file, while its parameters may still change: no data record written yet.
EdfFileState* AcceptingFile(int handle)
{
    EdfFileState* state = OpenFile(handle);
    return state != nullptr && !state->headerWritten ? state : nullptr;
}

EdfSignalParams* AcceptingSignal(int handle, int signal)
{
    EdfFileState* state = AcceptingFile(handle);
    if (state == nullptr || signal < 0 || signal >= state->signalCount)
        return nullptr;
    return &state->signals[signal];
}

// Text for a header field held in `target`: as much of `text` as it holds, folded to printable
// ASCII, which is all the header holds.
template <std::size_t size> void CopyFolded(char (&target)[size], const char* text)
{
    const std::size_t length = strnlen(text, size - 1);
    std::memcpy(target, text, length);
    target[length] = '\0';
    FoldToAscii(target);
}

// Stores one parameter of a signal, if the file accepts parameters and the value is `valid`.
template <typename Value>
int SetSignalField(int handle, int signal, Value EdfSignalParams::*field, Value value, bool valid)
{
    EdfSignalParams* params = AcceptingSignal(handle, signal);
    if (params == nullptr || !valid)
        return EdfFailure;
    params->*field = value;
    return EdfOk;
}

int64_t RecordBytes(const EdfFileState& state)
{
    return EdfSampleBytesPerRecord(state) + state.annotationBytesPerRecord;
}

// How many of the samples lie outside [low, high]; branch-free.
std::size_t CountOutside(const int16_t* samples, std::size_t count, int16_t low, int16_t high)
{
    std::size_t outside = 0;
    for (std::size_t k = 0; k < count; ++k)
        outside += static_cast<std::size_t>((samples[k] < low) | (samples[k] > high));
    return outside;
}

// Samples clamped into [low, high] (greater than high first, then less than low), written low byte
// first; returns how many were clamped. Branch-free, so that the compiler turns it into vector
// min, max and stores; the samples are counted only when the smallest or the largest lies
// outside, which the same pass finds.
std::size_t ClampToLittleEndian(const int16_t* samples, std::size_t count, int16_t low, int16_t high,
                                unsigned char* out)
{
    int16_t smallest = INT16_MAX;
    int16_t largest = INT16_MIN;
    for (std::size_t k = 0; k < count; ++k) {
        smallest = std::min(smallest, samples[k]);
        largest = std::max(largest, samples[k]);
        const int16_t value = std::max(std::min(samples[k], high), low);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out + 2 * k, &value, 2);
        } else {
            out[2 * k] = static_cast<unsigned char>(value & 0xFF);
            out[2 * k + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
        }
    }
    return smallest < low || largest > high ? CountOutside(samples, count, low, high) : 0;
}

// One signal's samples of a record, clamped into its digital range, low byte first; without
// samples, digital 0 clamped into the range. Converts straight into the stream's buffer, and
// fingerprints the bytes there into `print` (when given) while the cache still holds them.
void WriteSignalSamples(BufferedFile& file, EdfSignalParams& signal, const int16_t* samples, RecordFingerprint* print)
{
    // the header checks passed, so both bounds are 16-bit values and low < high
    const auto low = static_cast<int16_t>(signal.digitalMinimum);
    const auto high = static_cast<int16_t>(signal.digitalMaximum);
    const int16_t fill = std::clamp<int16_t>(0, low, high);
    auto left = static_cast<std::size_t>(signal.samplesPerRecord);
    while (left > 0) {
        std::size_t count = std::min(left, file.BufferBytes() / 2);
        unsigned char* out = file.Reserve(count * 2);
        if (samples != nullptr) {
            signal.clippedSamples += static_cast<int64_t>(ClampToLittleEndian(samples, count, low, high, out));
            samples += count;
        } else {
            for (std::size_t k = 0; k < count; ++k) {
                out[2 * k] = static_cast<unsigned char>(fill & 0xFF);
                out[2 * k + 1] = static_cast<unsigned char>((fill >> 8) & 0xFF);
            }
        }
        if (print != nullptr)
            print->Add(out, count * 2);
        file.Commit(count * 2);
        left -= count;
    }
}

// Once a write has failed the file ends at the last data record that reached it whole: the count
// comes down to that record, and the file is cut there at close. True when a write has failed.
bool NoteFailedWrites(EdfFileState& state)
{
    const int64_t failedAt = state.file.FailedAt();
    if (failedAt < 0)
        return false;
    state.writeFailed = true;
    const int64_t whole = std::max<int64_t>(0, failedAt - EdfHeaderBytes(state)) / RecordBytes(state);
    state.recordsWritten = std::min(state.recordsWritten, whole);
    return true;
}

// Hands data record number recordsWritten to the stream after the header (already handed over)
// and counts it, unless a write has failed: then no record counts any more. The stream writes
// its buffers behind, so a failure shows at one of the next records, or at the sync before the
// close. Without samples every sample is digital 0, clamped.
bool AppendRecord(EdfFileState& state, const int16_t* samples)
{
    BufferedFile& file = state.file;
    if (NoteFailedWrites(state))
        return false;
    RecordFingerprint* print = state.recordPrints != nullptr ? &state.recordPrint : nullptr;
    for (int i = 0; i < state.signalCount; ++i) {
        EdfSignalParams& signal = state.signals[i];
        WriteSignalSamples(file, signal, samples, print);
        if (samples != nullptr)
            samples += signal.samplesPerRecord;
    }
    char slot[edfAnnotationSlotBytes];
    BuildAnnotationSlot(slot, state.recordsWritten, state.recordDurationTicks, nullptr, 0,
                        state.recordStartOffsetTicks);
    file.Write(slot, sizeof slot);
    const uint64_t fingerprint = print != nullptr ? print->Finish() : 0;
    if (NoteFailedWrites(state))
        return false;
    state.recordsWritten += 1;
    if (print != nullptr)
        state.recordPrints->push_back(fingerprint);
    return true;
}

// A file closed before its first data record gets the header and one record of digital zeros
// per annotation, so that it matches its header and its annotations have slots to go into.
int WriteRecordsAtClose(EdfFileState& state)
{
    if (int header = EdfWriteHeader(state); header != EdfOk)
        return header;
    for (int i = 0; i < state.annotationCount; ++i)
        if (!AppendRecord(state, nullptr))
            break;
    return EdfOk;
}

void WriteRecordCount(EdfFileState& state)
{
    if (state.recordsWritten > edfLargestFieldNumber)
        return;  // a larger count leaves "-1"
    char text[24];
    int length = WriteDecimal(text, state.recordsWritten);
    if (length < 2)
        text[length++] = ' ';  // replaces all of "-1"
    if (state.file.Seek(EdfFieldOffset(EdfHeaderField::RecordCount)))
        state.file.Write(text, static_cast<std::size_t>(length));
}

// Annotation i goes into the slot of record i; those beyond the last record are left out, and so
// is the rest after a failed write.
void PlaceAnnotations(EdfFileState& state, const EdfAnnotation* annotations)
{
    const int64_t firstSlot = EdfHeaderBytes(state) + EdfSampleBytesPerRecord(state);
    const int64_t recordBytes = RecordBytes(state);
    const int64_t placed = std::min<int64_t>(state.annotationCount, state.recordsWritten);
    for (int64_t i = 0; i < placed; ++i) {
        if (!state.file.Seek(firstSlot + i * recordBytes))
            return;
        char slot[edfAnnotationSlotBytes];
        BuildAnnotationSlot(slot, i, state.recordDurationTicks, annotations[i].Text(), annotations[i].onset,
                            state.recordStartOffsetTicks, annotations[i].onsetDecimals);
        state.file.Write(slot, sizeof slot);
    }
}

}  // namespace

bool EdfSamplesPerRecordAccepted(int samplesPerRecord)
{
    return samplesPerRecord >= 1 && samplesPerRecord <= edfLargestSamplesPerRecord;
}

bool EdfRecordDurationAccepted(int duration)
{
    return duration >= edfShortestRecordDuration && duration <= edfLongestRecordDuration;
}

bool EdfStartDateTimeAccepted(int year, int month, int day, int hour, int minute, int second)
{
    return year >= edfEarliestYear && year <= edfLatestYear && month >= 1 && month <= 12 && day >= 1 && day <= 31
           && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

bool EdfDigitalMaximumAccepted(int value)
{
    return value <= edfLargestDigitalValue;
}

bool EdfDigitalMinimumAccepted(int value)
{
    return value >= edfSmallestDigitalValue;
}

const char* EdfResultText(int code)
{
    switch (code) {
    case EdfOk:
        return "no failure";
    case EdfCannotCreate:
        return "the file cannot be created";
    case EdfNameTaken:
        return "a file of that name exists already";
    case EdfNoFreeSlot:
        return "64 EDF files are open already in this program";
    case EdfPathAlreadyOpen:
        return "the file is open already in this program";
    case EdfBadSignalCount:
        return "the signal count lies outside 0 to 512";
    case EdfBadSamplesPerRecord:
        return "its header cannot be written: a signal has no samples per data record";
    case EdfDigitalRangeEmpty:
        return "its header cannot be written: a signal's digital minimum equals its digital maximum";
    case EdfDigitalRangeInverted:
        return "its header cannot be written: a signal's digital maximum lies below its digital minimum";
    case EdfPhysicalRangeEmpty:
        return "its header cannot be written: a signal's physical minimum equals its physical maximum as written";
    case EdfAnnotationsLeftOut:
        return "some annotations found no room in it";
    default:
        return "the EDF file engine refused the call";
    }
}

namespace {

// A slot for a new file at `path` whose stream `openStream` opens (0 or a code): its handle, or a
// code.
template <typename Opener> int OpenInSlot(const char* path, int signalCount, Opener openStream)
{
    if (edfOpenCount >= edfMaxOpenFiles)
        return EdfNoFreeSlot;
    for (const EdfSlot& slot : edfFiles)
        if (slot.state && path != nullptr && std::strcmp(slot.state->path.get(), path) == 0)
            return EdfPathAlreadyOpen;
    if (signalCount < 0 || signalCount > edfMaxSignals)
        return EdfBadSignalCount;

    std::unique_ptr<EdfFileState> state(new (std::nothrow) EdfFileState);
    if (!state)
        return EdfFailure;
    const std::size_t pathBytes = path != nullptr ? std::strlen(path) + 1 : 1;
    state->path.reset(new (std::nothrow) char[pathBytes]);
    state->signals.reset(new (std::nothrow) EdfSignalParams[static_cast<std::size_t>(signalCount)]);
    if (!state->path || !state->signals || !state->file.AllocateBuffer(edfStreamSettings))
        return EdfFailure;
    state->signalCount = signalCount;

    auto empty =
        std::find_if(std::begin(edfFiles), std::end(edfFiles), [](const EdfSlot& slot) { return !slot.state; });
    if (empty == std::end(edfFiles))
        return EdfNoFreeSlot;
    empty->annotations.reset();
    if (const int opened = openStream(state->file); opened != EdfOk)
        return opened;
    std::memcpy(state->path.get(), path, pathBytes);
    empty->state = std::move(state);
    edfOpenCount += 1;
    return static_cast<int>(empty - std::begin(edfFiles));
}

}  // namespace

int EdfSetStreamSettings(const StreamSettings& settings)
{
    if (!settings.Valid())
        return EdfFailure;
    edfStreamSettings = settings;
    return EdfOk;
}

int EdfOpenFile(const char* path, int signalCount)
{
    int errorNumber = 0;
    return EdfOpenFile(path, signalCount, errorNumber);
}

int EdfOpenFile(const char* path, int signalCount, int& errorNumber)
{
    errorNumber = 0;
    return OpenInSlot(path, signalCount, [path, &errorNumber](BufferedFile& file) {
        if (!file.Create(path, errorNumber))
            return errorNumber == EEXIST ? EdfNameTaken : EdfCannotCreate;
        return EdfOk;
    });
}

int EdfOpenFileDescriptor(int descriptor, const char* path, int signalCount)
{
    bool adopted = false;
    const int handle = OpenInSlot(path, signalCount, [&](BufferedFile& file) {
        adopted = file.Adopt(descriptor);
        return adopted ? EdfOk : EdfCannotCreate;
    });
    if (!adopted && descriptor >= 0)
        (void)close(descriptor);
    return handle;
}

int EdfSetSamplesPerRecord(int handle, int signal, int samplesPerRecord)
{
    return SetSignalField(handle, signal, &EdfSignalParams::samplesPerRecord, samplesPerRecord,
                          EdfSamplesPerRecordAccepted(samplesPerRecord));
}

int EdfSetPhysicalMaximum(int handle, int signal, double value)
{
    if (EdfSignalParams* params = AcceptingSignal(handle, signal))
        params->physicalNearest = false;
    return SetSignalField(handle, signal, &EdfSignalParams::physicalMaximum, value, true);
}

int EdfSetPhysicalMinimum(int handle, int signal, double value)
{
    if (EdfSignalParams* params = AcceptingSignal(handle, signal))
        params->physicalNearest = false;
    return SetSignalField(handle, signal, &EdfSignalParams::physicalMinimum, value, true);
}

int EdfSetPhysicalRangeNearest(int handle, int signal, double minimum, double maximum)
{
    EdfSignalParams* params = AcceptingSignal(handle, signal);
    char text[24];
    if (params == nullptr || FormatDoubleNearest(text, minimum, 8) < 0 || FormatDoubleNearest(text, maximum, 8) < 0)
        return EdfFailure;
    params->physicalMinimum = minimum;
    params->physicalMaximum = maximum;
    params->physicalNearest = true;
    return EdfOk;
}

int EdfSetDigitalMaximum(int handle, int signal, int value)
{
    return SetSignalField(handle, signal, &EdfSignalParams::digitalMaximum, value, EdfDigitalMaximumAccepted(value));
}

int EdfSetDigitalMinimum(int handle, int signal, int value)
{
    return SetSignalField(handle, signal, &EdfSignalParams::digitalMinimum, value, EdfDigitalMinimumAccepted(value));
}

int EdfSetLabel(int handle, int signal, const char* label)
{
    EdfSignalParams* params = AcceptingSignal(handle, signal);
    if (params == nullptr || label == nullptr)
        return EdfFailure;
    std::size_t end = strnlen(label, edfMaxLabelLength);
    std::size_t begin = 0;
    while (begin < end && label[begin] == ' ')
        ++begin;
    while (end > begin && label[end - 1] == ' ')
        --end;
    std::memcpy(params->label, label + begin, end - begin);
    params->label[end - begin] = '\0';
    return EdfOk;
}

int EdfSetPhysicalDimension(int handle, int signal, const char* unit)
{
    EdfSignalParams* params = AcceptingSignal(handle, signal);
    if (params == nullptr || unit == nullptr)
        return EdfFailure;
    CopyFolded(params->physicalDimension, unit);
    return EdfOk;
}

int EdfSetPrefiltering(int handle, int signal, const char* text)
{
    EdfSignalParams* params = AcceptingSignal(handle, signal);
    if (params == nullptr || text == nullptr)
        return EdfFailure;
    CopyFolded(params->prefiltering, text);
    return EdfOk;
}

int EdfSetIdentification(int handle, const char* patient, const char* recording)
{
    EdfFileState* state = AcceptingFile(handle);
    if (state == nullptr || patient == nullptr || recording == nullptr
        || std::strlen(patient) > static_cast<std::size_t>(edfMaxPatientLength)
        || std::strlen(recording) > static_cast<std::size_t>(edfMaxRecordingSubfieldsLength))
        return EdfFailure;
    CopyFolded(state->patient, patient);
    CopyFolded(state->recording, recording);
    return EdfOk;
}

int EdfSetRecordStartOffset(int handle, int64_t ticks)
{
    EdfFileState* state = AcceptingFile(handle);
    if (state == nullptr || ticks < 0 || ticks >= 10'000'000)
        return EdfFailure;
    state->recordStartOffsetTicks = ticks;
    return EdfOk;
}

int EdfSetRecordDuration(int handle, int duration)
{
    EdfFileState* state = AcceptingFile(handle);
    if (state == nullptr || !EdfRecordDurationAccepted(duration))
        return EdfFailure;
    state->recordDurationTicks = static_cast<int64_t>(duration) * 100;
    state->recordDuration = static_cast<double>(state->recordDurationTicks) / 10'000'000.0;
    return EdfOk;
}

int EdfSetStartDateTime(int handle, int year, int month, int day, int hour, int minute, int second)
{
    EdfFileState* state = AcceptingFile(handle);
    // the day is not checked against the month: 31 February is taken
    if (state == nullptr || !EdfStartDateTimeAccepted(year, month, day, hour, minute, second))
        return EdfFailure;
    state->startYear = year;
    state->startMonth = month;
    state->startDay = day;
    state->startHour = hour;
    state->startMinute = minute;
    state->startSecond = second;
    return EdfOk;
}

int EdfWriteRecord(int handle, const int16_t* samples)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr || state->signalCount == 0 || samples == nullptr || NoteFailedWrites(*state))
        return EdfFailure;
    if (!state->headerWritten)  // the first record writes the header
        if (int header = EdfWriteHeader(*state); header != EdfOk)
            return header;
    return AppendRecord(*state, samples) ? EdfOk : EdfFailure;
}

int EdfKeepRecordFingerprints(int handle, std::vector<uint64_t>* into)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr)
        return EdfFailure;
    state->recordPrints = into;
    state->recordPrint = RecordFingerprint();
    return EdfOk;
}

int EdfSetWholeAnnotationTexts(int handle)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr)
        return EdfFailure;
    state->annotationTexts = AnnotationTexts::Whole;
    return EdfOk;
}

int EdfAddAnnotation(int handle, const char* text, int64_t onset)
{
    return EdfAddAnnotationInUnits(handle, text, onset, 4);
}

int EdfAddAnnotationInUnits(int handle, const char* text, int64_t onset, int onsetDecimals)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr || text == nullptr || onset < 0 || onsetDecimals < 0 || onsetDecimals > 7)
        return EdfFailure;
    EdfSlot& slot = edfFiles[handle];
    if (state->annotationCount >= state->annotationCapacity) {
        if (state->annotationCapacity > INT_MAX - annotationListGrowth)
            return EdfFailure;
        const int capacity = state->annotationCapacity + annotationListGrowth;
        std::unique_ptr<EdfAnnotation[]> grown(new (std::nothrow) EdfAnnotation[static_cast<std::size_t>(capacity)]);
        if (!grown)
            return EdfFailure;
        std::move(slot.annotations.get(), slot.annotations.get() + state->annotationCount, grown.get());
        slot.annotations = std::move(grown);
        state->annotationCapacity = capacity;
    }
    EdfAnnotation& annotation = slot.annotations[state->annotationCount];
    annotation.onset = onset;
    annotation.onsetDecimals = onsetDecimals;
    annotation.duration = -1;
    char stored[edfMaxWholeAnnotationTextBytes + 1];
    const int length = StoredAnnotationText(text, state->annotationTexts, stored);
    annotation.longText.reset();
    if (length > edfMaxAnnotationTextBytes) {
        annotation.longText.reset(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]);
        if (!annotation.longText)
            return EdfFailure;
        std::memcpy(annotation.longText.get(), stored, static_cast<std::size_t>(length) + 1);
    } else {
        std::memcpy(annotation.text, stored, static_cast<std::size_t>(length) + 1);
    }
    state->annotationCount += 1;
    return EdfOk;
}

int64_t EdfClippedSamples(int handle, int signal)
{
    const EdfFileState* state = OpenFile(handle);
    if (state == nullptr || signal < 0 || signal >= state->signalCount)
        return EdfFailure;
    return state->signals[signal].clippedSamples;
}

int EdfFinishFile(int handle, std::string& completePath)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr)
        return EdfFailure;
    if (!state->headerWritten && WriteRecordsAtClose(*state) != EdfOk)
        return EdfFailure;  // the header checks failed: the file stays open
    EdfSlot& slot = edfFiles[handle];

    // From here on failures are not reported, but for annotations left out: the file is closed.
    // After a failed write the count and the annotations still go into the header and the slots
    // of the whole records, blocks that the file has.
    (void)state->file.Sync();
    if (NoteFailedWrites(*state))
        state->file.ForgetFailure();
    WriteRecordCount(*state);
    if (state->writeFailed)  // cut off what a failed record left behind the last whole one
        (void)state->file.Truncate(EdfHeaderBytes(*state) + state->recordsWritten * RecordBytes(*state));
    int result = EdfOk;
    const bool everyTextFits = std::all_of(slot.annotations.get(), slot.annotations.get() + state->annotationCount,
                                           [](const EdfAnnotation& annotation) { return annotation.FitsSlot(); });
    completePath = state->path.get();
    if (state->annotationCount <= state->recordsWritten && everyTextFits) {
        PlaceAnnotations(*state, slot.annotations.get());
    } else if (!RewriteWithEveryAnnotation(*state, slot.annotations.get(), completePath)) {
        PlaceAnnotations(*state, slot.annotations.get());
        result = EdfAnnotationsLeftOut;
    }
    (void)state->file.Close();

    slot.annotations.reset();
    slot.state.reset();
    edfOpenCount -= 1;
    return result;
}

int EdfCloseFile(int handle)
{
    std::string completePath;
    const EdfFileState* state = OpenFile(handle);
    const std::string path = state != nullptr ? state->path.get() : "";
    const int result = EdfFinishFile(handle, completePath);
    if (result != EdfFailure && completePath != path && std::rename(completePath.c_str(), path.c_str()) != 0) {
        (void)unlink(completePath.c_str());
        return EdfAnnotationsLeftOut;
    }
    return result;
}

int64_t EdfRecordsInFile(int handle)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr)
        return 0;
    (void)state->file.Sync();
    (void)NoteFailedWrites(*state);
    return state->recordsWritten;
}

int EdfSyncRecords(int handle)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr)
        return EdfFailure;
    (void)state->file.Sync();
    return NoteFailedWrites(*state) ? EdfFailure : EdfOk;
}

int EdfWriteErrorNumber(int handle)
{
    EdfFileState* state = OpenFile(handle);
    return state == nullptr ? 0 : state->file.FailedErrorNumber();
}

bool EdfAcceptsParameters(int handle)
{
    return AcceptingFile(handle) != nullptr;
}

int EdfCheckHeader(int handle)
{
    const EdfFileState* state = OpenFile(handle);
    return state == nullptr ? EdfFailure : EdfCheckSignals(*state);
}

int EdfReleaseFile(int handle)
{
    EdfFileState* state = OpenFile(handle);
    if (state == nullptr)
        return EdfFailure;
    (void)state->file.Close();  // what was handed over is still written
    edfFiles[handle].annotations.reset();
    edfFiles[handle].state.reset();
    edfOpenCount -= 1;
    return EdfOk;
}
