#pragma once

#include <QIcon>
#include <QPixmap>

#include <vector>

// The program's icon, drawn rather than loaded so that no image file has to travel with the
// program: a white signal trace, a flat line, a spike and a few waves, on a blue rounded tile.
// Needs a QGuiApplication.
class AppIcon {
public:
    // The icon at the sizes that desktops ask for.
    static QIcon Create();
    static QPixmap Draw(int size);    // pixels, square
    static std::vector<int> Sizes();  // the sizes of Create, in pixels
};
