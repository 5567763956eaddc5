#include "app/StartupConversion.h"

#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <gtest/gtest.h>

#include "app/VareloDlg.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

class StartupConversionTest : public ::testing::Test {
protected:
    void WriteRecording()
    {
        RecordingBuilder::WriteCscFile(dir.path / "CSC1.ocs", RecordingBuilder::ChannelHeader({}),
                                       RecordingBuilder::ContinuousRecords(1000000, 1000, 2000, 0));
    }

    LaunchOptions Options(const std::filesystem::path& screenshot = {}) const
    {
        LaunchOptions options;
        options.convertDirectory = QString::fromStdString(dir.path.string());
        options.screenshotFile = QString::fromStdString(screenshot.string());
        return options;
    }

    TempDir dir;
    TempDir pictures;
    VareloDlg dialog;
};

TEST_F(StartupConversionTest, ConvertsLikeTheButtonAndLeavesTheBoxToTheUser)
{
    WriteRecording();
    std::vector<QString> boxes;
    dialog.SetBoxPresenter([&boxes](QMessageBox& box) {
        boxes.push_back(box.text());
        box.button(QMessageBox::Ok)->click();
    });
    dialog.show();
    StartupConversion startup(dialog, Options());
    startup.Perform();

    EXPECT_EQ(boxes, std::vector<QString>{"Conversion Complete"});
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "DevOutput.edf"));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "VareloLogFile.txt"));
    EXPECT_TRUE(dialog.isVisible()) << "the window stays for the user";
    EXPECT_EQ(startup.ExitCode(), 0);
}

TEST_F(StartupConversionTest, ScreenshotRunSavesTheWindowAndCloses)
{
    WriteRecording();
    const std::filesystem::path picture = pictures.path / "shot.png";
    dialog.show();
    StartupConversion startup(dialog, Options(picture));
    startup.Perform();

    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "DevOutput.edf"));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(startup.ExitCode(), 0);
    const QImage image(QString::fromStdString(picture.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), dialog.size() * image.devicePixelRatio());
    EXPECT_GT(dialog.findChild<QTreeWidget*>("messageList")->topLevelItemCount(), 0);
}

TEST_F(StartupConversionTest, FailedRunOrUnsavablePictureExitsWithOne)
{
    const std::filesystem::path picture = pictures.path / "shot.png";
    dialog.show();
    StartupConversion failed(dialog, Options(picture));  // an empty directory cannot convert
    failed.Perform();
    EXPECT_EQ(failed.ExitCode(), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(picture)) << "the failure is pictured too";

    WriteRecording();
    dialog.show();
    StartupConversion unsaved(dialog, Options(pictures.path / "missing" / "shot.png"));
    unsaved.Perform();
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "DevOutput.edf"));
    EXPECT_EQ(unsaved.ExitCode(), 1);
}

TEST_F(StartupConversionTest, UnattendedRunAnswersTheLogFileBoxesToo)
{
    WriteRecording();
    std::filesystem::create_directory(dir.path / "VareloLogFile.txt");  // the log file cannot be created
    dialog.show();
    StartupConversion startup(dialog, Options(pictures.path / "shot.png"));
    startup.Perform();  // returns: nobody has to dismiss a box

    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "DevOutput.edf"));
    EXPECT_EQ(startup.ExitCode(), 0);
}
