// The events of one output file's time window, handed to the writer as annotations.
#include "engine/EventFields.h"
#include "engine/OrvToEDF.h"

int OrvToEDF::WriteEventAnnotations(EDFPlusFileWriter& writer, Velquor::OrvFileIO& reader, int eventHandle,
                                    uint64_t segmentStart, uint64_t segmentEnd)
{
    if (eventHandle < 0)
        return 0;
    int recordCount = 0;
    if (reader.GetNumRecordsInFile(eventHandle, recordCount) != OrvDataTypes::OrvSuccess)
        return ReaderFailure(reader);
    int index = 0;
    while (index < recordCount) {
        void* data = nullptr;
        int count = 0;
        if (reader.GetDataFromIndex(eventHandle, index, data, count) != OrvDataTypes::OrvSuccess)
            return ReaderFailure(reader);
        if (count < 1)
            break;  // a batch without records would never advance
        const auto* records = static_cast<const unsigned char*>(data);
        for (int i = 0; i < count; ++i) {
            const unsigned char* record = records + static_cast<size_t>(i) * EventFields::recordBytes;
            const uint64_t timestamp = EventFields::Timestamp(record);
            if (timestamp < segmentStart || timestamp > segmentEnd)
                continue;
            if (writer.WriteAnnotation(EventFields::AnnotationOnset(timestamp, segmentStart), EventFields::Text(record)) != 0)
                return -1;
        }
        index += count;
    }
    return 0;
}
