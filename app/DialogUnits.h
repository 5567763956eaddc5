#pragma once

#include <QRect>
#include <QSize>

class QFontMetrics;

// Converts dialog units, the font-relative measure in which the windows' layouts are stated, to
// pixels: four horizontal units make one average character width, eight vertical units one
// character height. Each edge is rounded to the nearest pixel, so that controls that meet in
// dialog units meet on screen too.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics);
    DialogUnits(int averageCharWidth, int charHeight);  // pixels

    int ToPixelsX(int x) const;
    int ToPixelsY(int y) const;
    QSize ToPixels(int width, int height) const;
    QRect ToPixels(int x, int y, int width, int height) const;

private:
    int m_averageCharWidth;  // pixels per 4 horizontal units
    int m_charHeight;        // pixels per 8 vertical units
};
