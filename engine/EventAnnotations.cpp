// The event file's records: walked in the reader's batches, and those of one output file's time
// window handed to the writer as annotations.
#include <climits>

#include "engine/EventFields.h"
#include "engine/OrvToEDF.h"

int OrvToEDF::WalkEventRecords(Velquor::OrvFileIO& reader, int handle, int maxRecords, const EventVisitor& visit)
{
    int recordCount = 0;
    if (reader.GetNumRecordsInFile(handle, recordCount) != OrvDataTypes::OrvSuccess)
        return ReaderFailure(reader);
    const int limit = recordCount < maxRecords ? recordCount : maxRecords;
    int index = 0;
    while (index < limit) {
        void* data = nullptr;
        int count = 0;
        if (reader.GetDataFromIndex(handle, index, data, count) != OrvDataTypes::OrvSuccess)
            return ReaderFailure(reader);
        if (count < 1)
            break;  // a batch without records would never advance
        const auto* records = static_cast<const unsigned char*>(data);
        for (int i = 0; i < count && index + i < limit; ++i) {
            switch (visit(records + static_cast<size_t>(i) * EventFields::recordBytes)) {
            case EventWalk::Continue:
                break;
            case EventWalk::Stop:
                return 0;
            case EventWalk::Fail:
                return -1;
            }
        }
        index += count;
    }
    return 0;
}

int OrvToEDF::WriteEventAnnotations(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, int eventHandle,
                                    uint64_t segmentStart, uint64_t segmentEnd)
{
    if (eventHandle < 0)
        return 0;
    return WalkEventRecords(reader, eventHandle, INT_MAX, [&](const unsigned char* record) {
        const uint64_t timestamp = EventFields::Timestamp(record);
        if (timestamp < segmentStart || timestamp > segmentEnd)
            return EventWalk::Continue;
        if (writer.WriteAnnotation(EventFields::AnnotationOnset(timestamp, segmentStart), EventFields::Text(record)) != 0)
            return EventWalk::Fail;  // the writer has said why
        return EventWalk::Continue;
    });
}
