#include "EdfAnnotationRewrite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>

#include "EdfFileState.h"
#include "EdfNumbers.h"
#include "EdfText.h"
#include "edf/EdfLayout.h"

namespace {

// The annotations that go into each record: the first `perRecord` into record 0, and so on.
int64_t AnnotationsPerRecord(const EdfFileState& state)
{
    return (state.annotationCount + state.recordsWritten - 1) / state.recordsWritten;
}

// Bytes of record `record`'s slot content: its time-keeping TAL, then each of its annotations'
// TALs, every TAL followed by a 0x00.
int64_t SlotContentBytes(const EdfFileState& state, const EdfAnnotation* annotations, int64_t record, int64_t perRecord)
{
    char tal[edfLongestTimeKeepingTalBytes + edfLongestWholeAnnotationTalBytes];
    int64_t bytes = WriteTimeKeepingTal(tal, record, state.recordDurationTicks, state.recordStartOffsetTicks) + 1;
    const int64_t end = std::min<int64_t>(state.annotationCount, (record + 1) * perRecord);
    for (int64_t i = record * perRecord; i < end; ++i)
        bytes += WriteAnnotationTal(tal, annotations[i].Text(), annotations[i].onset, annotations[i].onsetDecimals) + 1;
    return bytes;
}

// The slot of record `record` in the new layout, zero-filled to `slot.size()`.
void BuildWideSlot(const EdfFileState& state, const EdfAnnotation* annotations, int64_t record, int64_t perRecord,
                   std::string& slot)
{
    std::fill(slot.begin(), slot.end(), '\0');
    int64_t n = WriteTimeKeepingTal(slot.data(), record, state.recordDurationTicks, state.recordStartOffsetTicks) + 1;
    const int64_t end = std::min<int64_t>(state.annotationCount, (record + 1) * perRecord);
    for (int64_t i = record * perRecord; i < end; ++i)
        n += WriteAnnotationTal(slot.data() + n, annotations[i].Text(), annotations[i].onset,
                                annotations[i].onsetDecimals)
             + 1;
}

// Offset of the annotation signal's samples-per-record field in the header.
int64_t AnnotationSamplesFieldOffset(const EdfFileState& state)
{
    const int64_t signalsInFile = state.signalCount + state.annotationSignalCount;
    return EdfFieldOffset(EdfSignalField::SamplesPerRecord, signalsInFile, state.signalCount);
}

// Copies the header and every record to `target`, each record with its new slot.
bool WriteNewLayout(EdfFileState& state, const EdfAnnotation* annotations, int64_t perRecord, int64_t slotBytes,
                    BufferedFile& target)
{
    const int64_t headerBytes = EdfHeaderBytes(state);
    const int64_t sampleBytes = EdfSampleBytesPerRecord(state);
    const int64_t oldRecordBytes = sampleBytes + state.annotationBytesPerRecord;
    std::unique_ptr<char[]> copied(new (std::nothrow) char[static_cast<size_t>(std::max(headerBytes, sampleBytes))]);
    std::string slot;
    if (!copied || !state.file.ReadAt(0, copied.get(), static_cast<size_t>(headerBytes)))
        return false;
    char field[24];
    const int length = WriteDecimal(field, slotBytes / 2);
    std::memset(copied.get() + AnnotationSamplesFieldOffset(state), ' ',
                static_cast<size_t>(EdfFieldWidth(EdfSignalField::SamplesPerRecord)));
    std::memcpy(copied.get() + AnnotationSamplesFieldOffset(state), field, static_cast<size_t>(length));
    target.Write(copied.get(), static_cast<size_t>(headerBytes));
    slot.resize(static_cast<size_t>(slotBytes));
    for (int64_t r = 0; r < state.recordsWritten; ++r) {
        if (!state.file.ReadAt(headerBytes + r * oldRecordBytes, copied.get(), static_cast<size_t>(sampleBytes)))
            return false;
        target.Write(copied.get(), static_cast<size_t>(sampleBytes));
        BuildWideSlot(state, annotations, r, perRecord, slot);
        target.Write(slot.data(), slot.size());
    }
    return target.Sync();
}

}  // namespace

bool RewriteWithEveryAnnotation(EdfFileState& state, const EdfAnnotation* annotations, std::string& rewrittenPath)
{
    if (state.recordsWritten < 1 || state.annotationSignalCount != 1 || !state.file.IsRegularFile())
        return false;
    const int64_t perRecord = AnnotationsPerRecord(state);
    int64_t slotBytes = edfAnnotationSlotBytes;
    for (int64_t r = 0; r < state.recordsWritten; ++r)
        slotBytes = std::max(slotBytes, SlotContentBytes(state, annotations, r, perRecord));
    slotBytes += slotBytes % 2;  // whole 16-bit samples
    if (slotBytes / 2 > edfLargestFieldNumber)
        return false;

    BufferedFile target;
    std::string tempPath;
    if (!target.AllocateBuffer(state.file.Settings())
        || !target.CreateTemporaryBeside(state.path.get(), state.file, tempPath))
        return false;
    const bool written = WriteNewLayout(state, annotations, perRecord, slotBytes, target);
    if (!target.Close() || !written) {
        (void)unlink(tempPath.c_str());
        return false;
    }
    rewrittenPath = tempPath;
    state.annotationBytesPerRecord = static_cast<int>(slotBytes);
    return true;
}
