#include "x11/pixel_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace Miruton {
namespace {

VisualFormat Format(VisualClass c, int depth, int bits, std::uint32_t r, std::uint32_t g,
                    std::uint32_t b, bool msb = false) {
    return VisualFormat{c, depth, bits, r, g, b, msb};
}

TEST(PixelLayout, TrueColourVisualsConvertAndOthersAreRefused) {
    using V = VisualClass;
    struct Case {
        VisualFormat format;
        // Blue 0x12, green 0x34, red 0xFF as image bytes; empty: refused.
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {Format(V::TrueColour, 24, 32, 0xFF0000, 0xFF00, 0xFF), {0x12, 0x34, 0xFF, 0x00}},
        {Format(V::TrueColour, 24, 32, 0xFF0000, 0xFF00, 0xFF, true), {0x00, 0xFF, 0x34, 0x12}},
        {Format(V::TrueColour, 32, 32, 0xFF, 0xFF00, 0xFF0000), {0xFF, 0x34, 0x12, 0x00}},
        {Format(V::TrueColour, 24, 24, 0xFF0000, 0xFF00, 0xFF), {0x12, 0x34, 0xFF}},
        // 5-6-5: red 31 << 11, green 0x34 >> 2 = 13 << 5, blue 0x12 >> 3 = 2.
        {Format(V::TrueColour, 16, 16, 0xF800, 0x7E0, 0x1F), {0xA2, 0xF9}},
        // 10 bits a channel: 0xFF widens to 0x3FF, 0x34 to 0xD0, 0x12 to 0x48:
        // 0x3FF << 20 | 0xD0 << 10 | 0x48 = 0x3FF34048.
        {Format(V::TrueColour, 30, 32, 0x3FF00000, 0xFFC00, 0x3FF), {0x48, 0x40, 0xF3, 0x3F}},
        {Format(V::PseudoColour, 8, 8, 0, 0, 0), {}},
        {Format(V::DirectColour, 24, 32, 0xFF0000, 0xFF00, 0xFF), {}},
        {Format(V::StaticGrey, 8, 8, 0, 0, 0), {}},
        {Format(V::TrueColour, 8, 8, 0xE0, 0x1C, 0x3), {}},           // 8 bits a pixel
        {Format(V::TrueColour, 24, 32, 0xFF0000, 0xFF00, 0), {}},     // no blue
        {Format(V::TrueColour, 24, 32, 0xF0F000, 0xFF00, 0xFF), {}},  // a gap, overlapping
        {Format(V::TrueColour, 16, 16, 0xFF0000, 0xFF00, 0xFF), {}},  // beyond the pixel
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "class " << int(c.format.visualClass) << " depth " << c.format.depth
                     << " masks " << std::hex << c.format.redMask << ' ' << c.format.greenMask
                     << ' ' << c.format.blueMask);
        std::string error;
        const auto layout = ChoosePixelLayout(c.format, error);
        ASSERT_EQ(layout.has_value(), !c.bytes.empty()) << error;
        if (!layout) {
            EXPECT_NE(error.find("cannot draw"), std::string::npos);
            continue;
        }
        // Two rows of one pixel, the second white, at a stride with a gap.
        const std::vector<std::uint8_t> frame = {0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFF};
        const std::size_t n = c.bytes.size(), stride = n + 3;
        std::vector<std::uint8_t> out(2 * stride, 0xEE);
        ConvertFrame(frame, 1, 2, *layout, out.data(), stride);
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + n), c.bytes);
        EXPECT_EQ(out[n], 0xEE);  // nothing written between the rows
        const std::uint32_t white = PixelValue(*layout, 255, 255, 255);
        EXPECT_EQ(white, c.format.redMask | c.format.greenMask | c.format.blueMask);
        EXPECT_EQ(PixelValue(*layout, 0, 0, 0), 0u);
    }
}

}  // namespace
}  // namespace Miruton
