#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <vector>

namespace Tessera {

class RasterImage;

// Writers of decoded pictures into the common interchange formats, fed rows
// of RGB samples (3 bytes a pixel, rows from the top) as they are decoded.
// Each writes into the stream and reports false once the stream fails (or,
// for PNG, the encoder does); a picture of no pixels is refused.
class PictureWriter {
  public:
    virtual ~PictureWriter() = default;
    // An ICC profile to carry, before Begin; only PNG carries one (iCCP).
    virtual void SetIccProfile(std::span<const std::uint8_t>) {}
    // Whether the profile went in with Begin (a PNG takes only a profile
    // that fits its colours).
    virtual bool IccProfileWritten() const { return false; }
    // The header; the picture's size is fixed from here on.
    virtual bool Begin(std::uint32_t width, std::uint32_t height) = 0;
    // The next `count` rows, one after the other.
    virtual bool Rows(const std::uint8_t* rgb, std::size_t count) = 0;
    // After the last row.
    virtual bool End() = 0;
};

enum class PictureFormat { Ppm, Bmp, Png, Raw };

// Binary PPM (P6, maxval 255): RGB samples, rows from the top; written as the
// rows come.
// Windows bitmap, 24 bits per pixel, BI_RGB: BITMAPFILEHEADER and
// BITMAPINFOHEADER, then the rows bottom-up, each B, G, R per pixel and padded
// with zeros to a multiple of 4 bytes; the rows are kept until End.
// 8-bit RGB PNG, no interlacing, with the ICC profile set (zlib-compressed
// in an iCCP chunk); written as the rows come. Only when PngAvailable().
// Raw: the rows as they come, `pixelBytes` a pixel, without a header.
std::unique_ptr<PictureWriter> MakePictureWriter(PictureFormat format, std::ostream& out,
                                                 std::size_t pixelBytes = 3);

// Bytes per BMP row for the given width: 3 per pixel rounded up to 4.
constexpr std::uint32_t BmpRowStride(std::uint32_t width) {
    return (3 * width + 3) & ~std::uint32_t{3};
}

// Whether this build can write PNG files (libpng was found).
bool PngAvailable();

// A whole image at once through the writers above.
bool WritePpm(const RasterImage& image, std::ostream& out);
bool WriteBmp(const RasterImage& image, std::ostream& out);
bool WritePng(const RasterImage& image, std::ostream& out);

// The image's pixels as R, G, B bytes, rows from the top.
std::vector<std::uint8_t> RgbSamples(const RasterImage& image);

}  // namespace Tessera
