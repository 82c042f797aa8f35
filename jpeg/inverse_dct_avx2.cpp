// The inverse DCT of inverse_dct.cpp with AVX2, eight 32-bit lanes: on the
// coefficients loaded column by column one kernel run is the row pass of all
// eight rows, after a transpose another the column pass of all eight columns.
// Every step wraps modulo 2^32 and shifts arithmetically, as the portable
// kernel does.
//
// This file alone is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry point has internal linkage, so
// no AVX2 code can stand in for an inline function of another file.

#include "inverse_dct.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

namespace Tessera {

namespace {

using namespace InverseDctFixedPoint;

__m256i Times(__m256i x, std::int32_t constant) {
    return _mm256_mullo_epi32(x, _mm256_set1_epi32(constant));
}

__m256i Shr(__m256i x) {
    return _mm256_srai_epi32(x, kConstantBits);
}

// The one-dimensional kernel on d[0..7], eight independent lanes, in place.
[[gnu::always_inline]] inline void Kernel(__m256i* d, __m256i bias) {
    // Even part.
    const __m256i e0 = _mm256_add_epi32(_mm256_add_epi32(d[0], d[4]), bias);
    const __m256i e1 = _mm256_add_epi32(_mm256_sub_epi32(d[0], d[4]), bias);
    const __m256i g = Shr(Times(_mm256_sub_epi32(d[2], d[6]), kC4));
    const __m256i p = _mm256_add_epi32(_mm256_add_epi32(d[2], d[6]), g);
    const __m256i x0 = _mm256_add_epi32(e0, p), x1 = _mm256_add_epi32(e1, g);
    const __m256i x2 = _mm256_sub_epi32(e1, g), x3 = _mm256_sub_epi32(e0, p);

    // Odd part.
    const __m256i s17 = _mm256_add_epi32(d[1], d[7]), s35 = _mm256_add_epi32(d[3], d[5]);
    const __m256i a = Shr(Times(_mm256_sub_epi32(d[1], d[7]), kK1));
    const __m256i b = Shr(Times(_mm256_sub_epi32(d[5], d[3]), kK3));
    const __m256i e = Shr(Times(_mm256_add_epi32(a, b), kC4));
    const __m256i f = _mm256_add_epi32(_mm256_sub_epi32(e, b), a);
    const __m256i gOdd = Shr(Times(_mm256_sub_epi32(s17, s35), kC4));
    const __m256i y0 = _mm256_add_epi32(_mm256_add_epi32(s17, s35), f);
    const __m256i y1 = _mm256_add_epi32(gOdd, f), y2 = _mm256_add_epi32(gOdd, e), y3 = e;

    d[0] = _mm256_add_epi32(x0, y0);
    d[1] = _mm256_add_epi32(x1, y1);
    d[2] = _mm256_add_epi32(x2, y2);
    d[3] = _mm256_add_epi32(x3, y3);
    d[4] = _mm256_sub_epi32(x3, y3);
    d[5] = _mm256_sub_epi32(x2, y2);
    d[6] = _mm256_sub_epi32(x1, y1);
    d[7] = _mm256_sub_epi32(x0, y0);
}

// Transposes the 8 × 8 block d[0..7] (lanes = columns) in place. Unpacks
// work within 128-bit halves, so the 4 × 4 transposes of the left and right
// halves run side by side and the permutes bring rows 4-7 beside rows 0-3.
[[gnu::always_inline]] inline void Transpose(__m256i* d) {
    __m256i t[8], s[8];
    for (int i = 0; i < 8; i += 2) {  // columns 0, 1 | 4, 5 and 2, 3 | 6, 7 of rows i, i + 1
        t[i] = _mm256_unpacklo_epi32(d[i], d[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(d[i], d[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {  // s[i + x]: column x | x + 4 of rows i..i + 3
        s[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        s[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        s[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        s[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    for (int x = 0; x < 4; ++x) {
        d[x] = _mm256_permute2x128_si256(s[x], s[x + 4], 0x20);
        d[x + 4] = _mm256_permute2x128_si256(s[x], s[x + 4], 0x31);
    }
}

__m128i LoadRow(const std::int16_t* row) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
}

// The 16-bit coefficients transposed, half the data of transposing the
// products: w[k] holds columns 2k and 2k + 1 (four words each) of rows 0-3 in
// its low 128-bit half and of rows 4-7 in its high half, so that no later step
// crosses halves.
[[gnu::always_inline]] inline void TransposeCoefficients(__m256i* w,
                                                         const std::int16_t* coefficients) {
    __m256i r[4];  // rows u | u + 4
    for (int u = 0; u < 4; ++u)
        r[u] = _mm256_inserti128_si256(_mm256_castsi128_si256(LoadRow(coefficients + 8 * u)),
                                       LoadRow(coefficients + 8 * (u + 4)), 1);
    // Rows 0, 1 | 4, 5 and 2, 3 | 6, 7 interleaved, columns 0-3 and 4-7.
    const __m256i low01 = _mm256_unpacklo_epi16(r[0], r[1]);
    const __m256i high01 = _mm256_unpackhi_epi16(r[0], r[1]);
    const __m256i low23 = _mm256_unpacklo_epi16(r[2], r[3]);
    const __m256i high23 = _mm256_unpackhi_epi16(r[2], r[3]);
    w[0] = _mm256_unpacklo_epi32(low01, low23);
    w[1] = _mm256_unpackhi_epi32(low01, low23);
    w[2] = _mm256_unpacklo_epi32(high01, high23);
    w[3] = _mm256_unpackhi_epi32(high01, high23);
}

// Dequantized coefficients column by column: d[v] holds coefficient v of the
// eight rows, lane u for row u, as the row pass takes them.
[[gnu::always_inline]] inline void LoadColumns(__m256i* d, const std::int16_t* coefficients,
                                               const std::int32_t* transposed) {
    __m256i w[4];
    TransposeCoefficients(w, coefficients);
    for (int k = 0; k < 4; ++k) {
        // Each coefficient beside its sign word is that coefficient as int32.
        const __m256i sign = _mm256_srai_epi16(w[k], 15);
        d[2 * k] = _mm256_unpacklo_epi16(w[k], sign);
        d[2 * k + 1] = _mm256_unpackhi_epi16(w[k], sign);
    }
    // Dequantize: int16 × int32 modulo 2^32 is one lane multiply.
    for (int v = 0; v < 8; ++v)
        d[v] = _mm256_mullo_epi32(
            d[v], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(transposed + 8 * v)));
}

// Two rows of 8 samples in the low and high 64 bits.
[[gnu::always_inline]] inline void StoreRows(std::uint8_t* out, std::ptrdiff_t stride,
                                             __m128i rows) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), rows);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + stride), _mm_unpackhi_epi64(rows, rows));
}

}  // namespace

void InverseDctAvx2(std::uint8_t* out, std::ptrdiff_t stride, const std::int16_t* coefficients,
                    const InverseDctMultipliers& table) {
    // Many blocks of a photo carry only their DC term.
    const auto* c = reinterpret_cast<const __m256i*>(coefficients);
    const __m256i noDc =
        _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i ac = _mm256_or_si256(
        _mm256_or_si256(_mm256_and_si256(_mm256_loadu_si256(c), noDc), _mm256_loadu_si256(c + 1)),
        _mm256_or_si256(_mm256_loadu_si256(c + 2), _mm256_loadu_si256(c + 3)));
    if (_mm256_testz_si256(ac, ac))
        return WriteDcOnlyBlock(out, stride, coefficients[0], table.values[0]);

    __m256i d[8];
    LoadColumns(d, coefficients, table.transposed.data());
    Kernel(d, _mm256_setzero_si256());
    Transpose(d);  // d[u] holds row u of the row pass's output
    Kernel(d, _mm256_set1_epi32(kColumnBias));

    // Drop the fraction bits; the saturating packs clamp to 0..255. The packs
    // work within 128-bit halves: rows 0-3 come out as columns 0-3 of each in
    // the low half and columns 4-7 in the high half, which the permute joins.
    const __m256i rowOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (int y = 0; y < 8; y += 4) {
        __m256i s[4];
        for (int i = 0; i < 4; ++i) s[i] = _mm256_srai_epi32(d[y + i], kFractionBits);
        const __m256i bytes = _mm256_permutevar8x32_epi32(
            _mm256_packus_epi16(_mm256_packs_epi32(s[0], s[1]), _mm256_packs_epi32(s[2], s[3])),
            rowOrder);
        StoreRows(out + y * stride, stride, _mm256_castsi256_si128(bytes));
        StoreRows(out + (y + 2) * stride, stride, _mm256_extracti128_si256(bytes, 1));
    }
}

}  // namespace Tessera

#endif
