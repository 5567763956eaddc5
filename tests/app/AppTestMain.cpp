// The window tests need a QApplication, and must run without a display: Qt's offscreen platform
// draws into memory.
#include <QApplication>
#include <QSettings>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);  // before the application reads it
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);  // settings in a test location, not the user's
    QApplication::setOrganizationName("Velquor");
    QApplication::setApplicationName("varelo-tests");
    // Each test runs in a process of its own, several at once: settings of their own, so that
    // one test's Options never show in another's window.
    std::string settings = (std::filesystem::temp_directory_path() / "varelo-app-settings-XXXXXX").string();
    if (mkdtemp(settings.data()) == nullptr)
        return 1;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settings));
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(settings, ignored);
    return result;
}
