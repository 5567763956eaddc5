#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(CAboutDlgTest, ShowsIconNameVersionAndNoticeInAFixedBox)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Varelo");
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "the About box is not resizable";

    const auto* icon = about.findChild<QLabel*>("aboutIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());

    const auto* version = about.findChild<QLabel*>("versionText");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), "Varelo, Version 1.0");
    EXPECT_EQ(version->textFormat(), Qt::PlainText);

    const auto* notice = about.findChild<QLabel*>("aboutNoticeText");
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->text().isEmpty());
    EXPECT_LE(notice->sizeHint().width(), notice->width()) << "the notice is cut off";
}

TEST(CAboutDlgTest, OkIsTheDefaultAndClosesTheBox)
{
    CAboutDlg about;
    about.show();
    auto* ok = about.findChild<QPushButton*>("okButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());

    ok->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}
