#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// A table's dequantization multipliers (natural order) as the kernels take
// them: as they are, and split for kernels that multiply in 16-bit lanes
// (SSE2 has no 32-bit lane multiply): value = low + 2^16 · high modulo 2^32,
// low read as signed; and transposed (transposed[8 · v + u] = values[8 · u + v])
// for kernels that load coefficients column by column. Prepared once per table
// rather than in every block.
struct InverseDctMultipliers {
    std::array<std::int32_t, 64> values{};
    std::array<std::int16_t, 64> low{}, high{};
    std::array<std::int32_t, 64> transposed{};
};
InverseDctMultipliers SplitMultipliers(const std::array<std::int32_t, 64>& values);

// Dequantizes 64 coefficients (natural order) with the multipliers (a
// QuantTable's), applies the two-dimensional inverse DCT in
// 32-bit integer arithmetic with 12 fraction bits, level-shifts by 128, rounds
// and clamps. Writes 8 rows of 8 samples at out, rows `stride` bytes apart.
// Every kernel gives the same bytes for every input, including the 32-bit
// wrap-around of absurd coefficient × multiplier products.
using InverseDctKernel = void (*)(std::uint8_t* out, std::ptrdiff_t stride,
                                  const std::int16_t* coefficients,
                                  const InverseDctMultipliers& multipliers);

// Plain C++; the reference the others reproduce.
void InverseDctPortable(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                        const InverseDctMultipliers& multipliers);
#if TESSERA_X86_KERNELS
// SSE2 only, the x86-64 baseline.
void InverseDctSse2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                    const InverseDctMultipliers& multipliers);
// Needs a CPU with AVX2 (see simd_level.h).
void InverseDctAvx2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                    const InverseDctMultipliers& multipliers);
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
