#include "app/StartupConversion.h"

#include <QImage>

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

TEST_F(StartupConversionTest, ScreenshotRunSavesTheWindowAndClosesExitingWithOneOnFailure)
{
    const std::filesystem::path picture = pictures.path / "shot.png";
    dialog.show();
    StartupConversion failed(dialog, Options(picture));  // an empty directory cannot convert
    failed.Perform();
    EXPECT_EQ(failed.ExitCode(), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(picture)) << "the failure is pictured too";

    WriteRecording();
    std::filesystem::remove(dir.path / "VareloLogFile.txt");
    std::filesystem::create_directory(dir.path / "VareloLogFile.txt");  // the log file cannot be created
    dialog.show();
    StartupConversion startup(dialog, Options(picture));
    startup.Perform();  // returns: nobody has to dismiss a box, the log file's neither
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path / "DevOutput.edf"));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(startup.ExitCode(), 0);
    const QImage image(QString::fromStdString(picture.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), dialog.size() * image.devicePixelRatio());
}
