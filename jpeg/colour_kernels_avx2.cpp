// The colour row kernels with AVX2, 32 pixels a step, as the SSE2 ones in
// colour_kernels_sse2.cpp; the tail of a row goes to those.
//
// AVX2 unpacks and packs work within 128-bit halves. Luma and full-resolution
// chroma are widened by unpacks, so a 16-lane vector holds pixels 0-7 and
// 16-23 (or 8-15 and 24-31); the packs back to bytes restore pixel order, and
// the final interleave is put in order by 128-bit permutes.
//
// This file alone is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry points has internal linkage,
// so no AVX2 code can stand in for an inline function of another file.

#include "colour_kernels.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

#include "colour_fixed_point.h"

namespace Tessera {

namespace {

using namespace ColourFixedPoint;

// The table entry for k · 2^8 (k = sample − 128) in each 16-bit lane.
__m256i Scaled(__m256i k256, std::int16_t multiplier) {
    const __m256i product = _mm256_mulhi_epi16(k256, _mm256_set1_epi16(multiplier));
    return _mm256_srai_epi16(_mm256_add_epi16(product, _mm256_set1_epi16(kScaledHalf)),
                             kScaledShift);
}

// (greenFromCb + greenFromCr + 2^15) >> 16 − k(cr) from (k, fraction) pairs.
__m256i GreenSum(__m256i cbPairs, __m256i crPairs) {
    const __m256i cbFactors =
        _mm256_set1_epi32(1 << 16 | static_cast<std::uint16_t>(kGreenCbWhole));
    const __m256i crFactors =
        _mm256_set1_epi32(1 << 16 | static_cast<std::uint16_t>(-kGreenCrBelow));
    const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(cbPairs, cbFactors),
                                         _mm256_madd_epi16(crPairs, crFactors));
    return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(1 << 15)), 16);
}

// What each chroma sample adds to its pixels' luma (green: subtracts).
struct Chroma {
    __m256i red, green, blue;
};

// From 16 Cb and 16 Cr samples in 16-bit lanes; each output lane stays with
// its input lane (the unpacks and the pack undo each other).
Chroma ChromaOf(__m256i cb, __m256i cr) {
    const __m256i centre = _mm256_set1_epi16(128);
    const __m256i kb = _mm256_sub_epi16(cb, centre), kr = _mm256_sub_epi16(cr, centre);
    const __m256i kb256 = _mm256_slli_epi16(kb, 8), kr256 = _mm256_slli_epi16(kr, 8);
    const __m256i rb = Scaled(kb256, kGreenCbFraction), rr = Scaled(kr256, kGreenCrFraction);
    const __m256i green =
        _mm256_packs_epi32(GreenSum(_mm256_unpacklo_epi16(kb, rb), _mm256_unpacklo_epi16(kr, rr)),
                           GreenSum(_mm256_unpackhi_epi16(kb, rb), _mm256_unpackhi_epi16(kr, rr)));
    return {Scaled(kr256, kRedFromCr), _mm256_add_epi16(green, kr), Scaled(kb256, kBlueFromCb)};
}

// Chroma of samples 0-15 in order, each twice: for pixels 0-7 | 16-23 (lower)
// and 8-15 | 24-31 (upper) of chroma at half resolution.
Chroma LowerTwice(const Chroma& c) {
    return {_mm256_unpacklo_epi16(c.red, c.red), _mm256_unpacklo_epi16(c.green, c.green),
            _mm256_unpacklo_epi16(c.blue, c.blue)};
}

Chroma UpperTwice(const Chroma& c) {
    return {_mm256_unpackhi_epi16(c.red, c.red), _mm256_unpackhi_epi16(c.green, c.green),
            _mm256_unpackhi_epi16(c.blue, c.blue)};
}

// (B, G) and (R, A) byte pairs of pixels 0-7 | 16-23 (bg0, ra0) and 8-15 |
// 24-31 (bg1, ra1) into 32 pixels in order.
void StorePixels(std::uint32_t* out, __m256i bg0, __m256i bg1, __m256i ra0, __m256i ra1) {
    const __m256i q0 = _mm256_unpacklo_epi16(bg0, ra0);  // 0-3 | 16-19
    const __m256i q1 = _mm256_unpackhi_epi16(bg0, ra0);  // 4-7 | 20-23
    const __m256i q2 = _mm256_unpacklo_epi16(bg1, ra1);  // 8-11 | 24-27
    const __m256i q3 = _mm256_unpackhi_epi16(bg1, ra1);  // 12-15 | 28-31
    auto* to = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(to, _mm256_permute2x128_si256(q0, q1, 0x20));
    _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(q2, q3, 0x20));
    _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(q0, q1, 0x31));
    _mm256_storeu_si256(to + 3, _mm256_permute2x128_si256(q2, q3, 0x31));
}

// 32 pixels from their luma (32 bytes) and chroma terms for pixels 0-7 | 16-23
// (c0) and 8-15 | 24-31 (c1).
void StoreYCbCr(std::uint32_t* out, __m256i y, const Chroma& c0, const Chroma& c1) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i y0 = _mm256_unpacklo_epi8(y, zero), y1 = _mm256_unpackhi_epi8(y, zero);
    const __m256i blue =
        _mm256_packus_epi16(_mm256_add_epi16(y0, c0.blue), _mm256_add_epi16(y1, c1.blue));
    const __m256i green =
        _mm256_packus_epi16(_mm256_sub_epi16(y0, c0.green), _mm256_sub_epi16(y1, c1.green));
    const __m256i red =
        _mm256_packus_epi16(_mm256_add_epi16(y0, c0.red), _mm256_add_epi16(y1, c1.red));
    const __m256i alpha = _mm256_set1_epi8(-1);
    StorePixels(out, _mm256_unpacklo_epi8(blue, green), _mm256_unpackhi_epi8(blue, green),
                _mm256_unpacklo_epi8(red, alpha), _mm256_unpackhi_epi8(red, alpha));
}

__m256i Load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// 16 samples in order, widened to 16-bit lanes.
__m256i Load16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

}  // namespace

void YCbCrRowAvx2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                  std::uint32_t* out, std::size_t width) {
    std::size_t j = 0;
    const __m256i zero = _mm256_setzero_si256();
    for (; j + 32 <= width; j += 32) {
        const __m256i b = Load32(cb + j), r = Load32(cr + j);
        StoreYCbCr(out + j, Load32(y + j),
                   ChromaOf(_mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(r, zero)),
                   ChromaOf(_mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi8(r, zero)));
    }
    YCbCrRowSse2(y + j, cb + j, cr + j, out + j, width - j);
}

void YCbCrRowHalfAvx2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width) {
    std::size_t j = 0;
    for (; j + 32 <= width; j += 32) {
        const Chroma c = ChromaOf(Load16(cb + j / 2), Load16(cr + j / 2));
        StoreYCbCr(out + j, Load32(y + j), LowerTwice(c), UpperTwice(c));
    }
    YCbCrRowHalfSse2(y + j, cb + j / 2, cr + j / 2, out + j, width - j);
}

void GreyRowAvx2(const std::uint8_t* grey, std::uint32_t* out, std::size_t width) {
    std::size_t j = 0;
    const __m256i alpha = _mm256_set1_epi8(-1);
    for (; j + 32 <= width; j += 32) {
        const __m256i g = Load32(grey + j);
        StorePixels(out + j, _mm256_unpacklo_epi8(g, g), _mm256_unpackhi_epi8(g, g),
                    _mm256_unpacklo_epi8(g, alpha), _mm256_unpackhi_epi8(g, alpha));
    }
    GreyRowSse2(grey + j, out + j, width - j);
}

}  // namespace Tessera

#endif
