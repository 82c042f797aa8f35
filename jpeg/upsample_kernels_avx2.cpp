// The smooth up-sampling loops with AVX2, as the SSE2 ones in
// upsample_kernels_sse2.cpp, 16 columns a step: samples are widened to 16
// bits in order (vpmovzxbw), so that no lane leaves its place; each loop's
// last few columns go to the SSE2 kernels.
//
// This file alone is compiled with -mavx2 and runs only after the CPU check of
// simd_level.cpp; everything here but the entry point has internal linkage,
// so no AVX2 code can stand in for an inline function of another file.

#include "upsample_kernels.h"

#if TESSERA_X86_KERNELS

#include <immintrin.h>

#include <algorithm>

namespace Tessera {

namespace {

// 16 samples from p, or 16 column sums, in 16-bit lanes.
__m256i Load16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

__m256i Load16(const std::uint16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

void Store32(std::uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The 32 outputs of s[i] to s[i + 15], an even and an odd one a 16-bit lane.
template <int Shift, int EvenBias, int OddBias, typename Sample>
void WidenStep(const Sample* s, std::size_t i, std::uint8_t* out) {
    const __m256i here = Load16(s + i);
    const __m256i three = _mm256_add_epi16(here, _mm256_add_epi16(here, here));
    const __m256i even = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(three, Load16(s + i - 1)), _mm256_set1_epi16(EvenBias)),
        Shift);
    const __m256i odd = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(three, Load16(s + i + 1)), _mm256_set1_epi16(OddBias)),
        Shift);
    Store32(out + 2 * i, _mm256_or_si256(even, _mm256_slli_epi16(odd, 8)));
}

template <int Shift, int EvenBias, int OddBias, typename Sample>
void Widen(const Sample* s, std::size_t begin, std::size_t end, std::uint8_t* out) {
    std::size_t i = begin;
    for (; i + 16 <= end; i += 16) WidenStep<Shift, EvenBias, OddBias>(s, i, out);
    const UpsampleKernels sse2 = UpsampleKernelsSse2();
    if constexpr (sizeof(Sample) == 1)
        sse2.widenSamples(s, i, end, out);
    else
        sse2.widenSums(s, i, end, out);
}

// 3 near + far for 16 columns, in 16-bit lanes in order.
__m256i ColumnSums16(const std::uint8_t* near, const std::uint8_t* far) {
    const __m256i n = Load16(near);
    return _mm256_add_epi16(_mm256_add_epi16(n, _mm256_add_epi16(n, n)), Load16(far));
}

void ColumnSums(const std::uint8_t* near, const std::uint8_t* far, std::size_t begin,
                std::size_t end, std::uint16_t* sums) {
    std::size_t x = begin;
    for (; x + 16 <= end; x += 16)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x), ColumnSums16(near + x, far + x));
    UpsampleKernelsSse2().columnSums(near, far, x, end, sums);
}

void TallRow(const std::uint8_t* near, const std::uint8_t* far, std::size_t begin, std::size_t end,
             bool lower, std::uint8_t* out) {
    const __m256i bias = _mm256_set1_epi16(lower ? 2 : 1);
    std::size_t x = begin;
    for (; x + 32 <= end; x += 32) {
        const __m256i lo =
            _mm256_srli_epi16(_mm256_add_epi16(ColumnSums16(near + x, far + x), bias), 2);
        const __m256i hi =
            _mm256_srli_epi16(_mm256_add_epi16(ColumnSums16(near + x + 16, far + x + 16), bias), 2);
        // The pack works within 128-bit halves: columns 0-7, 16-23, 8-15, 24-31.
        const __m256i packed = _mm256_packus_epi16(lo, hi);
        Store32(out + x, _mm256_permute4x64_epi64(packed, 0xD8));
    }
    UpsampleKernelsSse2().tallRow(near, far, x, end, lower, out);
}

// Outputs from an even column on, 32 a step: 16 samples widened to 16 bits,
// each lane the sample in both bytes.
void DoubleSamples(const std::uint8_t* in, std::size_t begin, std::size_t end, std::uint8_t* out) {
    const UpsampleKernels sse2 = UpsampleKernelsSse2();
    std::size_t x = begin + (begin & 1);
    sse2.doubleSamples(in, begin, std::min(x, end), out);
    for (; x + 32 <= end; x += 32) {
        const __m256i v = Load16(in + x / 2);
        Store32(out + x, _mm256_or_si256(v, _mm256_slli_epi16(v, 8)));
    }
    sse2.doubleSamples(in, x, end, out);
}

}  // namespace

UpsampleKernels UpsampleKernelsAvx2() {
    return {Widen<2, 1, 2, std::uint8_t>, Widen<4, 8, 7, std::uint16_t>, ColumnSums, TallRow,
            DoubleSamples};
}

}  // namespace Tessera

#endif
