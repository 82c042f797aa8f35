#include "row_converter.h"

#include <algorithm>

#include "jpeg_component.h"

namespace Tessera {

namespace {

using LibjpegColour::Fixed;
using LibjpegColour::kFractionBits;
using LibjpegColour::kHalf;
using LibjpegColour::Rgb;
using LibjpegColour::RgbOfYcc;

// BT.601 luma as libjpeg weighs it: 0.299, 0.587 and 0.114 in 16 fraction bits.
constexpr std::uint8_t Luma(Rgb c) {
    return static_cast<std::uint8_t>(
        (Fixed(0.29900) * c.r + Fixed(0.58700) * c.g + Fixed(0.11400) * c.b + kHalf) >>
        kFractionBits);
}

// Adobe files store inks inverted (255: none), so a colour is ink × K / 255,
// rounded to nearest: (2 × ink × K + 255) / 510 (no product falls on a half).
constexpr std::uint8_t Inked(unsigned ink, unsigned black) {
    return static_cast<std::uint8_t>((2 * ink * black + 255) / 510);
}

struct Ink {
    std::uint8_t c, m, y, k;
};

constexpr Rgb RgbOfInk(Ink i) {
    return {Inked(i.c, i.k), Inked(i.m, i.k), Inked(i.y, i.k)};
}

// YCCK: Y, Cb and Cr of the inverted inks (cyan = 255 − red), and K.
inline Ink InkOfYcck(std::uint8_t y, std::uint8_t cb, std::uint8_t cr, std::uint8_t k) {
    const Rgb c = RgbOfYcc(y, cb, cr);
    return {static_cast<std::uint8_t>(255 - c.r), static_cast<std::uint8_t>(255 - c.g),
            static_cast<std::uint8_t>(255 - c.b), k};
}

}  // namespace

void RowConverter::SetUp(std::array<ComponentSetup, 4> value, unsigned n, std::size_t w,
                         std::size_t h, const DecoderKernels& kernels) {
    components = std::move(value);
    upsampleKernels = kernels.upsample;
    colourKernels = kernels.libjpegColour;
    for (std::size_t layout = 0; layout < kColourLayouts; ++layout)
        greyKernels[layout] = kernels.colour[layout].grey;
    count = n;
    width = w;
    height = h;
    for (unsigned i = 0; i < count; ++i) scratch[i].Reserve(width);
}

bool RowConverter::NeedsNeighbourRows() const {
    for (unsigned i = 0; i < count; ++i)
        if (components[i].upsampler.NeedsNeighbourRows()) return true;
    return false;
}

bool RowConverter::Convertible() const {
    for (unsigned i = 0; i < count; ++i)
        if (!components[i].component->Convertible()) return false;
    return count != 0;
}

void RowConverter::Gather(std::size_t y, std::size_t firstColumn, std::size_t lastColumn) {
    for (unsigned i = 0; i < count; ++i)
        rows[i] = components[i].upsampler.Row(components[i].plane, y, firstColumn, lastColumn,
                                              scratch[i], upsampleKernels);
}

namespace {

// Where a pixel's colour goes in each layout of three or four bytes, and the
// colour kernel that writes it.
struct BgraLayout {
    static constexpr ColourLayout kLayout = ColourLayout::Bgra;
    static constexpr LibjpegColourKernel LibjpegColourKernels::*kKernel =
        &LibjpegColourKernels::bgra;
    static constexpr std::size_t kBytes = 4;
    static void Put(std::uint8_t* p, Rgb c) { p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 255; }
};
struct RgbaLayout {
    static constexpr ColourLayout kLayout = ColourLayout::Rgba;
    static constexpr LibjpegColourKernel LibjpegColourKernels::*kKernel =
        &LibjpegColourKernels::rgba;
    static constexpr std::size_t kBytes = 4;
    static void Put(std::uint8_t* p, Rgb c) { p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = 255; }
};
struct RgbLayout {
    static constexpr ColourLayout kLayout = ColourLayout::Rgb;
    static constexpr LibjpegColourKernel LibjpegColourKernels::*kKernel =
        &LibjpegColourKernels::rgb;
    static constexpr std::size_t kBytes = 3;
    static void Put(std::uint8_t* p, Rgb c) { p[0] = c.r, p[1] = c.g, p[2] = c.b; }
};
struct BgrLayout {
    static constexpr ColourLayout kLayout = ColourLayout::Bgr;
    static constexpr LibjpegColourKernel LibjpegColourKernels::*kKernel =
        &LibjpegColourKernels::bgr;
    static constexpr std::size_t kBytes = 3;
    static void Put(std::uint8_t* p, Rgb c) { p[0] = c.b, p[1] = c.g, p[2] = c.r; }
};

}  // namespace

template <typename Layout>
void RowConverter::ColourRows(ColourSpace colours, std::size_t first, std::size_t last,
                              std::size_t firstColumn, std::size_t lastColumn,
                              std::uint8_t* __restrict out) {
    // One loop per colour space, the choice made once per row.
    const auto each = [&](auto colour) {
        for (std::size_t x = firstColumn; x < lastColumn; ++x, out += Layout::kBytes)
            Layout::Put(out, colour(x));
    };
    for (std::size_t y = first; y < last; ++y) {
        Gather(y, firstColumn, lastColumn);
        const std::uint8_t* __restrict c0 = rows[0];
        const std::uint8_t* __restrict c1 = rows[1];
        const std::uint8_t* __restrict c2 = rows[2];
        const std::uint8_t* __restrict c3 = rows[3];
        switch (colours) {
            case ColourSpace::Grey:
                greyKernels[static_cast<std::size_t>(Layout::kLayout)](c0, out, firstColumn,
                                                                       lastColumn);
                out += (lastColumn - firstColumn) * Layout::kBytes;
                break;
            case ColourSpace::YCbCr:
                // The kernel of the level, straight into the layout.
                (colourKernels.*Layout::kKernel)(c0 + firstColumn, c1 + firstColumn,
                                                 c2 + firstColumn, out, lastColumn - firstColumn);
                out += (lastColumn - firstColumn) * Layout::kBytes;
                break;
            case ColourSpace::Rgb:
                each([&](std::size_t x) { return Rgb{c0[x], c1[x], c2[x]}; });
                break;
            case ColourSpace::Cmyk:
                each([&](std::size_t x) { return RgbOfInk({c0[x], c1[x], c2[x], c3[x]}); });
                break;
            case ColourSpace::Ycck:
                each(
                    [&](std::size_t x) { return RgbOfInk(InkOfYcck(c0[x], c1[x], c2[x], c3[x])); });
                break;
        }
    }
}

bool RowConverter::Colour(ColourSpace colours, std::size_t first, std::size_t last,
                          std::size_t firstColumn, std::size_t lastColumn, PixelFormat format,
                          std::uint8_t* out) {
    if (!Convertible()) return false;
    last = std::min(last, height);
    switch (format) {
        case PixelFormat::Bgra:
        case PixelFormat::Bgrx:  // the fourth byte 255 as well
            ColourRows<BgraLayout>(colours, first, last, firstColumn, lastColumn, out);
            return true;
        case PixelFormat::Rgba:
        case PixelFormat::Rgbx:
            ColourRows<RgbaLayout>(colours, first, last, firstColumn, lastColumn, out);
            return true;
        case PixelFormat::Rgb:
            ColourRows<RgbLayout>(colours, first, last, firstColumn, lastColumn, out);
            return true;
        case PixelFormat::Bgr:
            ColourRows<BgrLayout>(colours, first, last, firstColumn, lastColumn, out);
            return true;
        case PixelFormat::Grey:
            return Grey(colours, first, last, firstColumn, lastColumn, out);
        case PixelFormat::Cmyk:
            return Inks(colours, first, last, firstColumn, lastColumn, out);
    }
    return false;
}

bool RowConverter::Bgra(ColourSpace colours, std::size_t first, std::size_t last,
                        std::size_t firstColumn, std::size_t lastColumn, std::uint32_t* out) {
    return Colour(colours, first, last, firstColumn, lastColumn, PixelFormat::Bgra,
                  reinterpret_cast<std::uint8_t*>(out));
}

bool RowConverter::Grey(ColourSpace colours, std::size_t first, std::size_t last,
                        std::size_t firstColumn, std::size_t lastColumn, std::uint8_t* out) {
    if (colours == ColourSpace::Grey || colours == ColourSpace::YCbCr) {
        // The first component is the grey one, or Y: JFIF's luma itself.
        if (!components[0].component->Convertible()) return false;
        last = std::min(last, height);
        for (std::size_t y = first; y < last; ++y) {
            const std::uint8_t* row = components[0].upsampler.Row(
                components[0].plane, y, firstColumn, lastColumn, scratch[0], upsampleKernels);
            out = std::copy(row + firstColumn, row + lastColumn, out);
        }
        return true;
    }
    std::vector<std::uint32_t> pixels(lastColumn - firstColumn);
    last = std::min(last, height);
    for (std::size_t y = first; y < last; ++y) {
        if (!Bgra(colours, y, y + 1, firstColumn, lastColumn, pixels.data())) return false;
        for (const std::uint32_t p : pixels)
            *out++ = Luma({static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                           static_cast<std::uint8_t>(p)});
    }
    return true;
}

bool RowConverter::Inks(ColourSpace colours, std::size_t first, std::size_t last,
                        std::size_t firstColumn, std::size_t lastColumn, std::uint8_t* out) {
    if (!Convertible()) return false;
    last = std::min(last, height);
    if (colours != ColourSpace::Cmyk && colours != ColourSpace::Ycck) {
        // Other pictures: their colours and no black ink.
        std::vector<std::uint32_t> pixels(lastColumn - firstColumn);
        for (std::size_t y = first; y < last; ++y) {
            Bgra(colours, y, y + 1, firstColumn, lastColumn, pixels.data());
            for (const std::uint32_t p : pixels) {
                *out++ = static_cast<std::uint8_t>(p >> 16);
                *out++ = static_cast<std::uint8_t>(p >> 8);
                *out++ = static_cast<std::uint8_t>(p);
                *out++ = 255;
            }
        }
        return true;
    }
    for (std::size_t y = first; y < last; ++y) {
        Gather(y, firstColumn, lastColumn);
        for (std::size_t x = firstColumn; x < lastColumn; ++x) {
            const Ink ink = colours == ColourSpace::Cmyk
                                ? Ink{rows[0][x], rows[1][x], rows[2][x], rows[3][x]}
                                : InkOfYcck(rows[0][x], rows[1][x], rows[2][x], rows[3][x]);
            *out++ = ink.c, *out++ = ink.m, *out++ = ink.y, *out++ = ink.k;
        }
    }
    return true;
}

}  // namespace Tessera
