#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "RunOutput.h"

// What a worker process converting recordings tells the batch, over a pipe: frames of a type
// byte, a 4-byte little-endian length and the payload (a line, a progress fraction as text, the
// report's line of JSON, or the recording's exit status as text, which ends its frames). The
// batch hands the worker its recordings over a socket pair, each as its 4-byte little-endian
// index in the batch.
enum class FrameType : char { Line = 'O', ErrorLine = 'E', Progress = 'P', Report = 'R', Ended = 'X' };

// The child's end: its run output goes down the pipe.
class PipeOutput : public RunOutput {
public:
    explicit PipeOutput(int fd) : fd(fd) {}

    void Line(const std::string& text) override { Send(FrameType::Line, text); }
    void ErrorLine(const std::string& text) override { Send(FrameType::ErrorLine, text); }
    void Progress(double fraction) override;
    void ReportLine(const std::string& json) override { Send(FrameType::Report, json); }
    // The recording's frames end: its exit status.
    void Ended(int status) { Send(FrameType::Ended, std::to_string(status)); }

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

// The batch's end of the socket pair: hands a worker the recording at `index`; false when the
// worker is gone.
bool SendRecordingIndex(int fd, uint32_t index);
// The worker's end: the next recording's index; false once the batch has closed its end.
bool ReceiveRecordingIndex(int fd, uint32_t& index);
