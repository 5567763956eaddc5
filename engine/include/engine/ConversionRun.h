#pragma once

#include <string>
#include <vector>

#include <functional>

#include "engine/ConversionOptions.h"
#include "engine/ConversionSummary.h"
#include "logging/LogFile.h"
#include "logging/MessageType.h"

// What a conversion run tells the program that started it, in this order: the run started;
// messages and progress while it converts; the conversion's result; the run ended, once the log
// file is closed. Each program decides how to show them.
class ConversionFrontend {
public:
    virtual ~ConversionFrontend() = default;

    virtual void OnRunStarted() {}
    // A message of the run, the engine or the writer, which also belongs in the log file: the
    // run subscribes this to the engine and calls it for its own messages.
    virtual void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) = 0;
    // How far the conversion has come, 0 to 1; called on the converting thread, often.
    virtual void OnProgress(double fraction) { (void)fraction; }
    // The conversion's result, 0 for success (ResultText says it in words). The run goes on to
    // close the log file once this returns, so a frontend that waits for the user here keeps the
    // log open until then.
    virtual void OnResult(int result) = 0;
    virtual void OnRunEnded() {}
    // How the user of this program makes `choice`, for the messages that name it (the options
    // in force, a warning that a choice would avoid); empty when the program has no words for it.
    virtual std::wstring ChoiceHint(ConversionChoice choice) const
    {
        (void)choice;
        return {};
    }
};

// "Conversion Complete" for result 0, "Conversion Failed" for any other.
std::wstring ResultText(int result);

// The order of a recording's channels: the listing order (names compared case-insensitively,
// then byte by byte), or the natural order of their names (NaturalOrder).
enum class ChannelOrder { Listing, Natural };

// The channel order that the options ask for.
ChannelOrder ChannelOrderOf(const ConversionOptions& options);

// Fills cscFiles with directory + "/" + name of every "*.ocs" file that holds ".ocs" in its name,
// in the channel order, and eventFile with the first "*.oev" file in the listing order (empty
// when there is none).
void ScanDirectory(const std::wstring& directory, std::vector<std::wstring>& cscFiles, std::wstring& eventFile,
                   ChannelOrder order = ChannelOrder::Listing);

// One conversion of a scanned recording directory.
struct ConversionRequest {
    std::wstring dataDirectory;
    std::vector<std::wstring> cscFiles;  // as ScanDirectory found them
    std::wstring eventFile;
    // Where the EDF+ files and the log file go; the data directory when empty.
    std::wstring outputDirectory;
    ConversionOptions options;
    // Asked once per data record; true stops the conversion, which then fails. May be empty.
    std::function<bool()> cancelled;
};

// Names and opens the log file in the output directory, runs the engine, tells the result and
// closes the log file. Returns the engine's result, 0 for success; `summary`, when given, receives
// what the engine read and wrote. The options in force are named in a Notice once the log file is
// open; none without options. Every message reaches `receiver` with its control characters
// escaped (ControlEscaping.h).
int RunConversion(const ConversionRequest& request, LogFile& logFile, ConversionFrontend& receiver,
                  ConversionSummary* summary = nullptr);

// The run that the window's button starts: the log file and the output beside the data.
int RunConversion(const std::wstring& directory, const std::vector<std::wstring>& cscFiles,
                  const std::wstring& eventFile, LogFile& logFile, ConversionFrontend& frontend,
                  const ConversionOptions& options = {});
