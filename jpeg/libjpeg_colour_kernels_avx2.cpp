// libjpeg's YCbCr → RGB with AVX2, 32 pixels a step, by the arithmetic of
// libjpeg_colour_kernels_sse2.cpp (whole parts and 16-bit fractions).
//
// AVX2 unpacks and packs work within 128-bit halves: widened by unpacks, a
// 16-lane vector holds pixels 0-7 and 16-23 (or 8-15 and 24-31), and the
// packs back to bytes restore pixel order; pixel_stores_avx2.h interleaves
// the channels into pixels.
//
// This file is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry point has internal linkage,
// so no AVX2 code can stand in for an inline function of another file.

#include "libjpeg_colour_kernels.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

#include <cstring>

#include "pixel_stores_avx2.h"

namespace Tessera {

namespace {

using namespace LibjpegColour;

constexpr std::int32_t kOne = 1 << kFractionBits;
constexpr std::int16_t kRedFraction = kRedFromCr - kOne;
constexpr std::int16_t kBlueFraction = kBlueFromCb - 2 * kOne;
constexpr std::int16_t kGreenCrFraction = kOne - kGreenFromCr;

// (fraction · k + 2^15) >> 16 for k in −128..127 (see the SSE2 kernels).
__m256i RoundedFraction(__m256i k, std::int16_t fraction) {
    const __m256i q = _mm256_mulhi_epi16(_mm256_add_epi16(k, k), _mm256_set1_epi16(fraction));
    return _mm256_srai_epi16(_mm256_add_epi16(q, _mm256_set1_epi16(1)), 1);
}

// (−22554 · kb + 18734 · kr + 2^15) >> 16 for 8 (kb, kr) pairs of 16 bits.
__m256i GreenFraction(__m256i pairs) {
    const __m256i factors =
        _mm256_set1_epi32(kGreenCrFraction * (1 << 16) | static_cast<std::uint16_t>(-kGreenFromCb));
    const __m256i sum =
        _mm256_add_epi32(_mm256_madd_epi16(pairs, factors), _mm256_set1_epi32(kHalf));
    return _mm256_srai_epi32(sum, kFractionBits);
}

struct Lanes {
    __m256i r, g, b;
};

// 16 pixels' colours, not yet clamped, from Y, Cb and Cr in 16-bit lanes.
[[gnu::always_inline]] inline Lanes ColoursOf(__m256i y, __m256i cb, __m256i cr) {
    const __m256i centre = _mm256_set1_epi16(128);
    const __m256i kb = _mm256_sub_epi16(cb, centre), kr = _mm256_sub_epi16(cr, centre);
    const __m256i red = _mm256_add_epi16(kr, RoundedFraction(kr, kRedFraction));
    const __m256i blue =
        _mm256_add_epi16(_mm256_add_epi16(kb, kb), RoundedFraction(kb, kBlueFraction));
    const __m256i green =
        _mm256_sub_epi16(_mm256_packs_epi32(GreenFraction(_mm256_unpacklo_epi16(kb, kr)),
                                            GreenFraction(_mm256_unpackhi_epi16(kb, kr))),
                         kr);
    return {_mm256_add_epi16(y, red), _mm256_add_epi16(y, green), _mm256_add_epi16(y, blue)};
}

__m256i Load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// 32 pixels' red, green and blue bytes in pixel order, clamped by the packs.
[[gnu::always_inline]] inline Lanes Colours32(const std::uint8_t* y, const std::uint8_t* cb,
                                              const std::uint8_t* cr) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i Y = Load32(y), Cb = Load32(cb), Cr = Load32(cr);
    const Lanes lo = ColoursOf(_mm256_unpacklo_epi8(Y, zero), _mm256_unpacklo_epi8(Cb, zero),
                               _mm256_unpacklo_epi8(Cr, zero));
    const Lanes hi = ColoursOf(_mm256_unpackhi_epi8(Y, zero), _mm256_unpackhi_epi8(Cb, zero),
                               _mm256_unpackhi_epi8(Cr, zero));
    return {_mm256_packus_epi16(lo.r, hi.r), _mm256_packus_epi16(lo.g, hi.g),
            _mm256_packus_epi16(lo.b, hi.b)};
}

constexpr std::size_t kStep = 32;

// 32 pixels into the layout: red first, or blue first (Swap); 3 or 4 bytes.
template <bool Swap, int Bytes>
void ColourStep(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                std::uint8_t* out) {
    const Lanes c = Colours32(y, cb, cr);
    const __m256i first = Swap ? c.b : c.r, third = Swap ? c.r : c.b;
    if constexpr (Bytes == 4)
        StorePixels4(out, first, c.g, third, _mm256_set1_epi8(-1));
    else
        StorePixels3(out, first, c.g, third);
}

template <bool Swap, int Bytes>
void ColourRow(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
               std::uint8_t* out, std::size_t width) {
    std::size_t j = 0;
    for (; j + kStep <= width; j += kStep)
        ColourStep<Swap, Bytes>(y + j, cb + j, cr + j, out + j * Bytes);
    if (j == width) return;
    const std::size_t n = width - j;
    std::uint8_t in[3][kStep] = {}, pixels[kStep * Bytes];
    std::memcpy(in[0], y + j, n);
    std::memcpy(in[1], cb + j, n);
    std::memcpy(in[2], cr + j, n);
    ColourStep<Swap, Bytes>(in[0], in[1], in[2], pixels);
    std::memcpy(out + j * Bytes, pixels, n * Bytes);
}

}  // namespace

LibjpegColourKernels LibjpegColourKernelsAvx2() {
    return {ColourRow<false, 3>, ColourRow<true, 3>, ColourRow<false, 4>, ColourRow<true, 4>};
}

}  // namespace Tessera

#endif
