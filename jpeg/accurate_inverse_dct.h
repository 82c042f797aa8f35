#pragma once

#include <cstddef>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// The accurate integer inverse DCT of libjpeg-turbo (its "islow" method, the
// Loeffler-Ligtenberg-Moschytz factorisation with 12 multiplications per
// 8-point transform), giving the bytes that Debian's djpeg 2.1.5 gives on
// x86-64. Dequantizes 64 coefficients (natural order) with the quantizers
// (natural order, the DQT's values), transforms columns then rows, level-shifts
// by 128 and limits to 0..255. Writes 8 rows of 8 samples at out, rows
// `stride` bytes apart.
//
// djpeg runs its SSE2/AVX2 kernel here, which works in 16-bit lanes, and every
// kernel below reproduces that arithmetic exactly, for every input:
//   - dequantization keeps the low 16 bits of coefficient × quantizer (signed);
//   - the sums d0 + d4, d0 - d4, d3 + d7 and d1 + d5 that precede
//     multiplications wrap to 16 bits; products and the remaining sums are
//     exact in 32 bits (they stay below 2^31 for any 16-bit inputs);
//   - the column pass rounds away 11 bits (13 constant bits less the 2 bits
//     it keeps for the row pass) and saturates to 16 bits;
//   - when rows 1 to 7 of the coefficients are all zero, the column pass is
//     the dequantized row 0 shifted left by 2 in 16 bits (wrapping), copied
//     down each column;
//   - the row pass rounds away 18 bits (13 + 2 + the 3 of the 8 × scale of
//     the two passes); the result saturates to -128..127 and is shifted by 128.
// libjpeg's portable C differs only for absurd values (products beyond 16
// bits, results beyond ±512, where its range-limit table wraps), which real
// files never reach.
using AccurateInverseDctKernel = void (*)(std::uint8_t* out, std::ptrdiff_t stride,
                                          const std::int16_t* coefficients,
                                          const std::uint16_t* quant);

// Two blocks side by side with the same quantizers, `left` to out and
// `right` to out + 8: the samples of two calls of the one-block kernel.
using AccurateInverseDctPairKernel = void (*)(std::uint8_t* out, std::ptrdiff_t stride,
                                              const std::int16_t* left, const std::int16_t* right,
                                              const std::uint16_t* quant);
// A pair as two calls, where the instructions gain nothing from pairing.
template <AccurateInverseDctKernel kernel>
void AccurateInverseDctOneByOne(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* left,
                                const std::int16_t* right, const std::uint16_t* quant) {
    kernel(out, stride, left, quant);
    kernel(out + 8, stride, right, quant);
}

// Plain C++; the reference the others reproduce.
void AccurateInverseDctPortable(std::uint8_t* out, std::ptrdiff_t stride,
                                const std::int16_t* coefficients, const std::uint16_t* quant);
#if TESSERA_X86_KERNELS
// SSE2 only, the x86-64 baseline.
void AccurateInverseDctSse2(std::uint8_t* out, std::ptrdiff_t stride,
                            const std::int16_t* coefficients, const std::uint16_t* quant);
// Needs a CPU with AVX2 (see simd_level.h).
void AccurateInverseDctAvx2(std::uint8_t* out, std::ptrdiff_t stride,
                            const std::int16_t* coefficients, const std::uint16_t* quant);
// Both blocks at once, one in each 128-bit half: nearly the work of one.
void AccurateInverseDctPairAvx2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* left,
                                const std::int16_t* right, const std::uint16_t* quant);
#endif

// The fixed point of libjpeg's integer transforms, shared by the 8 × 8 and
// the scaled kernels (scaled_inverse_dct.h).
namespace AccurateIdct {

// Constants carry 13 fraction bits; the column pass keeps 2 more bits than
// the samples need for the row pass.
inline constexpr int kConstBits = 13;
inline constexpr int kPass1Bits = 2;
// The column pass drops kConstBits - kPass1Bits; the row pass drops the rest
// and the factor 8 (3 bits) that the unnormalised transforms leave.
inline constexpr int kColumnShift = kConstBits - kPass1Bits;   // 11
inline constexpr int kRowShift = kConstBits + kPass1Bits + 3;  // 18

// x in 13-bit fixed point, rounded to nearest, as libjpeg's FIX(x).
constexpr std::int32_t Fix(double x) {
    return static_cast<std::int32_t>(x * (1 << kConstBits) + 0.5);
}

// The 8-point transform's rotations: √2 times combinations of cos(kπ/16),
// written cK below.
inline constexpr std::int32_t kF0298 = Fix(0.298631336);  // √2 (-c1 + c3 + c5 - c7)
inline constexpr std::int32_t kF0390 = Fix(0.390180644);  // √2 (c5 - c3)
inline constexpr std::int32_t kF0541 = Fix(0.541196100);  // √2 c6
inline constexpr std::int32_t kF0765 = Fix(0.765366865);  // √2 (c2 - c6)
inline constexpr std::int32_t kF0899 = Fix(0.899976223);  // √2 (c7 - c3)
inline constexpr std::int32_t kF1175 = Fix(1.175875602);  // √2 c3
inline constexpr std::int32_t kF1501 = Fix(1.501321110);  // √2 (c1 + c3 - c5 - c7)
inline constexpr std::int32_t kF1847 = Fix(1.847759065);  // √2 (c2 + c6)
inline constexpr std::int32_t kF1961 = Fix(1.961570560);  // √2 (c3 + c5)
inline constexpr std::int32_t kF2053 = Fix(2.053119869);  // √2 (c1 + c3 - c5 + c7)
inline constexpr std::int32_t kF2562 = Fix(2.562915447);  // √2 (c1 + c3)
inline constexpr std::int32_t kF3072 = Fix(3.072711026);  // √2 (c1 + c3 + c5 - c7)
static_assert(kF0298 == 2446 && kF0390 == 3196 && kF0541 == 4433 && kF0765 == 6270 &&
              kF0899 == 7373 && kF1175 == 9633 && kF1501 == 12299 && kF1847 == 15137 &&
              kF1961 == 16069 && kF2053 == 16819 && kF2562 == 20995 && kF3072 == 25172);

// The sums of products the kernels form, each as one pair of constants
// applied to a pair of inputs (a · first + b · second), which is what a
// 16-bit multiply-add instruction computes:
//   even part, inputs (d2, d6):
inline constexpr std::int32_t kEven3[2] = {kF0541 + kF0765, kF0541};
inline constexpr std::int32_t kEven2[2] = {kF0541, kF0541 - kF1847};
//   odd part, inputs (d3 + d7, d1 + d5):
inline constexpr std::int32_t kOddZ3[2] = {kF1175 - kF1961, kF1175};
inline constexpr std::int32_t kOddZ4[2] = {kF1175, kF1175 - kF0390};
//   inputs (d7, d1):
inline constexpr std::int32_t kOdd0[2] = {kF0298 - kF0899, -kF0899};
inline constexpr std::int32_t kOdd3[2] = {-kF0899, kF1501 - kF0899};
//   inputs (d5, d3):
inline constexpr std::int32_t kOdd1[2] = {kF2053 - kF2562, -kF2562};
inline constexpr std::int32_t kOdd2[2] = {-kF2562, kF3072 - kF2562};

// libjpeg's limit after its portable transforms: the descaled value masked
// to 10 bits indexes a table that reads them as a signed 10-bit number,
// adds 128 and clamps (jdmaster.c's range-limit table: 0..127 give 128..255,
// 128..511 give 255, 512..895 give 0, 896..1023 give 0..127). So a value
// wraps modulo 1024 before it is clamped.
constexpr std::uint8_t RangeLimit(std::int32_t descaled) {
    const std::int32_t tenBits = descaled & 1023;
    const std::int32_t value = (tenBits ^ 512) - 512 + 128;
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// A block whose 63 AC coefficients are all zero gives one value everywhere
// (see AccurateInverseDctPortable). Every kernel writes such blocks with this
// (out of line, so that no kernel's instruction set leaks into a shared
// inline copy).
void WriteDcOnlyBlock(std::uint8_t* out, std::ptrdiff_t stride, std::int16_t dc,
                      std::uint16_t quant);

}  // namespace AccurateIdct

}  // namespace Tessera
