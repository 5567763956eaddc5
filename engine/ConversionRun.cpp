#include "engine/ConversionRun.h"

#include <algorithm>

#include "InputLosses.h"
#include "engine/ChannelChoice.h"
#include "engine/DirectoryListing.h"
#include "engine/OrvToEDF.h"
#include "engine/RecordingFiles.h"
#include "logging/ControlEscaping.h"
#include "logging/FileErrors.h"
#include "logging/TextConversion.h"

namespace {

// The run's message of a log file that cannot be opened, then the file and the reason, which
// that message does not name.
void ReportLogFailure(const wchar_t* message, const LogFile& logFile, ConversionFrontend& frontend)
{
    frontend.OnMessage(OrvLogging::Error, message);
    if (!logFile.OpenFailure().empty())
        frontend.OnMessage(OrvLogging::Error, logFile.OpenFailure());
}

// After the engine found no channel file: where the data directory cannot be read, the Error that
// says which directory and why.
void ReportUnreadableDirectory(const std::wstring& directory, ConversionFrontend& frontend)
{
    std::vector<std::string> names;
    int errorNumber = 0;
    if (!ListDirectory(OrvText::WideToUtf8(directory), names, errorNumber))
        frontend.OnMessage(OrvLogging::Error, OrvText::FileErrorText(directory, OrvText::SystemReason(errorNumber)));
}

// Where every message of a run leaves for the program's sinks (the terminal, the window's rows,
// the log file, the report): texts from the input and the file system may hold control
// characters, which are shown escaped.
class EscapingFrontend : public ConversionFrontend {
public:
    explicit EscapingFrontend(ConversionFrontend& shown) : shown(shown) {}

    void OnRunStarted() override { shown.OnRunStarted(); }
    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) override
    {
        shown.OnMessage(type, OrvText::EscapeControls(text));
    }
    void OnProgress(double fraction) override { shown.OnProgress(fraction); }
    void OnResult(int result) override { shown.OnResult(result); }
    void OnRunEnded() override { shown.OnRunEnded(); }
    std::wstring ChoiceHint(ConversionChoice choice) const override { return shown.ChoiceHint(choice); }

private:
    ConversionFrontend& shown;
};

// The frontend's words for the choices, as the core's messages take them.
ChoiceHint HintOf(const ConversionFrontend& frontend)
{
    return [&frontend](ConversionChoice choice) { return frontend.ChoiceHint(choice); };
}

// The event files of the directory other than `used`, which a run passes over.
std::vector<std::wstring> OtherEventFiles(const std::wstring& directory, const std::wstring& used)
{
    std::vector<std::wstring> others;
    for (const std::string& name : EventFilesIn(OrvText::WideToUtf8(directory))) {
        const std::wstring file = directory + L"/" + OrvText::Utf8ToWide(name);
        if (file != used)
            others.push_back(file);
    }
    return others;
}

}  // namespace

std::wstring ResultText(int result)
{
    return result == 0 ? L"Conversion Complete" : L"Conversion Failed";
}

ChannelOrder ChannelOrderOf(const ConversionOptions& options)
{
    return options.naturalOrder ? ChannelOrder::Natural : ChannelOrder::Listing;
}

void ScanDirectory(const std::wstring& directory, std::vector<std::wstring>& cscFiles, std::wstring& eventFile,
                   ChannelOrder order)
{
    const std::string utf8Directory = OrvText::WideToUtf8(directory);
    cscFiles.clear();
    std::vector<std::string> names = ChannelFilesIn(utf8Directory);
    if (order == ChannelOrder::Natural)
        std::stable_sort(names.begin(), names.end(), NaturalOrder);
    for (const std::string& name : names)
        cscFiles.push_back(directory + L"/" + OrvText::Utf8ToWide(name));
    const std::vector<std::string> eventFiles = EventFilesIn(utf8Directory);
    eventFile = eventFiles.empty() ? std::wstring() : directory + L"/" + OrvText::Utf8ToWide(eventFiles.front());
}

int RunConversion(const ConversionRequest& request, LogFile& logFile, ConversionFrontend& receiver,
                  ConversionSummary* summary)
{
    EscapingFrontend frontend(receiver);
    const std::wstring& directory = request.outputDirectory.empty() ? request.dataDirectory : request.outputDirectory;
    frontend.OnRunStarted();
    if (logFile.SetLogFilename(directory + L"/VareloLogFile.txt") != 0)
        ReportLogFailure(L"Unable to create set log file name.", logFile, frontend);
    if (logFile.OpenLogFile() != 0)
        ReportLogFailure(L"Unable to open log file.", logFile, frontend);
    if (request.options.Any())
        frontend.OnMessage(OrvLogging::Notice, request.options.Description(HintOf(frontend)));
    const std::vector<std::wstring> eventFilesNotUsed = request.eventFile.empty()
                                                            ? std::vector<std::wstring>()
                                                            : OtherEventFiles(request.dataDirectory, request.eventFile);
    if (const std::wstring warning = EventFilesNotUsedWarning(request.eventFile, eventFilesNotUsed); !warning.empty())
        frontend.OnMessage(OrvLogging::Warning, warning);
    std::vector<std::wstring> cscFiles = request.cscFiles;
    std::string choiceError;
    const bool chosen = ChooseChannels(request.options, cscFiles, choiceError);
    if (!chosen)
        frontend.OnMessage(OrvLogging::Error, L"Unable to choose the channels of " + request.dataDirectory + L": "
                                                  + OrvText::Utf8ToWide(choiceError) + L".");
    const std::wstring outputFileName = directory + L"/DevOutput.edf";
    int result = -1;
    {
        OrvToEDF engine;
        SubscriptionId id = 0;
        engine.Subscribe([&frontend](OrvLogging::ORVB_MESSAGE_TYPE type,
                                     const std::wstring& text) { frontend.OnMessage(type, text); },
                         id);
        engine.SetProgressHandler([&frontend](double fraction) { frontend.OnProgress(fraction); });
        engine.SetOptions(request.options);
        engine.SetCancelCheck(request.cancelled);
        engine.SetChoiceHint(HintOf(frontend));
        result = chosen ? engine.Convert(outputFileName, request.eventFile, cscFiles) : -1;
        if (result != 0 && request.cscFiles.empty())
            ReportUnreadableDirectory(request.dataDirectory, frontend);
        if (summary != nullptr) {
            *summary = engine.Summary();
            summary->eventFilesNotUsed = eventFilesNotUsed;
        }
        frontend.OnResult(result);
        if (logFile.CloseLogFile() != 0)
            frontend.OnMessage(OrvLogging::Error, L"Unable to close log file.");
        frontend.OnRunEnded();
    }
    return result;
}

int RunConversion(const std::wstring& directory, const std::vector<std::wstring>& cscFiles,
                  const std::wstring& eventFile, LogFile& logFile, ConversionFrontend& frontend,
                  const ConversionOptions& options)
{
    ConversionRequest request;
    request.dataDirectory = directory;
    request.cscFiles = cscFiles;
    request.eventFile = eventFile;
    request.options = options;
    return RunConversion(request, logFile, frontend);
}
