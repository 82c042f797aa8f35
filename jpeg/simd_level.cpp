#include "simd_level.h"

#include <algorithm>
#include <cstdlib>

namespace Tessera {

namespace {

constexpr SimdLevel kLevels[] = {SimdLevel::Portable, SimdLevel::Sse2, SimdLevel::Avx2};

}  // namespace

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Portable:
            return "portable";
        case SimdLevel::Sse2:
            return "sse2";
        case SimdLevel::Avx2:
            return "avx2";
    }
    return "unknown";
}

std::optional<SimdLevel> ParseSimdLevel(std::string_view name) {
    for (SimdLevel level : kLevels)
        if (name == SimdLevelName(level)) return level;
    return std::nullopt;
}

namespace {

SimdLevel CpuSimdLevel() {
#if TESSERA_X86_KERNELS
    // The compiler's CPU check also asks the operating system whether it saves
    // the AVX registers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? SimdLevel::Avx2 : SimdLevel::Sse2;
#else
    return SimdLevel::Portable;
#endif
}

}  // namespace

SimdLevel BestSimdLevel() {
    // Read once: the environment is the process's from its start.
    static const SimdLevel best = [] {
        const SimdLevel cpu = CpuSimdLevel();
        const char* cap = std::getenv(kSimdLevelVariable);
        const std::optional<SimdLevel> level = ParseSimdLevel(cap != nullptr ? cap : "");
        return level ? std::min(*level, cpu) : cpu;
    }();
    return best;
}

std::vector<SimdLevel> SupportedSimdLevels() {
    const SimdLevel best = BestSimdLevel();
    std::vector<SimdLevel> levels;
    for (SimdLevel level : kLevels)
        if (level <= best) levels.push_back(level);
    return levels;
}

DecoderKernels KernelsFor(SimdLevel level) {
    switch (std::min(level, BestSimdLevel())) {
#if TESSERA_X86_KERNELS
        case SimdLevel::Avx2:
            return {InverseDctAvx2,         kColourKernelsAvx2,
                    AccurateInverseDctAvx2, AccurateInverseDctPairAvx2,
                    UpsampleKernelsAvx2(),  LibjpegColourKernelsAvx2(),
                    ZigzagToNaturalAvx2};
        case SimdLevel::Sse2:
            return {InverseDctSse2,         kColourKernelsSse2,
                    AccurateInverseDctSse2, AccurateInverseDctOneByOne<AccurateInverseDctSse2>,
                    UpsampleKernelsSse2(),  LibjpegColourKernelsSse2(),
                    ZigzagToNaturalPortable};
#endif
        default:
            return {
                InverseDctPortable,         kColourKernelsPortable,
                AccurateInverseDctPortable, AccurateInverseDctOneByOne<AccurateInverseDctPortable>,
                UpsampleKernelsPortable(),  LibjpegColourKernelsPortable(),
                ZigzagToNaturalPortable};
    }
}

}  // namespace Tessera
