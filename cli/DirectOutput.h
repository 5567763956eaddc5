#pragma once

#include <cstddef>
#include <string>

#include "BatchTerminal.h"
#include "RunOutput.h"

// The lines of recordings converted in this process: printed at once. A single recording shows
// its own progress on a terminal; a batch shows the batch's.
class DirectOutput : public RunOutput {
public:
    DirectOutput(BatchTerminal& terminal, bool single, bool onTerminal);

    void Line(const std::string& text) override;
    void ErrorLine(const std::string& text) override;
    void Progress(double fraction) override;
    void ReportLine(const std::string& json) override { terminal.Report(json); }

    size_t current = 0;  // the recording converted now

private:
    void ClearPercent();

    BatchTerminal& terminal;
    bool single;
    bool onTerminal;
    int shownPercent = -1;
};
