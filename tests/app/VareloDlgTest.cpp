#include "app/VareloDlg.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <gtest/gtest.h>

#include "app/CAboutDlg.h"

namespace {

QStringList Rows(const QTreeWidget& list)
{
    QStringList rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        rows.append(list.topLevelItem(i)->text(0));
    return rows;
}

}  // namespace

class VareloDlgTest : public ::testing::Test {
protected:
    template <typename Control> Control& Find(const char* name)
    {
        auto* control = dialog.findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return *control;
    }

    QTreeWidget& List() { return Find<QTreeWidget>("messageList"); }

    void AddMessages(int first, int last)
    {
        for (int i = first; i <= last; ++i)
            dialog.OnMessage(OrvLogging::Notice, L"Message " + std::to_wstring(i));
    }

    VareloDlg dialog;
};

TEST_F(VareloDlgTest, CaptionEndsInABlankAndTheListIsEmpty)
{
    EXPECT_EQ(dialog.windowTitle(), "Velquor Varelo 1.0.0 ");
    EXPECT_EQ(List().headerItem()->text(0), "Messages");
    EXPECT_EQ(List().topLevelItemCount(), 0);
}

TEST_F(VareloDlgTest, ListKeepsTheLatest51MessagesOldestFirstWithoutScrolling)
{
    dialog.show();
    AddMessages(1, 51);
    EXPECT_EQ(List().topLevelItemCount(), 51);
    EXPECT_EQ(List().topLevelItem(0)->text(0), "Message 1");

    AddMessages(52, 60);
    QStringList expected;
    for (int i = 10; i <= 60; ++i)
        expected.append(QString("Message %1").arg(i));
    EXPECT_EQ(Rows(List()), expected);

    QCoreApplication::processEvents();
    ASSERT_GT(List().verticalScrollBar()->maximum(), 0) << "the rows must not all fit for this test";
    EXPECT_EQ(List().verticalScrollBar()->value(), 0);
    const QTreeWidgetItem* top = List().itemAt(1, 1);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->text(0), "Message 10");
}

TEST_F(VareloDlgTest, AboutIsTheLastItemOfTheHelpMenuAndOpensTheAboutBoxModally)
{
    const auto* menuBar = dialog.findChild<QMenuBar*>();
    ASSERT_NE(menuBar, nullptr);
    QMenu* help = nullptr;
    for (QAction* action : menuBar->actions()) {
        if (action->menu() != nullptr && action->text() == "&Help")
            help = action->menu();
    }
    ASSERT_NE(help, nullptr);
    ASSERT_FALSE(help->actions().isEmpty());
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
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.findChild<CAboutDlg*>(), nullptr) << "the About box lives for one display";
}

TEST_F(VareloDlgTest, WhileWaitingTheBarShowsTheShareConvertedAndTheWindowStaysOpen)
{
    dialog.show();
    QProgressBar& bar = Find<QProgressBar>("progressBar");
    EXPECT_TRUE(bar.isHidden());
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);

    dialog.OnRunStarted();
    EXPECT_FALSE(bar.isHidden());
    EXPECT_EQ(bar.value(), 0);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    const std::vector<std::pair<double, int>> steps{{0.5, 50},  {0.509, 50},       {0.999, 99}, {1.5, 100},
                                                    {-0.25, 0}, {std::nan(""), 0}, {1.0, 100}};
    for (const auto& [fraction, percent] : steps) {
        dialog.OnProgress(fraction);
        EXPECT_EQ(bar.value(), percent) << fraction;
    }
    EXPECT_EQ(List().topLevelItemCount(), 0) << "progress adds no rows";
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.isVisible());

    dialog.OnRunEnded();
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dialog.close());
}
