#include "pixel_layout.h"

#include <bit>

namespace Miruton {

namespace {

constexpr int kMaxChannelBits = 16;

const char* ClassName(VisualClass c) {
    switch (c) {
        case VisualClass::StaticGrey:
            return "StaticGray";
        case VisualClass::GreyScale:
            return "GrayScale";
        case VisualClass::StaticColour:
            return "StaticColor";
        case VisualClass::PseudoColour:
            return "PseudoColor";
        case VisualClass::TrueColour:
            return "TrueColor";
        case VisualClass::DirectColour:
            return "DirectColor";
    }
    return "unknown";
}

// A mask of contiguous bits as a channel; nothing for an empty, gapped or
// too wide mask.
std::optional<Channel> ChannelOf(std::uint32_t mask) {
    if (mask == 0) return std::nullopt;
    const int shift = std::countr_zero(mask);
    const std::uint32_t bits = mask >> shift;
    if ((bits & (bits + 1)) != 0) return std::nullopt;  // a gap in the mask
    const int width = std::popcount(bits);
    if (width > kMaxChannelBits) return std::nullopt;
    return Channel{shift, width};
}

std::uint32_t Field(const Channel& channel, std::uint8_t value) {
    std::uint32_t v = value;
    if (channel.bits <= 8) return (v >> (8 - channel.bits)) << channel.shift;
    // 10-bit 0x3FF from 0xFF: the byte, then its top bits again below it.
    const int extra = channel.bits - 8;
    return ((v << extra) | (v >> (8 - extra))) << channel.shift;
}

}  // namespace

std::optional<PixelLayout> ChoosePixelLayout(const VisualFormat& format, std::string& error) {
    const std::string what = std::string(ClassName(format.visualClass)) + " visual of depth " +
                             std::to_string(format.depth) + " (" +
                             std::to_string(format.bitsPerPixel) + " bits a pixel)";
    if (format.visualClass != VisualClass::TrueColour) {
        error = "cannot draw on a " + what + ": only TrueColor visuals are supported";
        return std::nullopt;
    }
    if (format.bitsPerPixel != 16 && format.bitsPerPixel != 24 && format.bitsPerPixel != 32) {
        error = "cannot draw on a " + what + ": pixels must be 16, 24 or 32 bits";
        return std::nullopt;
    }
    const auto red = ChannelOf(format.redMask);
    const auto green = ChannelOf(format.greenMask);
    const auto blue = ChannelOf(format.blueMask);
    const std::uint64_t all = std::uint64_t(format.redMask) | format.greenMask | format.blueMask;
    const bool overlap = (format.redMask & format.greenMask) ||
                         (format.redMask & format.blueMask) || (format.greenMask & format.blueMask);
    if (!red || !green || !blue || overlap || (all >> format.bitsPerPixel) != 0) {
        error = "cannot draw on a " + what + ": its colour masks are not three separate fields";
        return std::nullopt;
    }
    return PixelLayout{format.bitsPerPixel / 8, *red, *green, *blue, format.msbFirst};
}

std::uint32_t PixelValue(const PixelLayout& layout, std::uint8_t blue, std::uint8_t green,
                         std::uint8_t red) {
    return Field(layout.red, red) | Field(layout.green, green) | Field(layout.blue, blue);
}

void ConvertFrame(std::span<const std::uint8_t> frame, int width, int height,
                  const PixelLayout& layout, std::uint8_t* out, std::size_t stride) {
    const int n = layout.bytesPerPixel;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* source = frame.data() + 3 * std::size_t(width) * std::size_t(row);
        std::uint8_t* target = out + stride * std::size_t(row);
        for (int i = 0; i < width; ++i, source += 3, target += n) {
            const std::uint32_t value = PixelValue(layout, source[0], source[1], source[2]);
            for (int b = 0; b < n; ++b) {
                const int byte = layout.msbFirst ? n - 1 - b : b;
                target[b] = static_cast<std::uint8_t>(value >> (8 * byte));
            }
        }
    }
}

}  // namespace Miruton
