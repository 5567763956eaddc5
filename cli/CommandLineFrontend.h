#pragma once

#include <string>
#include <utility>
#include <vector>

#include "RunOutput.h"
#include "engine/ConversionRun.h"
#include "logging/LogFile.h"

// The conversion run's frontend without a window: messages go to the log file and, as their log
// lines, to the run's output (unless quiet); the result line goes there too; progress is passed
// on. Every message is also kept, for the recording's report.
class CommandLineFrontend : public ConversionFrontend {
public:
    // resultPrefix goes before the result line.
    CommandLineFrontend(LogFile& logFile, bool quiet, RunOutput& output, std::string resultPrefix = {});

    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) override;
    void OnProgress(double fraction) override;
    void OnResult(int result) override;
    // The option that makes the choice: "--exact-timing".
    std::wstring ChoiceHint(ConversionChoice choice) const override;

    using Message = std::pair<OrvLogging::ORVB_MESSAGE_TYPE, std::wstring>;
    const std::vector<Message>& Messages() const { return m_messages; }

private:
    LogFile& m_logFile;
    bool m_quiet;
    RunOutput& m_output;
    std::string m_resultPrefix;
    std::vector<Message> m_messages;
};
