#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "accurate_inverse_dct.h"
#include "colour_kernels.h"
#include "inverse_dct.h"
#include "libjpeg_colour_kernels.h"
#include "upsample_kernels.h"
#include "zigzag_order.h"

namespace Tessera {

// The instruction sets the decoder's kernels come in, from least to most.
enum class SimdLevel { Portable, Sse2, Avx2 };

// "portable", "sse2", "avx2".
const char* SimdLevelName(SimdLevel level);
// The level of one of those names; nothing for any other text.
std::optional<SimdLevel> ParseSimdLevel(std::string_view name);

// The best level this CPU and build support: on x86-64 at least Sse2 (its
// baseline), Avx2 when the CPU and the operating system support it; Portable
// elsewhere. The environment variable TESSERA_SIMD (portable, sse2, avx2)
// caps it for the whole process, to measure or check a machine with fewer
// instructions on this one; any other value is ignored.
inline constexpr const char* kSimdLevelVariable = "TESSERA_SIMD";
SimdLevel BestSimdLevel();
// Portable first, then each level the CPU supports, in increasing order.
std::vector<SimdLevel> SupportedSimdLevels();

// The kernels one decode uses.
struct DecoderKernels {
    InverseDctKernel inverseDct;
    // The colour conversion's row kernels, by layout.
    ColourKernelSet colour;
    // libjpeg-turbo's accurate integer transform, for djpeg's exact samples.
    AccurateInverseDctKernel accurateInverseDct;
    AccurateInverseDctPairKernel accurateInverseDctPair;
    // libjpeg's smooth up-sampling and colours, for djpeg's exact pixels.
    UpsampleKernels upsample;
    LibjpegColourKernels libjpegColour;
    // A progressive block's coefficients into natural order.
    ZigzagToNaturalKernel zigzagToNatural;
};
// The kernels of a level; a level the CPU lacks falls back to the best
// supported below it.
DecoderKernels KernelsFor(SimdLevel level);

}  // namespace Tessera
