#pragma once

#include <cstddef>
#include <string>

#include "RunOutput.h"

// What a recording converted in a process of its own tells the batch, over a pipe: frames of a
// type byte, a 4-byte little-endian length and the payload (a line, a progress fraction as text,
// or the report's line of JSON).
enum class FrameType : char { Line = 'O', ErrorLine = 'E', Progress = 'P', Report = 'R' };

// The child's end: its run output goes down the pipe.
class PipeOutput : public RunOutput {
public:
    explicit PipeOutput(int fd) : fd(fd) {}

    void Line(const std::string& text) override { Send(FrameType::Line, text); }
    void ErrorLine(const std::string& text) override { Send(FrameType::ErrorLine, text); }
    void Progress(double fraction) override;
    void ReportLine(const std::string& json) override { Send(FrameType::Report, json); }

private:
    void Send(FrameType type, const std::string& payload);

    int fd;
    int sentPercent = -1;  // progress goes out when its whole percent changes
};

// The batch's end: bytes as they arrive, frames once they are whole.
class FrameBuffer {
public:
    void Append(const char* bytes, size_t count) { pending.append(bytes, count); }
    bool Next(FrameType& type, std::string& payload);

private:
    std::string pending;
};
