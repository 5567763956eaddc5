#include "engine/ConversionRun.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

#include "engine/OrvToEDF.h"
#include "logging/TextConversion.h"

namespace {

char FoldAsciiToUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The acquisition workstation's order: ASCII letters folded to upper case first, then byte by byte.
bool ListingOrder(const std::string& a, const std::string& b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(FoldAsciiToUpper(a[i]));
        const auto y = static_cast<unsigned char>(FoldAsciiToUpper(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool EndsWithIgnoringCase(const std::string& name, const std::string& suffix)
{
    if (name.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char x, char y) { return FoldAsciiToUpper(x) == FoldAsciiToUpper(y); });
}

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The names of the regular files in directory that end in pattern (any letter case), sorted.
std::vector<std::string> FindFiles(const std::string& directory, const std::string& pattern)
{
    std::vector<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr)
        return names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (EndsWithIgnoringCase(name, pattern) && IsRegularFile(directory + "/" + name))
            names.push_back(name);
    }
    closedir(listing);
    std::sort(names.begin(), names.end(), ListingOrder);
    return names;
}

}  // namespace

void ScanDirectory(const std::wstring& directory, std::vector<std::wstring>& cscFiles, std::wstring& eventFile)
{
    const std::string utf8Directory = OrvText::WideToUtf8(directory);
    cscFiles.clear();
    for (const std::string& name : FindFiles(utf8Directory, ".ocs")) {
        if (name.find(".ocs") != std::string::npos)  // the extension in capitals is passed over
            cscFiles.push_back(directory + L"/" + OrvText::Utf8ToWide(name));
    }
    const std::vector<std::string> eventFiles = FindFiles(utf8Directory, ".oev");
    eventFile = eventFiles.empty() ? std::wstring() : directory + L"/" + OrvText::Utf8ToWide(eventFiles.front());
}

int RunConversion(const std::wstring& directory, const std::vector<std::wstring>& cscFiles,
                  const std::wstring& eventFile, LogFile& logFile, ConversionFrontend& frontend)
{
    frontend.BeginWait();
    if (logFile.SetLogFilename(directory + L"/VareloLogFile.txt") != 0)
        frontend.OnMessage(OrvLogging::Error, L"Unable to create set log file name.");
    if (logFile.OpenLogFile() != 0)
        frontend.OnMessage(OrvLogging::Error, L"Unable to open log file.");
    const std::wstring outputFileName = directory + L"/DevOutput.edf";
    int result = -1;
    {
        OrvToEDF engine;
        SubscriptionId id = 0;
        engine.Subscribe([&frontend](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
            frontend.OnMessage(type, text);
        }, id);
        engine.SetProgressHandler([&frontend](double fraction) { frontend.OnProgress(fraction); });
        result = engine.Convert(outputFileName, eventFile, cscFiles);
        frontend.ShowResult(resultCaption, result == 0 ? resultComplete : resultFailed);
        if (logFile.CloseLogFile() != 0)
            frontend.OnMessage(OrvLogging::Error, L"Unable to close log file.");
        frontend.EndWait();
    }
    return result;
}
