#include "colour_kernels.h"

#include <cstring>
#include <utility>

#include "colour_conversion.h"

namespace Tessera {

namespace {

template <ColourLayout L>
constexpr std::size_t kBytes = kLayoutBytes[static_cast<std::size_t>(L)];

// A pixel as YCbCrPixel and GreyPixel make it, written in layout L.
template <ColourLayout L>
void Put(std::uint32_t pixel, std::uint8_t* out) {
    if constexpr (L == ColourLayout::Bgra) {
        std::memcpy(out, &pixel, sizeof pixel);
    } else {
        constexpr bool redFirst = L == ColourLayout::Rgba || L == ColourLayout::Rgb;
        const auto red = static_cast<std::uint8_t>(pixel >> 16);
        const auto blue = static_cast<std::uint8_t>(pixel);
        out[0] = redFirst ? red : blue;
        out[1] = static_cast<std::uint8_t>(pixel >> 8);
        out[2] = redFirst ? blue : red;
        if constexpr (kBytes<L> == 4) out[3] = 255;
    }
}

template <ColourLayout L>
void YCbCrRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
              std::uint8_t* out, std::size_t first, std::size_t last) {
    for (std::size_t j = first; j < last; ++j, out += kBytes<L>)
        Put<L>(YCbCrPixel(y[j], cb[j], cr[j]), out);
}

template <ColourLayout L>
void YCbCrRowHalf(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                  std::uint8_t* out, std::size_t first, std::size_t last) {
    // Each chroma pair serves two pixels.
    for (std::size_t j = first; j < last; ++j, out += kBytes<L>)
        Put<L>(YCbCrPixel(y[j], cb[j / 2], cr[j / 2]), out);
}

template <ColourLayout L>
void YCbCrRowPairHalf(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                      const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1,
                      std::size_t first, std::size_t last) {
    YCbCrRowHalf<L>(y0, cb, cr, out0, first, last);
    YCbCrRowHalf<L>(y1, cb, cr, out1, first, last);
}

template <ColourLayout L>
void GreyRow(const std::uint8_t* grey, std::uint8_t* out, std::size_t first, std::size_t last) {
    for (std::size_t j = first; j < last; ++j, out += kBytes<L>) Put<L>(GreyPixel(grey[j]), out);
}

template <ColourLayout L>
void PutRow(const std::uint32_t* pixels, std::size_t count, std::uint8_t* out) {
    for (std::size_t j = 0; j < count; ++j, out += kBytes<L>) Put<L>(pixels[j], out);
}

template <std::size_t... Layout>
constexpr ColourKernelSet KernelSet(std::index_sequence<Layout...>) {
    return {ColourRowKernels{YCbCrRow<static_cast<ColourLayout>(Layout)>,
                             YCbCrRowHalf<static_cast<ColourLayout>(Layout)>,
                             GreyRow<static_cast<ColourLayout>(Layout)>,
                             YCbCrRowPairHalf<static_cast<ColourLayout>(Layout)>}...};
}

}  // namespace

constinit const ColourKernelSet kColourKernelsPortable =
    KernelSet(std::make_index_sequence<kColourLayouts>());

void PutPixels(const std::uint32_t* pixels, std::size_t count, ColourLayout layout,
               std::uint8_t* out) {
    switch (layout) {
        case ColourLayout::Bgra:
            return PutRow<ColourLayout::Bgra>(pixels, count, out);
        case ColourLayout::Rgba:
            return PutRow<ColourLayout::Rgba>(pixels, count, out);
        case ColourLayout::Bgr:
            return PutRow<ColourLayout::Bgr>(pixels, count, out);
        case ColourLayout::Rgb:
            return PutRow<ColourLayout::Rgb>(pixels, count, out);
    }
}

}  // namespace Tessera
