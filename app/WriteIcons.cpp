// varelo-icons: writes the window's icon as the PNG files of an icon theme, for installing:
//   varelo-icons THEME_DIR   ->   THEME_DIR/<size>x<size>/apps/org.velquor.Varelo.png
// Run at build time, so the installed icons are the ones the window draws.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "app/AppIcon.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: varelo-icons THEME_DIR\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");  // no display needed
    QGuiApplication application(argc, argv);
    for (const int size : AppIcon::Sizes()) {
        const QString folder = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) || !AppIcon::Draw(size).save(folder + "/org.velquor.Varelo.png", "PNG")) {
            std::fprintf(stderr, "varelo-icons: cannot write %s\n", qUtf8Printable(folder));
            return 1;
        }
    }
    return 0;
}
