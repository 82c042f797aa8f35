#include "image_writers.h"

#include <array>
#include <cstddef>
#include <string>

#include "image/raster_image.h"

#ifdef TESSERA_HAVE_PNG
#include <png.h>
#endif

namespace Tessera {

namespace {

constexpr std::uint32_t kBmpFileHeaderBytes = 14;
constexpr std::uint32_t kBmpInfoHeaderBytes = 40;
constexpr std::uint32_t kBmpPixelsPerMetre = 2835;  // 72 dots per inch

bool HasPixels(const RasterImage& image) {
    return image.Width() > 0 && image.Height() > 0 && image.Pixels() != nullptr;
}

std::uint8_t Red(std::uint32_t pixel) {
    return static_cast<std::uint8_t>(pixel >> 16);
}
std::uint8_t Green(std::uint32_t pixel) {
    return static_cast<std::uint8_t>(pixel >> 8);
}
std::uint8_t Blue(std::uint32_t pixel) {
    return static_cast<std::uint8_t>(pixel);
}

// Little-endian field writers for the bitmap headers.
template <std::size_t N>
void Put16(std::array<std::uint8_t, N>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

template <std::size_t N>
void Put32(std::array<std::uint8_t, N>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

bool WriteBytes(std::ostream& out, const std::uint8_t* bytes, std::size_t count) {
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    return static_cast<bool>(out);
}

}  // namespace

std::vector<std::uint8_t> RgbSamples(const RasterImage& image) {
    std::vector<std::uint8_t> samples;
    if (!HasPixels(image)) return samples;
    const auto count = static_cast<std::size_t>(image.Width()) * image.Height();
    samples.reserve(3 * count);
    const std::uint32_t* pixels = image.Pixels();
    for (std::size_t i = 0; i < count; ++i) {
        samples.push_back(Red(pixels[i]));
        samples.push_back(Green(pixels[i]));
        samples.push_back(Blue(pixels[i]));
    }
    return samples;
}

bool WritePpm(const RasterImage& image, std::ostream& out) {
    if (!HasPixels(image)) return false;
    const std::string header =
        "P6\n" + std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n255\n";
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    // One row at a time keeps the copy small for large pictures.
    const auto width = static_cast<std::size_t>(image.Width());
    std::vector<std::uint8_t> row(3 * width);
    for (int y = 0; y < image.Height() && out; ++y) {
        const std::uint32_t* pixels = image.Pixels() + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            row[3 * x] = Red(pixels[x]);
            row[3 * x + 1] = Green(pixels[x]);
            row[3 * x + 2] = Blue(pixels[x]);
        }
        WriteBytes(out, row.data(), row.size());
    }
    out.flush();
    return static_cast<bool>(out);
}

bool WriteBmp(const RasterImage& image, std::ostream& out) {
    if (!HasPixels(image)) return false;
    const auto width = static_cast<std::uint32_t>(image.Width());
    const auto height = static_cast<std::uint32_t>(image.Height());
    const std::uint32_t stride = BmpRowStride(width);
    const std::uint64_t imageBytes = std::uint64_t{stride} * height;
    const std::uint64_t fileBytes = kBmpFileHeaderBytes + kBmpInfoHeaderBytes + imageBytes;
    if (fileBytes > UINT32_MAX) return false;  // the header's size fields are 32 bits

    std::array<std::uint8_t, kBmpFileHeaderBytes + kBmpInfoHeaderBytes> header{};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header, 2, static_cast<std::uint32_t>(fileBytes));
    Put32(header, 10, kBmpFileHeaderBytes + kBmpInfoHeaderBytes);  // offset of the pixels
    Put32(header, 14, kBmpInfoHeaderBytes);
    Put32(header, 18, width);
    Put32(header, 22, height);  // positive: rows are stored bottom-up
    Put16(header, 26, 1);       // planes
    Put16(header, 28, 24);      // bits per pixel
    Put32(header, 30, 0);       // BI_RGB
    Put32(header, 34, static_cast<std::uint32_t>(imageBytes));
    Put32(header, 38, kBmpPixelsPerMetre);
    Put32(header, 42, kBmpPixelsPerMetre);
    // Colours used and important stay 0: no palette.
    if (!WriteBytes(out, header.data(), header.size())) return false;

    std::vector<std::uint8_t> row(stride, 0);  // the padding stays 0
    for (std::uint32_t y = height; y-- > 0 && out;) {
        const std::uint32_t* pixels = image.Pixels() + std::size_t{y} * width;
        for (std::uint32_t x = 0; x < width; ++x) {
            row[3 * x] = Blue(pixels[x]);
            row[3 * x + 1] = Green(pixels[x]);
            row[3 * x + 2] = Red(pixels[x]);
        }
        WriteBytes(out, row.data(), row.size());
    }
    out.flush();
    return static_cast<bool>(out);
}

#ifdef TESSERA_HAVE_PNG

bool PngAvailable() {
    return true;
}

bool WritePng(const RasterImage& image, std::ostream& out) {
    if (!HasPixels(image)) return false;
    const std::vector<std::uint8_t> samples = RgbSamples(image);
    // libpng's simplified interface reports errors by its return value, so no
    // longjmp ever crosses our frames.
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.Width());
    png.height = static_cast<png_uint_32>(image.Height());
    png.format = PNG_FORMAT_RGB;
    const png_int_32 stride = 3 * image.Width();

    // First ask for the size, then encode into a buffer of that size.
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, samples.data(), stride, nullptr)) {
        png_image_free(&png);
        return false;
    }
    std::vector<std::uint8_t> encoded(size);
    const bool encodedOk =
        png_image_write_to_memory(&png, encoded.data(), &size, 0, samples.data(), stride, nullptr);
    png_image_free(&png);
    if (!encodedOk) return false;
    if (!WriteBytes(out, encoded.data(), size)) return false;
    out.flush();
    return static_cast<bool>(out);
}

#else

bool PngAvailable() {
    return false;
}

bool WritePng(const RasterImage&, std::ostream&) {
    return false;
}

#endif

}  // namespace Tessera
