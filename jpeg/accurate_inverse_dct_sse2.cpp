// The accurate inverse DCT of accurate_inverse_dct.cpp with SSE2: eight
// 16-bit lanes, one per column in the column pass and one per row in the row
// pass, with an 8 × 8 transpose between. Each pair of products comes from one
// multiply-add (pmaddwd), whose 32-bit sums are exact, as in the portable
// kernel; the 16-bit adds wrap and the packs saturate as it describes.

#include "accurate_inverse_dct.h"

#if TESSERA_X86_KERNELS

#include <emmintrin.h>

namespace Tessera {

namespace {

using namespace AccurateIdct;

// The eight 32-bit values of eight 16-bit lanes: lanes 0-3 and 4-7.
struct Sums {
    __m128i low, high;
};

[[gnu::always_inline]] inline Sums operator+(Sums a, Sums b) {
    return {_mm_add_epi32(a.low, b.low), _mm_add_epi32(a.high, b.high)};
}

[[gnu::always_inline]] inline Sums operator-(Sums a, Sums b) {
    return {_mm_sub_epi32(a.low, b.low), _mm_sub_epi32(a.high, b.high)};
}

// The 16-bit pair (c[0], c[1]) in each 32-bit lane.
[[gnu::always_inline]] inline __m128i PairConstant(const std::int32_t (&c)[2]) {
    return _mm_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(c[1]) << 16 |
                                                    static_cast<std::uint16_t>(c[0])));
}

// a · c[0] + b · c[1] in every lane.
[[gnu::always_inline]] inline Sums Pair(const std::int32_t (&c)[2], __m128i a, __m128i b) {
    const __m128i constant = PairConstant(c);
    return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), constant),
            _mm_madd_epi16(_mm_unpackhi_epi16(a, b), constant)};
}

// x · 2^13, sign-extended: x in the high half of each 32-bit lane, shifted
// arithmetically down to bit 13.
[[gnu::always_inline]] inline Sums ScaledByConstantBits(__m128i x) {
    const __m128i zero = _mm_setzero_si128();
    return {_mm_srai_epi32(_mm_unpacklo_epi16(zero, x), 16 - kConstBits),
            _mm_srai_epi32(_mm_unpackhi_epi16(zero, x), 16 - kConstBits)};
}

// Rounds away `bits` and packs to 16 bits with saturation.
template <int bits>
[[gnu::always_inline]] inline __m128i Descale(Sums s) {
    const __m128i half = _mm_set1_epi32(1 << (bits - 1));
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(s.low, half), bits),
                           _mm_srai_epi32(_mm_add_epi32(s.high, half), bits));
}

// The 8-point transform of x[0..7] in every lane, descaled by `bits`.
template <int bits>
[[gnu::always_inline]] inline void Transform(const __m128i* x, __m128i* out) {
    // Even part.
    const Sums sum04 = ScaledByConstantBits(_mm_add_epi16(x[0], x[4]));
    const Sums difference04 = ScaledByConstantBits(_mm_sub_epi16(x[0], x[4]));
    const Sums even3 = Pair(kEven3, x[2], x[6]), even2 = Pair(kEven2, x[2], x[6]);
    const Sums a0 = sum04 + even3, a3 = sum04 - even3;
    const Sums a1 = difference04 + even2, a2 = difference04 - even2;

    // Odd part.
    const __m128i z3 = _mm_add_epi16(x[7], x[3]), z4 = _mm_add_epi16(x[5], x[1]);
    const Sums r3 = Pair(kOddZ3, z3, z4), r4 = Pair(kOddZ4, z3, z4);
    const Sums b0 = Pair(kOdd0, x[7], x[1]) + r3, b3 = Pair(kOdd3, x[7], x[1]) + r4;
    const Sums b1 = Pair(kOdd1, x[5], x[3]) + r4, b2 = Pair(kOdd2, x[5], x[3]) + r3;

    out[0] = Descale<bits>(a0 + b3);
    out[7] = Descale<bits>(a0 - b3);
    out[1] = Descale<bits>(a1 + b2);
    out[6] = Descale<bits>(a1 - b2);
    out[2] = Descale<bits>(a2 + b1);
    out[5] = Descale<bits>(a2 - b1);
    out[3] = Descale<bits>(a3 + b0);
    out[4] = Descale<bits>(a3 - b0);
}

// Transposes the 8 × 8 block of 16-bit values in[0..7] (lanes = columns).
[[gnu::always_inline]] inline void Transpose(const __m128i* in, __m128i* out) {
    __m128i pairs[8], quads[8];
    for (int i = 0; i < 8; i += 2) {  // columns 0-3 and 4-7 of rows i, i + 1, interleaved
        pairs[i] = _mm_unpacklo_epi16(in[i], in[i + 1]);
        pairs[i + 1] = _mm_unpackhi_epi16(in[i], in[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {  // quads[i + k]: columns 2k, 2k + 1 of rows i..i + 3
        quads[i] = _mm_unpacklo_epi32(pairs[i], pairs[i + 2]);
        quads[i + 1] = _mm_unpackhi_epi32(pairs[i], pairs[i + 2]);
        quads[i + 2] = _mm_unpacklo_epi32(pairs[i + 1], pairs[i + 3]);
        quads[i + 3] = _mm_unpackhi_epi32(pairs[i + 1], pairs[i + 3]);
    }
    for (int k = 0; k < 4; ++k) {
        out[2 * k] = _mm_unpacklo_epi64(quads[k], quads[k + 4]);
        out[2 * k + 1] = _mm_unpackhi_epi64(quads[k], quads[k + 4]);
    }
}

// Writes the row pass's results: columns[x] holds column x of all eight rows
// (16 bits, lanes = rows). Saturates to -128..127, shifts by 128 and
// transposes as bytes, a quarter of the work of a 16-bit transpose.
[[gnu::always_inline]] inline void StoreColumns(const __m128i* columns, std::uint8_t* out,
                                                std::ptrdiff_t stride) {
    __m128i packed[4];  // columns x and x + 4
    for (int x = 0; x < 4; ++x) packed[x] = _mm_packs_epi16(columns[x], columns[x + 4]);
    const __m128i c01 = _mm_unpacklo_epi8(packed[0], packed[1]);  // rows 0-7, columns 0, 1
    const __m128i c45 = _mm_unpackhi_epi8(packed[0], packed[1]);
    const __m128i c23 = _mm_unpacklo_epi8(packed[2], packed[3]);
    const __m128i c67 = _mm_unpackhi_epi8(packed[2], packed[3]);
    const __m128i low0123 = _mm_unpacklo_epi16(c01, c23);  // rows 0-3, columns 0-3
    const __m128i high0123 = _mm_unpackhi_epi16(c01, c23);
    const __m128i low4567 = _mm_unpacklo_epi16(c45, c67);
    const __m128i high4567 = _mm_unpackhi_epi16(c45, c67);
    const __m128i bias = _mm_set1_epi8(-128);  // adding 128 modulo 256 flips the top bit
    const __m128i rows[4] = {
        _mm_xor_si128(_mm_unpacklo_epi32(low0123, low4567), bias),    // rows 0, 1
        _mm_xor_si128(_mm_unpackhi_epi32(low0123, low4567), bias),    // rows 2, 3
        _mm_xor_si128(_mm_unpacklo_epi32(high0123, high4567), bias),  // rows 4, 5
        _mm_xor_si128(_mm_unpackhi_epi32(high0123, high4567), bias),  // rows 6, 7
    };
    for (int y = 0; y < 8; y += 2) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), rows[y / 2]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride),
                         _mm_unpackhi_epi64(rows[y / 2], rows[y / 2]));
    }
}

}  // namespace

void AccurateInverseDctSse2(std::uint8_t* out, std::ptrdiff_t stride,
                            const std::int16_t* coefficients, const std::uint16_t* quant) {
    const auto* c = reinterpret_cast<const __m128i*>(coefficients);
    const auto* q = reinterpret_cast<const __m128i*>(quant);
    __m128i lowerRows = _mm_loadu_si128(c + 1);
    for (int y = 2; y < 8; ++y) lowerRows = _mm_or_si128(lowerRows, _mm_loadu_si128(c + y));
    const __m128i zero = _mm_setzero_si128();
    const bool lowerRowsZero = _mm_movemask_epi8(_mm_cmpeq_epi16(lowerRows, zero)) == 0xFFFF;

    __m128i dequantized[8], work[8];
    dequantized[0] = _mm_mullo_epi16(_mm_loadu_si128(c), _mm_loadu_si128(q));
    if (lowerRowsZero) {
        const __m128i firstRowAc = _mm_srli_si128(_mm_loadu_si128(c), 2);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(firstRowAc, zero)) == 0xFFFF)
            return AccurateIdct::WriteDcOnlyBlock(out, stride, coefficients[0], quant[0]);
        const __m128i column = _mm_slli_epi16(dequantized[0], kPass1Bits);
        for (auto& row : work) row = column;
    } else {
        for (int y = 1; y < 8; ++y)
            dequantized[y] = _mm_mullo_epi16(_mm_loadu_si128(c + y), _mm_loadu_si128(q + y));
        Transform<kColumnShift>(dequantized, work);
    }

    __m128i rows[8], columns[8];
    Transpose(work, rows);  // rows[x]: column x of the column pass, lanes = rows
    Transform<kRowShift>(rows, columns);
    StoreColumns(columns, out, stride);
}

}  // namespace Tessera

#endif
