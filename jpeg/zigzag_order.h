#pragma once

// The zigzag order of a block's coefficients (T.81 Figure A.6), and the
// kernels that put a progressive block, kept in that order, in natural order.

#include <array>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// Zigzag index k -> natural (row-major) position, T.81 Figure A.6.
inline constexpr std::array<std::uint8_t, 64> ZigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Natural position -> zigzag index (the inverse of ZigzagToNatural).
inline constexpr std::array<std::uint8_t, 64> NaturalToZigzag = [] {
    std::array<std::uint8_t, 64> inverse{};
    for (int k = 0; k < 64; ++k) inverse[ZigzagToNatural[k]] = static_cast<std::uint8_t>(k);
    return inverse;
}();

// Progressive scans keep a block's AC coefficients in zigzag order, the
// order in which their bands address them, and its DC coefficient apart;
// the transforms take natural order. natural[n] = zigzag[NaturalToZigzag[n]]
// for n from 1 to 63, natural[0] = dc (zigzag[0] is not used).
using ZigzagToNaturalKernel = void (*)(const std::int16_t* zigzag, std::int16_t dc,
                                       std::int16_t* natural);

void ZigzagToNaturalPortable(const std::int16_t* zigzag, std::int16_t dc, std::int16_t* natural);
#if TESSERA_X86_KERNELS
// Needs a CPU with AVX2 (see simd_level.h).
void ZigzagToNaturalAvx2(const std::int16_t* zigzag, std::int16_t dc, std::int16_t* natural);
#endif

}  // namespace Tessera
