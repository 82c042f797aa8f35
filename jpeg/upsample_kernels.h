#pragma once

#include <cstddef>
#include <cstdint>

#include "simd_target.h"

namespace Tessera {

// The inner loops of libjpeg's up-sampling (upsampler.h), which handles the
// picture's edges itself. Indices are those of the whole row; every level's
// kernel gives the same bytes.
//
// Twice as wide, from a row's samples s (SmoothH2V1: shift 2, biases 1 and
// 2) or from column sums s (SmoothH2V2: shift 4, biases 8 and 7), for i in
// [begin, end):
//   out[2i]     = (3 s[i] + s[i − 1] + even bias) >> shift
//   out[2i + 1] = (3 s[i] + s[i + 1] + odd bias) >> shift
// reading s[begin − 1] to s[end], so 0 < begin and end < the row's width.
using WidenSamplesKernel = void (*)(const std::uint8_t* samples, std::size_t begin, std::size_t end,
                                    std::uint8_t* out);
using WidenSumsKernel = void (*)(const std::uint16_t* sums, std::size_t begin, std::size_t end,
                                 std::uint8_t* out);
// Twice as tall, from a sample row near the output row and one farther away:
// the column sums sums[x] = 3 near[x] + far[x] (SmoothH2V2), and
// out[x] = (3 near[x] + far[x] + bias) >> 2 (SmoothH1V2; bias 1 for the upper
// output row of a pair, 2 for the lower), for x in [begin, end).
using ColumnSumsKernel = void (*)(const std::uint8_t* near, const std::uint8_t* far,
                                  std::size_t begin, std::size_t end, std::uint16_t* sums);
using TallRowKernel = void (*)(const std::uint8_t* near, const std::uint8_t* far, std::size_t begin,
                               std::size_t end, bool lower, std::uint8_t* out);

// Samples repeated (Pixels::Replicated, twice as wide): out[x] = in[x / 2]
// for x in [begin, end).
using DoubleSamplesKernel = void (*)(const std::uint8_t* in, std::size_t begin, std::size_t end,
                                     std::uint8_t* out);

struct UpsampleKernels {
    WidenSamplesKernel widenSamples;
    WidenSumsKernel widenSums;
    ColumnSumsKernel columnSums;
    TallRowKernel tallRow;
    DoubleSamplesKernel doubleSamples;
};

// Plain C++; the reference the others reproduce.
UpsampleKernels UpsampleKernelsPortable();
#if TESSERA_X86_KERNELS
UpsampleKernels UpsampleKernelsSse2();
// Needs a CPU with AVX2 (see simd_level.h).
UpsampleKernels UpsampleKernelsAvx2();
#endif

}  // namespace Tessera
