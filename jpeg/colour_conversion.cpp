#include "colour_conversion.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/raster_image.h"
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
    bool Usable(FrameSize size) const {
        return component.Convertible() && size.width <= component.UpsampledWidth();
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

namespace {

// The rows of the range that the picture has, and those of them that data reached.
struct RowSpan {
    std::size_t first, last, converted;
};
RowSpan Span(FrameSize size, RowRange rows, std::size_t reached) {
    const std::size_t last = std::min(rows.last, size.height);
    const std::size_t first = std::min(rows.first, last);
    return {first, last, std::max(first, std::min(last, reached))};
}

// A target's columns within the picture, and the bytes of one of its rows.
struct TargetColumns {
    std::size_t first, last, rowBytes;
};
TargetColumns ColumnsOf(const PixelTarget& target, std::size_t width) {
    const std::size_t last = std::min(target.lastColumn, width);
    const std::size_t first = std::min(target.firstColumn, last);
    return {first, last, (last - first) * kLayoutBytes[static_cast<std::size_t>(target.layout)]};
}

const ColourRowKernels& KernelsOf(const DecoderKernels& kernels, ColourLayout layout) {
    return kernels.colour[static_cast<std::size_t>(layout)];
}

// `bytes` bytes from out (whole pixels) of one pixel in the layout.
void Fill(std::uint8_t* out, std::size_t bytes, ColourLayout layout, std::uint32_t pixel) {
    if (bytes == 0) return;
    PutPixels(&pixel, 1, layout, out);
    // What is filled doubles with each copy.
    for (std::size_t filled = kLayoutBytes[static_cast<std::size_t>(layout)]; filled < bytes;
         filled *= 2)
        std::memcpy(out + filled, out, std::min(filled, bytes - filled));
}

// N components at full resolution, row by row: each row of each is repeated
// out to the picture's width when it is sampled below it. row(samples, out,
// width) makes one row of pixels from the N rows; unreached(samples) the
// pixel of the samples where no data reached.
template <std::size_t N, typename Pixel, typename RowFunction, typename PixelFunction>
bool ForEachFullRow(const std::array<const JpegComponent*, N>& components, FrameSize size,
                    RowRange rows, Pixel* out, RowFunction row, PixelFunction unreached) {
    std::vector<ComponentRows> planes;
    std::size_t reached = 0;
    std::array<std::uint8_t, N> unreachedSamples{};
    for (std::size_t n = 0; n < N; ++n) {
        planes.emplace_back(*components[n]);
        if (!planes[n].Usable(size)) return false;
        reached = std::max(reached, planes[n].ReachedRows());
        unreachedSamples[n] = planes[n].UnreachedSample();
    }
    const RowSpan span = Span(size, rows, reached);
    std::array<std::vector<std::uint8_t>, N> full;
    std::array<const std::uint8_t*, N> samples{};
    const std::size_t width = size.width;
    for (std::size_t i = span.first; i < span.converted; ++i, out += width) {
        for (std::size_t n = 0; n < N; ++n) {
            Replicate(planes[n].Row(i), planes[n].HorizontalFactor(), width, full[n]);
            samples[n] = full[n].data();
        }
        row(samples, out, width);
    }
    std::fill_n(out, (span.last - span.converted) * width, unreached(unreachedSamples));
    return true;
}

// Three components, each row of pixels made pixel by pixel.
template <typename Pixel, typename PixelFunction>
bool ForEachPixel(const JpegComponent& a, const JpegComponent& b, const JpegComponent& c,
                  FrameSize size, RowRange rows, Pixel* out, PixelFunction pixel) {
    using Samples = std::array<std::uint8_t, 3>;
    const auto row = [&](const std::array<const std::uint8_t*, 3>& s, Pixel* pixels,
                         std::size_t width) {
        for (std::size_t j = 0; j < width; ++j)
            pixels[j] = pixel(Samples{s[0][j], s[1][j], s[2][j]});
    };
    return ForEachFullRow<3>({&a, &b, &c}, size, rows, out, row, pixel);
}

// For the conversions without row kernels: the rows made whole as BGRA
// values by make(rows, pixels), their columns then put in the target's layout.
template <typename MakeRows>
bool ThroughBgraRows(FrameSize size, RowRange rows, const PixelTarget& target, MakeRows make) {
    const RowSpan span = Span(size, rows, 0);
    const std::size_t width = size.width;
    std::vector<std::uint32_t> pixels((span.last - span.first) * width);
    if (!make(RowRange{span.first, span.last}, pixels.data())) return false;
    const TargetColumns columns = ColumnsOf(target, width);
    std::uint8_t* out = target.out;
    for (std::size_t at = columns.first; at < pixels.size(); at += width, out += columns.rowBytes)
        PutPixels(pixels.data() + at, columns.last - columns.first, target.layout, out);
    return true;
}

constexpr std::uint32_t RgbPixel(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return 0xFF000000u | std::uint32_t{r} << 16 | std::uint32_t{g} << 8 | b;
}

// BT.601 luma with 16 fraction bits; the weights add up to 65536.
constexpr std::uint8_t Luma(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint8_t>((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
}

}  // namespace

bool ConvertGrayscale(const JpegComponent& component, FrameSize size, RowRange rows,
                      const PixelTarget& target, const DecoderKernels& kernels) {
    ComponentRows grey(component);
    if (!grey.Usable(size)) return false;
    const RowSpan span = Span(size, rows, grey.ReachedRows());
    const TargetColumns columns = ColumnsOf(target, size.width);
    const GreyRowKernel kernel = KernelsOf(kernels, target.layout).grey;
    std::uint8_t* out = target.out;
    std::vector<std::uint8_t> full;
    for (std::size_t i = span.first; i < span.converted; ++i, out += columns.rowBytes) {
        const std::uint8_t* row = grey.Row(i);
        if (grey.HorizontalFactor() != 1) {
            Replicate(row, grey.HorizontalFactor(), columns.last, full);
            row = full.data();
        }
        kernel(row, out, columns.first, columns.last);
    }
    // Below the rows that data reached every pixel is the same.
    Fill(out, (span.last - span.converted) * columns.rowBytes, target.layout,
         GreyPixel(grey.UnreachedSample()));
    return true;
}

bool ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  FrameSize size, RowRange rows, const PixelTarget& target,
                  const DecoderKernels& kernels) {
    ComponentRows yRows(y), cbRows(cb), crRows(cr);
    if (!yRows.Usable(size) || !cbRows.Usable(size) || !crRows.Usable(size)) return false;
    const RowSpan span = Span(
        size, rows, std::max({yRows.ReachedRows(), cbRows.ReachedRows(), crRows.ReachedRows()}));
    const TargetColumns columns = ColumnsOf(target, size.width);

    // Full-resolution luma with chroma at full or half horizontal resolution
    // (4:4:4, 4:2:2, 4:2:0) go straight to a row kernel; other layouts are
    // first repeated out to full resolution.
    const unsigned chromaFactor = cbRows.HorizontalFactor();
    const bool direct = yRows.HorizontalFactor() == 1 &&
                        crRows.HorizontalFactor() == chromaFactor &&
                        (chromaFactor == 1 || chromaFactor == 2);
    const ColourRowKernels& layoutKernels = KernelsOf(kernels, target.layout);
    const YCbCrRowKernel kernel =
        direct && chromaFactor == 2 ? layoutKernels.half : layoutKernels.full;
    std::vector<std::uint8_t> fullY, fullCb, fullCr;

    std::uint8_t* out = target.out;
    for (std::size_t i = span.first; i < span.converted; ++i, out += columns.rowBytes) {
        const std::uint8_t* yRow = yRows.Row(i);
        const std::uint8_t* cbRow = cbRows.Row(i);
        const std::uint8_t* crRow = crRows.Row(i);
        // Chroma repeated down (4:2:0): two rows from one row of chroma terms.
        if (direct && chromaFactor == 2 && i + 1 < span.converted && cbRows.Row(i + 1) == cbRow &&
            crRows.Row(i + 1) == crRow) {
            layoutKernels.halfPair(yRow, yRows.Row(i + 1), cbRow, crRow, out,
                                   out + columns.rowBytes, columns.first, columns.last);
            ++i;
            out += columns.rowBytes;
            continue;
        }
        if (!direct) {
            Replicate(yRow, yRows.HorizontalFactor(), columns.last, fullY);
            Replicate(cbRow, cbRows.HorizontalFactor(), columns.last, fullCb);
            Replicate(crRow, crRows.HorizontalFactor(), columns.last, fullCr);
            yRow = fullY.data();
            cbRow = fullCb.data();
            crRow = fullCr.data();
        }
        kernel(yRow, cbRow, crRow, out, columns.first, columns.last);
    }
    // Below the rows that data reached every pixel is the same.
    Fill(out, (span.last - span.converted) * columns.rowBytes, target.layout,
         YCbCrPixel(yRows.UnreachedSample(), cbRows.UnreachedSample(), crRows.UnreachedSample()));
    return true;
}

bool ConvertRgb(const JpegComponent& r, const JpegComponent& g, const JpegComponent& b,
                FrameSize size, RowRange rows, const PixelTarget& target) {
    return ThroughBgraRows(size, rows, target, [&](RowRange row, std::uint32_t* pixels) {
        return ForEachPixel(r, g, b, size, row, pixels,
                            [](const auto& s) { return RgbPixel(s[0], s[1], s[2]); });
    });
}

bool LumaOfRgb(const JpegComponent& r, const JpegComponent& g, const JpegComponent& b,
               FrameSize size, RowRange rows, std::uint8_t* out) {
    return ForEachPixel(r, g, b, size, rows, out,
                        [](const auto& s) { return Luma(s[0], s[1], s[2]); });
}

namespace {

using Ink = std::array<std::uint8_t, 4>;  // C, M, Y, K as stored

// The inks of four samples: as they are (CMYK), or with the first three
// from Y, Cb and Cr of the inverted inks (YCCK).
Ink InkOf(const std::array<std::uint8_t, 4>& s, bool ycck) {
    if (!ycck) return s;
    const std::uint32_t rgb = YCbCrPixel(s[0], s[1], s[2]);
    return {static_cast<std::uint8_t>(255 - (rgb >> 16 & 0xFF)),
            static_cast<std::uint8_t>(255 - (rgb >> 8 & 0xFF)),
            static_cast<std::uint8_t>(255 - (rgb & 0xFF)), s[3]};
}

// ink × K / 255 rounded to nearest: (2 × ink × K + 255) / 510. No product
// falls on a half (2 × ink × K is even, 255 × odd is odd), so no tie rule
// is needed.
constexpr std::uint8_t Inked(unsigned ink, unsigned black) {
    return static_cast<std::uint8_t>((2 * ink * black + 255) / 510);
}

template <typename Pixel, typename PixelFunction>
bool ForEachInk(const FourComponents& components, bool ycck, FrameSize size, RowRange rows,
                Pixel* out, PixelFunction pixel) {
    using Samples = std::array<std::uint8_t, 4>;
    const auto of = [&](const Samples& s) { return pixel(InkOf(s, ycck)); };
    const auto row = [&](const std::array<const std::uint8_t*, 4>& s, Pixel* pixels,
                         std::size_t width) {
        for (std::size_t j = 0; j < width; ++j)
            pixels[j] = of(Samples{s[0][j], s[1][j], s[2][j], s[3][j]});
    };
    return ForEachFullRow<4>(components, size, rows, out, row, of);
}

}  // namespace

bool ConvertInks(const FourComponents& components, bool ycck, FrameSize size, RowRange rows,
                 const PixelTarget& target) {
    return ThroughBgraRows(size, rows, target, [&](RowRange row, std::uint32_t* pixels) {
        return ForEachInk(components, ycck, size, row, pixels, [](const Ink& ink) {
            return RgbPixel(Inked(ink[0], ink[3]), Inked(ink[1], ink[3]), Inked(ink[2], ink[3]));
        });
    });
}

bool LumaOfInks(const FourComponents& components, bool ycck, FrameSize size, RowRange rows,
                std::uint8_t* out) {
    return ForEachInk(components, ycck, size, rows, out, [](const Ink& ink) {
        return Luma(Inked(ink[0], ink[3]), Inked(ink[1], ink[3]), Inked(ink[2], ink[3]));
    });
}

bool CopyInks(const FourComponents& components, bool ycck, FrameSize size, RowRange rows,
              std::uint8_t* out) {
    const RowSpan span = Span(size, rows, size.height);
    std::vector<Ink> inks((span.last - span.first) * size.width);
    if (!ForEachInk(components, ycck, size, rows, inks.data(), [](const Ink& ink) { return ink; }))
        return false;
    if (!inks.empty()) std::memcpy(out, inks.data(), inks.size() * sizeof(Ink));
    return true;
}

bool CopyGreySamples(const JpegComponent& component, FrameSize size, RowRange rows,
                     std::uint8_t* out) {
    ComponentRows grey(component);
    if (!grey.Usable(size)) return false;
    const RowSpan span = Span(size, rows, grey.ReachedRows());
    const std::size_t width = size.width;
    std::vector<std::uint8_t> full;
    for (std::size_t i = span.first; i < span.converted; ++i, out += width) {
        Replicate(grey.Row(i), grey.HorizontalFactor(), width, full);
        std::copy_n(full.data(), width, out);
    }
    std::fill_n(out, (span.last - span.converted) * width, grey.UnreachedSample());
    return true;
}

namespace {

// Rows from rows.first on of the image's BGRA pixels.
PixelTarget ImageRows(RasterImage& image, RowRange rows) {
    const auto width = static_cast<std::size_t>(image.Width());
    const auto height = static_cast<std::size_t>(image.Height());
    return {reinterpret_cast<std::uint8_t*>(image.Pixels() + std::min(rows.first, height) * width)};
}

FrameSize SizeOf(const RasterImage& image) {
    return {static_cast<std::size_t>(image.Width()), static_cast<std::size_t>(image.Height())};
}

}  // namespace

bool ConvertGrayscale(const JpegComponent& component, RasterImage& image,
                      const DecoderKernels& kernels, RowRange rows) {
    return ConvertGrayscale(component, SizeOf(image), rows, ImageRows(image, rows), kernels);
}

bool ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  RasterImage& image, const DecoderKernels& kernels, RowRange rows) {
    return ConvertYCbCr(y, cb, cr, SizeOf(image), rows, ImageRows(image, rows), kernels);
}

}  // namespace Tessera
