#include "accurate_inverse_dct.h"

#include <algorithm>
#include <cstring>

namespace Tessera {

namespace {

using namespace AccurateIdct;

// The low 16 bits, signed: what a 16-bit lane keeps of a sum or product.
constexpr std::int32_t Wrap16(std::int32_t value) {
    return static_cast<std::int16_t>(value);
}

constexpr std::int32_t Saturate16(std::int32_t value) {
    return std::clamp<std::int32_t>(value, -32768, 32767);
}

constexpr std::int32_t Descale(std::int32_t sum, int bits) {
    return (sum + (1 << (bits - 1))) >> bits;
}

constexpr std::int32_t Pair(const std::int32_t (&constants)[2], std::int32_t a, std::int32_t b) {
    return a * constants[0] + b * constants[1];
}

// The 8-point transform of the 16-bit values x[0], x[step], ..., x[7 step]:
// writes the eight sums, still scaled by 2^13, to sums[0..7]. With 16-bit
// inputs every sum stays within ±2,115,830,000, inside 32 bits.
void Transform(const std::int16_t* x, int step, std::int32_t* sums) {
    const std::int32_t x0 = x[0], x1 = x[step], x2 = x[2 * step], x3 = x[3 * step];
    const std::int32_t x4 = x[4 * step], x5 = x[5 * step], x6 = x[6 * step], x7 = x[7 * step];

    // Even part: x0 ± x4 and the rotation of (x2, x6) by √2 c6.
    const std::int32_t sum04 = Wrap16(x0 + x4) * (1 << kConstBits);
    const std::int32_t difference04 = Wrap16(x0 - x4) * (1 << kConstBits);
    const std::int32_t even3 = Pair(kEven3, x2, x6), even2 = Pair(kEven2, x2, x6);
    const std::int32_t a0 = sum04 + even3, a3 = sum04 - even3;
    const std::int32_t a1 = difference04 + even2, a2 = difference04 - even2;

    // Odd part.
    const std::int32_t z3 = Wrap16(x7 + x3), z4 = Wrap16(x5 + x1);
    const std::int32_t r3 = Pair(kOddZ3, z3, z4), r4 = Pair(kOddZ4, z3, z4);
    const std::int32_t b0 = Pair(kOdd0, x7, x1) + r3, b3 = Pair(kOdd3, x7, x1) + r4;
    const std::int32_t b1 = Pair(kOdd1, x5, x3) + r4, b2 = Pair(kOdd2, x5, x3) + r3;

    sums[0] = a0 + b3;
    sums[7] = a0 - b3;
    sums[1] = a1 + b2;
    sums[6] = a1 - b2;
    sums[2] = a2 + b1;
    sums[5] = a2 - b1;
    sums[3] = a3 + b0;
    sums[4] = a3 - b0;
}

constexpr std::uint8_t RowPassSample(std::int32_t sum) {
    return static_cast<std::uint8_t>(std::clamp(Descale(sum, kRowShift), -128, 127) + 128);
}

}  // namespace

// The column pass sees only the dequantized DC, d, in column 0 and gives
// Wrap16(4d) down that column; each row pass then has one input, x0, whose
// sum is x0 · 2^13 at every output.
void AccurateIdct::WriteDcOnlyBlock(std::uint8_t* out, std::ptrdiff_t stride, std::int16_t dc,
                                    std::uint16_t quant) {
    const std::int32_t column = Wrap16(Wrap16(dc * static_cast<std::int16_t>(quant)) * 4);
    const std::uint8_t sample = RowPassSample(column * (1 << kConstBits));
    for (int y = 0; y < 8; ++y) std::memset(out + y * stride, sample, 8);
}

void AccurateInverseDctPortable(std::uint8_t* out, std::ptrdiff_t stride,
                                const std::int16_t* coefficients, const std::uint16_t* quant) {
    int lowerRows = 0, firstRow = 0;
    for (int i = 8; i < 64; ++i) lowerRows |= coefficients[i];
    for (int i = 1; i < 8; ++i) firstRow |= coefficients[i];
    if ((lowerRows | firstRow) == 0)
        return WriteDcOnlyBlock(out, stride, coefficients[0], quant[0]);

    std::int16_t dequantized[64];
    for (int i = 0; i < 64; ++i)
        dequantized[i] =
            static_cast<std::int16_t>(coefficients[i] * static_cast<std::int16_t>(quant[i]));

    // Columns, into work[8 * row + column].
    std::int16_t work[64];
    if (lowerRows == 0) {
        for (int x = 0; x < 8; ++x) {
            const auto value = static_cast<std::int16_t>(Wrap16(dequantized[x] * 4));
            for (int y = 0; y < 8; ++y) work[8 * y + x] = value;
        }
    } else {
        for (int x = 0; x < 8; ++x) {
            std::int32_t sums[8];
            Transform(dequantized + x, 8, sums);
            for (int y = 0; y < 8; ++y)
                work[8 * y + x] =
                    static_cast<std::int16_t>(Saturate16(Descale(sums[y], kColumnShift)));
        }
    }

    // Rows.
    for (int y = 0; y < 8; ++y) {
        std::int32_t sums[8];
        Transform(work + 8 * y, 1, sums);
        for (int x = 0; x < 8; ++x) out[y * stride + x] = RowPassSample(sums[x]);
    }
}

}  // namespace Tessera
