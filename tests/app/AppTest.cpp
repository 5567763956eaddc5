#include "app/VareloDlg.h"

#include "app/DialogUnits.h"
#include "app/LaunchOptions.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

#include "VareloVersion.h"
#include "app/CAboutDlg.h"
#include "app/TraceViewer.h"
#include "edf/EdfLayout.h"
#include "edf/EdfParser.h"
#include "engine/ConversionRun.h"
#include "logging/LogFile.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

// Failures show texts as texts.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

class VareloDlgTest : public ::testing::Test {
protected:
    QTreeWidget& List() { return *dialog.findChild<QTreeWidget*>("messageList"); }
    QProgressBar& Bar() { return *dialog.findChild<QProgressBar*>("progressBar"); }

    QStringList Rows()
    {
        QStringList rows;
        for (int i = 0; i < List().topLevelItemCount(); ++i)
            rows.append(List().topLevelItem(i)->text(0));
        return rows;
    }

    VareloDlg dialog;
};

TEST_F(VareloDlgTest, CaptionEndsInABlankAndTheListKeepsTheLatest51MessagesOldestFirst)
{
    EXPECT_EQ(dialog.windowTitle(), "Velquor Varelo " VARELO_VERSION " ");
    QStringList expected;
    for (int i = 1; i <= 60; ++i) {
        dialog.OnMessage(OrvLogging::Notice, L"Message " + std::to_wstring(i));
        expected.append(QString("Message %1").arg(i));
        if (i == 51) {
            EXPECT_EQ(Rows(), expected);
        }
    }
    EXPECT_EQ(Rows(), expected.mid(9));
}

// Each row says its type by its icon and colour; the whole text shows on hover and in the detail.
TEST_F(VareloDlgTest, RowsShowTheirTypeAndTheirWholeText)
{
    const std::wstring longText(400, L'x');
    const std::tuple<OrvLogging::ORVB_MESSAGE_TYPE, QStyle::StandardPixmap, QString> rows[] = {
        {OrvLogging::Error, QStyle::SP_MessageBoxCritical, "Error: "},
        {OrvLogging::Warning, QStyle::SP_MessageBoxWarning, "Warning: "},
        {OrvLogging::Notice, QStyle::SP_MessageBoxInformation, "Notice: "}};
    QSet<QRgb> colours;
    for (const auto& [type, icon, detail] : rows) {
        dialog.OnMessage(type, longText);
        QTreeWidgetItem* row = List().topLevelItem(List().topLevelItemCount() - 1);
        EXPECT_EQ(row->icon(0).pixmap(16).toImage(), dialog.style()->standardIcon(icon).pixmap(16).toImage());
        colours.insert(row->foreground(0).color().rgb());
        EXPECT_EQ(row->toolTip(0).toStdWString(), longText);
        List().setCurrentItem(row);
        EXPECT_EQ(dialog.findChild<QPlainTextEdit*>("messageDetail")->toPlainText(),
                  detail + QString::fromStdWString(longText));
    }
    EXPECT_EQ(colours.size(), 3);
    dialog.show();  // the layout works on a shown window
    // The list and its column take a larger window's room.
    const QSize before = List().size();
    dialog.resize(dialog.size() + QSize(200, 100));
    EXPECT_EQ(List().size(), before + QSize(200, 100));
    EXPECT_EQ(List().columnWidth(0), List().viewport()->width());
}

TEST_F(VareloDlgTest, AboutIsTheLastItemOfTheHelpMenuAndOpensTheAboutBoxModally)
{
    QMenu* help = nullptr;
    for (QAction* action : dialog.findChild<QMenuBar*>()->actions()) {
        if (action->menu() != nullptr && action->text() == "&Help")
            help = action->menu();
    }
    ASSERT_NE(help, nullptr);
    QAction* about = help->actions().back();
    EXPECT_EQ(about->text(), "&About Varelo...");

    dialog.show();
    QString shown;
    QString aboutVersion;
    QTimer::singleShot(0, &dialog, [&] {
        auto* box = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->windowTitle() + (box->isModal() ? ", modal" : "");
        aboutVersion = box->findChild<QLabel*>("versionText")->text();
        box->findChild<QPushButton*>("okButton")->click();
    });
    about->trigger();  // returns once the box is closed
    EXPECT_EQ(shown, "About Varelo, modal");
    // checked in the box while it is shown: its version line from the build's version
    EXPECT_EQ(aboutVersion, "Varelo, Version " VARELO_VERSION_MAJOR_MINOR);
    EXPECT_EQ(dialog.findChild<CAboutDlg*>(), nullptr) << "the About box lives for one display";
}

TEST_F(VareloDlgTest, WhileWaitingTheBarShowsTheShareConvertedAndTheWindowStaysOpen)
{
    dialog.show();
    EXPECT_TRUE(Bar().isHidden());
    dialog.OnRunStarted();
    EXPECT_FALSE(Bar().isHidden());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    const std::pair<double, int> steps[] = {{0.5, 50},  {0.509, 50}, {0.999, 99},      {1.5, 100},
                                            {-0.25, 0}, {0.07, 7},   {std::nan(""), 0}};
    for (const auto& [fraction, percent] : steps) {
        dialog.OnProgress(fraction);
        EXPECT_EQ(Bar().value(), percent) << fraction;
    }
    EXPECT_FALSE(dialog.close());
    dialog.OnRunEnded();
    EXPECT_TRUE(Bar().isHidden());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dialog.close());
}

TEST_F(VareloDlgTest, ConvertsTheChosenDirectoryAndShowsTheResultOverTheWindow)
{
    TempDir dir;
    RecordingBuilder::Channel channel;
    channel.name = "Label-longer-than-its-field";
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader(channel),
                                   RecordingBuilder::ContinuousRecords(1000000, 1000, 3000, 0));
    QString browserCaption;
    dialog.SetDirectoryChooser([&](QWidget*, const QString& caption) {
        browserCaption = caption;
        return QString::fromStdString(dir.path.string());
    });
    std::vector<QString> boxes;
    QStringList opened;
    dialog.SetFolderOpener([&](const QString& folder) {
        opened.append(folder);
        return true;
    });
    dialog.SetBoxPresenter([&](QMessageBox& box) {
        const QCursor* cursor = QApplication::overrideCursor();
        EXPECT_TRUE(cursor != nullptr && cursor->shape() == Qt::ArrowCursor) << "the box waits for the user";
        EXPECT_EQ(box.parentWidget(), &dialog);
        boxes.push_back(box.windowTitle() + ": " + box.text() + " | " + box.informativeText());
        box.show();
        box.findChild<QPushButton*>("openFolderButton")->click();
        EXPECT_TRUE(box.isVisible()) << "the folder opens beside the box, which stays";
        box.button(QMessageBox::Ok)->click();
    });
    dialog.findChild<QPushButton*>("selectDirectoryButton")->click();
    EXPECT_EQ(browserCaption, "Select Data Directory");
    // The verdict exactly as ever, then what was written: 3 s of one channel and the label warning.
    EXPECT_EQ(boxes, std::vector<QString>{"Conversion Results: Conversion Complete | DevOutput.edf: 3.0 s, 1 channel\n"
                                          "1 warning, 0 errors"});
    EXPECT_EQ(opened, QStringList{QString::fromStdString(dir.path.string())});
    EXPECT_TRUE(Rows().contains("EDF File Opened Successfully: "
                                + QString::fromStdString((dir.path / "DevOutput.edf").string())));
    const std::vector<unsigned char> log = ReadFileBytes(dir.path / "VareloLogFile.txt");
    EXPECT_TRUE(std::string(log.begin(), log.end()).ends_with("\nLog File Closed - End of File\r\n\n"))
        << "the log file is closed after the box, as its last line";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Bar().isHidden());
}

// A conversion of ten minutes of two channels stopped as soon as it started, by Cancel or Escape:
// it fails as an interrupted command-line run does, leaves no file under an EDF name and closes
// its log file; the window is idle again.
TEST_F(VareloDlgTest, CancelAndEscapeStopTheConversionUnderWay)
{
    const std::function<void(VareloDlg&)> stops[] = {
        [](VareloDlg& window) { window.findChild<QPushButton*>("cancelButton")->click(); },
        [](VareloDlg& window) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&window, &escape);
        }};
    for (const auto& stop : stops) {
        TempDir dir;
        for (const char* name : {"CSC1.ocs", "CSC2.ocs"})
            RecordingBuilder::WriteCscFile(dir.path / name, RecordingBuilder::ChannelHeader({}),
                                           RecordingBuilder::ContinuousRecords(1000000, 1000, 600000, 0));
        dialog.show();
        dialog.SetDirectoryChooser([&](QWidget*, const QString&) { return QString::fromStdString(dir.path.string()); });
        QString result;
        dialog.SetBoxPresenter([&](QMessageBox& box) {
            result = box.text();
            box.button(QMessageBox::Ok)->click();
        });
        int percentWhenStopped = -1;
        QTimer::singleShot(0, &dialog, [&] {  // at the run's first look at the window's events
            percentWhenStopped = Bar().value();
            stop(dialog);
        });
        dialog.OnBnClickedSelectDirectory();
        EXPECT_EQ(result.left(result.indexOf('\n')), "Conversion Failed");
        EXPECT_LT(percentWhenStopped, 5);
        EXPECT_TRUE(Rows().contains("Conversion interrupted: the run was asked to stop."))
            << Rows().join('\n').toStdString();
        for (const auto& entry : std::filesystem::directory_iterator(dir.path))
            EXPECT_NE(entry.path().extension(), ".edf") << entry.path();
        const std::vector<unsigned char> log = ReadFileBytes(dir.path / "VareloLogFile.txt");
        EXPECT_TRUE(std::string(log.begin(), log.end()).ends_with("\nLog File Closed - End of File\r\n\n"));
        EXPECT_TRUE(dialog.findChild<QPushButton*>("cancelButton")->isHidden());
        EXPECT_TRUE(dialog.findChild<QPushButton*>("selectDirectoryButton")->isEnabled());
        EXPECT_TRUE(dialog.isVisible()) << "Escape during a run does not close the window";
    }
}

// A directory dropped onto the window converts as if chosen with the button; a file does nothing.
TEST_F(VareloDlgTest, ADroppedDirectoryConverts)
{
    TempDir dir;
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                   RecordingBuilder::ContinuousRecords(1000000, 1000, 3000, 0));
    QStringList boxes;
    dialog.SetBoxPresenter([&](QMessageBox& box) {
        boxes.append(box.text());
        box.button(QMessageBox::Ok)->click();
    });
    dialog.show();
    for (const std::filesystem::path& dropped : {dir.path / "CSC1.ocs", dir.path}) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.string()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &enter);
        if (!enter.isAccepted())
            continue;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &drop);
    }
    EXPECT_EQ(boxes, QStringList{"Conversion Complete"});
    EXPECT_TRUE(std::filesystem::exists(dir.path / "DevOutput.edf"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / "VareloReport.json"));
}

// "View Traces" in the result box shows the file just written: every channel and every
// annotation it holds, a chosen channel less when one is unticked, and the events drawn as lines.
TEST_F(VareloDlgTest, TheTraceViewerShowsTheChannelsAndEventsOfTheFileWritten)
{
    TempDir dir;
    for (const char* name : {"CSC1", "CSC2", "CSC3"}) {
        RecordingBuilder::Channel channel;
        channel.name = name;
        RecordingBuilder::WriteCscFile(dir.path / (std::string(name) + ".ocs"),
                                       RecordingBuilder::ChannelHeader(channel),
                                       RecordingBuilder::ContinuousRecords(1000000, 1000, 20000, 50));
    }
    RecordingBuilder::WriteEventFile(dir.path / "Events.oev", {"-FileType Event"},
                                     {{3000000, "stimulus"}, {6000000, "response"}});
    dialog.show();
    dialog.SetDirectoryChooser([&](QWidget*, const QString&) { return QString::fromStdString(dir.path.string()); });
    TraceViewer* viewer = nullptr;
    dialog.SetBoxPresenter([&](QMessageBox& box) {
        box.findChild<QPushButton*>("viewTracesButton")->click();
        viewer = dialog.findChild<TraceViewer*>();
        box.button(QMessageBox::Ok)->click();
    });
    dialog.OnBnClickedSelectDirectory();
    ASSERT_NE(viewer, nullptr);
    EdfFile file;
    std::string error;
    ASSERT_TRUE(ParseEdfFile(dir.path / "DevOutput.edf", file, error)) << error;
    size_t texts = 0;
    for (const EdfTal& tal : file.annotations)
        texts += tal.texts.size();
    EXPECT_EQ(viewer->ChannelCount(), 3);
    EXPECT_EQ(viewer->EventCount(), static_cast<int>(texts));
    EXPECT_EQ(viewer->Page().traces.size(), 3u);
    viewer->findChild<QListWidget*>("channelChoice")->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(viewer->ChosenSignals(), (std::vector<int>{0, 2}));
    EXPECT_EQ(viewer->Page().traces.size(), 2u);

    // The page 0 to 10 s: the event at 2 s (3 s on the acquisition clock, 1 s after the first
    // sample) is a red line, the background white between traces.
    viewer->ShowSpan(0, 10);
    QWidget* plot = viewer->findChild<QWidget*>("tracePlot");
    const QImage picture = plot->grab().toImage();
    const int x = 150 + static_cast<int>(2.0 / 10 * (plot->width() - 150));
    bool red = false;
    for (int dx = -1; dx <= 1; ++dx)
        red = red || QColor(picture.pixel(x + dx, plot->height() / 2 + 3)) == QColor(0xC0, 0x30, 0x20);
    EXPECT_TRUE(red);
    EXPECT_EQ(QColor(picture.pixel(plot->width() - 2, 2)), QColor(Qt::white));
}

// Expected pixels by hand: x * averageCharWidth / 4 and y * charHeight / 8, halves rounded away
// from zero; a rectangle's edges are rounded, so that neighbours meet.
TEST(DialogUnitsTest, ScalesByQuarterCharWidthAndEighthCharHeight)
{
    const DialogUnits units(7, 13);
    const std::pair<int, int> horizontal[] = {{0, 0}, {1, 2}, {2, 4}, {3, 5}, {-2, -4}};  // 1.75, 3.5, 5.25, -3.5
    for (const auto& [x, pixels] : horizontal)
        EXPECT_EQ(units.ToPixelsX(x), pixels) << x;
    EXPECT_EQ(units.ToPixelsY(4), 7);                                   // 6.5
    EXPECT_EQ(DialogUnits(6, 16).ToPixels(499, 174), QSize(749, 348));  // 748.5 and 348
    // 10, 9, 132, 24: left 17.5 -> 18, top 14.625 -> 15, right 248.5 -> 249, bottom 53.625 -> 54
    EXPECT_EQ(units.ToPixels(10, 9, 132, 24), QRect(18, 15, 231, 39));
}

namespace {

LaunchOptions ParseLaunch(const QStringList& options)
{
    return LaunchOptions::Parse(QStringList{"varelo"} + options);
}

}  // namespace

TEST(LaunchOptionsTest, HelpVersionAndWhatItDoesNotUnderstand)
{
    EXPECT_EQ(ParseLaunch({"-h"}).request, LaunchOptions::Request::Help);
    EXPECT_EQ(ParseLaunch({"--convert", "/x", "--help"}).request, LaunchOptions::Request::Help);
    // Before Qt has taken its own options out, they must not hide a request for help.
    EXPECT_EQ(ParseLaunch({"-platform", "offscreen", "--help"}).request, LaunchOptions::Request::Help);
    EXPECT_EQ(ParseLaunch({"--version"}).request, LaunchOptions::Request::Version);
    EXPECT_EQ(LaunchOptions::VersionText(), "varelo (Velquor Varelo) " VARELO_VERSION "\n");
    // Arguments separated by '|': "--convert|" is --convert with an empty directory.
    for (const char* arguments :
         {"--bogus", "stray", "--convert", "--convert|", "--screenshot|shot.png", "--convert|/x|--screenshot"}) {
        const LaunchOptions options = ParseLaunch(QString(arguments).split('|'));
        EXPECT_EQ(options.request, LaunchOptions::Request::UsageError) << arguments;
        EXPECT_FALSE(options.error.isEmpty()) << arguments;
    }
    // Qt's options, in each of the forms Qt takes, go before the program's own are judged.
    const QStringList qtOptions = {"-platform", "offscreen", "--style", "fusion", "-reverse", "-qwindowtitle=x"};
    EXPECT_EQ(LaunchOptions::WithoutQtOptions(QStringList{"varelo"} + qtOptions + QStringList{"--bogus"}),
              (QStringList{"varelo", "--bogus"}));
    EXPECT_EQ(LaunchOptions::Parse(LaunchOptions::WithoutQtOptions(QStringList{"varelo"} + qtOptions)).request,
              LaunchOptions::Request::Window);
}

// Settings go to Qt's test location, never the user's (AppTestMain).
TEST(VareloDlgOptionsTest, MessagesNameEachChoiceByTheMenuItemThatMakesIt)
{
    VareloDlg dialog;
    QAction* menu = dialog.findChild<QMenuBar*>()->actions().front();
    QStringList items;
    for (QAction* action : menu->menu()->actions()) {
        if (action->isCheckable())  // the choices; the dialog's item makes several
            items.append(action->text());
    }
    const QString prefix = menu->text().remove('&') + " > ";
    for (const ConversionChoice choice : {ConversionChoice::ExactRecordTiming, ConversionChoice::PhysicalDimension,
                                          ConversionChoice::Verification, ConversionChoice::LabOutput}) {
        const QString hint = QString::fromStdWString(dialog.ChoiceHint(choice));
        ASSERT_TRUE(hint.startsWith(prefix)) << hint.toStdString();
        const QString item = hint.mid(prefix.size());
        // the item as the menu shows it, or the start of it before its explanation in parentheses
        EXPECT_TRUE(std::any_of(items.begin(), items.end(), [&](const QString& shown) {
            return shown == item || shown.startsWith(item + " (");
        })) << hint.toStdString();
        items.removeIf([&](const QString& shown) { return shown == item || shown.startsWith(item + " ("); });
    }
    EXPECT_TRUE(items.isEmpty()) << "each item names one choice";
}

TEST(VareloDlgOptionsTest, OptionsMenuItemsStartUntickedAndAreRemembered)
{
    QSettings().clear();
    TempDir dir;
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                   RecordingBuilder::ContinuousRecords(1000000, 1000, 3000, 0));
    QStringList items;
    {
        VareloDlg dialog;
        QMenu* options = dialog.findChild<QMenuBar*>()->actions().front()->menu();
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(dialog.findChild<QMenuBar*>()->actions().front()->text(), "&Options");
        for (QAction* action : options->actions()) {
            items.append(action->text());
            EXPECT_FALSE(action->isChecked()) << action->text().toStdString();
        }
        options->actions()[1]->setChecked(true);  // microvolt units
    }
    // The ticked choices, then, after a separator, the dialog.
    EXPECT_EQ(items,
              (QStringList{"Exact record timing", "Write microvolt units", "Verify files after conversion",
                           "Lab output (as varelo-convert writes by default)", "", "Channels and Identification..."}));

    VareloDlg dialog;  // a later start of the program
    EXPECT_TRUE(dialog.findChild<QMenuBar*>()->actions().front()->menu()->actions()[1]->isChecked());
    dialog.SetDirectoryChooser([&](QWidget*, const QString&) { return QString::fromStdString(dir.path.string()); });
    dialog.SetBoxPresenter([](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); });
    dialog.OnBnClickedSelectDirectory();
    const std::vector<unsigned char> header = ReadFileBytes(dir.path / "DevOutput.edf");
    // one signal and the annotation signal: both physical dimensions
    const auto dimensions = header.begin() + EdfFieldOffset(EdfSignalField::PhysicalDimension, 2, 0);
    EXPECT_TRUE(std::string(dimensions, dimensions + 16) == "uV              ");
    QSettings().clear();
}

namespace {

class SilentFrontend : public ConversionFrontend {
public:
    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring&) override {}
    void OnResult(int) override {}
};

}  // namespace

TEST(VareloDlgOptionsTest, LabOutputWritesWhatTheCommandLineWritesByDefault)
{
    QSettings().clear();
    TempDir dir;
    // Two channels whose natural order differs from the listing order, a sample beyond the A/D
    // maximum and an event of more than 40 bytes at an odd microsecond.
    for (const std::filesystem::path& recording : {dir.path / "window", dir.path / "engine"}) {
        std::filesystem::create_directories(recording);
        for (const char* name : {"CSC10", "CSC2"}) {
            RecordingBuilder::Channel channel;
            channel.name = name;
            channel.adMaxValue = "100";
            RecordingBuilder::WriteCscFile(recording / (std::string(name) + ".ocs"),
                                           RecordingBuilder::ChannelHeader(channel),
                                           RecordingBuilder::ContinuousRecords(1499248800123457, 1000, 3000, 90));
        }
        RecordingBuilder::WriteEventFile(recording / "Events.oev", {"-FileType Event"},
                                         {{1499248800623461, "a text of more than forty bytes, \xe9 included"}});
    }
    {
        VareloDlg dialog;
        dialog.findChild<QAction*>("labOutput")->setChecked(true);
        dialog.SetDirectoryChooser(
            [&](QWidget*, const QString&) { return QString::fromStdString((dir.path / "window").string()); });
        dialog.SetBoxPresenter([](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); });
        dialog.OnBnClickedSelectDirectory();
    }
    std::vector<std::wstring> cscFiles;
    std::wstring eventFile;
    const std::wstring engineDirectory = (dir.path / "engine").wstring();
    ScanDirectory(engineDirectory, cscFiles, eventFile, ChannelOrder::Natural);
    LogFile logFile;
    SilentFrontend frontend;
    ASSERT_EQ(RunConversion(engineDirectory, cscFiles, eventFile, logFile, frontend, ConversionOptions::Lab()), 0);
    const std::vector<unsigned char> written = ReadFileBytes(dir.path / "window" / "DevOutput_run01_seg1of1.edf");
    EXPECT_EQ(written, ReadFileBytes(dir.path / "engine" / "DevOutput_run01_seg1of1.edf"));
    ASSERT_GT(written.size(), 1024u);
    EXPECT_EQ(std::string(written.begin() + 256, written.begin() + 272), "CSC2            ");
    QSettings().clear();
}

namespace {

// The fields of the Options menu's "Channels and Identification..." dialog by object name, with
// "sexCombo" the combo's text; "" leaves a field as it was.
using DialogFields = std::vector<std::pair<const char*, QString>>;

// Opens the dialog from the menu, fills it in and presses OK. Returns the dialog's error text when
// it stays open (and then cancels it), an empty text when OK closed it.
QString FillChannelsAndIdentification(VareloDlg& window, const DialogFields& fields)
{
    QString error;
    QTimer::singleShot(0, &window, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        for (const auto& [name, value] : fields) {
            if (auto* combo = dialog->findChild<QComboBox*>(name))
                combo->setCurrentText(value);
            else
                dialog->findChild<QLineEdit*>(name)->setText(value);
        }
        dialog->findChild<QPushButton*>("okButton")->click();
        if (dialog->isVisible()) {
            error = dialog->findChild<QLabel*>("errorText")->text();
            dialog->findChild<QPushButton*>("cancelButton")->click();
        }
    });
    window.findChild<QAction*>("channelsAndIdentification")->trigger();  // returns once it is closed
    return error;
}

// Converts `directory` from the window, which completes; the rows of the run.
QStringList ConvertFromWindow(VareloDlg& window, const std::filesystem::path& directory)
{
    auto* list = window.findChild<QTreeWidget*>("messageList");
    list->clear();
    window.SetDirectoryChooser([&](QWidget*, const QString&) { return QString::fromStdString(directory.string()); });
    window.SetBoxPresenter([](QMessageBox& box) {
        EXPECT_EQ(box.text(), "Conversion Complete");
        box.button(QMessageBox::Ok)->click();
    });
    window.OnBnClickedSelectDirectory();
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows.append(list->topLevelItem(i)->text(0));
    return rows;
}

void WriteChannels(const std::filesystem::path& directory, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        RecordingBuilder::Channel channel;
        channel.name = name;
        RecordingBuilder::WriteCscFile(directory / (std::string(name) + ".ocs"),
                                       RecordingBuilder::ChannelHeader(channel),
                                       RecordingBuilder::ContinuousRecords(1000000, 1000, 3000, 0));
    }
}

}  // namespace

// The dialog's fields as the options of the next conversion: its Notice names them as the engine
// received them. A field the engine refuses keeps the dialog open with the engine's reason and
// leaves the options as they were. Nothing is remembered beyond the window.
TEST(VareloDlgOptionsTest, ChannelsAndIdentificationDialogGivesTheNextConversionsOptions)
{
    QSettings().clear();
    TempDir dir;
    WriteChannels(dir.path, {"CSC1", "CSC2"});
    const QString optionsNotice = "Conversion options in force:";
    const DialogFields cleared = {{"channelsEdit", ""},   {"patientCodeEdit", ""}, {"sexCombo", "unknown"},
                                  {"birthdateEdit", ""},  {"patientNameEdit", ""}, {"adminCodeEdit", ""},
                                  {"technicianEdit", ""}, {"equipmentEdit", ""}};
    struct Case {
        DialogFields fields;  // over empty ones
        QString error;        // the dialog's, which stays open
        QString notice;       // the run's options Notice; empty: none
    };
    const QString firstCase = "Conversion options in force: the channels CSC2,CSC1 in this order; patient "
                              "\"MCH-0234567 F 02-MAY-1951 Haagse_Harry\".";
    const Case cases[] = {
        {{{"channelsEdit", "CSC2,CSC1"},
          {"patientCodeEdit", "MCH-0234567"},
          {"sexCombo", "F"},
          {"birthdateEdit", "02-may-1951"},
          {"patientNameEdit", " Haagse Harry "}},
         "",
         firstCase},
        // Refused: the options stay those of the case before.
        {{{"birthdateEdit", "29-FEB-2001"}},
         "Patient: birthdate is a date written dd-MMM-yyyy, as 02-MAY-1951, not \"29-FEB-2001\"",
         firstCase},
        {{{"channelsEdit", "CSC1,,CSC2"}}, "Channels: an empty name in the list", firstCase},
        {{{"technicianEdit", "Dr. Z"}}, "", "Conversion options in force: recording \"X Dr._Z X\"."},
        {{}, "", ""},  // every field empty: the usual output, no options at all
    };
    VareloDlg window;
    for (const Case& c : cases) {
        DialogFields fields = cleared;
        fields.insert(fields.end(), c.fields.begin(), c.fields.end());
        EXPECT_EQ(FillChannelsAndIdentification(window, fields), c.error);
        const QStringList rows = ConvertFromWindow(window, dir.path);
        const QStringList notices = rows.filter(QRegularExpression("^" + QRegularExpression::escape(optionsNotice)));
        EXPECT_EQ(notices, c.notice.isEmpty() ? QStringList() : QStringList{c.notice}) << c.error.toStdString();
    }
    VareloDlg later;  // a later start of the program, or a second window
    QString channels = "not read";
    QTimer::singleShot(0, &later, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        channels = dialog->findChild<QLineEdit*>("channelsEdit")->text();
        dialog->findChild<QPushButton*>("cancelButton")->click();
    });
    later.findChild<QAction*>("channelsAndIdentification")->trigger();
    EXPECT_EQ(channels, "");
    EXPECT_TRUE(QSettings().allKeys().isEmpty()) << "the dialog's fields are not remembered";
}

// A channel subset from the window: the file holds only those channels, in the order given, with
// the patient field the dialog made; lab output alike.
TEST(VareloDlgOptionsTest, AChannelSubsetFromTheWindowWritesOnlyThoseChannels)
{
    QSettings().clear();
    TempDir dir;
    for (const char* output : {"classic", "lab"}) {
        std::filesystem::create_directories(dir.path / output);
        WriteChannels(dir.path / output, {"CSC1", "CSC2", "CSC3", "LFP1"});
    }
    VareloDlg window;
    ASSERT_EQ(FillChannelsAndIdentification(window, {{"channelsEdit", "LFP*,CSC3"}, {"sexCombo", "M"}}), "");
    ConvertFromWindow(window, dir.path / "classic");
    window.findChild<QAction*>("labOutput")->setChecked(true);
    ConvertFromWindow(window, dir.path / "lab");
    for (const std::filesystem::path& path :
         {dir.path / "classic" / "DevOutput.edf", dir.path / "lab" / "DevOutput_run01_seg1of1.edf"}) {
        EdfFile file;
        std::string error;
        ASSERT_TRUE(ParseEdfFile(path, file, error)) << path << ": " << error;
        ASSERT_EQ(file.signalCount, 3) << path;
        EXPECT_EQ(file.signals[0].label, "LFP1") << path;
        EXPECT_EQ(file.signals[1].label, "CSC3") << path;
        EXPECT_TRUE(file.signals[2].isAnnotation) << path;
        EXPECT_EQ(file.patient, "X M X X") << path;
    }
    QSettings().clear();
}
