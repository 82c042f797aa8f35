// The accurate inverse DCT of accurate_inverse_dct.cpp with AVX2. As in the
// SSE2 kernel, the data stays in eight 16-bit lanes (one per column, then one
// per row after a transpose); each pair of inputs is spread across a 256-bit
// register so that one multiply-add gives the 32-bit sums of all eight lanes
// at once, and every sum of the transform is a single 8-lane operation.
//
// This file alone is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry point has internal linkage, so
// no AVX2 code can stand in for an inline function of another file.

#include "accurate_inverse_dct.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

namespace Tessera {

namespace {

using namespace AccurateIdct;

// Eight 32-bit values, lane i from 16-bit lane i.
using Sums = __m256i;

// The four 16-bit lanes 0-3 of x at the bottom of the low 128 bits and lanes
// 4-7 at the bottom of the high 128 bits, where the in-lane unpacks find them.
[[gnu::always_inline]] inline __m256i Spread(__m128i x) {
    return _mm256_permute4x64_epi64(_mm256_castsi128_si256(x), 0x50);
}

// a · c[0] + b · c[1] in every lane.
[[gnu::always_inline]] inline Sums Pair(const std::int32_t (&c)[2], __m256i a, __m256i b) {
    const __m256i constant = _mm256_set1_epi32(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(c[1]) << 16 | static_cast<std::uint16_t>(c[0])));
    return _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), constant);
}

[[gnu::always_inline]] inline Sums ScaledByConstantBits(__m128i x) {
    return _mm256_slli_epi32(_mm256_cvtepi16_epi32(x), kConstBits);
}

// Rounds away `bits` and packs to 16 bits with saturation.
template <int bits>
[[gnu::always_inline]] inline __m128i Descale(Sums s) {
    const __m256i shifted =
        _mm256_srai_epi32(_mm256_add_epi32(s, _mm256_set1_epi32(1 << (bits - 1))), bits);
    return _mm_packs_epi32(_mm256_castsi256_si128(shifted), _mm256_extracti128_si256(shifted, 1));
}

// The 8-point transform of x[0..7] in every lane, descaled by `bits`.
template <int bits>
[[gnu::always_inline]] inline void Transform(const __m128i* x, __m128i* out) {
    // Even part.
    const Sums sum04 = ScaledByConstantBits(_mm_add_epi16(x[0], x[4]));
    const Sums difference04 = ScaledByConstantBits(_mm_sub_epi16(x[0], x[4]));
    const __m256i x2 = Spread(x[2]), x6 = Spread(x[6]);
    const Sums even3 = Pair(kEven3, x2, x6), even2 = Pair(kEven2, x2, x6);
    const Sums a0 = _mm256_add_epi32(sum04, even3), a3 = _mm256_sub_epi32(sum04, even3);
    const Sums a1 = _mm256_add_epi32(difference04, even2);
    const Sums a2 = _mm256_sub_epi32(difference04, even2);

    // Odd part.
    const __m256i z3 = Spread(_mm_add_epi16(x[7], x[3])), z4 = Spread(_mm_add_epi16(x[5], x[1]));
    const __m256i x1 = Spread(x[1]), x3 = Spread(x[3]), x5 = Spread(x[5]), x7 = Spread(x[7]);
    const Sums r3 = Pair(kOddZ3, z3, z4), r4 = Pair(kOddZ4, z3, z4);
    const Sums b0 = _mm256_add_epi32(Pair(kOdd0, x7, x1), r3);
    const Sums b3 = _mm256_add_epi32(Pair(kOdd3, x7, x1), r4);
    const Sums b1 = _mm256_add_epi32(Pair(kOdd1, x5, x3), r4);
    const Sums b2 = _mm256_add_epi32(Pair(kOdd2, x5, x3), r3);

    out[0] = Descale<bits>(_mm256_add_epi32(a0, b3));
    out[7] = Descale<bits>(_mm256_sub_epi32(a0, b3));
    out[1] = Descale<bits>(_mm256_add_epi32(a1, b2));
    out[6] = Descale<bits>(_mm256_sub_epi32(a1, b2));
    out[2] = Descale<bits>(_mm256_add_epi32(a2, b1));
    out[5] = Descale<bits>(_mm256_sub_epi32(a2, b1));
    out[3] = Descale<bits>(_mm256_add_epi32(a3, b0));
    out[4] = Descale<bits>(_mm256_sub_epi32(a3, b0));
}

// The unpacks of both register widths under one name, so that one transpose
// serves one block (128 bits) and two side by side (256 bits, each half on
// its own).
[[gnu::always_inline]] inline __m128i Low16(__m128i a, __m128i b) {
    return _mm_unpacklo_epi16(a, b);
}
[[gnu::always_inline]] inline __m128i High16(__m128i a, __m128i b) {
    return _mm_unpackhi_epi16(a, b);
}
[[gnu::always_inline]] inline __m128i Low32(__m128i a, __m128i b) {
    return _mm_unpacklo_epi32(a, b);
}
[[gnu::always_inline]] inline __m128i High32(__m128i a, __m128i b) {
    return _mm_unpackhi_epi32(a, b);
}
[[gnu::always_inline]] inline __m128i Low64(__m128i a, __m128i b) {
    return _mm_unpacklo_epi64(a, b);
}
[[gnu::always_inline]] inline __m128i High64(__m128i a, __m128i b) {
    return _mm_unpackhi_epi64(a, b);
}
[[gnu::always_inline]] inline __m256i Low16(__m256i a, __m256i b) {
    return _mm256_unpacklo_epi16(a, b);
}
[[gnu::always_inline]] inline __m256i High16(__m256i a, __m256i b) {
    return _mm256_unpackhi_epi16(a, b);
}
[[gnu::always_inline]] inline __m256i Low32(__m256i a, __m256i b) {
    return _mm256_unpacklo_epi32(a, b);
}
[[gnu::always_inline]] inline __m256i High32(__m256i a, __m256i b) {
    return _mm256_unpackhi_epi32(a, b);
}
[[gnu::always_inline]] inline __m256i Low64(__m256i a, __m256i b) {
    return _mm256_unpacklo_epi64(a, b);
}
[[gnu::always_inline]] inline __m256i High64(__m256i a, __m256i b) {
    return _mm256_unpackhi_epi64(a, b);
}

// Transposes the 8 × 8 block of 16-bit values in[0..7] (lanes = columns).
template <typename Vector>
[[gnu::always_inline]] inline void Transpose(const Vector* in, Vector* out) {
    Vector pairs[8], quads[8];
    for (int i = 0; i < 8; i += 2) {  // columns 0-3 and 4-7 of rows i, i + 1, interleaved
        pairs[i] = Low16(in[i], in[i + 1]);
        pairs[i + 1] = High16(in[i], in[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {  // quads[i + k]: columns 2k, 2k + 1 of rows i..i + 3
        quads[i] = Low32(pairs[i], pairs[i + 2]);
        quads[i + 1] = High32(pairs[i], pairs[i + 2]);
        quads[i + 2] = Low32(pairs[i + 1], pairs[i + 3]);
        quads[i + 3] = High32(pairs[i + 1], pairs[i + 3]);
    }
    for (int k = 0; k < 4; ++k) {
        out[2 * k] = Low64(quads[k], quads[k + 4]);
        out[2 * k + 1] = High64(quads[k], quads[k + 4]);
    }
}

// Writes the row pass's results, columns[x] holding column x of all eight
// rows: saturates to -128..127, shifts by 128 and transposes as bytes. The
// byte transpose runs on two rows of four columns per 128-bit half.
[[gnu::always_inline]] inline void StoreColumns(const __m128i* columns, std::uint8_t* out,
                                                std::ptrdiff_t stride) {
    // Columns x and x + 4 side by side, as bytes: rows 0-7 of x, then of x + 4.
    __m256i packed[2];
    for (int x = 0; x < 2; ++x)
        packed[x] = _mm256_packs_epi16(_mm256_setr_m128i(columns[2 * x], columns[2 * x + 1]),
                                       _mm256_setr_m128i(columns[2 * x + 4], columns[2 * x + 5]));
    // packed[0]: columns 0, 4 | 1, 5; packed[1]: columns 2, 6 | 3, 7.
    const __m256i c0415 = packed[0], c2637 = packed[1];
    const __m128i c01 =
        _mm_unpacklo_epi8(_mm256_castsi256_si128(c0415), _mm256_extracti128_si256(c0415, 1));
    const __m128i c45 =
        _mm_unpackhi_epi8(_mm256_castsi256_si128(c0415), _mm256_extracti128_si256(c0415, 1));
    const __m128i c23 =
        _mm_unpacklo_epi8(_mm256_castsi256_si128(c2637), _mm256_extracti128_si256(c2637, 1));
    const __m128i c67 =
        _mm_unpackhi_epi8(_mm256_castsi256_si128(c2637), _mm256_extracti128_si256(c2637, 1));
    // Rows 0-3 and 4-7 of columns 0-3 and of columns 4-7, four bytes per row.
    const __m256i first =
        _mm256_setr_m128i(_mm_unpacklo_epi16(c01, c23), _mm_unpackhi_epi16(c01, c23));
    const __m256i second =
        _mm256_setr_m128i(_mm_unpacklo_epi16(c45, c67), _mm_unpackhi_epi16(c45, c67));
    const __m256i bias = _mm256_set1_epi8(-128);  // adding 128 modulo 256 flips the top bit
    const __m256i rows01_45 = _mm256_xor_si256(_mm256_unpacklo_epi32(first, second), bias);
    const __m256i rows23_67 = _mm256_xor_si256(_mm256_unpackhi_epi32(first, second), bias);
    const __m128i rows[4] = {
        _mm256_castsi256_si128(rows01_45),
        _mm256_castsi256_si128(rows23_67),
        _mm256_extracti128_si256(rows01_45, 1),
        _mm256_extracti128_si256(rows23_67, 1),
    };
    for (int y = 0; y < 8; y += 2) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), rows[y / 2]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride),
                         _mm_unpackhi_epi64(rows[y / 2], rows[y / 2]));
    }
}

// Two blocks side by side: 16-bit lanes 0-7 hold the left block's columns
// (or rows), lanes 8-15 the right one's. Every in-lane unpack and pack then
// serves both blocks at once, and no lane crosses the 128-bit halves.
using Two = __m256i;

// 32-bit values of lanes 0-3 and 8-11 (lo), 4-7 and 12-15 (hi).
struct WideSums {
    __m256i lo, hi;
};

[[gnu::always_inline]] inline WideSums operator+(WideSums a, WideSums b) {
    return {_mm256_add_epi32(a.lo, b.lo), _mm256_add_epi32(a.hi, b.hi)};
}
[[gnu::always_inline]] inline WideSums operator-(WideSums a, WideSums b) {
    return {_mm256_sub_epi32(a.lo, b.lo), _mm256_sub_epi32(a.hi, b.hi)};
}

// a · c[0] + b · c[1] in every lane.
[[gnu::always_inline]] inline WideSums PairOfTwo(const std::int32_t (&c)[2], Two a, Two b) {
    const __m256i constant = _mm256_set1_epi32(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(c[1]) << 16 | static_cast<std::uint16_t>(c[0])));
    return {_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), constant),
            _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), constant)};
}

// x · 2^13, sign-extended: each value lands in the top half of a 32-bit
// lane and shifts down by 16 - 13.
[[gnu::always_inline]] inline WideSums TwoScaledByConstantBits(Two x) {
    const __m256i zero = _mm256_setzero_si256();
    return {_mm256_srai_epi32(_mm256_unpacklo_epi16(zero, x), 16 - kConstBits),
            _mm256_srai_epi32(_mm256_unpackhi_epi16(zero, x), 16 - kConstBits)};
}

template <int bits>
[[gnu::always_inline]] inline Two DescaleTwo(WideSums s) {
    const __m256i round = _mm256_set1_epi32(1 << (bits - 1));
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(s.lo, round), bits),
                              _mm256_srai_epi32(_mm256_add_epi32(s.hi, round), bits));
}

// Transform, for both blocks at once.
template <int bits>
[[gnu::always_inline]] inline void TransformTwo(const Two* x, Two* out) {
    const WideSums sum04 = TwoScaledByConstantBits(_mm256_add_epi16(x[0], x[4]));
    const WideSums difference04 = TwoScaledByConstantBits(_mm256_sub_epi16(x[0], x[4]));
    const WideSums even3 = PairOfTwo(kEven3, x[2], x[6]), even2 = PairOfTwo(kEven2, x[2], x[6]);
    const WideSums a0 = sum04 + even3, a3 = sum04 - even3;
    const WideSums a1 = difference04 + even2, a2 = difference04 - even2;

    const Two z3 = _mm256_add_epi16(x[7], x[3]), z4 = _mm256_add_epi16(x[5], x[1]);
    const WideSums r3 = PairOfTwo(kOddZ3, z3, z4), r4 = PairOfTwo(kOddZ4, z3, z4);
    const WideSums b0 = PairOfTwo(kOdd0, x[7], x[1]) + r3;
    const WideSums b3 = PairOfTwo(kOdd3, x[7], x[1]) + r4;
    const WideSums b1 = PairOfTwo(kOdd1, x[5], x[3]) + r4;
    const WideSums b2 = PairOfTwo(kOdd2, x[5], x[3]) + r3;

    out[0] = DescaleTwo<bits>(a0 + b3);
    out[7] = DescaleTwo<bits>(a0 - b3);
    out[1] = DescaleTwo<bits>(a1 + b2);
    out[6] = DescaleTwo<bits>(a1 - b2);
    out[2] = DescaleTwo<bits>(a2 + b1);
    out[5] = DescaleTwo<bits>(a2 - b1);
    out[3] = DescaleTwo<bits>(a3 + b0);
    out[4] = DescaleTwo<bits>(a3 - b0);
}

// Whether rows 1-7 of a block's coefficients are all zero (the column
// pass's shortcut, decided for each block on its own).
[[gnu::always_inline]] inline bool LowerRowsZero(const __m256i* c) {
    const __m256i rows01 = _mm256_loadu_si256(c);
    const __m256i below =
        _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(c + 1), _mm256_loadu_si256(c + 2)),
                        _mm256_or_si256(_mm256_loadu_si256(c + 3),
                                        _mm256_permute2x128_si256(rows01, rows01, 0x81)));
    return _mm256_testz_si256(below, below) != 0;
}

[[gnu::always_inline]] inline bool DcOnly(const __m256i* c) {
    const __m256i firstRowAc =
        _mm256_and_si256(_mm256_loadu_si256(c),
                         _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0));
    return LowerRowsZero(c) && _mm256_testz_si256(firstRowAc, firstRowAc) != 0;
}

}  // namespace

void AccurateInverseDctAvx2(std::uint8_t* out, std::ptrdiff_t stride,
                            const std::int16_t* coefficients, const std::uint16_t* quant) {
    const auto* c = reinterpret_cast<const __m256i*>(coefficients);
    const auto* q = reinterpret_cast<const __m256i*>(quant);
    // Rows 1-7 and the AC terms of row 0.
    const __m256i rows01 = _mm256_loadu_si256(c);
    const __m256i lowerRows =
        _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(c + 1), _mm256_loadu_si256(c + 2)),
                        _mm256_loadu_si256(c + 3));
    const __m256i row1 = _mm256_permute2x128_si256(rows01, rows01, 0x81);  // row 1, zeros
    const __m256i below = _mm256_or_si256(lowerRows, row1);
    if (_mm256_testz_si256(below, below)) {
        const __m256i firstRowAc = _mm256_and_si256(
            rows01, _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0));
        if (_mm256_testz_si256(firstRowAc, firstRowAc))
            return AccurateIdct::WriteDcOnlyBlock(out, stride, coefficients[0], quant[0]);
    }

    __m128i work[8];
    __m256i dequantized[4];
    for (int i = 0; i < 4; ++i)
        dequantized[i] = _mm256_mullo_epi16(_mm256_loadu_si256(c + i), _mm256_loadu_si256(q + i));
    if (_mm256_testz_si256(below, below)) {
        const __m128i column = _mm_slli_epi16(_mm256_castsi256_si128(dequantized[0]), kPass1Bits);
        for (auto& row : work) row = column;
    } else {
        __m128i rows[8];
        for (int i = 0; i < 4; ++i) {
            rows[2 * i] = _mm256_castsi256_si128(dequantized[i]);
            rows[2 * i + 1] = _mm256_extracti128_si256(dequantized[i], 1);
        }
        Transform<kColumnShift>(rows, work);
    }

    __m128i rows[8], columns[8];
    Transpose(work, rows);  // rows[x]: column x of the column pass, lanes = rows
    Transform<kRowShift>(rows, columns);
    StoreColumns(columns, out, stride);
}

void AccurateInverseDctPairAvx2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* left,
                                const std::int16_t* right, const std::uint16_t* quant) {
    const auto* l = reinterpret_cast<const __m256i*>(left);
    const auto* r = reinterpret_cast<const __m256i*>(right);
    if (DcOnly(l) && DcOnly(r)) {
        AccurateIdct::WriteDcOnlyBlock(out, stride, left[0], quant[0]);
        AccurateIdct::WriteDcOnlyBlock(out + 8, stride, right[0], quant[0]);
        return;
    }
    Two rows[8], work[8];
    for (int y = 0; y < 8; ++y) {
        const auto* q = reinterpret_cast<const __m128i*>(quant + 8 * y);
        const Two coefficients =
            _mm256_setr_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(left + 8 * y)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + 8 * y)));
        rows[y] = _mm256_mullo_epi16(coefficients, _mm256_broadcastsi128_si256(_mm_loadu_si128(q)));
    }
    // A block whose rows 1-7 are zero takes the shortcut of the one-block
    // kernel: row 0 shifted left by 2, wrapping (the full pass saturates).
    const bool leftShort = LowerRowsZero(l), rightShort = LowerRowsZero(r);
    if (leftShort && rightShort) {
        for (auto& row : work) row = _mm256_slli_epi16(rows[0], kPass1Bits);
    } else {
        TransformTwo<kColumnShift>(rows, work);
        if (leftShort || rightShort) {
            const __m256i shortcut = _mm256_slli_epi16(rows[0], kPass1Bits);
            const __m256i halves = _mm256_setr_m128i(_mm_set1_epi16(leftShort ? -1 : 0),
                                                     _mm_set1_epi16(rightShort ? -1 : 0));
            for (auto& row : work) row = _mm256_blendv_epi8(row, shortcut, halves);
        }
    }

    Two columns[8], results[8], outputRows[8];
    Transpose(work, columns);  // columns[x]: column x of each block, lanes = rows
    TransformTwo<kRowShift>(columns, results);
    Transpose(results, outputRows);               // outputRows[y]: row y of each block
    const __m256i bias = _mm256_set1_epi8(-128);  // adding 128 modulo 256 flips the top bit
    for (int y = 0; y < 8; y += 2) {
        // Rows y and y + 1 of the left block, then of the right one, as
        // bytes; reordered so that each 128-bit half is one row of both.
        const __m256i bytes =
            _mm256_permute4x64_epi64(_mm256_packs_epi16(outputRows[y], outputRows[y + 1]), 0xD8);
        const __m256i samples = _mm256_xor_si256(bytes, bias);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride),
                         _mm256_castsi256_si128(samples));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (y + 1) * stride),
                         _mm256_extracti128_si256(samples, 1));
    }
}

}  // namespace Tessera

#endif
