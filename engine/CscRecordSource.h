#pragma once

#include <cstdint>

#include "logging/SubscribedEvent.h"
#include "reader/OrvFileIO.h"

// One record of a channel file as the sample transfers take it: the reader's record and the
// samples it holds, never more than its 512 slots.
struct CscRecordView {
    const Velquor::CSCRecord* record = nullptr;
    uint32_t validSamples = 0;
};

enum class CscLoad { Loaded, Failed, NoRecord };

// Record `index` of the channel file open at `handle`, which holds `recordCount` records. Failed
// when the reader fails (not published: the caller publishes it); NoRecord past the last record
// or when the reader hands over none.
CscLoad LoadCscRecord(Velquor::OrvFileIO& reader, int handle, int32_t recordCount, uint32_t index, CscRecordView& view);

// As LoadCscRecord, with a reader's failure published in `messages`.
CscLoad ReadCscRecord(Velquor::OrvFileIO& reader, int handle, int32_t recordCount, uint32_t index, CscRecordView& view,
                      MessageEvent& messages);

// The number of records of the channel file open at `handle`; -1 when the reader fails
// (published).
int CscRecordCount(Velquor::OrvFileIO& reader, int handle, MessageEvent& messages, int32_t& count);
