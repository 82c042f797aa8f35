// The inverse DCT of inverse_dct.cpp with SSE2, four 32-bit lanes: the block
// goes through as two halves of four rows (row pass) and two halves of four
// columns (column pass), with 4 × 4 transposes between. Every step wraps
// modulo 2^32 and shifts arithmetically, as the portable kernel does.

#include "inverse_dct.h"

#if TESSERA_X86_KERNELS

#include <emmintrin.h>

namespace Tessera {

namespace {

using namespace InverseDctFixedPoint;

// SSE2 has no 32-bit lane multiply; shifts and adds wrap exactly as a product
// modulo 2^32 does.
static_assert((8 + 1) * (4 + 1) == kC4 && (16 + 1) * 2 == kK1 && (4 + 1) * (16 + 1) - 2 == kK3);

__m128i TimesC4(__m128i x) {
    const __m128i x9 = _mm_add_epi32(_mm_slli_epi32(x, 3), x);
    return _mm_add_epi32(_mm_slli_epi32(x9, 2), x9);
}

__m128i TimesK1(__m128i x) {
    return _mm_slli_epi32(_mm_add_epi32(_mm_slli_epi32(x, 4), x), 1);
}

__m128i TimesK3(__m128i x) {
    const __m128i x5 = _mm_add_epi32(_mm_slli_epi32(x, 2), x);
    return _mm_sub_epi32(_mm_add_epi32(_mm_slli_epi32(x5, 4), x5), _mm_add_epi32(x, x));
}

__m128i Shr(__m128i x) {
    return _mm_srai_epi32(x, kConstantBits);
}

// The one-dimensional kernel on d[0..7], four independent lanes, in place.
[[gnu::always_inline]] inline void Kernel(__m128i* d, __m128i bias) {
    // Even part.
    const __m128i e0 = _mm_add_epi32(_mm_add_epi32(d[0], d[4]), bias);
    const __m128i e1 = _mm_add_epi32(_mm_sub_epi32(d[0], d[4]), bias);
    const __m128i g = Shr(TimesC4(_mm_sub_epi32(d[2], d[6])));
    const __m128i p = _mm_add_epi32(_mm_add_epi32(d[2], d[6]), g);
    const __m128i x0 = _mm_add_epi32(e0, p), x1 = _mm_add_epi32(e1, g);
    const __m128i x2 = _mm_sub_epi32(e1, g), x3 = _mm_sub_epi32(e0, p);

    // Odd part.
    const __m128i s17 = _mm_add_epi32(d[1], d[7]), s35 = _mm_add_epi32(d[3], d[5]);
    const __m128i a = Shr(TimesK1(_mm_sub_epi32(d[1], d[7])));
    const __m128i b = Shr(TimesK3(_mm_sub_epi32(d[5], d[3])));
    const __m128i e = Shr(TimesC4(_mm_add_epi32(a, b)));
    const __m128i f = _mm_add_epi32(_mm_sub_epi32(e, b), a);
    const __m128i gOdd = Shr(TimesC4(_mm_sub_epi32(s17, s35)));
    const __m128i y0 = _mm_add_epi32(_mm_add_epi32(s17, s35), f);
    const __m128i y1 = _mm_add_epi32(gOdd, f), y2 = _mm_add_epi32(gOdd, e), y3 = e;

    d[0] = _mm_add_epi32(x0, y0);
    d[1] = _mm_add_epi32(x1, y1);
    d[2] = _mm_add_epi32(x2, y2);
    d[3] = _mm_add_epi32(x3, y3);
    d[4] = _mm_sub_epi32(x3, y3);
    d[5] = _mm_sub_epi32(x2, y2);
    d[6] = _mm_sub_epi32(x1, y1);
    d[7] = _mm_sub_epi32(x0, y0);
}

// Transposes the 4 × 4 block in[0..3] (lanes = columns) to out[0..3].
[[gnu::always_inline]] inline void Transpose(const __m128i* in, __m128i* out) {
    const __m128i t0 = _mm_unpacklo_epi32(in[0], in[1]), t1 = _mm_unpacklo_epi32(in[2], in[3]);
    const __m128i t2 = _mm_unpackhi_epi32(in[0], in[1]), t3 = _mm_unpackhi_epi32(in[2], in[3]);
    out[0] = _mm_unpacklo_epi64(t0, t1);
    out[1] = _mm_unpackhi_epi64(t0, t1);
    out[2] = _mm_unpacklo_epi64(t2, t3);
    out[3] = _mm_unpackhi_epi64(t2, t3);
}

// The eight products c[v] · m[v] modulo 2^32 of one row, columns 0-3 to
// low[0] and 4-7 to high[0], from the row's split multipliers: with
// m = ml + mh · 2^16 (ml signed), c · m = c · ml + c · mh · 2^16, the first
// product exact in 32 bits (its halves from mullo and mulhi), of the second
// only the low 16 bits survive the wrap. Exact for every int32 multiplier.
[[gnu::always_inline]] inline void Dequantize(__m128i c, const std::int16_t* ml16,
                                              const std::int16_t* mh16, __m128i* low,
                                              __m128i* high) {
    const __m128i ml = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ml16));
    const __m128i mh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mh16));
    const __m128i lowHalves = _mm_mullo_epi16(c, ml);
    const __m128i highHalves = _mm_add_epi16(_mm_mulhi_epi16(c, ml), _mm_mullo_epi16(c, mh));
    *low = _mm_unpacklo_epi16(lowHalves, highHalves);
    *high = _mm_unpackhi_epi16(lowHalves, highHalves);
}

// Row pass over rows first..first+3: out[v] holds work(u, v) in lane u - first.
[[gnu::always_inline]] inline void RowPass(const __m128i* c, const InverseDctMultipliers& m,
                                           int first, __m128i* out) {
    __m128i left[4], right[4];
    for (int i = 0; i < 4; ++i) {
        const int row = 8 * (first + i);
        Dequantize(c[first + i], m.low.data() + row, m.high.data() + row, &left[i], &right[i]);
    }
    Transpose(left, out);
    Transpose(right, out + 4);
    Kernel(out, _mm_setzero_si128());
}

}  // namespace

void InverseDctSse2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                    const InverseDctMultipliers& multipliers) {
    __m128i c[8];
    for (int u = 0; u < 8; ++u)
        c[u] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * u));

    // Whole blocks with only a DC term, and lower halves without any term,
    // are common in photos.
    const __m128i noDc = _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1);
    const __m128i top =
        _mm_or_si128(_mm_or_si128(_mm_and_si128(c[0], noDc), c[1]), _mm_or_si128(c[2], c[3]));
    const __m128i bottom = _mm_or_si128(_mm_or_si128(c[4], c[5]), _mm_or_si128(c[6], c[7]));
    const __m128i zero = _mm_setzero_si128();
    const bool bottomZero = _mm_movemask_epi8(_mm_cmpeq_epi16(bottom, zero)) == 0xFFFF;
    if (bottomZero && _mm_movemask_epi8(_mm_cmpeq_epi16(top, zero)) == 0xFFFF)
        return WriteDcOnlyBlock(out, stride, coefficients[0], multipliers.values[0]);

    // Row pass: upper[x] and lower[x] hold work(u, x) for rows 0-3 and 4-7.
    // Rows without coefficients transform to zero.
    __m128i upper[8], lower[8];
    RowPass(c, multipliers, 0, upper);
    if (bottomZero) {
        for (__m128i& v : lower) v = zero;
    } else {
        RowPass(c, multipliers, 4, lower);
    }

    // Column pass: left[u] and right[u] hold work(u, x) for columns 0-3 and 4-7.
    __m128i left[8], right[8];
    Transpose(upper, left);
    Transpose(lower, left + 4);
    Transpose(upper + 4, right);
    Transpose(lower + 4, right + 4);
    const __m128i bias = _mm_set1_epi32(kColumnBias);
    Kernel(left, bias);
    Kernel(right, bias);

    // Drop the fraction bits; the saturating packs clamp to 0..255 (a value
    // beyond int16 saturates on the side it is on).
    for (int y = 0; y < 8; y += 2) {
        const __m128i row0 = _mm_packs_epi32(_mm_srai_epi32(left[y], kFractionBits),
                                             _mm_srai_epi32(right[y], kFractionBits));
        const __m128i row1 = _mm_packs_epi32(_mm_srai_epi32(left[y + 1], kFractionBits),
                                             _mm_srai_epi32(right[y + 1], kFractionBits));
        const __m128i bytes = _mm_packus_epi16(row0, row1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride),
                         _mm_unpackhi_epi64(bytes, bytes));
    }
}

}  // namespace Tessera

#endif
