#include "logging/LogFile.h"

#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <unistd.h>

#include "logging/ControlEscaping.h"
#include "logging/TextConversion.h"
#include "logging/WriteAll.h"

namespace {

constexpr size_t maxDirectoryLength = 4095;  // PATH_MAX less its NUL
constexpr size_t maxNamePartLength = 255;    // NAME_MAX
const wchar_t* const fallbackFileName = L"KestrowLogFile.txt";

struct PathParts {
    std::wstring directory;  // up to and including the last "/"
    std::wstring baseName;
    std::wstring extension;  // from the last "." of the file name on
};

// Splits a path the way the log file names itself. Parts that do not fit leave all parts empty.
PathParts SplitPath(const std::wstring& path)
{
    PathParts parts;
    const size_t slash = path.rfind(L'/');
    const size_t nameStart = slash == std::wstring::npos ? 0 : slash + 1;
    const std::wstring name = path.substr(nameStart);
    const size_t dot = name.rfind(L'.');
    parts.directory = path.substr(0, nameStart);
    parts.baseName = name.substr(0, dot);
    parts.extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
    if (parts.directory.size() > maxDirectoryLength || parts.baseName.size() > maxNamePartLength
        || parts.extension.size() > maxNamePartLength)
        return {};
    return parts;
}

// The path from the root, as an error names a file; unchanged when the working directory is gone.
std::wstring AbsolutePath(const std::wstring& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(OrvText::WideToUtf8(path), error);
    return error ? path : OrvText::Utf8ToWide(absolute.string());
}

void PrintMessageBox(const std::wstring& caption, const std::wstring& text)
{
    std::fprintf(stderr, "%s: %s\n", OrvText::WideToUtf8(caption).c_str(), OrvText::WideToUtf8(text).c_str());
}

}  // namespace

LogFile::LogFile() : m_messageBox(PrintMessageBox)
{
}

LogFile::~LogFile()
{
    if (m_fd >= 0)
        (void)close(m_fd);  // without a closing line
}

void LogFile::SetMessageBoxHandler(MessageBoxHandler handler)
{
    m_messageBox = handler ? std::move(handler) : MessageBoxHandler(PrintMessageBox);
}

int LogFile::SetLogFilename(
    std::wstring name)  // NOLINT(performance-unnecessary-value-param): the operation takes its own copy
{
    if (name.empty()) {
        LogMessage(OrvLogging::Error,
                   L"LogFile::SetLogFilename() - Error, invalid parameter, filename string is empty.");
        return -1;
    }
    const PathParts parts = SplitPath(name);
    m_directory = parts.directory.empty() ? L"./" : parts.directory;
    if (!parts.baseName.empty())
        m_fileName = parts.baseName + L".txt";
    return OpenLogFile() == 0 ? 0 : -1;
}

int LogFile::OpenLogFile()
{
    const std::wstring path = m_directory + (m_fileName.empty() ? std::wstring(fallbackFileName) : m_fileName);
    if (m_fd >= 0 && path == m_currentPath)
        return 0;
    if (m_fd >= 0)
        (void)close(m_fd);
    m_openFailure.clear();
    OrvFiles::Failure failure;
    m_fd = OrvFiles::OpenForWriting(OrvText::WideToUtf8(path), OrvFiles::Existing::Truncate, false, failure);
    if (m_fd < 0) {
        m_openFailure = OrvFiles::Describe(AbsolutePath(path), failure);
        ShowOpenError(path);
        return -1;
    }
    if (m_currentPath.empty())
        WriteHeader(path);
    else
        WriteText(L"Log file successfully moved to " + OrvText::EscapeControls(path));
    m_currentPath = path;
    return 0;
}

int LogFile::LogMessage(
    OrvLogging::ORVB_MESSAGE_TYPE type,
    std::wstring text)  // NOLINT(performance-unnecessary-value-param): the operation takes its own copy
{
    if (type == OrvLogging::Debug && !m_debugEnabled)
        return 0;
    std::lock_guard<std::mutex> guard(m_lock);
    return WriteText(MessageLine(type, text));
}

int LogFile::WriteText(
    std::wstring text)  // NOLINT(performance-unnecessary-value-param): the operation takes its own copy
{
    if (m_fd < 0)
        return -1;
    std::string latin1;
    (void)OrvText::WideToLatin1(text, latin1);  // a text that cannot be converted becomes an empty line
    latin1 += '\n';
    (void)WriteAll(m_fd, latin1);  // one write per line, so the file is complete up to the last one
    return 0;
}

int LogFile::CloseLogFile()
{
    if (m_fd < 0)
        return -1;
    WriteText(L"Log File Closed - End of File\r\n");
    (void)close(m_fd);  // a failing close is not reported, as a failing write is not
    m_fd = -1;
    return 0;
}

std::wstring LogFile::TimeStamp() const
{
    return FormatTimeStamp(OrvSystem::CurrentLocalTime());
}

std::wstring LogFile::FormatTimeStamp(const OrvSystem::LocalTime& time)
{
    std::wostringstream stamp;
    stamp << L' ' << std::setfill(L'0') << std::setw(2) << time.hour << L':' << std::setw(2) << time.minute << L':'
          << std::setw(2) << time.second << L'.' << std::setw(3) << time.millisecond;
    return stamp.str();
}

std::wstring LogFile::MessageLine(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    return OrvLogging::MessageTypeTag(type) + FormatTimeStamp(OrvSystem::CurrentLocalTime()) + L" - " + text;
}

void LogFile::WriteHeader(const std::wstring& path)
{
    const OrvSystem::LocalTime now = OrvSystem::CurrentLocalTime();
    std::wostringstream opened;
    opened << L"Time Opened: (m/d/y)  " << now.month << L'/' << now.day << L'/' << now.year << L" at time " << now.hour
           << L':' << now.minute << L':' << now.second << L'.' << now.millisecond;
    WriteText(L"Velquor Base Log File Opened - File Name: " + OrvText::EscapeControls(path));
    WriteText(opened.str());
    WriteText(L"Processor Type: " + OrvSystem::ProcessorBrandString());
    WriteText(L"Number of cores: " + std::to_wstring(OrvSystem::LogicalProcessorCount()));
    WriteText(L"Total System Memory: " + std::to_wstring(OrvSystem::TotalPhysicalMemoryBytes() / 1048576) + L" MB");
}

void LogFile::ShowOpenError(const std::wstring& path)
{
    m_messageBox(L"Log File Error", L"Error opening filename: " + OrvText::EscapeControls(path)
                                        + L", file may be invalid, please check the filename ");
}
