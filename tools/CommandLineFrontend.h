#pragma once

#include <cstdio>
#include <string>

#include "engine/ConversionRun.h"
#include "logging/LogFile.h"

// The conversion run's frontend without a window: messages go to the log file and, as their log
// lines, to standard output; the result goes to standard output; progress goes to standard error
// when that is a terminal.
class CommandLineFrontend : public ConversionFrontend {
public:
    CommandLineFrontend(LogFile& logFile, bool quiet, std::FILE* out, std::FILE* err);

    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) override;
    void OnRunStarted() override;
    void OnResult(int result) override;
    void OnRunEnded() override;
    void OnProgress(double fraction) override;

private:
    void ClearProgressLine();

    LogFile& m_logFile;
    bool m_quiet;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_showProgress;
    int m_shownPercent = -1;  // -1 while no progress line is on the terminal
};
