// The window tests need a QApplication. They draw on the X display whose number the file named
// by VARELO_TEST_X_SERVER holds (a private Xvfb that the test fixture starts); without one, on
// Qt's offscreen platform, which draws into memory.
#include <QApplication>
#include <QSettings>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

// LeakSanitizer, where the tests are built with it: D-Bus, which Qt's X11 platform connects to
// for accessibility and the desktop's settings, keeps memory until the process ends. Not this
// program's code.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

int main(int argc, char** argv)
{
    // before the application reads them
    std::string display;
    if (const char* file = std::getenv("VARELO_TEST_X_SERVER"); file != nullptr)
        std::getline(std::ifstream(file), display);
    if (!display.empty()) {
        setenv("DISPLAY", (":" + display).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
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
