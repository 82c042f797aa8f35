// libjpeg's YCbCr → RGB with SSE2, 16 pixels a step in 16-bit lanes. Each
// constant of libjpeg_colour_kernels.h is a whole number plus a fraction of
// 2^16 that fits a 16-bit multiply:
//   red:   91881 = 65536 + 26345
//   blue: 116130 = 2 · 65536 − 14942
//   green: −22554 · kb − 46802 · kr = −65536 · kr + (−22554 · kb + 18734 · kr)
// and since the whole part times k (a chroma sample − 128) is a multiple of
// 2^16, (constant · k + 2^15) >> 16 = whole · k + ((fraction · k + 2^15) >> 16):
// the same bytes as the portable kernels. A row's last, partial step goes
// through buffers of a whole step.

#include "libjpeg_colour_kernels.h"

#if TESSERA_X86_KERNELS

#include <emmintrin.h>

#include <cstring>

namespace Tessera {

namespace {

using namespace LibjpegColour;

constexpr std::int32_t kOne = 1 << kFractionBits;
constexpr std::int16_t kRedFraction = kRedFromCr - kOne;
constexpr std::int16_t kBlueFraction = kBlueFromCb - 2 * kOne;
constexpr std::int16_t kGreenCrFraction = kOne - kGreenFromCr;
static_assert(kRedFraction == 26345 && kBlueFraction == -14942 && kGreenCrFraction == 18734);

// (fraction · k + 2^15) >> 16 for k in −128..127. With fraction · k =
// 2^15 · q + r (0 ≤ r < 2^15), the high half of fraction · 2k is q, and
// (q + 1) >> 1 is that rounded sum: the same bits.
__m128i RoundedFraction(__m128i k, std::int16_t fraction) {
    const __m128i q = _mm_mulhi_epi16(_mm_add_epi16(k, k), _mm_set1_epi16(fraction));
    return _mm_srai_epi16(_mm_add_epi16(q, _mm_set1_epi16(1)), 1);
}

// (−22554 · kb + 18734 · kr + 2^15) >> 16 for 4 (kb, kr) pairs of 16 bits.
__m128i GreenFraction(__m128i pairs) {
    const __m128i factors =
        _mm_set1_epi32(kGreenCrFraction * (1 << 16) | static_cast<std::uint16_t>(-kGreenFromCb));
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(pairs, factors), _mm_set1_epi32(kHalf));
    return _mm_srai_epi32(sum, kFractionBits);
}

struct Lanes {
    __m128i r, g, b;
};

// 8 pixels' colours, not yet clamped, from Y, Cb and Cr in 16-bit lanes.
[[gnu::always_inline]] inline Lanes ColoursOf(__m128i y, __m128i cb, __m128i cr) {
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i kb = _mm_sub_epi16(cb, centre), kr = _mm_sub_epi16(cr, centre);
    const __m128i red = _mm_add_epi16(kr, RoundedFraction(kr, kRedFraction));
    const __m128i blue = _mm_add_epi16(_mm_add_epi16(kb, kb), RoundedFraction(kb, kBlueFraction));
    const __m128i green = _mm_sub_epi16(_mm_packs_epi32(GreenFraction(_mm_unpacklo_epi16(kb, kr)),
                                                        GreenFraction(_mm_unpackhi_epi16(kb, kr))),
                                        kr);
    return {_mm_add_epi16(y, red), _mm_add_epi16(y, green), _mm_add_epi16(y, blue)};
}

__m128i Load16(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

void Store16(std::uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// 16 pixels' red, green and blue bytes, clamped by the saturating packs.
[[gnu::always_inline]] inline Lanes Colours16(const std::uint8_t* y, const std::uint8_t* cb,
                                              const std::uint8_t* cr) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i Y = Load16(y), Cb = Load16(cb), Cr = Load16(cr);
    const Lanes lo = ColoursOf(_mm_unpacklo_epi8(Y, zero), _mm_unpacklo_epi8(Cb, zero),
                               _mm_unpacklo_epi8(Cr, zero));
    const Lanes hi = ColoursOf(_mm_unpackhi_epi8(Y, zero), _mm_unpackhi_epi8(Cb, zero),
                               _mm_unpackhi_epi8(Cr, zero));
    return {_mm_packus_epi16(lo.r, hi.r), _mm_packus_epi16(lo.g, hi.g),
            _mm_packus_epi16(lo.b, hi.b)};
}

// 16 pixels of 4 bytes (first, second, third, fourth), 4 pixels a vector.
struct Pixels {
    __m128i p[4];
};

[[gnu::always_inline]] inline Pixels Interleave(__m128i first, __m128i second, __m128i third,
                                                __m128i fourth) {
    const __m128i a = _mm_unpacklo_epi8(first, second), b = _mm_unpackhi_epi8(first, second);
    const __m128i c = _mm_unpacklo_epi8(third, fourth), d = _mm_unpackhi_epi8(third, fourth);
    return {{_mm_unpacklo_epi16(a, c), _mm_unpackhi_epi16(a, c), _mm_unpacklo_epi16(b, d),
             _mm_unpackhi_epi16(b, d)}};
}

[[gnu::always_inline]] inline void Store4(std::uint8_t* out, __m128i first, __m128i second,
                                          __m128i third) {
    const Pixels p = Interleave(first, second, third, _mm_set1_epi8(-1));
    for (int i = 0; i < 4; ++i) Store16(out + 16 * i, p.p[i]);
}

// 4 pixels of 4 bytes, the fourth zero, as 12 bytes followed by 4 zero ones:
// each 64-bit half's upper pixel moved down a byte, then the upper half
// moved down two.
[[gnu::always_inline]] inline __m128i Squeeze(__m128i p) {
    const __m128i lower = _mm_set_epi32(0, -1, 0, -1);
    const __m128i halves =
        _mm_or_si128(_mm_and_si128(p, lower), _mm_srli_epi64(_mm_andnot_si128(lower, p), 8));
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

[[gnu::always_inline]] inline void Store3(std::uint8_t* out, __m128i first, __m128i second,
                                          __m128i third) {
    const Pixels p = Interleave(first, second, third, _mm_setzero_si128());
    const __m128i s0 = Squeeze(p.p[0]), s1 = Squeeze(p.p[1]);
    const __m128i s2 = Squeeze(p.p[2]), s3 = Squeeze(p.p[3]);
    Store16(out, _mm_or_si128(s0, _mm_slli_si128(s1, 12)));
    Store16(out + 16, _mm_or_si128(_mm_srli_si128(s1, 4), _mm_slli_si128(s2, 8)));
    Store16(out + 32, _mm_or_si128(_mm_srli_si128(s2, 8), _mm_slli_si128(s3, 4)));
}

constexpr std::size_t kStep = 16;

// 16 pixels into the layout: red first, or blue first (Swap); 3 or 4 bytes.
template <bool Swap, int Bytes>
void ColourStep(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                std::uint8_t* out) {
    const Lanes c = Colours16(y, cb, cr);
    const __m128i first = Swap ? c.b : c.r, third = Swap ? c.r : c.b;
    if constexpr (Bytes == 4)
        Store4(out, first, c.g, third);
    else
        Store3(out, first, c.g, third);
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

LibjpegColourKernels LibjpegColourKernelsSse2() {
    return {ColourRow<false, 3>, ColourRow<true, 3>, ColourRow<false, 4>, ColourRow<true, 4>};
}

}  // namespace Tessera

#endif
