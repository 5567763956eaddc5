#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(CAboutDlgTest, ShowsIconAndVersionInAFixedBoxThatOkCloses)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Varelo");
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "the About box is not resizable";
    EXPECT_FALSE(about.findChild<QLabel*>("aboutIcon")->pixmap().isNull());
    EXPECT_EQ(about.findChild<QLabel*>("versionText")->text(), "Varelo, Version 1.0");
    about.show();
    auto* ok = about.findChild<QPushButton*>("okButton");
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}
