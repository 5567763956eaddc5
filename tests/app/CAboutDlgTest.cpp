#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/DialogUnits.h"

TEST(CAboutDlgTest, ShowsIconNameVersionAndNotice)
{
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Varelo");

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

TEST(CAboutDlgTest, ControlsSitWhereTheLayoutPutsThem)
{
    CAboutDlg about;
    const QFontMetrics metrics = about.fontMetrics();
    const DialogUnits units(metrics.averageCharWidth(), metrics.height());
    EXPECT_EQ(about.size(), units.ToPixels(170, 62));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "the About box is not resizable";
    EXPECT_EQ(about.findChild<QLabel*>("aboutIcon")->geometry(), units.ToPixels(14, 14, 21, 20));
    EXPECT_EQ(about.findChild<QLabel*>("versionText")->geometry(), units.ToPixels(42, 14, 114, 8));
    EXPECT_EQ(about.findChild<QLabel*>("aboutNoticeText")->geometry(), units.ToPixels(42, 26, 114, 8));
    EXPECT_EQ(about.findChild<QPushButton*>("okButton")->geometry(), units.ToPixels(113, 41, 50, 14));
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
