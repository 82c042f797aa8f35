#include "plain_data.h"

#include <cstring>

#include "simd_target.h"

#if TESSERA_X86_KERNELS
#include <emmintrin.h>
#endif

namespace Tessera {

const std::uint8_t* SkipPlainStretches(const std::uint8_t* at, const std::uint8_t* stop,
                                       const std::uint8_t* end) {
#if TESSERA_X86_KERNELS
    // SSE2, the x86-64 baseline: each byte beside the byte after it, 64
    // bytes a step (a branch for each 16 slowed the search down).
    const __m128i ff = _mm_set1_epi8(-1), zero = _mm_setzero_si128();
    const auto markers = [&](const std::uint8_t* p) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        return _mm_andnot_si128(_mm_cmpeq_epi8(next, zero), _mm_cmpeq_epi8(bytes, ff));
    };
    while (stop - at >= 64 && end - at > 64) {
        const __m128i any = _mm_or_si128(_mm_or_si128(markers(at), markers(at + 16)),
                                         _mm_or_si128(markers(at + 32), markers(at + 48)));
        if (_mm_movemask_epi8(any) != 0) break;
        at += 64;
        if (at[-1] == 0xFF) ++at;
    }
    while (stop - at >= 16 && end - at > 16) {
        if (_mm_movemask_epi8(markers(at)) != 0) break;
        at += 16;
        if (at[-1] == 0xFF) ++at;
    }
#else
    (void)stop;
    (void)end;
#endif
    return at;
}

MarkerAt NextMarker(const std::uint8_t* at, const std::uint8_t* end) {
    while (at < end) {
        // Stretches without a marker go by many bytes a step; a stuffed 0xFF
        // would stop memchr at every few hundred bytes of a photo's data.
        at = SkipPlainStretches(at, end, end);
        at = static_cast<const std::uint8_t*>(std::memchr(at, 0xFF, end - at));
        if (at == nullptr) break;
        const std::uint8_t* code = at + 1;
        while (code < end && *code == 0xFF) ++code;  // fill bytes
        if (code == end) break;
        if (*code != 0x00) return {at, code};
        at = code + 1;  // a stuffed zero: the 0xFF is data
    }
    return {};
}

}  // namespace Tessera
