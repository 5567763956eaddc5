#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of the window. Without options the window starts idle, as usual;
// --convert starts a conversion of a directory at once, and --screenshot makes that run
// unattended, for pictures of the window in documentation.
class LaunchOptions {
public:
    enum class Request { Window, Help, Version, UsageError };

    // arguments[0] is the program; Qt's own options have been taken out already.
    static LaunchOptions Parse(const QStringList& arguments);
    // The arguments without Qt's own options (-platform NAME, -style=NAME, -reverse, ...), as
    // QApplication takes them out: what Parse may judge before Qt has started.
    static QStringList WithoutQtOptions(const QStringList& arguments);
    // Why no window can be shown with these arguments and this environment (no display to show it
    // on), in one line; empty when one can be tried.
    static QString MissingDisplay(const QStringList& arguments);
    static QString UsageText();
    static QString VersionText();

    Request request = Request::Window;
    QString convertDirectory;  // absolute and clean; empty when not asked for
    QString screenshotFile;    // empty when not asked for
    QString viewFile;          // the EDF+ file for the trace viewer alone; empty when not asked for
    QString error;             // what was wrong, for Request::UsageError
};
