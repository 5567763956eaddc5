#include "app/RunResult.h"

#include <QFileInfo>

#include <cmath>

namespace {

constexpr double unitsPerSecond = 100000.0;  // a data record's duration is kept in units of 10 µs

// "12.5 s" below a minute, "1:02:03" (hours, minutes, seconds) from a minute on.
QString DurationText(double seconds)
{
    if (seconds < 60)
        return QString::number(seconds, 'f', 1) + " s";
    const auto whole = static_cast<long long>(std::llround(seconds));
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QChar('0'))
        .arg(whole % 60, 2, 10, QChar('0'));
}

QString Counted(int count, const char* singular)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(singular).arg(count == 1 ? "" : "s");
}

}  // namespace

void RunResult::Start()
{
    *this = RunResult();
}

void RunResult::Count(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    if (type == OrvLogging::Warning)
        ++m_warnings;
    if (type != OrvLogging::Error && type != OrvLogging::Fatal)
        return;
    if (m_errors++ == 0)
        m_firstError = QString::fromStdWString(text);
}

QStringList RunResult::FilesWritten(const ConversionSummary& summary)
{
    QStringList files;
    for (const OutputFileSummary& output : summary.outputs) {
        if (output.named)
            files.append(QString::fromStdWString(output.file));
    }
    return files;
}

QString RunResult::Details(const ConversionSummary& summary) const
{
    QStringList lines;
    for (const OutputFileSummary& output : summary.outputs) {
        if (!output.named)
            continue;
        const double seconds = static_cast<double>(output.records) * output.durationUnits / unitsPerSecond;
        lines.append(QStringLiteral("%1: %2, %3")
                         .arg(QFileInfo(QString::fromStdWString(output.file)).fileName(), DurationText(seconds),
                              Counted(static_cast<int>(summary.channels.size()), "channel")));
    }
    if (lines.isEmpty())
        lines.append("No file written.");
    lines.append(Counted(m_warnings, "warning") + ", " + Counted(m_errors, "error")
                 + (m_errors > 0 ? ". The first: " + m_firstError : QString()));
    return lines.join('\n');
}
