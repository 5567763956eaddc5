#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "logging/LogFile.h"

// A frontend for RunConversion that keeps, in order, everything the run tells: "started",
// "Error: text" (type name and text of each message), "result: text", "ended"; and passes
// every message on to the log file as the window does. Progress is kept apart.
class CapturingFrontend : public ConversionFrontend {
public:
    explicit CapturingFrontend(LogFile& logFile) : logFile(logFile) {}

    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) override
    {
        events.push_back(OrvLogging::MessageTypeName(type) + L": " + text);
        (void)logFile.LogMessage(type, text);
    }
    void OnResult(int result) override { events.push_back(L"result: " + ResultText(result)); }
    void OnRunStarted() override { events.push_back(L"started"); }
    void OnRunEnded() override { events.push_back(L"ended"); }
    void OnProgress(double fraction) override { progress.push_back(fraction); }

    LogFile& logFile;
    std::vector<std::wstring> events;
    std::vector<double> progress;
};

// Lists the directory's files as the window does and converts them there.
inline int RunIn(const std::filesystem::path& directory, LogFile& logFile, CapturingFrontend& frontend)
{
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    ScanDirectory(directory.wstring(), cscFiles, eventFile);
    return RunConversion(directory.wstring(), cscFiles, eventFile, logFile, frontend);
}
