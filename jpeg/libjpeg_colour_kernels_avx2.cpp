// libjpeg's YCbCr → RGB with AVX2, 32 pixels a step, by the arithmetic of
// libjpeg_colour_kernels_sse2.cpp (whole parts and 16-bit fractions).
//
// AVX2 unpacks and packs work within 128-bit halves: widened by unpacks, a
// 16-lane vector holds pixels 0-7 and 16-23 (or 8-15 and 24-31), and the
// packs back to bytes restore pixel order. Interleaving into four-byte
// pixels again leaves each half's pixels in the other order, which 128-bit
// permutes put right; three-byte pixels are gathered from the channels by
// byte shuffles instead, each half of an output vector from the half of the
// channels that holds its pixels.
//
// This file alone is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry point has internal linkage,
// so no AVX2 code can stand in for an inline function of another file.

#include "libjpeg_colour_kernels.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

#include <cstring>

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

void Store32(std::uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
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

// 32 pixels of 4 bytes (first, second, third, fourth), 8 pixels a vector in
// pixel order.
struct Pixels {
    __m256i p[4];
};

[[gnu::always_inline]] inline Pixels Interleave(__m256i first, __m256i second, __m256i third,
                                                __m256i fourth) {
    const __m256i a = _mm256_unpacklo_epi8(first, second), b = _mm256_unpackhi_epi8(first, second);
    const __m256i c = _mm256_unpacklo_epi8(third, fourth), d = _mm256_unpackhi_epi8(third, fourth);
    // Pixels 0-3 and 16-19, 4-7 and 20-23, 8-11 and 24-27, 12-15 and 28-31.
    const __m256i p0 = _mm256_unpacklo_epi16(a, c), p1 = _mm256_unpackhi_epi16(a, c);
    const __m256i p2 = _mm256_unpacklo_epi16(b, d), p3 = _mm256_unpackhi_epi16(b, d);
    return {{_mm256_permute2x128_si256(p0, p1, 0x20), _mm256_permute2x128_si256(p2, p3, 0x20),
             _mm256_permute2x128_si256(p0, p1, 0x31), _mm256_permute2x128_si256(p2, p3, 0x31)}};
}

void Store4(std::uint8_t* out, __m256i first, __m256i second, __m256i third) {
    const Pixels p = Interleave(first, second, third, _mm256_set1_epi8(-1));
    for (int i = 0; i < 4; ++i) Store32(out + 32 * i, p.p[i]);
}

// Output vector k (bytes 32k to 32k + 31) of 32 three-byte pixels takes
// pixels 0-15 in both halves (k = 0), 0-15 and 16-31 (k = 1) or 16-31 in
// both (k = 2): byte i of it is channel (32k + i) mod 3 of pixel
// (32k + i) / 3, gathered from a vector of each channel by a byte shuffle
// (-128: nothing from this channel).
struct ChannelShuffle {
    alignas(32) std::int8_t bytes[32];
};

constexpr ChannelShuffle ShuffleFor(int k, int channel) {
    ChannelShuffle s{};
    for (int i = 0; i < 32; ++i) {
        const int p = 32 * k + i;
        const int first = k == 0 || (k == 1 && i < 16) ? 0 : 16;  // of the source half
        s.bytes[i] = static_cast<std::int8_t>(p % 3 == channel ? p / 3 - first : -128);
    }
    return s;
}

constexpr ChannelShuffle kShuffles[3][3] = {
    {ShuffleFor(0, 0), ShuffleFor(0, 1), ShuffleFor(0, 2)},
    {ShuffleFor(1, 0), ShuffleFor(1, 1), ShuffleFor(1, 2)},
    {ShuffleFor(2, 0), ShuffleFor(2, 1), ShuffleFor(2, 2)},
};

// Output vector k from the three channels' vectors (halves as above).
[[gnu::always_inline]] inline __m256i Gathered(int k, __m256i first, __m256i second,
                                               __m256i third) {
    const auto shuffled = [k](__m256i v, int channel) {
        return _mm256_shuffle_epi8(
            v, _mm256_load_si256(reinterpret_cast<const __m256i*>(kShuffles[k][channel].bytes)));
    };
    return _mm256_or_si256(_mm256_or_si256(shuffled(first, 0), shuffled(second, 1)),
                           shuffled(third, 2));
}

void Store3(std::uint8_t* out, __m256i first, __m256i second, __m256i third) {
    const auto lower = [](__m256i v) { return _mm256_permute2x128_si256(v, v, 0x00); };
    const auto upper = [](__m256i v) { return _mm256_permute2x128_si256(v, v, 0x11); };
    Store32(out, Gathered(0, lower(first), lower(second), lower(third)));
    Store32(out + 32, Gathered(1, first, second, third));
    Store32(out + 64, Gathered(2, upper(first), upper(second), upper(third)));
}

constexpr std::size_t kStep = 32;

// 32 pixels into the layout: red first, or blue first (Swap); 3 or 4 bytes.
template <bool Swap, int Bytes>
void ColourStep(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                std::uint8_t* out) {
    const Lanes c = Colours32(y, cb, cr);
    const __m256i first = Swap ? c.b : c.r, third = Swap ? c.r : c.b;
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

LibjpegColourKernels LibjpegColourKernelsAvx2() {
    return {ColourRow<false, 3>, ColourRow<true, 3>, ColourRow<false, 4>, ColourRow<true, 4>};
}

}  // namespace Tessera

#endif
