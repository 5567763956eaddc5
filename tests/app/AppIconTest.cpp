#include "app/AppIcon.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(AppIconTest, OffersEverySizeDesktopsAskForOnATileWithTransparentCorners)
{
    const QIcon icon = AppIcon::Create();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
    const QImage image = AppIcon::Draw(64).toImage();
    ASSERT_EQ(image.size(), QSize(64, 64));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(63, 63)), 0);
    EXPECT_EQ(qAlpha(image.pixel(32, 6)), 255);
}
