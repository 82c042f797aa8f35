#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace Miruton {

// The X visual classes, by their protocol numbers (spelt apart from the
// macros of Xlib.h, which name the same numbers).
enum class VisualClass : int {
    StaticGrey = 0,
    GreyScale = 1,
    StaticColour = 2,
    PseudoColour = 3,
    TrueColour = 4,
    DirectColour = 5,
};

// What the server says about a window's visual and its images.
struct VisualFormat {
    VisualClass visualClass = VisualClass::TrueColour;
    int depth = 24;
    int bitsPerPixel = 32;  // of a ZPixmap image at that depth
    std::uint32_t redMask = 0xFF0000, greenMask = 0x00FF00, blueMask = 0x0000FF;
    bool msbFirst = false;  // the image's byte order
};

// One colour channel of a pixel value: `bits` bits from bit `shift` up.
struct Channel {
    int shift = 0;
    int bits = 8;
};

// How a blue, green, red triple becomes the bytes of one pixel of an image.
struct PixelLayout {
    int bytesPerPixel = 4;
    Channel red, green, blue;
    bool msbFirst = false;
};

// The layout for a visual: TrueColor with 16, 24 or 32 bits a pixel and
// contiguous channel masks of 1 to 16 bits each. Anything else (colour maps,
// grey scales, odd image formats) is refused, and `error` says why.
std::optional<PixelLayout> ChoosePixelLayout(const VisualFormat& format, std::string& error);

// The pixel value of one colour: each 8-bit channel widened or narrowed to
// its field (narrowing keeps the high bits, widening repeats them, so that
// 255 stays the field's maximum).
std::uint32_t PixelValue(const PixelLayout& layout, std::uint8_t blue, std::uint8_t green,
                         std::uint8_t red);

// Converts a frame (top-down rows of 3 x width bytes: blue, green, red) into
// image rows `stride` bytes apart.
void ConvertFrame(std::span<const std::uint8_t> frame, int width, int height,
                  const PixelLayout& layout, std::uint8_t* out, std::size_t stride);

}  // namespace Miruton
