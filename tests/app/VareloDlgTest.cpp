#include "app/VareloDlg.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <gtest/gtest.h>

#include "app/CAboutDlg.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

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
    EXPECT_EQ(dialog.windowTitle(), "Velquor Varelo 1.0.0 ");
    EXPECT_EQ(List().headerItem()->text(0), "Messages");
    QStringList expected;
    for (int i = 1; i <= 60; ++i) {
        dialog.OnMessage(OrvLogging::Notice, L"Message " + std::to_wstring(i));
        expected.append(QString("Message %1").arg(i));
        if (i == 51)
            EXPECT_EQ(Rows(), expected);
    }
    EXPECT_EQ(Rows(), expected.mid(9));
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
    QString shownTitle;
    bool shownModally = false;
    QTimer::singleShot(0, &dialog, [&] {
        auto* box = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        shownTitle = box->windowTitle();
        shownModally = box->isModal();
        box->findChild<QPushButton*>("okButton")->click();
    });
    about->trigger();  // returns once the box is closed
    EXPECT_EQ(shownTitle, "About Varelo");
    EXPECT_TRUE(shownModally);
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
    RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                   RecordingBuilder::ContinuousRecords(1000000, 1000, 3000, 0));
    QString browserCaption;
    dialog.SetDirectoryChooser([&](QWidget*, const QString& caption) {
        browserCaption = caption;
        return QString::fromStdString(dir.path.string());
    });
    std::vector<QString> boxes;
    dialog.SetBoxPresenter([&](QMessageBox& box) {
        const QCursor* cursor = QApplication::overrideCursor();
        EXPECT_TRUE(cursor != nullptr && cursor->shape() == Qt::ArrowCursor) << "the box waits for the user";
        EXPECT_EQ(box.parentWidget(), &dialog);
        boxes.push_back(box.windowTitle() + ": " + box.text());
        box.button(QMessageBox::Ok)->click();
    });
    dialog.findChild<QPushButton*>("selectDirectoryButton")->click();
    EXPECT_EQ(browserCaption, "Select Data Directory");
    EXPECT_EQ(boxes, std::vector<QString>{"Conversion Results: Conversion Complete"});
    EXPECT_TRUE(Rows().contains("EDF File Opened Successfully: "
                                + QString::fromStdString((dir.path / "DevOutput.edf").string())));
    EXPECT_EQ(NonEmptyLines(dir.path / "VareloLogFile.txt").back(), "Log File Closed - End of File\r")
        << "the log file is closed after the box, as its last line";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Bar().isHidden());
}
