#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

namespace Tessera {

class RasterImage;

// Writers of decoded pictures into the common interchange formats. Each writes
// the whole file into the stream and returns false when the stream fails (or,
// for PNG, when the encoder does); a 0 × 0 image writes nothing and fails.

// Binary PPM (P6, maxval 255): RGB samples, rows from the top.
bool WritePpm(const RasterImage& image, std::ostream& out);

// Windows bitmap, 24 bits per pixel, BI_RGB: BITMAPFILEHEADER and
// BITMAPINFOHEADER, then the rows bottom-up, each B, G, R per pixel and padded
// with zeros to a multiple of 4 bytes.
bool WriteBmp(const RasterImage& image, std::ostream& out);

// Bytes per BMP row for the given width: 3 per pixel rounded up to 4.
constexpr std::uint32_t BmpRowStride(std::uint32_t width) {
    return (3 * width + 3) & ~std::uint32_t{3};
}

// Whether this build can write PNG files (libpng was found).
bool PngAvailable();

// 8-bit RGB PNG, no interlacing. Always fails when PngAvailable() is false.
bool WritePng(const RasterImage& image, std::ostream& out);

// The image's pixels as R, G, B bytes, rows from the top.
std::vector<std::uint8_t> RgbSamples(const RasterImage& image);

}  // namespace Tessera
