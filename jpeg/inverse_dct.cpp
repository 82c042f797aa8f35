#include "inverse_dct.h"

#include <cstring>

#include "quant_table.h"

namespace Tessera {

namespace {

// The kernel works on 32-bit two's-complement values that wrap on overflow
// (only absurd coefficients get there). Unsigned arithmetic gives exactly that
// wrap without undefined behaviour; shifts go through the signed value so that
// they are arithmetic (floor division by a power of two).
using Word = std::uint32_t;

constexpr Word Shr(Word value, int bits) {
    return static_cast<Word>(static_cast<std::int32_t>(value) >> bits);
}

using namespace InverseDctFixedPoint;
constexpr Word C4 = kC4, K1 = kK1, K3 = kK3;
constexpr Word kBias = kColumnBias;

// One-dimensional 8-point inverse transform of d[0..7] with stride `step`,
// results to o[0..7] with the same stride.
inline void Kernel(const Word* d, Word* o, int step, Word bias) {
    const Word d0 = d[0], d1 = d[step], d2 = d[2 * step], d3 = d[3 * step];
    const Word d4 = d[4 * step], d5 = d[5 * step], d6 = d[6 * step], d7 = d[7 * step];

    // Even part.
    const Word e0 = d0 + d4 + bias;
    const Word e1 = d0 - d4 + bias;
    const Word g = Shr((d2 - d6) * C4, kConstantBits);
    const Word p = d2 + d6 + g;
    const Word x0 = e0 + p, x1 = e1 + g, x2 = e1 - g, x3 = e0 - p;

    // Odd part.
    const Word s17 = d1 + d7, s35 = d3 + d5;
    const Word a = Shr((d1 - d7) * K1, kConstantBits);
    const Word b = Shr((d5 - d3) * K3, kConstantBits);
    const Word e = Shr((a + b) * C4, kConstantBits);
    const Word f = e - b + a;
    const Word gOdd = Shr((s17 - s35) * C4, kConstantBits);
    const Word y0 = s17 + s35 + f, y1 = gOdd + f, y2 = gOdd + e, y3 = e;

    o[0] = x0 + y0;
    o[step] = x1 + y1;
    o[2 * step] = x2 + y2;
    o[3 * step] = x3 + y3;
    o[4 * step] = x3 - y3;
    o[5 * step] = x2 - y2;
    o[6 * step] = x1 - y1;
    o[7 * step] = x0 - y0;
}

inline std::uint8_t ClampSample(Word value) {
    const std::int32_t s = static_cast<std::int32_t>(value) >> kFractionBits;
    return static_cast<std::uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
}

}  // namespace

void InverseDctFixedPoint::WriteDcOnlyBlock(std::uint8_t* out, std::ptrdiff_t stride,
                                            std::int16_t dc, std::int32_t multiplier) {
    const Word sum = static_cast<Word>(dc) * static_cast<Word>(multiplier) + kBias;
    const std::uint8_t sample = ClampSample(sum);
    for (int y = 0; y < 8; ++y) std::memset(out + y * stride, sample, 8);
}

InverseDctMultipliers SplitMultipliers(const std::array<std::int32_t, 64>& values) {
    InverseDctMultipliers split;
    split.values = values;
    for (int n = 0; n < 64; ++n) {
        const auto value = static_cast<std::uint32_t>(values[n]);
        const auto low = static_cast<std::int16_t>(value & 0xFFFF);
        split.low[n] = low;
        // value − low is a multiple of 2^16 (modulo 2^32): its upper half.
        split.high[n] = static_cast<std::int16_t>((value - static_cast<std::uint32_t>(low)) >> 16);
        split.transposed[8 * (n % 8) + n / 8] = values[n];
    }
    return split;
}

void InverseDctPortable(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                        const InverseDctMultipliers& multipliers) {
    const std::int32_t* m = multipliers.values.data();
    // Many blocks of a photo carry only their DC term.
    int ac = 0;
    for (int i = 1; i < 64; ++i) ac |= coefficients[i];
    if (ac == 0) return WriteDcOnlyBlock(out, stride, coefficients[0], m[0]);

    // Rows: dequantize and transform. A row with only its DC term transforms
    // to that term in all eight places, which the shortcut writes directly.
    Word work[64];
    for (int u = 0; u < 8; ++u) {
        const std::int16_t* c = coefficients + 8 * u;
        Word* row = work + 8 * u;
        if ((c[1] | c[2] | c[3] | c[4] | c[5] | c[6] | c[7]) == 0) {
            const Word dc = static_cast<Word>(c[0]) * static_cast<Word>(m[8 * u]);
            for (int x = 0; x < 8; ++x) row[x] = dc;
            continue;
        }
        Word d[8];
        for (int v = 0; v < 8; ++v)
            d[v] = static_cast<Word>(c[v]) * static_cast<Word>(m[8 * u + v]);
        Kernel(d, row, 1, 0);
    }

    // Columns: transform with the bias, then drop the 12 fraction bits.
    Word column[64];
    for (int x = 0; x < 8; ++x) Kernel(work + x, column + x, 8, kBias);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) out[y * stride + x] = ClampSample(column[8 * y + x]);
}

}  // namespace Tessera
