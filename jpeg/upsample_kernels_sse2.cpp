// The smooth up-sampling loops with SSE2, in 16-bit lanes (no sum exceeds
// 4 · 1020 + 8); each loop's last few columns go to the portable kernels.

#include "upsample_kernels.h"

#if TESSERA_X86_KERNELS

#include <emmintrin.h>

#include <algorithm>

namespace Tessera {

namespace {

// 8 samples from p, or 8 column sums, in 16-bit lanes.
__m128i Load8(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                             _mm_setzero_si128());
}

__m128i Load8(const std::uint16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The 16 outputs of s[i] to s[i + 7], in order: even and odd outputs are
// below 256, so each pair makes one 16-bit lane.
template <int Shift, int EvenBias, int OddBias, typename Sample>
void WidenStep(const Sample* s, std::size_t i, std::uint8_t* out) {
    const __m128i here = Load8(s + i);
    const __m128i three = _mm_add_epi16(here, _mm_add_epi16(here, here));
    const __m128i even = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(three, Load8(s + i - 1)), _mm_set1_epi16(EvenBias)), Shift);
    const __m128i odd = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(three, Load8(s + i + 1)), _mm_set1_epi16(OddBias)), Shift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i),
                     _mm_or_si128(even, _mm_slli_epi16(odd, 8)));
}

template <int Shift, int EvenBias, int OddBias, typename Sample>
void Widen(const Sample* s, std::size_t begin, std::size_t end, std::uint8_t* out) {
    std::size_t i = begin;
    for (; i + 8 <= end; i += 8) WidenStep<Shift, EvenBias, OddBias>(s, i, out);
    const UpsampleKernels portable = UpsampleKernelsPortable();
    if constexpr (sizeof(Sample) == 1)
        portable.widenSamples(s, i, end, out);
    else
        portable.widenSums(s, i, end, out);
}

// 3 near + far for 16 columns, in 16-bit lanes: low 8 and high 8.
struct Sums {
    __m128i lo, hi;
};

Sums ColumnSums16(const std::uint8_t* near, const std::uint8_t* far) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(near));
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(far));
    const __m128i nlo = _mm_unpacklo_epi8(n, zero), nhi = _mm_unpackhi_epi8(n, zero);
    return {_mm_add_epi16(_mm_add_epi16(nlo, _mm_add_epi16(nlo, nlo)), _mm_unpacklo_epi8(f, zero)),
            _mm_add_epi16(_mm_add_epi16(nhi, _mm_add_epi16(nhi, nhi)), _mm_unpackhi_epi8(f, zero))};
}

void ColumnSums(const std::uint8_t* near, const std::uint8_t* far, std::size_t begin,
                std::size_t end, std::uint16_t* sums) {
    std::size_t x = begin;
    for (; x + 16 <= end; x += 16) {
        const Sums s = ColumnSums16(near + x, far + x);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x), s.lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + x + 8), s.hi);
    }
    UpsampleKernelsPortable().columnSums(near, far, x, end, sums);
}

void TallRow(const std::uint8_t* near, const std::uint8_t* far, std::size_t begin, std::size_t end,
             bool lower, std::uint8_t* out) {
    const __m128i bias = _mm_set1_epi16(lower ? 2 : 1);
    std::size_t x = begin;
    for (; x + 16 <= end; x += 16) {
        const Sums s = ColumnSums16(near + x, far + x);
        const __m128i lo = _mm_srli_epi16(_mm_add_epi16(s.lo, bias), 2);
        const __m128i hi = _mm_srli_epi16(_mm_add_epi16(s.hi, bias), 2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(lo, hi));
    }
    UpsampleKernelsPortable().tallRow(near, far, x, end, lower, out);
}

// Outputs from an even column on, 32 a step: each of 16 samples twice.
void DoubleSamples(const std::uint8_t* in, std::size_t begin, std::size_t end, std::uint8_t* out) {
    const UpsampleKernels portable = UpsampleKernelsPortable();
    std::size_t x = begin + (begin & 1);
    portable.doubleSamples(in, begin, std::min(x, end), out);
    for (; x + 32 <= end; x += 32) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x / 2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi8(v, v));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 16), _mm_unpackhi_epi8(v, v));
    }
    portable.doubleSamples(in, x, end, out);
}

}  // namespace

UpsampleKernels UpsampleKernelsSse2() {
    return {Widen<2, 1, 2, std::uint8_t>, Widen<4, 8, 7, std::uint16_t>, ColumnSums, TallRow,
            DoubleSamples};
}

}  // namespace Tessera

#endif
