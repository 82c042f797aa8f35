#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// The byte orders the colour kernels write, with alpha 255 in the four-byte
// ones. Bgra is the saver's own pixel: the 32-bit value 0xFF000000 | red << 16
// | green << 8 | blue as the machine stores it (bytes B, G, R, A on x86).
enum class ColourLayout : std::uint8_t { Bgra, Rgba, Bgr, Rgb };
inline constexpr std::size_t kColourLayouts = 4;
// Bytes a pixel, by layout (data, not an inline function: see colour_fixed_point.h).
inline constexpr std::size_t kLayoutBytes[kColourLayouts] = {4, 4, 3, 3};

// Row kernels of the colour conversion: pixels first .. last − 1 of a row,
// written one after the other from out in the kernel's layout, with red,
// green and blue from the YCbCr equations of colour_conversion.h
// (kColourTables), clamped to 0..255. Every level gives the same bytes.
//
// Pixel j from y[j], cb[j], cr[j] (full-resolution chroma); the half variant
// takes pixel j from y[j], cb[j / 2], cr[j / 2] (chroma at half horizontal
// resolution, 4:2:2 and 4:2:0 rows). first and last may be odd.
using YCbCrRowKernel = void (*)(const std::uint8_t* y, const std::uint8_t* cb,
                                const std::uint8_t* cr, std::uint8_t* out, std::size_t first,
                                std::size_t last);
// Two rows of pixels that share their row of half-resolution chroma (4:2:0
// with chroma repeated down): row 0 from y0 into out0, row 1 from y1 into
// out1, each as the half variant makes it, the chroma terms worked out once.
using YCbCrRowPairKernel = void (*)(const std::uint8_t* y0, const std::uint8_t* y1,
                                    const std::uint8_t* cb, const std::uint8_t* cr,
                                    std::uint8_t* out0, std::uint8_t* out1, std::size_t first,
                                    std::size_t last);
// Blue = green = red = grey[j].
using GreyRowKernel = void (*)(const std::uint8_t* grey, std::uint8_t* out, std::size_t first,
                               std::size_t last);

// The kernels of one layout.
struct ColourRowKernels {
    YCbCrRowKernel full;  // full-resolution chroma
    YCbCrRowKernel half;  // half horizontal chroma
    GreyRowKernel grey;
    YCbCrRowPairKernel halfPair;  // two rows of half chroma, one chroma row
};
// Those of every layout, indexed by ColourLayout.
using ColourKernelSet = std::array<ColourRowKernels, kColourLayouts>;

// Plain C++ with the tables; the reference the others reproduce.
extern const ColourKernelSet kColourKernelsPortable;
// Pixels as colour_conversion.h's YCbCrPixel makes them, written in a layout
// as the kernels write it: for the conversions without row kernels.
void PutPixels(const std::uint32_t* pixels, std::size_t count, ColourLayout layout,
               std::uint8_t* out);

#if TESSERA_X86_KERNELS
extern const ColourKernelSet kColourKernelsSse2;
// These need a CPU with AVX2 (see simd_level.h).
extern const ColourKernelSet kColourKernelsAvx2;
#endif

}  // namespace Tessera
