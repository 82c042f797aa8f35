#pragma once

#include "accurate_inverse_dct.h"

namespace Tessera {

// The scaled inverse transforms libjpeg-turbo applies when it decodes at M/8:
// an N-point inverse DCT of each block's low N × N frequencies (N < 8), or of
// all 8 × 8 with the higher ones taken as zero (N > 8), giving N × N samples
// per block. A component's N is its scaled block size, which libjpeg doubles
// for subsampled components while that divides evenly (4:2:0 chroma at 5/8
// uses 10 × 10). Same signature as the 8 × 8 kernel; writes N rows of N
// samples, rows `stride` bytes apart.
//
// The kernels give Debian's djpeg 2.1.5 bytes on x86-64 for every input:
//   - 2 × 2 and 4 × 4 are its SSE2 kernels (jidctred's reduced transforms in
//     16-bit lanes): dequantized values keep their low 16 bits, the sums wrap
//     in 32 bits, the column pass saturates to 16 bits (but for the DC column
//     of 2 × 2, which the row pass shifts on in 32 bits), and the results
//     saturate to -128..127 before the shift by 128. When rows 1, 2, 3, 5, 6
//     and 7 are all zero, the 4 × 4 column pass is the dequantized row 0
//     shifted left by 2 in 16 bits.
//   - 1 × 1 and the others are its portable C (jidctred.c's 1 × 1, the N-point
//     transforms of jidctint.c): the coefficient × quantizer product is exact,
//     each pass's sums are exact (64 bits), the column pass keeps the low 32
//     bits of its descaled results, and the results pass through
//     AccurateIdct::RangeLimit, so that they wrap modulo 1024 before the clamp.
// All of them treat a quantizer as a signed 16-bit value, as libjpeg-turbo's
// multiplier tables do.
//
// The kernel for scaled size N: 1-7, 8 (the accurate 8 × 8 portable kernel),
// 10, 12, 14 or 16; nullptr for any other size.
AccurateInverseDctKernel ScaledInverseDctFor(unsigned size);

// Each size on its own.
void ScaledInverseDct1x1(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant);
void ScaledInverseDct2x2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant);
void ScaledInverseDct3x3(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant);
void ScaledInverseDct4x4(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant);
void ScaledInverseDct5x5(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant);
void ScaledInverseDct6x6(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant);
void ScaledInverseDct7x7(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                         const std::uint16_t* quant);
void ScaledInverseDct10x10(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant);
void ScaledInverseDct12x12(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant);
void ScaledInverseDct14x14(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant);
void ScaledInverseDct16x16(std::uint8_t* out, std::ptrdiff_t stride,
                           const std::int16_t* coefficients, const std::uint16_t* quant);

}  // namespace Tessera
