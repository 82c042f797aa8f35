// The accurate inverse DCT of accurate_inverse_dct.cpp with AVX2.
//
// One block: each pass does its eight 8-point transforms (one per column,
// then one per row) at once, one transform in each 32-bit lane. A
// multiply-add (vpmaddwd) multiplies the two 16-bit halves of every 32-bit
// lane by two constants and adds the products, exactly, so the transform's
// inputs come as pairs of its own values, low half first:
//   (x0, x4), (x2, x6), (x1, x7), (x5, x3),
// a register of each for the eight transforms. Every product of the
// transform is then one 256-bit multiply-add of one of them, or of
// (x1 + x5, x7 + x3), the 16-bit sum of the last two. The results are 32-bit,
// one register per output position; packed to 16 bits they are the next
// pass's inputs.
//
// The column pass's lanes hold the columns in the order 0 4 2 6 | 1 7 5 3
// (| splits the 128-bit halves). Packing two of its outputs (two rows of the
// intermediate block) then puts each row's columns in the row pass's pairs,
// (0, 4) and (2, 6) in the low half and (1, 7) and (5, 3) in the high one;
// four 128-bit permutes and four dword shuffles gather them, which leaves the
// row pass's lanes holding the rows 0 1 4 5 | 2 3 6 7. Lanes cross the halves
// only in those permutes, in four more that make the column pass's pairs out
// of the coefficients' rows, and in two extracts for the stores.
//
// Two blocks (the pair kernel): one block in each 128-bit half, in 16-bit
// lanes as in the SSE2 kernel, so that every unpack and pack serves both.
//
// This file alone is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry points has internal linkage,
// so no AVX2 code can stand in for an inline function of another file.

#include "accurate_inverse_dct.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

namespace Tessera {

namespace {

using namespace AccurateIdct;

// The inputs of eight transforms, one per 32-bit lane, in the pairs that
// the multiply-adds take: x04 holds (x0, x4) of each, and so on.
struct Units {
    __m256i x04, x26, x17, x53;
};

// A multiply-add of each lane's pair (low, high) by (lowFactor, highFactor),
// exact in 32 bits.
[[gnu::always_inline]] inline __m256i Products(__m256i pairs, std::int32_t lowFactor,
                                               std::int32_t highFactor) {
    const auto factors =
        static_cast<std::uint32_t>(highFactor) << 16 | static_cast<std::uint16_t>(lowFactor);
    return _mm256_madd_epi16(pairs, _mm256_set1_epi32(static_cast<std::int32_t>(factors)));
}

// Wrap16(x0 + sign · x4) · 2^13, plus the rounding of the final shift by
// `bits`: every output is this base plus or minus other terms, so it takes
// the rounding once (the 32-bit adds wrap, and the reference's sums never
// leave 32 bits, so their order is free). The multiply-add's sum is exact;
// moving its low 16 bits to the top and shifting back by 3 wraps,
// sign-extends and scales it.
template <int bits>
[[gnu::always_inline]] inline __m256i RoundedBase(__m256i x04, std::int32_t sign) {
    const __m256i sum = _mm256_slli_epi32(Products(x04, 1, sign), 16);
    const __m256i scaled = _mm256_srai_epi32(sum, 16 - kConstBits);
    return _mm256_add_epi32(scaled, _mm256_set1_epi32(1 << (bits - 1)));
}

// The even part's a0..a3 (see Transform in accurate_inverse_dct.cpp).
template <int bits>
[[gnu::always_inline]] inline void EvenPart(const Units& x, __m256i* a) {
    const __m256i sum04 = RoundedBase<bits>(x.x04, 1);
    const __m256i difference04 = RoundedBase<bits>(x.x04, -1);
    const __m256i even3 = Products(x.x26, kEven3[0], kEven3[1]);
    const __m256i even2 = Products(x.x26, kEven2[0], kEven2[1]);
    a[0] = _mm256_add_epi32(sum04, even3);
    a[3] = _mm256_sub_epi32(sum04, even3);
    a[1] = _mm256_add_epi32(difference04, even2);
    a[2] = _mm256_sub_epi32(difference04, even2);
}

// The odd part's b0..b3. The pairs (x1, x7) and (z4, z3) hold their values
// in the opposite order to the constants' (kOdd0 is for (x7, x1)).
[[gnu::always_inline]] inline void OddPart(const Units& x, __m256i* b) {
    const __m256i z43 = _mm256_add_epi16(x.x17, x.x53);  // (x1 + x5, x7 + x3), wrapping
    const __m256i r3 = Products(z43, kOddZ3[1], kOddZ3[0]);
    const __m256i r4 = Products(z43, kOddZ4[1], kOddZ4[0]);
    b[0] = _mm256_add_epi32(Products(x.x17, kOdd0[1], kOdd0[0]), r3);
    b[3] = _mm256_add_epi32(Products(x.x17, kOdd3[1], kOdd3[0]), r4);
    b[1] = _mm256_add_epi32(Products(x.x53, kOdd1[0], kOdd1[1]), r4);
    b[2] = _mm256_add_epi32(Products(x.x53, kOdd2[0], kOdd2[1]), r3);
}

// The 8-point transform of every lane, rounded and shifted down by `bits`:
// out[k] holds output k of each transform, 32-bit.
template <int bits>
[[gnu::always_inline]] inline void Transform(const Units& x, __m256i* out) {
    __m256i a[4], b[4];
    EvenPart<bits>(x, a);
    OddPart(x, b);
    for (int k = 0; k < 4; ++k) {
        out[k] = _mm256_srai_epi32(_mm256_add_epi32(a[k], b[3 - k]), bits);
        out[7 - k] = _mm256_srai_epi32(_mm256_sub_epi32(a[k], b[3 - k]), bits);
    }
}

// Within each 128-bit half, the eight 16-bit columns of a row in the lanes'
// order, 0 4 2 6 1 7 5 3.
[[gnu::always_inline]] inline __m256i InPairOrder(__m256i rows) {
    const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 4, 5, 12, 13, 2, 3, 14, 15, 10, 11, 6, 7,  //
                                           0, 1, 8, 9, 4, 5, 12, 13, 2, 3, 14, 15, 10, 11, 6, 7);
    return _mm256_shuffle_epi8(rows, order);
}

// The pairs (r, s) of every column, from first = [r | t] and second = [s | u]
// (rows of 16-bit values in the low | high halves): low gets (r, s), high
// (t, u). The unpacks pair columns 0 4 2 6 of the rows in each half, then
// 1 7 5 3; the permutes join each half's four and four.
[[gnu::always_inline]] inline void PairRows(__m256i first, __m256i second, __m256i& low,
                                            __m256i& high) {
    const __m256i a = InPairOrder(first), b = InPairOrder(second);
    const __m256i columns0426 = _mm256_unpacklo_epi16(a, b);
    const __m256i columns1753 = _mm256_unpackhi_epi16(a, b);
    low = _mm256_permute2x128_si256(columns0426, columns1753, 0x20);
    high = _mm256_permute2x128_si256(columns0426, columns1753, 0x31);
}

// The column pass's inputs from the dequantized rows, rows[i] = [2i | 2i + 1].
// Blends put the rows of each pair in the same place of their halves:
// [0 | 1] with [4 | 7], [2 | 5] with [6 | 3].
[[gnu::always_inline]] inline Units ColumnPassUnits(const __m256i* rows) {
    Units x;
    PairRows(rows[0], _mm256_blend_epi32(rows[2], rows[3], 0xF0), x.x04, x.x17);
    PairRows(_mm256_blend_epi32(rows[1], rows[2], 0xF0), _mm256_blend_epi32(rows[3], rows[1], 0xF0),
             x.x26, x.x53);
    return x;
}

// The dword lanes k and k + 2 of each half of a, then those of b.
template <int k>
[[gnu::always_inline]] inline __m256i EveryOther(__m256i a, __m256i b) {
    constexpr int pick = k == 0 ? 0x88 : 0xDD;  // lanes 0, 2, 0, 2 or 1, 3, 1, 3
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), pick));
}

// The row pass's inputs from the column pass's rows packed to 16 bits:
// packed[i] holds rows 2i and 2i + 1, in each half row 2i's four columns then
// row 2i + 1's, columns 0 4 2 6 in the low half and 1 7 5 3 in the high, so
// pairs of columns already. The permutes gather the low halves (and the high
// ones) of rows 0-3 and of rows 4-7; the shuffles take every other pair.
[[gnu::always_inline]] inline Units RowPassUnits(const __m256i* packed) {
    const __m256i even0123 = _mm256_permute2x128_si256(packed[0], packed[1], 0x20);
    const __m256i even4567 = _mm256_permute2x128_si256(packed[2], packed[3], 0x20);
    const __m256i odd0123 = _mm256_permute2x128_si256(packed[0], packed[1], 0x31);
    const __m256i odd4567 = _mm256_permute2x128_si256(packed[2], packed[3], 0x31);
    return {EveryOther<0>(even0123, even4567), EveryOther<1>(even0123, even4567),
            EveryOther<0>(odd0123, odd4567), EveryOther<1>(odd0123, odd4567)};
}

// Two rows, `stride` apart: the low and the high 8 bytes of `two`.
[[gnu::always_inline]] inline void StoreTwoRows(__m128i two, std::uint8_t* out,
                                                std::ptrdiff_t stride) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), two);
    _mm_storeh_pi(reinterpret_cast<__m64*>(out + stride), _mm_castsi128_ps(two));
}

// Writes the row pass's results, columns[x] holding column x of the rows
// 0 1 4 5 | 2 3 6 7: the packs saturate to -128..127, each half's bytes are
// four rows of columns 0-3 (or 4-7), which a byte shuffle turns row by row
// and a dword unpack joins.
[[gnu::always_inline]] inline void StoreColumns(const __m256i* columns, std::uint8_t* out,
                                                std::ptrdiff_t stride) {
    const __m256i left = _mm256_packs_epi16(_mm256_packs_epi32(columns[0], columns[1]),
                                            _mm256_packs_epi32(columns[2], columns[3]));
    const __m256i right = _mm256_packs_epi16(_mm256_packs_epi32(columns[4], columns[5]),
                                             _mm256_packs_epi32(columns[6], columns[7]));
    const __m256i byRow = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15,  //
                                           0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m256i leftRows = _mm256_shuffle_epi8(left, byRow);
    const __m256i rightRows = _mm256_shuffle_epi8(right, byRow);
    const __m256i bias = _mm256_set1_epi8(-128);  // adding 128 modulo 256 flips the top bit
    const __m256i rows01_23 = _mm256_xor_si256(_mm256_unpacklo_epi32(leftRows, rightRows), bias);
    const __m256i rows45_67 = _mm256_xor_si256(_mm256_unpackhi_epi32(leftRows, rightRows), bias);
    StoreTwoRows(_mm256_castsi256_si128(rows01_23), out, stride);
    StoreTwoRows(_mm256_extracti128_si256(rows01_23, 1), out + 2 * stride, stride);
    StoreTwoRows(_mm256_castsi256_si128(rows45_67), out + 4 * stride, stride);
    StoreTwoRows(_mm256_extracti128_si256(rows45_67, 1), out + 6 * stride, stride);
}

// The column pass's results, saturated to 16 bits by the packs, two rows to
// a register (see RowPassUnits).
[[gnu::always_inline]] inline void ColumnPass(const __m256i* rows, __m256i* packed) {
    __m256i work[8];
    Transform<kColumnShift>(ColumnPassUnits(rows), work);
    for (int i = 0; i < 4; ++i) packed[i] = _mm256_packs_epi32(work[2 * i], work[2 * i + 1]);
}

// The column pass when rows 1-7 are zero: the dequantized row 0 shifted left
// by 2 (wrapping) in every row, packed as ColumnPass packs: columns 0 4 2 6
// twice in the low half, 1 7 5 3 twice in the high one.
[[gnu::always_inline]] inline void FirstRowOnly(__m256i rows01, __m256i* packed) {
    const __m256i row0 = _mm256_permute2x128_si256(rows01, rows01, 0x00);
    const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 4, 5, 12, 13, 0, 1, 8, 9, 4, 5, 12, 13,  //
                                           2, 3, 14, 15, 10, 11, 6, 7, 2, 3, 14, 15, 10, 11, 6, 7);
    const __m256i rows = _mm256_shuffle_epi8(_mm256_slli_epi16(row0, kPass1Bits), order);
    for (int i = 0; i < 4; ++i) packed[i] = rows;
}

// The unpacks under short names for the transpose.
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

// Transposes the 8 × 8 blocks of 16-bit values in[0..7] (lanes = columns)
// in each 128-bit half.
[[gnu::always_inline]] inline void Transpose(const __m256i* in, __m256i* out) {
    __m256i pairs[8], quads[8];
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
    const bool lowerRowsZero = _mm256_testz_si256(below, below) != 0;
    if (lowerRowsZero) {
        const __m256i firstRowAc = _mm256_and_si256(
            rows01, _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0));
        if (_mm256_testz_si256(firstRowAc, firstRowAc))
            return AccurateIdct::WriteDcOnlyBlock(out, stride, coefficients[0], quant[0]);
    }

    __m256i dequantized[4];  // rows 2i | 2i + 1
    for (int i = 0; i < 4; ++i)
        dequantized[i] = _mm256_mullo_epi16(_mm256_loadu_si256(c + i), _mm256_loadu_si256(q + i));
    __m256i packed[4], columns[8];
    if (lowerRowsZero)
        FirstRowOnly(dequantized[0], packed);
    else
        ColumnPass(dequantized, packed);
    Transform<kRowShift>(RowPassUnits(packed), columns);
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
