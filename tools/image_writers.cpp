#include "image_writers.h"

#include <array>
#include <csetjmp>
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

bool WriteBytes(std::ostream& out, const std::uint8_t* bytes, std::size_t count) {
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    return static_cast<bool>(out);
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

class PpmWriter final : public PictureWriter {
  public:
    explicit PpmWriter(std::ostream& out) : out(out) {}
    bool Begin(std::uint32_t width, std::uint32_t height) override {
        if (width == 0 || height == 0) return false;
        rowBytes = 3 * std::size_t{width};
        const std::string header =
            "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
        return static_cast<bool>(out);
    }
    bool Rows(const std::uint8_t* rgb, std::size_t count) override {
        return WriteBytes(out, rgb, count * rowBytes);
    }
    bool End() override { return static_cast<bool>(out.flush()); }

  private:
    std::ostream& out;
    std::size_t rowBytes = 0;
};

class RawWriter final : public PictureWriter {
  public:
    RawWriter(std::ostream& out, std::size_t pixelBytes) : out(out), pixelBytes(pixelBytes) {}
    bool Begin(std::uint32_t width, std::uint32_t height) override {
        rowBytes = pixelBytes * width;
        return width != 0 && height != 0;
    }
    bool Rows(const std::uint8_t* rows, std::size_t count) override {
        return WriteBytes(out, rows, count * rowBytes);
    }
    bool End() override { return static_cast<bool>(out.flush()); }

  private:
    std::ostream& out;
    std::size_t pixelBytes;
    std::size_t rowBytes = 0;
};

class BmpWriter final : public PictureWriter {
  public:
    explicit BmpWriter(std::ostream& out) : out(out) {}
    bool Begin(std::uint32_t newWidth, std::uint32_t newHeight) override {
        width = newWidth;
        height = newHeight;
        const std::uint64_t fileBytes =
            kBmpFileHeaderBytes + kBmpInfoHeaderBytes + std::uint64_t{BmpRowStride(width)} * height;
        // The header's size fields are 32 bits.
        if (width == 0 || height == 0 || fileBytes > UINT32_MAX) return false;
        samples.reserve(3 * std::size_t{width} * height);
        return true;
    }
    bool Rows(const std::uint8_t* rgb, std::size_t count) override {
        samples.insert(samples.end(), rgb, rgb + count * 3 * std::size_t{width});
        return true;
    }
    bool End() override;

  private:
    std::ostream& out;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> samples;
};

bool BmpWriter::End() {
    const std::uint32_t stride = BmpRowStride(width);
    const std::uint32_t imageBytes = stride * height;
    std::array<std::uint8_t, kBmpFileHeaderBytes + kBmpInfoHeaderBytes> header{};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header, 2, kBmpFileHeaderBytes + kBmpInfoHeaderBytes + imageBytes);
    Put32(header, 10, kBmpFileHeaderBytes + kBmpInfoHeaderBytes);  // offset of the pixels
    Put32(header, 14, kBmpInfoHeaderBytes);
    Put32(header, 18, width);
    Put32(header, 22, height);  // positive: rows are stored bottom-up
    Put16(header, 26, 1);       // planes
    Put16(header, 28, 24);      // bits per pixel
    Put32(header, 30, 0);       // BI_RGB
    Put32(header, 34, imageBytes);
    Put32(header, 38, kBmpPixelsPerMetre);
    Put32(header, 42, kBmpPixelsPerMetre);
    // Colours used and important stay 0: no palette.
    if (!WriteBytes(out, header.data(), header.size())) return false;

    const std::size_t rowBytes = 3 * std::size_t{width};
    std::vector<std::uint8_t> row(stride, 0);  // the padding stays 0
    for (std::uint32_t y = height; y-- > 0 && out;) {
        const std::uint8_t* rgb = samples.data() + std::size_t{y} * rowBytes;
        for (std::size_t x = 0; x < rowBytes; x += 3) {
            row[x] = rgb[x + 2];
            row[x + 1] = rgb[x + 1];
            row[x + 2] = rgb[x];
        }
        WriteBytes(out, row.data(), row.size());
    }
    return static_cast<bool>(out.flush());
}

#ifdef TESSERA_HAVE_PNG

// libpng reports errors by longjmp: every call into it sits in a function
// of its own that sets the jump point and holds nothing that needs
// destroying, so no jump ever crosses a C++ frame with work left to do.
class PngWriter final : public PictureWriter {
  public:
    explicit PngWriter(std::ostream& out) : out(out) {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
        if (png != nullptr) info = png_create_info_struct(png);
        if (png != nullptr && info != nullptr) png_set_write_fn(png, this, WriteData, FlushData);
    }
    ~PngWriter() override { png_destroy_write_struct(&png, &info); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    void SetIccProfile(std::span<const std::uint8_t> profile) override {
        iccProfile.assign(profile.begin(), profile.end());
    }
    bool IccProfileWritten() const override {
        return info != nullptr && png_get_valid(png, info, PNG_INFO_iCCP) != 0;
    }
    bool Begin(std::uint32_t width, std::uint32_t height) override {
        if (info == nullptr || width == 0 || height == 0) return false;
        rowBytes = 3 * std::size_t{width};
        if (setjmp(png_jmpbuf(png))) return false;
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        // libpng checks the profile against the colours and leaves out one
        // that does not fit (IccProfileWritten tells); it compresses it.
        if (!iccProfile.empty()) {
            // What libpng finds wrong with a profile it reports, not throws.
            png_set_benign_errors(png, 1);
            png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, iccProfile.data(),
                         static_cast<png_uint_32>(iccProfile.size()));
        }
        png_write_info(png, info);
        return true;
    }
    bool Rows(const std::uint8_t* rgb, std::size_t count) override {
        if (setjmp(png_jmpbuf(png))) return false;
        for (std::size_t i = 0; i < count; ++i) png_write_row(png, rgb + i * rowBytes);
        return true;
    }
    bool End() override {
        if (setjmp(png_jmpbuf(png))) return false;
        png_write_end(png, nullptr);
        return static_cast<bool>(out.flush());
    }

  private:
    static void IgnoreWarning(png_structp, png_const_charp) {}
    static void WriteData(png_structp png, png_bytep data, png_size_t length) {
        auto* self = static_cast<PngWriter*>(png_get_io_ptr(png));
        if (!WriteBytes(self->out, data, length)) png_error(png, "write failed");
    }
    static void FlushData(png_structp) {}

    std::ostream& out;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::size_t rowBytes = 0;
    std::vector<std::uint8_t> iccProfile;
};

#endif

bool WriteWhole(PictureFormat format, const RasterImage& image, std::ostream& out) {
    const auto writer = MakePictureWriter(format, out);
    if (writer == nullptr || image.Pixels() == nullptr) return false;
    const std::vector<std::uint8_t> samples = RgbSamples(image);
    return writer->Begin(static_cast<std::uint32_t>(image.Width()),
                         static_cast<std::uint32_t>(image.Height())) &&
           writer->Rows(samples.data(), static_cast<std::size_t>(image.Height())) && writer->End();
}

}  // namespace

std::unique_ptr<PictureWriter> MakePictureWriter(PictureFormat format, std::ostream& out,
                                                 std::size_t pixelBytes) {
    switch (format) {
        case PictureFormat::Raw:
            return std::make_unique<RawWriter>(out, pixelBytes);
        case PictureFormat::Ppm:
            return std::make_unique<PpmWriter>(out);
        case PictureFormat::Bmp:
            return std::make_unique<BmpWriter>(out);
        case PictureFormat::Png:
#ifdef TESSERA_HAVE_PNG
            return std::make_unique<PngWriter>(out);
#else
            return nullptr;
#endif
    }
    return nullptr;
}

bool PngAvailable() {
#ifdef TESSERA_HAVE_PNG
    return true;
#else
    return false;
#endif
}

std::vector<std::uint8_t> RgbSamples(const RasterImage& image) {
    std::vector<std::uint8_t> samples;
    if (image.Width() <= 0 || image.Height() <= 0 || image.Pixels() == nullptr) return samples;
    const auto count = static_cast<std::size_t>(image.Width()) * image.Height();
    samples.reserve(3 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t pixel = image.Pixels()[i];
        samples.push_back(static_cast<std::uint8_t>(pixel >> 16));
        samples.push_back(static_cast<std::uint8_t>(pixel >> 8));
        samples.push_back(static_cast<std::uint8_t>(pixel));
    }
    return samples;
}

bool WritePpm(const RasterImage& image, std::ostream& out) {
    return WriteWhole(PictureFormat::Ppm, image, out);
}
bool WriteBmp(const RasterImage& image, std::ostream& out) {
    return WriteWhole(PictureFormat::Bmp, image, out);
}
bool WritePng(const RasterImage& image, std::ostream& out) {
    return WriteWhole(PictureFormat::Png, image, out);
}

}  // namespace Tessera
