#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "colour_kernels.h"

namespace Tessera {

class JpegComponent;
class RasterImage;
struct DecoderKernels;

// The JFIF YCbCr -> RGB equations as four tables over a sample value i
// (k = i - 128), each the exact product rounded half away from zero; the two
// green terms carry 16 fraction bits.
struct ColourTables {
    std::array<std::int32_t, 256> redFromCr;    // 1.402 · k
    std::array<std::int32_t, 256> blueFromCb;   // 1.772 · k
    std::array<std::int32_t, 256> greenFromCb;  // 0.34414 · 65536 · k
    std::array<std::int32_t, 256> greenFromCr;  // 0.71414 · 65536 · k
};
extern const ColourTables kColourTables;

// The pixel of a grey sample: blue = green = red, alpha 255.
constexpr std::uint32_t GreyPixel(std::uint8_t grey) {
    return 0xFF000000u | grey * 0x010101u;
}

// One pixel from its Y, Cb and Cr samples: blue, green, red, alpha 255 in memory order.
inline std::uint32_t YCbCrPixel(int luma, std::uint8_t cb, std::uint8_t cr) {
    const auto clamp = [](int value) { return value < 0 ? 0 : value > 255 ? 255 : value; };
    const auto& t = kColourTables;
    const int red = clamp(luma + t.redFromCr[cr]);
    // Arithmetic shift: the subtracted amount rounds to nearest, halves up.
    const int green = clamp(luma - ((t.greenFromCb[cb] + t.greenFromCr[cr] + 32768) >> 16));
    const int blue = clamp(luma + t.blueFromCb[cb]);
    return 0xFF000000u | static_cast<std::uint32_t>(red) << 16 |
           static_cast<std::uint32_t>(green) << 8 | static_cast<std::uint32_t>(blue);
}

// The conversions up-sample on the way: a component sampled below the frame's
// largest factors has each sample repeated over a horizontal × vertical
// up-sampling rectangle. Rows below those that scans reached take the sample
// of a block without data. A component that no scan prepared, or one whose
// samples would not cover the picture's width, makes them write nothing.

// Image rows first .. last − 1 (clipped to the picture) are converted; by
// default every row.
struct RowRange {
    std::size_t first = 0;
    std::size_t last = SIZE_MAX;
};

// The picture the rows belong to.
struct FrameSize {
    std::size_t width = 0;
    std::size_t height = 0;
};

// Where the colour conversions put their pixels: columns first .. last − 1
// of each row (clipped to the picture's width) in a layout, the rows one
// after the other from out.
struct PixelTarget {
    std::uint8_t* out = nullptr;
    ColourLayout layout = ColourLayout::Bgra;
    std::size_t firstColumn = 0;
    std::size_t lastColumn = SIZE_MAX;
};

// Each converts the rows of the range and returns false when it wrote
// nothing (a component it cannot use).

// Pixels from the component (grey) ...
bool ConvertGrayscale(const JpegComponent& component, FrameSize size, RowRange rows,
                      const PixelTarget& target, const DecoderKernels& kernels);
// ... from the Y, Cb and Cr components ...
bool ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  FrameSize size, RowRange rows, const PixelTarget& target,
                  const DecoderKernels& kernels);
// ... or from red, green and blue components (Adobe RGB files).
bool ConvertRgb(const JpegComponent& r, const JpegComponent& g, const JpegComponent& b,
                FrameSize size, RowRange rows, const PixelTarget& target);

// The others write whole rows, one after the other from out.

// One byte a pixel: the component's samples (a grey picture, or Y) ...
bool CopyGreySamples(const JpegComponent& component, FrameSize size, RowRange rows,
                     std::uint8_t* out);
// ... or the luma of red, green and blue components, 0.299 R + 0.587 G +
// 0.114 B rounded (ITU-R BT.601, as JFIF's Y).
bool LumaOfRgb(const JpegComponent& r, const JpegComponent& g, const JpegComponent& b,
               FrameSize size, RowRange rows, std::uint8_t* out);

// Four components: the inks of CMYK or, with ycck, of YCCK (whose first
// three are Y, Cb and Cr of the inverted inks: cyan = 255 − red). Adobe
// files store the inks inverted (255: no ink), so the colour of a pixel is
// red = C × K / 255, green = M × K / 255, blue = Y × K / 255, rounded.
using FourComponents = std::array<const JpegComponent*, 4>;
// Pixels through those colours ...
bool ConvertInks(const FourComponents& components, bool ycck, FrameSize size, RowRange rows,
                 const PixelTarget& target);
// ... their luma, one byte a pixel ...
bool LumaOfInks(const FourComponents& components, bool ycck, FrameSize size, RowRange rows,
                std::uint8_t* out);
// ... or the inks themselves, four bytes a pixel (C, M, Y, K).
bool CopyInks(const FourComponents& components, bool ycck, FrameSize size, RowRange rows,
              std::uint8_t* out);

// The image's own rows, as the decoder converts them (BGRA).
bool ConvertGrayscale(const JpegComponent& component, RasterImage& image,
                      const DecoderKernels& kernels, RowRange rows = {});
bool ConvertYCbCr(const JpegComponent& y, const JpegComponent& cb, const JpegComponent& cr,
                  RasterImage& image, const DecoderKernels& kernels, RowRange rows = {});

}  // namespace Tessera
