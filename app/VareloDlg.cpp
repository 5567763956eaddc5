#include "app/VareloDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "VareloVersion.h"
#include "app/AppIcon.h"
#include "app/CAboutDlg.h"
#include "app/DialogUnits.h"
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
constexpr int messageColumnWidth = 2000;  // pixels: wide enough that no message is cut
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

}  // namespace

VareloDlg::VareloDlg()
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                           | Qt::WindowCloseButtonHint),
      m_icon(AppIcon::Create()), m_chooseDirectory(ChooseDirectoryWithBrowser), m_presentBox(ShowBoxModally)
{
    setWindowIcon(m_icon);
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
    (void)::RunConversion(request, m_logFile, *this);  // the box has said how it went
}

void VareloDlg::OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text)
{
    const int rowCount = m_messageList->topLevelItemCount();
    // Text only: the type reaches the log file, never the row's look.
    m_messageList->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromStdWString(text)}));
    if (rowCount > rowsKeptBeforeInsert)
        delete m_messageList->takeTopLevelItem(0);
    (void)m_logFile.LogMessage(type, text);  // without an open log file the row is all there is
}

std::wstring VareloDlg::ChoiceHint(ConversionChoice choice) const
{
    const char* item = MenuItemOf(choice);
    return item == nullptr ? std::wstring() : QStringLiteral("%1 > %2").arg(optionsMenu, item).toStdWString();
}

void VareloDlg::OnResult(int result)
{
    m_progressBar->hide();  // the conversion is over; the box tells how it went
    m_cancelButton->hide();
    QMessageBox box(QMessageBox::NoIcon, resultCaption, QString::fromStdWString(ResultText(result)), QMessageBox::Ok,
                    this);
    PresentBox(box);
}

void VareloDlg::OnRunStarted()
{
    m_converting = true;
    m_cancelRequested = false;
    // Only Cancel, the window's size and its painting while the run goes on.
    m_selectButton->setEnabled(false);
    m_menuBar->setEnabled(false);
    m_cancelButton->setEnabled(true);
    m_cancelButton->show();
    m_sinceEvents.invalidate();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_shownPercent = 0;
    m_progressBar->setValue(0);
    m_progressBar->show();
}

void VareloDlg::OnRunEnded()
{
    m_progressBar->hide();
    m_cancelButton->hide();
    m_selectButton->setEnabled(true);
    m_menuBar->setEnabled(true);
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
    options.verify = m_verify->isChecked();
    return options;
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
    auto* group = new QGroupBox("Message Log", client);
    group->setObjectName("messageLogGroup");
    group->setGeometry(units.ToPixels(7, 35, 487, 134));

    m_messageList = new QTreeWidget(client);
    m_messageList->setObjectName("messageList");
    m_messageList->setGeometry(units.ToPixels(13, 46, 476, 117));
    m_messageList->setColumnCount(1);
    m_messageList->setHeaderLabels({"Messages"});
    m_messageList->setRootIsDecorated(false);
    m_messageList->setUniformRowHeights(true);
    m_messageList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_messageList->header()->setStretchLastSection(false);
    m_messageList->setColumnWidth(0, messageColumnWidth);
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
