#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "logging/MessageType.h"
#include "logging/SafeFile.h"
#include "logging/SystemInfo.h"

// A plain-text log of one conversion beside its data: header lines that identify the file, the
// time and the machine, one tagged and time-stamped line per message, and a closing line.
// Text is written as ISO 8859-1 and every line is flushed at once, so the log is complete up to
// the last message even if the program ends abruptly.
class LogFile {
public:
    // Shows a box with caption and text and returns when it has been dismissed.
    using MessageBoxHandler = std::function<void(const std::wstring& caption, const std::wstring& text)>;

    LogFile();
    virtual ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Where "Log File Error" goes; by default its caption and text are printed on standard error.
    void SetMessageBoxHandler(MessageBoxHandler handler);

    // Sets the directory and the base name (the extension becomes ".txt"), then opens the file.
    int SetLogFilename(std::wstring name);
    // Creates or empties the file; 0 at once when it is already open under the same path. Only a
    // regular file is ever opened: a symbolic link, a FIFO or a directory under the name is a
    // file that cannot be opened.
    int OpenLogFile();
    int LogMessage(OrvLogging::ORVB_MESSAGE_TYPE type, std::wstring text);
    int WriteText(std::wstring text);
    // Writes the closing line and closes the file; -1 when it was not open.
    int CloseLogFile();

    // " hh:mm:ss.mmm" of the current local time.
    std::wstring TimeStamp() const;
    static std::wstring FormatTimeStamp(const OrvSystem::LocalTime& time);
    // Tag, time stamp, " - " and text: the line that LogMessage writes.
    static std::wstring MessageLine(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text);

    const std::wstring& CurrentPath() const { return m_currentPath; }
    // "<path>: <reason>." of the last open that failed; empty when none has.
    const std::wstring& OpenFailure() const { return m_openFailure; }

private:
    void WriteHeader(const std::wstring& path);
    void ShowOpenError(const std::wstring& path);

    std::wstring m_fileName;     // base name + ".txt"; empty until a name with a base name was set
    std::wstring m_currentPath;  // path of the last successful open
    std::wstring m_directory;    // directory part of the last name set, with its trailing "/"
    int m_fd = -1;               // the open log file, or -1
    bool m_debugEnabled = false;
    std::mutex m_lock;
    MessageBoxHandler m_messageBox;
    std::wstring m_openFailure;
};
