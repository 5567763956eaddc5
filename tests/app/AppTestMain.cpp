// The window tests need a QApplication, and must run without a display: Qt's offscreen platform
// draws into memory.
#include <QApplication>
#include <QStandardPaths>

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);  // before the application reads it
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);  // settings in a test location, not the user's
    QApplication::setOrganizationName("Velquor");
    QApplication::setApplicationName("varelo-tests");
    return RUN_ALL_TESTS();
}
