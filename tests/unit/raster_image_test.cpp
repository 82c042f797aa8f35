#include "image/raster_image.h"

#include <gtest/gtest.h>

namespace Tessera {
namespace {

TEST(RasterImage, StartsEmpty) {
    RasterImage image;
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_EQ(image.Pixels(), nullptr);
    image.Clear();
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Pixels(), nullptr);
}

TEST(RasterImage, SetSizeGivesZeroPixelsRowMajor) {
    RasterImage image;
    image.SetSize(336, 256);
    EXPECT_EQ(image.Width(), 336);
    EXPECT_EQ(image.Height(), 256);
    EXPECT_EQ(image.PixelCount(), 86016);
    for (int i = 0; i < 86016; ++i) ASSERT_EQ(image.Pixels()[i], 0u) << i;
    image.Pixels()[5 * 336 + 7] = 0xFF102030u;

    // Resizing an image that holds pixels gives a fresh block, all zero again.
    image.SetSize(7, 5);
    EXPECT_EQ(image.PixelCount(), 35);
    for (int i = 0; i < 35; ++i) ASSERT_EQ(image.Pixels()[i], 0u) << i;
}

TEST(RasterImage, ClearKeepsThePixelCount) {
    RasterImage image;
    image.SetSize(4, 3);
    image.Clear();
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_EQ(image.Pixels(), nullptr);
    EXPECT_EQ(image.PixelCount(), 12);
}

TEST(RasterImage, EmptySizes) {
    RasterImage image;
    image.SetSize(9, 0);
    EXPECT_EQ(image.Width(), 9);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_EQ(image.PixelCount(), 0);
}

}  // namespace
}  // namespace Tessera
