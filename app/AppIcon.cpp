#include "app/AppIcon.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>

#include <array>

namespace {

constexpr std::array<int, 7> iconSizes{16, 24, 32, 48, 64, 128, 256};

// The trace, on a tile of 1 x 1: x from left to right, y from top to bottom.
constexpr std::array<QPointF, 13> tracePoints{{{0.14, 0.56},
                                               {0.30, 0.56},
                                               {0.35, 0.64},
                                               {0.41, 0.20},
                                               {0.47, 0.80},
                                               {0.52, 0.52},
                                               {0.58, 0.45},
                                               {0.64, 0.60},
                                               {0.70, 0.40},
                                               {0.76, 0.62},
                                               {0.81, 0.46},
                                               {0.86, 0.56},
                                               {0.88, 0.56}}};

}  // namespace

QIcon AppIcon::Create()
{
    QIcon icon;
    for (const int size : iconSizes)
        icon.addPixmap(Draw(size));
    return icon;
}

std::vector<int> AppIcon::Sizes()
{
    return {iconSizes.begin(), iconSizes.end()};
}

QPixmap AppIcon::Draw(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal margin = size / 16.0;
    const QRectF tile(margin, margin, size - 2 * margin, size - 2 * margin);
    QLinearGradient shade(tile.topLeft(), tile.bottomLeft());
    shade.setColorAt(0, QColor(0x2f, 0x86, 0xc4));
    shade.setColorAt(1, QColor(0x16, 0x4e, 0x7a));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawRoundedRect(tile, size / 6.0, size / 6.0);

    QPainterPath trace;
    trace.moveTo(tracePoints.front() * size);
    for (size_t i = 1; i < tracePoints.size(); ++i)
        trace.lineTo(tracePoints[i] * size);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, qMax(1.0, size / 16.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(trace);
    return pixmap;
}
