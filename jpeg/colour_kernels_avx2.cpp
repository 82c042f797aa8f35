// The colour row kernels with AVX2, 32 pixels a step, as the SSE2 ones in
// colour_kernels_sse2.cpp; the tail of a row goes to those.
//
// AVX2 unpacks and packs work within 128-bit halves. Luma and full-resolution
// chroma are widened by unpacks, so a 16-lane vector holds pixels 0-7 and
// 16-23 (or 8-15 and 24-31); the packs back to bytes restore pixel order, and
// pixel_stores_avx2.h interleaves the channels into pixels.
//
// This file is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the kernel table has internal linkage,
// so no AVX2 code can stand in for an inline function of another file.

#include "colour_kernels.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

#include <utility>

#include "colour_fixed_point.h"
#include "pixel_stores_avx2.h"

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

// 32 pixels' channels, a byte a pixel in pixel order.
struct Planes {
    __m256i blue, green, red;
};

// 32 pixels from their luma (32 bytes) and chroma terms for pixels 0-7 | 16-23
// (c0) and 8-15 | 24-31 (c1).
[[gnu::always_inline]] inline Planes YCbCrPlanes(__m256i y, const Chroma& c0, const Chroma& c1) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i y0 = _mm256_unpacklo_epi8(y, zero), y1 = _mm256_unpackhi_epi8(y, zero);
    return {_mm256_packus_epi16(_mm256_add_epi16(y0, c0.blue), _mm256_add_epi16(y1, c1.blue)),
            _mm256_packus_epi16(_mm256_sub_epi16(y0, c0.green), _mm256_sub_epi16(y1, c1.green)),
            _mm256_packus_epi16(_mm256_add_epi16(y0, c0.red), _mm256_add_epi16(y1, c1.red))};
}

// 32 pixels in layout L: blue or red first by the layout, alpha 255 in the
// four-byte ones.
template <ColourLayout L>
[[gnu::always_inline]] inline void Store(std::uint8_t* out, const Planes& p) {
    constexpr bool redFirst = L == ColourLayout::Rgba || L == ColourLayout::Rgb;
    const __m256i first = redFirst ? p.red : p.blue, third = redFirst ? p.blue : p.red;
    if constexpr (kLayoutBytes[static_cast<std::size_t>(L)] == 4)
        StorePixels4(out, first, p.green, third, _mm256_set1_epi8(-1));
    else
        StorePixels3(out, first, p.green, third);
}

__m256i Load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// 16 samples in order, widened to 16-bit lanes.
__m256i Load16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

template <ColourLayout L>
constexpr std::size_t kBytes = kLayoutBytes[static_cast<std::size_t>(L)];

// The SSE2 kernels of layout L, for the tails.
template <ColourLayout L>
const ColourRowKernels& Sse2() {
    return kColourKernelsSse2[static_cast<std::size_t>(L)];
}

template <ColourLayout L>
void YCbCrRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
              std::uint8_t* out, std::size_t first, std::size_t last) {
    std::size_t j = first;
    const __m256i zero = _mm256_setzero_si256();
    for (; j + 32 <= last; j += 32, out += 32 * kBytes<L>) {
        const __m256i b = Load32(cb + j), r = Load32(cr + j);
        Store<L>(out, YCbCrPlanes(
                          Load32(y + j),
                          ChromaOf(_mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(r, zero)),
                          ChromaOf(_mm256_unpackhi_epi8(b, zero), _mm256_unpackhi_epi8(r, zero))));
    }
    Sse2<L>().full(y, cb, cr, out, j, last);
}

// Rows of pixels that share one row of half-resolution chroma: its terms
// are worked out once for all of them.
template <ColourLayout L, int kRows>
void HalfChromaRows(const std::uint8_t* const (&y)[kRows], const std::uint8_t* cb,
                    const std::uint8_t* cr, std::uint8_t* (&out)[kRows], std::size_t first,
                    std::size_t last) {
    std::size_t j = first;
    const auto rest = [&](std::size_t end) {
        for (int r = 0; r < kRows; ++r) Sse2<L>().half(y[r], cb, cr, out[r], j, end);
    };
    // An odd first pixel shares its chroma with the pixel before it.
    if (j % 2 != 0 && j < last) {
        rest(j + 1);
        ++j;
        for (std::uint8_t*& row : out) row += kBytes<L>;
    }
    for (; j + 32 <= last; j += 32) {
        const Chroma c = ChromaOf(Load16(cb + j / 2), Load16(cr + j / 2));
        const Chroma lower = LowerTwice(c), upper = UpperTwice(c);
        for (int r = 0; r < kRows; ++r) {
            Store<L>(out[r], YCbCrPlanes(Load32(y[r] + j), lower, upper));
            out[r] += 32 * kBytes<L>;
        }
    }
    rest(last);
}

template <ColourLayout L>
void YCbCrRowHalf(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                  std::uint8_t* out, std::size_t first, std::size_t last) {
    std::uint8_t* outs[] = {out};
    HalfChromaRows<L, 1>({y}, cb, cr, outs, first, last);
}

template <ColourLayout L>
void YCbCrRowPairHalf(const std::uint8_t* y0, const std::uint8_t* y1, const std::uint8_t* cb,
                      const std::uint8_t* cr, std::uint8_t* out0, std::uint8_t* out1,
                      std::size_t first, std::size_t last) {
    std::uint8_t* outs[] = {out0, out1};
    HalfChromaRows<L, 2>({y0, y1}, cb, cr, outs, first, last);
}

template <ColourLayout L>
void GreyRow(const std::uint8_t* grey, std::uint8_t* out, std::size_t first, std::size_t last) {
    std::size_t j = first;
    for (; j + 32 <= last; j += 32, out += 32 * kBytes<L>) {
        const __m256i g = Load32(grey + j);
        Store<L>(out, {g, g, g});
    }
    Sse2<L>().grey(grey, out, j, last);
}

template <std::size_t... Layout>
constexpr ColourKernelSet KernelSet(std::index_sequence<Layout...>) {
    return {ColourRowKernels{YCbCrRow<static_cast<ColourLayout>(Layout)>,
                             YCbCrRowHalf<static_cast<ColourLayout>(Layout)>,
                             GreyRow<static_cast<ColourLayout>(Layout)>,
                             YCbCrRowPairHalf<static_cast<ColourLayout>(Layout)>}...};
}

}  // namespace

constinit const ColourKernelSet kColourKernelsAvx2 =
    KernelSet(std::make_index_sequence<kColourLayouts>());

}  // namespace Tessera

#endif
