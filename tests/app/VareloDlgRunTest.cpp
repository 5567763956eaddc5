#include "app/VareloDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

namespace {

// What a box looked like while it was up.
struct ShownBox {
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    const QWidget* owner = nullptr;
    bool arrowCursor = false;
    bool progressBarShown = false;
};

// The window, watched from inside: how the cursor and the progress bar look whenever a message
// arrives, while the run is going on.
class WatchedDlg : public VareloDlg {
public:
    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) override
    {
        const QCursor* cursor = QApplication::overrideCursor();
        waitCursorAtEveryMessage = waitCursorAtEveryMessage && cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        const auto* bar = findChild<QProgressBar*>("progressBar");
        barShownAtEveryMessage = barShownAtEveryMessage && bar != nullptr && !bar->isHidden();
        VareloDlg::OnMessage(type, text);
    }

    bool waitCursorAtEveryMessage = true;
    bool barShownAtEveryMessage = true;
};

// The texts of the message lines of a log file: what follows the tag and time stamp.
QStringList LoggedMessages(const std::filesystem::path& logFile)
{
    QStringList messages;
    for (const std::string& line : NonEmptyLines(logFile)) {
        const size_t separator = line.find(" - ");
        if (line.rfind("-*", 0) == 0 && separator != std::string::npos)
            messages.append(QString::fromLatin1(line.substr(separator + 3)));
    }
    return messages;
}

}  // namespace

class VareloDlgRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog.SetDirectoryChooser([this](QWidget* parent, const QString& caption) {
            ++browserShown;
            browserCaption = caption;
            browserOwner = parent;
            return chosenDirectory;
        });
        dialog.SetBoxPresenter([this](QMessageBox& box) {
            const QCursor* cursor = QApplication::overrideCursor();
            boxes.push_back({box.windowTitle(), box.text(), box.standardButtons(), box.parentWidget(),
                             cursor != nullptr && cursor->shape() == Qt::ArrowCursor,
                             !dialog.findChild<QProgressBar*>("progressBar")->isHidden()});
            box.button(QMessageBox::Ok)->click();
        });
    }

    void WriteRecording(const std::filesystem::path& directory)
    {
        for (const char* name : {"CSC1", "CSC2"}) {
            RecordingBuilder::Channel channel;
            channel.name = name;
            RecordingBuilder::WriteCscFile(directory / (std::string(name) + ".ocs"),
                                           RecordingBuilder::ChannelHeader(channel),
                                           RecordingBuilder::ContinuousRecords(1000000, 1000, 3000, 0));
        }
    }

    void ClickSelectDirectory(const std::filesystem::path& directory)
    {
        chosenDirectory = QString::fromStdString(directory.string());
        dialog.findChild<QPushButton*>("selectDirectoryButton")->click();
    }

    QStringList Rows() const
    {
        const auto* list = dialog.findChild<QTreeWidget*>("messageList");
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.append(list->topLevelItem(i)->text(0));
        return rows;
    }

    TempDir dir;
    WatchedDlg dialog;
    QString chosenDirectory;
    int browserShown = 0;
    QString browserCaption;
    const QWidget* browserOwner = nullptr;
    std::vector<ShownBox> boxes;
};

TEST_F(VareloDlgRunTest, ConvertsTheChosenDirectoryUnderTheWaitCursor)
{
    WriteRecording(dir.path);
    ClickSelectDirectory(dir.path);

    EXPECT_EQ(browserShown, 1);
    EXPECT_EQ(browserCaption, "Select Data Directory");
    EXPECT_EQ(browserOwner, &dialog);

    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "VareloLogFile.txt"));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "DevOutput.edf"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Conversion Results");
    EXPECT_EQ(boxes[0].text, "Conversion Complete");
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(boxes[0].owner, &dialog);
    EXPECT_TRUE(boxes[0].arrowCursor) << "the box waits for the user, so it shows the arrow";
    EXPECT_FALSE(boxes[0].progressBarShown) << "the result ends the progress";

    // Every message became one row and one log line, in the same order, and nothing else did;
    // each arrived under the wait cursor with the progress bar shown.
    const QStringList logged = LoggedMessages(dir.path / "VareloLogFile.txt");
    ASSERT_FALSE(logged.isEmpty());
    EXPECT_EQ(Rows(), logged);
    EXPECT_TRUE(Rows().contains("EDF File Opened Successfully: "
                                + QString::fromStdString((dir.path / "DevOutput.edf").string())));
    EXPECT_TRUE(dialog.waitCursorAtEveryMessage);
    EXPECT_TRUE(dialog.barShownAtEveryMessage);
    EXPECT_EQ(NonEmptyLines(dir.path / "VareloLogFile.txt").back(), "Log File Closed - End of File\r")
        << "the log file is closed after the box, as its last line";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dialog.findChild<QProgressBar*>("progressBar")->isHidden());
}
