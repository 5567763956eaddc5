#include "tools/CommandLineFrontend.h"

#include <unistd.h>

#include "logging/TextConversion.h"

CommandLineFrontend::CommandLineFrontend(LogFile& logFile, bool quiet, std::FILE* out, std::FILE* err)
    : m_logFile(logFile), m_quiet(quiet), m_out(out), m_err(err), m_showProgress(isatty(fileno(err)) == 1)
{
}

void CommandLineFrontend::OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    if (!m_quiet) {
        ClearProgressLine();
        std::fprintf(m_out, "%s\n", OrvText::WideToUtf8(LogFile::MessageLine(type, text)).c_str());
        std::fflush(m_out);
    }
    (void)m_logFile.LogMessage(type, text);  // without an open log file the message is only printed
}

void CommandLineFrontend::OnResult(int result)
{
    ClearProgressLine();
    std::fprintf(m_out, "%s\n", OrvText::WideToUtf8(ResultText(result)).c_str());
    std::fflush(m_out);
}

void CommandLineFrontend::OnRunStarted()
{
    m_shownPercent = -1;
}

void CommandLineFrontend::OnRunEnded()
{
    ClearProgressLine();
}

void CommandLineFrontend::OnProgress(double fraction)
{
    if (!m_showProgress)
        return;
    const int percent = fraction <= 0 ? 0 : fraction >= 1 ? 100 : static_cast<int>(fraction * 100);
    if (percent == m_shownPercent)
        return;
    m_shownPercent = percent;
    std::fprintf(m_err, "\rConverting... %3d%%", percent);
    std::fflush(m_err);
}

void CommandLineFrontend::ClearProgressLine()
{
    if (m_shownPercent < 0)
        return;
    std::fprintf(m_err, "\r%20s\r", "");
    std::fflush(m_err);
    m_shownPercent = -1;
}
