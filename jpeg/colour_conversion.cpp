#include "colour_conversion.h"

#include <algorithm>
#include <vector>

#include "../image/raster_image.h"
#include "jpeg_component.h"
#include "simd_level.h"

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

// One component's rows as the conversion reads them: for image row i the
// sample row i ÷ vertical up-sampling, at the component's own horizontal
// resolution, as far as scans reached; below that a row of the sample that a
// block without data has.
class ComponentRows {
  public:
    explicit ComponentRows(const JpegComponent& component)
        : component(component),
          verticalFactor(component.VerticalUpsampling()),
          reachedRows(component.ReachedSampleRows() * verticalFactor) {}

    // The geometry checks of the frame header admit only components whose
    // samples cover the picture; this re-states that as a guard so that no
    // conversion can ever read past a component's samples.
    bool Usable(const RasterImage& image) const {
        return component.Prepared() &&
               static_cast<std::size_t>(image.Width()) <= component.UpsampledWidth();
    }
    std::size_t ReachedRows() const { return reachedRows; }
    unsigned HorizontalFactor() const { return component.HorizontalUpsampling(); }
    const std::uint8_t* Row(std::size_t i) {
        if (i < reachedRows) return component.SampleRow(i / verticalFactor);
        if (unreached.empty()) unreached.assign(component.SampleStride(), UnreachedSample());
        return unreached.data();
    }
    std::uint8_t UnreachedSample() const { return component.UnreachedSample(); }

  private:
    const JpegComponent& component;
    std::size_t verticalFactor;
    std::size_t reachedRows;
    std::vector<std::uint8_t> unreached;
};

// A row at the component's resolution repeated out to full resolution, for
// the factors that no row kernel takes directly.
void Replicate(const std::uint8_t* row, unsigned factor, std::size_t width,
               std::vector<std::uint8_t>& full) {
    full.resize(width);
    for (std::size_t j = 0; j < width; ++j) full[j] = row[j / factor];
}

}  // namespace

constinit const ColourTables kColourTables = MakeColourTables();

bool ConvertGrayscale(const JpegComponent& component, RasterImage& image,
                      const DecoderKernels& kernels, RowRange rows) {
    ComponentRows grey(component);
    if (!grey.Usable(image)) return false;
    const auto height = static_cast<std::size_t>(image.Height());
    const auto width = static_cast<std::size_t>(image.Width());
    const std::size_t last = std::min(rows.last, height);
    if (rows.first >= last) return true;
    const std::size_t converted = std::min(last, grey.ReachedRows());
    std::vector<std::uint8_t> full;
    std::uint32_t* out = image.Pixels() + rows.first * width;
    for (std::size_t i = rows.first; i < converted; ++i, out += width) {
        const std::uint8_t* row = grey.Row(i);
        if (grey.HorizontalFactor() != 1) {
            Replicate(row, grey.HorizontalFactor(), width, full);
            row = full.data();
        }
        kernels.greyRow(row, out, width);
    }
    // Below the rows that data reached every pixel is the same.
    const std::uint8_t unreached = grey.UnreachedSample();
    if (last > std::max(rows.first, converted))
        std::fill_n(out, (last - std::max(rows.first, converted)) * width, GreyPixel(unreached));
    return true;
}

bool ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  RasterImage& image, const DecoderKernels& kernels, RowRange rows) {
    ComponentRows yRows(y), cbRows(cb), crRows(cr);
    if (!yRows.Usable(image) || !cbRows.Usable(image) || !crRows.Usable(image)) return false;
    const auto height = static_cast<std::size_t>(image.Height());
    const auto width = static_cast<std::size_t>(image.Width());
    const std::size_t last = std::min(rows.last, height);
    if (rows.first >= last) return true;
    const std::size_t converted =
        std::min(last, std::max({yRows.ReachedRows(), cbRows.ReachedRows(), crRows.ReachedRows()}));

    // Full-resolution luma with chroma at full or half horizontal resolution
    // (4:4:4, 4:2:2, 4:2:0) go straight to a row kernel; other layouts are
    // first repeated out to full resolution.
    const unsigned chromaFactor = cbRows.HorizontalFactor();
    const bool direct = yRows.HorizontalFactor() == 1 &&
                        crRows.HorizontalFactor() == chromaFactor &&
                        (chromaFactor == 1 || chromaFactor == 2);
    const YCbCrRowKernel kernel = direct && chromaFactor == 2 ? kernels.yccRowHalf : kernels.yccRow;
    std::vector<std::uint8_t> fullY, fullCb, fullCr;

    std::uint32_t* out = image.Pixels() + rows.first * width;
    for (std::size_t i = rows.first; i < converted; ++i, out += width) {
        const std::uint8_t* yRow = yRows.Row(i);
        const std::uint8_t* cbRow = cbRows.Row(i);
        const std::uint8_t* crRow = crRows.Row(i);
        if (!direct) {
            Replicate(yRow, yRows.HorizontalFactor(), width, fullY);
            Replicate(cbRow, cbRows.HorizontalFactor(), width, fullCb);
            Replicate(crRow, crRows.HorizontalFactor(), width, fullCr);
            yRow = fullY.data();
            cbRow = fullCb.data();
            crRow = fullCr.data();
        }
        kernel(yRow, cbRow, crRow, out, width);
    }
    // Below the rows that data reached every pixel is the same.
    if (last > std::max(rows.first, converted))
        std::fill_n(out, (last - std::max(rows.first, converted)) * width,
                    YCbCrPixel(yRows.UnreachedSample(), cbRows.UnreachedSample(),
                               crRows.UnreachedSample()));
    return true;
}

}  // namespace Tessera
