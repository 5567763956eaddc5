#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

// A small EDF+ reader for tests, written from the EDF+ format and sharing no code with the
// writer. It checks the structure strictly (header size, file size = header + records × record
// size, well-formed TALs, a time-keeping TAL first in every record) and reports the first
// problem with its byte offset.
//
// Text fields are kept as written with trailing spaces removed; the raw bytes are in the file
// for byte-exact checks (ReadFileBytes).

struct EdfSignal {
    std::string label;
    std::string transducer;
    std::string physicalDimension;
    std::string physicalMinimum;  // as written, e.g. "-1000" or "3276.699"
    std::string physicalMaximum;
    int digitalMinimum = 0;
    int digitalMaximum = 0;
    std::string prefiltering;
    int samplesPerRecord = 0;
    bool isAnnotation = false;  // label "EDF Annotations"
};

// One time-stamped annotation list of an annotation signal.
struct EdfTal {
    int64_t record = 0;              // index of the data record holding it
    std::string onset;               // as written, sign included: "+2.5"
    std::string duration;            // empty when the TAL has none
    std::vector<std::string> texts;  // its annotation texts (UTF-8); empty for a time-keeping TAL
};

struct EdfFile {
    std::string version;  // "0"
    std::string patient;
    std::string recording;
    std::string startDate;  // "dd.mm.yy"
    std::string startTime;  // "hh.mm.ss"
    int headerBytes = 0;
    std::string reserved;        // "EDF+C"
    int64_t recordCount = 0;     // the header's count; -1 (a file never closed) is refused
    std::string recordDuration;  // as written, e.g. "1" or "0.02941"
    int signalCount = 0;         // every signal, annotation signals included
    std::vector<EdfSignal> signals;

    // Per signal (same index as signals): all samples of every record, in order; empty for an
    // annotation signal.
    std::vector<std::vector<int16_t>> samplesPerSignal;
    // The onset of each record's time-keeping TAL (the record's start time), one per record.
    std::vector<std::string> recordStartTimes;
    // Every other TAL, in file order.
    std::vector<EdfTal> annotations;
};

// Reads the file at `path` into `file`; false with a message (naming the offset) in `error`.
bool ParseEdfFile(const std::filesystem::path& path, EdfFile& file, std::string& error);
bool ParseEdfBytes(const std::vector<unsigned char>& bytes, EdfFile& file, std::string& error);

// Success when `bytes` holds `expected` from `offset` on; otherwise a failure naming the first
// differing offset with both bytes. Use as EXPECT_TRUE(BytesAt(bytes, 236, "3       ")).
::testing::AssertionResult BytesAt(const std::vector<unsigned char>& bytes, std::size_t offset,
                                   std::string_view expected);
