#pragma once

#include <cstddef>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// Dequantizes 64 coefficients (natural order) with the multipliers (a
// QuantTable's, natural order), applies the two-dimensional inverse DCT in
// 32-bit integer arithmetic with 12 fraction bits, level-shifts by 128, rounds
// and clamps. Writes 8 rows of 8 samples at out, rows `stride` bytes apart.
// Every kernel gives the same bytes for every input, including the 32-bit
// wrap-around of absurd coefficient × multiplier products.
using InverseDctKernel = void (*)(std::uint8_t* out, std::ptrdiff_t stride,
                                  const std::int16_t* coefficients,
                                  const std::int32_t* multipliers);

// Plain C++; the reference the others reproduce.
void InverseDctPortable(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                        const std::int32_t* multipliers);
#if TESSERA_X86_KERNELS
// SSE2 only, the x86-64 baseline.
void InverseDctSse2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                    const std::int32_t* multipliers);
// Needs a CPU with AVX2 (see simd_level.h).
void InverseDctAvx2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                    const std::int32_t* multipliers);
#endif

// The fixed point every kernel shares.
namespace InverseDctFixedPoint {
// Rotation constants with 6 fraction bits, each truncated:
inline constexpr std::int32_t kC4 = 45;  // 64 · cos(π/4)   = 45.25
inline constexpr std::int32_t kK1 = 34;  // 32 ÷ cos(π/8)   = 34.64
inline constexpr std::int32_t kK3 = 83;  // 32 ÷ cos(3π/8)  = 83.62
inline constexpr int kConstantBits = 6;

// Added once to every output of the column pass: the level shift of +128 and
// one half for rounding, both in the multipliers' 12-bit fixed point.
inline constexpr int kFractionBits = 12;
inline constexpr std::int32_t kColumnBias =
    (128 << kFractionBits) + (1 << (kFractionBits - 1));  // 0x80800

// A block whose 63 AC coefficients are all zero transforms to one value: the
// row pass copies the dequantized DC along row 0, and the column pass, given
// only its first input, adds the bias and copies that down each column. Every
// kernel writes such blocks with this (out of line, so that no kernel's
// instruction set leaks into a shared inline copy).
void WriteDcOnlyBlock(std::uint8_t* out, std::ptrdiff_t stride, std::int16_t dc,
                      std::int32_t multiplier);
}  // namespace InverseDctFixedPoint

}  // namespace Tessera
