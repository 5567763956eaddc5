#include "app/LaunchOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "VareloVersion.h"

namespace {

const char* const usageText =
    "Usage: varelo [--convert DIRECTORY [--screenshot FILE]]\n"
    "\n"
    "Opens the Varelo window, which converts a recording directory (channel files *.ocs and an\n"
    "optional event file *.oev) into EDF+ files written beside the data.\n"
    "\n"
    "Options:\n"
    "      --convert DIRECTORY  convert DIRECTORY at start, exactly as if it had been chosen\n"
    "                           with \"Select Directory to Process\"\n"
    "      --screenshot FILE    with --convert: do not wait for the result box; save a PNG picture\n"
    "                           of the window with the box over it to FILE, dismiss the box and\n"
    "                           close the window. Exit status 0 when the conversion completed and\n"
    "                           the picture was saved, 1 otherwise\n"
    "  -h, --help               show this help and exit\n"
    "      --version            show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";

LaunchOptions UsageError(const QString& error)
{
    LaunchOptions options;
    options.request = LaunchOptions::Request::UsageError;
    options.error = error;
    return options;
}

}  // namespace

LaunchOptions LaunchOptions::Parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({"h", "help"}, "");
    const QCommandLineOption version("version", "");
    const QCommandLineOption convert("convert", "", "DIRECTORY");
    const QCommandLineOption screenshot("screenshot", "", "FILE");
    parser.addOptions({help, version, convert, screenshot});
    const bool understood = parser.parse(arguments);  // goes on past what it does not understand

    LaunchOptions options;
    if (parser.isSet(help)) {
        options.request = Request::Help;
        return options;
    }
    if (parser.isSet(version)) {
        options.request = Request::Version;
        return options;
    }
    if (!understood)
        return UsageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return UsageError("Unexpected argument '" + parser.positionalArguments().front() + "'.");
    if (parser.isSet(convert)) {
        const QString directory = parser.value(convert);
        if (directory.isEmpty())
            return UsageError("--convert needs a directory.");
        // The folder browser returns absolute paths without a trailing "/"; so does this.
        options.convertDirectory = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    }
    if (parser.isSet(screenshot)) {
        if (options.convertDirectory.isEmpty())
            return UsageError("--screenshot needs --convert.");
        options.screenshotFile = parser.value(screenshot);
        if (options.screenshotFile.isEmpty())
            return UsageError("--screenshot needs a file name.");
    }
    return options;
}

QString LaunchOptions::UsageText()
{
    return usageText;
}

QString LaunchOptions::VersionText()
{
    return "varelo (Velquor Varelo) " VARELO_VERSION "\n";
}
