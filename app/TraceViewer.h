#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include "edf/EdfPageReader.h"

class QLabel;
class QListWidget;
class QScrollBar;
class QWidget;

// A look at the traces of an EDF+ file: every chosen channel stacked with its label and scale,
// the annotations as marked lines with their texts, a page of time that scrolls and zooms. It
// reads the file with the project's own reader, only the span that is shown (EdfPageReader).
class TraceViewer : public QDialog {
    Q_OBJECT

public:
    explicit TraceViewer(QWidget* parent = nullptr);

    // Shows `file`; false, with the problem shown in the window, when it cannot be read.
    bool OpenFile(const QString& file);

    // What is drawn: the file's channels and events, the channels chosen, the page.
    int ChannelCount() const { return static_cast<int>(m_pages.SampleSignals().size()); }
    int EventCount() const { return static_cast<int>(m_pages.Events().size()); }
    std::vector<int> ChosenSignals() const;
    const EdfPage& Page() const { return m_page; }
    void ShowSpan(double start, double seconds);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnOpen();
    void Zoom(double factor);
    void ReadPage();
    void PaintPlot();
    void ShowProblem(const QString& problem);

    EdfPageReader m_pages;
    EdfPage m_page;
    bool m_open = false;
    double m_start = 0;
    double m_seconds = 10;  // a page of 10 s to begin with
    QString m_problem;
    QWidget* m_plot = nullptr;
    QListWidget* m_channels = nullptr;
    QScrollBar* m_time = nullptr;
    QLabel* m_span = nullptr;
};
