#pragma once

// Whole-block operations on the 64 coefficients of a data unit.

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Tessera {

// Zeroes 64 coefficients with plain vector stores: a block is cleared for
// every data unit, and the compiler's own choice for this (a string store,
// also for a loop of these stores, which it turns into a memset) starts up
// slowly.
inline void ClearBlock(std::int16_t* block) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    auto* out = reinterpret_cast<__m128i*>(block);
    _mm_store_si128(out + 0, zero);
    _mm_store_si128(out + 1, zero);
    _mm_store_si128(out + 2, zero);
    _mm_store_si128(out + 3, zero);
    _mm_store_si128(out + 4, zero);
    _mm_store_si128(out + 5, zero);
    _mm_store_si128(out + 6, zero);
    _mm_store_si128(out + 7, zero);
#else
    for (int i = 0; i < 64; ++i) block[i] = 0;
#endif
}

// Bit k set when coefficient k of the block is not zero.
inline std::uint64_t NonZeroCoefficients(const std::int16_t* block) {
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i + 8));
        const __m128i zeros =
            _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
        const auto zeroBits = static_cast<std::uint32_t>(_mm_movemask_epi8(zeros));
        mask |= static_cast<std::uint64_t>(~zeroBits & 0xFFFFu) << i;
    }
#else
    for (int i = 0; i < 64; ++i) mask |= static_cast<std::uint64_t>(block[i] != 0) << i;
#endif
    return mask;
}

}  // namespace Tessera
