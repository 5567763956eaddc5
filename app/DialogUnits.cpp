#include "app/DialogUnits.h"

#include <QFontMetrics>

namespace {

constexpr int horizontalUnitsPerChar = 4;
constexpr int verticalUnitsPerChar = 8;

// value * numerator / denominator, rounded half away from zero.
int ScaleRounded(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

DialogUnits::DialogUnits(const QFontMetrics& metrics) : DialogUnits(metrics.averageCharWidth(), metrics.height())
{
}

DialogUnits::DialogUnits(int averageCharWidth, int charHeight)
    : m_averageCharWidth(averageCharWidth), m_charHeight(charHeight)
{
}

int DialogUnits::ToPixelsX(int x) const
{
    return ScaleRounded(x, m_averageCharWidth, horizontalUnitsPerChar);
}

int DialogUnits::ToPixelsY(int y) const
{
    return ScaleRounded(y, m_charHeight, verticalUnitsPerChar);
}

QSize DialogUnits::ToPixels(int width, int height) const
{
    return {ToPixelsX(width), ToPixelsY(height)};
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const
{
    const int left = ToPixelsX(x);
    const int top = ToPixelsY(y);
    return {left, top, ToPixelsX(x + width) - left, ToPixelsY(y + height) - top};
}
