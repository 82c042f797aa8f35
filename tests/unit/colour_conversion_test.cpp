#include "jpeg/colour_conversion.h"

#include <gtest/gtest.h>

#include <cstring>

#include "jpeg/jpeg_component.h"
#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

std::array<std::uint8_t, 4> BytesOf(std::uint32_t pixel) {
    std::array<std::uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &pixel, 4);
    return bytes;
}

// A component of the decoder's frame with its planes built from blocks whose
// samples the callback gives: sample(block, row, column).
template <typename Sample>
JpegComponent PlaneOf(const JpegDecoder& decoder, unsigned h, unsigned v, Sample sample) {
    JpegComponent component;
    component.SetHorizontalSampling(h);
    component.SetVerticalSampling(v);
    component.AllocateBuffers(decoder);
    component.EnsureBlockRows(component.BlockRows());
    for (std::size_t b = 0; b < component.SampleBlocks().size(); ++b)
        for (int i = 0; i < 64; ++i)
            component.SampleBlocks()[b].samples[i] =
                static_cast<std::uint8_t>(sample(b, i / 8, i % 8));
    component.Upsample();
    return component;
}

JpegComponent Flat(const JpegDecoder& decoder, std::uint8_t value) {
    return PlaneOf(decoder, 1, 1, [value](std::size_t, int, int) { return value; });
}

TEST(ColourTables, EntriesAtTheEnds) {
    const auto& t = kColourTables;
    EXPECT_EQ(t.redFromCr[0], -179);
    EXPECT_EQ(t.redFromCr[255], 178);
    EXPECT_EQ(t.blueFromCb[0], -227);
    EXPECT_EQ(t.blueFromCb[255], 225);
    EXPECT_EQ(t.greenFromCb[0], -2886856);
    EXPECT_EQ(t.greenFromCb[255], 2864302);
    EXPECT_EQ(t.greenFromCr[0], -5990641);
    EXPECT_EQ(t.greenFromCr[255], 5943839);
    EXPECT_EQ(t.redFromCr[128] | t.blueFromCb[128] | t.greenFromCb[128] | t.greenFromCr[128], 0);
    // 1.772 · ±125 = ±221.5 exactly: halves go away from zero.
    EXPECT_EQ(t.blueFromCb[128 + 125], 222);
    EXPECT_EQ(t.blueFromCb[128 - 125], -222);
}

TEST(ColourConversion, YCbCrPixels) {
    const auto decoder = DecoderWithFrame(kSof0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    struct Case {
        std::uint8_t y, cb, cr;
        std::array<std::uint8_t, 4> bgra;
    };
    const Case cases[] = {
        {128, 128, 128, {128, 128, 128, 255}}, {76, 85, 255, {0, 0, 254, 255}},
        {150, 44, 21, {1, 255, 0, 255}},       {29, 255, 107, {254, 0, 0, 255}},
        {0, 0, 0, {0, 135, 0, 255}},           {255, 255, 255, {255, 121, 255, 255}},
        {100, 200, 50, {228, 131, 0, 255}},
    };
    for (const Case& c : cases) {
        RasterImage image;
        image.SetSize(1, 1);
        ConvertYCbCr(Flat(*decoder, c.y), Flat(*decoder, c.cb), Flat(*decoder, c.cr), image);
        EXPECT_EQ(BytesOf(image.Pixels()[0]), c.bgra)
            << int{c.y} << "," << int{c.cb} << "," << int{c.cr};
    }
}

TEST(ColourConversion, SubsampledChromaCoversTwoByTwoPixels) {
    const auto decoder =
        DecoderWithFrame(kSof0, 16, 16, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    const JpegComponent y = PlaneOf(*decoder, 2, 2, [](std::size_t, int, int) { return 100; });
    // Cb 148 on the chroma diagonal, 128 elsewhere.
    const JpegComponent cb =
        PlaneOf(*decoder, 1, 1, [](std::size_t, int r, int c) { return r == c ? 148 : 128; });
    const JpegComponent cr = Flat(*decoder, 128);
    RasterImage image;
    image.SetSize(16, 16);
    ConvertYCbCr(y, cb, cr, image);
    // 1.772 · 20 = 35.44; 0.34414 · 20 = 6.88.
    const std::uint32_t tinted = 0xFF000000u | 100u << 16 | 93u << 8 | 135u;
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            ASSERT_EQ(PixelAt(image, j, i), i / 2 == j / 2 ? tinted : GreyPixel(100))
                << i << "," << j;
}

TEST(ColourConversion, GreyPictureReadsOnlyItsOwnPartOfThePlane) {
    // 17 × 9: 3 × 2 blocks, a 24 × 16 plane.
    const auto decoder = DecoderWithFrame(kSof0, 17, 9, {{1, 0x11, 0}});
    auto sample = [](std::size_t block, int r, int c) {
        return static_cast<int>(block * 40 + r * 8 + c);
    };
    const JpegComponent grey = PlaneOf(*decoder, 1, 1, sample);
    ASSERT_EQ(grey.PlaneWidth(), 24u);
    RasterImage image;
    image.SetSize(17, 9);
    ConvertGrayscale(grey, image);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 17; ++j)
            ASSERT_EQ(
                PixelAt(image, j, i),
                GreyPixel(static_cast<std::uint32_t>(sample(i / 8 * 3 + j / 8, i % 8, j % 8))))
                << i << "," << j;
}

TEST(ColourConversion, GreyByteOrder) {
    const auto decoder = DecoderWithFrame(kSof0, 8, 8, {{1, 0x11, 0}});
    RasterImage image;
    image.SetSize(2, 1);
    ConvertGrayscale(Flat(*decoder, 77), image);
    EXPECT_EQ(BytesOf(image.Pixels()[1]), (std::array<std::uint8_t, 4>{77, 77, 77, 255}));
}

TEST(ColourConversion, MissingPlaneWritesNothing) {
    const auto decoder = DecoderWithFrame(kSof0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    const JpegComponent none;
    RasterImage image;
    image.SetSize(8, 8);
    ConvertYCbCr(Flat(*decoder, 200), Flat(*decoder, 128), none, image);
    ConvertYCbCr(none, Flat(*decoder, 128), Flat(*decoder, 128), image);
    ConvertGrayscale(none, image);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(image.Pixels()[i], 0u);
}

}  // namespace
}  // namespace Tessera::Testing
