#include "colour_kernels.h"

#include "colour_conversion.h"

namespace Tessera {

namespace {

constexpr std::uint32_t Pixel(int blue, int green, int red) {
    return 0xFF000000u | static_cast<std::uint32_t>(red) << 16 |
           static_cast<std::uint32_t>(green) << 8 | static_cast<std::uint32_t>(blue);
}

constexpr int Clamp(int value) {
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

// What a chroma pair adds to the luma of its pixels (green: subtracts).
struct Chroma {
    int red, green, blue;
};

Chroma ChromaOf(std::uint8_t cb, std::uint8_t cr) {
    const auto& t = kColourTables;
    // Arithmetic shift: the subtracted amount rounds to nearest, halves up.
    return {t.redFromCr[cr], (t.greenFromCb[cb] + t.greenFromCr[cr] + 32768) >> 16,
            t.blueFromCb[cb]};
}

std::uint32_t YCbCrPixel(int luma, Chroma c) {
    return Pixel(Clamp(luma + c.blue), Clamp(luma - c.green), Clamp(luma + c.red));
}

}  // namespace

void YCbCrRowPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width) {
    for (std::size_t j = 0; j < width; ++j) out[j] = YCbCrPixel(y[j], ChromaOf(cb[j], cr[j]));
}

void YCbCrRowHalfPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                          std::uint32_t* out, std::size_t width) {
    // Each chroma pair serves two pixels.
    const std::size_t pairs = width / 2;
    for (std::size_t i = 0; i < pairs; ++i) {
        const Chroma c = ChromaOf(cb[i], cr[i]);
        out[2 * i] = YCbCrPixel(y[2 * i], c);
        out[2 * i + 1] = YCbCrPixel(y[2 * i + 1], c);
    }
    if (width % 2 != 0) out[width - 1] = YCbCrPixel(y[width - 1], ChromaOf(cb[pairs], cr[pairs]));
}

void GreyRowPortable(const std::uint8_t* grey, std::uint32_t* out, std::size_t width) {
    for (std::size_t j = 0; j < width; ++j) out[j] = Pixel(grey[j], grey[j], grey[j]);
}

}  // namespace Tessera
