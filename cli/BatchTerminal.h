#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "BatchProgress.h"

// The last line of a batch that was interrupted; a static text, as a signal's deadline writes it.
inline constexpr const char* interruptedLine = "varelo-convert: interrupted; the conversions under way were stopped\n";

// What a recording's conversion printed and reported, kept until its turn to be printed.
struct Outcome {
    bool done = false;
    int status = 1;                                   // the exit status of its conversion
    std::vector<std::pair<bool, std::string>> lines;  // (on standard error, text)
    std::string report;                               // its line of JSON; empty when it sent none
};

// The terminal output of a batch: each line printed with the progress line taken off first, and
// each recording's report appended to the --report file (reportFile empty: none).
class BatchTerminal {
public:
    BatchTerminal(std::FILE* out, std::FILE* err, BatchProgress& progress, std::string reportFile);

    void Line(const std::string& text);
    void ErrorLine(const std::string& text);
    void Report(const std::string& json);
    // Its lines as they were said, then its report.
    void Print(const Outcome& outcome);
    // Said once after an interrupted batch.
    void Interrupted();

    BatchProgress& Progress() { return progress; }

private:
    std::FILE* out;
    std::FILE* err;
    BatchProgress& progress;
    std::string reportFile;
};
