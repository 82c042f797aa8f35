#include "colour_conversion.h"

#include <algorithm>
#include <vector>

#include "../image/raster_image.h"
#include "jpeg_component.h"

namespace Tessera {

namespace {

// numerator / denominator · k, rounded half away from zero, in exact integer arithmetic.
constexpr std::int32_t ScaledRounded(std::int64_t numerator, std::int64_t denominator, int k) {
    const std::int64_t product = numerator * k;
    const std::int64_t magnitude =
        ((product < 0 ? -product : product) * 2 + denominator) / (2 * denominator);
    return static_cast<std::int32_t>(product < 0 ? -magnitude : magnitude);
}

constexpr std::array<std::int32_t, 256> MakeTable(std::int64_t numerator,
                                                  std::int64_t denominator) {
    std::array<std::int32_t, 256> table{};
    for (int i = 0; i < 256; ++i) table[i] = ScaledRounded(numerator, denominator, i - 128);
    return table;
}

constexpr std::int64_t kOne16 = 65536;  // 1.0 with 16 fraction bits

constexpr ColourTables MakeColourTables() {
    return {MakeTable(1402, 1000), MakeTable(1772, 1000), MakeTable(34414 * kOne16, 100000),
            MakeTable(71414 * kOne16, 100000)};
}

constexpr std::uint32_t Pixel(int blue, int green, int red) {
    return 0xFF000000u | static_cast<std::uint32_t>(red) << 16 |
           static_cast<std::uint32_t>(green) << 8 | static_cast<std::uint32_t>(blue);
}

constexpr int Clamp(int value) {
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

// The rows of one component's plane as the conversion reads them: the plane's
// own rows as far as scans reached, then rows of the sample that a block
// without data has. The frame header only admits geometries whose planes are
// at least as wide as the picture; Usable re-states that as a guard so that no
// conversion can ever read past a plane.
class PlaneRows {
  public:
    PlaneRows(const JpegComponent& component, std::size_t stride)
        : component(component),
          stride(stride),
          planeRows(stride == 0 ? 0 : component.Plane().size() / stride) {}

    bool Usable(const RasterImage& image) const {
        return component.Prepared() && static_cast<std::size_t>(image.Width()) <= stride;
    }
    // Image rows from here on read no plane row of this component.
    std::size_t ReachedRows() const { return planeRows; }
    const std::uint8_t* Row(std::size_t i) {
        if (i < planeRows) return component.Plane().data() + i * stride;
        if (unreached.empty()) unreached.assign(stride, component.UnreachedSample());
        return unreached.data();
    }

  private:
    const JpegComponent& component;
    std::size_t stride;
    std::size_t planeRows;
    std::vector<std::uint8_t> unreached;
};

}  // namespace

constinit const ColourTables kColourTables = MakeColourTables();

void ConvertGrayscale(const JpegComponent& component, RasterImage& image) {
    PlaneRows grey(component, component.PlaneWidth());
    if (!grey.Usable(image)) return;
    const auto height = static_cast<std::size_t>(image.Height());
    const auto width = static_cast<std::size_t>(image.Width());
    const std::size_t converted = std::min(height, grey.ReachedRows());
    std::uint32_t* out = image.Pixels();
    for (std::size_t i = 0; i < converted; ++i) {
        const std::uint8_t* row = grey.Row(i);
        for (std::size_t j = 0; j < width; ++j) *out++ = Pixel(row[j], row[j], row[j]);
    }
    // Below the rows that data reached every pixel is the same.
    const std::uint8_t unreached = component.UnreachedSample();
    std::fill_n(out, (height - converted) * width, Pixel(unreached, unreached, unreached));
}

namespace {

std::uint32_t YCbCrPixel(int luma, std::uint8_t cb, std::uint8_t cr) {
    const auto& t = kColourTables;
    const int red = luma + t.redFromCr[cr];
    // Arithmetic shift: the subtracted amount rounds to nearest, halves up.
    const int green = luma - ((t.greenFromCb[cb] + t.greenFromCr[cr] + 32768) >> 16);
    const int blue = luma + t.blueFromCb[cb];
    return Pixel(Clamp(blue), Clamp(green), Clamp(red));
}

}  // namespace

void ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  RasterImage& image) {
    const std::size_t stride = y.PlaneWidth();
    PlaneRows yRows(y, stride), cbRows(cb, stride), crRows(cr, stride);
    if (!yRows.Usable(image) || !cbRows.Usable(image) || !crRows.Usable(image)) return;
    const auto height = static_cast<std::size_t>(image.Height());
    const auto width = static_cast<std::size_t>(image.Width());
    const std::size_t converted = std::min(
        height, std::max({yRows.ReachedRows(), cbRows.ReachedRows(), crRows.ReachedRows()}));
    std::uint32_t* out = image.Pixels();
    for (std::size_t i = 0; i < converted; ++i) {
        const std::uint8_t* yRow = yRows.Row(i);
        const std::uint8_t* cbRow = cbRows.Row(i);
        const std::uint8_t* crRow = crRows.Row(i);
        for (std::size_t j = 0; j < width; ++j) *out++ = YCbCrPixel(yRow[j], cbRow[j], crRow[j]);
    }
    // Below the rows that data reached every pixel is the same.
    std::fill_n(out, (height - converted) * width,
                YCbCrPixel(y.UnreachedSample(), cb.UnreachedSample(), cr.UnreachedSample()));
}

}  // namespace Tessera
