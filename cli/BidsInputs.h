#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the sidecars of a BIDS dataset say that the EDF+ files do not: the filter settings and
// the reference from the channel files' headers, the TTL values from the event file.

// One channel's header values; a text is "n/a" where the header says nothing usable.
struct ChannelSettings {
    std::string lowCutoff = "n/a";   // Hz, the high-pass corner while that filter was on
    std::string highCutoff = "n/a";  // Hz, the low-pass corner
    std::string reference = "n/a";
};

// Reads the settings from the header of the channel file `file`. false with the reason in
// `error` when the file cannot be read; a value that does not parse is passed over with a
// sentence in `warnings` naming the file, the key and the value.
bool ReadChannelSettings(const std::wstring& file, ChannelSettings& settings, std::vector<std::string>& warnings,
                         std::string& error);

struct RecordedEvent {
    uint64_t timestamp = 0;  // µs, acquisition clock
    int ttl = 0;
    std::string text;  // UTF-8
};

// Every event of `file` in file order; none without an event file (empty name). false with the
// reader's reason in `error`.
bool ReadRecordedEvents(const std::wstring& file, std::vector<RecordedEvent>& events, std::string& error);
