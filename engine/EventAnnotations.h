#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionSummary.h"
#include "logging/SubscribedEvent.h"
#include "reader/OrvFileIO.h"

// Onset of an annotation in units of 100 µs from the start of its file (µs on the acquisition
// clock: the first sample instant, or the whole second before it with exact record timing),
// truncated.
inline int64_t AnnotationOnset(uint64_t timestamp, uint64_t fileStart)
{
    return static_cast<int64_t>((timestamp - fileStart) / 100);
}

// The events of the event file as annotations of the output files. The file is read in full
// once, when the first file needs its events, into an index of (timestamp, record index) sorted
// by time; each file then finds its events by binary search and reads just their records, so the
// cost grows with the events and the files, not with their product. Only the segment's time window
// decides which events a file gets, and they are handed over in file order. The texts stay in the
// event file: the index holds 16 bytes and a bit per event. Reader failures are published on
// `messages`; writer failures have been published by the writer.
class EventAnnotations {
public:
    // eventHandle is negative when the conversion has no event file.
    EventAnnotations(Velquor::OrvFileIO& reader, int eventHandle, MessageEvent& messages);

    // The check before the conversion: reads the first 50 records (fewer in a shorter file), and
    // stops at a record whose text is "Starting Recording" in any letter case.
    int VerifyEventFile();
    // Hands every event of [segmentStart, segmentEnd] (µs, both ends included), in file order, to
    // annotate, which gives it to the writer (0) or fails (-1, the writer has said why).
    using Annotate = std::function<int(uint64_t timestamp, const std::string& text)>;
    int WriteEventAnnotations(uint64_t segmentStart, uint64_t segmentEnd, const Annotate& annotate);

    // The events that lie in none of the windows handed to WriteEventAnnotations so far: before
    // the first sample instant, in a gap, or after the last instant stored; in file order.
    struct LeftOut {
        uint64_t earliest = 0;  // µs
        uint64_t latest = 0;    // µs
        std::vector<EventSummary> events;
    };
    int FindEventsLeftOut(LeftOut& leftOut);

private:
    enum class Walk { Continue, Stop, Fail };
    using Visitor = std::function<Walk(int index, const unsigned char* record)>;
    // Hands the first maxRecords records to visit until it stops or fails; -1 when visit fails
    // or the reader does.
    int WalkRecords(int maxRecords, const Visitor& visit);
    // Hands the records of `indices` (ascending) to visit, reading each batch once.
    int VisitRecords(const std::vector<int>& indices, const Visitor& visit);
    // Reads the event file into byTime unless that has been done.
    int IndexEvents();

    struct IndexedEvent {
        uint64_t timestamp;  // µs
        int index;           // of its record in the event file
    };

    Velquor::OrvFileIO& reader;
    int eventHandle;
    MessageEvent& messages;
    bool indexed = false;
    std::vector<IndexedEvent> byTime;  // by timestamp, then by index
    std::vector<bool> placed;          // per record index: in one of the windows so far
};
