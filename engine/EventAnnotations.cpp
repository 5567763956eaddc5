#include "EventAnnotations.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "ReaderFailure.h"
#include "logging/AsciiCase.h"

namespace {

constexpr int eventCheckLimit = 50;  // event records looked at before the conversion starts

// The byte is the character (ISO 8859-1): only ASCII letters fold onto the wanted text's.
bool IsStartingRecording(std::string_view text)
{
    return OrvText::EqualsIgnoringAsciiCase(text, "Starting Recording");
}

}  // namespace

EventAnnotations::EventAnnotations(Velquor::OrvFileIO& reader, int eventHandle, MessageEvent& messages)
    : reader(reader), eventHandle(eventHandle), messages(messages)
{
}

int EventAnnotations::VerifyEventFile()
{
    // Nothing read here is used later: the annotations come from the index of the whole file.
    return WalkRecords(eventCheckLimit, [](int, const unsigned char* record) {
        return IsStartingRecording(Velquor::EventText(record)) ? Walk::Stop : Walk::Continue;
    });
}

int EventAnnotations::WriteEventAnnotations(uint64_t segmentStart, uint64_t segmentEnd, const Annotate& annotate)
{
    if (eventHandle < 0)
        return 0;
    if (IndexEvents() != 0)
        return -1;
    if (segmentStart > segmentEnd)
        return 0;
    const auto first = std::lower_bound(byTime.begin(), byTime.end(), segmentStart,
                                        [](const IndexedEvent& event, uint64_t t) { return event.timestamp < t; });
    const auto last = std::upper_bound(first, byTime.end(), segmentEnd,
                                       [](uint64_t t, const IndexedEvent& event) { return t < event.timestamp; });
    std::vector<int> indices;
    indices.reserve(static_cast<size_t>(last - first));
    for (auto event = first; event != last; ++event) {
        indices.push_back(event->index);
        placed[static_cast<size_t>(event->index)] = true;
    }
    std::sort(indices.begin(), indices.end());  // handed over in file order
    return VisitRecords(indices, [&](int, const unsigned char* record) {
        if (annotate(Velquor::EventTimestamp(record), std::string(Velquor::EventText(record))) != 0)
            return Walk::Fail;  // the writer has said why
        return Walk::Continue;
    });
}

int EventAnnotations::FindEventsLeftOut(LeftOut& leftOut)
{
    leftOut = {};
    if (eventHandle < 0)
        return 0;
    if (IndexEvents() != 0)
        return -1;
    std::vector<int> indices;  // in file order
    for (size_t index = 0; index < placed.size(); ++index) {
        if (!placed[index])
            indices.push_back(static_cast<int>(index));
    }
    if (indices.empty())
        return 0;
    leftOut.earliest = byTime.back().timestamp;  // the latest of all, until the first is read
    leftOut.events.reserve(indices.size());
    return VisitRecords(indices, [&](int, const unsigned char* record) {
        const uint64_t timestamp = Velquor::EventTimestamp(record);
        leftOut.earliest = std::min(leftOut.earliest, timestamp);
        leftOut.latest = std::max(leftOut.latest, timestamp);
        leftOut.events.push_back({timestamp, std::string(Velquor::EventText(record))});
        return Walk::Continue;
    });
}

int EventAnnotations::IndexEvents()
{
    if (indexed)
        return 0;
    byTime.clear();
    const int result = WalkRecords(INT_MAX, [&](int index, const unsigned char* record) {
        byTime.push_back({Velquor::EventTimestamp(record), index});
        return Walk::Continue;
    });
    if (result != 0)
        return -1;
    // A stable sort keeps the events of one instant in file order, as the index breaks ties.
    std::stable_sort(byTime.begin(), byTime.end(),
                     [](const IndexedEvent& a, const IndexedEvent& b) { return a.timestamp < b.timestamp; });
    placed.assign(byTime.size(), false);  // the indices run from 0 without a hole
    indexed = true;
    return 0;
}

int EventAnnotations::WalkRecords(int maxRecords, const Visitor& visit)
{
    int recordCount = 0;
    if (reader.GetNumRecordsInFile(eventHandle, recordCount) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messages, reader);
    const int limit = recordCount < maxRecords ? recordCount : maxRecords;
    int index = 0;
    while (index < limit) {
        void* data = nullptr;
        int count = 0;
        if (reader.GetDataFromIndex(eventHandle, index, data, count) != OrvDataTypes::OrvSuccess)
            return PublishReaderFailure(messages, reader);
        if (count < 1)
            break;  // a batch without records would never advance
        const auto* records = static_cast<const unsigned char*>(data);
        for (int i = 0; i < count && index + i < limit; ++i) {
            switch (visit(index + i, records + static_cast<size_t>(i) * sizeof(Velquor::EventRecord))) {
            case Walk::Continue:
                break;
            case Walk::Stop:
                return 0;
            case Walk::Fail:
                return -1;
            }
        }
        index += count;
    }
    return 0;
}

int EventAnnotations::VisitRecords(const std::vector<int>& indices, const Visitor& visit)
{
    size_t next = 0;
    while (next < indices.size()) {
        const int batchStart = indices[next];
        void* data = nullptr;
        int count = 0;
        if (reader.GetDataFromIndex(eventHandle, batchStart, data, count) != OrvDataTypes::OrvSuccess)
            return PublishReaderFailure(messages, reader);
        if (count < 1)
            break;  // as WalkRecords: the records from here on were never indexed
        const auto* records = static_cast<const unsigned char*>(data);
        for (; next < indices.size() && indices[next] - batchStart < count; ++next) {
            const size_t offset = static_cast<size_t>(indices[next] - batchStart) * sizeof(Velquor::EventRecord);
            if (visit(indices[next], records + offset) == Walk::Fail)
                return -1;
        }
    }
    return 0;
}
