#pragma once

#include "logging/SubscribedEvent.h"
#include "reader/OrvFileIO.h"

// Publishes the reader's text for its last failure, unchanged, as an Error; returns -1. The
// reader's texts name the file and say what failed, so the engine adds nothing to them.
inline int PublishReaderFailure(MessageEvent& messages, Velquor::OrvFileIO& reader)
{
    messages.Publish(OrvLogging::Error, reader.GetLastErrorMessage());
    return -1;
}
