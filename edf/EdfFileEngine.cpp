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

#include "edf/EdfAnnotationRewrite.h"
#include "edf/EdfFileState.h"
#include "edf/EdfHeaderWriter.h"
#include "edf/EdfNumbers.h"
#include "edf/EdfText.h"

namespace {

constexpr int annotationListGrowth = 1'000;
constexpr int64_t recordCountFieldOffset = 236;
constexpr int64_t largestRecordCountWritten = 99'999'999;  // a larger count leaves "-1"
// The header gives each signal's samples per record 8 characters: a larger count would be cut
// there, and the header would no longer describe the records.
constexpr int largestSamplesPerRecord = 99'999'999;

// The engine's table of open files: the only mutable state of the module.
struct EdfSlot {
    std::unique_ptr<EdfFileState> state;           // null: the slot is empty
    std::unique_ptr<EdfAnnotation[]> annotations;  // state->annotationCount entries in use
};

EdfSlot edfFiles[edfMaxOpenFiles];
int edfOpenCount = 0;

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

// Samples clamped into [low, high] (greater than high first, then less than low), written low byte
// first. Branch-free, so that the compiler turns it into vector min, max and stores.
void ClampToLittleEndian(const int16_t* samples, std::size_t count, int16_t low, int16_t high, unsigned char* out)
{
    for (std::size_t k = 0; k < count; ++k) {
        const int16_t value = std::max(std::min(samples[k], high), low);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out + 2 * k, &value, 2);
        } else {
            out[2 * k] = static_cast<unsigned char>(value & 0xFF);
            out[2 * k + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
        }
    }
}

// One signal's samples of a record, clamped into its digital range, low byte first; without
// samples, digital 0 clamped into the range. Converts straight into the stream's buffer.
void WriteSignalSamples(BufferedFile& file, const EdfSignalParams& signal, const int16_t* samples)
{
    // the header checks passed, so both bounds are 16-bit values and low < high
    const auto low = static_cast<int16_t>(signal.digitalMinimum);
    const auto high = static_cast<int16_t>(signal.digitalMaximum);
    const int16_t fill = std::clamp<int16_t>(0, low, high);
    auto left = static_cast<std::size_t>(signal.samplesPerRecord);
    while (left > 0) {
        std::size_t count = std::min(left, BufferedFile::bufferBytes / 2);
        unsigned char* out = file.Reserve(count * 2);
        if (samples != nullptr) {
            ClampToLittleEndian(samples, count, low, high, out);
            samples += count;
        } else {
            for (std::size_t k = 0; k < count; ++k) {
                out[2 * k] = static_cast<unsigned char>(fill & 0xFF);
                out[2 * k + 1] = static_cast<unsigned char>((fill >> 8) & 0xFF);
            }
        }
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
    for (int i = 0; i < state.signalCount; ++i) {
        const EdfSignalParams& signal = state.signals[i];
        WriteSignalSamples(file, signal, samples);
        if (samples != nullptr)
            samples += signal.samplesPerRecord;
    }
    char slot[edfAnnotationSlotBytes];
    BuildAnnotationSlot(slot, state.recordsWritten, state.recordDurationTicks, nullptr, 0,
                        state.recordStartOffsetTicks);
    file.Write(slot, sizeof slot);
    if (NoteFailedWrites(state))
        return false;
    state.recordsWritten += 1;
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
    if (state.recordsWritten > largestRecordCountWritten)
        return;
    char text[24];
    int length = WriteDecimal(text, state.recordsWritten);
    if (length < 2)
        text[length++] = ' ';  // replaces all of "-1"
    if (state.file.Seek(recordCountFieldOffset))
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
        BuildAnnotationSlot(slot, i, state.recordDurationTicks, annotations[i].text, annotations[i].onset,
                            state.recordStartOffsetTicks, annotations[i].onsetDecimals);
        state.file.Write(slot, sizeof slot);
    }
}

}  // namespace

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
    if (!state->path || !state->signals || !state->file.AllocateBuffer())
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

int EdfOpenFile(const char* path, int signalCount)
{
    return OpenInSlot(path, signalCount, [path](BufferedFile& file) {
        int errorNumber = 0;
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
                          samplesPerRecord >= 1 && samplesPerRecord <= largestSamplesPerRecord);
}

int EdfSetPhysicalMaximum(int handle, int signal, double value)
{
    return SetSignalField(handle, signal, &EdfSignalParams::physicalMaximum, value, true);
}

int EdfSetPhysicalMinimum(int handle, int signal, double value)
{
    return SetSignalField(handle, signal, &EdfSignalParams::physicalMinimum, value, true);
}

int EdfSetDigitalMaximum(int handle, int signal, int value)
{
    return SetSignalField(handle, signal, &EdfSignalParams::digitalMaximum, value, value <= INT16_MAX);
}

int EdfSetDigitalMinimum(int handle, int signal, int value)
{
    return SetSignalField(handle, signal, &EdfSignalParams::digitalMinimum, value, value >= INT16_MIN);
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
    const std::size_t length = strnlen(unit, edfMaxPhysicalDimensionLength);
    std::memcpy(params->physicalDimension, unit, length);
    params->physicalDimension[length] = '\0';
    FoldToAscii(params->physicalDimension);  // the header holds printable ASCII only
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
    if (state == nullptr || duration < 100 || duration > 6'000'000)
        return EdfFailure;
    state->recordDurationTicks = static_cast<int64_t>(duration) * 100;
    state->recordDuration = static_cast<double>(state->recordDurationTicks) / 10'000'000.0;
    return EdfOk;
}

int EdfSetStartDateTime(int handle, int year, int month, int day, int hour, int minute, int second)
{
    EdfFileState* state = AcceptingFile(handle);
    // the day is not checked against the month: 31 February is taken
    if (state == nullptr || year < 1970 || year > 3000 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0
        || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
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
        std::copy_n(slot.annotations.get(), state->annotationCount, grown.get());
        slot.annotations = std::move(grown);
        state->annotationCapacity = capacity;
    }
    EdfAnnotation& annotation = slot.annotations[state->annotationCount];
    annotation.onset = onset;
    annotation.onsetDecimals = onsetDecimals;
    annotation.duration = -1;
    const std::size_t length = strnlen(text, edfMaxAnnotationTextBytes);
    std::memcpy(annotation.text, text, length);
    annotation.text[length] = '\0';
    (void)Latin1ToUtf8(annotation.text, static_cast<int>(length));
    state->annotationCount += 1;
    return EdfOk;
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
    completePath = state->path.get();
    if (state->annotationCount <= state->recordsWritten) {
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
