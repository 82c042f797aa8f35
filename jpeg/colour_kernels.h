#pragma once

#include <cstddef>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// Row kernels of the colour conversion. Each writes `width` pixels as
// 0xFF000000 | red << 16 | green << 8 | blue (bytes B, G, R, A in memory),
// with red, green and blue from the YCbCr equations of colour_conversion.h
// (kColourTables), clamped to 0..255. Every kernel gives the same bytes.
//
// Pixel j from y[j], cb[j], cr[j] (full-resolution chroma); the half variants
// take pixel j from y[j], cb[j / 2], cr[j / 2] (chroma at half horizontal
// resolution, 4:2:2 and 4:2:0 rows), and width may be odd.
using YCbCrRowKernel = void (*)(const std::uint8_t* y, const std::uint8_t* cb,
                                const std::uint8_t* cr, std::uint32_t* out, std::size_t width);
// B = G = R = grey[j], A = 255.
using GreyRowKernel = void (*)(const std::uint8_t* grey, std::uint32_t* out, std::size_t width);

// Plain C++ with the tables; the reference the others reproduce.
void YCbCrRowPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width);
void YCbCrRowHalfPortable(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                          std::uint32_t* out, std::size_t width);
void GreyRowPortable(const std::uint8_t* grey, std::uint32_t* out, std::size_t width);

#if TESSERA_X86_KERNELS
void YCbCrRowSse2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                  std::uint32_t* out, std::size_t width);
void YCbCrRowHalfSse2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width);
void GreyRowSse2(const std::uint8_t* grey, std::uint32_t* out, std::size_t width);

// These need a CPU with AVX2 (see simd_level.h).
void YCbCrRowAvx2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                  std::uint32_t* out, std::size_t width);
void YCbCrRowHalfAvx2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width);
void GreyRowAvx2(const std::uint8_t* grey, std::uint32_t* out, std::size_t width);
#endif

}  // namespace Tessera
