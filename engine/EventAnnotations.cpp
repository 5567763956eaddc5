#include "engine/EventAnnotations.h"

#include <algorithm>
#include <climits>
#include <cwctype>
#include <iterator>
#include <string_view>

#include "engine/ReaderFailure.h"

namespace {

constexpr int eventCheckLimit = 50;  // event records looked at before the conversion starts

bool IsStartingRecording(std::string_view text)
{
    constexpr std::string_view wanted = "Starting Recording";
    if (text.size() != wanted.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        // ISO 8859-1: the byte is the character
        const auto c = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
        if (std::towlower(c) != std::towlower(static_cast<wchar_t>(wanted[i])))
            return false;
    }
    return true;
}

}  // namespace

EventAnnotations::EventAnnotations(Velquor::OrvFileIO& reader, int eventHandle, MessageEvent& messages)
    : reader(reader), eventHandle(eventHandle), messages(messages)
{
}

int EventAnnotations::VerifyEventFile()
{
    // Nothing read here is used later: the annotations come from the event file again per file.
    return WalkRecords(eventCheckLimit, [](const unsigned char* record) {
        return IsStartingRecording(Velquor::EventText(record)) ? Walk::Stop : Walk::Continue;
    });
}

int EventAnnotations::WriteEventAnnotations(uint64_t segmentStart, uint64_t segmentEnd, const Annotate& annotate)
{
    if (eventHandle < 0)
        return 0;
    windows.emplace_back(segmentStart, segmentEnd);
    return WalkRecords(INT_MAX, [&](const unsigned char* record) {
        const uint64_t timestamp = Velquor::EventTimestamp(record);
        if (timestamp < segmentStart || timestamp > segmentEnd)
            return Walk::Continue;
        if (annotate(timestamp, std::string(Velquor::EventText(record))) != 0)
            return Walk::Fail;  // the writer has said why
        return Walk::Continue;
    });
}

int EventAnnotations::FindEventsLeftOut(LeftOut& leftOut)
{
    leftOut = {};
    if (eventHandle < 0)
        return 0;
    // The windows as disjoint stretches in time order (a step back in time starts a file whose
    // window may lie before or across earlier ones).
    std::vector<std::pair<uint64_t, uint64_t>> covered = windows;
    std::sort(covered.begin(), covered.end());
    std::vector<std::pair<uint64_t, uint64_t>> merged;
    for (const auto& window : covered) {
        if (!merged.empty() && window.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, window.second);
        else
            merged.push_back(window);
    }
    return WalkRecords(INT_MAX, [&](const unsigned char* record) {
        const uint64_t timestamp = Velquor::EventTimestamp(record);
        const auto after = std::upper_bound(merged.begin(), merged.end(), timestamp,
                                            [](uint64_t t, const auto& window) { return t < window.first; });
        if (after != merged.begin() && timestamp <= std::prev(after)->second)
            return Walk::Continue;
        leftOut.earliest = leftOut.count == 0 ? timestamp : std::min(leftOut.earliest, timestamp);
        leftOut.latest = leftOut.count == 0 ? timestamp : std::max(leftOut.latest, timestamp);
        ++leftOut.count;
        return Walk::Continue;
    });
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
            switch (visit(records + static_cast<size_t>(i) * sizeof(Velquor::EventRecord))) {
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
