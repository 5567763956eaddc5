#pragma once

#include <string>

// Where the lines of a recording's conversion go: straight to the terminal, or, for a recording
// converted in a worker process, to the batch that started it.
class RunOutput {
public:
    virtual ~RunOutput() = default;
    virtual void Line(const std::string& text) = 0;       // standard output
    virtual void ErrorLine(const std::string& text) = 0;  // standard error
    // How far the recording's conversion has come, 0 to 1.
    virtual void Progress(double fraction) = 0;
    // The recording's report, one line of JSON, for the batch's --report file.
    virtual void ReportLine(const std::string& json) = 0;
};
