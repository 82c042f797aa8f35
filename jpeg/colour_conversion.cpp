#include "colour_conversion.h"

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

// The frame header only admits geometries whose planes cover the picture; this
// re-states that as a guard so that no conversion can ever read past a plane.
bool PlaneCovers(const JpegComponent& component, const RasterImage& image, std::size_t stride) {
    const auto width = static_cast<std::size_t>(image.Width());
    const auto height = static_cast<std::size_t>(image.Height());
    return component.HasPlane() && width <= stride && component.Plane().size() >= height * stride;
}

}  // namespace

constinit const ColourTables kColourTables = MakeColourTables();

void ConvertGrayscale(const JpegComponent& component, RasterImage& image) {
    const std::size_t stride = component.PlaneWidth();
    if (!PlaneCovers(component, image, stride)) return;
    const std::uint8_t* plane = component.Plane().data();
    std::uint32_t* out = image.Pixels();
    for (int i = 0; i < image.Height(); ++i) {
        const std::uint8_t* row = plane + i * stride;
        for (int j = 0; j < image.Width(); ++j) *out++ = Pixel(row[j], row[j], row[j]);
    }
}

void ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  RasterImage& image) {
    const std::size_t stride = y.PlaneWidth();
    if (!PlaneCovers(y, image, stride) || !PlaneCovers(cb, image, stride) ||
        !PlaneCovers(cr, image, stride))
        return;
    const auto& t = kColourTables;
    std::uint32_t* out = image.Pixels();
    for (int i = 0; i < image.Height(); ++i) {
        const std::size_t start = i * stride;
        const std::uint8_t* yRow = y.Plane().data() + start;
        const std::uint8_t* cbRow = cb.Plane().data() + start;
        const std::uint8_t* crRow = cr.Plane().data() + start;
        for (int j = 0; j < image.Width(); ++j) {
            const int luma = yRow[j];
            const int red = luma + t.redFromCr[crRow[j]];
            // Arithmetic shift: the subtracted amount rounds to nearest, halves up.
            const int green =
                luma - ((t.greenFromCb[cbRow[j]] + t.greenFromCr[crRow[j]] + 32768) >> 16);
            const int blue = luma + t.blueFromCb[cbRow[j]];
            *out++ = Pixel(Clamp(blue), Clamp(green), Clamp(red));
        }
    }
}

}  // namespace Tessera
