#pragma once

// Stores of 32 pixels from vectors of their channels (32 bytes each, in
// pixel order), for the AVX2 colour kernels. Include this only from files
// compiled with -mavx2: everything here has internal linkage, so no AVX2 code
// can stand in for an inline function of another file.
//
// AVX2 unpacks work within 128-bit halves: interleaving into four-byte
// pixels leaves each half's pixels in the other order, which 128-bit
// permutes put right; three-byte pixels are gathered from the channels by
// byte shuffles instead, each half of an output vector from the half of the
// channels that holds its pixels.

#include <immintrin.h>

#include <cstdint>

namespace Tessera {

namespace {

[[gnu::always_inline]] inline void Store32(std::uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// 32 pixels of 4 bytes (first, second, third, fourth) to out.
[[gnu::always_inline]] inline void StorePixels4(std::uint8_t* out, __m256i first, __m256i second,
                                                __m256i third, __m256i fourth) {
    const __m256i a = _mm256_unpacklo_epi8(first, second), b = _mm256_unpackhi_epi8(first, second);
    const __m256i c = _mm256_unpacklo_epi8(third, fourth), d = _mm256_unpackhi_epi8(third, fourth);
    // Pixels 0-3 and 16-19, 4-7 and 20-23, 8-11 and 24-27, 12-15 and 28-31.
    const __m256i p0 = _mm256_unpacklo_epi16(a, c), p1 = _mm256_unpackhi_epi16(a, c);
    const __m256i p2 = _mm256_unpacklo_epi16(b, d), p3 = _mm256_unpackhi_epi16(b, d);
    Store32(out, _mm256_permute2x128_si256(p0, p1, 0x20));
    Store32(out + 32, _mm256_permute2x128_si256(p2, p3, 0x20));
    Store32(out + 64, _mm256_permute2x128_si256(p0, p1, 0x31));
    Store32(out + 96, _mm256_permute2x128_si256(p2, p3, 0x31));
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

// 32 pixels of 3 bytes (first, second, third) to out: 96 bytes, none past.
[[gnu::always_inline]] inline void StorePixels3(std::uint8_t* out, __m256i first, __m256i second,
                                                __m256i third) {
    const auto lower = [](__m256i v) { return _mm256_permute2x128_si256(v, v, 0x00); };
    const auto upper = [](__m256i v) { return _mm256_permute2x128_si256(v, v, 0x11); };
    Store32(out, Gathered(0, lower(first), lower(second), lower(third)));
    Store32(out + 32, Gathered(1, first, second, third));
    Store32(out + 64, Gathered(2, upper(first), upper(second), upper(third)));
}

}  // namespace

}  // namespace Tessera
