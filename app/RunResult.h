#pragma once

#include <QString>
#include <QStringList>

#include <string>

#include "engine/ConversionSummary.h"
#include "logging/MessageType.h"

// What the "Conversion Results" box tells beneath its verdict: the files written, with their
// duration and channels, and how many warnings and errors the run reported, with the first
// error's text. Counts the messages of one run as they come.
class RunResult {
public:
    void Start();
    void Count(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text);

    // The lines that follow the verdict, from what the run wrote (`summary`).
    QString Details(const ConversionSummary& summary) const;
    // The files written under their final names, in the order they were written.
    static QStringList FilesWritten(const ConversionSummary& summary);

    int Warnings() const { return m_warnings; }
    int Errors() const { return m_errors; }

private:
    int m_warnings = 0;
    int m_errors = 0;
    QString m_firstError;
};
