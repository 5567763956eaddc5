#include "app/VareloApp.h"

#include <QTimer>

#include <cstdio>

#include "VareloVersion.h"
#include "app/AppIcon.h"
#include "app/LaunchOptions.h"
#include "app/StartupConversion.h"
#include "app/TraceViewer.h"
#include "app/VareloDlg.h"

namespace {

constexpr int exitUsageError = 2;
constexpr int exitNoDisplay = 1;

// Prints what help and version ask for; false for any other request.
bool PrintInformation(LaunchOptions::Request request)
{
    if (request == LaunchOptions::Request::Help)
        std::fputs(qUtf8Printable(LaunchOptions::UsageText()), stdout);
    else if (request == LaunchOptions::Request::Version)
        std::fputs(qUtf8Printable(LaunchOptions::VersionText()), stdout);
    else
        return false;
    return true;
}

int PrintUsageError(const LaunchOptions& options)
{
    std::fprintf(stderr, "varelo: %s\n\n%s", qUtf8Printable(options.error), qUtf8Printable(LaunchOptions::UsageText()));
    return exitUsageError;
}

// The trace viewer alone, on one file; with a screenshot file, its picture and the end.
int ViewFile(const LaunchOptions& options)
{
    TraceViewer viewer;
    const bool read = viewer.OpenFile(options.viewFile);
    if (options.screenshotFile.isEmpty()) {
        (void)viewer.exec();
        return 0;
    }
    viewer.show();
    QCoreApplication::processEvents();  // laid out and painted
    const bool saved = viewer.grab().save(options.screenshotFile, "PNG");
    if (!read || !saved)
        std::fprintf(stderr, "varelo: %s\n",
                     read ? qUtf8Printable("cannot save the screenshot to " + options.screenshotFile)
                          : qUtf8Printable("cannot read " + options.viewFile));
    return read && saved ? 0 : 1;
}

}  // namespace

VareloApp::VareloApp(int& argc, char** argv) : m_application(argc, argv)
{
    QApplication::setApplicationName("varelo");
    // No display name: Qt would add it to every window's caption on X11 ("... — Varelo"), and the
    // captions are the program's own.
    QApplication::setApplicationVersion(VARELO_VERSION);
    QGuiApplication::setDesktopFileName("org.velquor.Varelo");  // the desktop entry, for the window's icon
    QApplication::setOrganizationName("Velquor");
    QApplication::setWindowIcon(AppIcon::Create());
}

std::optional<int> VareloApp::AnswerWithoutWindow(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const LaunchOptions options = LaunchOptions::Parse(LaunchOptions::WithoutQtOptions(arguments));
    if (PrintInformation(options.request))
        return 0;
    if (options.request == LaunchOptions::Request::UsageError)
        return PrintUsageError(options);
    // Qt ends the program with an abort when it finds no display: better one line and status 1.
    if (const QString missing = LaunchOptions::MissingDisplay(arguments); !missing.isEmpty()) {
        std::fprintf(stderr, "varelo: %s\n", qUtf8Printable(missing));
        return exitNoDisplay;
    }
    return std::nullopt;
}

int VareloApp::Run()
{
    const LaunchOptions options = LaunchOptions::Parse(QApplication::arguments());
    if (PrintInformation(options.request))
        return 0;
    if (options.request == LaunchOptions::Request::UsageError)
        return PrintUsageError(options);

    if (!options.viewFile.isEmpty())
        return ViewFile(options);
    VareloDlg dialog;
    StartupConversion startup(dialog, options);
    if (!options.convertDirectory.isEmpty())
        QTimer::singleShot(0, &dialog, [&startup] { startup.Perform(); });  // once the window is shown
    (void)dialog.exec();  // closing the window, however, ends the program
    return startup.ExitCode();
}
