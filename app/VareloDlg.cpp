#include "app/VareloDlg.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <chrono>

#include "VareloVersion.h"
#include "app/AppIcon.h"
#include "app/CAboutDlg.h"
#include "app/DialogUnits.h"
#include "app/TraceViewer.h"
#include "engine/ConversionReport.h"
#include "engine/ProgressPercent.h"
#include "logging/TextConversion.h"

namespace {

const char* const windowCaption = "Velquor Varelo " VARELO_VERSION " ";  // the blank at the end is part of it
const char* const noticeText = "\u00A9 Velquor. All rights reserved.";
const char* const browserCaption = "Select Data Directory";
const QString optionsGroup = QStringLiteral("options/");
// The Options menu and its items, as the menu shows them and the messages name them.
const char* const optionsMenu = "Options";
const char* const exactTimingItem = "Exact record timing";
const char* const microvoltUnitsItem = "Write microvolt units";
const char* const verifyItem = "Verify files after conversion";
const char* const labOutputItem = "Lab output";
const char* const identificationItem = "Channels and Identification...";

const char* MenuItemOf(ConversionChoice choice)
{
    switch (choice) {
    case ConversionChoice::ExactRecordTiming:
        return exactTimingItem;
    case ConversionChoice::PhysicalDimension:
        return microvoltUnitsItem;
    case ConversionChoice::Verification:
        return verifyItem;
    case ConversionChoice::LabOutput:
        return labOutputItem;
    }
    return nullptr;
}
const char* const openFolderButton = "Open Output Folder";
// The rows' look by message type: an icon and a colour that say it at a glance.
struct RowLook {
    QStyle::StandardPixmap icon;
    QColor colour;  // invalid: the list's own
};
RowLook RowLookOf(OrvLogging::ORVB_MESSAGE_TYPE type)
{
    switch (type) {
    case OrvLogging::Fatal:
    case OrvLogging::Error:
        return {QStyle::SP_MessageBoxCritical, QColor(0xB0, 0x00, 0x20)};
    case OrvLogging::Warning:
        return {QStyle::SP_MessageBoxWarning, QColor(0x8A, 0x50, 0x00)};
    default:
        return {QStyle::SP_MessageBoxInformation, QColor()};
    }
}
constexpr int messageTypeRole = Qt::UserRole;  // a row's message type, for its detail
// The frame and the list keep their margins to the window's right and bottom edges (dialog units).
constexpr int groupLeft = 7, groupTop = 35, groupRightMargin = 5, groupBottomMargin = 5;
constexpr int listLeft = 13, listTop = 46, listRightMargin = 10, listBottomMargin = 11;
constexpr int detailHeight = 22;     // below the list, inside the frame: three lines
constexpr int resultLineChars = 56;  // the result box's details: a file's line without a break
constexpr int boxGap = 8;            // pixels between the window and a result box beside it
// How often the window handles its events during a run: often enough to feel immediate, seldom
// enough to cost the conversion nothing worth naming.
constexpr qint64 eventIntervalMs = 15;
// A row is deleted only when the list held more than this before the insertion, so it keeps 51.
constexpr int rowsKeptBeforeInsert = 50;

QString ChooseDirectoryWithBrowser(QWidget* parent, const QString& caption)
{
    return QFileDialog::getExistingDirectory(parent, caption);
}

void ShowBoxModally(QMessageBox& box)
{
    (void)box.exec();  // the box has one button, so its answer tells nothing
}

bool OpenFolderWithFileManager(const QString& folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

// A button of the box that acts without closing it.
QPushButton* AddActionButton(QMessageBox& box, const QString& text, const std::function<void()>& action)
{
    QPushButton* button = box.addButton(text, QMessageBox::ActionRole);
    QObject::disconnect(button, &QAbstractButton::clicked, nullptr, nullptr);  // the box's own closes it
    QObject::connect(button, &QAbstractButton::clicked, &box, action);
    return button;
}

}  // namespace

VareloDlg::VareloDlg()
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                           | Qt::WindowCloseButtonHint),
      m_icon(AppIcon::Create()), m_chooseDirectory(ChooseDirectoryWithBrowser), m_presentBox(ShowBoxModally),
      m_openFolder(OpenFolderWithFileManager)
{
    setWindowIcon(m_icon);
    setAcceptDrops(true);
    setWindowTitle(windowCaption);
    m_logFile.SetMessageBoxHandler(
        [this](const std::wstring& caption, const std::wstring& text) { ShowLogFileError(caption, text); });

    // The layout only stacks the menu bar over the client area; the controls in the client area
    // have fixed positions and sizes and stay where they are when the window is resized.
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    CreateMenu();
    auto* client = new QWidget(this);
    client->setObjectName("clientArea");
    frame->addWidget(client);
    CreateControls(client);

    const QSize clientSize = DialogUnits(fontMetrics()).ToPixels(499, 174);
    resize(clientSize.width(), clientSize.height() + frame->menuBar()->sizeHint().height());
}

VareloDlg::~VareloDlg() = default;

void VareloDlg::SetDirectoryChooser(DirectoryChooser chooser)
{
    m_chooseDirectory = chooser ? std::move(chooser) : DirectoryChooser(ChooseDirectoryWithBrowser);
}

void VareloDlg::SetBoxPresenter(BoxPresenter presenter)
{
    m_presentBox = presenter ? std::move(presenter) : BoxPresenter(ShowBoxModally);
}

void VareloDlg::SetFolderOpener(FolderOpener opener)
{
    m_openFolder = opener ? std::move(opener) : FolderOpener(OpenFolderWithFileManager);
}

void VareloDlg::OnBnClickedSelectDirectory()
{
    const QString directory = m_chooseDirectory(this, browserCaption);
    if (directory.isEmpty())
        return;
    // Paths travel as their UTF-8 bytes, as everywhere else in the program.
    ConvertDirectory(OrvText::Utf8ToWide(QFile::encodeName(directory).toStdString()));
}

void VareloDlg::ConvertDirectory(const std::wstring& directory)
{
    m_dataDirectory = directory;
    ScanDirectory();
}

void VareloDlg::ScanDirectory()
{
    ::ScanDirectory(m_dataDirectory, m_cscFiles, m_eventFile, ChannelOrderOf(ChosenOptions()));
    RunConversion();
}

void VareloDlg::RunConversion()
{
    ConversionRequest request;
    request.dataDirectory = m_dataDirectory;
    request.cscFiles = m_cscFiles;
    request.eventFile = m_eventFile;
    request.options = ChosenOptions();
    request.cancelled = [this] { return m_cancelRequested; };
    m_summary = ConversionSummary();
    m_runMessages.clear();
    const auto started = std::chrono::steady_clock::now();
    const int result = ::RunConversion(request, m_logFile, *this, &m_summary);  // the box has said how it went
    WriteReport(request, result, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

void VareloDlg::WriteReport(const ConversionRequest& request, int result, double wallSeconds)
{
    RecordingReport report;
    report.recording = OrvText::WideToUtf8(request.dataDirectory);
    report.outputDirectory = report.recording;
    report.inputs = DescribeInputs(request.cscFiles, request.eventFile);
    report.summary = m_summary;
    report.messages = m_runMessages;
    report.result = result == 0 ? "complete" : "failed";
    report.wallSeconds = wallSeconds;
    ReportSettings settings;
    settings.options = request.options;
    std::string error;
    if (!WriteReportFile(report.outputDirectory + "/" + reportFileName, ReportJson(report, settings), error))
        OnMessage(OrvLogging::Error, OrvText::Utf8ToWide(error));  // the log file is closed: the row only
}

void VareloDlg::OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    const int rowCount = m_messageList->topLevelItemCount();
    const QString shown = QString::fromStdWString(text);
    auto* row = new QTreeWidgetItem(QStringList{shown});
    const RowLook look = RowLookOf(type);
    row->setIcon(0, style()->standardIcon(look.icon));
    if (look.colour.isValid())
        row->setForeground(0, look.colour);
    row->setToolTip(0, shown);  // the whole text, however narrow the window
    row->setData(0, messageTypeRole, static_cast<int>(type));
    m_messageList->addTopLevelItem(row);
    if (rowCount > rowsKeptBeforeInsert)
        delete m_messageList->takeTopLevelItem(0);
    if (m_converting) {
        m_runResult.Count(type, text);
        m_runMessages.emplace_back(type, text);
    }
    (void)m_logFile.LogMessage(type, text);  // without an open log file the row is all there is
}

void VareloDlg::ShowMessageDetail(QTreeWidgetItem* row)
{
    if (row == nullptr) {
        m_messageDetail->clear();
        return;
    }
    const auto type = static_cast<OrvLogging::ORVB_MESSAGE_TYPE>(row->data(0, messageTypeRole).toInt());
    m_messageDetail->setPlainText(QString::fromStdWString(OrvLogging::MessageTypeName(type)) + ": " + row->text(0));
}

void VareloDlg::CopySelectedMessages() const
{
    QStringList texts;
    for (int i = 0; i < m_messageList->topLevelItemCount(); ++i) {
        if (m_messageList->topLevelItem(i)->isSelected())
            texts.append(m_messageList->topLevelItem(i)->text(0));
    }
    if (!texts.isEmpty())
        QApplication::clipboard()->setText(texts.join('\n'));
}

std::wstring VareloDlg::ChoiceHint(ConversionChoice choice) const
{
    const char* item = MenuItemOf(choice);
    return item == nullptr ? std::wstring() : QStringLiteral("%1 > %2").arg(optionsMenu, item).toStdWString();
}

void VareloDlg::OnResult(int result)
{
    // The conversion is over; the box tells how it went, and the window looks as it does when idle
    // (only the box can be answered until the run has ended).
    ShowRunControls(false);
    QMessageBox box(QMessageBox::NoIcon, resultCaption, QString::fromStdWString(ResultText(result)), QMessageBox::Ok,
                    this);
    AddResultDetails(box);
    PlaceBesideWindow(box);
    PresentBox(box);
}

void VareloDlg::AddResultDetails(QMessageBox& box)
{
    box.setInformativeText(m_runResult.Details(m_summary));
    // Wide enough that a file's line is not broken.
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: %1px; }")
                          .arg(fontMetrics().averageCharWidth() * resultLineChars));
    const QStringList written = RunResult::FilesWritten(m_summary);
    const QString folder =
        written.isEmpty() ? QString::fromStdWString(m_dataDirectory) : QFileInfo(written.front()).absolutePath();
    QPushButton* open = AddActionButton(box, openFolderButton, [this, folder] {
        if (!m_openFolder(folder))
            OnMessage(OrvLogging::Warning,
                      L"Cannot open the folder " + folder.toStdWString() + L" with the desktop's file manager.");
    });
    open->setObjectName("openFolderButton");
    if (!written.isEmpty()) {
        QPushButton* view = AddActionButton(box, "View Traces", [this, written] { ViewTraces(written.front()); });
        view->setObjectName("viewTracesButton");
    }
    box.setDefaultButton(QMessageBox::Ok);
}

void VareloDlg::ViewTraces(const QString& file)
{
    if (m_traceViewer == nullptr)
        m_traceViewer = new TraceViewer(this);
    // Above the result box, which is modal while it waits.
    m_traceViewer->setWindowModality(QApplication::activeModalWidget() != nullptr ? Qt::ApplicationModal
                                                                                  : Qt::NonModal);
    if (!file.isEmpty())
        (void)m_traceViewer->OpenFile(file);  // a problem shows in the viewer
    m_traceViewer->show();
    m_traceViewer->raise();
}

void VareloDlg::PlaceBesideWindow(QMessageBox& box) const
{
    const QScreen* screen = this->screen();
    if (screen == nullptr || !isVisible())
        return;
    box.adjustSize();
    const QRect window = frameGeometry();
    const QSize size = box.frameGeometry().size();
    // Right of the window, below it, left of it: the first where the screen has room.
    const QPoint places[] = {{window.right() + boxGap, window.top()},
                             {window.left(), window.bottom() + boxGap},
                             {window.left() - boxGap - size.width(), window.top()}};
    for (const QPoint& place : places) {
        if (screen->availableGeometry().contains(QRect(place, size))) {
            box.move(place);
            return;
        }
    }
}

void VareloDlg::OnRunStarted()
{
    m_runResult.Start();
    m_converting = true;
    m_cancelRequested = false;
    ShowRunControls(true);
    m_sinceEvents.invalidate();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_shownPercent = 0;
    m_progressBar->setValue(0);
}

void VareloDlg::ShowRunControls(bool running)
{
    // While the run goes on, only Cancel, the window's size and its painting.
    m_selectButton->setEnabled(!running);
    m_menuBar->setEnabled(!running);
    m_progressBar->setVisible(running);
    m_cancelButton->setEnabled(running);
    m_cancelButton->setVisible(running);
}

void VareloDlg::OnRunEnded()
{
    ShowRunControls(false);
    m_shownPercent = -1;
    QApplication::restoreOverrideCursor();
    m_converting = false;
}

void VareloDlg::OnProgress(double fraction)
{
    const int percent = WholePercent(fraction);
    if (percent != m_shownPercent) {
        m_shownPercent = percent;
        m_progressBar->setValue(percent);
    }
    KeepResponsive();
}

void VareloDlg::KeepResponsive()
{
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < eventIntervalMs)
        return;
    // Paints what changed (bar, new rows, uncovered parts) and takes the user's clicks and keys:
    // everything but Cancel is disabled during the run.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.start();
}

void VareloDlg::OnCancel()
{
    if (m_converting)
        m_cancelRequested = true;
    m_cancelButton->setEnabled(false);  // once is enough; the run ends at its next data record
}

void VareloDlg::reject()
{
    if (m_converting)
        OnCancel();
    else
        QDialog::reject();
}

void VareloDlg::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!m_converting && urls.size() == 1 && urls.front().isLocalFile()
        && QFileInfo(urls.front().toLocalFile()).isDir())
        event->acceptProposedAction();
}

void VareloDlg::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (m_converting || urls.size() != 1 || !urls.front().isLocalFile())
        return;
    event->acceptProposedAction();
    // As the folder browser returns it: absolute, without a trailing "/".
    const QString directory = QDir::cleanPath(QFileInfo(urls.front().toLocalFile()).absoluteFilePath());
    ConvertDirectory(OrvText::Utf8ToWide(QFile::encodeName(directory).toStdString()));
}

void VareloDlg::closeEvent(QCloseEvent* event)
{
    if (m_converting) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

ConversionOptions VareloDlg::ChosenOptions() const
{
    // Lab output is what varelo-convert writes without options; the other items add to it.
    ConversionOptions options = m_labOutput->isChecked() ? ConversionOptions::Lab() : ConversionOptions();
    options.exactTiming = options.exactTiming || m_exactTiming->isChecked();
    if (m_microvoltUnits->isChecked())
        options.physicalDimension = "uV";
    options.verify = options.verify || m_verify->isChecked();  // lab output verifies, as varelo-convert does
    // As varelo-convert takes --channels, --patient and --recording: with either output alike.
    options.channels = m_identification.channels;
    options.patient = m_identification.patient;
    options.recording = m_identification.recording;
    return options;
}

void VareloDlg::OnChannelsAndIdentification()
{
    ChannelsIdentificationDlg dialog(m_identificationFields, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_identificationFields = dialog.GetFields();
    m_identification = dialog.Options();
}

QAction* VareloDlg::AddOption(QMenu* menu, const QString& text, const QString& key)
{
    QAction* action = menu->addAction(text);
    action->setCheckable(true);
    action->setObjectName(key);
    // Remembered across runs of the program; off until ticked.
    action->setChecked(QSettings().value(optionsGroup + key, false).toBool());
    connect(action, &QAction::toggled, this, [key](bool on) { QSettings().setValue(optionsGroup + key, on); });
    return action;
}

void VareloDlg::CreateMenu()
{
    auto* menuBar = new QMenuBar(this);
    m_menuBar = menuBar;
    QMenu* options = menuBar->addMenu(QStringLiteral("&") + optionsMenu);
    m_exactTiming = AddOption(options, exactTimingItem, "exactTiming");
    m_microvoltUnits = AddOption(options, microvoltUnitsItem, "microvoltUnits");
    m_verify = AddOption(options, verifyItem, "verify");
    m_labOutput = AddOption(options, QString(labOutputItem) + QStringLiteral(" (as varelo-convert writes by default)"),
                            "labOutput");
    options->addSeparator();
    QAction* identification = options->addAction(identificationItem);
    identification->setObjectName("channelsAndIdentification");
    connect(identification, &QAction::triggered, this, &VareloDlg::OnChannelsAndIdentification);
    QMenu* view = menuBar->addMenu("&View");
    connect(view->addAction("&Trace Viewer..."), &QAction::triggered, this, [this] { ViewTraces({}); });
    QMenu* help = menuBar->addMenu("&Help");
    QAction* about = help->addAction("&About Varelo...");
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &VareloDlg::OnAbout);
    layout()->setMenuBar(menuBar);
}

void VareloDlg::CreateControls(QWidget* client)
{
    const DialogUnits units(fontMetrics());

    m_selectButton = new QPushButton("Select Directory to Process", client);
    m_selectButton->setObjectName("selectDirectoryButton");
    m_selectButton->setGeometry(units.ToPixels(10, 9, 132, 24));
    connect(m_selectButton, &QPushButton::clicked, this, &VareloDlg::OnBnClickedSelectDirectory);

    // In the free space beside the button, the bar and Cancel right-aligned with the notice text
    // below them.
    m_progressBar = new QProgressBar(client);
    m_progressBar->setObjectName("progressBar");
    m_progressBar->setGeometry(units.ToPixels(150, 10, 284, 11));
    m_progressBar->setRange(0, 100);
    m_progressBar->hide();
    m_cancelButton = new QPushButton("Cancel", client);
    m_cancelButton->setObjectName("cancelButton");
    m_cancelButton->setGeometry(units.ToPixels(438, 8, 50, 14));
    m_cancelButton->setAutoDefault(false);
    m_cancelButton->hide();
    connect(m_cancelButton, &QPushButton::clicked, this, &VareloDlg::OnCancel);

    auto* notice = new QLabel(noticeText, client);
    notice->setObjectName("noticeText");
    notice->setTextFormat(Qt::PlainText);
    notice->setAlignment(Qt::AlignRight | Qt::AlignTop);
    notice->setGeometry(units.ToPixels(330, 24, 158, 8));

    // Created before the list, so that the list lies on top of the frame.
    m_messageLog = new QGroupBox("Message Log", client);
    m_messageLog->setObjectName("messageLogGroup");

    m_messageList = new QTreeWidget(client);
    m_messageList->setObjectName("messageList");
    m_messageList->setColumnCount(1);
    m_messageList->setHeaderLabels({"Messages"});
    m_messageList->setRootIsDecorated(false);
    m_messageList->setUniformRowHeights(true);
    m_messageList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_messageList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_messageList->header()->setStretchLastSection(true);  // the column is the list's width
    m_messageList->setTextElideMode(Qt::ElideRight);
    connect(m_messageList, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* row) { ShowMessageDetail(row); });
    auto* copy = new QShortcut(QKeySequence::Copy, m_messageList, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, &VareloDlg::CopySelectedMessages);

    m_messageDetail = new QPlainTextEdit(client);
    m_messageDetail->setObjectName("messageDetail");
    m_messageDetail->setReadOnly(true);
    m_messageDetail->setPlaceholderText("The chosen message's whole text");
    LayOutMessageLog();
}

void VareloDlg::LayOutMessageLog()
{
    const DialogUnits units(fontMetrics());
    const QWidget* client = m_messageLog->parentWidget();
    // The window's first size gives the places that dialog units name; more room goes to the list.
    const QSize first = units.ToPixels(499, 174);
    const int width = std::max(client->width(), first.width());
    const int height = std::max(client->height(), first.height());
    const QPoint group = units.ToPixels(groupLeft, groupTop, 0, 0).topLeft();
    m_messageLog->setGeometry(
        QRect(group, QPoint(width - units.ToPixelsX(groupRightMargin), height - units.ToPixelsY(groupBottomMargin))));
    const QRect list(units.ToPixels(listLeft, listTop, 0, 0).topLeft(),
                     QPoint(width - units.ToPixelsX(listRightMargin), height - units.ToPixelsY(listBottomMargin)));
    const int detail = units.ToPixelsY(detailHeight);
    m_messageList->setGeometry(list.adjusted(0, 0, 0, -detail - units.ToPixelsY(2)));
    m_messageDetail->setGeometry(QRect(list.left(), list.bottom() - detail + 1, list.width(), detail));
}

void VareloDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayOutMessageLog();
}

void VareloDlg::OnAbout()
{
    CAboutDlg about(this);
    (void)about.exec();  // it has only OK
}

void VareloDlg::ShowLogFileError(const std::wstring& caption, const std::wstring& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdWString(caption), QString::fromStdWString(text),
                    QMessageBox::Ok);  // no owner window
    PresentBox(box);
}

void VareloDlg::PresentBox(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);  // a path may hold "<"
    // The run keeps the wait cursor up to its end; a box waiting for an answer shows the arrow.
    if (m_converting)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    m_presentBox(box);
    if (m_converting)
        QApplication::restoreOverrideCursor();
}
