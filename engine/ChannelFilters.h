#pragma once

#include <optional>
#include <string>

#include "logging/SubscribedEvent.h"
#include "reader/OrvFileIO.h"

// What a channel's header says of the acquisition's filters and of the input's polarity, where it
// has the optional keys: -DSPLowCutFilterEnabled with -DspLowCutFrequency (the high-pass) and
// -DSPHighCutFilterEnabled with -DspHighCutFrequency (the low-pass), and -InputInverted.
struct ChannelFilters {
    std::string prefiltering;      // the EDF prefiltering text, "HP:0.1Hz LP:9000Hz"; empty: none known
    std::optional<bool> inverted;  // unknown without -InputInverted
};

// Reads the keys of the channel file open at `handle`. A filter is written when its flag is True
// and its frequency a positive number; a value that does not parse is passed over with a Warning
// that names the file, the key and the value. -1 when the reader fails (published).
int ReadChannelFilters(Velquor::OrvFileIO& reader, int handle, const std::wstring& file, MessageEvent& messages,
                       ChannelFilters& channel);
