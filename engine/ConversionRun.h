#pragma once

#include <string>
#include <vector>

#include "logging/LogFile.h"
#include "logging/MessageType.h"

// What a conversion run needs of the program that starts it: the window or the command line.
class ConversionFrontend {
public:
    virtual ~ConversionFrontend() = default;

    // Shows the message and passes it to the log file. The run subscribes this to the engine and
    // also calls it for its own messages.
    virtual void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) = 0;
    // Shows the result box and returns once it has been dismissed.
    virtual void ShowResult(const std::wstring& caption, const std::wstring& text) = 0;
    // The wait cursor, from before the log file is opened until after it is closed.
    virtual void BeginWait() {}
    virtual void EndWait() {}
    // How far the conversion has come, 0 to 1; called on the converting thread, often.
    virtual void OnProgress(double fraction) { (void)fraction; }
};

inline const wchar_t* const resultCaption = L"Conversion Results";
inline const wchar_t* const resultComplete = L"Conversion Complete";
inline const wchar_t* const resultFailed = L"Conversion Failed";

// Fills cscFiles with directory + "/" + name of every "*.ocs" file that holds ".ocs" in its name,
// and eventFile with the first "*.oev" file (empty when there is none), in the listing order:
// names compared case-insensitively, then byte by byte.
void ScanDirectory(const std::wstring& directory, std::vector<std::wstring>& cscFiles, std::wstring& eventFile);

// One conversion of a scanned directory: names and opens the log file beside the data, runs the
// engine, shows the result and closes the log file. Returns the engine's result, 0 for success.
int RunConversion(const std::wstring& directory, const std::vector<std::wstring>& cscFiles,
                  const std::wstring& eventFile, LogFile& logFile, ConversionFrontend& frontend);
