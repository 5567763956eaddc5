#include "CscRecordSource.h"

#include <algorithm>

#include "ReaderFailure.h"

CscLoad LoadCscRecord(Velquor::OrvFileIO& reader, int handle, int32_t recordCount, uint32_t index, CscRecordView& view)
{
    if (recordCount < 0 || index >= static_cast<uint32_t>(recordCount))
        return CscLoad::NoRecord;
    void* data = nullptr;
    int count = 0;
    if (reader.GetDataFromIndex(handle, static_cast<int>(index), data, count) != OrvDataTypes::OrvSuccess)
        return CscLoad::Failed;
    if (data == nullptr || count < 1)
        return CscLoad::NoRecord;  // nothing more to read; never loop on an empty batch
    view.record = static_cast<const Velquor::CSCRecord*>(data);
    view.validSamples = std::min<uint32_t>(view.record->numValidSamples, Velquor::orvSamplesPerCscRecord);
    return CscLoad::Loaded;
}

CscLoad ReadCscRecord(Velquor::OrvFileIO& reader, int handle, int32_t recordCount, uint32_t index, CscRecordView& view,
                      MessageEvent& messages)
{
    const CscLoad load = LoadCscRecord(reader, handle, recordCount, index, view);
    if (load == CscLoad::Failed)
        (void)PublishReaderFailure(messages, reader);
    return load;
}

int CscRecordCount(Velquor::OrvFileIO& reader, int handle, MessageEvent& messages, int32_t& count)
{
    int records = 0;
    if (reader.GetNumRecordsInFile(handle, records) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messages, reader);
    count = records;
    return 0;
}
