#include "app/AppIcon.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(AppIconTest, OffersEverySizeDesktopsAskFor)
{
    const QIcon icon = AppIcon::Create();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
}

TEST(AppIconTest, DrawsATraceOnATileWithTransparentCorners)
{
    const QImage image = AppIcon::Draw(64).toImage();
    ASSERT_EQ(image.size(), QSize(64, 64));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(63, 63)), 0);
    // (0.14, 0.56) of the tile starts the trace, in white on the blue tile
    EXPECT_EQ(image.pixelColor(12, 36), QColor(Qt::white));
    const QColor tile = image.pixelColor(32, 6);
    EXPECT_EQ(tile.alpha(), 255);
    EXPECT_GT(tile.blue(), tile.red());
}
