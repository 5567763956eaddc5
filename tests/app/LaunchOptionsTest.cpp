#include "app/LaunchOptions.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

LaunchOptions Parse(const QStringList& options)
{
    return LaunchOptions::Parse(QStringList{"varelo"} + options);
}

}  // namespace

TEST(LaunchOptionsTest, ConvertTakesTheDirectoryAsTheBrowserWouldReturnItAndAScreenshotFile)
{
    EXPECT_EQ(Parse({}).request, LaunchOptions::Request::Window);
    EXPECT_TRUE(Parse({}).convertDirectory.isEmpty());
    EXPECT_EQ(Parse({"--convert", "/data/rec/"}).convertDirectory, "/data/rec");
    EXPECT_EQ(Parse({"--convert=/data//rec/../rec2"}).convertDirectory, "/data/rec2");
    EXPECT_EQ(Parse({"--convert", "rec"}).convertDirectory, QDir::currentPath() + "/rec");
    const LaunchOptions options = Parse({"--convert", "/", "--screenshot", "shot.png"});
    EXPECT_EQ(options.request, LaunchOptions::Request::Window);
    EXPECT_EQ(options.convertDirectory, "/");
    EXPECT_EQ(options.screenshotFile, "shot.png");
}

TEST(LaunchOptionsTest, HelpVersionAndWhatItDoesNotUnderstand)
{
    EXPECT_EQ(Parse({"-h"}).request, LaunchOptions::Request::Help);
    EXPECT_EQ(Parse({"--convert", "/x", "--help"}).request, LaunchOptions::Request::Help);
    // Before Qt has taken its own options out, they must not hide a request for help.
    EXPECT_EQ(Parse({"-platform", "offscreen", "--help"}).request, LaunchOptions::Request::Help);
    EXPECT_EQ(Parse({"--version"}).request, LaunchOptions::Request::Version);
    EXPECT_EQ(LaunchOptions::VersionText(), "varelo (Velquor Varelo) 1.0.0\n");
    const std::vector<QStringList> wrong{
        {"--bogus"},
        {"stray"},
        {"--convert"},
        {"--convert", ""},
        {"--screenshot", "shot.png"},
        {"--convert", "/x", "--screenshot"},
    };
    for (const QStringList& arguments : wrong) {
        const LaunchOptions options = Parse(arguments);
        EXPECT_EQ(options.request, LaunchOptions::Request::UsageError) << arguments.join(' ').toStdString();
        EXPECT_FALSE(options.error.isEmpty()) << arguments.join(' ').toStdString();
    }
}
