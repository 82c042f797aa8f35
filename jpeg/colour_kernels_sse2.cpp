// The colour row kernels with SSE2, 16 pixels a step: the tables'
// entries come from the fixed-point formulas of colour_fixed_point.h in 16-bit
// lanes (the green sum in 32-bit ones), the saturating packs clamp, and the
// tail of a row goes to the portable kernels.

#include "colour_kernels.h"

#if TESSERA_X86_KERNELS

#include <emmintrin.h>

#include "colour_fixed_point.h"

namespace Tessera {

namespace {

using namespace ColourFixedPoint;

// The table entry for k · 2^8 (k = sample − 128) in each 16-bit lane.
__m128i Scaled(__m128i k256, std::int16_t multiplier) {
    const __m128i product = _mm_mulhi_epi16(k256, _mm_set1_epi16(multiplier));
    return _mm_srai_epi16(_mm_add_epi16(product, _mm_set1_epi16(kScaledHalf)), kScaledShift);
}

// (greenFromCb + greenFromCr + 2^15) >> 16 − k(cr) for four pixels, from the
// (k, fraction) pairs of each table: a multiply-add per table gives the entry
// less 2^16 · k(cr), which the caller adds back after the shift.
__m128i GreenSum(__m128i cbPairs, __m128i crPairs) {
    const __m128i cbFactors = _mm_set1_epi32(1 << 16 | static_cast<std::uint16_t>(kGreenCbWhole));
    const __m128i crFactors = _mm_set1_epi32(1 << 16 | static_cast<std::uint16_t>(-kGreenCrBelow));
    const __m128i sum =
        _mm_add_epi32(_mm_madd_epi16(cbPairs, cbFactors), _mm_madd_epi16(crPairs, crFactors));
    return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << 15)), 16);
}

// What each chroma pair adds to its pixels' luma (green: subtracts), 8 lanes.
struct Chroma {
    __m128i red, green, blue;
};

// From 8 Cb and 8 Cr samples in 16-bit lanes.
Chroma ChromaOf(__m128i cb, __m128i cr) {
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i kb = _mm_sub_epi16(cb, centre), kr = _mm_sub_epi16(cr, centre);
    const __m128i kb256 = _mm_slli_epi16(kb, 8), kr256 = _mm_slli_epi16(kr, 8);
    const __m128i rb = Scaled(kb256, kGreenCbFraction), rr = Scaled(kr256, kGreenCrFraction);
    const __m128i green =
        _mm_packs_epi32(GreenSum(_mm_unpacklo_epi16(kb, rb), _mm_unpacklo_epi16(kr, rr)),
                        GreenSum(_mm_unpackhi_epi16(kb, rb), _mm_unpackhi_epi16(kr, rr)));
    return {Scaled(kr256, kRedFromCr), _mm_add_epi16(green, kr), Scaled(kb256, kBlueFromCb)};
}

// Each chroma lane twice, for pixels 0-7 and 8-15 of chroma at half resolution.
Chroma LowerTwice(const Chroma& c) {
    return {_mm_unpacklo_epi16(c.red, c.red), _mm_unpacklo_epi16(c.green, c.green),
            _mm_unpacklo_epi16(c.blue, c.blue)};
}

Chroma UpperTwice(const Chroma& c) {
    return {_mm_unpackhi_epi16(c.red, c.red), _mm_unpackhi_epi16(c.green, c.green),
            _mm_unpackhi_epi16(c.blue, c.blue)};
}

// Interleaves 16 (B, G) byte pairs and 16 (R, A) byte pairs into 16 pixels.
void StorePixels(std::uint32_t* out, __m128i bg0, __m128i bg1, __m128i ra0, __m128i ra1) {
    auto* to = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(to, _mm_unpacklo_epi16(bg0, ra0));
    _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(bg0, ra0));
    _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(bg1, ra1));
    _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(bg1, ra1));
}

// 16 pixels from their luma (16 bytes) and chroma terms (pixels 0-7, 8-15).
void StoreYCbCr(std::uint32_t* out, __m128i y, const Chroma& c0, const Chroma& c1) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i y0 = _mm_unpacklo_epi8(y, zero), y1 = _mm_unpackhi_epi8(y, zero);
    const __m128i blue = _mm_packus_epi16(_mm_add_epi16(y0, c0.blue), _mm_add_epi16(y1, c1.blue));
    const __m128i green =
        _mm_packus_epi16(_mm_sub_epi16(y0, c0.green), _mm_sub_epi16(y1, c1.green));
    const __m128i red = _mm_packus_epi16(_mm_add_epi16(y0, c0.red), _mm_add_epi16(y1, c1.red));
    const __m128i alpha = _mm_set1_epi8(-1);
    StorePixels(out, _mm_unpacklo_epi8(blue, green), _mm_unpackhi_epi8(blue, green),
                _mm_unpacklo_epi8(red, alpha), _mm_unpackhi_epi8(red, alpha));
}

__m128i Load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__m128i Load8(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                             _mm_setzero_si128());
}

}  // namespace

void YCbCrRowSse2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                  std::uint32_t* out, std::size_t width) {
    std::size_t j = 0;
    for (; j + 16 <= width; j += 16)
        StoreYCbCr(out + j, Load16(y + j), ChromaOf(Load8(cb + j), Load8(cr + j)),
                   ChromaOf(Load8(cb + j + 8), Load8(cr + j + 8)));
    YCbCrRowPortable(y + j, cb + j, cr + j, out + j, width - j);
}

void YCbCrRowHalfSse2(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                      std::uint32_t* out, std::size_t width) {
    std::size_t j = 0;
    for (; j + 16 <= width; j += 16) {
        const Chroma c = ChromaOf(Load8(cb + j / 2), Load8(cr + j / 2));
        StoreYCbCr(out + j, Load16(y + j), LowerTwice(c), UpperTwice(c));
    }
    YCbCrRowHalfPortable(y + j, cb + j / 2, cr + j / 2, out + j, width - j);
}

void GreyRowSse2(const std::uint8_t* grey, std::uint32_t* out, std::size_t width) {
    std::size_t j = 0;
    const __m128i alpha = _mm_set1_epi8(-1);
    for (; j + 16 <= width; j += 16) {
        const __m128i g = Load16(grey + j);
        StorePixels(out + j, _mm_unpacklo_epi8(g, g), _mm_unpackhi_epi8(g, g),
                    _mm_unpacklo_epi8(g, alpha), _mm_unpackhi_epi8(g, alpha));
    }
    GreyRowPortable(grey + j, out + j, width - j);
}

}  // namespace Tessera

#endif
