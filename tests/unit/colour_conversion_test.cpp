#include "jpeg/colour_conversion.h"

#include <gtest/gtest.h>

#include <cstring>

#include "jpeg/jpeg_component.h"
#include "jpeg/simd_level.h"
#include "stream_builder.h"

namespace Tessera::Testing {
namespace {

std::array<std::uint8_t, 4> BytesOf(std::uint32_t pixel) {
    std::array<std::uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &pixel, 4);
    return bytes;
}

const DecoderKernels kKernels = KernelsFor(BestSimdLevel());

// A component of the decoder's frame with its blocks' samples given by the
// callback: sample(block, row, column).
template <typename Sample>
JpegComponent PlaneOf(const FrameHeader& frame, unsigned h, unsigned v, Sample sample) {
    JpegComponent component = ComponentIn(frame, h, v);
    const std::size_t stride = component.SampleStride();
    for (std::size_t row = 0; row < component.ReachedSampleRows(); ++row)
        for (std::size_t column = 0; column < stride; ++column) {
            const std::size_t block = row / 8 * component.BlockColumns() + column / 8;
            component.Samples()[row * stride + column] = static_cast<std::uint8_t>(
                sample(block, static_cast<int>(row % 8), static_cast<int>(column % 8)));
        }
    return component;
}

JpegComponent Flat(const FrameHeader& frame, std::uint8_t value) {
    return PlaneOf(frame, 1, 1, [value](std::size_t, int, int) { return value; });
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
    const auto frame = FrameOf(kSof0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
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
        ConvertYCbCr(Flat(frame, c.y), Flat(frame, c.cb), Flat(frame, c.cr), image, kKernels);
        EXPECT_EQ(BytesOf(image.Pixels()[0]), c.bgra)
            << int{c.y} << "," << int{c.cb} << "," << int{c.cr};
    }
}

TEST(ColourConversion, SubsampledChromaCoversTwoByTwoPixels) {
    const auto frame = FrameOf(kSof0, 16, 16, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    const JpegComponent y = PlaneOf(frame, 2, 2, [](std::size_t, int, int) { return 100; });
    // Cb 148 on the chroma diagonal, 128 elsewhere.
    const JpegComponent cb =
        PlaneOf(frame, 1, 1, [](std::size_t, int r, int c) { return r == c ? 148 : 128; });
    const JpegComponent cr = Flat(frame, 128);
    RasterImage image;
    image.SetSize(16, 16);
    ConvertYCbCr(y, cb, cr, image, kKernels);
    // 1.772 · 20 = 35.44; 0.34414 · 20 = 6.88.
    const std::uint32_t tinted = 0xFF000000u | 100u << 16 | 93u << 8 | 135u;
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            ASSERT_EQ(PixelAt(image, j, i), i / 2 == j / 2 ? tinted : GreyPixel(100))
                << i << "," << j;
}

TEST(ColourConversion, SubsampledChromaCoversUpsamplingRectangles) {
    // Every layout the row kernels take (4:2:0, 4:2:2) and those that are
    // repeated out first (4:4:0-like tall, 4:1:1): chroma sample (r, x) of the
    // one 8 × 8 chroma block covers an h × v rectangle of pixels.
    struct Case {
        std::uint8_t lumaSampling;
        int h, v;
    };
    for (const Case& c : {Case{0x22, 2, 2}, Case{0x21, 2, 1}, Case{0x13, 1, 3}, Case{0x41, 4, 1}}) {
        SCOPED_TRACE(int{c.lumaSampling});
        const int width = 8 * c.h - 1, height = 8 * c.v - 1;  // odd sizes: partial rectangles
        const auto frame =
            FrameOf(kSof0, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                    {{1, c.lumaSampling, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
        const JpegComponent y =
            PlaneOf(frame, static_cast<unsigned>(c.h), static_cast<unsigned>(c.v),
                    [](std::size_t, int, int) { return 90; });
        const JpegComponent cb =
            PlaneOf(frame, 1, 1, [](std::size_t, int r, int x) { return 64 + 8 * r + x; });
        const JpegComponent cr =
            PlaneOf(frame, 1, 1, [](std::size_t, int r, int x) { return 191 - 8 * r - x; });
        RasterImage image;
        image.SetSize(width, height);
        ConvertYCbCr(y, cb, cr, image, kKernels);
        for (int i = 0; i < height; ++i)
            for (int j = 0; j < width; ++j) {
                const int r = i / c.v, x = j / c.h;
                ASSERT_EQ(PixelAt(image, j, i),
                          YCbCrPixel(90, static_cast<std::uint8_t>(64 + 8 * r + x),
                                     static_cast<std::uint8_t>(191 - 8 * r - x)))
                    << i << "," << j;
            }
    }
}

TEST(ColourConversion, GreyPictureReadsOnlyItsOwnPartOfThePlane) {
    // 17 × 9: 3 × 2 blocks, a 24 × 16 plane.
    const auto frame = FrameOf(kSof0, 17, 9, {{1, 0x11, 0}});
    auto sample = [](std::size_t block, int r, int c) {
        return static_cast<int>(block * 40 + r * 8 + c);
    };
    const JpegComponent grey = PlaneOf(frame, 1, 1, sample);
    ASSERT_EQ(grey.UpsampledWidth(), 24u);
    RasterImage image;
    image.SetSize(17, 9);
    ConvertGrayscale(grey, image, kKernels);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 17; ++j)
            ASSERT_EQ(
                PixelAt(image, j, i),
                GreyPixel(static_cast<std::uint32_t>(sample(i / 8 * 3 + j / 8, i % 8, j % 8))))
                << i << "," << j;
}

TEST(ColourConversion, GreyByteOrder) {
    const auto frame = FrameOf(kSof0, 8, 8, {{1, 0x11, 0}});
    RasterImage image;
    image.SetSize(2, 1);
    ConvertGrayscale(Flat(frame, 77), image, kKernels);
    EXPECT_EQ(BytesOf(image.Pixels()[1]), (std::array<std::uint8_t, 4>{77, 77, 77, 255}));
}

TEST(ColourConversion, MissingPlaneWritesNothing) {
    const auto frame = FrameOf(kSof0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    const JpegComponent none;
    RasterImage image;
    image.SetSize(8, 8);
    ConvertYCbCr(Flat(frame, 200), Flat(frame, 128), none, image, kKernels);
    ConvertYCbCr(none, Flat(frame, 128), Flat(frame, 128), image, kKernels);
    ConvertGrayscale(none, image, kKernels);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(image.Pixels()[i], 0u);
}

}  // namespace
}  // namespace Tessera::Testing
