#include "app/LaunchOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstdlib>

#include "VareloVersion.h"

namespace {

const char* const usageText =
    "Usage: varelo [--convert DIRECTORY | --view EDF_FILE] [--screenshot FILE]\n"
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
    "      --view EDF_FILE      open the trace viewer on EDF_FILE instead of the window; with\n"
    "                           --screenshot: save a PNG picture of it to FILE and exit (status 0\n"
    "                           when the file was read and the picture saved, 1 otherwise)\n"
    "  -h, --help               show this help and exit\n"
    "      --version            show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";

// Qt's own options, taken by QApplication: those followed by a value, and those alone.
const QStringList qtOptionsWithValue = {"platform",
                                        "platformpluginpath",
                                        "platformtheme",
                                        "plugin",
                                        "qwindowgeometry",
                                        "qwindowtitle",
                                        "qwindowicon",
                                        "style",
                                        "stylesheet",
                                        "session",
                                        "display",
                                        "geometry",
                                        "title",
                                        "name",
                                        "visual",
                                        "ncols",
                                        "cmap",
                                        "font",
                                        "fn",
                                        "bg",
                                        "background",
                                        "fg",
                                        "foreground",
                                        "btn",
                                        "button",
                                        "im"};
const QStringList qtOptionsAlone = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

// The name of a Qt option as written ("-platform", "--platform" or "-platform=NAME"), without
// dashes and value; empty for anything else.
QString QtOptionName(const QString& argument)
{
    if (!argument.startsWith('-') || argument == "-" || argument == "--")
        return {};
    QString name = argument.mid(argument.startsWith("--") ? 2 : 1);
    name = name.left(name.indexOf('='));
    if (name.startsWith("qmljsdebugger") || qtOptionsAlone.contains(name) || qtOptionsWithValue.contains(name))
        return name;
    return {};
}

// The value given to Qt's option `name` ("-name VALUE" or "-name=VALUE"), or `fallback`.
QString QtOptionValue(const QStringList& arguments, const QString& name, const QString& fallback)
{
    QString value = fallback;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (QtOptionName(arguments[i]) != name)
            continue;
        const qsizetype equals = arguments[i].indexOf('=');
        if (equals >= 0)
            value = arguments[i].mid(equals + 1);
        else if (i + 1 < arguments.size())
            value = arguments[++i];
    }
    return value;
}

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
    const QCommandLineOption view("view", "", "EDF_FILE");
    parser.addOptions({help, version, convert, screenshot, view});
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
    if (parser.isSet(view)) {
        if (parser.isSet(convert))
            return UsageError("--view and --convert exclude each other.");
        options.viewFile = parser.value(view);
        if (options.viewFile.isEmpty())
            return UsageError("--view needs an EDF+ file.");
    }
    if (parser.isSet(screenshot)) {
        if (options.convertDirectory.isEmpty() && options.viewFile.isEmpty())
            return UsageError("--screenshot needs --convert or --view.");
        options.screenshotFile = parser.value(screenshot);
        if (options.screenshotFile.isEmpty())
            return UsageError("--screenshot needs a file name.");
    }
    return options;
}

QStringList LaunchOptions::WithoutQtOptions(const QStringList& arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = i == 0 ? QString() : QtOptionName(arguments[i]);
        if (name.isEmpty())
            kept.append(arguments[i]);
        else if (qtOptionsWithValue.contains(name) && !arguments[i].contains('='))
            ++i;  // and its value
    }
    return kept;
}

QString LaunchOptions::MissingDisplay(const QStringList& arguments)
{
    const QString platform = QtOptionValue(arguments, "platform", qEnvironmentVariable("QT_QPA_PLATFORM"));
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // Qt tries the platforms of a list such as "wayland;xcb" in turn: one with a display will do.
    const QStringList platforms = platform.isEmpty() ? QStringList{"xcb", "wayland"} : platform.split(';');
    for (const QString& tried : platforms) {
        if ((tried.startsWith("xcb") && x11) || (tried.startsWith("wayland") && wayland)
            || !(tried.startsWith("xcb") || tried.startsWith("wayland") || tried.isEmpty()))
            return {};
    }
    return "cannot show the window: no display (DISPLAY and WAYLAND_DISPLAY are not set)";
}

QString LaunchOptions::UsageText()
{
    return usageText;
}

QString LaunchOptions::VersionText()
{
    return "varelo (Velquor Varelo) " VARELO_VERSION "\n";
}
