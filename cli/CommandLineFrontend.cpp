#include "CommandLineFrontend.h"

#include "logging/TextConversion.h"

CommandLineFrontend::CommandLineFrontend(LogFile& logFile, bool quiet, RunOutput& output, std::string resultPrefix)
    : m_logFile(logFile), m_quiet(quiet), m_output(output), m_resultPrefix(std::move(resultPrefix))
{
}

void CommandLineFrontend::OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    if (!m_quiet)
        m_output.Line(OrvText::WideToUtf8(LogFile::MessageLine(type, text)));
    m_messages.emplace_back(type, text);
    (void)m_logFile.LogMessage(type, text);  // without an open log file the message is only printed
}

void CommandLineFrontend::OnProgress(double fraction)
{
    m_output.Progress(fraction);
}

std::wstring CommandLineFrontend::ChoiceHint(ConversionChoice choice) const
{
    switch (choice) {
    case ConversionChoice::ExactRecordTiming:
        return L"--exact-timing";
    case ConversionChoice::PhysicalDimension:
        return L"--unit";
    case ConversionChoice::Verification:
        return L"--verify";
    case ConversionChoice::LabOutput:
        return L"lab output, the default";  // --classic turns it off
    }
    return {};
}

void CommandLineFrontend::OnResult(int result)
{
    m_output.Line(m_resultPrefix + OrvText::WideToUtf8(ResultText(result)));
}
