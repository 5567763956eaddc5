#include "app/TraceViewer.h"

#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr double pageSeconds = 10;
constexpr double shortestSpan = 0.01;  // seconds: zoomed in as far as it goes
constexpr int scrollSteps = 1000;      // scroll bar positions per page
constexpr int labelWidth = 150;        // pixels left of the traces for labels and scales
constexpr int eventTextLines = 3;
const QColor traceColour(0x10, 0x30, 0x80);
const QColor eventColour(0xC0, 0x30, 0x20);

// A trace's scale: the span it shows, peak to peak, in its unit where the file names one.
QString ScaleText(double span, const std::string& unit)
{
    const QString number = QString::number(span, 'f', span >= 100 ? 0 : (span >= 1 ? 1 : 3));
    return number + (unit.empty() ? QString() : " " + QString::fromStdString(unit)) + " p-p";
}

}  // namespace

TraceViewer::TraceViewer(QWidget* parent) : QDialog(parent, Qt::Window)
{
    setWindowTitle("Varelo Trace Viewer");
    setObjectName("traceViewer");
    auto* buttons = new QHBoxLayout;
    auto* open = new QPushButton("Open EDF+ File...", this);
    auto* zoomIn = new QPushButton("Zoom In", this);
    auto* zoomOut = new QPushButton("Zoom Out", this);
    zoomIn->setObjectName("zoomIn");
    zoomOut->setObjectName("zoomOut");
    m_span = new QLabel(this);
    for (QPushButton* button : {open, zoomIn, zoomOut}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addWidget(m_span, 1);
    connect(open, &QPushButton::clicked, this, &TraceViewer::OnOpen);
    connect(zoomIn, &QPushButton::clicked, this, [this] { Zoom(0.5); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { Zoom(2); });

    m_channels = new QListWidget(this);
    m_channels->setObjectName("channelChoice");
    m_channels->setMaximumWidth(180);
    connect(m_channels, &QListWidget::itemChanged, this, [this] { ReadPage(); });
    m_plot = new QWidget(this);
    m_plot->setObjectName("tracePlot");
    m_plot->setMinimumSize(400, 200);
    m_plot->installEventFilter(this);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_channels);
    middle->addWidget(m_plot, 1);

    m_time = new QScrollBar(Qt::Horizontal, this);
    m_time->setObjectName("timeScroll");
    connect(m_time, &QScrollBar::valueChanged, this,
            [this](int value) { ShowSpan(static_cast<double>(value) * m_seconds / scrollSteps, m_seconds); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(middle, 1);
    layout->addWidget(m_time);
    resize(1000, 640);
}

bool TraceViewer::OpenFile(const QString& file)
{
    std::string error;
    m_open = m_pages.Open(QFile::encodeName(file).toStdString(), error);
    m_channels->clear();
    if (!m_open) {
        ShowProblem(QString::fromStdString(error));
        return false;
    }
    m_problem.clear();
    setWindowTitle(QFileInfo(file).fileName() + " - Varelo Trace Viewer");
    const QSignalBlocker quiet(m_channels);
    for (const int signal : m_pages.SampleSignals()) {
        auto* item = new QListWidgetItem(
            QString::fromStdString(m_pages.Header().signals[static_cast<size_t>(signal)].label), m_channels);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setData(Qt::UserRole, signal);
    }
    ShowSpan(0, std::min(pageSeconds, m_pages.TotalSeconds()));
    return true;
}

std::vector<int> TraceViewer::ChosenSignals() const
{
    std::vector<int> chosen;
    for (int i = 0; i < m_channels->count(); ++i) {
        if (m_channels->item(i)->checkState() == Qt::Checked)
            chosen.push_back(m_channels->item(i)->data(Qt::UserRole).toInt());
    }
    return chosen;
}

void TraceViewer::ShowSpan(double start, double seconds)
{
    if (!m_open)
        return;
    const double total = m_pages.TotalSeconds();
    m_seconds = std::clamp(seconds, shortestSpan, std::max(total, shortestSpan));
    m_start = std::clamp(start, 0.0, std::max(0.0, total - m_seconds));
    const QSignalBlocker quiet(m_time);
    m_time->setRange(0, static_cast<int>(std::ceil((total - m_seconds) / m_seconds * scrollSteps)));
    m_time->setPageStep(scrollSteps);
    m_time->setSingleStep(scrollSteps / 10);
    m_time->setValue(static_cast<int>(std::lround(m_start / m_seconds * scrollSteps)));
    ReadPage();
}

void TraceViewer::Zoom(double factor)
{
    const double middle = m_start + m_seconds / 2;
    ShowSpan(middle - m_seconds * factor / 2, m_seconds * factor);
}

void TraceViewer::ReadPage()
{
    if (!m_open)
        return;
    std::string error;
    if (!m_pages.ReadPage(m_start, m_seconds, std::max(1, m_plot->width() - labelWidth), ChosenSignals(), m_page,
                          error))
        ShowProblem(QString::fromStdString(error));
    m_span->setText(QStringLiteral("%1 s to %2 s of %3 s, %4 channels, %5 events")
                        .arg(m_start, 0, 'f', 2)
                        .arg(m_start + m_seconds, 0, 'f', 2)
                        .arg(m_pages.TotalSeconds(), 0, 'f', 2)
                        .arg(ChannelCount())
                        .arg(EventCount()));
    m_plot->update();
}

void TraceViewer::OnOpen()
{
    const QString file = QFileDialog::getOpenFileName(this, "Open EDF+ File", QString(), "EDF+ files (*.edf *.EDF)");
    if (!file.isEmpty())
        (void)OpenFile(file);  // a problem shows in the window
}

void TraceViewer::ShowProblem(const QString& problem)
{
    m_problem = problem;
    m_page = EdfPage();
    m_span->setText(problem);
    m_plot->update();
}

bool TraceViewer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_plot && event->type() == QEvent::Paint) {
        PaintPlot();
        return true;
    }
    if (watched == m_plot && event->type() == QEvent::Resize)
        ReadPage();
    return QDialog::eventFilter(watched, event);
}

void TraceViewer::PaintPlot()
{
    QPainter painter(m_plot);
    painter.fillRect(m_plot->rect(), Qt::white);
    if (m_page.traces.empty())
        return;
    const int rows = static_cast<int>(m_page.traces.size());
    const double rowHeight = static_cast<double>(m_plot->height()) / rows;
    const double plotWidth = m_plot->width() - labelWidth;
    for (int row = 0; row < rows; ++row) {
        const EdfTrace& trace = m_page.traces[static_cast<size_t>(row)];
        const EdfSignal& signal = m_pages.Header().signals[static_cast<size_t>(trace.signal)];
        // Each trace scaled to its own extremes in the page, its scale written beside its label.
        double low = 0;
        double high = 0;
        for (size_t i = 0; i < trace.minimum.size(); ++i) {
            if (!std::isnan(trace.minimum[i])) {
                low = std::min(low, trace.minimum[i]);
                high = std::max(high, trace.maximum[i]);
            }
        }
        const double span = high > low ? high - low : 1;
        const double top = row * rowHeight;
        const auto y = [&](double value) { return top + rowHeight * (0.9 - 0.8 * (value - low) / span); };
        painter.setPen(Qt::black);
        painter.drawText(QRectF(4, top, labelWidth - 8, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(signal.label) + "\n" + ScaleText(span, signal.physicalDimension));
        painter.setPen(QColor(0xE0, 0xE0, 0xE0));
        painter.drawLine(QPointF(labelWidth, top + rowHeight), QPointF(m_plot->width(), top + rowHeight));
        painter.setPen(traceColour);
        for (size_t i = 0; i < trace.minimum.size(); ++i) {
            if (std::isnan(trace.minimum[i]))
                continue;
            const double x =
                labelWidth + static_cast<double>(i) * plotWidth / static_cast<double>(trace.minimum.size());
            painter.drawLine(QPointF(x, y(trace.minimum[i])), QPointF(x, y(trace.maximum[i]) - 0.5));
        }
    }
    painter.setPen(eventColour);
    const int lineHeight = painter.fontMetrics().height();
    int shown = 0;
    for (const EdfEvent& event : m_pages.Events()) {
        if (event.onset < m_page.start || event.onset >= m_page.start + m_page.seconds)
            continue;
        const double x = labelWidth + (event.onset - m_page.start) / m_page.seconds * plotWidth;
        painter.drawLine(QPointF(x, 0), QPointF(x, m_plot->height()));
        // Texts on three lines in turn, so that those of events close together do not overlap.
        // A text that the right edge would cut stands left of its line instead.
        const QString words = QString::fromStdString(event.text);
        const int width = painter.fontMetrics().horizontalAdvance(words);
        const double left = x + 3 + width <= m_plot->width() ? x + 3 : std::max<double>(labelWidth, x - 3 - width);
        const QRectF text(left, (shown++ % eventTextLines) * lineHeight, width + 1, lineHeight);
        painter.fillRect(text, Qt::white);
        painter.drawText(text, Qt::AlignLeft, words);
    }
}
