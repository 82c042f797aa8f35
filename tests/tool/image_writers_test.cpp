#include "tools/image_writers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "image/raster_image.h"

#ifdef TESSERA_HAVE_PNG
#include <png.h>
#endif

namespace Tessera {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

// A distinct colour for every pixel, so that any misplaced sample shows.
Rgb ColourAt(int x, int y) {
    return {static_cast<std::uint8_t>(10 + 40 * x + y), static_cast<std::uint8_t>(200 - 30 * y),
            static_cast<std::uint8_t>(7 * x + 13 * y + 1)};
}

// Fills the image from ColourAt; the alpha byte holds junk that no writer may use.
void Fill(RasterImage& image, int width, int height) {
    image.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = ColourAt(x, y);
            image.Pixels()[y * width + x] = 0x5A000000u | std::uint32_t{c.r} << 16 |
                                            std::uint32_t{c.g} << 8 | std::uint32_t{c.b};
        }
}

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

std::uint16_t Le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

using Writer = std::function<bool(const RasterImage&, std::ostream&)>;

struct NamedWriter {
    const char* name;
    Writer write;
};

const std::array<NamedWriter, 3> kWriters = {
    {{"ppm", WritePpm}, {"bmp", WriteBmp}, {"png", WritePng}}};

TEST(ImageWriters, PpmHoldsHeaderThenRgbRowsFromTheTop) {
    RasterImage image;
    Fill(image, 3, 2);
    std::ostringstream out;
    ASSERT_TRUE(WritePpm(image, out));

    std::string expected = "P6\n3 2\n255\n";
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const Rgb c = ColourAt(x, y);
            expected += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
        }
    EXPECT_EQ(out.str(), expected);
}

TEST(ImageWriters, EmptyImageWritesNothing) {
    for (const NamedWriter& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        RasterImage image;
        std::ostringstream out;
        EXPECT_FALSE(writer.write(image, out));
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(ImageWriters, FailingStreamIsReported) {
    for (const NamedWriter& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        RasterImage image;
        Fill(image, 4, 4);
        std::ostringstream out;
        out.setstate(std::ios::badbit);
        EXPECT_FALSE(writer.write(image, out));
    }
}

TEST(ImageWriters, BmpHeaderRowsAndPadding) {
    struct Case {
        int width;
        std::uint32_t stride;  // 3 bytes a pixel, rounded up to 4
    };
    constexpr int kHeight = 3;
    for (const Case& c : {Case{1, 4}, Case{2, 8}, Case{3, 12}, Case{4, 12}, Case{5, 16}}) {
        SCOPED_TRACE("width " + std::to_string(c.width));
        EXPECT_EQ(BmpRowStride(c.width), c.stride);
        RasterImage image;
        Fill(image, c.width, kHeight);
        std::ostringstream out;
        ASSERT_TRUE(WriteBmp(image, out));
        const std::string bmp = out.str();

        ASSERT_EQ(bmp.size(), 54 + c.stride * kHeight);
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        EXPECT_EQ(Le32(bmp, 2), bmp.size());  // bfSize
        EXPECT_EQ(Le32(bmp, 10), 54u);        // bfOffBits
        EXPECT_EQ(Le32(bmp, 14), 40u);        // biSize
        EXPECT_EQ(Le32(bmp, 18), static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(Le32(bmp, 22), static_cast<std::uint32_t>(kHeight));  // positive: bottom-up
        EXPECT_EQ(Le16(bmp, 26), 1);                                    // planes
        EXPECT_EQ(Le16(bmp, 28), 24);                                   // bits per pixel
        EXPECT_EQ(Le32(bmp, 30), 0u);                                   // BI_RGB
        EXPECT_EQ(Le32(bmp, 34), c.stride * kHeight);
        EXPECT_EQ(Le32(bmp, 46), 0u);  // no palette

        for (int fileRow = 0; fileRow < kHeight; ++fileRow) {
            const int y = kHeight - 1 - fileRow;
            const std::size_t rowStart = 54 + fileRow * c.stride;
            for (int x = 0; x < c.width; ++x) {
                const Rgb want = ColourAt(x, y);
                const std::size_t at = rowStart + 3 * x;
                EXPECT_EQ(static_cast<std::uint8_t>(bmp[at]), want.b) << "x " << x << " y " << y;
                EXPECT_EQ(static_cast<std::uint8_t>(bmp[at + 1]), want.g);
                EXPECT_EQ(static_cast<std::uint8_t>(bmp[at + 2]), want.r);
            }
            for (std::size_t pad = 3 * c.width; pad < c.stride; ++pad)
                EXPECT_EQ(bmp[rowStart + pad], 0) << "padding of file row " << fileRow;
        }
    }
}

TEST(ImageWriters, PngRoundTripsThroughLibpng) {
#ifndef TESSERA_HAVE_PNG
    EXPECT_FALSE(PngAvailable());
    GTEST_SKIP() << "built without libpng";
#else
    ASSERT_TRUE(PngAvailable());
    constexpr int kWidth = 5, kHeight = 3;
    RasterImage image;
    Fill(image, kWidth, kHeight);
    std::ostringstream out;
    ASSERT_TRUE(WritePng(image, out));
    const std::string encoded = out.str();

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&png, encoded.data(), encoded.size()))
        << png.message;
    EXPECT_EQ(png.width, static_cast<png_uint_32>(kWidth));
    EXPECT_EQ(png.height, static_cast<png_uint_32>(kHeight));
    EXPECT_EQ(png.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));  // no alpha stored
    png.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> samples(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, samples.data(), 0, nullptr)) << png.message;

    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Rgb want = ColourAt(x, y);
            const std::size_t at = 3 * (y * kWidth + x);
            EXPECT_EQ(samples[at], want.r) << x << "," << y;
            EXPECT_EQ(samples[at + 1], want.g) << x << "," << y;
            EXPECT_EQ(samples[at + 2], want.b) << x << "," << y;
        }
#endif
}

}  // namespace
}  // namespace Tessera
